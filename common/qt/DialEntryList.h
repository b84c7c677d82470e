#pragma once

#include <QDBusConnection>
#include <string>
#include <vector>

namespace velkora {

// The dial-up entries, shared by both programs: the names of NetworkManager's connection
// profiles of the on-demand kinds (common/DialEntries.h), in NetworkManager's order, at most
// kMaxDialEntries. Empty when NetworkManager is not on the bus or does not answer.
// Blocks for NetworkManager's answers (a few milliseconds; kQueryTimeoutMs at worst).
std::vector<std::string> listDialEntries(const QDBusConnection& bus = QDBusConnection::systemBus());

// The same names in the order both programs show them (the enumeration reversed), so that
// "Defdialno" k names entry k of this list in the checker and in the options dialog alike.
std::vector<std::string> listDialEntriesInMenuOrder(
    const QDBusConnection& bus = QDBusConnection::systemBus());

}  // namespace velkora
