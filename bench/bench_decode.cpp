// Throughput of the Japanese decoding against glibc's iconv on about 10 MB of generated mail
// text. Prints MB/s of each and the ratios; run a release build.

#include <iconv.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "checker/check/HeaderExtractor.h"
#include "checker/check/MailList.h"
#include "checker/decode/EncodedWords.h"
#include "checker/decode/JisConversion.h"
#include "common/Cp932.h"

namespace {

using velkora::AppSettings;
using velkora::MailList;

constexpr std::size_t kTargetSize = 10 * 1000 * 1000;
constexpr int kRuns = 5;

class TextMaker {
public:
    // ISO-2022-JP text: ASCII words and runs of assigned JIS X 0208 characters (kana and the
    // first-level kanji), in lines of mail-like length.
    std::string jisLine() {
        std::string line;
        while (line.size() < 60) {
            if (coin(rng_) < 0.6) {
                line += "\x1b$B";
                const int length = 2 + static_cast<int>(rng_() % 18);
                for (int i = 0; i < length; ++i) {
                    appendJisCharacter(line);
                }
                line += "\x1b(B";
            } else {
                static constexpr std::string_view kWords[] = {
                    "Re: ", "2024/06/01 ",         "10:00", " (",
                    ") ",   "http://example.jp/ ", "OK. ",  "ID: 42 "};
                line += kWords[rng_() % std::size(kWords)];
            }
        }
        return line + "\r\n";
    }

    std::string jisText(std::size_t size) {
        std::string text;
        text.reserve(size + 256);
        while (text.size() < size) {
            text += jisLine();
        }
        return text;
    }

    std::string encodedWord() {
        std::string jis = "\x1b$B";
        const int length = 4 + static_cast<int>(rng_() % 12);
        for (int i = 0; i < length; ++i) {
            appendJisCharacter(jis);
        }
        jis += "\x1b(B";
        return std::string(velkora::kEncodedWordStart) + base64(jis) + "?=";
    }

    // Header lines whose values are encoded words with some text around them.
    std::string headerText(std::size_t size) {
        std::string text;
        text.reserve(size + 256);
        while (text.size() < size) {
            text += coin(rng_) < 0.5 ? "Subject: Re: " : "From: ";
            text += encodedWord();
            text += coin(rng_) < 0.5 ? "\r\n\t" + encodedWord() : std::string(" <a@example.jp>");
            text += "\r\n";
        }
        return text;
    }

    // One collected TOP reply of a realistic shape.
    std::string reply() {
        std::string text = "+OK\r\nReturn-Path: <taro@example.jp>\r\nFrom: " + encodedWord() +
                           " <taro@example.jp>\r\nSubject: " + encodedWord() + "\r\n\t" +
                           encodedWord() + "\r\nDate: Mon, 1 Jun 2024 09:00:00 +0900\r\n" +
                           "Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n";
        for (int i = 0; i < 10; ++i) {
            text += jisLine();
        }
        return text + ".\r\n";
    }

private:
    void appendJisCharacter(std::string& out) {
        const auto pick = rng_() % 10;
        if (pick < 4) {  // hiragana
            out += '\x24';
            out += static_cast<char>(0x21 + rng_() % 83);
        } else if (pick < 5) {  // katakana
            out += '\x25';
            out += static_cast<char>(0x21 + rng_() % 86);
        } else {  // first-level kanji, rows 16 to 46
            out += static_cast<char>(0x30 + rng_() % 31);
            out += static_cast<char>(0x21 + rng_() % 94);
        }
    }

    static std::string base64(std::string_view bytes) {
        static constexpr char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string out;
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
            std::uint32_t v = 0;
            for (std::size_t k = 0; k < 3; ++k) {
                v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
            }
            for (std::size_t k = 0; k < 4; ++k) {
                out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 63] : '=';
            }
        }
        return out;
    }

    std::mt19937 rng_{20240601};
    std::uniform_real_distribution<double> coin{0.0, 1.0};
};

// The machine is shared, so the candidates take turns within every round and each keeps its
// best round: a busy moment then costs all of them alike.
struct Candidate {
    const char* name;
    std::size_t bytes;
    std::function<std::size_t()> run;
    double best = 0;  // MB/s of input
};

void measure(std::vector<Candidate>& candidates) {
    std::size_t sink = 0;
    for (int round = 0; round < kRuns; ++round) {
        for (Candidate& c : candidates) {
            const auto start = std::chrono::steady_clock::now();
            sink += c.run();
            const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
            c.best = std::max(c.best, static_cast<double>(c.bytes) / 1e6 / took.count());
        }
    }
    if (sink == 0) {
        std::puts("(no output)");
    }
}

// The whole text in one call, into an output large enough for any result.
std::size_t iconvAll(iconv_t cd, const std::string& in, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(in.size() * 3);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) == static_cast<std::size_t>(-1)) {
        std::fprintf(stderr, "iconv stopped with %zu bytes left\n", srcLeft);
    }
    return out.size() - dstLeft;
}

}  // namespace

int main() {
    TextMaker maker;
    const std::string body = maker.jisText(kTargetSize);
    const std::string headers = maker.headerText(kTargetSize);
    std::string replies;
    std::vector<std::size_t> replyEnds;
    while (replies.size() < kTargetSize) {
        replies += maker.reply();
        replyEnds.push_back(replies.size());
    }

    iconv_t cd = iconv_open("CP932", "ISO-2022-JP");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        std::perror("iconv_open");
        return 1;
    }
    iconv_t toUtf8 = iconv_open("UTF-8", "ISO-2022-JP");
    if (toUtf8 == reinterpret_cast<iconv_t>(-1)) {
        std::perror("iconv_open");
        return 1;
    }
    std::string iconvOut;
    const std::string ours = velkora::convertIso2022JpText(body);
    if (ours != iconvOut.substr(0, iconvAll(cd, body, iconvOut))) {
        std::puts("warning: convertIso2022JpText and iconv disagree on the text");
    }
    const AppSettings settings;
    // One reply of twice the size, to show that a long reply costs no more per byte.
    const std::string huge = "From: a\r\nSubject: " + headers + "\r\n" + body;

    std::vector<Candidate> candidates = {
        {"iconv ISO-2022-JP -> CP932", body.size(), [&] { return iconvAll(cd, body, iconvOut); }},
        // What extractHeaders does for a body, from ISO-2022-JP to the display form.
        {"iconv ISO-2022-JP -> UTF-8", body.size(),
         [&] { return iconvAll(toUtf8, body, iconvOut); }},
        {"convertIso2022JpText", body.size(),
         [&] { return velkora::convertIso2022JpText(body).size(); }},
        {"decodeEncodedWords", headers.size(),
         [&] { return velkora::decodeEncodedWords(headers).value_or("").size(); }},
        {"cp932::toUtf8 of the converted text", ours.size(),
         [&] { return velkora::cp932::toUtf8(ours).size(); }},
        {"extractHeaders, 2 KB replies", replies.size(),
         [&] {
             MailList list;
             std::size_t begin = 0;
             for (std::size_t end : replyEnds) {
                 velkora::extractHeaders(std::string_view(replies).substr(begin, end - begin), 1,
                                         settings, list);
                 begin = end;
             }
             return list.mailCount();
         }},
        {"extractHeaders, one 20 MB reply", huge.size(),
         [&] {
             MailList list;
             velkora::extractHeaders(huge, 1, settings, list);
             return list.row(1).cells[MailList::kBodyColumn].size();
         }},
    };
    measure(candidates);
    iconv_close(cd);
    iconv_close(toUtf8);

    std::printf("input: %.1f MB ISO-2022-JP text, %.1f MB encoded-word headers, %.1f MB replies\n",
                static_cast<double>(body.size()) / 1e6, static_cast<double>(headers.size()) / 1e6,
                static_cast<double>(replies.size()) / 1e6);
    const double iconvRate = candidates.front().best;
    for (const Candidate& c : candidates) {
        std::printf("%-38s %8.1f MB/s  %5.2f x iconv\n", c.name, c.best, c.best / iconvRate);
    }
    return 0;
}
