#pragma once

#include <memory>
#include <string>

namespace velkora {

// One running checker per settings store: a lock held on a file beside the settings for as
// long as the checker lives. The kernel lets go of it when the process ends in any way, so a
// crashed checker never blocks the next start. Programs started by the checker do not inherit
// it.
class InstanceLock {
public:
    enum class Result { Acquired, HeldElsewhere, Failed };

    // Takes the lock on `path`, creating the file (0600) and a missing folder (0700).
    // *error says why on Failed.
    static std::unique_ptr<InstanceLock> acquire(const std::string& path, Result* result,
                                                 std::string* error);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // The lock file for the settings file at `settingsFilePath`: "orvane.running" beside it.
    static std::string pathFor(const std::string& settingsFilePath);

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace velkora
