#include "checker/net/ReplyCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <utility>

namespace velkora {

namespace {

constexpr const char* kTemporaryInfix = ".tmp.";

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) {
        return home;
    }
    passwd entry{};
    passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return "/";
}

std::string trimSpaces(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The folder and any missing parents, created 0700 (the XDG rule for a missing cache home).
bool createFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    if (errno != ENOENT) {
        return false;
    }
    const std::size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 && !createFolders(folder.substr(0, slash))) {
        return false;
    }
    return (::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) &&
           ::chmod(folder.c_str(), 0700) == 0;
}

// The whole file, or nothing when it is missing, not a plain file or larger than a cache
// file can be.
std::optional<std::string> readSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<std::size_t>(st.st_size) <= replycache::kMaxFileBytes) {
        text.emplace();
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 || text->size() + static_cast<std::size_t>(n) > replycache::kMaxFileBytes) {
                text.reset();
                break;
            }
            if (n == 0) {
                break;
            }
            text->append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return text;
}

// A new file, 0600 from its first moment, renamed over the old one: a reader sees the old file
// or the new one whole. Not flushed to disk: a file torn by a crash fails its checksum and is
// merely not used.
bool replaceFile(const std::string& path, const std::string& contents) {
    std::string temporary = path + kTemporaryInfix + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool written = ::fchmod(fd, 0600) == 0;
    for (std::size_t done = 0; written && done < contents.size();) {
        const ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    written = ::close(fd) == 0 && written;
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

// Temporary files left behind by a writer that died before its rename; a writer at work now
// has made its file moments ago and is left alone.
void removeStaleTemporaryFiles(const std::string& folder, const std::string& prefix) {
    constexpr time_t kStaleSeconds = 3600;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat st {};
        if (name.rfind(prefix, 0) == 0 &&
            ::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && now - st.st_mtime > kStaleSeconds) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

}  // namespace

ReplyCache::ReplyCache(std::string folder) : folder_(std::move(folder)) {}

ReplyCache::~ReplyCache() {
    save();
}

std::string ReplyCache::defaultFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : homeFolder() + "/.cache";
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base + "/velkora";
}

std::string ReplyCache::filePath() const {
    return folder_.empty() ? std::string() : folder_ + "/" + kFileName;
}

std::string ReplyCache::accountKey(const Account& account) {
    // Fields joined by a byte that none of them can hold in the settings.
    return trimSpaces(account.Hname) + '\n' +
           std::to_string(static_cast<uint16_t>(account.Portno)) + '\n' + account.Uname + '\n' +
           std::to_string(account.Tlsmode);
}

std::size_t ReplyCache::sizeOf(const Key& key, const std::string& reply) {
    constexpr std::size_t kOverhead = 64;  // the map's node and the file's entry line
    return std::get<0>(key).size() + std::get<2>(key).size() + reply.size() + kOverhead;
}

void ReplyCache::load() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    if (folder_.empty()) {
        return;
    }
    const auto text = readSmallFile(filePath());
    const auto entries = text ? replycache::parse(*text) : std::nullopt;
    if (!entries) {
        return;
    }
    for (const CachedReply& entry : *entries) {
        visit_ = std::max(visit_, entry.lastSeen);
    }
    // A file written with a larger bound keeps what was seen last.
    std::vector<const CachedReply*> newestFirst;
    for (const CachedReply& entry : *entries) {
        newestFirst.push_back(&entry);
    }
    std::stable_sort(
        newestFirst.begin(), newestFirst.end(),
        [](const CachedReply* a, const CachedReply* b) { return a->lastSeen > b->lastSeen; });
    for (const CachedReply* entry : newestFirst) {
        Key key{entry->account, entry->lines, entry->uid};
        const std::size_t size = sizeOf(key, entry->reply);
        if (bytes_ + size > kSizeLimit) {
            dirty_ = true;
            continue;
        }
        bytes_ += size;
        entries_.emplace(std::move(key),
                         Entry{std::make_shared<const std::string>(entry->reply), entry->lastSeen});
    }
}

void ReplyCache::erase(std::map<Key, Entry>::iterator it) {
    bytes_ -= sizeOf(it->first, *it->second.reply);
    entries_.erase(it);
    dirty_ = true;
}

std::vector<std::shared_ptr<const std::string>> ReplyCache::visit(
    const std::string& account, int lines, const std::vector<std::string>& uids) {
    load();
    ++visit_;
    std::map<std::string, std::size_t> listed;  // uid -> message index
    for (std::size_t i = 0; i < uids.size(); ++i) {
        if (!uids[i].empty()) {
            listed.emplace(uids[i], i);
        }
    }
    std::vector<std::shared_ptr<const std::string>> found(uids.size());
    auto it = entries_.lower_bound(Key{account, std::numeric_limits<int>::min(), std::string()});
    while (it != entries_.end() && std::get<0>(it->first) == account) {
        const auto message = listed.find(std::get<2>(it->first));
        if (std::get<1>(it->first) != lines || message == listed.end()) {
            erase(it++);
            continue;
        }
        it->second.lastSeen = visit_;
        found[message->second] = it->second.reply;
        ++it;
    }
    // The seen marks alone are not worth a write: they go to disk with the next change.
    return found;
}

void ReplyCache::forget(const std::string& account) {
    load();
    auto it = entries_.lower_bound(Key{account, std::numeric_limits<int>::min(), std::string()});
    while (it != entries_.end() && std::get<0>(it->first) == account) {
        erase(it++);
    }
}

bool ReplyCache::makeRoom(std::size_t needed) {
    if (bytes_ + needed <= kSizeLimit) {
        return true;
    }
    if (nothingEarlier_ == visit_) {
        return false;
    }
    std::vector<std::pair<uint64_t, std::map<Key, Entry>::iterator>> earlier;
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->second.lastSeen < visit_) {
            earlier.emplace_back(it->second.lastSeen, it);
        }
    }
    std::sort(earlier.begin(), earlier.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    // Some room beyond this entry's, so that the next ones need not sort again.
    const std::size_t target = kSizeLimit - kSizeLimit / 16;
    std::size_t given = 0;
    for (; given < earlier.size() && bytes_ + needed > target; ++given) {
        erase(earlier[given].second);
    }
    if (given == earlier.size()) {
        nothingEarlier_ = visit_;
    }
    return bytes_ + needed <= kSizeLimit;
}

void ReplyCache::store(const std::string& account, int lines, const std::string& uid,
                       std::string reply) {
    load();
    Key key{account, lines, uid};
    const std::size_t size = sizeOf(key, reply);
    if (auto old = entries_.find(key); old != entries_.end()) {
        erase(old);
    }
    // Only what the file can hold again.
    if (reply.size() > replycache::kMaxReplyBytes || !replycache::usableUid(uid) ||
        account.size() > replycache::kMaxAccountBytes || lines < 0 ||
        lines > replycache::kMaxLines || !makeRoom(size)) {
        return;
    }
    bytes_ += size;
    entries_.emplace(std::move(key),
                     Entry{std::make_shared<const std::string>(std::move(reply)), visit_});
    dirty_ = true;
}

std::vector<CachedReply> ReplyCache::snapshot() const {
    std::vector<CachedReply> out;
    out.reserve(entries_.size());
    for (const auto& [key, entry] : entries_) {
        out.push_back(
            {std::get<0>(key), std::get<1>(key), std::get<2>(key), *entry.reply, entry.lastSeen});
    }
    return out;
}

void ReplyCache::save() {
    if (!dirty_ || folder_.empty()) {
        return;
    }
    if (!createFolders(folder_)) {
        return;
    }
    // Our own folder may have been made by hand with wider permissions.
    struct stat st {};
    if (::stat(folder_.c_str(), &st) == 0 && st.st_uid == ::getuid() &&
        (st.st_mode & 07777) != 0700 && ::chmod(folder_.c_str(), 0700) != 0) {
        return;
    }
    removeStaleTemporaryFiles(folder_, std::string(kFileName) + kTemporaryInfix);
    if (replaceFile(filePath(), replycache::print(snapshot()))) {
        dirty_ = false;
    }
}

}  // namespace velkora
