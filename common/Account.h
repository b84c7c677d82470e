#pragma once

#include <cstdint>
#include <string>

namespace velkora {

// One POP3 account. Texts are UTF-8; the password is held in plain text in memory.
struct Account {
    std::string Aname;
    std::string Hname;
    int16_t Portno = 110;
    std::string Uname;
    std::string Passw;
    int16_t Check = 1;
    int32_t Scolor1 = 0;         // text colour, 0x00BBGGRR
    int32_t Scolor2 = 16777088;  // background colour, 0x00BBGGRR
    // Connection security: kPlain (POP3 as it always was), kStartTls ("STLS" after the
    // greeting, RFC 2595) or kImplicitTls (TLS from the first byte, port 995, RFC 8314).
    int16_t Tlsmode = 0;
    // The SHA-256 fingerprint of the server certificate the user trusts for this account
    // ("AB:CD:…"); empty for none. See common/CertificatePin.h.
    std::string Tlspin{};

    static constexpr int16_t kPlain = 0;
    static constexpr int16_t kStartTls = 1;
    static constexpr int16_t kImplicitTls = 2;
    // The port of POP3 over TLS.
    static constexpr int16_t kTlsPort = 995;

    bool operator==(const Account&) const = default;
};

// Row colours of one account in the mail list.
struct AccountColours {
    int32_t text = 0;
    int32_t background = 16777088;

    bool operator==(const AccountColours&) const = default;
};

}  // namespace velkora
