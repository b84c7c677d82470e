#include "checker/check/HeaderExtractor.h"

#include <gtest/gtest.h>

#include <string>

#include "common/SettingKeys.h"
#include "tests/checker/check/HeaderExtractorTestSupport.h"

namespace velkora {
namespace {

using testing::encodedWord;
using testing::toIso2022Jp;

const std::string kU3000 = "\xE3\x80\x80";

struct Extracted {
    MailList list;

    const std::string& sender() const { return list.cell(1, MailList::kSenderColumn); }
    const std::string& subject() const { return list.cell(1, MailList::kSubjectColumn); }
    const std::string& account() const { return list.cell(1, MailList::kAccountColumn); }
    const std::string& body() const { return list.cell(1, MailList::kBodyColumn); }
    const AccountColours& colours() const { return list.row(1).colours; }
};

Extracted extract(const std::string& collected, AppSettings settings = AppSettings{},
                  int16_t account = 1) {
    Extracted result;
    extractHeaders(collected, account, settings, result.list);
    EXPECT_EQ(result.list.mailCount(), 1u);
    return result;
}

TEST(ExtractHeaders, TurnsARealisticJapaneseReplyIntoOneColouredRow) {
    const std::string from = "From: " + encodedWord("山田太郎") + " <taro@example.jp>\r\n";
    const std::string subject =
        "Subject: " + encodedWord("【重要】") + "\r\n\t" + encodedWord("会議のお知らせ") + "\r\n";
    const std::string collected =
        "+OK 1234 octets\r\nReturn-Path: <taro@example.jp>\r\n"
        "Received: from mx.example.jp by pop.example.net;\r\n\tMon, 1 Jun 2024 09:00:00 +0900\r\n" +
        from + "To: hanako@example.net\r\n" + subject +
        "Date: Mon, 1 Jun 2024 09:00:00 +0900\r\nContent-Type: text/plain; charset=ISO-2022-JP\r\n"
        "\r\n" +
        toIso2022Jp("明日の会議は【第二会議室】です。\r\nよろしく\r\n") + ".\r\n";
    AppSettings settings;  // with the checker's own Notstr
    settings.accountColours = {AccountColours{}, AccountColours{1, 2}, AccountColours{255, 0}};

    const Extracted e = extract(collected, settings, 2);
    EXPECT_EQ(e.sender(), " 山田太郎 <taro@example.jp>");
    EXPECT_EQ(e.subject(), " 【重要】会議のお知らせ");  // Notstr leaves the subject alone
    EXPECT_EQ(e.account(), "2");
    EXPECT_EQ(e.body(), kU3000 + "明日の会議は第二会議室です。" + kU3000 + "よろしく" + kU3000 +
                            "." + kU3000);
    EXPECT_EQ(e.colours(), (AccountColours{255, 0}));
    // An account without colours of its own gets the default ones.
    EXPECT_EQ(extract(collected, settings, 3).colours(), AccountColours{});
    EXPECT_EQ(extract(collected, settings, -1).colours(), AccountColours{});
}

TEST(ExtractHeaders, UnfoldsFoldedFieldsAndDropsTabs) {
    const std::string from = "From: a@example.jp\r\n";
    EXPECT_EQ(extract(from + "Subject: first\r\n\tsecond\r\n\t third\r\n\r\n").subject(),
              " firstsecond third");
    // A space fold keeps its space, as an unfolded field does.
    EXPECT_EQ(extract(from + "Subject: first\r\n second\r\n\r\n").subject(), " first second");
    EXPECT_EQ(extract(from + "Subject: a\tb\r\n\r\n").subject(), " ab");
    // The field ends at a CR LF that is the last text received.
    EXPECT_EQ(extract(from + "Subject: last\r\n").subject(), " last");
    // A word broken by a TAB fold inside its Base64 text is whole again once joined.
    EXPECT_EQ(extract(from + "Subject: =?ISO-2022-JP?B?QUJD\r\n\tREVG?=\r\n\r\n").subject(),
              " ABCDEF");
    // A sender folded before its address keeps the address.
    EXPECT_EQ(extract("From: " + encodedWord("山田太郎") + "\r\n <taro@example.jp>\r\n" +
                      "Subject: s\r\n\r\n")
                  .sender(),
              " 山田太郎 <taro@example.jp>");
    EXPECT_EQ(extract("From: Taro\r\n\t<taro@example.jp>\r\nSubject: s\r\n\r\n").sender(),
              " Taro<taro@example.jp>");
}

TEST(ExtractHeaders, TakesAFieldOnlyWhereItsNameBeginsAHeaderLine) {
    const Extracted e = extract(
        "+OK\r\nDKIM-Signature: v=1; a=rsa-sha256; d=example.jp;\r\n"
        "\th=From:Date:Subject:Message-ID; bh=abc=;\r\n"
        "X-Spam-Subject: [SPAM] old\r\nResent-From: relay@example.jp\r\n"
        "fRoM: desk@example.jp\r\nSUBJECT: real\r\nSubject: second\r\n\r\n"
        "From: quoted@example.jp\r\n");
    EXPECT_EQ(e.subject(), " real");
    EXPECT_EQ(e.sender(), " desk@example.jp");
    // Names that only stand in the body are no fields: the message has none.
    const Extracted tail = extract("end\r\n\r\n.\r\nFrom: b@example.jp\r\nSubject: s\r\n");
    EXPECT_EQ(tail.sender(), "");
    EXPECT_EQ(tail.subject(), "");
    EXPECT_EQ(tail.body(),
              kU3000 + "." + kU3000 + "From: b@example.jp" + kU3000 + "Subject: s" + kU3000);
}

TEST(ExtractHeaders, JoinsAdjacentEncodedWordsWithoutTheSpaceBetweenThem) {
    const std::string head = "From: a\r\nSubject:";
    EXPECT_EQ(
        extract(head + " " + encodedWord("生田") + " " + encodedWord("昇") + "\r\n\r\n").subject(),
        " 生田昇");
    // Text between words, and spaces next to text, stay.
    EXPECT_EQ(extract(head + " " + encodedWord("生田") + " - " + encodedWord("昇") + " x\r\n\r\n")
                  .subject(),
              " 生田 - 昇 x");
}

TEST(ExtractHeaders, HandlesRepliesCutShortAnywhere) {
    // No empty line yet: no body.
    EXPECT_EQ(extract("From: a@example.jp\r\nSubject: s\r\nDate: x\r\n").body(), "");
    // From without CR LF keeps all the rest.
    EXPECT_EQ(extract("Subject: s\r\nFrom: a@example.jp <a").sender(), " a@example.jp <a");
    // A cut subject with an encoded word keeps only the text before the word...
    EXPECT_EQ(extract("From: a\r\nSubject: Re: " + encodedWord("件名")).subject(), " Re: ");
    EXPECT_EQ(extract("From: a\r\nSubject: Fw:\r\n\t[x] =?iso-2022-jp?b?GyRC").subject(),
              " Fw:[x] ");
    // ... and one without a word keeps its plain text, converted.
    EXPECT_EQ(extract("From: a\r\nSubject: plain text").subject(), " plain text");
    EXPECT_EQ(extract("From: a\r\nSubject: " + toIso2022Jp("途中")).subject(), " 途中");
}

TEST(ExtractHeaders, ShowsABrokenEncodedWordOnceAsWritten) {
    const std::string from = "From: a\r\nSubject: ";
    const std::string cut = "=?iso-2022-jp?b?GyRCN29MPhsoQg";
    EXPECT_EQ(extract(from + "Re: " + cut + "\r\n\r\n").subject(), " Re: " + cut);
    // A marker directly followed by "=" and the end: empty Base64 text, "=" alone.
    EXPECT_EQ(extract(from + "[=?ISO-2022-JP?B?=?=]\r\n\r\n").subject(), " []");
}

TEST(ExtractHeaders, PassesEveryCharacterThroughCodePage932) {
    const std::string head = "From: a\r\nSubject: ";
    // NUL goes; a valid Shift_JIS character stays; bytes that are none become '?'.
    const std::string subject = std::string("x\0y \x82\xA0 \xFF\x80 z", 11);
    const Extracted e = extract(head + subject + "\r\n\r\n" + std::string("b\0c\r\n", 5));
    EXPECT_EQ(e.subject(), " xy あ ?? z");
    EXPECT_EQ(e.body(), kU3000 + "bc" + kU3000);
    // Decoded bytes go through the same pass: a NUL inside an encoded word is dropped.
    EXPECT_EQ(extract(head + "=?ISO-2022-JP?B?QQBC?=\r\n\r\n").subject(), " AB");
    // Runs closed by ESC "(J" are converted as well.
    EXPECT_EQ(extract(head + "\x1b$B$\"\x1b(J!\r\n\r\n").subject(), " あ!");
}

TEST(StripNotstr, RemovesListedCharactersAndTurnsLineBreaksIntoIdeographicSpaces) {
    EXPECT_EQ(stripNotstr("【重要】お知らせ", kCheckerNotstr), "重要お知らせ");
    EXPECT_EQ(stripNotstr("a\r\n【b】\r\n", ""), "a" + kU3000 + "【b】" + kU3000);
    // Lone CR and LF stay; CR CR LF keeps the first CR.
    EXPECT_EQ(stripNotstr("a\rb\nc\r\r\nd\n\r", ""), "a\rb\nc\r" + kU3000 + "d\n\r");
    // Removal comes first, so a CR and an LF that meet form a line break.
    EXPECT_EQ(stripNotstr("a\r★\nb", "★"), "a" + kU3000 + "b");
    // Whole characters only: "〒" (E3 80 92) shares its first bytes with "、" (E3 80 81).
    EXPECT_EQ(stripNotstr("〒100、東京", "〒"), "100、東京");
    // An empty "Notstr" stored as "0" removes the digit.
    EXPECT_EQ(stripNotstr("2024年10月", "0"), "224年1月");
    // Malformed bytes are characters of their own and survive unless listed.
    EXPECT_EQ(stripNotstr("a\xE3\x80 b\xFF", "\xFF"), "a\xE3\x80 b");
}

}  // namespace
}  // namespace velkora
