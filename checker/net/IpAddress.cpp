#include "checker/net/IpAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace velkora {

IpAddress IpAddress::v4(uint32_t networkOrder) {
    IpAddress address;
    std::memcpy(address.bytes.data(), &networkOrder, 4);
    return address;
}

std::optional<IpAddress> IpAddress::fromLiteral(std::string_view text) {
    const std::string literal(text);
    // inet_addr reads the short, octal and hex forms; its all-ones result also stands for
    // "not an address", so that text goes to the name lookup, as it always did.
    const in_addr_t v4Address = ::inet_addr(literal.c_str());
    if (v4Address != INADDR_NONE) {
        return v4(v4Address);
    }
    std::string inner = literal;
    if (inner.size() > 2 && inner.front() == '[' && inner.back() == ']') {
        inner = inner.substr(1, inner.size() - 2);
    }
    IpAddress address;
    address.family = Family::V6;
    if (::inet_pton(AF_INET6, inner.c_str(), address.bytes.data()) == 1) {
        return address;
    }
    return std::nullopt;  // a name, or an address with a zone, which the lookup reads
}

std::string IpAddress::text() const {
    char buffer[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(family == Family::V4 ? AF_INET : AF_INET6, bytes.data(), buffer, sizeof buffer);
    return buffer;
}

std::vector<IpAddress> interleaveFamilies(const std::vector<IpAddress>& preferredOrder) {
    std::vector<IpAddress> first;
    std::vector<IpAddress> second;
    for (const IpAddress& address : preferredOrder) {
        auto& list = address.family == preferredOrder.front().family ? first : second;
        if (std::find(list.begin(), list.end(), address) == list.end()) {
            list.push_back(address);
        }
    }
    std::vector<IpAddress> out;
    for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
        if (i < first.size()) {
            out.push_back(first[i]);
        }
        if (i < second.size()) {
            out.push_back(second[i]);
        }
    }
    return out;
}

}  // namespace velkora
