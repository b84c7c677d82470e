// The check of one mailbox of 1,000 messages on a private Dovecot, behind a loopback relay
// that delays each direction by 25 ms (a 50 ms round trip, as to a distant server), beside
// the same check on plain loopback and beside Python's poplib sending one TOP at a time.
//
// In each round: the check's first run (the replies' cache empty), its second run in a new
// checker (the cache read back from disk, as after a restart), both through the relay and on
// loopback, and the sequential client over two samples of the mailbox through the relay, its
// cost scaled up to the whole mailbox (each message costs it one round trip). Prints the
// times, the ratios and the time the slow link adds to each check; the goals: under 2.5 s
// added to the first check, under 0.6 s to the second, and on loopback the first check no
// slower than the sequential client.

#include <stdlib.h>

#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "bench/Pop3Bench.h"
#include "tests/support/DelayingRelay.h"
#include "tests/support/DovecotServer.h"

namespace {

using namespace velkora;
using namespace velkora::bench;

constexpr int kRounds = 3;
constexpr int kDelayMs = 25;
constexpr int kSmallSample = 20;
constexpr int kLargeSample = 80;
// Debian's own interpreter (the one on PATH may be a build of its own).
constexpr const char* kPython = "/usr/bin/python3";

struct ColdAndWarm {
    double cold = 0;
    double warm = 0;
};

// A first and a second check of the account with a fresh cache folder; -1 when a check listed
// fewer than all messages.
ColdAndWarm timeChecks(const Account& account) {
    std::string pattern = (fs::temp_directory_path() / "velkora-bench-cache-XXXXXX").string();
    const std::string folder = mkdtemp(pattern.data());
    const ReplyCacheOptions cache{true, folder + "/velkora"};
    const CheckTiming cold = timeCheck(account, cache);
    const CheckTiming warm = timeCheck(account, cache);
    fs::remove_all(folder);
    if (cold.rows != kMessages || warm.rows != kMessages) {
        std::cerr << "bench_pop3_slow_link: the checks listed " << cold.rows << " and " << warm.rows
                  << " messages\n";
        return {-1, -1};
    }
    return {cold.seconds, warm.seconds};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (test::DovecotServer::findBinary().empty()) {
        std::cerr << "bench_pop3_slow_link: dovecot is not installed (scripts/setup.sh)\n";
        return 2;
    }
    test::DovecotServer server;
    const std::size_t octets = addBenchMailbox(server);
    std::string error;
    if (!server.start(&error)) {
        std::cerr << "bench_pop3_slow_link: dovecot did not start: " << error << "\n";
        return 1;
    }
    test::DelayingRelay relay(server.port(), kDelayMs);
    const int lines = AppSettings{}.Talkcnt;
    std::cout << "bench_pop3_slow_link: " << kMessages << " messages (" << octets / 1024
              << " KiB), TOP n " << lines << "; Dovecot at 127.0.0.1:" << server.port()
              << ", through a relay delaying each direction by " << kDelayMs << " ms at port "
              << relay.port() << "; " << kRounds << " rounds\n";

    // Dovecot indexes the maildir on its first session; nobody should pay for that.
    if (timeReference(kPython, server.port(), lines).seconds < 0) {
        return 1;
    }
    std::vector<double> loopCold, loopWarm, slowCold, slowWarm, reference, referenceLoop;
    for (int round = 1; round <= kRounds; ++round) {
        const ColdAndWarm loop = timeChecks(benchAccount(server.port()));
        const ColdAndWarm slow = timeChecks(benchAccount(relay.port()));
        const ReferenceTiming small = timeReference(kPython, relay.port(), lines, "", kSmallSample);
        const ReferenceTiming large = timeReference(kPython, relay.port(), lines, "", kLargeSample);
        const ReferenceTiming full = timeReference(kPython, server.port(), lines);
        if (loop.cold < 0 || slow.cold < 0 || small.seconds < 0 || large.seconds < 0 ||
            full.seconds < 0) {
            return 1;
        }
        // Fixed cost and cost per message, from the two samples.
        const double perMessage = (large.seconds - small.seconds) / (kLargeSample - kSmallSample);
        const double scaled = small.seconds + perMessage * (kMessages - kSmallSample);
        std::printf(
            "round %d: loopback first %.3f s, second %.3f s | slow link first %.3f s, second "
            "%.3f s | sequential client: loopback %.3f s, slow link %.3f s for %d and %.3f s "
            "for %d messages, %.1f ms each, scaled to %d: %.3f s\n",
            round, loop.cold, loop.warm, slow.cold, slow.warm, full.seconds, small.seconds,
            kSmallSample, large.seconds, kLargeSample, perMessage * 1000, kMessages, scaled);
        loopCold.push_back(loop.cold);
        loopWarm.push_back(loop.warm);
        slowCold.push_back(slow.cold);
        slowWarm.push_back(slow.warm);
        reference.push_back(scaled);
        referenceLoop.push_back(full.seconds);
    }
    const double addedCold = median(slowCold) - median(loopCold);
    const double addedWarm = median(slowWarm) - median(loopWarm);
    std::printf("median over %d rounds:\n", kRounds);
    std::printf(
        "  sequential client on the slow link (scaled): %.3f s (floor: %d round trips, "
        "%.1f s)\n",
        median(reference), kMessages, kMessages * 2 * kDelayMs / 1000.0);
    std::printf(
        "  first check:  slow link %.3f s, loopback %.3f s; %.1fx faster than the "
        "sequential client; the slow link adds %.3f s (goal: under 2.5 s) %s\n",
        median(slowCold), median(loopCold), median(reference) / median(slowCold), addedCold,
        addedCold < 2.5 ? "met" : "NOT MET");
    std::printf(
        "  second check: slow link %.3f s, loopback %.3f s; %.1fx faster than the "
        "sequential client; the slow link adds %.3f s (goal: under 0.6 s) %s\n",
        median(slowWarm), median(loopWarm), median(reference) / median(slowWarm), addedWarm,
        addedWarm < 0.6 ? "met" : "NOT MET");
    const double loopRatio = median(loopCold) / median(referenceLoop);
    std::printf(
        "  on loopback: first check %.3f s, sequential client %.3f s, ratio %.3f (goal: "
        "no slower, at most 1.10) %s\n",
        median(loopCold), median(referenceLoop), loopRatio, loopRatio <= 1.10 ? "met" : "NOT MET");
    return 0;
}
