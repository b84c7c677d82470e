#include "checker/announce/voice/SpeechText.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "checker/announce/voice/JapaneseReader.h"

namespace velkora {
namespace {

using Runs = std::vector<LanguageRun>;
using Units = std::vector<SpeechUnit>;
constexpr SpeechLanguage ja = SpeechLanguage::Japanese;
constexpr SpeechLanguage en = SpeechLanguage::English;

TEST(SpeechTextTest, SplitsLatinRunsFromJapaneseAndCleansTheText) {
    const std::pair<std::string, Runs> cases[] = {
        // Latin runs go to the English voice with their address punctuation.
        {"差出人 Taro Yamada <taro@example.jp>",
         {{ja, "差出人"}, {en, "Taro Yamada <taro@example.jp>"}}},
        {"件名 Re: 会議の件 (Q3 plan) です",
         {{ja, "件名"}, {en, "Re:"}, {ja, "会議の件"}, {en, "(Q3 plan)"}, {ja, "です"}}},
        {"café don’t", {{en, "café don’t"}}},
        // Digits and punctuation between Japanese words stay Japanese.
        {"全部で3通のメール、12:30 !", {{ja, "全部で3通のメール、12:30 !"}}},
        {"2024", {{ja, "2024"}}},
        // Compatibility forms are folded, control characters become spaces.
        {"ＴＡＲＯ　１２３ ﾒｰﾙﾁｪｯｸ", {{en, "TARO 123"}, {ja, "メールチェック"}}},
        {"件\x01名\x7f", {{ja, "件 名"}}},
        {"first line\r\nsecond\tline", {{en, "first line  second line"}}},
        {" \r\n\t ", {}},
    };
    for (const auto& [text, runs] : cases) {
        EXPECT_EQ(splitLanguages(text), runs) << text;
    }
    // Bytes that are no UTF-8 and a NUL leave nothing behind to be spelled out.
    EXPECT_TRUE(prepareSpeech(std::string("\xff\xfe\0\x80", 4), 100, nullptr).empty());
}

TEST(SpeechTextTest, WithoutADictionaryKanjiAreLeftOutRatherThanNamed) {
    EXPECT_EQ(JapaneseReader::open("/nonexistent/velkora/mecabrc"), nullptr);
    EXPECT_EQ(readWithoutDictionary("会議のおしらせ、３通。"), "  のおしらせ、サン 。");
    EXPECT_EQ(prepareSpeech("件名 おしらせ Meeting \\Spd=150\\", 100, nullptr),
              (Units{{ja, "おしらせ", 150}, {en, "Meeting", 150}}));
    EXPECT_TRUE(prepareSpeech("差出人 佐藤 \\Spd=100\\", 100, nullptr).empty());
}

TEST(SpeechTextTest, TheReaderGivesKatakanaPronunciations) {
    const std::unique_ptr<JapaneseReader> reader = JapaneseReader::open();
    ASSERT_NE(reader, nullptr) << "MeCab with mecab-ipadic-utf8 is needed";
    const std::pair<std::string, std::string> cases[] = {
        {"件名 会議のお知らせ", "ケンメイ カイギノ オシラセ"},
        // The particles は and へ are read as pronounced.
        {"東京へ行くのは", "トーキョーエ イクノワ"},
        // Numbers are read whole, in Japanese, with the sound changes of their counters.
        {"2024年3月12日", "ニセンニジューヨネン サンガツ ジューニニチ"},
        {"1,000円", "センエン"},
        {"全部で1通のメールが届いています", "ゼンブデ イッツーノ メールガ トドイテイマス"},
        {"佐藤へのメール10通目", "サトーエノ メール ジュッツーメ"},
        {"3通目 8通 6件 1件", "サンツーメ ハッツー ロッケン イッケン"},
        {"12345件", "イチマンニセンサンビャクヨンジューゴケン"},
        {"おはよう。元気?", "オハヨー。 ゲンキ。"},
    };
    for (const auto& [text, reading] : cases) {
        EXPECT_EQ(reader->read(text), reading) << text;
    }
    // 髙 (a variant the dictionary lacks) falls back to character readings; symbols go.
    const std::string reading = reader->read("髙橋さん【至急】★");
    for (const char* gone : {"髙", "【", "★"}) {
        EXPECT_EQ(reading.find(gone), std::string::npos) << reading;
    }
    EXPECT_NE(reading.find("ハシサン"), std::string::npos) << reading;
    EXPECT_NE(reading.find("シキュー"), std::string::npos) << reading;

    EXPECT_EQ(prepareSpeech("差出人 Sales\\Spd=200\\ 佐藤", 100, reader.get()),
              (Units{{ja, "サシダシニン", 200}, {en, "Sales", 200}, {ja, "サトー", 200}}));
}

}  // namespace
}  // namespace velkora
