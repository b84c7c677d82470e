#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/SettingsStore.h"

namespace velkora {

// The check boxes of the options dialog, in the order in which they are set and stored.
enum class FlagBox {
    option1,   // "Option1value"
    option2,   // "Option2value"
    option3,   // "Option3value"
    option4,   // "Option4index"
    option5,   // "Option5value"
    option6,   // "Option6value"
    option7,   // "Option7value"
    soption7,  // "sOption7value"
    Check5,    // "Check5value"
    option8,   // "Option8value"
    option9,   // "Option9value"
    Check1,    // "Check1value"
    Check2,    // "Check2value"
    Check3,    // "Check3value"
    Check4,    // "Check4value"
};
inline constexpr std::size_t kFlagBoxCount = 15;

// The boxes whose text is converted to a number when the dialog is confirmed.
enum class NumberBox {
    timerbox1,   // "Checktimerval"
    timerbox2,   // "Closetimerval"
    timerbox3,   // "Timeupval"
    redialbox,   // "Redialval"
    talkcntbox,  // "Talkcnt"
    txt_Vol,     // "Volval", 32 bits
};
inline constexpr std::size_t kNumberBoxCount = 6;

// The key that a check box or number box shows.
const char* flagKey(FlagBox box);
const char* numberKey(NumberBox box);
// The words beside a number box, by which a message names it.
const char* numberBoxCaption(NumberBox box);

// Everything the options dialog shows and stores, other than the accounts, in the form in
// which its controls hold it: check boxes as on/off, number boxes as the text typed.
struct OptionsForm {
    std::array<bool, kFlagBoxCount> flags{};
    std::array<std::string, kNumberBoxCount> numbers;

    std::string Mailerdir1;
    std::string Mailerdir2;
    std::string Wavdir;
    std::string Agentnm;
    std::string Notstr;
    std::array<std::string, 6> Talkstr;

    // "Actkind1".."Actkind6" as read when the dialog opened: they preselect the action lists,
    // and a row whose list has no selection keeps its name.
    std::array<std::string, 6> Actkind;
    // The entry selected in each action list, or nothing.
    std::array<std::optional<std::string>, 6> selectedAction;

    // The index of the dial-up entry: as stored, then the entry the user selects.
    int16_t Defdialno = 0;

    // The working values that the bars and font lists change; kept as read until the user
    // moves the control, so a value the control cannot show is stored unchanged.
    int16_t Pitchval = 100;
    std::string HukifontN;
    int16_t HukifontS = 9;

    int16_t accountno = 0;

    bool& flag(FlagBox box) { return flags[static_cast<std::size_t>(box)]; }
    bool flag(FlagBox box) const { return flags[static_cast<std::size_t>(box)]; }
    std::string& number(NumberBox box) { return numbers[static_cast<std::size_t>(box)]; }
    const std::string& number(NumberBox box) const {
        return numbers[static_cast<std::size_t>(box)];
    }
};

// Reads every key that the dialog shows, each with the options program's own default;
// `agentDefault` is the default of "Agentnm". A stored flag shows as checked when the checker
// acts on it: exactly 1, except "Option3value" and "sOption7value", which act on any value
// other than 0.
OptionsForm loadOptionsForm(const SettingsStore& store, const std::string& agentDefault);

// A number box whose text is no number of its range.
struct NumberBoxError {
    NumberBox box;
    std::string message;  // for the user; names the box
};

// Converts every number box; the first that does not convert, or nothing.
std::optional<NumberBoxError> checkOptionsForm(const OptionsForm& form);

// Stores the form by the options program's write rule, in the dialog's order: each row's
// template and action, then the count, the flags, the numbers and texts, "Volval", "Pitchval",
// "HukifontN", "HukifontS". When a number box does not convert nothing is written and the
// error is returned. A failing write throws SettingsStoreError.
std::optional<NumberBoxError> saveOptionsForm(SettingsStore& store, const OptionsForm& form);

}  // namespace velkora
