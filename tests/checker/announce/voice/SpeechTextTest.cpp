#include "checker/announce/voice/SpeechText.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "checker/announce/voice/JapaneseReader.h"

namespace velkora {
namespace {

using Runs = std::vector<LanguageRun>;
constexpr SpeechLanguage ja = SpeechLanguage::Japanese;
constexpr SpeechLanguage en = SpeechLanguage::English;

TEST(SpeechTextTest, LatinRunsGoToTheEnglishVoiceWithTheirAddressPunctuation) {
    EXPECT_EQ(splitLanguages("差出人 Taro Yamada <taro@example.jp>"),
              (Runs{{ja, "差出人"}, {en, "Taro Yamada <taro@example.jp>"}}));
    EXPECT_EQ(splitLanguages("件名 Re: 会議の件 (Q3 plan) です"),
              (Runs{{ja, "件名"}, {en, "Re:"}, {ja, "会議の件"}, {en, "(Q3 plan)"}, {ja, "です"}}));
    EXPECT_EQ(splitLanguages("Hello, I'll be late."), (Runs{{en, "Hello, I'll be late."}}));
    // Accented letters are Latin too; curly quotes stay inside the English run.
    EXPECT_EQ(splitLanguages("café don’t"), (Runs{{en, "café don’t"}}));
}

TEST(SpeechTextTest, DigitsAndPunctuationBetweenJapaneseWordsStayJapanese) {
    EXPECT_EQ(splitLanguages("全部で3通のメール、12:30 !"),
              (Runs{{ja, "全部で3通のメール、12:30 !"}}));
    EXPECT_EQ(splitLanguages("2024"), (Runs{{ja, "2024"}}));
}

TEST(SpeechTextTest, CompatibilityFormsAreFoldedAndControlCharactersDropped) {
    // Full-width Latin and digits, half-width katakana.
    EXPECT_EQ(splitLanguages("ＴＡＲＯ　１２３ ﾒｰﾙﾁｪｯｸ"),
              (Runs{{en, "TARO 123"}, {ja, "メールチェック"}}));
    EXPECT_EQ(splitLanguages("件\x01名\x7f"), (Runs{{ja, "件 名"}}));
    EXPECT_EQ(splitLanguages("first line\r\nsecond\tline"),
              (Runs{{en, "first line  second line"}}));
    EXPECT_TRUE(splitLanguages(" \r\n\t ").empty());
    // Bytes that are no UTF-8 and a NUL leave nothing behind to be spelled out.
    EXPECT_TRUE(prepareSpeech(std::string("\xff\xfe\0\x80", 4), 100, nullptr).empty());
    EXPECT_TRUE(splitLanguages("").empty());
}

TEST(SpeechTextTest, WithoutADictionaryKanjiAreLeftOutRatherThanNamed) {
    EXPECT_EQ(readWithoutDictionary("会議のおしらせ、３通。"), "  のおしらせ、3 。");
    std::vector<SpeechUnit> units =
        prepareSpeech("件名 おしらせ Meeting \\Spd=150\\", 100, nullptr);
    EXPECT_EQ(units, (std::vector<SpeechUnit>{{ja, "おしらせ", 150}, {en, "Meeting", 150}}));
    // Kanji alone leave nothing to say at all.
    EXPECT_TRUE(prepareSpeech("差出人 佐藤 \\Spd=100\\", 100, nullptr).empty());
}

TEST(SpeechTextTest, MissingMecabConfigurationGivesNoReader) {
    EXPECT_EQ(JapaneseReader::open("/nonexistent/velkora/mecabrc"), nullptr);
}

class JapaneseReaderTest : public testing::Test {
protected:
    void SetUp() override {
        reader_ = JapaneseReader::open();
        ASSERT_NE(reader_, nullptr) << "MeCab with mecab-ipadic-utf8 is needed";
    }
    std::unique_ptr<JapaneseReader> reader_;
};

TEST_F(JapaneseReaderTest, ReadsKanjiAsKatakanaPronunciation) {
    EXPECT_EQ(reader_->read("差出人 佐藤"), "サシダシニン サトー");
    EXPECT_EQ(reader_->read("件名 会議のお知らせ"), "ケンメイ カイギノ オシラセ");
    // The particles は and へ are read as pronounced.
    EXPECT_EQ(reader_->read("東京へ行くのは"), "トーキョーエ イクノワ");
}

TEST_F(JapaneseReaderTest, KeepsNumbersWholeAndReadsCountersWithThem) {
    EXPECT_EQ(reader_->read("2024年3月12日"), "2024ネン サンガツ 12ニチ");
    EXPECT_EQ(reader_->read("1,000円"), "1000エン");
    EXPECT_EQ(reader_->read("第3回"), "ダイ3カイ");
}

TEST_F(JapaneseReaderTest, UnknownWordsAndSymbolsNeverReachTheVoiceAsKanji) {
    // 髙 (a variant the dictionary lacks) falls back to character readings; symbols become gaps.
    std::string reading = reader_->read("髙橋さん【至急】★");
    EXPECT_EQ(reading.find("髙"), std::string::npos);
    EXPECT_NE(reading.find("ハシサン"), std::string::npos);
    EXPECT_NE(reading.find("シキュー"), std::string::npos);
    EXPECT_EQ(reading.find("【"), std::string::npos);
    EXPECT_EQ(reading.find("★"), std::string::npos);
    EXPECT_EQ(reader_->read("おはよう。元気?"), "オハヨー。 ゲンキ。");
}

TEST_F(JapaneseReaderTest, PreparedSpeechCarriesReadingsLanguagesAndSpeeds) {
    std::vector<SpeechUnit> units =
        prepareSpeech("差出人 Sales\\Spd=200\\ 佐藤", 100, reader_.get());
    EXPECT_EQ(units, (std::vector<SpeechUnit>{
                         {ja, "サシダシニン", 200}, {en, "Sales", 200}, {ja, "サトー", 200}}));
}

}  // namespace
}  // namespace velkora
