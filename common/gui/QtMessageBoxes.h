#pragma once

#include <string>

#include "common/MessageBox.h"

namespace velkora {

// Message boxes as QMessageBox dialogs. Needs a QApplication on the calling thread.
class QtMessageBoxes final : public MessageBoxes {
public:
    void show(MessageIcon icon, const std::string& title, const std::string& text) override;
};

}  // namespace velkora
