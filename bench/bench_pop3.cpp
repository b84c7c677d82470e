// Times a complete check of one mailbox of 1,000 messages on a private Dovecot at 127.0.0.1,
// with the checker's own logic on the Qt event loop, against the smallest sequential client
// that sends the same commands (bench/pop3_reference_client.py, Python's poplib), in the same
// run. Prints both times, their ratio (goal: the check within 10 % of the minimal client) and
// the CPU time the check used. The check's one-second step between accounts is not counted:
// it lies after the last account, outside the conversation being measured.

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include "bench/Pop3Bench.h"
#include "tests/support/DovecotServer.h"

namespace {

using namespace velkora;
using namespace velkora::bench;

constexpr int kRounds = 11;

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (test::DovecotServer::findBinary().empty()) {
        std::cerr << "bench_pop3: dovecot is not installed (scripts/setup.sh installs it)\n";
        return 2;
    }
    test::DovecotServer server;
    const std::size_t octets = addBenchMailbox(server);
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
    if (timeReference("python3", server.port(), lines).seconds < 0) {
        return 1;
    }
    std::vector<double> checkTimes, checkCpu, referenceTimes;
    for (int round = 1; round <= kRounds; ++round) {
        const CheckTiming check = timeCheck(benchAccount(server.port()));
        const ReferenceTiming reference = timeReference("python3", server.port(), lines);
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
