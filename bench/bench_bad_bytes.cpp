// Times the conversion of text that is no valid code page 932 (bytes such as 0xFF, as a
// broken or hostile mail may hold) at 1 MB and at 10 MB: every converter of received text,
// and the extraction of a TOP reply whose body is such bytes. Conversion is linear when the
// 10 MB time is about ten times the 1 MB time (once the square of the length made 1 MB take
// 46 s). Run a release build.

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "checker/check/HeaderExtractor.h"
#include "checker/check/MailList.h"
#include "checker/decode/Charset.h"
#include "checker/decode/LegacyText.h"
#include "common/AppSettings.h"
#include "common/Cp932.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main() {
    using namespace velkora;
    const std::size_t megabyte = 1000 * 1000;
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> converters =
        {
            {"cp932 to UTF-8", [](const std::string& bad) { cp932::toUtf8(bad); }},
            {"UTF-8 to cp932 (lossy)", [](const std::string& bad) { cp932::fromUtf8Lossy(bad); }},
            {"old Japanese mail text", [](const std::string& bad) { legacyTextToUtf8(bad); }},
            {"EUC-JP by iconv", [](const std::string& bad) { charsetTextToUtf8(bad, "euc-jp"); }},
            {"TOP reply extracted",
             [](const std::string& bad) {
                 AppSettings settings;
                 MailList list;
                 extractHeaders(
                     "+OK\r\nFrom: a@example.com\r\nSubject: bad bytes\r\n\r\n" + bad + "\r\n", 1,
                     settings, list);
             }},
        };
    std::printf("bench_bad_bytes: text of 0xFF bytes, 1 MB and 10 MB\n");
    bool linear = true;
    for (const auto& [name, convert] : converters) {
        const std::string small(megabyte, '\xFF');
        const std::string large(10 * megabyte, '\xFF');
        const double one = secondsOf([&] { convert(small); });
        const double ten = secondsOf([&] { convert(large); });
        const double ratio = ten / one;
        // Ten times the bytes in clearly less than a hundred times the time.
        linear = linear && ratio < 30;
        std::printf("%-24s 1 MB %.3f s, 10 MB %.3f s, ratio %.1f (linear: about 10)\n", name, one,
                    ten, ratio);
    }
    std::printf("%s\n", linear ? "linear: met" : "linear: NOT MET");
    return 0;
}
