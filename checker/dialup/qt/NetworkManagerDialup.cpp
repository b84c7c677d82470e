#include "checker/dialup/qt/NetworkManagerDialup.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusVariant>
#include <QHash>
#include <QObject>
#include <algorithm>
#include <memory>
#include <optional>

#include "common/ProductInfo.h"
#include "common/qt/DialEntryList.h"
#include "common/qt/NetworkManagerClient.h"

namespace velkora {

namespace {

// Remembers the last state that NetworkManager announced for each active connection, from
// the moment it is made: made before an activation is asked for, it misses none of the new
// connection's changes, even those announced before the activation's answer.
class ActiveStateWatch final : public QObject {
    Q_OBJECT

public:
    explicit ActiveStateWatch(const QDBusConnection& bus) : bus_(bus) {
        bus_.connect(nm::kService, QString(), nm::kActiveInterface, "StateChanged", this,
                     SLOT(onStateChanged(uint, uint, QDBusMessage)));
    }

    ~ActiveStateWatch() override {
        bus_.disconnect(nm::kService, QString(), nm::kActiveInterface, "StateChanged", this,
                        SLOT(onStateChanged(uint, uint, QDBusMessage)));
    }

    std::optional<uint> state(const QString& path) const {
        const auto found = states_.constFind(path);
        return found == states_.constEnd() ? std::nullopt : std::optional<uint>(*found);
    }

    void setState(const QString& path, uint state) { states_.insert(path, state); }

private slots:
    void onStateChanged(uint state, uint, const QDBusMessage& message) {
        states_.insert(message.path(), state);
    }

private:
    QDBusConnection bus_;
    QHash<QString, uint> states_;
};

QDBusMessage activationCall(const QString& profilePath) {
    QDBusMessage call = QDBusMessage::createMethodCall(nm::kService, nm::kManagerPath,
                                                       nm::kManagerInterface, "ActivateConnection");
    // "/" for the device and the specific object: NetworkManager picks them.
    call << QVariant::fromValue(QDBusObjectPath(profilePath))
         << QVariant::fromValue(QDBusObjectPath("/")) << QVariant::fromValue(QDBusObjectPath("/"));
    // Lets the desktop's authentication agent ask the user when policy wants it.
    call.setInteractiveAuthorizationAllowed(true);
    return call;
}

std::optional<uint> readState(const QDBusConnection& bus, const QString& activePath) {
    QDBusMessage get = QDBusMessage::createMethodCall(nm::kService, activePath,
                                                      "org.freedesktop.DBus.Properties", "Get");
    get << QString::fromLatin1(nm::kActiveInterface) << QStringLiteral("State");
    const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, nm::kQueryTimeoutMs);
    if (!reply.isValid()) {
        return std::nullopt;
    }
    return reply.value().variant().toUInt();
}

}  // namespace

NetworkManagerDialup::NetworkManagerDialup(const QDBusConnection& bus, EventLoop& loop,
                                           MessageBoxes& boxes, TrayIcon& tray, int attemptLimitMs)
    : bus_(bus),
      loop_(loop),
      boxes_(boxes),
      tray_(tray),
      attemptLimitMs_(attemptLimitMs),
      entries_(listDialEntriesInMenuOrder(bus)) {}

int NetworkManagerDialup::countActiveConnections() {
    const auto active = nm::listActiveConnections(bus_);
    if (!active) {
        return 1;
    }
    const auto up = std::count_if(active->begin(), active->end(), [](const auto& connection) {
        return connection.dialEntry && connection.state == nm::kActivated;
    });
    if (up > 0) {
        return static_cast<int>(up);
    }
    // Counted literally, a machine online through Ethernet or Wi-Fi would skip its periodic
    // checks and bring a modem or VPN up at every manual one.
    const auto state = nm::managerState(bus_);
    return state && *state >= nm::kStateConnectedSite ? 1 : 0;
}

int NetworkManagerDialup::dialEntry(const std::string& entryName, int redials) {
    const int up = countActiveConnections();
    if (up == 1) {
        return 0;
    }
    const QString profilePath = findProfile(entryName);
    // With several connections up the entry may be one of them: bringing it up again would
    // drop it and what runs over it.
    if (up > 1 && !profilePath.isEmpty() && isActivated(profilePath)) {
        return 0;
    }
    while (true) {
        const Attempt result =
            profilePath.isEmpty() ? Attempt{Outcome::Failed, {}} : attempt(profilePath);
        if (result.outcome == Outcome::Activated) {
            return 0;
        }
        if (result.outcome == Outcome::StillActivating) {
            nm::deactivate(bus_, result.activePath);
        }
        if (redials > 0) {
            --redials;
            continue;
        }
        boxes_.show(MessageIcon::Stop, kProductName, kGaveUpText);
        tray_.tuskicon(TrayState::Normal);
        return -1;
    }
}

NetworkManagerDialup::Attempt NetworkManagerDialup::attempt(const QString& profilePath) {
    ActiveStateWatch watch(bus_);
    bool timedOut = false;
    std::unique_ptr<Timer> limit = loop_.createTimer();
    limit->setHandler([&] {
        timedOut = true;
        limit->setEnabled(false);
    });
    limit->setInterval(attemptLimitMs_);
    limit->setEnabled(true);

    QDBusPendingCallWatcher reply(bus_.asyncCall(activationCall(profilePath), attemptLimitMs_));
    bool answered = false;
    QObject::connect(&reply, &QDBusPendingCallWatcher::finished, [&answered] { answered = true; });
    loop_.runUntil([&] { return answered || timedOut; });
    if (!answered) {
        // The request itself is still pending; its connection, if any, is unknown here.
        return Attempt{Outcome::Failed, {}};
    }
    const QDBusPendingReply<QDBusObjectPath> activation = reply;
    if (activation.isError()) {
        return Attempt{Outcome::Failed, {}};
    }
    const QString activePath = activation.value().path();
    if (!watch.state(activePath)) {
        const std::optional<uint> state = readState(bus_, activePath);
        // Gone already: it went down before it could be read.
        watch.setState(activePath, state.value_or(nm::kDeactivated));
    }
    loop_.runUntil([&] {
        const uint state = watch.state(activePath).value_or(nm::kActivating);
        return state == nm::kActivated || state >= nm::kDeactivating || timedOut;
    });
    const uint state = watch.state(activePath).value_or(nm::kActivating);
    if (state == nm::kActivated) {
        return Attempt{Outcome::Activated, {}};
    }
    if (state >= nm::kDeactivating) {
        return Attempt{Outcome::Failed, {}};
    }
    return Attempt{Outcome::StillActivating, activePath};
}

void NetworkManagerDialup::hangUpDialup() {
    const auto active = nm::listActiveConnections(bus_);
    if (!active) {
        return;
    }
    for (const nm::ActiveConnection& connection : *active) {
        if (connection.dialEntry &&
            (connection.state == nm::kActivating || connection.state == nm::kActivated)) {
            nm::deactivate(bus_, connection.path);
            return;
        }
    }
}

void NetworkManagerDialup::activateEntry(const std::string& entryName) {
    if (entryName.empty()) {
        return;
    }
    const QString profilePath = findProfile(entryName);
    if (!profilePath.isEmpty()) {
        bus_.send(activationCall(profilePath));
    }
}

QString NetworkManagerDialup::findProfile(const std::string& name) const {
    if (name.empty()) {
        return {};
    }
    const auto profiles = nm::listProfiles(bus_);
    if (!profiles) {
        return {};
    }
    for (const nm::Profile& profile : *profiles) {
        if (profile.dialEntry && profile.id == name) {
            return profile.path;
        }
    }
    return {};
}

bool NetworkManagerDialup::isActivated(const QString& profilePath) const {
    const auto active = nm::listActiveConnections(bus_);
    return active && std::any_of(active->begin(), active->end(), [&](const auto& connection) {
               return connection.profilePath == profilePath && connection.state == nm::kActivated;
           });
}

}  // namespace velkora

#include "NetworkManagerDialup.moc"
