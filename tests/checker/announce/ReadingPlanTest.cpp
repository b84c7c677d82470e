#include "checker/announce/ReadingPlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checker/check/MailList.h"
#include "common/AppSettings.h"
#include "common/MemorySettingsStore.h"

namespace velkora {
namespace {

class ReadingPlanTest : public ::testing::Test {
protected:
    void addMail(const std::string& sender, const std::string& subject, int account,
                 const std::string& body) {
        list.addRow({sender, subject, static_cast<int16_t>(account), body}, AccountColours{});
    }

    // Only template 2 on, as "<text>", to look at the account bookkeeping alone.
    void onlyAccountTemplate(const std::string& text) {
        settings.Option8value = 0;
        settings.Option9value = 1;
        settings.Check1value = settings.Check2value = settings.Check3value = 0;
        settings.Check4value = 0;
        settings.Talkstr[1] = text;
    }

    std::vector<std::string> texts(const std::vector<ReadingStep>& steps) {
        std::vector<std::string> result;
        for (const auto& step : steps) {
            result.push_back(step.text);
        }
        return result;
    }

    MailList list;
    AppSettings settings;
    MemorySettingsStore store;
    ReadingState state;
};

TEST(ExpandTemplate, ReplacesPlaceholdersInOrderAndAppendsTheSpeedTag) {
    ExpansionContext context;
    context.mailCount = 3;
    context.accountName = "home";
    context.perAccountNumber = "2";
    context.sender = "Sales";
    context.subject = "Offer";
    context.body = "Hello";

    EXPECT_EQ(expandTemplate("@12", context), "32 \\Spd=100\\");
    EXPECT_EQ(expandTemplate("", context), " \\Spd=100\\");
    EXPECT_EQ(expandTemplate("差出人 @4", context), "差出人 Sales \\Spd=100\\");
    EXPECT_EQ(expandTemplate("@1/@2/@3/@4/@5/@6/@1", context),
              "3/home/2/Sales/Offer/Hello/3 \\Spd=100\\");
    // Only "@" and a digit 1 to 6, matched exactly, is a placeholder.
    EXPECT_EQ(expandTemplate("@0 @7 @ 1 ＠1 a@", context), "@0 @7 @ 1 ＠1 a@ \\Spd=100\\");

    context.speed = -40;
    EXPECT_EQ(expandTemplate("@6", context), "Hello \\Spd=-40\\");
}

TEST(ExpandTemplate, ValuesAreExpandedByLaterPlaceholdersOnly) {
    ExpansionContext context;
    context.mailCount = 5;
    context.accountName = "@1@3";  // "@3" comes later and is replaced, "@1" stays
    context.perAccountNumber = "7";
    context.sender = "from @5";    // gets the subject
    context.subject = "re @4 @6";  // "@4" is earlier: literal; "@6" later: the body
    context.body = "@2 body";      // earlier placeholder, literal
    EXPECT_EQ(expandTemplate("@2|@4", context), "@17|from re @4 @2 body \\Spd=100\\");
    // A value that repeats its own placeholder does not loop.
    context.sender = "@4@4";
    EXPECT_EQ(expandTemplate("@4", context), "@4@4 \\Spd=100\\");
}

TEST(ExpandTemplate, RemovesControlCharacter0x10FromTemplateAndValues) {
    ExpansionContext context;
    context.subject = "a\x10時\x10間";
    EXPECT_EQ(expandTemplate("件名\x10 @5", context), "件名 a時間 \\Spd=100\\");
    // Other control characters are left to the voice.
    context.subject = "a\x11z";
    EXPECT_EQ(expandTemplate("@5", context), "a\x11z \\Spd=100\\");
}

TEST_F(ReadingPlanTest, CheckerDefaultsReadSenderSubjectBodyThenTheClosing) {
    addMail("Sales", "Offer", 1, "Buy now");
    addMail("太郎", "会議", 1, "明日です");
    const auto steps = fullReadingPlan(list, settings, store, state);
    const std::vector<ReadingStep> expected{
        {"Nothing", "差出人 Sales \\Spd=100\\"}, {"Nothing", "件名 Offer \\Spd=100\\"},
        {"Nothing", "Buy now \\Spd=100\\"},      {"Nothing", "差出人 太郎 \\Spd=100\\"},
        {"Nothing", "件名 会議 \\Spd=100\\"},    {"Nothing", "明日です \\Spd=100\\"},
        {"Nothing", "以上です \\Spd=100\\"},
    };
    EXPECT_EQ(steps, expected);
}

TEST_F(ReadingPlanTest, OpeningAndAccountTemplatesUseTheirAnimationsAndCount) {
    settings.Option8value = 1;
    settings.Option9value = 1;
    settings.Check1value = 0;
    settings.Check2value = 0;
    settings.Check3value = 2;  // only exactly 1 is on
    store.write("Aname1", "仕事");
    addMail("a", "b", 1, "c");
    addMail("d", "e", 1, "f");
    addMail("g", "h", 1, "i");
    const auto steps = fullReadingPlan(list, settings, store, state);
    const std::vector<ReadingStep> expected{
        {"Congratulate", "全部で3通のメールが届いています \\Spd=100\\"},
        {"Read", "仕事へのメール1通目 \\Spd=100\\"},
        {"Read", "仕事へのメール2通目 \\Spd=100\\"},
        {"Read", "仕事へのメール3通目 \\Spd=100\\"},
        {"Nothing", "以上です \\Spd=100\\"},
    };
    EXPECT_EQ(steps, expected);
}

TEST_F(ReadingPlanTest, NumbersMailsWithinEachAccountAndReadsNamesWhenNeeded) {
    onlyAccountTemplate("@2:@3");
    store.write("Aname1", "home");
    store.write("Aname2", "work");
    for (int account : {1, 1, 2, 2, 2}) {
        addMail("s", "t", account, "b");
    }
    EXPECT_EQ(
        texts(fullReadingPlan(list, settings, store, state)),
        (std::vector<std::string>{"home:1 \\Spd=100\\", "home:2 \\Spd=100\\", "work:1 \\Spd=100\\",
                                  "work:2 \\Spd=100\\", "work:3 \\Spd=100\\"}));
    EXPECT_EQ(state.currentAccountName, "work");
    EXPECT_EQ(state.perAccountNumber, 3);

    // An account without a stored name reads as empty; a renamed account is read anew for
    // the next row, not remembered from the start of the reading.
    list.reset();
    addMail("s", "t", 3, "b");
    addMail("s", "t", 1, "b");
    addMail("s", "t", 1, "b");
    FullReadingPlan plan(list, settings, store, state);
    EXPECT_EQ(plan.next()->text, ":1 \\Spd=100\\");
    EXPECT_EQ(plan.next()->text, "home:1 \\Spd=100\\");
    store.write("Aname1", "renamed");
    EXPECT_EQ(plan.next()->text, "renamed:2 \\Spd=100\\");
    EXPECT_FALSE(plan.next().has_value());
    EXPECT_FALSE(plan.next().has_value());
}

TEST_F(ReadingPlanTest, AccountReturningAfterAnotherStartsAgainAtOne) {
    onlyAccountTemplate("@3");
    for (int account : {2, 2, 1, 2}) {
        addMail("s", "t", account, "b");
    }
    EXPECT_EQ(texts(fullReadingPlan(list, settings, store, state)),
              (std::vector<std::string>{"1 \\Spd=100\\", "2 \\Spd=100\\", "1 \\Spd=100\\",
                                        "1 \\Spd=100\\"}));
}

TEST_F(ReadingPlanTest, OpeningAndClosingBelongToNoMail) {
    settings.Option8value = 1;
    settings.Talkstr[0] = "[@1|@2|@3|@4|@5|@6]";
    settings.Talkstr[5] = "[@1|@2|@3|@4|@5|@6]";
    store.write("Aname1", "home");
    addMail("s", "t", 1, "b");
    const auto steps = fullReadingPlan(list, settings, store, state);
    ASSERT_EQ(steps.size(), 5u);
    EXPECT_EQ(steps.front().text, "[1|||||] \\Spd=100\\");
    EXPECT_EQ(steps.back().text, "[1|||||] \\Spd=100\\");

    // An empty list still opens and closes; an empty template still gives its step.
    list.reset();
    settings.Talkstr[5] = "";
    const auto empty = fullReadingPlan(list, settings, store, state);
    EXPECT_EQ(empty, (std::vector<ReadingStep>{{"Congratulate", "[0|||||] \\Spd=100\\"},
                                               {"Nothing", " \\Spd=100\\"}}));
}

TEST_F(ReadingPlanTest, FullPlanFollowsTheListWhileItIsRead) {
    settings.Check1value = 0;
    settings.Check3value = 0;
    settings.Talkstr[5] = "@1";
    addMail("first", "t", 1, "b");
    addMail("second", "t", 1, "b");
    FullReadingPlan plan(list, settings, store, state);
    EXPECT_EQ(plan.next()->text, "差出人 first \\Spd=100\\");
    // Mail added while the reading pauses is read too.
    addMail("third", "t", 1, "b");
    EXPECT_EQ(plan.next()->text, "差出人 second \\Spd=100\\");
    EXPECT_EQ(plan.next()->text, "差出人 third \\Spd=100\\");
    // A new check resets the list: the reading ends with the count as it now is.
    list.reset();
    EXPECT_EQ(plan.next()->text, "0 \\Spd=100\\");
    EXPECT_FALSE(plan.next().has_value());

    // A reset between two steps of one row keeps that row's texts.
    settings.Check3value = 1;
    addMail("only", "subject", 1, "b");
    FullReadingPlan second(list, settings, store, state);
    EXPECT_EQ(second.next()->text, "差出人 only \\Spd=100\\");
    list.reset();
    EXPECT_EQ(second.next()->text, "件名 subject \\Spd=100\\");
    EXPECT_EQ(second.next()->text, "0 \\Spd=100\\");
}

TEST_F(ReadingPlanTest, FullPlanTakesTheTemplatesAtItsStart) {
    addMail("s", "t", 1, "b");
    FullReadingPlan plan(list, settings, store, state);
    settings.Talkstr[2] = "changed @4";
    settings.Check3value = 0;
    settings.Pitchval = 150;
    EXPECT_EQ(plan.next()->text, "差出人 s \\Spd=100\\");
    EXPECT_EQ(plan.next()->text, "件名 t \\Spd=100\\");
}

TEST_F(ReadingPlanTest, SingleMailPlanReadsOneRowWithItsAccountStep) {
    settings.Option8value = 1;
    settings.Option9value = 1;
    settings.Actkind = {"A1", "A2", "A3", "A4", "A5", "A6"};
    settings.Talkstr[2] = "@2 @3 @4";
    store.write("Aname2", "仕事");
    for (int account : {1, 1, 2, 2, 2}) {
        addMail("s" + std::to_string(list.rowCount()), "t", account, "b");
    }
    state.perAccountNumber = 9;

    const auto steps = singleMailPlan(list, 4, settings, store, state);
    const std::vector<ReadingStep> expected{
        {"A2", "仕事宛て"},
        {"A3", "仕事 2 s4 \\Spd=100\\"},
        {"A4", "件名 t \\Spd=100\\"},
        {"A5", "b \\Spd=100\\"},
    };
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(state.currentAccountName, "仕事");
    EXPECT_EQ(state.perAccountNumber, 9);  // numbering belongs to the full reading

    // Without template 2 there is no account step, and templates 1 and 6 never appear.
    settings.Option9value = 0;
    settings.Check2value = 0;
    settings.Check1value = 0;
    EXPECT_EQ(singleMailPlan(list, 1, settings, store, state),
              (std::vector<ReadingStep>{{"A4", "件名 t \\Spd=100\\"}}));
}

TEST_F(ReadingPlanTest, SingleMailPlanOfTheHeaderOrAMissingRowIsEmpty) {
    settings.Option9value = 1;
    addMail("s", "t", 1, "b");
    state.currentAccountName = "kept";
    EXPECT_TRUE(singleMailPlan(list, 0, settings, store, state).empty());
    EXPECT_TRUE(singleMailPlan(list, 2, settings, store, state).empty());
    EXPECT_EQ(state.currentAccountName, "kept");
}

}  // namespace
}  // namespace velkora
