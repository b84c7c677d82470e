#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// The dial-up entries are the network connection profiles that a user brings up on demand,
// as a phonebook entry was dialled: mobile broadband (gsm, cdma), PPPoE and DSL (pppoe,
// adsl), Bluetooth dial-up (bluetooth with the "dun" kind), VPN and WireGuard tunnels.
// Ethernet, Wi-Fi and Bluetooth networking (PAN) are the machine's own links, not entries.
// `bluetoothType` is the profile's bluetooth kind ("dun", "panu", ...), empty for the others.
bool isDialEntryType(std::string_view connectionType, std::string_view bluetoothType);

// At most this many entries are listed.
inline constexpr std::size_t kMaxDialEntries = 256;

// The order in which both programs show the entries: the enumeration reversed. Index k of
// this list is what "Defdialno" k names, in the checker's dial-up menu and check as in the
// options dialog's connection list.
std::vector<std::string> inMenuOrder(std::vector<std::string> enumerated);

}  // namespace velkora
