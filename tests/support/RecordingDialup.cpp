#include "tests/support/RecordingDialup.h"

#include <utility>

namespace velkora::test {

void RecordingDialup::record(std::string entry) {
    log.push_back(entry);
    if (observer) {
        observer(entry);
    }
}

int RecordingDialup::countActiveConnections() {
    record("count");
    return activeConnections;
}

int RecordingDialup::dialEntry(const std::string& entryName) {
    dialed.push_back(entryName);
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

}  // namespace velkora::test
