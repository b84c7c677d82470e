#include "common/IniSettingsStore.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace velkora {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
    fs::path path = [] {
        std::string pattern = (fs::temp_directory_path() / "velkora-store-XXXXXX").string();
        return fs::path(mkdtemp(pattern.data()) ? pattern : throw std::runtime_error("mkdtemp"));
    }();
    ~TempFolder() { fs::remove_all(path); }
    std::string ini() const { return (path / "orvane.ini").string(); }
};

// Runs `body` in a child process; its result is the child's exit code.
pid_t startChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        int code = 98;
        try {
            code = body();
        } catch (...) {
        }
        _exit(code);
    }
    return pid;
}

int waitChild(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct stat statOf(const fs::path& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st;
}

unsigned mode(const fs::path& path) {
    return statOf(path).st_mode & 07777;
}

TEST(IniSettingsStore, EveryInstanceSeesTheLatestWritesAndDropsNoKeys) {
    TempFolder folder;
    const std::string path = folder.ini();
    IniSettingsStore store(path);
    EXPECT_EQ(store.find("Later"), std::nullopt);
    store.write("Notstr", "line 1\r\n\"2\"");
    store.write("Wavdir", "");  // an empty text is a stored value, not a removal
    // An instance that read the file before a key existed does not drop it when it writes.
    IniSettingsStore early(path);
    EXPECT_EQ(early.find("Later"), std::nullopt);
    store.write("Later", "1");
    early.write("Other", "2");
    IniSettingsStore fresh(path);
    EXPECT_EQ(fresh.find("Notstr"), "line 1\r\n\"2\"");
    EXPECT_EQ(fresh.find("Wavdir"), "");
    EXPECT_EQ(fresh.find("Later"), "1");
    EXPECT_EQ(fresh.find("Other"), "2");
    // Every instance sees the latest writes, also of values of one length in quick succession,
    // where size and coarse time may stay the same.
    for (int i = 10; i < 60; ++i) {
        store.write("Checktimerval", std::to_string(i));
        ASSERT_EQ(early.find("Checktimerval"), std::to_string(i));
    }
    // Rewriting the same value leaves the file alone.
    const ino_t before = statOf(path).st_ino;
    store.write("Later", "1");
    EXPECT_EQ(statOf(path).st_ino, before);
}

TEST(IniSettingsStore, PerUserLocationAndOwnerOnlyPermissionsFromTheStart) {
    TempFolder folder;
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    const mode_t oldMask = umask(0);  // the worst case: nothing taken away by the umask

    setenv("HOME", (folder.path / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
    EXPECT_EQ(IniSettingsStore::defaultFilePath(),
              (folder.path / "home/.config/velkora/orvane.ini").string());
    const fs::path config = folder.path / "config";
    const fs::path own = config / "velkora";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    {
        IniSettingsStore store;
        EXPECT_EQ(store.filePath(), (own / "orvane.ini").string());
        EXPECT_EQ(store.find("Agentnm"), std::nullopt);
        EXPECT_FALSE(fs::exists(config));  // reading creates nothing
        store.write("Passw1", "97 98 99 ");
        EXPECT_EQ(mode(config), 0700u);
        EXPECT_EQ(mode(own), 0700u);
        EXPECT_EQ(mode(own / "orvane.ini"), 0600u);
        EXPECT_EQ(mode(own / "orvane.ini.lock"), 0600u);

        // Opened up by hand: the next write closes them again.
        chmod(own.c_str(), 0755);
        chmod((own / "orvane.ini").c_str(), 0644);
        store.write("Passw2", "100 ");
        EXPECT_EQ(mode(own), 0700u);
        EXPECT_EQ(mode(own / "orvane.ini"), 0600u);
    }
    // A store in a given file leaves an existing folder as it is.
    fs::create_directories(folder.path / "shared");
    chmod((folder.path / "shared").c_str(), 0755);
    IniSettingsStore((folder.path / "shared/x.ini").string()).write("k", "v");
    EXPECT_EQ(mode(folder.path / "shared"), 0755u);
    EXPECT_EQ(mode(folder.path / "shared/x.ini"), 0600u);

    umask(oldMask);
    if (oldXdg) {
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    setenv("HOME", savedHome.c_str(), 1);
}

TEST(IniSettingsStore, AFailedWriteThrowsAndLeavesTheFileAlone) {
    TempFolder folder;
    std::ofstream(folder.path / "plain-file") << "x";
    IniSettingsStore blocked((folder.path / "plain-file/orvane.ini").string());
    EXPECT_THROW(blocked.write("k", "v"), SettingsStoreError);
    EXPECT_EQ(blocked.find("k"), std::nullopt);

    // The file's place taken by a folder: it cannot be read, so it must not be replaced.
    fs::create_directories(folder.ini());
    EXPECT_THROW(IniSettingsStore(folder.ini()).write("k", "v"), SettingsStoreError);
    EXPECT_TRUE(fs::is_directory(folder.ini()));
}

TEST(IniSettingsStore, TwoProcessesWritingDifferentKeysKeepBoth) {
    TempFolder folder;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    auto writer = [&](const std::string& prefix) {
        return startChild([&, prefix] {
            close(start[1]);
            char go;
            if (read(start[0], &go, 1) != 0) {  // both start when the pipe closes
                return 2;
            }
            IniSettingsStore store(folder.ini());
            for (int i = 0; i < 60; ++i) {
                store.write(prefix + std::to_string(i), prefix + " value " + std::to_string(i));
            }
            return 0;
        });
    };
    pid_t a = writer("A");
    pid_t b = writer("B");
    close(start[0]);
    close(start[1]);
    EXPECT_EQ(waitChild(a), 0);
    EXPECT_EQ(waitChild(b), 0);
    IniSettingsStore store(folder.ini());
    int missing = 0;
    for (const std::string prefix : {"A", "B"}) {
        for (int i = 0; i < 60; ++i) {
            const std::string n = std::to_string(i);
            missing += store.find(prefix + n) == prefix + " value " + n ? 0 : 1;
        }
    }
    EXPECT_EQ(missing, 0);
}

constexpr size_t kBigSize = 200000;
constexpr int kBaseKeys = 100;

// The counter of a store whose earlier keys are all there and whose big value is one complete
// generation; -1 for a torn or incomplete store.
int wholeStoreCounter(const std::string& path) {
    IniSettingsStore store(path);
    for (int i = 0; i < kBaseKeys; ++i) {
        if (store.find("Base" + std::to_string(i)) != "base value " + std::to_string(i)) {
            return -1;
        }
    }
    auto big = store.find("Big");
    auto counter = store.find("Counter");
    if (!big || !counter || big->size() != kBigSize ||
        big->find_first_not_of((*big)[0]) != std::string::npos) {
        return -1;
    }
    return std::stoi(*counter);
}

TEST(IniSettingsStore, AWriterKilledMidWriteLeavesTheOldOrTheNewStoreWhole) {
    TempFolder folder;
    const std::string path = folder.ini();
    {
        IniSettingsStore store(path);
        store.write("Big", std::string(kBigSize, 'a'));
        for (int i = 0; i < kBaseKeys; ++i) {
            store.write("Base" + std::to_string(i), "base value " + std::to_string(i));
        }
        store.write("Counter", "0");
    }
    int lastCounter = 0;
    for (int round = 0; round < 6; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        pid_t child = startChild([&] {
            close(progress[0]);
            IniSettingsStore store(path);
            for (int g = 1;; ++g) {
                store.write("Big", std::string(kBigSize, static_cast<char>('a' + g % 26)));
                store.write("Counter", std::to_string(lastCounter + g));
                char tick = 't';
                if (::write(progress[1], &tick, 1) != 1) {
                    return 3;
                }
            }
        });
        close(progress[1]);
        // A few complete writes, read meanwhile, then a kill at a moment that varies by round.
        for (int ticks = 0; ticks < 1 + round; ++ticks) {
            char tick;
            ASSERT_EQ(read(progress[0], &tick, 1), 1);
            EXPECT_GE(wholeStoreCounter(path), 0);
        }
        poll(nullptr, 0, round);
        kill(child, SIGKILL);
        EXPECT_EQ(waitChild(child), 128 + SIGKILL);
        close(progress[0]);

        const int counter = wholeStoreCounter(path);
        ASSERT_GE(counter, lastCounter) << "round " << round;
        lastCounter = counter;
    }
    // The lock died with the writer; its temporary files go with the next write.
    IniSettingsStore(path).write("After", "yes");
    EXPECT_EQ(IniSettingsStore(path).find("After"), "yes");
    EXPECT_GE(wholeStoreCounter(path), lastCounter);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"orvane.ini", "orvane.ini.lock"}));
}

}  // namespace
}  // namespace velkora
