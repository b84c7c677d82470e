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
#include <vector>

#include "common/ProductInfo.h"

namespace velkora {

namespace {

constexpr std::string_view kFolderName = "velkora";
constexpr const char* kTemporaryInfix = ".tmp.";

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
    throw SettingsStoreError(what + " " + path + ": " + std::strerror(error));
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

bool IniSettingsStore::readFile(std::optional<IniDocument>& document,
                                std::optional<FileIdentity>& identity) const {
    int fd = ::open(filePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            document = IniDocument();
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
    document = IniDocument::parse(text);
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
    std::optional<IniDocument> document;
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
    std::optional<IniDocument> document;
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
    replaceFile(document->print());
    document_ = std::move(document);
    identity_.reset();  // the next find() takes the new file's identity by reading it again
}

}  // namespace velkora
