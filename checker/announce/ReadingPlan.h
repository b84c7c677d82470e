#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "checker/check/MailList.h"
#include "common/AppSettings.h"
#include "common/SettingsStore.h"

namespace velkora {

// One unit of a reading: the animation played first, then the finished text spoken.
struct ReadingStep {
    std::string animation;
    std::string text;

    bool operator==(const ReadingStep&) const = default;
};

// What the placeholders of one template stand for.
struct ExpansionContext {
    std::size_t mailCount = 0;     // "@1"
    std::string accountName;       // "@2"
    std::string perAccountNumber;  // "@3", decimal text (empty outside a mail)
    std::string sender;            // "@4"
    std::string subject;           // "@5"
    std::string body;              // "@6"
    int16_t speed = 100;           // the speed tag's value ("Pitchval")
};

// Replaces "@1" to "@6" in that order, each pass working on the result of the one before,
// removes every U+0010 and appends the speed tag " \Spd=<speed>\".
std::string expandTemplate(const std::string& templateText, const ExpansionContext& context);

// What the readings leave behind for the mail list window: the account name and the
// per-account number of the mail read last. The window owns it; readings only publish to it.
struct ReadingState {
    std::string currentAccountName;
    int16_t perAccountNumber = 0;
};

// The six speech templates as a plan uses them, taken from the settings when a plan starts so
// that a reload of the settings during a reading does not change the reading half-way.
struct SpeechTemplates {
    std::array<std::string, 6> text;
    std::array<std::string, 6> animation;
    std::array<bool, 6> enabled{};
    int16_t speed = 100;

    static SpeechTemplates from(const AppSettings& settings);
};

// The full reading, produced step by step: the mail list is read row by row as the reading
// reaches it, and its length is taken anew before each row, because a check may change the
// list while the reading pauses. A row is copied when it is reached, so a list reset during
// the row's steps cannot pull the text away from under the reading.
class FullReadingPlan {
public:
    FullReadingPlan(const MailList& list, const AppSettings& settings, const SettingsStore& store,
                    ReadingState& state);

    // The next step, or nothing when the reading is complete.
    std::optional<ReadingStep> next();

private:
    enum class Phase { Opening, Rows, Closing, Done };

    void addTemplate(std::size_t index, const ExpansionContext& context);
    void readRow();
    ExpansionContext contextWithoutMail() const;

    const MailList& list_;
    const SettingsStore& store_;
    ReadingState& state_;
    SpeechTemplates templates_;
    Phase phase_ = Phase::Opening;
    std::size_t nextRow_ = 1;
    long previousAccount_ = 0;
    int16_t perAccountNumber_ = 0;
    std::deque<ReadingStep> pending_;
};

// Every step of the full reading of the list as it is now.
std::vector<ReadingStep> fullReadingPlan(const MailList& list, const AppSettings& settings,
                                         const SettingsStore& store, ReadingState& state);

// The steps for one row of the list: the account step (account name + "宛て") when template 2
// is on and the row names its account, then templates 3 to 5. Row 0 (the header) and rows past
// the end give no steps.
std::vector<ReadingStep> singleMailPlan(const MailList& list, std::size_t row,
                                        const AppSettings& settings, const SettingsStore& store,
                                        ReadingState& state);

// The account name stored for an account number, empty when there is none.
std::string accountName(const SettingsStore& store, long accountNumber);

}  // namespace velkora
