#pragma once

// What the POP3 benchmarks share: 1,000 messages made from the test mail, the check as the
// programs build it, timed from the mail-check command to the server's answer to QUIT, and
// the minimal Python client (bench/pop3_reference_client.py) that sends the same commands.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "checker/dialup/Dialup.h"
#include "checker/net/PosixSocketApi.h"
#include "checker/shell/Checker.h"
#include "checker/shell/HeadlessServices.h"
#include "common/Accounts.h"
#include "common/MemorySettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/RecordingMessageBoxes.h"

namespace velkora::bench {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

inline constexpr int kMessages = 1000;
inline constexpr const char* kUser = "bench";
inline constexpr const char* kPassword = "bench-pw";

inline double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// 1,000 messages made from the committed test mail (Japanese and ASCII, encoded by Python's
// email package), each with its own Message-ID.
inline std::vector<std::string> makeMessages() {
    std::vector<std::string> samples;
    for (const char* box : {"taro", "hanako"}) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(
                 std::string(VELKORA_SOURCE_DIR) + "/tests/data/mail/maildir/" + box + "/cur")) {
            files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            samples.push_back(readFile(file));
        }
    }
    std::vector<std::string> out;
    for (int n = 0; n < kMessages; ++n) {
        std::string message = samples[static_cast<std::size_t>(n) % samples.size()];
        const auto id = message.find("Message-ID: <");
        if (id != std::string::npos) {
            message.insert(id + 13, "bench" + std::to_string(n) + ".");
        }
        out.push_back(std::move(message));
    }
    return out;
}

// The real sockets, with the moment the first open connection is closed: the checker closes
// its one account's connection when the server has answered "QUIT".
class ClosingWatch final : public SocketApi {
public:
    explicit ClosingWatch(EventLoop& loop) : api_(loop) {}

    void setNotificationSink(std::function<void()> sink) override {
        api_.setNotificationSink(std::move(sink));
    }
    void startup() override { api_.startup(); }
    void cleanup() override { api_.cleanup(); }
    bool createSocket() override { return api_.createSocket(); }
    bool hasSocket() const override { return api_.hasSocket(); }
    void selectNotification(SocketNotification kind) override { api_.selectNotification(kind); }
    int connect(const std::vector<IpAddress>& addresses, uint16_t port) override {
        return api_.connect(addresses, port);
    }
    int setNonBlocking() override { return api_.setNonBlocking(); }
    long send(const char* data, std::size_t size) override { return api_.send(data, size); }
    long receive(char* buffer, std::size_t size) override { return api_.receive(buffer, size); }
    void closeSocket() override {
        if (api_.hasSocket() && !closedAt) {
            closedAt = Clock::now();
            cpuAtClose = cpuSeconds();
        }
        api_.closeSocket();
    }
    int lastError() const override { return api_.lastError(); }
    void resolve(const std::string& host, std::function<void(HostAddresses)> done) override {
        api_.resolve(host, std::move(done));
    }

    std::optional<Clock::time_point> closedAt;
    double cpuAtClose = 0;

private:
    PosixSocketApi api_;
};

struct CheckTiming {
    double seconds = 0;
    double cpu = 0;
    std::size_t rows = 0;
};

// One complete check of the account by the checker as the programs build it; timed from the
// mail-check command to the server's answer to QUIT.
// The account "bench" on 127.0.0.1 at the port.
inline Account benchAccount(uint16_t port) {
    Account account;
    account.Aname = "bench";
    account.Hname = "127.0.0.1";
    account.Portno = static_cast<int16_t>(port);
    account.Uname = kUser;
    account.Passw = kPassword;
    return account;
}

// With `cache`, the replies of earlier checks are kept as the programs keep them.
inline CheckTiming timeCheck(const Account& account,
                             const ReplyCacheOptions& cache = ReplyCacheOptions::off()) {
    MemorySettingsStore store;
    addAccount(store, account);

    QtEventLoop loop;
    ClosingWatch api(loop);
    velkora::test::RecordingMessageBoxes boxes;
    HeadlessDesktop desktop;
    Checker checker(desktop.services(loop, api, boxes, store), cache);
    checker.loadSettings();

    const double cpuStart = cpuSeconds();
    const auto start = Clock::now();
    checker.mailCheck();
    loop.runUntil([&] { return !checker.checkState().checkInProgress; });
    const auto end = api.closedAt.value_or(Clock::now());
    const double cpuEnd = api.closedAt ? api.cpuAtClose : cpuSeconds();
    for (const auto& box : boxes.boxes) {
        std::cerr << "the check reported: " << box.text << "\n";
    }
    return {std::chrono::duration<double>(end - start).count(), cpuEnd - cpuStart,
            checker.mailList().mailCount()};
}

struct ReferenceTiming {
    double seconds = -1;
    double cpu = 0;
    int messages = 0;
};

// The minimal client run by the interpreter; with a CA file it speaks TLS from the first
// byte (poplib.POP3_SSL) and trusts that CA; with `first` it fetches only that many messages.
inline ReferenceTiming timeReference(const std::string& python, uint16_t port, int lines,
                                     const std::string& caFile = "", int first = -1) {
    const std::string command =
        python + " '" + std::string(VELKORA_SOURCE_DIR) + "/bench/pop3_reference_client.py' " +
        (first >= 0 ? "--first " + std::to_string(first) + " " : "") + "127.0.0.1 " +
        std::to_string(port) + " " + kUser + " " + kPassword + " " + std::to_string(lines) +
        (caFile.empty() ? "" : " '" + caFile + "'");
    ReferenceTiming out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char line[512] = {};
    std::string text;
    while (fgets(line, sizeof line, pipe) != nullptr) {
        text += line;
    }
    const int status = pclose(pipe);
    if (status != 0 || std::sscanf(text.c_str(), "messages=%d octets=%*d seconds=%lf cpu=%lf",
                                   &out.messages, &out.seconds, &out.cpu) != 3) {
        std::cerr << "the reference client failed: " << text << "\n";
        out.seconds = -1;
    }
    return out;
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Puts the messages into the user "bench" of the server; their size in bytes.
inline std::size_t addBenchMailbox(velkora::test::DovecotServer& server) {
    server.addUser(kUser, kPassword);
    const auto messages = makeMessages();
    std::size_t octets = 0;
    for (std::size_t n = 0; n < messages.size(); ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "17096%05zu.M%zuP1.bench:2,S", n + 1, n + 1);
        server.addMessage(kUser, name, messages[n]);
        octets += messages[n].size();
    }
    return octets;
}

}  // namespace velkora::bench
