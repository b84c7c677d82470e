#pragma once

#include <QAbstractTableModel>
#include <QString>

#include "checker/check/MailList.h"

namespace velkora {

// The mail list as a table: list row 0 is the header, list rows 1..n are the model's rows
// 0..n-1, each cell of columns 0 to 2 in its account's text and background colours.
class MailListModel final : public QAbstractTableModel {
public:
    explicit MailListModel(MailList& list);
    ~MailListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The tip shown over every cell.
    void setTip(const QString& tip);

    // The list row that a model row shows.
    static std::size_t listRow(int modelRow) { return static_cast<std::size_t>(modelRow) + 1; }

private:
    MailList& list_;
    QString tip_;
};

}  // namespace velkora
