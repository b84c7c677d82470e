#include "checker/shell/gui/MailListModel.h"

#include <QBrush>
#include <QColor>

#include "checker/shell/ScreenUnits.h"

namespace velkora {

namespace {

QColor toQColor(int32_t value) {
    RgbColour colour = fromColourValue(value);
    return QColor(colour.red, colour.green, colour.blue);
}

}  // namespace

MailListModel::MailListModel(MailList& list) : list_(list) {
    // Every change of the list (a reset, a row, the header) redraws the whole table: the list
    // is small and changes a row at a time while a check runs.
    list_.onChanged = [this] {
        beginResetModel();
        endResetModel();
    };
}

MailListModel::~MailListModel() {
    list_.onChanged = nullptr;
}

int MailListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.mailCount());
}

int MailListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant MailListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || listRow(index.row()) >= list_.rowCount()) {
        return {};
    }
    const MailRow& row = list_.row(listRow(index.row()));
    const bool coloured = index.column() <= MailList::kAccountColumn;
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(row.cells[static_cast<std::size_t>(index.column())]);
        case Qt::ForegroundRole:
            return coloured ? QVariant(QBrush(toQColor(row.colours.text))) : QVariant();
        case Qt::BackgroundRole:
            return coloured ? QVariant(QBrush(toQColor(row.colours.background))) : QVariant();
        case Qt::ToolTipRole:
            return tip_;
        default:
            return {};
    }
}

QVariant MailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section > 3) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(list_.cell(0, section));
    }
    if (role == Qt::ToolTipRole) {
        return tip_;
    }
    return {};
}

void MailListModel::setTip(const QString& tip) {
    tip_ = tip;
}

}  // namespace velkora
