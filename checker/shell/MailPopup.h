#pragma once

#include <cstdint>
#include <string>

namespace velkora {

// The mail list popup as the announcement uses it.
class MailPopup {
public:
    virtual ~MailPopup() = default;
    // Shows the list with the caption: totalMessages followed by "通のメールが届いています!".
    virtual void showPopup(int16_t totalMessages) = 0;
    // The caption and state of the mail program button MailBt(index), index 1 or 2, the same
    // as the menu item Mailer(index) (renewMailerCaptions). A popup without those buttons
    // ignores it.
    virtual void setMailerButton(int /*index*/, const std::string& /*caption*/, bool /*enabled*/) {}
};

}  // namespace velkora
