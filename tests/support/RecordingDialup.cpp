#include "tests/support/RecordingDialup.h"

namespace velkora::test {

int RecordingDialup::countActiveConnections() {
    record("count");
    return activeConnections;
}

int RecordingDialup::dialEntry(const std::string& entryName, int redials) {
    dialed.push_back(entryName);
    lastRedials = redials;
    record("dial " + entryName);
    if (whileDialling) {
        whileDialling();
    }
    if (dialResult == 0 && activeConnections == 0) {
        activeConnections = 1;
    }
    return dialResult;
}

void RecordingDialup::hangUpDialup() {
    ++hangUps;
    if (activeConnections > 0) {
        --activeConnections;
    }
    record("hangup");
}

void RecordingDialup::activateEntry(const std::string& entryName) {
    activated.push_back(entryName);
    record("activate " + entryName);
}

}  // namespace velkora::test
