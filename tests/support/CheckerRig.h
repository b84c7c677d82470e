#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "checker/check/MailList.h"
#include "checker/shell/Checker.h"
#include "checker/shell/HeadlessServices.h"
#include "common/Accounts.h"
#include "common/MemorySettingsStore.h"
#include "tests/support/RecordingDialup.h"
#include "tests/support/RecordingMessageBoxes.h"
#include "tests/support/RecordingShell.h"

namespace velkora::test {

// The checker as the programs build it, on the given event loop and sockets (the simulated
// ones in virtual time, or Qt's and the real ones), with the settings in a store in memory
// and recording desktop services; there is no character. Error boxes are shown unless a
// test sets "Option3value". Replies are kept between checks only when the test asks.
template <class Loop, class Api>
struct CheckerRig {
    explicit CheckerRig(ReplyCacheOptions replyCache = ReplyCacheOptions::off())
        : replyCacheOptions(std::move(replyCache)) {
        store.write("Option3value", "0");
    }

    // Stores an account (the next number); loadSettings() makes it known.
    int16_t addAccount(const Account& account) { return velkora::addAccount(store, account); }
    void set(const std::string& key, const std::string& value) { store.write(key, value); }

    // The listed mails, without the header row.
    std::vector<MailRow> rows() {
        std::vector<MailRow> out;
        for (std::size_t r = 1; r < checker.mailList().rowCount(); ++r) {
            out.push_back(checker.mailList().row(r));
        }
        return out;
    }
    const CheckState& state() const { return checker.checkState(); }

    ReplyCacheOptions replyCacheOptions;
    MemorySettingsStore store;
    Loop loop;
    Api api{loop};
    RecordingMessageBoxes boxes;
    RecordingTrayIcon tray;
    RecordingMenuItems menus;
    RecordingPopup popup;
    NullCharacter character;
    NullWaveVolume volume;
    NullArrivalSound sound;
    RecordingDialup dialup;
    Checker checker{CheckerServices{loop, api, boxes, tray, menus, popup, character, volume, sound,
                                    dialup, store, ScreenMetrics{}},
                    replyCacheOptions};
};

}  // namespace velkora::test
