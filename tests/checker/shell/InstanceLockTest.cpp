#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "checker/shell/InstanceLock.h"

namespace velkora {
namespace {

TEST(InstanceLockTest, OneHolderAtATimeAndReleasedWithTheProcess) {
    namespace fs = std::filesystem;
    const fs::path folder =
        fs::temp_directory_path() / ("velkora-lock-" + std::to_string(::getpid()));
    const std::string path = (folder / "sub" / "orvane.running").string();
    InstanceLock::Result result;
    std::string error;

    auto first = InstanceLock::acquire(path, &result, &error);
    ASSERT_EQ(result, InstanceLock::Result::Acquired) << error;
    EXPECT_EQ(fs::status(folder / "sub").permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(InstanceLock::acquire(path, &result, &error), nullptr);
    EXPECT_EQ(result, InstanceLock::Result::HeldElsewhere);

    // Another process sees it held too, and a program it starts does not keep it.
    pid_t child = ::fork();
    if (child == 0) {
        InstanceLock::Result childResult;
        std::string childError;
        auto lock = InstanceLock::acquire(path, &childResult, &childError);
        ::_exit(childResult == InstanceLock::Result::HeldElsewhere ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    first.reset();
    EXPECT_NE(InstanceLock::acquire(path, &result, &error), nullptr);
    EXPECT_EQ(result, InstanceLock::Result::Acquired);
    fs::remove_all(folder);
}

}  // namespace
}  // namespace velkora
