#include "checker/shell/MailPrograms.h"

#include <optional>

#include "checker/shell/DesktopEntry.h"
#include "common/ProductInfo.h"

namespace velkora {

LaunchCommand mailerCommand(const std::string& path) {
    if (!isDesktopEntryPath(path)) {
        return {{path}, {}};
    }
    std::optional<DesktopEntry> entry = readDesktopEntry(path);
    if (!entry) {
        return {};
    }
    std::optional<std::vector<std::string>> command = desktopEntryCommand(*entry, path);
    if (!command) {
        return {};
    }
    return {std::move(*command), entry->path};
}

void MailerLauncher::start(const std::string& path) {
    if (path.empty()) {
        return;
    }
    LaunchCommand command = mailerCommand(path);
    if (command.arguments.empty() || !starter_.startDetached(command)) {
        boxes_.show(MessageIcon::Warning, kProductName,
                    "メールソフトを起動できませんでした。\n" + path);
    }
}

}  // namespace velkora
