#include "checker/shell/gui/MailFormWindow.h"

#include <QFont>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>

#include "checker/shell/ScreenUnits.h"
#include "checker/shell/gui/MailListModel.h"
#include "checker/shell/gui/PopupFont.h"

namespace velkora {

namespace {

QString text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

MailFormWindow::MailFormWindow(MailForm& form, MailList& list, int twipsPerPixel)
    : QWidget(nullptr, Qt::Window), form_(form), twipsPerPixel_(twipsPerPixel) {
    setFont(popupFont());
    setFixedSize(pixels(MailFormLayout::kClientWidth), pixels(MailFormLayout::kClientHeight));

    model_ = new MailListModel(list);
    model_->setParent(this);
    grid_ = new QTableView(this);
    grid_->setModel(model_);
    grid_->setGeometry(pixels(MailFormLayout::kGrid.left), pixels(MailFormLayout::kGrid.top),
                       pixels(MailFormLayout::kGrid.width), pixels(MailFormLayout::kGrid.height));
    // The rows keep their account colours: no selection paints over them.
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setWordWrap(false);
    grid_->setTextElideMode(Qt::ElideNone);
    grid_->verticalHeader()->hide();
    grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->horizontalHeader()->setHighlightSections(false);
    grid_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    grid_->horizontalHeader()->setMinimumSectionSize(0);
    // Rows as tall as the text needs: a CJK font is taller than the grid's usual 240 twips.
    const int rowHeight = std::max(pixels(240), QFontMetrics(font()).height() + 2);
    grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid_->verticalHeader()->setMinimumSectionSize(0);
    grid_->verticalHeader()->setDefaultSectionSize(rowHeight);
    QObject::connect(model_, &QAbstractItemModel::modelReset, this,
                     [this] { applyColumnWidths(); });
    QObject::connect(grid_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        form_.clickRow(MailListModel::listRow(index.row()));
    });
    QObject::connect(grid_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        form_.doubleClickRow(MailListModel::listRow(index.row()));
    });

    auto placeButton = [this](QPushButton* button, const MailFormLayout::Box& box) {
        button->setGeometry(pixels(box.left), pixels(box.top), pixels(box.width),
                            pixels(box.height));
    };
    ok_ = new QPushButton(text(kOkCaption), this);
    ok_->setToolTip(text(kOkTip));
    placeButton(ok_, MailFormLayout::kOkButton);
    QObject::connect(ok_, &QPushButton::clicked, this, [this] { form_.okPressed(); });
    for (int index = 1; index <= 2; ++index) {
        auto* button = new QPushButton(text(kUnregisteredMailer), this);
        button->setToolTip(text(kMailerButtonTip));
        button->setEnabled(false);
        placeButton(button, MailFormLayout::kMailerButtons[static_cast<std::size_t>(index - 1)]);
        QObject::connect(button, &QPushButton::clicked, this,
                         [this, index] { form_.mailerPressed(index); });
        mailers_[static_cast<std::size_t>(index - 1)] = button;
    }
    // The buttons are shorter than a CJK font's usual padding allows: no vertical padding.
    setStyleSheet(QStringLiteral("QPushButton { padding: 0px 4px; }"));

    form_.attachView(*this);
}

MailFormWindow::~MailFormWindow() = default;

int MailFormWindow::pixels(int twips) const {
    return twipsToPixels(twips, twipsPerPixel_);
}

void MailFormWindow::setCaption(const std::string& caption) {
    setWindowTitle(QString::fromStdString(caption));
}

void MailFormWindow::setColumnWidths(const std::array<int, 4>& twips) {
    columnTwips_ = twips;
    applyColumnWidths();
}

void MailFormWindow::applyColumnWidths() {
    for (int column = 0; column < 4; ++column) {
        const int width = columnTwips_[static_cast<std::size_t>(column)];
        grid_->setColumnHidden(column, width == 0);
        if (width > 0) {
            grid_->setColumnWidth(column, pixels(width));
        }
    }
}

void MailFormWindow::setGridTip(const std::string& tip) {
    const QString qtip = QString::fromStdString(tip);
    model_->setTip(qtip);
    grid_->setToolTip(qtip);
}

void MailFormWindow::setMailerButton(int index, const MailerCaption& caption) {
    QPushButton& button = mailerButton(index);
    button.setText(
        QString::fromStdString(caption.text).replace(QStringLiteral("&"), QStringLiteral("&&")));
    button.setEnabled(caption.enabled);
}

void MailFormWindow::showWindow() {
    show();
    raise();
}

void MailFormWindow::hideWindow() {
    hide();
}

}  // namespace velkora
