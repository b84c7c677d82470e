#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/Account.h"

namespace velkora {

// One arrived message as shown and spoken. Texts are UTF-8.
struct MailHeaderEntry {
    std::string sender;
    std::string subject;
    int16_t accountNumber = 0;
    std::string body;
};

// One row of the mail list: four text cells (sender, subject, account number as decimal text,
// body) and the colours of cells 0 to 2.
struct MailRow {
    std::array<std::string, 4> cells;
    AccountColours colours;
};

// The result of a check: row 0 is the header row, rows 1..n hold one mail each, in fetch
// order. The rows live until the next reset, whether or not a popup shows them.
class MailList {
public:
    static constexpr int kSenderColumn = 0;
    static constexpr int kSubjectColumn = 1;
    static constexpr int kAccountColumn = 2;
    static constexpr int kBodyColumn = 3;

    MailList();

    // Rows including the header row (so 1 for an empty list).
    std::size_t rowCount() const { return rows_.size(); }
    // Listed mails: rowCount() - 1.
    std::size_t mailCount() const { return rows_.size() - 1; }
    const MailRow& row(std::size_t index) const { return rows_.at(index); }
    const std::string& cell(std::size_t rowIndex, int column) const;

    void setHeader(const std::array<std::string, 4>& cells);

    // Appends one row; TAB characters are removed from the sender, subject and body.
    void addRow(const MailHeaderEntry& entry, const AccountColours& colours);

    // Cuts the list back to its header row.
    void reset();

    // Called after every change, for a view that shows the list.
    std::function<void()> onChanged;

private:
    void notify();

    std::vector<MailRow> rows_;
};

}  // namespace velkora
