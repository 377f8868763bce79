// The file layer against real files: folders, FIFOs, links and existing names.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/chunk_buffer.h"
#include "platform/file_system.h"
#include "platform/input_file.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace tandrel {
namespace {

using test::Bytes;
using test::TempDir;

TEST(InputFile, ReadsInPiecesAndReportsTheEnd) {
    TempDir dir;
    const std::string path = dir.Write("data.bin", std::string("0123456789"));
    InputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_EQ(file.Size(), 10u);
    char buffer[8] = {};
    size_t got = 99;
    ASSERT_TRUE(file.Read(buffer, 6, got));
    EXPECT_EQ(got, 6u);
    EXPECT_EQ(std::string(buffer, 6), "012345");
    ASSERT_TRUE(file.Read(buffer, 6, got));
    EXPECT_EQ(got, 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    ASSERT_TRUE(file.Read(buffer, 6, got));
    EXPECT_EQ(got, 0u);
}

TEST(InputFile, RefusesWhatCannotBeRead) {
    TempDir dir;
    InputFile file;
    EXPECT_FALSE(file.Open(dir.File("missing").c_str()));
    EXPECT_FALSE(file.Open(dir.Path().string().c_str()));
    EXPECT_FALSE(file.Open(""));
    EXPECT_FALSE(file.IsOpen());
    size_t got = 5;
    char byte;
    EXPECT_FALSE(file.Read(&byte, 1, got));
    EXPECT_EQ(got, 0u);
}

TEST(InputFile, SizesPastFourGigabytesAreWhole) {
    TempDir dir;
    const std::string path = dir.Write("big.bin", Bytes{});
    std::filesystem::resize_file(path, (uint64_t{1} << 32) + 7);  // sparse where supported
    InputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));
    EXPECT_EQ(file.Size(), (uint64_t{1} << 32) + 7);
}

#ifndef _WIN32
TEST(InputFile, OpeningAFifoDoesNotWaitForAWriter) {
    TempDir dir;
    const std::string path = dir.File("fifo");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    InputFile file;
    ASSERT_TRUE(file.Open(path.c_str()));  // would block forever without O_NONBLOCK
    EXPECT_EQ(file.Size(), 0u);
}
#endif

TEST(ChunkBuffer, IsZeroFilled) {
    ChunkBuffer buffer(1 << 20);
    ASSERT_NE(buffer.Data(), nullptr);
    EXPECT_EQ(buffer.Size(), size_t{1} << 20);
    size_t nonZero = 0;
    for (size_t k = 0; k < buffer.Size(); ++k) {
        nonZero += buffer.Data()[k] != 0;
    }
    EXPECT_EQ(nonZero, 0u);
}

TEST(WriteNewFile, CreatesOnlyNewFiles) {
    TempDir dir;
    const std::string fresh = dir.File("fresh.txt");
    ASSERT_TRUE(WriteNewFile(fresh.c_str(), "a\r\nb", 4));
    EXPECT_EQ(test::ReadFileText(fresh), "a\r\nb");

    const std::string existing = dir.Write("existing.txt", std::string("keep me"));
    EXPECT_FALSE(WriteNewFile(existing.c_str(), "new", 3));
    EXPECT_EQ(test::ReadFileText(existing), "keep me");

    EXPECT_FALSE(WriteNewFile(dir.File("no/such/folder.txt").c_str(), "x", 1));
    EXPECT_FALSE(WriteNewFile(dir.Path().string().c_str(), "x", 1));
}

#ifndef _WIN32
TEST(WriteNewFile, NeverWritesThroughALink) {
    TempDir dir;
    const std::string target = dir.Write("target.txt", std::string("original"));
    const std::string link = dir.File("link.txt");
    std::filesystem::create_symlink(target, link);
    EXPECT_FALSE(WriteNewFile(link.c_str(), "overwritten", 11));
    EXPECT_EQ(test::ReadFileText(target), "original");
    const std::string dangling = dir.File("dangling.txt");
    std::filesystem::create_symlink(dir.File("nowhere.txt"), dangling);
    EXPECT_FALSE(WriteNewFile(dangling.c_str(), "x", 1));
    EXPECT_FALSE(test::FileExists(dir.File("nowhere.txt")));
}
#endif

TEST(IsSameFile, SeesThroughSpellingsAndLinks) {
    TempDir dir;
    const std::string a = dir.Write("a.bin", std::string("1"));
    const std::string b = dir.Write("b.bin", std::string("1"));
    std::filesystem::create_directories(dir.Path() / "sub");
    const std::string roundabout = (dir.Path() / "sub" / ".." / "a.bin").string();
    EXPECT_TRUE(IsSameFile(a.c_str(), a.c_str()));
    EXPECT_TRUE(IsSameFile(a.c_str(), roundabout.c_str()));
    EXPECT_FALSE(IsSameFile(a.c_str(), b.c_str()));
    EXPECT_FALSE(IsSameFile(a.c_str(), dir.File("missing").c_str()));
    EXPECT_FALSE(IsSameFile(dir.File("missing").c_str(), dir.File("missing").c_str()));
    const std::string hard = dir.File("hard.bin");
    std::filesystem::create_hard_link(a, hard);
    EXPECT_TRUE(IsSameFile(a.c_str(), hard.c_str()));
#ifndef _WIN32
    const std::string soft = dir.File("soft.bin");
    std::filesystem::create_symlink(a, soft);
    EXPECT_TRUE(IsSameFile(soft.c_str(), a.c_str()));
#endif
}

}  // namespace
}  // namespace tandrel
