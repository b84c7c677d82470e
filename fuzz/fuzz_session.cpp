// The whole check of one account fed arbitrary server bytes: each answer of the server (the
// greeting, and what it says to every command) comes from the input, in pieces and with
// pauses that the input chooses, and may be silence or a reset. The account may ask for
// plain POP3, STARTTLS or TLS. Two checks run, the replies of the first kept for the second,
// against a server that otherwise offers pipelining and unique ids. A check must always come
// to its end.

#include <fuzzer/FuzzedDataProvider.h>

#include <stdlib.h>

#include <cstdint>
#include <string>

#include "checker/dialup/Dialup.h"
#include "checker/shell/Checker.h"
#include "checker/shell/HeadlessServices.h"
#include "common/Accounts.h"
#include "common/MemorySettingsStore.h"
#include "common/MessageBox.h"
#include "tests/support/FakeSocketApi.h"
#include "tests/support/SimulatedEventLoop.h"

namespace {

using namespace velkora;

class NoBoxes final : public MessageBoxes {
public:
    void show(MessageIcon, const std::string&, const std::string&) override {}
};

test::FakeReply answer(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0:
            return test::FakeReply::silence();
        case 1:
            return test::FakeReply::failReceive(10054);
        default: {
            const std::string bytes = in.ConsumeRandomLengthString(2048);
            const auto piece = in.ConsumeIntegralInRange<std::size_t>(1, 512);
            const auto gap = in.ConsumeIntegralInRange<int64_t>(0, 100);
            return test::FakeReply::dribble(bytes, piece, gap);
        }
    }
}

}  // namespace

// No trust store to read at every TLS connection: nothing the fuzzer sends is trusted anyway.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SSL_CERT_FILE", "/dev/null", 1);
    setenv("SSL_CERT_DIR", "/nonexistent", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    test::SimulatedEventLoop loop;
    test::FakeSocketApi api(loop);
    test::FakePop3Server& server = api.addServer("pop.example");
    MemorySettingsStore store;
    store.write("Option3value", "1");
    // A short time-up: a stalled exchange ends after a few virtual ticks, not minutes.
    store.write("Timeupval", std::to_string(in.ConsumeIntegralInRange<int>(1, 8)));
    store.write("Talkcnt", std::to_string(in.ConsumeIntegralInRange<int>(0, 40)));
    Account account;
    account.Aname = "fuzz";
    account.Hname = "pop.example";
    account.Uname = "user";
    account.Passw = "password";
    account.Tlsmode = in.ConsumeIntegralInRange<int16_t>(0, 2);
    addAccount(store, account);

    server.setMailbox({"From: a@example.com\r\nSubject: one\r\n\r\nbody\r\n",
                       "From: b@example.com\r\n\r\n.dot\r\n"});
    server.setUids({"uid-1", "uid-2"});
    server.setCapabilities({"TOP", "UIDL", "PIPELINING"});
    server.setCoalescing(in.ConsumeBool());
    server.setGreeting(answer(in));
    for (int round = 0; round < 8 && in.remaining_bytes() > 0; ++round) {
        for (const char* command :
             {"CAPA", "STLS", "USER", "PASS", "STAT", "UIDL", "TOP", "QUIT"}) {
            server.once(command, answer(in));
        }
    }

    NoBoxes boxes;
    HeadlessDesktop desktop;
    Checker checker(desktop.services(loop, api, boxes, store), ReplyCacheOptions::inMemory());
    checker.loadSettings();
    for (int check = 0; check < 2; ++check) {
        checker.mailCheck();
        // Throws (and so fails) when the check could never end.
        loop.runUntil([&] { return !checker.checkState().checkInProgress; });
    }
    return 0;
}
