#include "common/DataDirectory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "common/ProductInfo.h"

namespace velkora {
namespace {

namespace fs = std::filesystem;

TEST(DataDirectory, InstalledProgramUsesShareBesideItsBinFolder) {
    std::string pattern = (fs::temp_directory_path() / "velkora-data-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    fs::path root = pattern;
    fs::create_directories(root / "bin");
    std::string program = (root / "bin" / "orvane").string();

    // Not installed yet: the build tree's data folder.
    EXPECT_EQ(programDataDirectoryFor(program), buildDataDirectory());
    fs::create_directories(root / "share" / "velkora");
    EXPECT_EQ(programDataDirectoryFor(program), (root / "share" / "velkora").string());
    EXPECT_EQ(programDataDirectoryFor(""), buildDataDirectory());
    fs::remove_all(root);

    EXPECT_EQ(defaultAgentPath(), programDataDirectory() + "/Msagent/chars/AngelMicha.acs");
    EXPECT_TRUE(fs::path(defaultAgentPath()).is_absolute());
}

}  // namespace
}  // namespace velkora
