// The real program on Linux, spawned with an argument list in a folder of its own, with no
// display: the argv tokens, the exit status, every file the folder holds afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <thread>

#include "tests/support/program_run.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Lines;
using Files = std::map<std::string, std::string>;

// Every case starts with these files beside a FIFO and two links to b.bin.
const Files kInputs = {{"a.bin", "ABCD"},       {"b.bin", "AXYD"},      {"c d.bin", "ABCD"},
                       {"nx1\" \"nx2", "ABCD"}, {"important2", "AXYD"}, {"\"q\"", "ABCD"},
                       {"q", "AXYD"},           {"sys.bin", "64\n"}};

std::string Report(const std::string& first, const std::string& second,
                   std::initializer_list<std::string> rest) {
    return Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!"}) + Lines(rest);
}

std::string Example(const std::string& first, const std::string& second) {
    return Report(first, second,
                  {"", "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", "42 43 ",
                   "Second file bytes: ", "58 59 "});
}

TEST(CommandLineRun, ArgumentsExitStatusAndFiles) {
    const struct {
        std::vector<std::string> arguments;
        int status;
        Files written;
    } cases[] = {
        {{"a.bin", "b.bin"}, 0, {{"file.txt", Example("a.bin", "b.bin")}}},
        {{"a.bin", "b.bin", "out.txt", "ignored"}, 0, {{"out.txt", Example("a.bin", "b.bin")}}},
        {{"c d.bin", "b.bin", "my report.txt"},
         0,
         {{"my report.txt", Example("c d.bin", "b.bin")}}},
        // Quotes are part of a name: nothing is split again, nothing becomes the report.
        {{"nx1\" \"nx2", "important2"}, 0, {{"file.txt", Example("nx1\" \"nx2", "important2")}}},
        {{"\"q\"", "q"}, 0, {{"file.txt", Example("\"q\"", "q")}}},
        {{"a.bin", "b.bin", ""}, 0, {}},  // an empty report path names no file
        {{"a.bin", ""}, 2, {{"file.txt", ""}}},
        {{"", "b.bin"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "missing.bin"}, 2, {{"file.txt", ""}}},
        {{".", "b.bin"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "fifo"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "/dev/zero"}, 2, {{"file.txt", ""}}},
        {{"/proc/self/status", "b.bin"}, 2, {{"file.txt", ""}}},  // its size, 0, lies
        // A size of 4,096 with 3 bytes behind it: what was read is compared, then the run fails.
        {{"/sys/kernel/address_bits", "sys.bin"},
         2,
         {{"file.txt", Report("/sys/kernel/address_bits", "sys.bin",
                              {"Different file size, comparing only minimum = 3"})}}},
        {{"a.bin", "b.bin", "no/such.txt"}, 2, {}},
        {{"a.bin", "b.bin", "/dev/full"}, 2, {}},
        // A report path that names an input, directly, through links, or before it exists.
        {{"a.bin", "b.bin", "a.bin"}, 2, {}},
        {{"a.bin", "b.bin", "./b.bin"}, 2, {}},
        {{"a.bin", "link.bin", "b.bin"}, 2, {}},
        {{"a.bin", "b.bin", "hard.bin"}, 2, {}},
        {{"ghost", "b.bin", "ghost"}, 2, {}},
        {{"a.bin", "./ghost", "ghost"}, 2, {}},
        {{}, 1, {}},  // the dialog, which has no display here
        {{"a.bin"}, 1, {}},
    };
    for (const auto& c : cases) {
        const std::string name = c.arguments.empty() ? "" : c.arguments[0];
        test::TempDir dir;
        for (const auto& [input, bytes] : kInputs) {
            dir.Write(input, bytes);
        }
        ::mkfifo(dir.File("fifo").c_str(), 0600);
        std::filesystem::create_symlink(dir.File("b.bin"), dir.File("link.bin"));
        std::filesystem::create_hard_link(dir.File("b.bin"), dir.File("hard.bin"));

        const test::ProgramOutcome outcome = test::RunProgram(dir.Path().string(), c.arguments);
        EXPECT_EQ(outcome.status, c.status) << name;
        EXPECT_EQ(outcome.output, "") << name;
        Files written;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            const std::string file = entry.path().filename().string();
            if (entry.is_regular_file() && !entry.is_symlink() && file != "hard.bin") {
                const std::string bytes = test::ReadFileText(entry.path().string());
                if (kInputs.count(file) == 0) {
                    written[file] = bytes;
                } else {
                    EXPECT_EQ(bytes, kInputs.at(file)) << name << ": " << file;
                }
            }
        }
        EXPECT_EQ(written, c.written) << name;
    }
}

// A FIFO whose reader goes away after 100 bytes ends the run with a failing status.
TEST(CommandLineRun, ReportIntoAFifoWhoseReaderLeaves) {
    test::TempDir dir;
    dir.Write("00.bin", test::Bytes(1 << 20, 0));
    dir.Write("ff.bin", test::Bytes(1 << 20, 0xFF));
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    std::thread reader([&] {
        const int fd = ::open(dir.File("fifo").c_str(), O_RDONLY);
        char bytes[100];
        EXPECT_EQ(::read(fd, bytes, sizeof(bytes)), 100);
        ::close(fd);
    });
    const int status = test::RunProgram(dir.Path().string(), {"00.bin", "ff.bin", "fifo"}).status;
    reader.join();
    EXPECT_TRUE(status == 2 || status == 128 + SIGPIPE) << status;
}

}  // namespace
}  // namespace tandrel
