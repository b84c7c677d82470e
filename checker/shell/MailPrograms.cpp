#include "checker/shell/MailPrograms.h"

#include <optional>

#include "checker/shell/DesktopEntry.h"
#include "common/ProductInfo.h"

namespace velkora {

namespace {

// The file-name part of a path: everything after its last "/".
std::string fileNamePart(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string mailerTitle(const std::string& path) {
    if (path.empty() || path == "0") {
        return {};
    }
    if (isDesktopEntryPath(path)) {
        std::optional<DesktopEntry> entry = readDesktopEntry(path);
        if (entry && !entry->name.empty()) {
            return entry->name;
        }
    }
    std::string name = fileNamePart(path);
    return name.substr(0, name.find('.'));
}

MailerCaption mailerCaption(const std::string& path) {
    if (path.empty()) {
        return {std::string(kUnregisteredMailer), false};
    }
    return {mailerTitle(path) + std::string(kStartMailerSuffix), true};
}

void renewMailerCaptions(const AppSettings& settings,
                         const std::vector<MailerCaptionView*>& views) {
    for (int index = 1; index <= 2; ++index) {
        MailerCaption caption = mailerCaption(settings.Mailerdir[index - 1]);
        for (MailerCaptionView* view : views) {
            view->setMailerCaption(index, caption);
        }
    }
}

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

MailPrograms::MailPrograms(const AppSettings& settings, const CheckState& state, TrayIcon& tray,
                           ProgramStarter& starter, MessageBoxes& boxes)
    : settings_(settings), state_(state), tray_(tray), starter_(starter), boxes_(boxes) {}

void MailPrograms::ExecMailapp(int index) {
    if (index < 1 || index > 2) {
        return;
    }
    if (!state_.checkInProgress) {
        tray_.tuskicon(TrayState::Normal);
    }
    // A copy: the box below lets events in, and a reload may replace the settings meanwhile.
    const std::string path = settings_.Mailerdir[index - 1];
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
