#pragma once

#include <functional>
#include <string>
#include <vector>

#include "checker/dialup/Dialup.h"

namespace velkora::test {

// Dial-up connections under a test's control: the entries, how many connections are up and
// what dialling returns. observer sees "count", "dial NAME", "activate NAME" and "hangup" as they
// happen.
class RecordingDialup final : public Dialup {
public:
    const std::vector<std::string>& dialEntries() const override { return entries; }
    int countActiveConnections() override;
    int dialEntry(const std::string& entryName, int redials) override;
    void hangUpDialup() override;
    void activateEntry(const std::string& entryName) override;

    std::vector<std::string> entries;
    int activeConnections = 1;
    int dialResult = 0;  // what dialEntry returns; 0 also brings one connection up
    std::vector<std::string> dialed;
    int lastRedials = -1;                // the redial budget of the last dialEntry
    std::vector<std::string> activated;  // the entries the dial-up menu started
    int hangUps = 0;
    // Runs inside dialEntry, where the real dialling keeps handling events.
    std::function<void()> whileDialling;
    std::function<void(const std::string&)> observer;

private:
    void record(const std::string& entry) {
        if (observer) {
            observer(entry);
        }
    }
};

}  // namespace velkora::test
