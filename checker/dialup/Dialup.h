#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkora {

// Dial-up connections as the check cycle and the announcement use them.
class Dialup {
public:
    virtual ~Dialup() = default;

    // The dial-entry list in the menu's (reversed enumeration) order; index "Defdialno".
    virtual const std::vector<std::string>& dialEntries() const = 0;
    // Number of dial-up connections now up.
    virtual int countActiveConnections() = 0;
    // 0 = connected or already connected; -1 = gave up (the user has been told).
    virtual int dialEntry(const std::string& entryName) = 0;
    // Hangs up the first connection that is up; failures are ignored.
    virtual void hangUpDialup() = 0;
};

// A machine without a dial-up service: one connection is always reported up, so dialEntry
// succeeds without dialling; there are no entries and nothing to hang up.
class NoRasDialup final : public Dialup {
public:
    const std::vector<std::string>& dialEntries() const override { return entries_; }
    int countActiveConnections() override { return 1; }
    int dialEntry(const std::string&) override { return 0; }
    void hangUpDialup() override {}

private:
    std::vector<std::string> entries_;
};

}  // namespace velkora
