#include "checker/shell/MailerCaptions.h"

#include <cstddef>
#include <optional>

#include "checker/shell/DesktopEntry.h"

namespace velkora {

namespace {

constexpr const char* kUnset = "未登録";
constexpr const char* kStartSuffix = "を起動";

bool isSet(const std::string& path) {
    // The options program of old stored an empty text as "0": that names no program either.
    return !path.empty() && path != "0";
}

}  // namespace

std::string mailerTitle(const std::string& path) {
    if (!isSet(path)) {
        return {};
    }
    // A desktop entry is named as a file manager shows it: by the application's own name.
    if (isDesktopEntryPath(path)) {
        std::optional<DesktopEntry> entry = readDesktopEntry(path);
        if (entry && !entry->name.empty()) {
            return entry->name;
        }
    }
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.find('.'));
}

std::string mailerPath(const AppSettings& settings, int index) {
    if (index != 1 && index != 2) {
        return {};
    }
    const std::string& path = settings.Mailerdir[static_cast<std::size_t>(index - 1)];
    return isSet(path) ? path : std::string();
}

void renewMailerCaptions(const AppSettings& settings, MenuItems& menus, MailPopup& popup) {
    for (int index = 1; index <= 2; ++index) {
        const std::string path = mailerPath(settings, index);
        const bool set = !path.empty();
        const std::string caption = set ? mailerTitle(path) + kStartSuffix : kUnset;
        menus.setMailerItem(index, caption, set);
        popup.setMailerButton(index, caption, set);
    }
}

}  // namespace velkora
