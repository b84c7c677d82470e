#include "checker/dialup/DialupMenu.h"

namespace velkora {

DialupMenu::DialupMenu(Dialup& dialup) : dialup_(dialup) {
    for (const std::string& entry : dialup_.dialEntries()) {
        items_.push_back(Item{Kind::Entry, "mnuDialEnt", entry});
    }
    items_.push_back(Item{Kind::Separator, "sep3", {}});
    items_.push_back(Item{Kind::HangUp, "mhang", kHangUpCaption});
}

void DialupMenu::click(std::size_t position) {
    if (position >= items_.size()) {
        return;
    }
    const Item& item = items_[position];
    switch (item.kind) {
        case Kind::Entry:
            if (!item.caption.empty()) {
                dialup_.activateEntry(item.caption);
            }
            break;
        case Kind::HangUp:
            dialup_.hangUpDialup();
            break;
        case Kind::Separator:
            break;
    }
}

}  // namespace velkora
