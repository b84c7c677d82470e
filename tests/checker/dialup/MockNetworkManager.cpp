#include "tests/checker/dialup/MockNetworkManager.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QFile>
#include <QProcessEnvironment>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <string>

namespace velkora::test {

namespace {

constexpr int kStartLimitMs = 15000;
constexpr const char* kNmService = "org.freedesktop.NetworkManager";

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

// Runs a local loop until the service's ownership on the bus is as wanted, the process has
// ended or the limit has passed.
bool waitForOwnership(const QDBusConnection& bus, bool owned, const QProcess& process) {
    const auto isOwned = [&] {
        return bus.interface()->isServiceRegistered(kNmService).value() == owned;
    };
    QDBusServiceWatcher watcher(kNmService, bus,
                                owned ? QDBusServiceWatcher::WatchForRegistration
                                      : QDBusServiceWatcher::WatchForUnregistration);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceUnregistered, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    limit.start(kStartLimitMs);
    // Tested after the watch is in place, so that no change is missed.
    while (!isOwned() && limit.isActive() && (!owned || process.state() != QProcess::NotRunning)) {
        loop.exec();
    }
    return isOwned();
}

}  // namespace

void ensureQtApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "test_dialup";
    static char* argv[] = {name, nullptr};
    // Kept for the rest of the run: one application per process, made on the test thread.
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

PrivateBus::PrivateBus() {
    ensureQtApplication();
    if (!folder_.isValid()) {
        fail("no temporary folder for the bus");
    }
    const QString config = folder_.filePath("bus.conf");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        fail("cannot write " + config);
    }
    file.write(QStringLiteral(
                   "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig>\n"
                   "  <listen>unix:dir=%1</listen>\n"
                   "  <auth>EXTERNAL</auth>\n"
                   "  <policy context=\"default\">\n"
                   "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                   "    <allow eavesdrop=\"true\"/>\n"
                   "    <allow own=\"*\"/>\n"
                   "  </policy>\n"
                   "</busconfig>\n")
                   .arg(folder_.path())
                   .toUtf8());
    file.close();

    daemon_.start("dbus-daemon",
                  {"--config-file=" + config, "--nofork", "--nopidfile", "--print-address=1"});
    if (!daemon_.waitForStarted(kStartLimitMs)) {
        fail("dbus-daemon did not start: " + daemon_.errorString());
    }
    QByteArray output;
    while (!output.contains('\n') && daemon_.waitForReadyRead(kStartLimitMs)) {
        output += daemon_.readAllStandardOutput();
    }
    address_ = QString::fromUtf8(output).trimmed();
    if (address_.isEmpty()) {
        fail("dbus-daemon printed no address");
    }
    static std::atomic<int> serial{0};
    connectionName_ = QStringLiteral("velkora-test-bus-%1").arg(++serial);
    if (!QDBusConnection::connectToBus(address_, connectionName_).isConnected()) {
        fail("cannot connect to the private bus at " + address_);
    }
}

PrivateBus::~PrivateBus() {
    QDBusConnection::disconnectFromBus(connectionName_);
    daemon_.terminate();
    if (!daemon_.waitForFinished(kStartLimitMs)) {
        daemon_.kill();
        daemon_.waitForFinished();
    }
}

MockNetworkManager::MockNetworkManager(PrivateBus& bus, uint32_t state) : bus_(bus) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SYSTEM_BUS_ADDRESS", bus.address());
    process_.setProcessEnvironment(environment);
    // Its record of every call goes to standard output, which nothing reads.
    process_.setStandardOutputFile(QProcess::nullDevice());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's python3-dbusmock belongs to the system's interpreter.
    process_.start("/usr/bin/python3",
                   {"-m", "dbusmock", "--system", "--template",
                    VELKORA_SOURCE_DIR "/tests/checker/dialup/mock_networkmanager.py",
                    "--parameters", QStringLiteral("{\"State\": %1}").arg(state)});
    if (!waitForOwnership(bus_.connection(), true, process_)) {
        process_.kill();
        process_.waitForFinished();
        fail("the NetworkManager mock did not come up (python3-dbusmock installed?)");
    }
}

MockNetworkManager::~MockNetworkManager() {
    process_.terminate();
    if (!process_.waitForFinished(kStartLimitMs)) {
        process_.kill();
        process_.waitForFinished();
    }
    waitForOwnership(bus_.connection(), false, process_);
}

QDBusMessage MockNetworkManager::control(const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        kNmService, "/org/freedesktop/NetworkManager", "org.freedesktop.DBus.Mock", method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus_.connection().call(call, QDBus::Block, kStartLimitMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        fail("mock " + method + ": " + reply.errorMessage());
    }
    return reply;
}

QString MockNetworkManager::addProfile(const QString& id, const QString& type,
                                       const QString& bluetoothType) {
    return control("AddProfile", {id, type, bluetoothType})
        .arguments()
        .value(0)
        .value<QDBusObjectPath>()
        .path();
}

void MockNetworkManager::removeProfile(const QString& id) {
    control("RemoveProfile", {id});
}

void MockNetworkManager::scriptActivations(const QString& id, const QStringList& outcomes) {
    control("ScriptActivations", {id, outcomes});
}

QString MockNetworkManager::bringUp(const QString& id) {
    return control("BringUp", {id}).arguments().value(0).value<QDBusObjectPath>().path();
}

void MockNetworkManager::setState(uint32_t state) {
    control("SetState", {QVariant::fromValue(state)});
}

std::vector<std::string> MockNetworkManager::events() {
    std::vector<std::string> events;
    for (const QString& event : control("Events", {}).arguments().value(0).toStringList()) {
        events.push_back(event.toStdString());
    }
    return events;
}

}  // namespace velkora::test
