// Save result's file creation against real files and links.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/file_system.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

TEST(WriteNewFile, CreatesOnlyNewFiles) {
    test::TempDir dir;
    const std::string fresh = dir.File("fresh.txt");
    ASSERT_TRUE(WriteNewFile(fresh.c_str(), "a\r\nb", 4));
    EXPECT_EQ(test::ReadFileText(fresh), "a\r\nb");
    const std::string existing = dir.Write("existing.txt", std::string("keep me"));
    EXPECT_FALSE(WriteNewFile(existing.c_str(), "new", 3));
    EXPECT_EQ(test::ReadFileText(existing), "keep me");
    EXPECT_FALSE(WriteNewFile(dir.File("no/such/folder.txt").c_str(), "x", 1));
#ifndef _WIN32
    const std::string link = dir.File("link.txt");
    std::filesystem::create_symlink(dir.File("nowhere.txt"), link);
    EXPECT_FALSE(WriteNewFile(link.c_str(), "x", 1));
    EXPECT_FALSE(test::FileExists(dir.File("nowhere.txt")));
#endif
}

}  // namespace
}  // namespace tandrel
