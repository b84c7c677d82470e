#include "checker/announce/voice/JapaneseNumbers.h"

#include <gtest/gtest.h>

namespace velkora {
namespace {

TEST(JapaneseNumbersTest, NumbersAreReadInJapanese) {
    const std::pair<const char*, const char*> cases[] = {
        {"0", "ゼロ"},
        {"7", "ナナ"},
        {"10", "ジュー"},
        {"19", "ジューキュー"},
        {"300", "サンビャク"},
        {"608", "ロッピャクハチ"},
        {"1000", "セン"},
        {"3800", "サンゼンハッピャク"},
        {"10000", "イチマン"},
        {"10000000", "イッセンマン"},
        {"11000000", "センヒャクマン"},
        {"2024", "ニセンニジューヨン"},
        {"100000000", "イチオク"},
        {"1000000000000", "イッチョー"},
        {"80000000000000", "ハチジュッチョー"},
        // Leading zeros and numbers beyond 兆: digit by digit, as telephone numbers are read.
        {"0120", "ゼロイチニゼロ"},
        {"12345678901234567", "イチニサンヨンゴロクナナハチキューゼロイチニサンヨンゴロクナナ"},
    };
    for (const auto& [digits, reading] : cases) {
        EXPECT_EQ(readJapaneseNumber(digits), reading) << digits;
    }
}

TEST(JapaneseNumbersTest, CountersChangeTheSoundsAroundThem) {
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"1", "通", "イッツー"},
        {"8", "通", "ハッツー"},
        {"10", "通", "ジュッツー"},
        {"3", "通", "サンツー"},
        {"6", "通", "ロクツー"},
        {"21", "通", "ニジューイッツー"},
        {"1", "件", "イッケン"},
        {"6", "件", "ロッケン"},
        {"100", "件", "ヒャッケン"},
        {"300", "件", "サンビャッケン"},
        {"3", "本", "サンボン"},
        {"1", "本", "イッポン"},
        {"6", "分", "ロップン"},
        {"4", "分", "ヨンプン"},
        {"2", "分", "ニフン"},
        {"3", "階", "サンガイ"},
        {"4", "時", "ヨジ"},
        {"9", "時", "クジ"},
        {"14", "時", "ジューヨジ"},
        {"1", "人", "ヒトリ"},
        {"2", "人", "フタリ"},
        {"4", "人", "ヨニン"},
        {"3", "日", "ミッカ"},
        {"20", "日", "ハツカ"},
        {"24", "日", "ニジューヨッカ"},
        {"12", "日", "ジューニニチ"},
        {"4", "月", "シガツ"},
        {"4", "年", "ヨネン"},
        {"10000", "円", "イチマンエン"},
    };
    for (const auto& [digits, counter, reading] : cases) {
        EXPECT_EQ(readJapaneseCount(digits, counter), std::optional<std::string>(reading))
            << digits << counter;
    }
    EXPECT_EQ(readJapaneseCount("3", "台"), std::nullopt);
    EXPECT_EQ(readJapaneseCount("0120", "通"), std::nullopt);
}

}  // namespace
}  // namespace velkora
