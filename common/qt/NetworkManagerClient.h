#pragma once

#include <QDBusConnection>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velkora::nm {

// NetworkManager's D-Bus names.
inline constexpr const char* kService = "org.freedesktop.NetworkManager";
inline constexpr const char* kManagerPath = "/org/freedesktop/NetworkManager";
inline constexpr const char* kManagerInterface = "org.freedesktop.NetworkManager";
inline constexpr const char* kSettingsPath = "/org/freedesktop/NetworkManager/Settings";
inline constexpr const char* kSettingsInterface = "org.freedesktop.NetworkManager.Settings";
inline constexpr const char* kProfileInterface =
    "org.freedesktop.NetworkManager.Settings.Connection";
inline constexpr const char* kActiveInterface = "org.freedesktop.NetworkManager.Connection.Active";

// States of an active connection.
inline constexpr uint32_t kActivating = 1;
inline constexpr uint32_t kActivated = 2;
inline constexpr uint32_t kDeactivating = 3;
inline constexpr uint32_t kDeactivated = 4;

// The manager's overall state from which on a default route exists (connected to the site,
// or globally).
inline constexpr uint32_t kStateConnectedSite = 60;

// How long a query may keep the caller waiting for NetworkManager's answer.
inline constexpr int kQueryTimeoutMs = 5000;

// True when NetworkManager owns its name on the bus now.
bool isRunning(const QDBusConnection& bus);

// A connection profile.
struct Profile {
    QString path;
    std::string id;          // the profile's name, "connection.id"
    bool dialEntry = false;  // of a kind brought up on demand (common/DialEntries.h)
};

// The profiles in NetworkManager's order; nothing when NetworkManager does not answer.
// Profiles whose settings cannot be read are left out.
std::optional<std::vector<Profile>> listProfiles(const QDBusConnection& bus);

// A connection that is coming up, up or going down.
struct ActiveConnection {
    QString path;
    QString profilePath;
    std::string id;
    bool dialEntry = false;
    uint32_t state = 0;
};

// The active connections in NetworkManager's order; nothing when NetworkManager does not
// answer. Connections that vanish while they are read are left out.
std::optional<std::vector<ActiveConnection>> listActiveConnections(const QDBusConnection& bus);

// The manager's overall state ("State"); nothing when NetworkManager does not answer.
std::optional<uint32_t> managerState(const QDBusConnection& bus);

// Asks NetworkManager to take an active connection down, without waiting for the answer.
void deactivate(const QDBusConnection& bus, const QString& activePath);

}  // namespace velkora::nm
