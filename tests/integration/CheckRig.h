#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "checker/net/PosixSocketApi.h"
#include "common/qt/QtEventLoop.h"
#include "tests/support/CheckerRig.h"

namespace velkora::test {

// The checker on the Qt event loop with real sockets; the desktop services are recordings.
class CheckRig : public CheckerRig<QtEventLoop, PosixSocketApi> {
public:
    void addAccount(const std::string& name, const std::string& host, uint16_t port,
                    const std::string& user, const std::string& password, int32_t textColour,
                    int32_t backgroundColour, int16_t check = 1);
    void setSetting(const std::string& key, const std::string& value) { set(key, value); }
    // The checker's settings load, as at start-up.
    void load() { checker.loadSettings(); }

    // Starts a check by hand and runs the loop until it has ended; false when it was still
    // running after `limit` (the check is then left where it stands).
    bool runCheck(std::chrono::milliseconds limit);
};

// One expected list entry of the committed test mail.
struct ExpectedMail {
    std::string description;
    std::string file;
    std::string sender;
    std::string subject;
    std::string body;
};

// tests/data/mail/expectations.json: expected entries by mailbox, in message order.
struct MailExpectations {
    int topLines = 0;
    std::map<std::string, std::vector<ExpectedMail>> mailboxes;

    static MailExpectations load();
    static std::string maildirOf(const std::string& mailbox);
};

// The contents of every message file of a committed mailbox, in message (file name) order.
std::vector<std::string> readMailboxMessages(const std::string& mailbox);

}  // namespace velkora::test
