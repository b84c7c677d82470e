#include "checker/net/ReplyCacheFile.h"

#include <cstdio>
#include <set>
#include <tuple>

namespace velkora::replycache {

namespace {

constexpr std::string_view kFirstLine = "velkora-replies 1\n";
constexpr std::string_view kLastLinePrefix = "end ";
constexpr std::size_t kChecksumDigits = 16;

uint64_t fnv1a64(std::string_view text) {
    uint64_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string hex16(uint64_t value) {
    char digits[kChecksumDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
    return std::string(digits, kChecksumDigits);
}

// Reads a decimal number as print() writes it (no sign, no leading zero, at most `highest`)
// up to the separator, which it consumes.
std::optional<uint64_t> takeNumber(std::string_view& text, char separator, uint64_t highest) {
    const std::size_t end = text.find(separator);
    if (end == std::string_view::npos || end == 0 || end > 20 || (text[0] == '0' && end > 1)) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<uint64_t>(c - '0');
        if (value > (highest - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    text.remove_prefix(end + 1);
    return value;
}

}  // namespace

bool usableUid(std::string_view uid) {
    if (uid.empty() || uid.size() > kMaxUidBytes) {
        return false;
    }
    for (char c : uid) {
        if (c < 0x21 || c > 0x7E) {
            return false;
        }
    }
    return true;
}

namespace {

std::optional<CachedReply> takeEntry(std::string_view& text) {
    const auto accountBytes = takeNumber(text, ' ', kMaxAccountBytes);
    const auto lines = accountBytes ? takeNumber(text, ' ', kMaxLines) : std::nullopt;
    const auto uidBytes = lines ? takeNumber(text, ' ', kMaxUidBytes) : std::nullopt;
    const auto replyBytes = uidBytes ? takeNumber(text, ' ', kMaxReplyBytes) : std::nullopt;
    const auto lastSeen = replyBytes ? takeNumber(text, '\n', kMaxLastSeen) : std::nullopt;
    if (!lastSeen) {
        return std::nullopt;
    }
    const std::size_t size = *accountBytes + *uidBytes + *replyBytes;
    if (text.size() < size + 1 || text[size] != '\n') {
        return std::nullopt;
    }
    CachedReply entry;
    entry.account = std::string(text.substr(0, *accountBytes));
    entry.lines = static_cast<int>(*lines);
    entry.uid = std::string(text.substr(*accountBytes, *uidBytes));
    entry.reply = std::string(text.substr(*accountBytes + *uidBytes, *replyBytes));
    entry.lastSeen = *lastSeen;
    text.remove_prefix(size + 1);
    if (!usableUid(entry.uid)) {
        return std::nullopt;
    }
    return entry;
}

// Takes entries until the text is used up or, with `untilLastLine`, reaches the last line.
std::optional<std::vector<CachedReply>> takeEntries(std::string_view& text, bool untilLastLine) {
    std::vector<CachedReply> entries;
    std::set<std::tuple<std::string, int, std::string>> keys;
    while (!text.empty() && !(untilLastLine && text.starts_with(kLastLinePrefix))) {
        auto entry = takeEntry(text);
        if (!entry || !keys.emplace(entry->account, entry->lines, entry->uid).second) {
            return std::nullopt;
        }
        entries.push_back(std::move(*entry));
    }
    return entries;
}

std::string entryText(const CachedReply& entry) {
    std::string out = std::to_string(entry.account.size()) + " " + std::to_string(entry.lines) +
                      " " + std::to_string(entry.uid.size()) + " " +
                      std::to_string(entry.reply.size()) + " " + std::to_string(entry.lastSeen) +
                      "\n";
    out += entry.account;
    out += entry.uid;
    out += entry.reply;
    out += '\n';
    return out;
}

}  // namespace

std::string print(const std::vector<CachedReply>& entries) {
    std::string out(kFirstLine);
    for (const CachedReply& entry : entries) {
        out += entryText(entry);
    }
    const uint64_t checksum = fnv1a64(out);
    out += std::string(kLastLinePrefix) + std::to_string(entries.size()) + " " + hex16(checksum) +
           "\n";
    return out;
}

std::optional<std::vector<CachedReply>> parse(std::string_view text) {
    if (text.size() > kMaxFileBytes || !text.starts_with(kFirstLine)) {
        return std::nullopt;
    }
    std::string_view rest = text.substr(kFirstLine.size());
    auto entries = takeEntries(rest, true);
    if (!entries || !rest.starts_with(kLastLinePrefix)) {
        return std::nullopt;
    }
    const std::string_view checked = text.substr(0, text.size() - rest.size());
    rest.remove_prefix(kLastLinePrefix.size());
    const auto count = takeNumber(rest, ' ', UINT64_MAX);
    if (!count || *count != entries->size() || rest != hex16(fnv1a64(checked)) + "\n") {
        return std::nullopt;
    }
    return entries;
}

std::optional<std::vector<CachedReply>> parseEntries(std::string_view text) {
    return takeEntries(text, false);
}

}  // namespace velkora::replycache
