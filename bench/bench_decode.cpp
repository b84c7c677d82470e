// Throughput of the Japanese decoding against glibc's iconv on about 10 MB of generated mail
// text, and of today's mail (multipart/alternative with UTF-8 Base64 and quoted-printable
// parts) against iconv and Python's email package (bench/bench_decode_python.py) on the same
// replies. Prints MB/s of each and the ratios; run a release build.

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
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

    // A line of Japanese text in UTF-8: kana, kanji and some ASCII.
    std::string utf8Line() {
        std::string line;
        while (line.size() < 90) {
            const auto pick = rng_() % 10;
            char32_t c = 0;
            if (pick < 5) {
                c = static_cast<char32_t>(0x3041 + rng_() % 83);  // hiragana
            } else if (pick < 6) {
                c = static_cast<char32_t>(0x30A1 + rng_() % 86);  // katakana
            } else if (pick < 9) {
                c = static_cast<char32_t>(0x4E00 + rng_() % 0x5000);  // kanji
            } else {
                line += " ok, 42 ";
                continue;
            }
            line += static_cast<char>(0xE0 | (c >> 12));
            line += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            line += static_cast<char>(0x80 | (c & 0x3F));
        }
        return line + "\r\n";
    }

    // Today's mail as a TOP reply: UTF-8 encoded words, DKIM above the fields, and a
    // multipart/alternative body with a Base64 text part and a quoted-printable HTML part.
    std::string todaysReply() {
        std::string text;
        for (int i = 0; i < 30; ++i) {
            text += utf8Line();
        }
        std::string html = "<html><body>";
        for (int i = 0; i < 10; ++i) {
            html += "<p>" + utf8Line() + "</p>";
        }
        html += "</body></html>\r\n";
        return "+OK\r\nDKIM-Signature: v=1; a=rsa-sha256; d=example.com;\r\n"
               "\th=From:Subject:Date; bh=abc=; b=def=\r\n"
               "From: =?UTF-8?B?" +
               base64(utf8Line().substr(0, 12)) +
               "?= <a@example.com>\r\n"
               "Subject: =?UTF-8?B?" +
               base64(utf8Line().substr(0, 45)) + "?=\r\n =?UTF-8?B?" +
               base64(utf8Line().substr(0, 45)) +
               "?=\r\n"
               "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"b1\"\r\n"
               "\r\n--b1\r\nContent-Type: text/plain; charset=utf-8\r\n"
               "Content-Transfer-Encoding: base64\r\n\r\n" +
               base64Lines(text) +
               "\r\n--b1\r\nContent-Type: text/html; charset=utf-8\r\n"
               "Content-Transfer-Encoding: quoted-printable\r\n\r\n" +
               quotedPrintable(html) + "\r\n--b1--\r\n";
    }

private:
    static std::string base64Lines(std::string_view bytes) {
        std::string out;
        for (std::size_t i = 0; i < bytes.size(); i += 57) {
            out += base64(bytes.substr(i, 57)) + "\r\n";
        }
        return out;
    }

    static std::string quotedPrintable(std::string_view text) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        std::string out;
        std::size_t column = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                out += "\r\n";
                column = 0;
                ++i;
                continue;
            }
            const bool plain = c >= 0x20 && c < 0x7F && c != '=';
            if (column + (plain ? 1 : 3) > 75) {
                out += "=\r\n";
                column = 0;
            }
            if (plain) {
                out += static_cast<char>(c);
                ++column;
            } else {
                out += '=';
                out += kHex[c >> 4];
                out += kHex[c & 15];
                column += 3;
            }
        }
        return out;
    }

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

// Python's email package on the same replies, written NUL-separated to a private file.
double pythonRate(const std::string& replies, const std::vector<std::size_t>& ends) {
    const auto file = std::filesystem::temp_directory_path() /
                      ("bench_decode_" + std::to_string(getpid()) + ".bin");
    {
        std::ofstream out(file, std::ios::binary);
        std::size_t begin = 0;
        for (std::size_t end : ends) {
            out.write(replies.data() + begin, static_cast<std::streamsize>(end - begin));
            if (end != ends.back()) {
                out.put('\0');
            }
            begin = end;
        }
    }
    const std::string python =
        std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    const std::string command = python + " '" + std::string(VELKORA_SOURCE_DIR) +
                                "/bench/bench_decode_python.py' '" + file.string() + "'";
    double rate = -1;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[256] = {};
        std::string text;
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            text += line;
        }
        if (pclose(pipe) != 0 || std::sscanf(text.c_str(), "python_mb_s=%lf", &rate) != 1) {
            std::fprintf(stderr, "bench_decode: Python's run failed: %s\n", text.c_str());
            rate = -1;
        }
    }
    std::filesystem::remove(file);
    return rate;
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

    std::string today;
    std::vector<std::size_t> todayEnds;
    while (today.size() < kTargetSize) {
        today += maker.todaysReply();
        todayEnds.push_back(today.size());
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
    iconv_t utf8ToUtf16 = iconv_open("UTF-16LE", "UTF-8");
    if (utf8ToUtf16 == reinterpret_cast<iconv_t>(-1)) {
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

    // Today's mail: the whole extraction beside one iconv pass over the same bytes (every
    // reply as if it were all text, the least any decoder must do) and Python.
    std::vector<Candidate> todays = {
        {"iconv UTF-8 -> UTF-16 of the replies", today.size(),
         [&] { return iconvAll(utf8ToUtf16, today, iconvOut); }},
        {"extractHeaders, today's 6 KB replies", today.size(),
         [&] {
             MailList list;
             std::size_t begin = 0;
             for (std::size_t end : todayEnds) {
                 velkora::extractHeaders(std::string_view(today).substr(begin, end - begin), 1,
                                         settings, list);
                 begin = end;
             }
             return list.mailCount();
         }},
    };
    measure(todays);
    const double python = pythonRate(today, todayEnds);
    iconv_close(cd);
    iconv_close(toUtf8);
    iconv_close(utf8ToUtf16);

    std::printf("input: %.1f MB ISO-2022-JP text, %.1f MB encoded-word headers, %.1f MB replies\n",
                static_cast<double>(body.size()) / 1e6, static_cast<double>(headers.size()) / 1e6,
                static_cast<double>(replies.size()) / 1e6);
    const double iconvRate = candidates.front().best;
    for (const Candidate& c : candidates) {
        std::printf("%-38s %8.1f MB/s  %5.2f x iconv\n", c.name, c.best, c.best / iconvRate);
    }
    std::printf("\ntoday's mail: %.1f MB of replies (%zu multipart, Base64 and quoted-printable)\n",
                static_cast<double>(today.size()) / 1e6, todayEnds.size());
    const double todayIconv = todays.front().best;
    for (const Candidate& c : todays) {
        std::printf("%-38s %8.1f MB/s  %5.2f x iconv\n", c.name, c.best, c.best / todayIconv);
    }
    if (python > 0) {
        std::printf("%-38s %8.1f MB/s  %5.2f x iconv; extractHeaders is %.1f x Python\n",
                    "Python email: parse, From, Subject, body", python, python / todayIconv,
                    todays.back().best / python);
    } else {
        std::printf("Python's email package could not be run\n");
    }
    return 0;
}
