// The real program on Linux, spawned with an argument list in a folder of its own, with no
// display: the argv tokens, the exit status, every file the folder holds afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
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

// Every case starts with these files beside a FIFO and two links to b.bin. Nothing may open the
// FIFO: opening a special file can act on it (a tape rewinds, a watchdog starts).
const Files kInputs = {{"a.bin", "ABCD"},       {"b.bin", "AXYD"},      {"c d.bin", "ABCD"},
                       {"nx1\" \"nx2", "ABCD"}, {"important2", "AXYD"}, {"\"q\"", "ABCD"},
                       {"q", "AXYD"},           {"sys.bin", "64\n"},    {"log.txt", "earlier\n"}};

const std::string kSys = "/sys/kernel/address_bits";
const std::string kMinimum3 = "Different file size, comparing only minimum = 3";

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
        std::string appendTo;  // standard output as ">> appendTo"
    } cases[] = {
        {{"a.bin", "b.bin"}, 0, {{"file.txt", Example("a.bin", "b.bin")}}},
        {{"c d.bin", "b.bin", "r t.txt", "x"}, 0, {{"r t.txt", Example("c d.bin", "b.bin")}}},
        // Quotes are part of a name: nothing is split again, nothing becomes the report.
        {{"nx1\" \"nx2", "important2"}, 0, {{"file.txt", Example("nx1\" \"nx2", "important2")}}},
        {{"\"q\"", "q"}, 0, {{"file.txt", Example("\"q\"", "q")}}},
        {{"a.bin", "b.bin", ""}, 0, {}},  // an empty report path names no file
        {{"", "b.bin"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "missing.bin"}, 2, {{"file.txt", ""}}},
        {{".", "b.bin"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "fifo"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "/dev/zero"}, 2, {{"file.txt", ""}}},
        {{"/proc/self/status", "b.bin"}, 2, {{"file.txt", ""}}},  // its size, 0, lies
        // A size of 4,096 with 3 bytes behind it: what was read is compared, then the run fails.
        {{kSys, "sys.bin"}, 2, {{"file.txt", Report(kSys, "sys.bin", {kMinimum3})}}},
        {{"a.bin", "b.bin", "no/such.txt"}, 2, {}},
        {{"a.bin", "b.bin", "/dev/full"}, 2, {}},
        // A report path that names an input, directly, through links, or before it exists.
        {{"a.bin", "b.bin", "a.bin"}, 2, {}},
        {{"a.bin", "link.bin", "b.bin"}, 2, {}},
        {{"a.bin", "b.bin", "hard.bin"}, 2, {}},
        {{"ghost", "b.bin", "ghost"}, 2, {}},
        {{"a.bin", "./ghost", "ghost"}, 2, {}},
        // Standard output as the report is written as the shell opened it, never reopened.
        {{"a.bin", "b.bin", "/dev/stdout"},
         0,
         {{"log.txt", "earlier\n" + Example("a.bin", "b.bin")}},
         "log.txt"},
        {{"a.bin", "b.bin", "/proc/self/fd/1"},
         0,
         {{"log.txt", "earlier\n" + Example("a.bin", "b.bin")}},
         "log.txt"},
        {{"a.bin", "b.bin", "log.txt"},
         0,
         {{"log.txt", "earlier\n" + Example("a.bin", "b.bin")}},
         "log.txt"},
        {{"a.bin", "b.bin", "/dev/stdout"}, 2, {}, "a.bin"},
        {{"a.bin"}, 1, {}},  // the dialog, which has no display here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        test::TempDir dir;
        for (const auto& [input, bytes] : kInputs) {
            dir.Write(input, bytes);
        }
        ::mkfifo(dir.File("fifo").c_str(), 0600);
        std::filesystem::create_symlink(dir.File("b.bin"), dir.File("link.bin"));
        std::filesystem::create_hard_link(dir.File("b.bin"), dir.File("hard.bin"));
        const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(::inotify_add_watch(opens, dir.File("fifo").c_str(), IN_OPEN), 0);

        const test::ProgramOutcome outcome =
            test::RunProgram(dir.Path().string(), c.arguments, c.appendTo);
        char event[4096];
        EXPECT_EQ(::read(opens, event, sizeof event), -1) << "the FIFO was opened";
        ::close(opens);
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.output, "");
        // The inputs byte for byte as they were, and the files the run wrote.
        Files files = c.written, found;
        files.insert(kInputs.begin(), kInputs.end());
        files.insert({"hard.bin", "AXYD"});
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
            if (entry.is_regular_file() && !entry.is_symlink()) {
                found[entry.path().filename().string()] = test::ReadFileText(entry.path().string());
            }
        }
        EXPECT_EQ(found, files);
    }
}

// A report path naming an input device through another node of the device is refused before
// either is opened.
TEST(CommandLineRun, ReportNamingAnInputDeviceThroughAnotherNode) {
    test::TempDir dir;
    dir.Write("b.bin", "AXYD");
    for (const char* node : {"null1", "null2"}) {
        if (::mknod(dir.File(node).c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
            GTEST_SKIP() << "no device nodes can be made here";
        }
    }
    const int opens = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(opens, dir.File("null2").c_str(), IN_OPEN), 0);
    EXPECT_EQ(test::RunProgram(dir.Path().string(), {"null1", "b.bin", "null2"}).status, 2);
    char event[4096];
    EXPECT_EQ(::read(opens, event, sizeof event), -1) << "the report's node was opened";
    ::close(opens);
}

// A headless run maps no library of the dialog's toolkit, as the loader's own list of what it
// mapped shows; the dialog run loads the dialog module and Qt, and shows.
TEST(CommandLineRun, OnlyTheDialogMapsQt) {
    test::TempDir dir;
    dir.Write("a.bin", "A");
    dir.Write("b.bin", "B");
    ::setenv("LD_DEBUG", "files", 1);
    ::setenv("LD_DEBUG_OUTPUT", dir.File("mapped").c_str(), 1);
    EXPECT_EQ(test::RunProgram(dir.Path().string(), {"a.bin", "b.bin"}).status, 0);
    ::unsetenv("LD_DEBUG");
    std::string mapped;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        mapped += entry.path().filename().string().starts_with("mapped")
                      ? test::ReadFileText(entry.path().string())
                      : "";
    }
    EXPECT_NE(mapped.find("libc.so"), std::string::npos);
    EXPECT_EQ(mapped.find("Qt"), std::string::npos);

    const pid_t dialog = ::fork();
    if (dialog == 0) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::execl(TANDREL_BINARY, TANDREL_BINARY, nullptr);
        ::_exit(127);
    }
    const std::string maps = "/proc/" + std::to_string(dialog) + "/maps";
    for (int k = 0; k < 300 && test::ReadFileText(maps).find("libQt6Widgets") == std::string::npos;
         ++k) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_NE(test::ReadFileText(maps).find("tandrel-qt-dialog.so"), std::string::npos);
    EXPECT_NE(test::ReadFileText(maps).find("libQt6Widgets"), std::string::npos);
    EXPECT_EQ(::waitpid(dialog, nullptr, WNOHANG), 0) << "the dialog run ended";
    ::kill(dialog, SIGKILL);
    ::waitpid(dialog, nullptr, 0);
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
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace tandrel
