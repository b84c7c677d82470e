#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkora {

// Dial-up connections as the check cycle, the announcement and the dial-up menu use them.
class Dialup {
public:
    virtual ~Dialup() = default;

    // The dial-entry list in the menu's (reversed enumeration) order; index "Defdialno".
    // Filled once when the object is made and never refilled.
    virtual const std::vector<std::string>& dialEntries() const = 0;
    // Number of dial-up connections now up.
    virtual int countActiveConnections() = 0;
    // 0 = connected or already connected; -1 = gave up (the user has been told). A failed
    // attempt is followed by up to `redials` more ("Redialval"). Keeps handling events while
    // it waits, so handlers may run nested inside it.
    virtual int dialEntry(const std::string& entryName, int redials) = 0;
    // Hangs up the first connection that is up; failures are ignored.
    virtual void hangUpDialup() = 0;
    // The dial-up menu's entry click: starts bringing the entry up and returns at once; the
    // desktop asks for whatever secrets it needs. Nothing is watched or reported; an empty or
    // unknown name does nothing. Without a dial-up service it does nothing at all.
    virtual void activateEntry(const std::string& entryName) { (void)entryName; }
};

// A machine without a dial-up service: one connection is always reported up, so dialEntry
// succeeds without dialling; there are no entries and nothing to hang up.
class NoRasDialup final : public Dialup {
public:
    const std::vector<std::string>& dialEntries() const override { return entries_; }
    int countActiveConnections() override { return 1; }
    int dialEntry(const std::string&, int) override { return 0; }
    void hangUpDialup() override {}

private:
    std::vector<std::string> entries_;
};

}  // namespace velkora
