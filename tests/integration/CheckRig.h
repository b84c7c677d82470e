#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "checker/check/CheckCycle.h"
#include "checker/check/CheckState.h"
#include "checker/check/MailList.h"
#include "checker/dialup/Dialup.h"
#include "checker/net/Pop3Session.h"
#include "checker/net/PosixSocketApi.h"
#include "checker/net/SocketLayer.h"
#include "common/AppSettings.h"
#include "common/MemorySettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"

namespace velkora::test {

// The program's QCoreApplication, made on first use on the test thread and kept to the end.
void ensureQtApplication();

// The checker's mail check as the program puts it together, on the Qt event loop with real
// sockets; only the tray, the menu, the boxes and the dial-up service are recordings.
class CheckRig {
public:
    CheckRig();

    // Adds an account to the store (before load()).
    void addAccount(const std::string& name, const std::string& host, uint16_t port,
                    const std::string& user, const std::string& password, int32_t textColour,
                    int32_t backgroundColour, int16_t check = 1);
    void setSetting(const std::string& key, const std::string& value) { store.write(key, value); }
    // The checker's settings load and the timer periods that follow from it.
    void load();

    // Starts a check by hand and runs the loop until it has ended; false when it was still
    // running after `limit` (the check is then left where it stands).
    bool runCheck(std::chrono::milliseconds limit);
    // Runs the loop for a while (to let late replies arrive).
    void runFor(std::chrono::milliseconds period);

    // The listed mails as (sender, subject, account, body) rows, without the header row.
    std::vector<MailRow> rows() const;

private:
    // First member: the application must exist before the loop and its timers.
    struct QtApplicationGuard {
        QtApplicationGuard() { ensureQtApplication(); }
    } qtApplication_;

public:
    MemorySettingsStore store;
    AppSettings settings;
    QtEventLoop loop;
    PosixSocketApi api{loop};
    RecordingMessageBoxes boxes;
    SocketLayer layer{api, loop, boxes, settings};
    CheckState state;
    MailList mailList;
    Pop3Session session{layer, loop, state, settings, mailList};
    RecordingTrayIcon tray;
    RecordingMenuItems menus;
    NoRasDialup dialup;
    CheckCycle cycle{loop, layer, session, state, settings, store, tray, menus, dialup};
};

// One expected list entry of the committed test mail.
struct ExpectedMail {
    std::string description;
    std::string file;
    std::string sender;
    std::string subject;
    std::string body;
};

// tests/data/<set>/expectations.json: expected entries by mailbox, in message order. The set
// "mail" is the committed test mail, "corpus" today's mail as Python reads it.
struct MailExpectations {
    int topLines = 0;
    std::map<std::string, std::vector<ExpectedMail>> mailboxes;

    static MailExpectations load(const std::string& set = "mail");
    static std::string maildirOf(const std::string& mailbox, const std::string& set = "mail");
};

// The contents of every message file of a committed mailbox, in message (file name) order.
std::vector<std::string> readMailboxMessages(const std::string& mailbox);

}  // namespace velkora::test
