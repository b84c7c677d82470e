#include "tests/integration/CheckRig.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "common/Accounts.h"
#include "common/Settings.h"

namespace velkora::test {

void ensureQtApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    static int argc = 1;
    static char name[] = "test_integration";
    static char* argv[] = {name, nullptr};
    // Kept for the rest of the run: one application per process, made on the test thread.
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

CheckRig::CheckRig() = default;

void CheckRig::addAccount(const std::string& name, const std::string& host, uint16_t port,
                          const std::string& user, const std::string& password, int32_t textColour,
                          int32_t backgroundColour, int16_t check) {
    Account account;
    account.Aname = name;
    account.Hname = host;
    account.Portno = static_cast<int16_t>(port);
    account.Uname = user;
    account.Passw = password;
    account.Check = check;
    account.Scolor1 = textColour;
    account.Scolor2 = backgroundColour;
    velkora::addAccount(store, account);
}

void CheckRig::load() {
    settings = loadSettings(store);
    cycle.applyTimerPeriods();
}

bool CheckRig::runCheck(std::chrono::milliseconds limit) {
    bool timedOut = false;
    auto guard = loop.createTimer();
    guard->setHandler([&] {
        timedOut = true;
        guard->setEnabled(false);
    });
    guard->setInterval(static_cast<int>(limit.count()));
    guard->setEnabled(true);
    cycle.mailCheckCommand();
    loop.runUntil([&] { return !state.checkInProgress || timedOut; });
    return !state.checkInProgress;
}

void CheckRig::runFor(std::chrono::milliseconds period) {
    bool over = false;
    auto guard = loop.createTimer();
    guard->setHandler([&] {
        over = true;
        guard->setEnabled(false);
    });
    guard->setInterval(static_cast<int>(period.count()));
    guard->setEnabled(true);
    loop.runUntil([&] { return over; });
}

std::vector<MailRow> CheckRig::rows() const {
    std::vector<MailRow> out;
    for (std::size_t r = 1; r < mailList.rowCount(); ++r) {
        out.push_back(mailList.row(r));
    }
    return out;
}

std::string MailExpectations::maildirOf(const std::string& mailbox, const std::string& set) {
    return std::string(VELKORA_TEST_DATA_DIR) + "/" + set + "/maildir/" + mailbox;
}

MailExpectations MailExpectations::load(const std::string& set) {
    const QString path = QString::fromStdString(std::string(VELKORA_TEST_DATA_DIR) + "/" + set +
                                                "/expectations.json");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read " + path.toStdString());
    }
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    MailExpectations out;
    out.topLines = root.value("topLines").toInt();
    const QJsonObject boxes = root.value("mailboxes").toObject();
    for (auto it = boxes.begin(); it != boxes.end(); ++it) {
        std::vector<ExpectedMail> entries;
        for (const auto& value : it.value().toArray()) {
            const QJsonObject o = value.toObject();
            ExpectedMail mail;
            mail.description = o.value("description").toString().toStdString();
            mail.file = o.value("file").toString().toStdString();
            mail.sender = o.value("sender").toString().toStdString();
            mail.subject = o.value("subject").toString().toStdString();
            mail.body = o.value("body").toString().toStdString();
            entries.push_back(std::move(mail));
        }
        out.mailboxes[it.key().toStdString()] = std::move(entries);
    }
    if (out.mailboxes.empty()) {
        throw std::runtime_error("no mailboxes in " + path.toStdString());
    }
    return out;
}

std::vector<std::string> readMailboxMessages(const std::string& mailbox) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    for (const auto& entry :
         fs::directory_iterator(MailExpectations::maildirOf(mailbox) + "/cur")) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> out;
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        out.push_back(text.str());
    }
    return out;
}

}  // namespace velkora::test
