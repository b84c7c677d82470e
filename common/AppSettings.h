#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/Account.h"
#include "common/DataDirectory.h"
#include "common/SettingKeys.h"

namespace velkora {

// The checker's in-memory copy of every global setting, one field per key, named like the key.
// The initial values are the checker's defaults for absent keys.
struct AppSettings {
    int16_t accountno = 0;
    int16_t Option1value = 1;
    int16_t Option2value = 1;
    int16_t Option3value = 1;
    int16_t Option4index = 1;
    int16_t Option5value = 0;
    int16_t Option6value = 1;
    int16_t Option7value = 0;
    int16_t sOption7value = 0;
    int16_t Check5value = 1;
    int16_t Option8value = 0;
    int16_t Option9value = 0;
    int16_t Check1value = 1;
    int16_t Check2value = 1;
    int16_t Check3value = 1;
    int16_t Check4value = 1;
    int16_t Checktimerval = 0;
    int16_t Closetimerval = 0;
    int16_t Timeupval = 60;
    std::array<std::string, 2> Mailerdir;  // "Mailerdir1", "Mailerdir2"
    std::string Wavdir;
    int16_t Defdialno = 0;
    int16_t Redialval = 0;
    std::string Agentnm = defaultAgentPath();
    std::array<std::string, 6> Actkind = toStrings(kActkindDefaults);  // "Actkind1" ... "Actkind6"
    int16_t Talkcnt = 10;
    std::string Notstr{kCheckerNotstr};  // the checker's 137 characters
    std::array<std::string, 6> Talkstr = toStrings(kTalkstrDefaults);  // "Talkstr1" ... "Talkstr6"
    int32_t Volval = 30000;
    int16_t Pitchval = 100;
    std::string HukifontN{kHukifontNDefault};
    int16_t HukifontS = 9;

    // Row colours by account number; entry 0 is unused, entries 1..accountno are the accounts.
    std::vector<AccountColours> accountColours;
    // After a load: the last account loaded (account accountno), as the load leaves it.
    Account currentAccount;

    bool operator==(const AppSettings&) const = default;
};

}  // namespace velkora
