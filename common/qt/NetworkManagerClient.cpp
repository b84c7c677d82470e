#include "common/qt/NetworkManagerClient.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QMap>
#include <QVariant>
#include <QVariantMap>

#include "common/DialEntries.h"

namespace velkora::nm {

namespace {

using SettingsMap = QMap<QString, QVariantMap>;  // a{sa{sv}}

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<SettingsMap>();
        return true;
    }();
    (void)registered;
}

QDBusMessage call(const QDBusConnection& bus, const QDBusMessage& message) {
    return bus.call(message, QDBus::Block, kQueryTimeoutMs);
}

std::optional<QVariant> property(const QDBusConnection& bus, const QString& path,
                                 const char* interface, const char* name) {
    QDBusMessage get = QDBusMessage::createMethodCall(kService, path, kPropertiesInterface, "Get");
    get << QString::fromLatin1(interface) << QString::fromLatin1(name);
    const QDBusReply<QDBusVariant> reply = call(bus, get);
    if (!reply.isValid()) {
        return std::nullopt;
    }
    return reply.value().variant();
}

// Object paths inside a variant arrive demarshalled or still as a D-Bus argument.
QList<QDBusObjectPath> toPaths(const QVariant& value) {
    if (value.canConvert<QDBusArgument>()) {
        return qdbus_cast<QList<QDBusObjectPath>>(value.value<QDBusArgument>());
    }
    return value.value<QList<QDBusObjectPath>>();
}

std::optional<SettingsMap> profileSettings(const QDBusConnection& bus, const QString& path) {
    registerTypes();
    const QDBusReply<SettingsMap> reply =
        call(bus, QDBusMessage::createMethodCall(kService, path, kProfileInterface, "GetSettings"));
    if (!reply.isValid()) {
        return std::nullopt;
    }
    return reply.value();
}

bool isDialEntry(const SettingsMap& settings) {
    const QString type = settings.value("connection").value("type").toString();
    const QString bluetoothType = settings.value("bluetooth").value("type").toString();
    return isDialEntryType(type.toStdString(), bluetoothType.toStdString());
}

}  // namespace

bool isRunning(const QDBusConnection& bus) {
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return false;
    }
    const QDBusReply<bool> reply = bus.interface()->isServiceRegistered(kService);
    return reply.isValid() && reply.value();
}

std::optional<std::vector<Profile>> listProfiles(const QDBusConnection& bus) {
    const QDBusReply<QList<QDBusObjectPath>> reply =
        call(bus, QDBusMessage::createMethodCall(kService, kSettingsPath, kSettingsInterface,
                                                 "ListConnections"));
    if (!reply.isValid()) {
        return std::nullopt;
    }
    std::vector<Profile> profiles;
    for (const QDBusObjectPath& path : reply.value()) {
        const std::optional<SettingsMap> settings = profileSettings(bus, path.path());
        if (!settings) {
            continue;
        }
        profiles.push_back(
            Profile{path.path(), settings->value("connection").value("id").toString().toStdString(),
                    isDialEntry(*settings)});
    }
    return profiles;
}

std::optional<std::vector<ActiveConnection>> listActiveConnections(const QDBusConnection& bus) {
    const std::optional<QVariant> paths =
        property(bus, kManagerPath, kManagerInterface, "ActiveConnections");
    if (!paths) {
        return std::nullopt;
    }
    std::vector<ActiveConnection> connections;
    for (const QDBusObjectPath& path : toPaths(*paths)) {
        QDBusMessage getAll =
            QDBusMessage::createMethodCall(kService, path.path(), kPropertiesInterface, "GetAll");
        getAll << QString::fromLatin1(kActiveInterface);
        const QDBusReply<QVariantMap> reply = call(bus, getAll);
        if (!reply.isValid()) {
            continue;
        }
        const QVariantMap properties = reply.value();
        ActiveConnection connection;
        connection.path = path.path();
        connection.profilePath = properties.value("Connection").value<QDBusObjectPath>().path();
        connection.id = properties.value("Id").toString().toStdString();
        connection.state = properties.value("State").toUInt();
        const QString type = properties.value("Type").toString();
        if (type == "bluetooth") {
            // Only the profile tells dial-up (DUN) from networking (PAN).
            const std::optional<SettingsMap> settings =
                profileSettings(bus, connection.profilePath);
            connection.dialEntry = settings && isDialEntry(*settings);
        } else {
            connection.dialEntry = isDialEntryType(type.toStdString(), {});
        }
        connections.push_back(std::move(connection));
    }
    return connections;
}

std::optional<uint32_t> managerState(const QDBusConnection& bus) {
    const std::optional<QVariant> state = property(bus, kManagerPath, kManagerInterface, "State");
    if (!state) {
        return std::nullopt;
    }
    return state->toUInt();
}

void deactivate(const QDBusConnection& bus, const QString& activePath) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerInterface,
                                                          "DeactivateConnection");
    message << QVariant::fromValue(QDBusObjectPath(activePath));
    message.setInteractiveAuthorizationAllowed(true);
    bus.send(message);
}

}  // namespace velkora::nm
