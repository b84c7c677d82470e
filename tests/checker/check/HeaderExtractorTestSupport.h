#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <string_view>

namespace velkora::testing {

// UTF-8 text as ISO-2022-JP bytes, made by glibc's encoder (back to ASCII at the end).
inline std::string toIso2022Jp(std::string_view utf8) {
    iconv_t cd = iconv_open("ISO-2022-JP", "UTF-8");
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
    std::string in(utf8);
    std::string out(in.size() * 4 + 16, '\0');
    char* src = in.data();
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    EXPECT_NE(iconv(cd, &src, &srcLeft, &dst, &dstLeft), static_cast<size_t>(-1)) << utf8;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    iconv_close(cd);
    out.resize(out.size() - dstLeft);
    return out;
}

inline std::string toBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned value = 0;
        for (size_t j = i; j < i + 3; ++j) {
            value = value << 8 | (j < bytes.size() ? static_cast<unsigned char>(bytes[j]) : 0u);
        }
        for (size_t k = 0; k < 4; ++k) {
            out += i + k <= bytes.size() ? kAlphabet[(value >> (18 - 6 * k)) & 63] : '=';
        }
    }
    return out;
}

// An encoded word for a UTF-8 text, with the marker written as given.
inline std::string encodedWord(std::string_view utf8,
                               std::string_view marker = "=?ISO-2022-JP?B?") {
    return std::string(marker) + toBase64(toIso2022Jp(utf8)) + "?=";
}

}  // namespace velkora::testing
