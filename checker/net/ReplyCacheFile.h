#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkora {

// One TOP reply kept from an earlier check: the mailbox it came from (ReplyCache::accountKey),
// the line count it was asked with, the message's unique id (UIDL) and the reply as the
// session reported it.
struct CachedReply {
    std::string account;
    int lines = 0;
    std::string uid;
    std::string reply;
    // The visit of the mailbox that last listed the message; older visits are given up first.
    uint64_t lastSeen = 0;

    bool operator==(const CachedReply&) const = default;
};

// The cache file: a first line naming the format, then per entry one line of decimal
// fields followed by the entry's bytes, then a last line with the entry count and a checksum
// of everything before it:
//
//   velkora-replies 1\n
//   <account bytes> <lines> <uid bytes> <reply bytes> <lastSeen>\n<account><uid><reply>\n
//   ...
//   end <entries> <FNV-1a 64 of the text above, 16 lowercase hex digits>\n
//
// The file holds mail text and may be damaged or tampered with: a reader takes it whole or
// not at all.
namespace replycache {

// The most bytes a file may hold, and the most of each part of an entry.
inline constexpr std::size_t kMaxFileBytes = 64u << 20;
inline constexpr std::size_t kMaxAccountBytes = 1024;
inline constexpr std::size_t kMaxUidBytes = 255;
inline constexpr std::size_t kMaxReplyBytes = 1u << 20;
inline constexpr int kMaxLines = 32767;
// Visits are counted from 1; a count this high comes from no real use.
inline constexpr uint64_t kMaxLastSeen = uint64_t{1} << 48;

// A unique id as RFC 1939 allows it: 1 to kMaxUidBytes printable characters without spaces.
bool usableUid(std::string_view uid);

std::string print(const std::vector<CachedReply>& entries);
// The entries, or nothing when the text is not a whole, undamaged file of this format (a
// field out of its bounds, a number written in another way than print() writes it, an
// entry given twice, a wrong checksum, anything after the last line).
std::optional<std::vector<CachedReply>> parse(std::string_view text);
// The entry lines alone, as between the first and the last line of a file, unchecked.
std::optional<std::vector<CachedReply>> parseEntries(std::string_view text);

}  // namespace replycache

}  // namespace velkora
