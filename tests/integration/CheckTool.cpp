#include "tests/integration/CheckTool.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <filesystem>
#include <stdexcept>

namespace velkora::test {

namespace {

QJsonObject readExpectations(const std::string& set) {
    QFile file(QString::fromStdString(std::string(VELKORA_TEST_DATA_DIR) + "/" + set +
                                      "/expectations.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error("cannot read the expectations of " + set);
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

}  // namespace

std::string maildirOf(const std::string& mailbox, const std::string& set) {
    return std::string(VELKORA_TEST_DATA_DIR) + "/" + set + "/maildir/" + mailbox;
}

std::map<std::string, std::vector<ExpectedMail>> loadExpectations(const std::string& set) {
    const QJsonObject boxes = readExpectations(set).value("mailboxes").toObject();
    std::map<std::string, std::vector<ExpectedMail>> out;
    for (auto box = boxes.begin(); box != boxes.end(); ++box) {
        for (const auto& value : box.value().toArray()) {
            const QJsonObject o = value.toObject();
            out[box.key().toStdString()].push_back({o.value("description").toString().toStdString(),
                                                    o.value("sender").toString().toStdString(),
                                                    o.value("subject").toString().toStdString(),
                                                    o.value("body").toString().toStdString()});
        }
    }
    return out;
}

int expectedTopLines(const std::string& set) {
    return readExpectations(set).value("topLines").toInt();
}

std::vector<QJsonObject> ToolRun::rows() const {
    std::vector<QJsonObject> objects;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        if (line.isEmpty()) {
            continue;
        }
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line, &error);
        EXPECT_TRUE(document.isObject())
            << error.errorString().toStdString() << ": " << line.toStdString();
        objects.push_back(document.object());
    }
    return objects;
}

std::vector<std::string> ToolRun::errorLines() const {
    std::vector<std::string> lines;
    for (const QByteArray& line : QByteArray::fromStdString(err).split('\n')) {
        if (!line.isEmpty()) {
            lines.push_back(line.toStdString());
        }
    }
    return lines;
}

CheckTool::CheckTool() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velkora-tool-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    folder_ = pattern;
    store = std::make_unique<IniSettingsStore>(folder_ + "/velkora/orvane.ini");
}

std::string CheckTool::cacheFolder() const {
    return folder_ + "/cache/velkora";
}

CheckTool::~CheckTool() {
    std::filesystem::remove_all(folder_);
}

ToolRun CheckTool::run(const QStringList& arguments, const std::string& input) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(folder_));
    // Never the user's own cache.
    environment.insert("XDG_CACHE_HOME", QString::fromStdString(folder_ + "/cache"));
    process.setProcessEnvironment(environment);
    process.start(VELKORA_CHECK_TOOL, arguments);
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    ToolRun result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "the check tool did not end";
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

QStringList accountArguments(uint16_t port, const char* user, const char* password) {
    return {"--account", "127.0.0.1", QString::number(port), user, password};
}

}  // namespace velkora::test
