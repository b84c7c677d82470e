#include "common/qt/DialEntryList.h"

#include "common/DialEntries.h"
#include "common/qt/NetworkManagerClient.h"

namespace velkora {

std::vector<std::string> listDialEntries(const QDBusConnection& bus) {
    std::vector<std::string> names;
    if (!nm::isRunning(bus)) {
        return names;
    }
    const auto profiles = nm::listProfiles(bus);
    if (!profiles) {
        return names;
    }
    for (const nm::Profile& profile : *profiles) {
        if (profile.dialEntry && !profile.id.empty() && names.size() < kMaxDialEntries) {
            names.push_back(profile.id);
        }
    }
    return names;
}

std::vector<std::string> listDialEntriesInMenuOrder(const QDBusConnection& bus) {
    return inMenuOrder(listDialEntries(bus));
}

}  // namespace velkora
