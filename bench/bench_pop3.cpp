// Times a complete check of one mailbox of 1,000 messages on a private Dovecot at 127.0.0.1,
// with the checker's own logic on the Qt event loop, against the smallest sequential client
// that sends the same commands (bench/pop3_reference_client.py, Python's poplib), in the same
// run. Prints both times, their ratio (goal: the check within 10 % of the minimal client) and
// the CPU time the check used. The check's one-second step between accounts is not counted:
// it lies after the last account, outside the conversation being measured.

#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
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

namespace {

using namespace velkora;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kMessages = 1000;
constexpr int kRounds = 11;
constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-pw";

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// 1,000 messages made from the committed test mail (Japanese and ASCII, encoded by Python's
// email package), each with its own Message-ID.
std::vector<std::string> makeMessages() {
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
    int connect(uint32_t address, uint16_t port) override { return api_.connect(address, port); }
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
    std::optional<uint32_t> lookupHost(const std::string& host) override {
        return api_.lookupHost(host);
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
CheckTiming timeCheck(uint16_t port) {
    MemorySettingsStore store;
    Account account;
    account.Aname = "bench";
    account.Hname = "127.0.0.1";
    account.Portno = static_cast<int16_t>(port);
    account.Uname = kUser;
    account.Passw = kPassword;
    addAccount(store, account);

    QtEventLoop loop;
    ClosingWatch api(loop);
    test::RecordingMessageBoxes boxes;
    NullTrayIcon tray;
    NullMenuItems menus;
    NullMailPopup popup;
    NullCharacter character;
    NullWaveVolume volume;
    NullArrivalSound sound;
    NoRasDialup dialup;
    Checker checker({loop, api, boxes, tray, menus, popup, character, volume, sound, dialup, store,
                     ScreenMetrics{}});
    checker.loadSettings();

    const double cpuStart = cpuSeconds();
    const auto start = Clock::now();
    checker.mailCheck();
    loop.runUntil([&] { return !checker.checkState().checkInProgress; });
    const auto end = api.closedAt.value_or(Clock::now());
    const double cpuEnd = api.closedAt ? api.cpuAtClose : cpuSeconds();
    for (const auto& box : boxes.boxes) {
        std::cerr << "bench_pop3: the check reported: " << box.text << "\n";
    }
    return {std::chrono::duration<double>(end - start).count(), cpuEnd - cpuStart,
            checker.mailList().mailCount()};
}

struct ReferenceTiming {
    double seconds = -1;
    double cpu = 0;
    int messages = 0;
};

ReferenceTiming timeReference(uint16_t port, int lines) {
    const std::string command = "python3 '" + std::string(VELKORA_SOURCE_DIR) +
                                "/bench/pop3_reference_client.py' 127.0.0.1 " +
                                std::to_string(port) + " " + kUser + " " + kPassword + " " +
                                std::to_string(lines);
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
        std::cerr << "bench_pop3: the reference client failed: " << text << "\n";
        out.seconds = -1;
    }
    return out;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (test::DovecotServer::findBinary().empty()) {
        std::cerr << "bench_pop3: dovecot is not installed (scripts/setup.sh installs it)\n";
        return 2;
    }
    test::DovecotServer server;
    server.addUser(kUser, kPassword);
    const auto messages = makeMessages();
    std::size_t octets = 0;
    for (std::size_t n = 0; n < messages.size(); ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "17096%05zu.M%zuP1.bench:2,S", n + 1, n + 1);
        server.addMessage(kUser, name, messages[n]);
        octets += messages[n].size();
    }
    std::string error;
    if (!server.start(&error)) {
        std::cerr << "bench_pop3: dovecot did not start: " << error << "\n";
        return 1;
    }
    const int lines = AppSettings{}.Talkcnt;
    std::cout << "bench_pop3: " << kMessages << " messages (" << octets / 1024
              << " KiB) on a private Dovecot at 127.0.0.1:" << server.port() << ", TOP n " << lines
              << ", " << kRounds << " rounds\n";

    // Dovecot indexes the maildir on its first session; neither side should pay for that.
    if (timeReference(server.port(), lines).seconds < 0) {
        return 1;
    }
    std::vector<double> checkTimes, checkCpu, referenceTimes;
    for (int round = 1; round <= kRounds; ++round) {
        const CheckTiming check = timeCheck(server.port());
        const ReferenceTiming reference = timeReference(server.port(), lines);
        if (check.rows != static_cast<std::size_t>(kMessages) || reference.seconds < 0 ||
            reference.messages != kMessages) {
            std::cerr << "bench_pop3: round " << round << " listed " << check.rows
                      << " messages, the reference client saw " << reference.messages << "\n";
            return 1;
        }
        std::printf("round %d: check %.3f s (CPU %.3f s), reference client %.3f s (CPU %.3f s)\n",
                    round, check.seconds, check.cpu, reference.seconds, reference.cpu);
        checkTimes.push_back(check.seconds);
        checkCpu.push_back(check.cpu);
        referenceTimes.push_back(reference.seconds);
    }
    const double check = median(checkTimes);
    const double reference = median(referenceTimes);
    const double ratio = check / reference;
    std::printf(
        "median: check %.3f s, reference client %.3f s, ratio %.3f (goal: at most 1.10) %s\n",
        check, reference, ratio, ratio <= 1.10 ? "met" : "NOT MET");
    const double bestCheck = *std::min_element(checkTimes.begin(), checkTimes.end());
    const double bestReference = *std::min_element(referenceTimes.begin(), referenceTimes.end());
    std::printf("best: check %.3f s, reference client %.3f s, ratio %.3f\n", bestCheck,
                bestReference, bestCheck / bestReference);
    std::printf("check CPU time: %.3f s median, %.1f us per message\n", median(checkCpu),
                median(checkCpu) / kMessages * 1e6);
    return 0;
}
