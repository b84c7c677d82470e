#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Account.h"
#include "common/SettingsStore.h"

namespace velkora {

// Column 0 of an account's row: "Aname(Hname)".
std::string accountRowText(const Account& account);
// Column 1: "○" when the account takes part in checks, "×" when its Check is 0.
std::string accountMark(const Account& account);

// Widths of the two columns in twips, set when the dialog opens: narrower from 19 accounts on,
// which leaves room for the list's scroll bar.
struct AccountColumnWidths {
    int name = 4960;
    int mark = 320;
};
AccountColumnWidths accountColumnWidths(int16_t count);

// A colour value 0x00BBGGRR taken apart, and put back together.
struct Rgb {
    int red = 0;
    int green = 0;
    int blue = 0;
};
Rgb rgbOf(int32_t colour);
int32_t colourOf(Rgb rgb);

// The accounts as the tab "ｱｶｳﾝﾄ" shows them. Every change is stored at once, with the count,
// through the account operations; row n (1-based) is account n.
class AccountList {
public:
    explicit AccountList(SettingsStore& store) : store_(store) {}

    // Reads the count and every account.
    void load();

    const std::vector<Account>& accounts() const { return accounts_; }
    int16_t count() const { return static_cast<int16_t>(accounts_.size()); }

    // The row the user last chose (1-based), 0 before the first choice.
    int16_t selectedRow() const { return selectedRow_; }
    // Edit and delete act on the chosen row; after a delete they wait for the next choice.
    bool editAndDeleteEnabled() const { return editAndDeleteEnabled_; }
    void choose(int16_t row);

    // What the editor opens with for an edit: the chosen account as stored.
    Account accountToEdit() const;

    // Stores the editor's record: over the chosen account for an edit, or as a new last
    // account for an addition (or an edit while no row was chosen), which becomes the chosen
    // row. Returns the row. Throws AccountSaveError or SettingsStoreError with the list
    // unchanged.
    int16_t store(bool editMode, const Account& account);

    // Deletes the chosen account; the accounts below it move up. Nothing happens while no
    // row is chosen. Returns the row removed.
    std::optional<int16_t> removeChosen();

private:
    SettingsStore& store_;
    std::vector<Account> accounts_;
    int16_t selectedRow_ = 0;
    bool editAndDeleteEnabled_ = false;
};

}  // namespace velkora
