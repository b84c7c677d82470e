// velkora-test-dovecot USER:PASSWORD:MAILDIR...: runs a private Dovecot POP3 server on
// 127.0.0.1 with the given users, each given the messages of MAILDIR/cur, prints
// "port N" on standard output and serves until standard input closes or a SIGTERM/SIGINT
// arrives. For the GUI tests and the demo; it never touches the system's Dovecot.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/DovecotServer.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: velkora-test-dovecot USER:PASSWORD:MAILDIR...\n");
        return 2;
    }
    if (velkora::test::DovecotServer::findBinary().empty()) {
        std::fprintf(stderr, "velkora-test-dovecot: dovecot is not installed\n");
        return 1;
    }
    velkora::test::DovecotServer server;
    for (int i = 1; i < argc; ++i) {
        std::string mailbox = argv[i];
        std::size_t first = mailbox.find(':');
        std::size_t second = first == std::string::npos ? first : mailbox.find(':', first + 1);
        if (second == std::string::npos) {
            std::fprintf(stderr, "velkora-test-dovecot: not USER:PASSWORD:MAILDIR: %s\n", argv[i]);
            return 2;
        }
        std::string user = mailbox.substr(0, first);
        server.addUser(user, mailbox.substr(first + 1, second - first - 1));
        server.copyMaildir(user, mailbox.substr(second + 1));
    }
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "velkora-test-dovecot: %s\n", error.c_str());
        return 1;
    }
    // Blocked only now: Dovecot, started above, must not inherit the blocked signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
    std::printf("port %u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);

    // Sleeps until standard input closes or a stop signal arrives.
    int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {signals, POLLIN, 0}};
    while (true) {
        if (::poll(watched, 2, -1) < 0) {
            continue;
        }
        if (watched[1].revents != 0) {
            break;
        }
        if (watched[0].revents != 0) {
            char buffer[256];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                break;
            }
        }
    }
    server.stop();
    return 0;
}
