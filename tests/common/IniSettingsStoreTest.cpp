#include "common/qt/IniSettingsStore.h"

#include <fcntl.h>
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
#include <sstream>
#include <string>
#include <vector>

#include "common/SettingKeys.h"

namespace velkora {
namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "velkora-store-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Runs `body` in a child process; its result is the child's exit code.
pid_t startChild(const std::function<int()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
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

int runChild(const std::function<int()>& body) {
    return waitChild(startChild(body));
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

unsigned mode(const fs::path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 01000000;
}

// Texts that INI readers and writers commonly mangle.
std::vector<std::string> awkwardValues() {
    return {
        "全部で@1通のメールが届いています",
        "",
        "0",
        "@",
        "@Invalid()",
        "@ByteArray(abc)",
        "@@x",
        "a,b,c",
        "a, b",
        "\"quoted\"",
        "\"",
        "'single'",
        "back\\slash\\",
        "\\",
        "\\n is not a line break",
        "\\x41",
        "a=b",
        "=",
        ";semicolon",
        "#hash",
        "  leading",
        "trailing  ",
        " ",
        "\r",
        "\n",
        "\r\n",
        "line 1\r\nline 2\nline 3\r",
        "\t",
        "tab\tinside",
        "[section]",
        "%41%20",
        "C:\\Program Files\\mailer.exe",
        std::string("nul\0byte", 8),
        "\x01\x1F\x7F",
        std::string(kOptionsNotstr),
        "ＭＳ Ｐゴシック",
        std::string(5000, 'x'),
    };
}

std::string keyOf(size_t i) {
    return "Value" + std::to_string(i);
}

TEST(IniSettingsStore, EveryTextReadsBackExactlyAlsoInAnotherProcess) {
    TempFolder folder;
    std::string path = (folder.path() / "orvane.ini").string();
    auto values = awkwardValues();
    {
        IniSettingsStore store(path);
        EXPECT_EQ(store.find("Value0"), std::nullopt);
        for (size_t i = 0; i < values.size(); ++i) {
            store.write(keyOf(i), values[i]);
        }
        for (size_t i = 0; i < values.size(); ++i) {
            EXPECT_EQ(store.find(keyOf(i)), values[i]) << i;
        }
    }
    // Another process reads what this one wrote...
    int mismatches = runChild([&] {
        IniSettingsStore store(path);
        int bad = 0;
        for (size_t i = 0; i < values.size(); ++i) {
            bad += store.find(keyOf(i)) == values[i] ? 0 : 1;
        }
        return bad;
    });
    EXPECT_EQ(mismatches, 0);
    // ...and this one reads what another process wrote.
    ASSERT_EQ(runChild([&] {
                  IniSettingsStore store(path);
                  for (size_t i = 0; i < values.size(); ++i) {
                      store.write("Child" + std::to_string(i), values[i]);
                  }
                  return 0;
              }),
              0);
    IniSettingsStore store(path);
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(store.find("Child" + std::to_string(i)), values[i]) << i;
        EXPECT_EQ(store.find(keyOf(i)), values[i]) << i;
    }
}

TEST(IniSettingsStore, KeysAreExactAndNeverDeleted) {
    TempFolder folder;
    std::string path = (folder.path() / "orvane.ini").string();
    IniSettingsStore store(path);
    store.write("Notstr", "upper");
    store.write("notstr", "lower");
    store.write("key with = and ]", "odd");
    store.write("日本語キー", "jp");
    store.write("", "empty key");
    store.write("Wavdir", "");
    EXPECT_EQ(store.find("Notstr"), "upper");
    EXPECT_EQ(store.find("notstr"), "lower");
    EXPECT_EQ(store.find("NOTSTR"), std::nullopt);
    EXPECT_EQ(store.find("key with = and ]"), "odd");
    EXPECT_EQ(store.find("日本語キー"), "jp");
    EXPECT_EQ(store.find(""), "empty key");
    EXPECT_EQ(store.find("Wavdir"), "");  // an empty text is a stored value, not a removal

    // A second instance that read the file before a key existed does not drop that key when
    // it writes: every write starts from the file as it is on disk.
    IniSettingsStore early(path);
    EXPECT_EQ(early.find("Later"), std::nullopt);
    store.write("Later", "1");
    early.write("Other", "2");
    IniSettingsStore fresh(path);
    for (const char* key : {"Notstr", "notstr", "Wavdir", "Later", "Other"}) {
        EXPECT_TRUE(fresh.find(key).has_value()) << key;
    }
    // Rewriting the same value leaves the file alone.
    auto before = fs::last_write_time(path);
    struct stat st1;
    stat(path.c_str(), &st1);
    store.write("Later", "1");
    struct stat st2;
    stat(path.c_str(), &st2);
    EXPECT_EQ(st1.st_ino, st2.st_ino);
    EXPECT_EQ(fs::last_write_time(path), before);
}

TEST(IniSettingsStore, HandEditedLinesAreReadAndKept) {
    TempFolder folder;
    fs::path path = folder.path() / "orvane.ini";
    std::string original =
        "\xEF\xBB\xBF; written by hand\r\n"
        "[other]\r\n"
        "Agentnm=not ours\r\n"
        "\r\n"
        "[setting]\r\n"
        "  Timeupval = 30  \r\n"
        "Quoted = \"a \\\"b\\\" c\" \r\n"
        "Open=\"not closed\r\n"
        "# a comment inside\r\n"
        "no equals sign here\r\n"
        "Twice=first\r\n"
        "Twice=second\r\n"
        "\r\n"
        "[tail]\r\n"
        "x=y\r\n";
    {
        std::ofstream out(path, std::ios::binary);
        out << original;
    }
    IniSettingsStore store(path.string());
    EXPECT_EQ(store.find("Timeupval"), "30");
    EXPECT_EQ(store.find("Quoted"), "a \"b\" c");
    EXPECT_EQ(store.find("Open"), "\"not closed");
    EXPECT_EQ(store.find("Twice"), "second");
    EXPECT_EQ(store.find("Agentnm"), std::nullopt);  // another section
    EXPECT_EQ(store.find("x"), std::nullopt);

    store.write("Twice", "third");
    store.write("Checktimerval", "5");
    std::string text = fileText(path);
    EXPECT_NE(text.find("; written by hand\n"), std::string::npos);
    EXPECT_NE(text.find("[other]\nAgentnm=not ours\n\n[setting]\n"), std::string::npos);
    EXPECT_NE(text.find("  Timeupval = 30  \n"), std::string::npos);
    EXPECT_NE(text.find("# a comment inside\nno equals sign here\n"), std::string::npos);
    // Both copies of a doubled key change; a new key goes after the section's last entry.
    EXPECT_NE(text.find("Twice=\"third\"\nTwice=\"third\"\nChecktimerval=\"5\"\n\n[tail]\nx=y\n"),
              std::string::npos);
    IniSettingsStore again(path.string());
    EXPECT_EQ(again.find("Twice"), "third");
    EXPECT_EQ(again.find("Timeupval"), "30");
}

TEST(IniSettingsStore, PerUserLocationAndOwnerOnlyPermissionsFromTheStart) {
    TempFolder folder;
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    std::string savedXdg = oldXdg ? oldXdg : "";
    const char* oldHome = std::getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    mode_t oldMask = umask(0);  // the worst case: nothing taken away by the umask

    setenv("HOME", (folder.path() / "home").c_str(), 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(IniSettingsStore::defaultFilePath(),
              (folder.path() / "home/.config/velkora/orvane.ini").string());
    setenv("XDG_CONFIG_HOME", "relative/path", 1);  // not absolute: ignored
    EXPECT_EQ(IniSettingsStore::defaultFilePath(),
              (folder.path() / "home/.config/velkora/orvane.ini").string());
    fs::path config = folder.path() / "config";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(IniSettingsStore::defaultFilePath(), (config / "velkora/orvane.ini").string());

    {
        IniSettingsStore store;
        EXPECT_EQ(store.filePath(), (config / "velkora/orvane.ini").string());
        EXPECT_EQ(store.find("Agentnm"), std::nullopt);
        EXPECT_FALSE(fs::exists(config));  // reading creates nothing
        store.write("Passw1", "97 98 99 ");
        EXPECT_EQ(mode(config), 0700u);
        EXPECT_EQ(mode(config / "velkora"), 0700u);
        EXPECT_EQ(mode(config / "velkora/orvane.ini"), 0600u);
        EXPECT_EQ(mode(config / "velkora/orvane.ini.lock"), 0600u);

        // Opened up by hand: the next write closes them again.
        chmod((config / "velkora").c_str(), 0755);
        chmod((config / "velkora/orvane.ini").c_str(), 0644);
        store.write("Passw2", "100 ");
        EXPECT_EQ(mode(config / "velkora"), 0700u);
        EXPECT_EQ(mode(config / "velkora/orvane.ini"), 0600u);
        EXPECT_EQ(store.find("Passw1"), "97 98 99 ");
    }

    // A store in a given file leaves an existing folder as it is.
    fs::create_directories(folder.path() / "shared");
    chmod((folder.path() / "shared").c_str(), 0755);
    IniSettingsStore((folder.path() / "shared/x.ini").string()).write("k", "v");
    EXPECT_EQ(mode(folder.path() / "shared"), 0755u);
    EXPECT_EQ(mode(folder.path() / "shared/x.ini"), 0600u);

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
    std::ofstream(folder.path() / "plain-file") << "x";
    IniSettingsStore blocked((folder.path() / "plain-file/orvane.ini").string());
    EXPECT_THROW(blocked.write("k", "v"), SettingsStoreError);
    EXPECT_EQ(blocked.find("k"), std::nullopt);

    // The file's place taken by a folder: it cannot be read, so it must not be replaced.
    fs::create_directories(folder.path() / "orvane.ini");
    IniSettingsStore unreadable((folder.path() / "orvane.ini").string());
    EXPECT_THROW(unreadable.write("k", "v"), SettingsStoreError);
    EXPECT_TRUE(fs::is_directory(folder.path() / "orvane.ini"));
}

TEST(IniSettingsStore, AReaderSeesTheOtherProgramsLatestWrites) {
    TempFolder folder;
    std::string path = (folder.path() / "orvane.ini").string();
    IniSettingsStore reader(path);
    IniSettingsStore writer(path);
    // Values of one length, written in quick succession: the file's size and (coarse)
    // modification time may not change, the reader must notice anyway.
    for (int i = 0; i < 50; ++i) {
        writer.write("Checktimerval", std::to_string(10 + i));
        ASSERT_EQ(reader.find("Checktimerval"), std::to_string(10 + i));
    }
    for (int i = 0; i < 3; ++i) {
        std::string value = "from child " + std::to_string(i);
        ASSERT_EQ(runChild([&] {
                      IniSettingsStore(path).write("Agentnm", value);
                      return 0;
                  }),
                  0);
        EXPECT_EQ(reader.find("Agentnm"), value);
    }
}

TEST(IniSettingsStore, TwoProcessesWritingDifferentKeysKeepBoth) {
    TempFolder folder;
    std::string path = (folder.path() / "orvane.ini").string();
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    auto writer = [&](const std::string& prefix) {
        return startChild([&, prefix] {
            close(start[1]);
            char go;
            if (read(start[0], &go, 1) != 0) {  // both start when the pipe closes
                return 2;
            }
            IniSettingsStore store(path);
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
    IniSettingsStore store(path);
    int missing = 0;
    for (const char* prefix : {"A", "B"}) {
        for (int i = 0; i < 60; ++i) {
            std::string key = prefix + std::to_string(i);
            missing +=
                store.find(key) == std::string(prefix) + " value " + std::to_string(i) ? 0 : 1;
        }
    }
    EXPECT_EQ(missing, 0);
}

// Checks a store written by the crash test: every earlier key whole, and the big value one
// complete generation.
::testing::AssertionResult storeIsWhole(const std::string& path, int baseKeys, size_t bigSize) {
    IniSettingsStore store(path);
    for (int i = 0; i < baseKeys; ++i) {
        if (store.find("Base" + std::to_string(i)) != "base value " + std::to_string(i)) {
            return ::testing::AssertionFailure() << "lost Base" << i;
        }
    }
    auto big = store.find("Big");
    if (!big || big->size() != bigSize || big->find_first_not_of((*big)[0]) != std::string::npos) {
        return ::testing::AssertionFailure() << "torn Big value";
    }
    if (!store.find("Counter")) {
        return ::testing::AssertionFailure() << "lost Counter";
    }
    return ::testing::AssertionSuccess();
}

TEST(IniSettingsStore, AWriterKilledMidWriteLeavesTheOldOrTheNewStoreWhole) {
    TempFolder folder;
    std::string path = (folder.path() / "orvane.ini").string();
    const size_t bigSize = 200000;
    const int baseKeys = 100;
    {
        IniSettingsStore store(path);
        store.write("Big", std::string(bigSize, 'a'));
        for (int i = 0; i < baseKeys; ++i) {
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
                store.write("Big", std::string(bigSize, static_cast<char>('a' + g % 26)));
                store.write("Counter", std::to_string(lastCounter + g));
                char tick = 't';
                if (::write(progress[1], &tick, 1) != 1) {
                    return 3;
                }
            }
        });
        close(progress[1]);
        // Let it complete a few writes, reading the store meanwhile, then kill it at a
        // moment that differs from round to round.
        for (int ticks = 0; ticks < 1 + round; ++ticks) {
            char tick;
            ASSERT_EQ(read(progress[0], &tick, 1), 1);
            EXPECT_TRUE(storeIsWhole(path, baseKeys, bigSize));
        }
        poll(nullptr, 0, round);  // 0..5 ms into the next writes
        kill(child, SIGKILL);
        EXPECT_EQ(waitChild(child), 128 + SIGKILL);
        close(progress[0]);

        ASSERT_TRUE(storeIsWhole(path, baseKeys, bigSize)) << "round " << round;
        int counter = std::stoi(*IniSettingsStore(path).find("Counter"));
        EXPECT_GE(counter, lastCounter);
        lastCounter = counter;
    }
    // The lock died with the writer, and leftovers of its temporary files go with the next
    // write.
    IniSettingsStore store(path);
    store.write("After", "yes");
    EXPECT_EQ(IniSettingsStore(path).find("After"), "yes");
    EXPECT_TRUE(storeIsWhole(path, baseKeys, bigSize));
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"orvane.ini", "orvane.ini.lock"}));
}

}  // namespace
}  // namespace velkora
