#include "common/DialEntries.h"

#include <algorithm>
#include <array>

namespace velkora {

bool isDialEntryType(std::string_view connectionType, std::string_view bluetoothType) {
    static constexpr std::array<std::string_view, 6> kOnDemandTypes = {"gsm",  "cdma", "pppoe",
                                                                       "adsl", "vpn",  "wireguard"};
    if (connectionType == "bluetooth") {
        return bluetoothType == "dun";
    }
    return std::find(kOnDemandTypes.begin(), kOnDemandTypes.end(), connectionType) !=
           kOnDemandTypes.end();
}

std::vector<std::string> inMenuOrder(std::vector<std::string> enumerated) {
    std::reverse(enumerated.begin(), enumerated.end());
    return enumerated;
}

}  // namespace velkora
