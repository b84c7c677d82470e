#include "checker/shell/gui/VersionWindow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "checker/shell/gui/TrayImages.h"
#include "common/ProductInfo.h"

namespace velkora {

VersionWindow::VersionWindow(const std::string& settingsFilePath) : QWidget(nullptr, Qt::Dialog) {
    setWindowTitle(QStringLiteral("バージョン情報"));
    setWindowIcon(trayImage(TrayImage::Normal));

    auto* picture = new QLabel(this);
    picture->setPixmap(trayImage(TrayImage::Normal).pixmap(48, 48));
    picture->setAlignment(Qt::AlignTop);

    auto* name = new QLabel(QString::fromUtf8(kProductName), this);
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.6);
    nameFont.setBold(true);
    name->setFont(nameFont);
    auto* version = new QLabel(QString::fromUtf8(kVersionText), this);
    auto* about = new QLabel(
        QStringLiteral("POP3 のメールボックスを定期的に確認し、届いたメールを通知領域の"
                       "アイコン、一覧のポップアップ、キャラクターの読み上げでお知らせします。"),
        this);
    about->setWordWrap(true);
    auto* settings = new QLabel(
        QStringLiteral("設定ファイル: ") + QString::fromStdString(settingsFilePath), this);
    settings->setWordWrap(true);
    settings->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* close = new QPushButton(QStringLiteral("OK"), this);
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    texts->addSpacing(8);
    texts->addWidget(about);
    texts->addWidget(settings);
    auto* top = new QHBoxLayout;
    top->addWidget(picture);
    top->addLayout(texts, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setMinimumWidth(420);
}

void VersionWindow::present() {
    show();
    raise();
    activateWindow();
}

}  // namespace velkora
