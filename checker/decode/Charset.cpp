#include "checker/decode/Charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <iterator>
#include <map>
#include <memory>
#include <string>

#include "checker/decode/LegacyText.h"

namespace velkora {

namespace {

struct IconvCloser {
    void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

constexpr std::size_t kLongestCharsetName = 40;
constexpr std::size_t kMostCachedConverters = 32;

// Names from mail reach iconv_open only when they look like charset names: no "//" options,
// no paths, nothing long.
bool plausibleCharsetName(std::string_view name) {
    if (name.empty() || name.size() > kLongestCharsetName) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.' || c == ':' || c == '+';
    });
}

std::string iconvNameFor(const std::string& normalized) {
    if (normalized == "ks_c_5601-1987") {
        return "CP949";  // what Korean mailers write under that name
    }
    return normalized;
}

// One converter to UTF-8 per charset and thread (iconv_t is not safe to share between
// threads, and opening one costs a module lookup). Null when iconv does not know the charset.
iconv_t converterFrom(const std::string& normalized) {
    thread_local std::map<std::string, IconvHandle> cache;
    thread_local std::map<std::string, bool> unknown;
    if (auto found = cache.find(normalized); found != cache.end()) {
        return static_cast<iconv_t>(found->second.get());
    }
    if (unknown.count(normalized) != 0 || !plausibleCharsetName(normalized)) {
        return nullptr;
    }
    iconv_t cd = iconv_open("UTF-8", iconvNameFor(normalized).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        if (unknown.size() < kMostCachedConverters) {
            unknown[normalized] = true;
        }
        return nullptr;
    }
    if (cache.size() >= kMostCachedConverters) {
        cache.clear();  // a mail that names many charsets; they are opened again on demand
    }
    cache[normalized] = IconvHandle(cd);
    return cd;
}

constexpr std::size_t kConversionWindow = 4096;

std::string convert(iconv_t cd, std::string_view bytes, TextEnd end) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    std::string out;
    // Converted straight into `out`, grown ahead: every refill of a small buffer makes glibc
    // repeat work. Its slack is kept between rounds, so that text full of bad bytes costs
    // time in proportion to its length, not to its square.
    std::size_t used = 0;
    std::size_t srcLeft = bytes.size();
    char* src = const_cast<char*>(bytes.data());
    auto ensureRoom = [&](std::size_t wanted) {
        if (out.size() - used < wanted) {
            out.resize(std::max(out.size() * 2, used + wanted));
        }
    };
    auto replacement = [&] {
        ensureRoom(1);
        out[used++] = '?';
    };
    while (srcLeft > 0) {
        // A window at a time: checking tools look at all of what iconv is offered at every
        // call, and a call follows every bad byte.
        const std::size_t offered = std::min(srcLeft, kConversionWindow);
        std::size_t windowLeft = offered;
        ensureRoom(offered * 3 + 16);
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        const std::size_t result = iconv(cd, &src, &windowLeft, &dst, &dstLeft);
        const int error = errno;
        used = static_cast<std::size_t>(dst - out.data());
        const std::size_t converted = offered - windowLeft;
        const bool windowCut = offered < srcLeft;
        srcLeft -= converted;
        if (result != static_cast<std::size_t>(-1) || error == E2BIG) {
            continue;
        }
        if (error == EINVAL && windowCut && converted > 0) {
            continue;  // a character cut by the window, not by the end: the next one has it
        }
        if (error == EINVAL && !windowCut) {  // a character cut off by the end of the text
            if (end == TextEnd::Complete) {
                replacement();
            }
            break;
        }
        // EILSEQ: no character of the charset; go on after its first byte.
        replacement();
        ++src;
        --srcLeft;
    }
    out.resize(used);
    // A stateful charset may owe a closing sequence; UTF-8 owes nothing, but flush anyway.
    char tail[16];
    char* dst = tail;
    std::size_t dstLeft = sizeof tail;
    if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<std::size_t>(-1)) {
        out.append(tail, static_cast<std::size_t>(dst - tail));
    }
    out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
    return out;
}

}  // namespace

std::string normalizedCharset(std::string_view charset) {
    charset = charset.substr(0, charset.find('*'));  // RFC 2231 language: "UTF-8*ja"
    std::string name;
    name.reserve(charset.size());
    for (char c : charset) {
        name += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    }
    return name;
}

bool isLegacyCharset(std::string_view normalized) {
    static constexpr std::string_view kNames[] = {
        "iso-2022-jp", "csiso2022jp", "shift_jis",  "shift-jis", "sjis",
        "x-sjis",      "ms_kanji",    "csshiftjis", "cp932",     "windows-31j"};
    return std::find(std::begin(kNames), std::end(kNames), normalized) != std::end(kNames);
}

std::string charsetTextToUtf8(std::string_view bytes, std::string_view charset, TextEnd end) {
    const std::string name = normalizedCharset(charset);
    if (isLegacyCharset(name)) {
        return legacyTextToUtf8(bytes);
    }
    if (name.empty() || name == "us-ascii" || name == "ascii") {
        return unlabelledTextToUtf8(bytes, end);
    }
    iconv_t cd = converterFrom(name);
    if (cd == nullptr) {
        return unlabelledTextToUtf8(bytes, end);
    }
    return convert(cd, bytes, end);
}

}  // namespace velkora
