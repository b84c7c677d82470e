#include "checker/check/MailList.h"

#include <algorithm>

namespace velkora {

namespace {

std::string withoutTabs(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\t'), text.end());
    return text;
}

}  // namespace

MailList::MailList() : rows_(1) {}

const std::string& MailList::cell(std::size_t rowIndex, int column) const {
    return rows_.at(rowIndex).cells.at(static_cast<std::size_t>(column));
}

void MailList::setHeader(const std::array<std::string, 4>& cells) {
    rows_.front().cells = cells;
    notify();
}

void MailList::addRow(const MailHeaderEntry& entry, const AccountColours& colours) {
    MailRow row;
    row.cells[kSenderColumn] = withoutTabs(entry.sender);
    row.cells[kSubjectColumn] = withoutTabs(entry.subject);
    row.cells[kAccountColumn] = std::to_string(entry.accountNumber);
    row.cells[kBodyColumn] = withoutTabs(entry.body);
    row.colours = colours;
    rows_.push_back(std::move(row));
    notify();
}

void MailList::reset() {
    rows_.resize(1);
    notify();
}

void MailList::notify() {
    if (onChanged) {
        onChanged();
    }
}

}  // namespace velkora
