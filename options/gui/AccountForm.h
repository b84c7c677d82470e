#pragma once

#include <functional>
#include <optional>
#include <string>

#include <QDialog>

#include "common/Account.h"
#include "common/MessageBox.h"
#include "options/AccountEditor.h"
#include "options/gui/Choosers.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace velkora {

// The account editor "ｱｶｳﾝﾄ": made afresh for every add or edit, modal over the options
// dialog. OK hands the record to `store`, which writes it at once and returns a message when
// it could not; the editor then stays open.
class AccountForm final : public QDialog {
public:
    using StoreAccount = std::function<std::optional<std::string>(const Account&)>;

    AccountForm(QWidget* parent, Choosers& choosers, MessageBoxes& messageBoxes,
                StoreAccount store);

    // Shows a stored account for editing; OK is enabled even when its server is empty.
    void intoform(const Account& account);

    AccountFields fields() const;

private:
    void chooseSwatchColour(QToolButton* swatch, int32_t& colour);
    void paintSwatch(QToolButton* swatch, int32_t colour);
    void confirm();
    void securityChosen();

    Choosers& choosers_;
    MessageBoxes& messageBoxes_;
    StoreAccount store_;

    QLineEdit* Accountname;
    QLineEdit* Hostname;
    QLineEdit* Portbox;
    QLineEdit* UserName;
    QLineEdit* MailPassWord;
    QComboBox* Tlsmodebox;  // connection security, Account::kPlain..kImplicitTls
    QLineEdit* Certpin;     // the pinned certificate fingerprint
    QCheckBox* Check1;
    QToolButton* Colorbox;
    QToolButton* Colorbox2;
    QPushButton* Command1;
    QPushButton* Command2;
    int32_t textColour_ = 0;
    int32_t backgroundColour_ = 16777088;
    int16_t shownTlsmode_ = Account::kPlain;
};

}  // namespace velkora
