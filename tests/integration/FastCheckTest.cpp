// The check tool against a private Dovecot, directly and through a relay that delays each
// direction by 25 ms and can hide PIPELINING, UIDL or CAPA: with the replies of earlier checks
// kept or not, it lists exactly the rows and reports exactly the errors of a check that fetches
// every message one TOP at a time, and its commands mean the same.

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/Accounts.h"
#include "tests/integration/CheckTool.h"
#include "tests/support/DelayingRelay.h"
#include "tests/support/DovecotServer.h"

namespace velkora::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

constexpr int kManyMessages = 40;

// The committed test mail, over and over, each copy with a line of its own.
std::vector<std::string> manyMessages(int count) {
    std::vector<std::string> samples;
    for (const char* box : {"taro", "hanako"}) {
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(maildirOf(box, "mail") + "/cur")) {
            files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const auto& file : files) {
            std::string text(fs::file_size(file), '\0');
            FILE* in = std::fopen(file.c_str(), "rb");
            text.resize(std::fread(text.data(), 1, text.size(), in));
            std::fclose(in);
            samples.push_back(text);
        }
    }
    std::vector<std::string> out;
    for (int n = 0; n < count; ++n) {
        out.push_back("X-Copy: " + std::to_string(n) + "\r\n" +
                      samples[static_cast<std::size_t>(n) % samples.size()]);
    }
    return out;
}

std::string messageFile(int n) {
    return "17095" + std::to_string(10000 + n) + ".M" + std::to_string(n) + "P1.copy:2,S";
}

int topCount(const Strings& commands) {
    return static_cast<int>(std::count_if(commands.begin(), commands.end(),
                                          [](const auto& c) { return c.rfind("TOP ", 0) == 0; }));
}

class FastCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (DovecotServer::findBinary().empty()) {
            return;
        }
        server_ = std::make_unique<DovecotServer>();
        server_->addUser("hanako", "pw-hanako");
        for (const char* user : {"many", "changing"}) {
            server_->addUser(user, "pw");
            const auto messages = manyMessages(kManyMessages);
            for (int n = 0; n < kManyMessages; ++n) {
                server_->addMessage(user, messageFile(n), messages[static_cast<std::size_t>(n)]);
            }
        }
        if (!server_->start(&startError_)) {
            server_.reset();
        }
    }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override {
        if (DovecotServer::findBinary().empty()) {
            GTEST_SKIP() << "dovecot is not installed (scripts/setup.sh installs it)";
        }
        ASSERT_TRUE(server_) << "the private Dovecot did not start: " << startError_;
    }

    // 40 copies of the test mail, and hanako with a wrong password, both at the port.
    static void addAccounts(CheckTool& tool, uint16_t port, const std::string& many = "many") {
        auto account = [&](const char* name, const std::string& user, const char* password) {
            velkora::Account a;
            a.Aname = name;
            a.Hname = "127.0.0.1";
            a.Portno = static_cast<int16_t>(port);
            a.Uname = user;
            a.Passw = password;
            velkora::addAccount(*tool.store, a);
        };
        account("たくさん", many, "pw");
        account("花子", "hanako", "wrong");
    }

    static std::unique_ptr<DovecotServer> server_;
    static std::string startError_;
};

std::unique_ptr<DovecotServer> FastCheckTest::server_;
std::string FastCheckTest::startError_;

TEST_F(FastCheckTest, ListsWhatTheSequentialCheckListsWithAndWithoutPipeliningUidlAndCapa) {
    // The reference: one TOP at a time (PIPELINING hidden), every message fetched.
    DelayingRelay sequential(server_->port(), 0, {"PIPELINING"});
    CheckTool referenceTool;
    addAccounts(referenceTool, sequential.port());
    const ToolRun reference = referenceTool.run({"--no-cache"});
    ASSERT_EQ(reference.rows().size(), std::size_t{kManyMessages}) << reference.err;
    ASSERT_EQ(reference.errorLines(), Strings{"アカウント2 (花子): [AUTH] Authentication failed."});
    EXPECT_EQ(sequential.largestBurst(), 1u);
    const Strings referenceCommands = sequential.commands();
    EXPECT_EQ(std::count(referenceCommands.begin(), referenceCommands.end(), "UIDL"), 0);

    struct Variant {
        const char* name;
        int delayMs;
        Strings hidden;
        bool pipelines;
        bool keepsReplies;
    };
    for (const Variant& v :
         {Variant{"direct", -1, {}, true, true}, Variant{"25 ms each way", 25, {}, true, true},
          Variant{"25 ms, no PIPELINING", 25, {"PIPELINING"}, false, true},
          Variant{"25 ms, no UIDL", 25, {"UIDL"}, true, false},
          Variant{"no CAPA", 0, {"CAPA"}, false, true}}) {
        SCOPED_TRACE(v.name);
        std::unique_ptr<DelayingRelay> relay;
        if (v.delayMs >= 0) {
            relay = std::make_unique<DelayingRelay>(server_->port(), v.delayMs, v.hidden);
        }
        CheckTool tool;
        addAccounts(tool, relay ? relay->port() : server_->port());
        for (const char* check : {"first", "second"}) {
            SCOPED_TRACE(check);
            if (relay) {
                relay->clearLog();
            }
            const ToolRun run = tool.run({});
            EXPECT_EQ(run.out, reference.out);
            EXPECT_EQ(run.errorLines(), reference.errorLines());
            EXPECT_EQ(run.exitCode, reference.exitCode);
            if (!relay) {
                continue;
            }
            const Strings commands = relay->commands();
            const bool warm = std::string(check) == "second" && v.keepsReplies;
            EXPECT_EQ(relay->largestBurst() > 1, v.pipelines && !warm);
            EXPECT_EQ(topCount(commands), warm ? 0 : kManyMessages);
            EXPECT_EQ(std::count(commands.begin(), commands.end(), "UIDL"), v.keepsReplies ? 1 : 0);
        }
        EXPECT_EQ(fs::exists(tool.cacheFolder() + "/replies"), v.keepsReplies);
    }
}

TEST_F(FastCheckTest, MailThatArrivesOrLeavesBetweenChecksIsListedOrDroppedAsAFullFetchWould) {
    DelayingRelay relay(server_->port(), 25);
    CheckTool tool;
    addAccounts(tool, relay.port(), "changing");
    ASSERT_EQ(tool.run({}).rows().size(), std::size_t{kManyMessages});

    // Two messages leave (the first and one in the middle) and two arrive.
    const std::string cur = server_->directory() + "/mail/changing/cur/";
    fs::remove(cur + messageFile(0));
    fs::remove(cur + messageFile(17));
    const auto more = manyMessages(kManyMessages + 2);
    server_->addMessage("changing", messageFile(kManyMessages), more[kManyMessages]);
    server_->addMessage("changing", messageFile(kManyMessages + 1), more[kManyMessages + 1]);

    relay.clearLog();
    const ToolRun kept = tool.run({});
    EXPECT_EQ(topCount(relay.commands()), 2) << "only the mail that arrived is fetched";
    // A user who suspects the kept replies can leave them out: everything is fetched again.
    relay.clearLog();
    const ToolRun full = tool.run({"--no-cache"});
    ASSERT_EQ(full.rows().size(), std::size_t{kManyMessages});
    const Strings commands = relay.commands();
    EXPECT_EQ(topCount(commands), kManyMessages);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "UIDL"), 0);
    EXPECT_EQ(kept.out, full.out);
    EXPECT_EQ(kept.errorLines(), full.errorLines());
}

}  // namespace
}  // namespace velkora::test
