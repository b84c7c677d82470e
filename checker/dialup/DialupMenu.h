#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "checker/dialup/Dialup.h"

namespace velkora {

// The dial-up menu `mdial` "DialUp(&D)" that releasing the left button on the tray icon
// opens: one item `mnuDialEnt` per entry, in the order of Dialup::dialEntries (item k shows
// entry k, the entry "Defdialno" k names), then the separator `sep3`, then `mhang`
// "切断(&H)". The entries never change while the checker runs, so the items are made once,
// when this object is made (at start-up, after the tray icon is added).
//
// The tray's widget shows items() in order and forwards each click to click(position).
// Without entries the menu starts with the separator, which a menu hides (QMenu collapses
// separators at its ends by default).
class DialupMenu {
public:
    static constexpr const char* kCaption = "DialUp(&D)";
    static constexpr const char* kHangUpCaption = "切断(&H)";

    enum class Kind { Entry, Separator, HangUp };

    struct Item {
        Kind kind;
        std::string name;     // "mnuDialEnt", "sep3" or "mhang"
        std::string caption;  // the entry's name; empty for the separator
    };

    explicit DialupMenu(Dialup& dialup);

    const std::vector<Item>& items() const { return items_; }

    // The click on items()[position]: an entry starts coming up and the call returns at once
    // (Dialup::activateEntry); "切断(&H)" hangs up the first connection that is up; the
    // separator and positions past the end do nothing.
    void click(std::size_t position);

private:
    Dialup& dialup_;
    std::vector<Item> items_;
};

}  // namespace velkora
