#include "checker/announce/ReadingPlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checker/check/MailList.h"
#include "common/AppSettings.h"
#include "common/MemorySettingsStore.h"

namespace velkora {
namespace {

using Steps = std::vector<ReadingStep>;
using Strings = std::vector<std::string>;

// A text as the templates finish it, with the default speed tag.
std::string spd(const std::string& text, int speed = 100) {
    return text + " \\Spd=" + std::to_string(speed) + "\\";
}

class ReadingPlanTest : public ::testing::Test {
protected:
    void addMail(const std::string& sender, int account = 1, const std::string& subject = "t") {
        list.addRow({sender, subject, static_cast<int16_t>(account), "b"}, AccountColours{});
    }

    // Only template 2 on, as `text`, to look at the account bookkeeping alone.
    void onlyAccountTemplate(const std::string& text) {
        settings.Option8value = 0;
        settings.Option9value = 1;
        settings.Check1value = settings.Check2value = settings.Check3value = 0;
        settings.Check4value = 0;
        settings.Talkstr[1] = text;
    }

    Strings fullTexts() {
        Strings result;
        for (const auto& step : fullReadingPlan(list, settings, store, state)) {
            result.push_back(step.text);
        }
        return result;
    }

    MailList list;
    AppSettings settings;
    MemorySettingsStore store;
    ReadingState state;
};

TEST(ExpandTemplate, ReplacesPlaceholdersDropsU0010AndAppendsTheSpeedTag) {
    ExpansionContext context{3, "home", "2", "Sales", "Offer", "Hello"};  // "@1" to "@6"
    EXPECT_EQ(expandTemplate("@12", context), spd("32"));
    EXPECT_EQ(expandTemplate("", context), spd(""));
    EXPECT_EQ(expandTemplate("@1/@2/@3/@4/@5/@6/@1", context), spd("3/home/2/Sales/Offer/Hello/3"));
    // Only "@" and a digit 1 to 6, matched exactly, is a placeholder.
    EXPECT_EQ(expandTemplate("@0 @7 @ 1 ＠1 a@", context), spd("@0 @7 @ 1 ＠1 a@"));
    // U+0010 goes from the template and the values alike; other control characters stay.
    context.subject = "a\x10時\x10間\x11";
    EXPECT_EQ(expandTemplate("件名\x10 @5", context), spd("件名 a時間\x11"));
    context.speed = -40;
    EXPECT_EQ(expandTemplate("@6", context), spd("Hello", -40));
}

TEST(ExpandTemplate, ValuesAreExpandedByLaterPlaceholdersOnly) {
    // "@3" comes after "@2" and is replaced in its value, "@1" before it stays; the sender gets
    // the subject, whose "@4" stays and whose "@6" becomes the body, whose "@2" stays.
    ExpansionContext context{5, "@1@3", "7", "from @5", "re @4 @6", "@2 body"};
    EXPECT_EQ(expandTemplate("@2|@4", context), spd("@17|from re @4 @2 body"));
    // A value that repeats its own placeholder does not loop.
    context.sender = "@4@4";
    EXPECT_EQ(expandTemplate("@4", context), spd("@4@4"));
}

TEST_F(ReadingPlanTest, CheckerDefaultsReadSenderSubjectBodyThenTheClosing) {
    list.addRow({"Sales", "Offer", 1, "Buy now"}, AccountColours{});
    list.addRow({"太郎", "会議", 1, "明日です"}, AccountColours{});
    Steps expected;
    for (const char* text : {"差出人 Sales", "件名 Offer", "Buy now", "差出人 太郎", "件名 会議",
                             "明日です", "以上です"}) {
        expected.push_back({"Nothing", spd(text)});
    }
    EXPECT_EQ(fullReadingPlan(list, settings, store, state), expected);
}

TEST_F(ReadingPlanTest, OpeningAndAccountTemplatesUseTheirAnimationsAndCount) {
    settings.Option8value = settings.Option9value = 1;
    settings.Check1value = settings.Check2value = 0;
    settings.Check3value = 2;  // only exactly 1 is on
    store.write("Aname1", "仕事");
    for (const char* sender : {"a", "d", "g"}) {
        addMail(sender);
    }
    EXPECT_EQ(fullReadingPlan(list, settings, store, state),
              (Steps{{"Congratulate", spd("全部で3通のメールが届いています")},
                     {"Read", spd("仕事へのメール1通目")},
                     {"Read", spd("仕事へのメール2通目")},
                     {"Read", spd("仕事へのメール3通目")},
                     {"Nothing", spd("以上です")}}));

    // An empty list still opens and closes; an empty template still gives its step. Neither
    // belongs to a mail.
    list.reset();
    settings.Talkstr[0] = "[@1|@2|@3|@4|@5|@6]";
    settings.Talkstr[5] = "";
    EXPECT_EQ(fullReadingPlan(list, settings, store, state),
              (Steps{{"Congratulate", spd("[0|||||]")}, {"Nothing", spd("")}}));
}

TEST_F(ReadingPlanTest, NumbersMailsWithinEachRunOfAnAccount) {
    onlyAccountTemplate("@2:@3");
    store.write("Aname1", "home");
    store.write("Aname2", "work");
    for (int account : {1, 1, 2, 2, 2}) {
        addMail("s", account);
    }
    EXPECT_EQ(fullTexts(),
              (Strings{spd("home:1"), spd("home:2"), spd("work:1"), spd("work:2"), spd("work:3")}));
    EXPECT_EQ(state.currentAccountName, "work");
    EXPECT_EQ(state.perAccountNumber, 3);

    // An account coming back after another starts at 1 again; one without a stored name reads
    // as empty.
    list.reset();
    for (int account : {2, 1, 2, 3}) {
        addMail("s", account);
    }
    EXPECT_EQ(fullTexts(), (Strings{spd("work:1"), spd("home:1"), spd("work:1"), spd(":1")}));

    // A renamed account is read anew for the next row, not remembered from the start.
    FullReadingPlan plan(list, settings, store, state);
    EXPECT_EQ(plan.next()->text, spd("work:1"));
    store.write("Aname1", "renamed");
    EXPECT_EQ(plan.next()->text, spd("renamed:1"));
}

TEST_F(ReadingPlanTest, FullPlanFollowsTheListButKeepsItsTemplates) {
    settings.Check1value = settings.Check3value = 0;
    settings.Talkstr[5] = "@1";
    addMail("first");
    addMail("second");
    FullReadingPlan plan(list, settings, store, state);
    // Settings reloaded during the reading do not change it.
    settings.Talkstr[2] = "changed @4";
    settings.Pitchval = 150;
    EXPECT_EQ(plan.next()->text, spd("差出人 first"));
    // Mail added while the reading pauses is read too.
    addMail("third");
    EXPECT_EQ(plan.next()->text, spd("差出人 second"));
    EXPECT_EQ(plan.next()->text, spd("差出人 third"));
    // A new check resets the list: the reading ends with the count as it now is.
    list.reset();
    EXPECT_EQ(plan.next()->text, spd("0"));
    EXPECT_FALSE(plan.next().has_value());
    EXPECT_FALSE(plan.next().has_value());

    // A new plan takes the new templates; a reset between two steps of one row keeps that
    // row's texts.
    settings.Check3value = 1;
    addMail("only", 1, "subject");
    FullReadingPlan second(list, settings, store, state);
    EXPECT_EQ(second.next()->text, spd("changed only", 150));
    list.reset();
    EXPECT_EQ(second.next()->text, spd("件名 subject", 150));
    EXPECT_EQ(second.next()->text, spd("0", 150));
}

TEST_F(ReadingPlanTest, SingleMailPlanReadsOneRowWithItsAccountStep) {
    settings.Option8value = settings.Option9value = 1;
    settings.Actkind = {"A1", "A2", "A3", "A4", "A5", "A6"};
    settings.Talkstr[2] = "@2 @3 @4";
    store.write("Aname2", "仕事");
    for (int account : {1, 1, 2, 2, 2}) {
        addMail("s" + std::to_string(list.rowCount()), account);
    }
    state.perAccountNumber = 9;
    EXPECT_EQ(singleMailPlan(list, 4, settings, store, state), (Steps{{"A2", "仕事宛て"},
                                                                      {"A3", spd("仕事 2 s4")},
                                                                      {"A4", spd("件名 t")},
                                                                      {"A5", spd("b")}}));
    EXPECT_EQ(state.currentAccountName, "仕事");
    EXPECT_EQ(state.perAccountNumber, 9);  // numbering belongs to the full reading

    // The header and a row past the end give nothing and leave the state alone.
    state.currentAccountName = "kept";
    EXPECT_TRUE(singleMailPlan(list, 0, settings, store, state).empty());
    EXPECT_TRUE(singleMailPlan(list, 6, settings, store, state).empty());
    EXPECT_EQ(state.currentAccountName, "kept");

    // Without template 2 there is no account step, and templates 1 and 6 never appear.
    settings.Option9value = settings.Check2value = settings.Check1value = 0;
    EXPECT_EQ(singleMailPlan(list, 1, settings, store, state), (Steps{{"A4", spd("件名 t")}}));
}

}  // namespace
}  // namespace velkora
