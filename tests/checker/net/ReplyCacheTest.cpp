#include "checker/net/ReplyCache.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "checker/net/ReplyCacheFile.h"

namespace velkora {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

struct TemporaryFolder {
    TemporaryFolder() {
        std::string pattern = fs::temp_directory_path() / "velkora-cache-test-XXXXXX";
        path = mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { fs::remove_all(path); }
    std::string path;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

int modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// The replies the cache gives for the ids, "-" for none.
Strings held(ReplyCache& cache, const std::string& account, const Strings& uids) {
    Strings out;
    for (const auto& reply : cache.visit(account, 10, uids)) {
        out.push_back(reply ? *reply : "-");
    }
    return out;
}

TEST(ReplyCache, KeepsRepliesAcrossRunsInAPrivateFileAndNeverUsesADamagedOne) {
    TemporaryFolder temporary;
    const std::string folder = temporary.path + "/missing/velkora";
    {
        ReplyCache cache(folder);
        EXPECT_EQ(held(cache, "a", {"1", "2"}), (Strings{"-", "-"}));
        cache.store("a", 10, "1", "reply 1\r\n.\r\nend 0 \n");
        cache.store("a", 10, "2", std::string("reply\0 2", 8));
        cache.visit("b", 10, {"1"});
        cache.store("b", 10, "1", "other mailbox");
    }  // saved as it goes
    EXPECT_EQ(modeOf(folder), 0700);
    EXPECT_EQ(modeOf(folder + "/replies"), 0600);
    const std::string good = readAll(folder + "/replies");
    {
        ReplyCache cache(folder);
        // Message 1 has left the mailbox; message 3 is new.
        EXPECT_EQ(held(cache, "a", {"2", "3"}), (Strings{std::string("reply\0 2", 8), "-"}));
        EXPECT_EQ(cache.entryCount(), 2u);
        EXPECT_EQ(held(cache, "b", {"1"}), Strings{"other mailbox"});
    }

    std::string flipped = good;
    flipped[flipped.find("reply 1")] = 'R';
    const std::vector<std::pair<const char*, std::string>> damaged = {
        {"cut short", good.substr(0, good.size() - 1)},  {"one byte changed", flipped},
        {"something after the end", good + "x"},         {"empty", ""},
        {"not a cache file", "[setting]\nTalkcnt=10\n"},
    };
    for (const auto& [name, text] : damaged) {
        SCOPED_TRACE(name);
        writeAll(folder + "/replies", text);
        ReplyCache cache(folder);
        EXPECT_EQ(held(cache, "b", {"1"}), Strings{"-"});
        cache.store("b", 10, "1", "fetched again");
        cache.save();
        EXPECT_TRUE(replycache::parse(readAll(folder + "/replies")));
    }
    // A link where the file belongs is not followed.
    fs::remove(folder + "/replies");
    writeAll(temporary.path + "/elsewhere", good);
    fs::create_symlink(temporary.path + "/elsewhere", folder + "/replies");
    ReplyCache linked(folder);
    EXPECT_EQ(held(linked, "b", {"1"}), Strings{"-"});
}

TEST(ReplyCache, WhenFullGivesUpTheMailboxesSeenLongestAgoButNeverTheOneBeingChecked) {
    const std::string reply(512 * 1024, 'x');
    const std::size_t fits = ReplyCache::kSizeLimit / (reply.size() + 100);
    auto ids = [](std::size_t count) {
        Strings out;
        for (std::size_t n = 1; n <= count; ++n) {
            out.push_back(std::to_string(n));
        }
        return out;
    };
    auto fill = [&](ReplyCache& cache, const std::string& account, std::size_t count) {
        cache.visit(account, 10, ids(count));
        for (const std::string& uid : ids(count)) {
            cache.store(account, 10, uid, reply);
        }
    };
    auto heldCount = [&](ReplyCache& cache, const std::string& account, std::size_t count) {
        const Strings replies = held(cache, account, ids(count));
        return static_cast<std::size_t>(std::count(replies.begin(), replies.end(), reply));
    };

    ReplyCache cache;
    fill(cache, "old", fits / 2);
    fill(cache, "newer", fits / 2);
    fill(cache, "now", fits / 2);
    EXPECT_LE(cache.bytes(), ReplyCache::kSizeLimit);
    EXPECT_EQ(heldCount(cache, "now", fits / 2), fits / 2);
    EXPECT_EQ(heldCount(cache, "newer", fits / 2), fits / 2);
    EXPECT_EQ(heldCount(cache, "old", fits / 2), 0u) << "the oldest are given up first";

    // A mailbox larger than the bound keeps the part that fits, check after check.
    fill(cache, "huge", fits * 2);
    const std::size_t kept = heldCount(cache, "huge", fits * 2);
    EXPECT_GE(kept, fits * 9 / 10);
    EXPECT_LE(cache.bytes(), ReplyCache::kSizeLimit);
    fill(cache, "huge", fits * 2);
    EXPECT_EQ(heldCount(cache, "huge", fits * 2), kept);
}

TEST(ReplyCacheFile, ReadsBackExactlyWhatItWroteAndNothingElse) {
    const std::vector<CachedReply> entries = {
        {"pop.example\n110\ntaro\n0", 10, "uid-1", std::string("+OK\r\n\0\n.\r\nend 1\n", 16), 7},
        {"pop.example\n110\ntaro\n0", 5, "uid-1", "", 0},
    };
    const std::string text = replycache::print(entries);
    EXPECT_EQ(replycache::parse(text), entries);
    EXPECT_EQ(replycache::parse(replycache::print({})), std::vector<CachedReply>{});

    // Each with a checksum that fits: only the form is wrong.
    auto withChecksum = [](const std::string& body) {
        const auto parsed = replycache::parseEntries(body);
        return parsed ? replycache::print(*parsed) : std::string("x");
    };
    EXPECT_EQ(withChecksum("1 10 1 1 0\naub\n"), replycache::print({{"a", 10, "u", "b", 0}}));
    for (const char* body : {"01 10 1 1 0\naub\n", "1 10 1 1 0\naub\n1 10 1 1 0\naub\n",
                             "1 10 2 1 0\nau b\n", "1 10 1 1 0\naubX", "1 40000 1 1 0\naub\n",
                             "1 10 1 1 281474976710657\naub\n", "1 10 1 1 0 \naub\n"}) {
        SCOPED_TRACE(body);
        EXPECT_FALSE(replycache::parseEntries(body));
    }
    std::string counted = text;
    counted.replace(counted.rfind("end 2 "), 6, "end 3 ");
    EXPECT_FALSE(replycache::parse(counted));
}

}  // namespace
}  // namespace velkora
