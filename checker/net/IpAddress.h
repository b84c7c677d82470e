#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// An IPv4 or IPv6 address, as the socket seam connects to it.
struct IpAddress {
    enum class Family { V4, V6 };

    Family family = Family::V4;
    // V4: the four bytes first, in network order; V6: all sixteen.
    std::array<uint8_t, 16> bytes{};
    // The interface of a link-local IPv6 address ("fe80::1%eth0"); 0 for none.
    uint32_t scope = 0;

    // The IPv4 address of a 32-bit value in network byte order.
    static IpAddress v4(uint32_t networkOrder);
    // An address typed as the server: a dotted IPv4 address in the forms inet_addr reads
    // ("127.1" too; the all-ones address is not taken, as it never was), or an IPv6 address,
    // also in brackets ("[::1]"). Nothing for a host name.
    static std::optional<IpAddress> fromLiteral(std::string_view text);

    // "192.0.2.1", "2001:db8::1".
    std::string text() const;

    bool operator==(const IpAddress&) const = default;
};

// The addresses in the order to try them: the families take turns, starting with the family
// of the first (the system's preferred) address, each family in its own order; duplicates go.
std::vector<IpAddress> interleaveFamilies(const std::vector<IpAddress>& preferredOrder);

}  // namespace velkora
