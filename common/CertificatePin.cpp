#include "common/CertificatePin.h"

#include <cctype>

namespace velkora {

namespace {

constexpr std::size_t kDigestSize = 32;

bool startsWithLabel(std::string_view text, std::string_view label) {
    if (text.size() < label.size()) {
        return false;
    }
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != label[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> normalizeFingerprint(std::string_view text) {
    for (std::string_view label : {"SHA256:", "SHA-256:"}) {
        if (startsWithLabel(text, label)) {
            text.remove_prefix(label.size());
            break;
        }
    }
    std::string digits;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isxdigit(byte)) {
            digits += static_cast<char>(std::toupper(byte));
        } else if (c != ':' && c != ' ' && c != '\t') {
            return std::nullopt;
        }
    }
    if (digits.size() != kDigestSize * 2) {
        return std::nullopt;
    }
    std::string out;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (!out.empty()) {
            out += ':';
        }
        out.append(digits, i, 2);
    }
    return out;
}

std::string fingerprintText(const unsigned char* digest, std::size_t size) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        if (i > 0) {
            out += ':';
        }
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 0x0F];
    }
    return out;
}

}  // namespace velkora
