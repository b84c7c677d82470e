#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "checker/net/ReplyCacheFile.h"
#include "common/Account.h"

namespace velkora {

// The TOP replies of earlier checks, by mailbox, line count and unique id (UIDL), so that a
// check need not fetch again what the server has already sent: a message keeps its unique id
// and its text for as long as it stays in the mailbox (RFC 1939).
//
// It lives in memory for the program's run and, when given a folder, also in one file there
// ("replies", 0600 in a folder kept at 0700: it holds mail text), read at the first use and
// replaced whole (a new file renamed over the old one) by save(). A file that cannot be read
// or is damaged is not used; nothing here ever fails a check.
//
// Bounded: at most kSizeLimit bytes of entries. Room for a new entry is made by giving up the
// entries whose mailbox was visited longest ago; entries listed in the current visit are never
// given up, so a mailbox larger than the bound keeps the part that fits instead of churning.
class ReplyCache {
public:
    static constexpr std::size_t kSizeLimit = 16u << 20;
    static constexpr const char* kFileName = "replies";

    // In memory only.
    ReplyCache() = default;
    // Also kept in the folder (created when missing).
    explicit ReplyCache(std::string folder);
    // Saves what is not saved yet.
    ~ReplyCache();
    ReplyCache(const ReplyCache&) = delete;
    ReplyCache& operator=(const ReplyCache&) = delete;

    // $XDG_CACHE_HOME/velkora, or ~/.cache/velkora when XDG_CACHE_HOME is unset, empty or not an
    // absolute path.
    static std::string defaultFolder();

    // Who the replies belong to: the server as the account names it, the port, the user and
    // the connection security. A change to any of them is another mailbox, whose replies are
    // never taken for this one's.
    static std::string accountKey(const Account& account);

    // A check of the mailbox, whose messages 1..n have the unique ids given (by message number
    // - 1; "" where the server gave none that can be trusted). The mailbox's entries of other
    // ids or another line count are dropped: those messages have left the server. Gives, for
    // each message, its reply when it is held.
    std::vector<std::shared_ptr<const std::string>> visit(const std::string& account, int lines,
                                                          const std::vector<std::string>& uids);
    // Keeps a reply fetched in the current visit (when it fits).
    void store(const std::string& account, int lines, const std::string& uid, std::string reply);
    // The mailbox gave no ids (it is empty, or the server has no UIDL): its entries go.
    void forget(const std::string& account);
    // Writes the file when something changed since it was read or written last.
    void save();

    std::size_t bytes() const { return bytes_; }
    std::size_t entryCount() const { return entries_.size(); }
    const std::string& folder() const { return folder_; }
    std::string filePath() const;

private:
    using Key = std::tuple<std::string, int, std::string>;  // account, lines, uid
    struct Entry {
        std::shared_ptr<const std::string> reply;
        uint64_t lastSeen = 0;
    };

    static std::size_t sizeOf(const Key& key, const std::string& reply);
    void load();
    void erase(std::map<Key, Entry>::iterator it);
    // Gives up entries of earlier visits, oldest first, until `needed` more bytes fit.
    bool makeRoom(std::size_t needed);
    std::vector<CachedReply> snapshot() const;

    std::string folder_;
    bool loaded_ = false;
    bool dirty_ = false;
    std::map<Key, Entry> entries_;
    std::size_t bytes_ = 0;
    uint64_t visit_ = 0;
    // The visit in which every entry of earlier visits has been given up.
    uint64_t nothingEarlier_ = UINT64_MAX;
};

// Where the checker keeps its replies: not at all, in memory for the run, or also on disk.
struct ReplyCacheOptions {
    bool enabled = false;
    std::string folder;  // "" with enabled: in memory only

    // The programs' own: on disk in ReplyCache::defaultFolder().
    static ReplyCacheOptions standard() { return {true, ReplyCache::defaultFolder()}; }
    static ReplyCacheOptions inMemory() { return {true, {}}; }
    static ReplyCacheOptions off() { return {}; }
};

}  // namespace velkora
