#include "tests/support/RecordingMessageBoxes.h"

namespace velkora::test {

void RecordingMessageBoxes::show(MessageIcon icon, const std::string& title,
                                 const std::string& text) {
    boxes.push_back({icon, title, text});
    if (whileShown) {
        // A copy: the handler may show another box, which grows the list.
        Box shown = boxes.back();
        whileShown(shown);
    }
}

std::vector<std::string> RecordingMessageBoxes::texts() const {
    std::vector<std::string> out;
    for (const auto& box : boxes) {
        out.push_back(box.text);
    }
    return out;
}

}  // namespace velkora::test
