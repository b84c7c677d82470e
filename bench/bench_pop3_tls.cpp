// Times a complete check of one mailbox of 1,000 messages over TLS (port 995 style, TLS from
// the first byte) on a private Dovecot at 127.0.0.1 whose certificate comes from a CA made
// here, against Python's poplib.POP3_SSL sending the same commands
// (bench/pop3_reference_client.py with Debian's /usr/bin/python3), in the same run. Both
// verify the certificate and the host. Prints both times and their ratio (goal: at most 1.0)
// and the CPU time the check used.

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include "bench/Pop3Bench.h"
#include "tests/support/DovecotServer.h"
#include "tests/support/TestCertificates.h"

namespace {

using namespace velkora;
using namespace velkora::bench;

constexpr int kRounds = 11;
constexpr const char* kPython = "/usr/bin/python3";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (test::DovecotServer::findBinary().empty()) {
        std::cerr << "bench_pop3_tls: dovecot is not installed (scripts/setup.sh installs it)\n";
        return 2;
    }
    const test::TestCa ca;
    const test::TestCertificate certificate = ca.issue({.ipAddresses = {"127.0.0.1"}});
    // The checker trusts the CA through OpenSSL's default store, the client through its file.
    const test::TrustStore trust({ca.certificatePem()});

    test::DovecotServer server;
    const std::size_t octets = addBenchMailbox(server);
    server.useTls(certificate.certificatePem, certificate.keyPem);
    std::string error;
    if (!server.start(&error)) {
        std::cerr << "bench_pop3_tls: dovecot did not start: " << error << "\n";
        return 1;
    }
    const int lines = AppSettings{}.Talkcnt;
    std::cout << "bench_pop3_tls: " << kMessages << " messages (" << octets / 1024
              << " KiB) over TLS on a private Dovecot at 127.0.0.1:" << server.tlsPort()
              << ", TOP n " << lines << ", " << kRounds << " rounds\n";

    Account account = benchAccount(server.tlsPort());
    account.Tlsmode = Account::kImplicitTls;
    // Dovecot indexes the maildir on its first session; neither side should pay for that.
    if (timeReference(kPython, server.tlsPort(), lines, trust.file()).seconds < 0) {
        return 1;
    }
    std::vector<double> checkTimes, checkCpu, referenceTimes;
    for (int round = 1; round <= kRounds; ++round) {
        const CheckTiming check = timeCheck(account);
        const ReferenceTiming reference =
            timeReference(kPython, server.tlsPort(), lines, trust.file());
        if (check.rows != static_cast<std::size_t>(kMessages) || reference.seconds < 0 ||
            reference.messages != kMessages) {
            std::cerr << "bench_pop3_tls: round " << round << " listed " << check.rows
                      << " messages, the reference client saw " << reference.messages << "\n";
            return 1;
        }
        std::printf("round %d: check %.3f s (CPU %.3f s), POP3_SSL %.3f s (CPU %.3f s)\n", round,
                    check.seconds, check.cpu, reference.seconds, reference.cpu);
        checkTimes.push_back(check.seconds);
        checkCpu.push_back(check.cpu);
        referenceTimes.push_back(reference.seconds);
    }
    const double check = median(checkTimes);
    const double reference = median(referenceTimes);
    const double ratio = check / reference;
    std::printf("median: check %.3f s, POP3_SSL %.3f s, ratio %.3f (goal: at most 1.0) %s\n", check,
                reference, ratio, ratio <= 1.0 ? "met" : "NOT MET");
    const double bestCheck = *std::min_element(checkTimes.begin(), checkTimes.end());
    const double bestReference = *std::min_element(referenceTimes.begin(), referenceTimes.end());
    std::printf("best: check %.3f s, POP3_SSL %.3f s, ratio %.3f\n", bestCheck, bestReference,
                bestCheck / bestReference);
    std::printf("check CPU time: %.3f s median, %.1f us per message\n", median(checkCpu),
                median(checkCpu) / kMessages * 1e6);
    return 0;
}
