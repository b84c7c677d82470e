#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/MessageBox.h"

namespace velkora::test {

// Message boxes that close at once and are remembered. whileShown runs inside show(), where a
// real modal box keeps handling events.
class RecordingMessageBoxes final : public MessageBoxes {
public:
    struct Box {
        MessageIcon icon;
        std::string title;
        std::string text;
    };

    void show(MessageIcon icon, const std::string& title, const std::string& text) override;

    // The texts of the boxes shown, in order.
    std::vector<std::string> texts() const;

    std::vector<Box> boxes;
    std::function<void(const Box&)> whileShown;
};

}  // namespace velkora::test
