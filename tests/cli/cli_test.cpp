// The real program on Linux, spawned with an argument list in a folder of its own, with no
// display: the argv tokens, the exit status, every file the folder holds afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Lines;

struct ProgramOutcome {
    int status = -1;     // the exit status, or 128 and the signal that ended it
    std::string output;  // what it printed: stderr, and stdout unless that went to a file
};

// Runs the program in folder with the arguments and without DISPLAY, WAYLAND_DISPLAY and
// QT_QPA_PLATFORM, and waits for it. With appendTo, its standard output is that file of the
// folder, opened for appending as a shell's ">>" opens it.
ProgramOutcome RunProgram(const std::string& folder, const std::vector<std::string>& arguments,
                          const std::string& appendTo = "") {
    std::vector<const char*> argv{TANDREL_BINARY};
    for (const std::string& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    const test::TempDir outputDir;
    const std::string outputPath = outputDir.File("output");
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT, 0600);
        const std::string stdoutPath = folder + "/" + appendTo;
        ::dup2(appendTo.empty() ? output : ::open(stdoutPath.c_str(), O_WRONLY | O_APPEND), 1);
        ::dup2(output, 2);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            ::unsetenv(name);
        }
        if (::chdir(folder.c_str()) == 0) {
            ::execv(TANDREL_BINARY, const_cast<char* const*>(argv.data()));
        }
        ::_exit(127);
    }
    ProgramOutcome outcome;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    outcome.output = test::ReadFileText(outputPath);
    return outcome;
}

using Files = std::map<std::string, std::string>;

// Every case starts with these files beside a FIFO, two nodes of the null device and two links to
// b.bin. Nothing may open the FIFO or a node: opening a special file can act on it (a tape
// rewinds, a watchdog starts).
const Files kInputs = {{"a.bin", "ABCD"},       {"b.bin", "AXYD"},      {"c d.bin", "ABCD"},
                       {"nx1\" \"nx2", "ABCD"}, {"important2", "AXYD"}, {"\"q\"", "ABCD"},
                       {"q", "AXYD"},           {"sys.bin", "64\n"},    {"log.txt", "earlier\n"}};

// The report of first and second, which differ in their second and third bytes.
std::string Example(const std::string& first, const std::string& second) {
    return Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!", "",
                  "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", "42 43 ",
                  "Second file bytes: ", "58 59 "});
}

// Watches those of the paths that exist for opens; Opened tells whether there was one since, and
// ends the watch.
int WatchOpens(std::initializer_list<std::string> paths) {
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    for (const std::string& path : paths) {
        EXPECT_TRUE(!std::filesystem::exists(path) ||
                    ::inotify_add_watch(watch, path.c_str(), IN_OPEN) >= 0);
    }
    return watch;
}
bool Opened(int watch) {
    char event[4096];
    const bool opened = ::read(watch, event, sizeof event) > 0;
    ::close(watch);
    return opened;
}

TEST(CommandLineRun, ArgumentsExitStatusAndFiles) {
    const std::string kLogged = "earlier\n" + Example("a.bin", "b.bin");
    const std::string kSys = "/sys/kernel/address_bits",
                      kSysReport =
                          Lines({"Comparing " + kSys, " and sys.bin", "Warning: not a PE file!",
                                 "Different file size, comparing only minimum = 3"});
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
        {{kSys, "sys.bin"}, 2, {{"file.txt", kSysReport}}},
        {{"a.bin", "b.bin", "no/such.txt"}, 2, {}},
        {{"a.bin", "b.bin", "/dev/full"}, 2, {}},
        // A report path that names an input, directly, through links, or before it exists.
        {{"a.bin", "b.bin", "a.bin"}, 2, {}},
        {{"a.bin", "link.bin", "b.bin"}, 2, {}},
        {{"a.bin", "b.bin", "hard.bin"}, 2, {}},
        {{"a.bin", "./ghost", "ghost"}, 2, {}},
        {{"null1", "b.bin", "null2"}, 2, {}},  // two nodes of one device name one file
        // Standard output as the report is written as the shell opened it, never reopened.
        {{"a.bin", "b.bin", "/dev/stdout"}, 0, {{"log.txt", kLogged}}, "log.txt"},
        {{"a.bin", "b.bin", "/proc/self/fd/1"}, 0, {{"log.txt", kLogged}}, "log.txt"},
        {{"a.bin", "b.bin", "log.txt"}, 0, {{"log.txt", kLogged}}, "log.txt"},
        {{"a.bin", "b.bin", "/dev/stdout"}, 2, {}, "a.bin"},
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
        // Device nodes can be made only with the right to; without it their case is passed over.
        const bool nodes = ::mknod(dir.File("null1").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0 &&
                           ::mknod(dir.File("null2").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
        if (!nodes && c.arguments[0] == "null1") {
            continue;
        }
        const int opens = WatchOpens({dir.File("fifo"), dir.File("null1"), dir.File("null2")});
        const ProgramOutcome outcome = RunProgram(dir.Path().string(), c.arguments, c.appendTo);
        EXPECT_FALSE(Opened(opens)) << "the FIFO or a device node was opened";
        EXPECT_EQ(outcome.status, c.status);
        EXPECT_EQ(outcome.output, "");
        // The inputs byte for byte as they were, and the files the run wrote.
        Files files = c.written;
        files.insert(kInputs.begin(), kInputs.end());
        files.insert({"hard.bin", "AXYD"});
        EXPECT_EQ(test::FolderFiles(dir.Path()), files);
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
    const int status = RunProgram(dir.Path().string(), {"00.bin", "ff.bin", "fifo"}).status;
    reader.join();
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace tandrel
