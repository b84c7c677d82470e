#include "common/Cp932.h"

#include <iconv.h>

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

    enum class Stop { Done, Invalid };

    // Converts as much of `in` as possible onto `out`; `in` is advanced past what was
    // converted. Stops at the first input that cannot be converted (or is incomplete).
    // Converts straight into `out`, grown ahead: glibc repeats work each time a small
    // output buffer fills, which made long mail bodies several times slower.
    Stop convert(std::string_view& in, std::string& out, size_t growthFactor) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        while (!in.empty()) {
            size_t used = out.size();
            out.resize(used + in.size() * growthFactor + 16);
            char* src = const_cast<char*>(in.data());
            size_t srcLeft = in.size();
            char* dst = out.data() + used;
            size_t dstLeft = out.size() - used;
            size_t result = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            int error = errno;
            out.resize(static_cast<size_t>(dst - out.data()));
            in.remove_prefix(in.size() - srcLeft);
            if (result != static_cast<size_t>(-1) || error == E2BIG) {
                continue;
            }
            return Stop::Invalid;  // EILSEQ or EINVAL: an unconvertible or incomplete sequence
        }
        return Stop::Done;
    }

private:
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
    out.reserve(utf8.size());
    if (utf8ToCp932().convert(utf8, out, 2) != Converter::Stop::Done) {
        return std::nullopt;
    }
    return out;
}

std::string fromUtf8Lossy(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    while (utf8ToCp932().convert(utf8, out, 2) != Converter::Stop::Done) {
        // A character without a code is replaced whole; a malformed byte on its own.
        size_t length = utf8SequenceLength(utf8);
        utf8.remove_prefix(length == 0 ? 1 : length);
        out += '?';
    }
    return out;
}

std::string toUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    while (cp932ToUtf8().convert(bytes, out, 3) != Converter::Stop::Done) {
        // A well-formed but unassigned double-byte code stands for one character: drop both
        // bytes, or its trail byte would be misread as the start of the next character.
        // Any other offending byte is dropped on its own.
        bool pair = bytes.size() >= 2 && isLeadByte(static_cast<unsigned char>(bytes[0])) &&
                    isTrailByte(static_cast<unsigned char>(bytes[1]));
        bytes.remove_prefix(pair ? 2 : 1);
        out += '?';
    }
    return out;
}

}  // namespace velkora::cp932
