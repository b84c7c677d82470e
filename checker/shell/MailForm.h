#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "checker/announce/ReadingPlan.h"
#include "checker/check/MailList.h"
#include "checker/shell/MailPopup.h"
#include "common/AppSettings.h"
#include "common/EventLoop.h"
#include "common/SettingsStore.h"

namespace velkora {

// The popup's fixed layout, in twips: the client area and its controls (left, top, width,
// height), and the grid's column widths.
struct MailFormLayout {
    struct Box {
        int left, top, width, height;
    };
    static constexpr int kClientWidth = 6435;
    static constexpr int kClientHeight = 4920;
    static constexpr Box kGrid{15, 0, 6420, 3735};
    static constexpr Box kOkButton{120, 3840, 6180, 255};
    static constexpr std::array<Box, 2> kMailerButtons{
        {{120, 4200, 6180, 255}, {120, 4560, 6180, 255}}};
    // Above this many mails (totalMessages) the two text columns narrow to make room for the
    // scroll bar.
    static constexpr int kNarrowAbove = 15;
    static constexpr int kTextColumn = 3000;
    static constexpr int kNarrowTextColumn = 2900;
    static constexpr int kAccountColumn = 300;
};

inline constexpr std::string_view kGridTip = "ｸﾘｯｸするとｱｶｳﾝﾄを表示、ダブルクリックで読み上げます";
inline constexpr std::string_view kOkCaption = "OK";
inline constexpr std::string_view kOkTip = "ﾎﾟｯﾌﾟｱｯﾌﾟを閉じます";
inline constexpr std::string_view kMailerButtonTip = "OPTIONで指定したﾒｰﾗｰを起動します";
inline constexpr std::string_view kAccountTipPrefix = "ｱｶｳﾝﾄ：";

// Caption and state of a mail-program button.
struct MailerCaption {
    std::string text;
    bool enabled = false;

    bool operator==(const MailerCaption&) const = default;
};

inline constexpr std::string_view kUnregisteredMailer = "未登録";

// The caption: the mail count followed by "通のメールが届いています!".
std::string mailFormCaption(int16_t totalMessages);

// Column widths in twips for a check that found `totalMessages` mails; the body column is 0.
std::array<int, 4> mailFormColumnWidths(int16_t totalMessages);

// The self-closing delay in milliseconds for "Closetimerval" seconds: every positive value
// counts in whole seconds, also above 32 where 16-bit milliseconds would overflow; 0 and
// below never close by themselves.
int closeDelayMilliseconds(int16_t closetimerval);

// The window that shows the popup: a thin view that draws what it is told.
class MailFormView {
public:
    virtual ~MailFormView() = default;
    virtual void setCaption(const std::string& caption) = 0;
    // Widths in twips of the four columns; 0 hides a column.
    virtual void setColumnWidths(const std::array<int, 4>& twips) = 0;
    virtual void setGridTip(const std::string& tip) = 0;
    virtual void setMailerButton(int index, const MailerCaption& caption) = 0;
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
};

// What the popup works on; everything outlives it.
struct MailFormServices {
    EventLoop& loop;
    MailList& mailList;
    const AppSettings& settings;
    const SettingsStore& store;
    ReadingState& readingState;
};

// The mail list popup `mailform`: created once, then shown and hidden; the rows are the mail
// list's and stay while it is hidden. The view forwards the user's clicks here.
class MailForm final : public MailPopup {
public:
    explicit MailForm(MailFormServices services);
    ~MailForm() override;
    MailForm(const MailForm&) = delete;
    MailForm& operator=(const MailForm&) = delete;

    // The window that shows it; the popup starts hidden.
    void attachView(MailFormView& view);

    // Caption from the mail count, header row, column widths, the self-closing delay; shows.
    void showPopup(int16_t totalMessages) override;

    void setMailerButton(int index, const std::string& caption, bool enabled) override;

    // A click on list row `row` (1 = first mail): its account's name becomes the tip and the
    // reading's current account name.
    void clickRow(std::size_t row);
    // A double-click: the reading of that one mail; nothing on the header row.
    void doubleClickRow(std::size_t row);
    void okPressed();
    // Mail-program button 1 or 2: hides, then starts that program.
    void mailerPressed(int index);

    // The single-mail reading and the start of a mail program (ExecMailapp).
    std::function<void(std::size_t row)> readMail;
    std::function<void(int index)> startMailer;

    const std::string& gridTip() const { return gridTip_; }
    Timer& closetimer() { return *closetimer_; }

private:
    void hide();

    MailFormServices services_;
    MailFormView* view_ = nullptr;
    std::unique_ptr<Timer> closetimer_;
    std::string gridTip_{kGridTip};
    std::array<MailerCaption, 2> mailerCaptions_;
};

}  // namespace velkora
