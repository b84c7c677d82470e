#pragma once

#include <string>

namespace velkora {

enum class MessageIcon { Information, Warning, Stop };

// Modal message boxes with an OK button. show() returns when the user has closed the box;
// the platform keeps handling events meanwhile, so handlers may run nested inside it.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void show(MessageIcon icon, const std::string& title, const std::string& text) = 0;
};

}  // namespace velkora
