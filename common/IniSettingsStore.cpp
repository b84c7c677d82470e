#include "common/IniSettingsStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/ProductInfo.h"

namespace velkora {

namespace {

constexpr std::string_view kFolderName = "velkora";
constexpr const char* kTemporaryInfix = ".tmp.";

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw SettingsStoreError(what + " " + path + ": " + std::strerror(error));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool isPlainKey(std::string_view key) {
    if (key.empty()) {
        return false;
    }
    for (char c : key) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '_' || c == '-' || c == '.';
        if (!plain) {
            return false;
        }
    }
    return true;
}

std::string quote(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\x";
                    out += hex[byte >> 4];
                    out += hex[byte & 0x0F];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Reads a quoted text at the start of `s` (which begins with '"'); advances `s` past the
// closing quote. Nothing when the quote is not closed.
std::optional<std::string> unquote(std::string_view& s) {
    std::string out;
    size_t i = 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return out;
        }
        if (c == '\\' && i + 1 < s.size()) {
            char e = s[i + 1];
            switch (e) {
                case '\\':
                    out += '\\';
                    i += 2;
                    continue;
                case '"':
                    out += '"';
                    i += 2;
                    continue;
                case 'n':
                    out += '\n';
                    i += 2;
                    continue;
                case 'r':
                    out += '\r';
                    i += 2;
                    continue;
                case 't':
                    out += '\t';
                    i += 2;
                    continue;
                case 'x':
                    if (i + 3 < s.size() && hexValue(s[i + 2]) >= 0 && hexValue(s[i + 3]) >= 0) {
                        out += static_cast<char>(hexValue(s[i + 2]) * 16 + hexValue(s[i + 3]));
                        i += 4;
                        continue;
                    }
                    break;
                default:
                    break;
            }
        }
        out += c;  // an unknown escape stays as written
        ++i;
    }
    return std::nullopt;
}

struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

std::string parentFolder(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) {
        return home;
    }
    struct passwd entry;
    struct passwd* result = nullptr;
    std::vector<char> buffer(16384);
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return "/";
}

// Creates the folder and any missing parents with mode 0700, whatever the umask.
void createFolders(const std::string& folder) {
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) {
            fail("not a folder:", folder, ENOTDIR);
        }
        return;
    }
    if (errno != ENOENT) {
        fail("cannot reach the folder", folder, errno);
    }
    std::string parent = parentFolder(folder);
    if (parent != folder) {
        createFolders(parent);
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        fail("cannot create the folder", folder, errno);
    }
    // The umask may have taken bits away (never added any); make it exactly 0700.
    if (::chmod(folder.c_str(), 0700) != 0) {
        fail("cannot set the permissions of", folder, errno);
    }
}

}  // namespace

// The parsed file. Lines are kept as they were read, so a rewrite changes only the entries
// that were written.
struct IniSettingsStore::Document {
    struct Line {
        std::string raw;  // as read; empty for an entry written by this program
        bool entry = false;
        std::string key;
        std::string value;
    };
    struct Section {
        bool hasHeader = false;
        std::string name;
        std::vector<Line> lines;
    };
    std::vector<Section> sections{Section{}};  // the first: lines before any header

    static Document parse(std::string_view text) {
        Document doc;
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
        }
        while (!text.empty()) {
            size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            doc.addLine(line);
        }
        return doc;
    }

    void addLine(std::string_view line) {
        std::string_view body = trim(line);
        Line parsed{std::string(line), false, {}, {}};
        if (!body.empty() && body.front() == '[' && body.find(']') != std::string_view::npos) {
            Section section;
            section.hasHeader = true;
            section.name = std::string(trim(body.substr(1, body.rfind(']') - 1)));
            section.lines.push_back(parsed);  // the header line itself
            sections.push_back(std::move(section));
            return;
        }
        if (!body.empty() && body.front() != ';' && body.front() != '#') {
            parseEntry(body, parsed);
        }
        sections.back().lines.push_back(std::move(parsed));
    }

    static void parseEntry(std::string_view body, Line& line) {
        std::string key;
        if (body.front() == '"') {
            auto quoted = unquote(body);
            if (!quoted) {
                return;
            }
            key = *quoted;
            body = trim(body);
            if (body.empty() || body.front() != '=') {
                return;
            }
        } else {
            size_t equals = body.find('=');
            if (equals == std::string_view::npos) {
                return;
            }
            key = std::string(trim(body.substr(0, equals)));
            body.remove_prefix(equals);
        }
        body = trim(body.substr(1));
        std::string value;
        std::string_view rest = body;
        if (!rest.empty() && rest.front() == '"') {
            if (auto quoted = unquote(rest)) {
                value = *quoted;
            } else {
                value = std::string(body);
            }
        } else {
            value = std::string(body);
        }
        line.entry = true;
        line.key = std::move(key);
        line.value = std::move(value);
    }

    std::optional<std::string> find(const std::string& section, const std::string& key) const {
        std::optional<std::string> found;
        for (const Section& s : sections) {
            if (s.hasHeader && s.name == section) {
                for (const Line& line : s.lines) {
                    if (line.entry && line.key == key) {
                        found = line.value;  // the last one counts, as in most INI readers
                    }
                }
            }
        }
        return found;
    }

    // Sets every occurrence of the key; false when nothing changes.
    bool set(const std::string& section, const std::string& key, const std::string& value) {
        bool present = false;
        bool changed = false;
        Section* last = nullptr;
        for (Section& s : sections) {
            if (!s.hasHeader || s.name != section) {
                continue;
            }
            last = &s;
            for (Line& line : s.lines) {
                if (line.entry && line.key == key) {
                    present = true;
                    if (line.value != value) {
                        line.value = value;
                        line.raw.clear();
                        changed = true;
                    }
                }
            }
        }
        if (present) {
            return changed;
        }
        if (!last) {
            Section s;
            s.hasHeader = true;
            s.name = section;
            s.lines.push_back(Line{"[" + section + "]", false, {}, {}});
            sections.push_back(std::move(s));
            last = &sections.back();
        }
        // After the section's last entry, so blank lines and comments below it stay below.
        auto position = last->lines.end();
        while (position != last->lines.begin() + 1 && !(position - 1)->entry &&
               trim((position - 1)->raw).empty()) {
            --position;
        }
        last->lines.insert(position, Line{{}, true, key, value});
        return true;
    }

    std::string serialise() const {
        std::string out;
        for (const Section& s : sections) {
            for (const Line& line : s.lines) {
                if (line.entry && line.raw.empty()) {
                    out += isPlainKey(line.key) ? line.key : quote(line.key);
                    out += '=';
                    out += quote(line.value);
                } else {
                    out += line.raw;
                }
                out += '\n';
            }
        }
        return out;
    }
};

IniSettingsStore::IniSettingsStore() : IniSettingsStore(defaultFilePath()) {
    ownsFolder_ = true;
}

IniSettingsStore::IniSettingsStore(std::string filePath, std::string section)
    : filePath_(std::move(filePath)), section_(std::move(section)) {}

IniSettingsStore::~IniSettingsStore() = default;

std::string IniSettingsStore::defaultFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base = (xdg && xdg[0] == '/') ? std::string(xdg) : homeFolder() + "/.config";
    while (base.size() > 1 && base.back() == '/') {
        base.pop_back();
    }
    return base + "/" + std::string(kFolderName) + "/" + kSettingsApplication + ".ini";
}

bool IniSettingsStore::readFile(std::unique_ptr<Document>& document,
                                std::optional<FileIdentity>& identity) const {
    int fd = ::open(filePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            document = std::make_unique<Document>();
            identity.reset();
            return true;
        }
        return false;
    }
    FdCloser closer{fd};
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        return false;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            break;
        }
        text.append(buffer, static_cast<size_t>(n));
    }
    document = std::make_unique<Document>(Document::parse(text));
    identity =
        FileIdentity{st.st_dev,          st.st_ino,         st.st_size,        st.st_mtim.tv_sec,
                     st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
    return true;
}

void IniSettingsStore::refresh() const {
    struct stat st;
    std::optional<FileIdentity> current;
    if (::stat(filePath_.c_str(), &st) == 0) {
        current = FileIdentity{st.st_dev,         st.st_ino,          st.st_size,
                               st.st_mtim.tv_sec, st.st_mtim.tv_nsec, st.st_ctim.tv_sec,
                               st.st_ctim.tv_nsec};
    } else if (errno != ENOENT) {
        return;  // cannot look now: keep what was read last
    }
    if (document_ && current == identity_) {
        return;
    }
    std::unique_ptr<Document> document;
    std::optional<FileIdentity> identity;
    if (readFile(document, identity)) {
        document_ = std::move(document);
        identity_ = identity;
    }
}

std::optional<std::string> IniSettingsStore::find(const std::string& key) const {
    std::lock_guard lock(mutex_);
    refresh();
    if (!document_) {
        return std::nullopt;
    }
    return document_->find(section_, key);
}

void IniSettingsStore::ensureFolder() const {
    std::string folder = parentFolder(filePath_);
    createFolders(folder);
    if (ownsFolder_) {
        // Our own folder may have been made by hand with wider permissions.
        struct stat st;
        if (::stat(folder.c_str(), &st) == 0 && st.st_uid == getuid() &&
            (st.st_mode & 07777) != 0700) {
            if (::chmod(folder.c_str(), 0700) != 0) {
                fail("cannot set the permissions of", folder, errno);
            }
        }
    }
}

void IniSettingsStore::removeStaleTemporaryFiles() const {
    // Only called under the write lock: any temporary file now is left over from a writer
    // that died before its rename.
    std::string folder = parentFolder(filePath_);
    std::string prefix = baseName(filePath_) + kTemporaryInfix;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) {
        return;
    }
    while (struct dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix) {
            ::unlinkat(::dirfd(dir), entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

void IniSettingsStore::replaceFile(const std::string& contents) const {
    std::string temporary = filePath_ + kTemporaryInfix + "XXXXXX";
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);  // created 0600
    if (fd < 0) {
        fail("cannot create", temporary, errno);
    }
    auto abandon = [&](const char* what, int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(what, temporary, error);
    };
    if (::fchmod(fd, 0600) != 0) {
        abandon("cannot set the permissions of", errno);
    }
    size_t done = 0;
    while (done < contents.size()) {
        ssize_t n = ::write(fd, contents.data() + done, contents.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            abandon("cannot write", errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0) {
        abandon("cannot flush", errno);
    }
    if (::close(fd) != 0) {
        ::unlink(temporary.c_str());
        fail("cannot write", temporary, errno);
    }
    if (::rename(temporary.c_str(), filePath_.c_str()) != 0) {
        int error = errno;
        ::unlink(temporary.c_str());
        fail("cannot replace", filePath_, error);
    }
    // Make the rename itself durable.
    int folder = ::open(parentFolder(filePath_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void IniSettingsStore::write(const std::string& key, const std::string& value) {
    std::lock_guard lock(mutex_);
    ensureFolder();

    std::string lockPath = filePath_ + ".lock";
    int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0) {
        fail("cannot open", lockPath, errno);
    }
    FdCloser closer{lockFd};  // closing releases the lock
    while (::flock(lockFd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            fail("cannot lock", lockPath, errno);
        }
    }

    // Start from what is on disk now: another process may have written since our last read.
    std::unique_ptr<Document> document;
    std::optional<FileIdentity> identity;
    if (!readFile(document, identity)) {
        fail("cannot read", filePath_, errno);
    }
    if (!document->set(section_, key, value)) {
        document_ = std::move(document);
        identity_ = identity;
        return;
    }
    removeStaleTemporaryFiles();
    replaceFile(document->serialise());
    document_ = std::move(document);
    identity_.reset();  // the next find() takes the new file's identity by reading it again
}

}  // namespace velkora
