#pragma once

#include <QDBusConnection>
#include <QString>
#include <string>
#include <vector>

#include "checker/dialup/Dialup.h"
#include "checker/shell/TrayIcon.h"
#include "common/AppSettings.h"
#include "common/EventLoop.h"
#include "common/MessageBox.h"

namespace velkora {

// Dial-up on NetworkManager: the entries are its on-demand connection profiles (mobile
// broadband, PPPoE/DSL, Bluetooth dial-up, VPN, WireGuard; common/DialEntries.h).
//  - countActiveConnections: the on-demand connections that are up; when none is, but
//    NetworkManager has a default route through another connection (Ethernet, Wi-Fi), 1: the
//    machine is online and there is nothing to dial. When NetworkManager stops answering,
//    1 as on a machine without dial-up.
//  - dialEntry: brings the profile up and waits in a nested loop, woken by the active
//    connection's state changes, at most attemptLimitMs per attempt; a connection that goes
//    down, fails or is still coming up at the limit is a failed attempt ("Redialval" more
//    attempts follow, the unfinished one taken down first). A name that is no profile any
//    more fails like an attempt.
//  - hangUpDialup: takes down the first on-demand connection that is up or coming up.
// Queries block for NetworkManager's answer (nm::kQueryTimeoutMs at worst); only the wait
// for a connection to come up runs the nested loop.
class NetworkManagerDialup final : public Dialup {
public:
    static constexpr int kAttemptLimitMs = 60000;
    static constexpr const char* kGaveUpText = "接続できませんでした";

    // Lists the entries now.
    NetworkManagerDialup(const QDBusConnection& bus, EventLoop& loop, MessageBoxes& boxes,
                         TrayIcon& tray, int attemptLimitMs = kAttemptLimitMs);

    const std::vector<std::string>& dialEntries() const override { return entries_; }
    int countActiveConnections() override;
    int dialEntry(const std::string& entryName, int redials) override;
    void hangUpDialup() override;
    void activateEntry(const std::string& entryName) override;

private:
    enum class Outcome { Activated, Failed, StillActivating };
    struct Attempt {
        Outcome outcome;
        QString activePath;  // the connection still coming up, for StillActivating
    };

    Attempt attempt(const QString& profilePath);
    // The path of the first on-demand profile of that name; empty when there is none.
    QString findProfile(const std::string& name) const;
    bool isActivated(const QString& profilePath) const;

    QDBusConnection bus_;
    EventLoop& loop_;
    MessageBoxes& boxes_;
    TrayIcon& tray_;
    int attemptLimitMs_;
    std::vector<std::string> entries_;
};

}  // namespace velkora
