#include "options/AccountList.h"

#include "common/Accounts.h"

namespace velkora {

std::string accountRowText(const Account& account) {
    return account.Aname + "(" + account.Hname + ")";
}

std::string accountMark(const Account& account) {
    return account.Check != 0 ? "○" : "×";
}

AccountColumnWidths accountColumnWidths(int16_t count) {
    return {count <= 18 ? 4960 : 4700, 320};
}

Rgb rgbOf(int32_t colour) {
    const auto value = static_cast<uint32_t>(colour);
    return {static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
            static_cast<int>((value >> 16) & 0xFF)};
}

int32_t colourOf(Rgb rgb) {
    return static_cast<int32_t>((rgb.blue & 0xFF) << 16 | (rgb.green & 0xFF) << 8 |
                                (rgb.red & 0xFF));
}

void AccountList::load() {
    accounts_.clear();
    const int16_t count = readAccountCount(store_);
    for (int n = 1; n <= count; ++n) {
        accounts_.push_back(loadAccount(store_, static_cast<int16_t>(n)));
    }
}

void AccountList::choose(int16_t row) {
    selectedRow_ = row;
    editAndDeleteEnabled_ = true;
}

Account AccountList::accountToEdit() const {
    return loadAccount(store_, selectedRow_);
}

int16_t AccountList::store(bool editMode, const Account& account) {
    if (editMode && selectedRow_ >= 1 && selectedRow_ <= count()) {
        saveAccount(store_, selectedRow_, account);
        accounts_[static_cast<std::size_t>(selectedRow_ - 1)] = account;
        return selectedRow_;
    }
    selectedRow_ = addAccount(store_, account);
    accounts_.resize(static_cast<std::size_t>(selectedRow_));
    accounts_.back() = account;
    return selectedRow_;
}

std::optional<int16_t> AccountList::removeChosen() {
    const int16_t row = selectedRow_;
    if (row < 1 || row > count()) {
        return std::nullopt;
    }
    deleteAccount(store_, row);
    accounts_.erase(accounts_.begin() + (row - 1));
    editAndDeleteEnabled_ = false;
    return row;
}

}  // namespace velkora
