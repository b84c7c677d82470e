#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

namespace velkora::test {

// The program's QCoreApplication, made on first use on the test thread and kept to the end.
void ensureQtApplication();

// A bus of the test's own: a dbus-daemon listening in a private temporary folder, standing
// in for the system bus.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& address() const { return address_; }
    // The test's connection to the bus (one per bus).
    QDBusConnection connection() const { return QDBusConnection(connectionName_); }

private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
};

// NetworkManager as the template tests/checker/dialup/mock_networkmanager.py plays it, on a
// private bus; the control calls go over the bus's test connection, so they arrive after
// everything the code under test sent before on that same connection.
class MockNetworkManager {
public:
    static constexpr uint32_t kDisconnected = 20;
    static constexpr uint32_t kConnectedGlobal = 70;

    // Starts the mock and returns once it owns NetworkManager's name.
    explicit MockNetworkManager(PrivateBus& bus, uint32_t state = kDisconnected);
    // Stops it and returns once the name is gone from the bus.
    ~MockNetworkManager();
    MockNetworkManager(const MockNetworkManager&) = delete;
    MockNetworkManager& operator=(const MockNetworkManager&) = delete;

    QString addProfile(const QString& id, const QString& type, const QString& bluetoothType = {});
    void removeProfile(const QString& id);
    // Outcomes of the profile's next activations: "up", "quick", "fail", "hang" (the last
    // one repeats).
    void scriptActivations(const QString& id, const QStringList& outcomes);
    // An active connection of the profile, activated at once.
    QString bringUp(const QString& id);
    void setState(uint32_t state);
    // "activate ID" and "deactivate ID", in the order they were asked for.
    std::vector<std::string> events();

private:
    QDBusMessage control(const QString& method, const QVariantList& arguments);

    PrivateBus& bus_;
    QProcess process_;
};

}  // namespace velkora::test
