#include "common/Cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <stdexcept>
#include <string>

namespace velkora::cp932 {

namespace {

// One converter per thread and direction: iconv_t is not safe to share between threads, and
// opening one per call would cost a module lookup on every short conversion.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " +
                                     to);
        }
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `in` onto `out`. Whatever cannot be converted (a byte sequence that is no
    // character, or a character without a code) is handed to `replace`, which appends its
    // stand-in and says how many input bytes it stands for (at least one).
    //
    // Every round costs time in proportion to what it converts, never to the rest of the
    // input, so that text full of bad bytes converts in time linear in its length: `out`
    // keeps its slack between rounds (growing it by the rest and zero-filling that at every
    // bad byte took time in the square of the length), and iconv is offered a window of the
    // input at a time (checking tools look at all of what is offered at every call).
    template <class Replace>
    void convert(std::string_view in, std::string& out, size_t growthFactor, Replace replace) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        size_t used = out.size();
        auto ensureRoom = [&](size_t wanted) {
            if (out.size() - used < wanted) {
                out.resize(std::max(out.size() * 2, used + wanted));
            }
        };
        while (!in.empty()) {
            const size_t offered = std::min(in.size(), kWindow);
            ensureRoom(offered * growthFactor + 16);
            char* src = const_cast<char*>(in.data());
            size_t srcLeft = offered;
            char* dst = out.data() + used;
            size_t dstLeft = out.size() - used;
            size_t result = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            int error = errno;
            used = static_cast<size_t>(dst - out.data());
            const size_t converted = offered - srcLeft;
            const bool windowCut = offered < in.size();
            in.remove_prefix(converted);
            if (result != static_cast<size_t>(-1) || error == E2BIG) {
                continue;
            }
            if (error == EINVAL && windowCut && converted > 0) {
                continue;  // a character cut by the window, not by the end: the next one has it
            }
            // EILSEQ or EINVAL: an unconvertible or incomplete sequence.
            std::string standIn;
            const size_t skipped = std::min(std::max<size_t>(replace(in, standIn), 1), in.size());
            in.remove_prefix(skipped);
            ensureRoom(standIn.size());
            std::copy(standIn.begin(), standIn.end(), out.begin() + static_cast<ptrdiff_t>(used));
            used += standIn.size();
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(used);
    }

private:
    static constexpr size_t kWindow = 4096;

    iconv_t cd_;
};

Converter& utf8ToCp932() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

Converter& cp932ToUtf8() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
}

// Length of the well-formed UTF-8 sequence at the start of `s`, or 0 when it is not one.
size_t utf8SequenceLength(std::string_view s) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char min = 0x80;
    unsigned char max = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) {
            min = 0xA0;  // no overlong forms
        } else if (lead == 0xED) {
            max = 0x9F;  // no surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) {
            min = 0x90;
        } else if (lead == 0xF4) {
            max = 0x8F;  // nothing above U+10FFFF
        }
    } else {
        return 0;
    }
    if (s.size() < length) {
        return 0;
    }
    if (byte(1) < min || byte(1) > max) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool isLeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool isTrailByte(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

}  // namespace

std::optional<std::string> fromUtf8(std::string_view utf8) {
    std::string out;
    bool failed = false;
    utf8ToCp932().convert(utf8, out, 2, [&](std::string_view rest, std::string&) {
        failed = true;
        return rest.size();  // nothing more is needed
    });
    if (failed) {
        return std::nullopt;
    }
    return out;
}

std::string fromUtf8Lossy(std::string_view utf8) {
    std::string out;
    utf8ToCp932().convert(utf8, out, 2, [](std::string_view rest, std::string& standIn) {
        // A character without a code is replaced whole; a malformed byte on its own.
        standIn = "?";
        size_t length = utf8SequenceLength(rest);
        return length == 0 ? size_t{1} : length;
    });
    return out;
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    cp932ToUtf8().convert(bytes, out, 3, [](std::string_view rest, std::string& standIn) {
        // A well-formed but unassigned double-byte code stands for one character: drop both
        // bytes, or its trail byte would be misread as the start of the next character.
        // Any other offending byte is dropped on its own.
        standIn = "?";
        bool pair = rest.size() >= 2 && isLeadByte(static_cast<unsigned char>(rest[0])) &&
                    isTrailByte(static_cast<unsigned char>(rest[1]));
        return pair ? size_t{2} : size_t{1};
    });
    return out;
}

}  // namespace velkora::cp932
