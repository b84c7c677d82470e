// The check as the programs build it, once against servers that take one TOP at a time and
// once against servers that pipeline, with the replies kept between checks: for the same
// mailboxes and the same failures, the same rows, boxes and counts, and the same commands but
// for the ids asked for and the TOPs sent ahead.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "checker/net/Pop3Session.h"
#include "tests/support/CheckerRig.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/SimulatedEventLoop.h"

namespace velkora {
namespace {

using test::FakePop3Server;
using test::FakeReply;
using Strings = std::vector<std::string>;
using Rig = test::CheckerRig<test::SimulatedEventLoop, test::FakeSocketApi>;

std::string message(int n) {
    const std::string k = std::to_string(n);
    return "From: =?ISO-2022-JP?B?GyRCOzNFRBsoQg==?= <s" + k + "@example.com>\r\nSubject: No. " +
           k + "\r\n\r\nline one of " + k + "\r\n.leading dot\r\n";
}

struct Outcome {
    Strings rows;  // every cell and the colours, row by row
    Strings boxes;
    int16_t total = 0;
    TrayImage image = TrayImage::Normal;
    std::vector<int16_t> givenUp;  // accounts the time-up gave up
    Strings commands;              // to the first server
    int topsAtOnce = 0;            // TOP commands sent together with the first
    bool operator==(const Outcome&) const = default;
};

// Account "A" on a.example with 40 mails, spoilt by `spoil`, then account "B" with three mails
// that nothing spoils; the boxes and the accounts given up that this gives.
struct Scenario {
    const char* name;
    std::function<void(FakePop3Server&)> spoil;
    Strings boxes;
    std::vector<int16_t> givenUp;
};

void setUpServer(FakePop3Server& server, int messages, bool pipelining) {
    Strings box, uids;
    for (int n = 1; n <= messages; ++n) {
        box.push_back(message(n));
        uids.push_back("id" + std::to_string(n));
    }
    server.setMailbox(box);
    server.setUids(uids);
    server.setCapabilities(pipelining ? Strings{"TOP", "UIDL", "PIPELINING"}
                                      : Strings{"TOP", "UIDL"});
    server.setCoalescing(pipelining);
    server.setLatency(25);
}

Outcome runCheck(Rig& rig) {
    rig.checker.loadSettings();
    rig.checker.mailCheck();
    rig.loop.runUntil([&] { return !rig.state().checkInProgress; });
    Outcome out;
    for (const MailRow& row : rig.rows()) {
        out.rows.insert(out.rows.end(), row.cells.begin(), row.cells.end());
        out.rows.push_back(std::to_string(row.colours.text) + "/" +
                           std::to_string(row.colours.background));
    }
    out.boxes = rig.boxes.texts();
    out.total = rig.state().totalMessages;
    out.image = rig.tray.image;
    out.commands = rig.api.sentTexts("a.example");
    const auto& sent = rig.api.sent();
    const auto first = std::find_if(sent.begin(), sent.end(),
                                    [](const auto& line) { return line.text == "TOP 1 10"; });
    out.topsAtOnce =
        static_cast<int>(std::count_if(sent.begin(), sent.end(), [&](const auto& line) {
            return first != sent.end() && line.at == first->at && line.text.rfind("TOP", 0) == 0;
        }));
    return out;
}

struct CheckerUnderTest {
    explicit CheckerUnderTest(bool pipelining)
        : rig(pipelining ? ReplyCacheOptions::inMemory() : ReplyCacheOptions::off()) {
        rig.set("Timeupval", "5");
        rig.addAccount({.Aname = "A", .Hname = "a.example", .Uname = "u", .Passw = "p"});
        rig.addAccount({.Aname = "B",
                        .Hname = "b.example",
                        .Uname = "u",
                        .Passw = "p",
                        .Scolor1 = 0xFF,
                        .Scolor2 = 0xEEEEEE});
        rig.checker.cycle().onAccountTimedOut = [this] {
            givenUp.push_back(rig.state().currentAccountNumber);
        };
    }
    Outcome check() {
        givenUp.clear();
        Outcome out = runCheck(rig);
        out.givenUp = givenUp;
        return out;
    }
    Rig rig;
    std::vector<int16_t> givenUp;
};

// The commands of the pipelined check as the sequential one would have sent them: without
// UIDL and without the TOPs sent ahead beyond the last one the sequential check sent.
Strings asSequential(const Strings& pipelined, const Strings& sequential) {
    int lastTop = 0;
    for (const std::string& command : sequential) {
        if (command.rfind("TOP ", 0) == 0) {
            lastTop = std::max(lastTop, std::stoi(command.substr(4)));
        }
    }
    Strings out;
    for (const std::string& command : pipelined) {
        const bool aheadTop =
            command.rfind("TOP ", 0) == 0 && std::stoi(command.substr(4)) > lastTop;
        if (command != "UIDL" && !aheadTop) {
            out.push_back(command);
        }
    }
    return out;
}

TEST(PipelinedCheck, GivesWhatTheSequentialCheckGivesWhateverTheServerDoesMidWindow) {
    const std::vector<Scenario> scenarios = {
        {"all well", [](FakePop3Server&) {}, {}, {}},
        {"TOP 5 refused",
         [](FakePop3Server& s) { s.on("TOP 5", FakeReply::err(" no such message\r\n")); },
         {" no such message\r\n"},
         {}},
        {"closed after four replies", [](FakePop3Server& s) { s.closeAfterTops(4); }, {}, {1}},
        {"reset at TOP 5",
         [](FakePop3Server& s) { s.on("TOP 5", FakeReply::failReceive(10054)); },
         {"リモートホストから切断されたよ"},
         {}},
        {"time-up waiting for TOP 5",
         [](FakePop3Server& s) {
             s.on("TOP 5", FakeReply::raw("+OK\r\n" + message(5) + ".\r\n").after(60000));
         },
         {},
         {1}},
    };
    for (const Scenario& scenario : scenarios) {
        SCOPED_TRACE(scenario.name);
        std::optional<Outcome> outcomes[2];
        for (const bool pipelining : {false, true}) {
            CheckerUnderTest c(pipelining);
            for (const char* host : {"a.example", "b.example"}) {
                setUpServer(c.rig.api.addServer(host), host[0] == 'a' ? 40 : 3, pipelining);
            }
            scenario.spoil(c.rig.api.server("a.example"));
            outcomes[pipelining] = c.check();
        }
        const Outcome& sequential = *outcomes[0];
        Outcome pipelined = *outcomes[1];
        pipelined.commands = asSequential(pipelined.commands, sequential.commands);
        EXPECT_EQ(sequential.topsAtOnce, 1);
        EXPECT_EQ(pipelined.topsAtOnce, static_cast<int>(Pop3Session::kPipelineWindow));
        pipelined.topsAtOnce = sequential.topsAtOnce;
        EXPECT_EQ(pipelined, sequential);
        // And what the sequential check gives is what such a server is meant to give.
        EXPECT_EQ(sequential.boxes, scenario.boxes);
        EXPECT_EQ(sequential.givenUp, scenario.givenUp);
        EXPECT_EQ(sequential.rows.size() / 5, std::string(scenario.name) == "all well" ? 43u : 7u);
    }
}

}  // namespace
}  // namespace velkora
