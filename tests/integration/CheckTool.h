#pragma once

#include <QJsonObject>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/IniSettingsStore.h"

namespace velkora::test {

// One expected list entry of a committed mailbox.
struct ExpectedMail {
    std::string description;
    std::string sender;
    std::string subject;
    std::string body;
};

// tests/data/<set>/: "mail" is the committed test mail, "corpus" today's mail as Python's
// email package reads it.
std::string maildirOf(const std::string& mailbox, const std::string& set);
// <set>/expectations.json: the expected entries by mailbox, in message order.
std::map<std::string, std::vector<ExpectedMail>> loadExpectations(const std::string& set);
// The "topLines" of <set>/expectations.json: the Talkcnt its bodies were cut to.
int expectedTopLines(const std::string& set);

// A run of the check tool with its own settings and cache folders ($XDG_CONFIG_HOME,
// $XDG_CACHE_HOME).
struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;

    // The output lines as JSON objects; a line that is not one fails the test.
    std::vector<QJsonObject> rows() const;
    std::vector<std::string> errorLines() const;
};

class CheckTool {
public:
    CheckTool();
    ~CheckTool();
    CheckTool(const CheckTool&) = delete;
    CheckTool& operator=(const CheckTool&) = delete;

    ToolRun run(const QStringList& arguments, const std::string& input = {}) const;

    // The user's settings file that the tool reads.
    std::unique_ptr<IniSettingsStore> store;
    // Where the tool keeps the replies of earlier checks.
    std::string cacheFolder() const;

private:
    std::string folder_;
};

QStringList accountArguments(uint16_t port, const char* user, const char* password);

}  // namespace velkora::test
