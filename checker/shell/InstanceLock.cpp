#include "checker/shell/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace velkora {

namespace {

void makeFolders(const std::filesystem::path& folder) {
    if (folder.empty() || std::filesystem::exists(folder)) {
        return;
    }
    makeFolders(folder.parent_path());
    ::mkdir(folder.c_str(), 0700);
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::string& path, Result* result,
                                                    std::string* error) {
    makeFolders(std::filesystem::path(path).parent_path());
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *result = Result::Failed;
        *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        int cause = errno;
        ::close(fd);
        if (cause == EWOULDBLOCK) {
            *result = Result::HeldElsewhere;
        } else {
            *result = Result::Failed;
            *error = path + ": " + std::strerror(cause);
        }
        return nullptr;
    }
    *result = Result::Acquired;
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() {
    ::close(fd_);
}

std::string InstanceLock::pathFor(const std::string& settingsFilePath) {
    return (std::filesystem::path(settingsFilePath).parent_path() / "orvane.running").string();
}

}  // namespace velkora
