#include "options/gui/AccountForm.h"

#include <variant>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/ProductInfo.h"
#include "options/AccountList.h"

namespace velkora {

namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string text(const QString& qt) {
    return qt.toStdString();
}

QLineEdit* lineEdit(QWidget* parent, const char* name, const char* tip) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setToolTip(QString::fromUtf8(tip));
    return edit;
}

QToolButton* swatch(QWidget* parent, const char* name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(QStringLiteral("ｸﾘｯｸすると色を選択できます"));
    return button;
}

}  // namespace

AccountForm::AccountForm(QWidget* parent, Choosers& choosers, MessageBoxes& messageBoxes,
                         StoreAccount store)
    : QDialog(parent), choosers_(choosers), messageBoxes_(messageBoxes), store_(std::move(store)) {
    setObjectName(QStringLiteral("accountform"));
    setWindowTitle(QStringLiteral("ｱｶｳﾝﾄ"));

    Accountname = lineEdit(this, "Accountname",
                           "好きな名前を付けて下さい、省略すると「ﾕｰｻﾞｰ名@ﾒｰﾙｻｰﾊﾞ」になります");
    Hostname = lineEdit(this, "Hostname", "ﾒｰﾙｻｰﾊﾞの名前を入れてください");
    Portbox = lineEdit(this, "Portbox", "通常は110のままでいいよ");
    Portbox->setText(QStringLiteral("110"));
    Portbox->setMaximumWidth(Portbox->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 10);
    UserName = lineEdit(this, "UserName", "ﾕｰｻﾞｰ名(ｱｶｳﾝﾄ)を入れてください");
    MailPassWord = lineEdit(this, "MailPassWord", "ﾊﾟｽﾜｰﾄﾞを入れてください、*で表示されます");
    MailPassWord->setEchoMode(QLineEdit::Password);
    MailPassWord->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));  // "*"
    Tlsmodebox = new QComboBox(this);
    Tlsmodebox->setObjectName(QStringLiteral("Tlsmodebox"));
    Tlsmodebox->setToolTip(QStringLiteral(
        "ﾒｰﾙｻｰﾊﾞとの通信を暗号化するよ。SSL/TLSはﾎﾟｰﾄ995、STARTTLSはﾎﾟｰﾄ110を使うよ"));
    Tlsmodebox->addItem(QStringLiteral("しない"), int{Account::kPlain});
    Tlsmodebox->addItem(QStringLiteral("STARTTLS"), int{Account::kStartTls});
    Tlsmodebox->addItem(QStringLiteral("SSL/TLS"), int{Account::kImplicitTls});
    Tlsmodebox->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    Certpin = lineEdit(this, "Certpin",
                       "自己署名の証明書を使うｻｰﾊﾞのときだけ、ｴﾗｰに表示されたSHA-256の指紋を"
                       "貼り付けてね。登録すると、その証明書だけを信頼するよ");
    Certpin->setPlaceholderText(QStringLiteral("自己署名の証明書のときだけ"));
    Certpin->setEnabled(false);
    Check1 = new QCheckBox(QStringLiteral("ﾁｪｯｸする"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setChecked(true);

    // One row per field, so a further setting of the connection fits in as one more row.
    auto* fieldsLayout = new QFormLayout;
    fieldsLayout->addRow(QStringLiteral("名前:"), Accountname);
    fieldsLayout->addRow(QStringLiteral("ﾒｰﾙｻｰﾊﾞ:"), Hostname);
    fieldsLayout->addRow(QStringLiteral("ﾎﾟｰﾄ番号:"), Portbox);
    fieldsLayout->addRow(QStringLiteral("暗号化:"), Tlsmodebox);
    fieldsLayout->addRow(QStringLiteral("証明書の指紋:"), Certpin);
    fieldsLayout->addRow(QStringLiteral("ﾕｰｻﾞｰ名:"), UserName);
    fieldsLayout->addRow(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ:"), MailPassWord);
    fieldsLayout->addRow(QString(), Check1);

    Colorbox = swatch(this, "Colorbox");
    Colorbox2 = swatch(this, "Colorbox2");
    paintSwatch(Colorbox, textColour_);
    paintSwatch(Colorbox2, backgroundColour_);
    auto* colours = new QGroupBox(QStringLiteral("ﾎﾟｯﾌﾟｱｯﾌﾟの表示色"), this);
    auto* coloursLayout = new QHBoxLayout(colours);
    coloursLayout->addWidget(new QLabel(QStringLiteral("文字:"), colours));
    coloursLayout->addWidget(Colorbox);
    coloursLayout->addSpacing(16);
    coloursLayout->addWidget(new QLabel(QStringLiteral("背景:"), colours));
    coloursLayout->addWidget(Colorbox2);
    coloursLayout->addStretch();

    Command1 = new QPushButton(QStringLiteral("OK"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setToolTip(QStringLiteral("設定を保存して閉じるよ"));
    Command1->setDefault(true);
    Command1->setEnabled(false);
    Command2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setToolTip(QStringLiteral("変更は保存せずに閉じるよ"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fieldsLayout);
    layout->addWidget(colours);
    layout->addLayout(buttons);
    Accountname->setMinimumWidth(Accountname->fontMetrics().horizontalAdvance(QLatin1Char('m')) *
                                 28);
    // Room for a whole fingerprint as the error box shows it.
    Certpin->setMinimumWidth(Certpin->fontMetrics().horizontalAdvance(QStringLiteral("AB:")) * 32);

    connect(Hostname, &QLineEdit::textChanged, this,
            [this](const QString& host) { Command1->setEnabled(!host.isEmpty()); });
    connect(Colorbox, &QToolButton::clicked, this,
            [this] { chooseSwatchColour(Colorbox, textColour_); });
    connect(Colorbox2, &QToolButton::clicked, this,
            [this] { chooseSwatchColour(Colorbox2, backgroundColour_); });
    connect(Tlsmodebox, &QComboBox::currentIndexChanged, this, &AccountForm::securityChosen);
    connect(Command1, &QPushButton::clicked, this, &AccountForm::confirm);
    connect(Command2, &QPushButton::clicked, this, &QDialog::reject);
}

void AccountForm::intoform(const Account& account) {
    const AccountFields f = accountFields(account);
    Accountname->setText(text(f.Aname));
    Hostname->setText(text(f.Hname));
    Portbox->setText(text(f.Portno));
    UserName->setText(text(f.Uname));
    MailPassWord->setText(text(f.Passw));
    Check1->setChecked(f.Check);
    // Shown as stored: the port is not proposed anew for a stored account.
    shownTlsmode_ = f.Tlsmode;
    const int index = Tlsmodebox->findData(int{f.Tlsmode});
    {
        const QSignalBlocker quiet(Tlsmodebox);
        Tlsmodebox->setCurrentIndex(index < 0 ? 0 : index);
    }
    Certpin->setText(text(f.Tlspin));
    Certpin->setEnabled(f.Tlsmode != Account::kPlain);
    textColour_ = f.Scolor1;
    backgroundColour_ = f.Scolor2;
    paintSwatch(Colorbox, textColour_);
    paintSwatch(Colorbox2, backgroundColour_);
    Command1->setEnabled(true);
}

AccountFields AccountForm::fields() const {
    return {text(Accountname->text()),
            text(Hostname->text()),
            text(Portbox->text()),
            text(UserName->text()),
            text(MailPassWord->text()),
            Check1->isChecked(),
            textColour_,
            backgroundColour_,
            static_cast<int16_t>(Tlsmodebox->currentData().toInt()),
            text(Certpin->text())};
}

void AccountForm::securityChosen() {
    const auto chosen = static_cast<int16_t>(Tlsmodebox->currentData().toInt());
    if (auto port = proposedPort(shownTlsmode_, chosen, text(Portbox->text()))) {
        Portbox->setText(text(*port));
    }
    shownTlsmode_ = chosen;
    Certpin->setEnabled(chosen != Account::kPlain);
}

void AccountForm::chooseSwatchColour(QToolButton* swatch, int32_t& colour) {
    const int32_t chosen = choosers_.chooseColour(this);
    if (chosen == -1) {
        return;
    }
    colour = chosen;
    paintSwatch(swatch, colour);
}

void AccountForm::paintSwatch(QToolButton* swatch, int32_t colour) {
    const Rgb rgb = rgbOf(colour);
    const QSize size(swatch->fontMetrics().height() * 3, swatch->fontMetrics().height());
    QPixmap filled(size * swatch->devicePixelRatioF());
    filled.setDevicePixelRatio(swatch->devicePixelRatioF());
    filled.fill(QColor(rgb.red, rgb.green, rgb.blue));
    swatch->setIconSize(size);
    swatch->setIcon(QIcon(filled));
}

void AccountForm::confirm() {
    const auto result = accountFromFields(fields());
    if (const auto* message = std::get_if<std::string>(&result)) {
        messageBoxes_.show(MessageIcon::Warning, kProductName, *message);
        return;
    }
    const Account& account = std::get<Account>(result);
    if (Accountname->text().isEmpty()) {
        Accountname->setText(text(account.Aname));
    }
    if (auto failure = store_(account)) {
        messageBoxes_.show(MessageIcon::Warning, kProductName, *failure);
        return;
    }
    accept();
}

}  // namespace velkora
