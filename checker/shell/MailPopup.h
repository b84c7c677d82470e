#pragma once

#include <cstdint>

namespace velkora {

// The mail list popup as the announcement uses it.
class MailPopup {
public:
    virtual ~MailPopup() = default;
    // Shows the list with the caption: totalMessages followed by "通のメールが届いています!".
    virtual void showPopup(int16_t totalMessages) = 0;
};

}  // namespace velkora
