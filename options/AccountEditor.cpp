#include "options/AccountEditor.h"

#include "common/Accounts.h"
#include "common/CertificatePin.h"
#include "common/Settings.h"

namespace velkora {

AccountFields accountFields(const Account& account) {
    return {account.Aname,   account.Hname,   std::to_string(account.Portno),
            account.Uname,   account.Passw,   account.Check != 0,
            account.Scolor1, account.Scolor2, account.Tlsmode,
            account.Tlspin};
}

std::optional<std::string> proposedPort(int16_t from, int16_t to, const std::string& port) {
    const auto usualPort = [](int16_t mode) {
        return std::to_string(mode == Account::kImplicitTls ? Account::kTlsPort : 110);
    };
    if (usualPort(from) == usualPort(to) || port != usualPort(from)) {
        return std::nullopt;
    }
    return usualPort(to);
}

std::string defaultAccountName(const std::string& Uname, const std::string& Hname) {
    return Uname + "@" + Hname;
}

std::variant<Account, std::string> accountFromFields(const AccountFields& fields) {
    // A port of 0 or below can never be connected to; 32767 is the most the record holds.
    const auto port = parseInt16(fields.Portno);
    if (!port || *port < 1) {
        return std::string("ﾎﾟｰﾄ番号には 1 から 32767 までの整数を入力してください");
    }
    if (auto character = unrepresentablePasswordCharacter(fields.Passw)) {
        return "ﾊﾟｽﾜｰﾄﾞに使用できない文字が含まれています: " + *character;
    }
    std::string pin;
    if (fields.Tlspin.find_first_not_of(" \t") != std::string::npos) {
        const auto normalized = normalizeFingerprint(fields.Tlspin);
        if (!normalized) {
            return std::string(
                "証明書の指紋には、ｴﾗｰに表示されたSHA-256の指紋 (16進数64桁) を入力してください");
        }
        pin = *normalized;
    }
    Account account;
    account.Aname =
        fields.Aname.empty() ? defaultAccountName(fields.Uname, fields.Hname) : fields.Aname;
    account.Hname = fields.Hname;
    account.Portno = *port;
    account.Uname = fields.Uname;
    account.Passw = fields.Passw;
    account.Check = fields.Check ? 1 : 0;
    account.Scolor1 = fields.Scolor1;
    account.Scolor2 = fields.Scolor2;
    account.Tlsmode = fields.Tlsmode;
    account.Tlspin = pin;
    return account;
}

}  // namespace velkora
