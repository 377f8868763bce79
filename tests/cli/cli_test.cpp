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

#include "tests/support/program_run.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

using test::Lines;

using Files = std::map<std::string, std::string>;

// Every case starts with these files beside a FIFO, two nodes of the null device and two links to
// b.bin. Nothing may open the FIFO or a node: opening a special file can act on it (a tape
// rewinds, a watchdog starts).
const Files kInputs = {{"a.bin", "ABCD"},
                       {"b.bin", "AXYD"},
                       {"c d.bin", "ABCD"},
                       {"nx1\" \"nx2", "ABCD"},
                       {"important2", "AXYD"},
                       {"\"q\"", "ABCD"},
                       {"q", "AXYD"},
                       {"sys.bin", "64\n"},
                       {"log.txt", "earlier\n"},
                       {"file.txt", "an earlier report"},
                       {"ins.bin", "ABxyzCD"},
                       {"short.bin", "AD"}};

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

TEST(CommandLineRun, ArgumentsExitStatusMessagesAndFiles) {
    const std::string kLogged = "earlier\n" + Example("a.bin", "b.bin");
    const std::string kSys = "/sys/kernel/address_bits",
                      kSysReport =
                          Lines({"Comparing " + kSys, " and sys.bin", "Warning: not a PE file!",
                                 "Different file size, comparing only minimum = 3"});
    const std::string kNotAFile =
        ": not a regular file or block device with a size its content keeps to";
    const std::string kOverwrite = ": names one of the inputs, which would be overwritten";
    const std::string kHelp = " (tandrel --help lists the options)";
    const std::string kNoAlign =
        "tandrel: a patch cannot hold inserted or deleted bytes: --align not with --format=";
    const struct {
        std::vector<std::string> arguments;
        int status;
        // What it prints: the whole of a "tandrel: " line, else the start of standard output.
        std::string printed;
        Files written;
        std::string appendTo;  // standard output as ">> appendTo"
    } cases[] = {
        {{"a.bin", "b.bin"}, 0, "", {{"file.txt", Example("a.bin", "b.bin")}}},
        {{"c d.bin", "b.bin", "r t.txt", "x"}, 0, "", {{"r t.txt", Example("c d.bin", "b.bin")}}},
        // Quotes are part of a name: nothing is split again, nothing becomes the report.
        {{"nx1\" \"nx2", "important2"},
         0,
         "",
         {{"file.txt", Example("nx1\" \"nx2", "important2")}}},
        {{"\"q\"", "q"}, 0, "", {{"file.txt", Example("\"q\"", "q")}}},
        {{"a.bin", "b.bin", ""}, 0, "", {}},  // an empty report path names no file
        // An input that cannot be opened leaves every file as it was, the report included.
        {{"", "b.bin"}, 2, "tandrel: a file name is empty"},
        {{"a.bin", "nwe.bin"}, 2, "tandrel: nwe.bin: No such file or directory"},
        {{".", "b.bin"},
         2,
         "tandrel: . is a folder and b.bin is not (compare two files or two folders)"},
        {{".", "nothere"}, 2, "tandrel: nothere: No such file or directory"},
        {{"a.bin", "fifo"}, 2, "tandrel: fifo" + kNotAFile},
        {{"a.bin", "/dev/zero"}, 2, "tandrel: /dev/zero" + kNotAFile},
        {{"/proc/self/status", "b.bin"}, 2, "tandrel: /proc/self/status" + kNotAFile},
        // A size of 4,096 with 3 bytes behind it: what was read is compared, then the run fails.
        {{kSys, "sys.bin"},
         2,
         "tandrel: " + kSys +
             ": ended before its size (it changed while it was compared, or its size is not its "
             "length)",
         {{"file.txt", kSysReport}}},
        {{"a.bin", "b.bin", "no/such.txt"}, 2, "tandrel: no/such.txt: No such file or directory"},
        {{"a.bin", "b.bin", "/dev/full"}, 2, "tandrel: /dev/full: No space left on device"},
        // A report path that names an input, directly, through links, or a link to an input
        // that does not exist.
        {{"a.bin", "b.bin", "a.bin"}, 2, "tandrel: a.bin" + kOverwrite},
        {{"a.bin", "link.bin", "b.bin"}, 2, "tandrel: b.bin" + kOverwrite},
        {{"a.bin", "b.bin", "hard.bin"}, 2, "tandrel: hard.bin" + kOverwrite},
        {{"a.bin", "newb.bin", "dangling"}, 2, "tandrel: newb.bin: No such file or directory"},
        {{"null1", "b.bin", "null2"}, 2, "tandrel: null1" + kNotAFile},
        // Standard output as the report is written as the shell opened it, never reopened.
        {{"a.bin", "b.bin", "/dev/stdout"}, 0, "", {{"log.txt", kLogged}}, "log.txt"},
        {{"a.bin", "b.bin", "/proc/self/fd/1"}, 0, "", {{"log.txt", kLogged}}, "log.txt"},
        {{"a.bin", "b.bin", "log.txt"}, 0, "", {{"log.txt", kLogged}}, "log.txt"},
        {{"a.bin", "b.bin", "-"}, 0, "", {{"log.txt", kLogged}}, "log.txt"},
        {{"a.bin", "b.bin", "/dev/stdout"},
         2,
         "tandrel: /dev/stdout: standard output is one of the inputs",
         {},
         "a.bin"},
        // Options, before the files or among them; "--" ends them.
        {{"--", "a.bin", "b.bin"}, 0, "", {{"file.txt", Example("a.bin", "b.bin")}}},
        {{"-h", "a.bin", "b.bin"}, 0, "Usage: tandrel [OPTION]... FIRST SECOND [REPORT]\n"},
        {{"--version"}, 2, "tandrel: standard output: No space left on device", {}, "full"},
        {{"a.bin", "b.bin", "", "--exit-code"}, 1, ""},
        {{"--exit-code", "a.bin", "c d.bin", ""}, 0, ""},
        {{"--ignore-initial=1:0x1", "--bytes", "1", "a.bin", "b.bin", "-"},
         0,
         Lines({"Comparing a.bin", " and b.bin", "Warning: not a PE file!", "", "File offset = 1",
                "Bytes Size (dec) = 1"})},
        {{"a.bin", "b.bin", "-", "--max-runs=0"},
         0,
         Lines({"Comparing a.bin", " and b.bin", "Warning: not a PE file!", "",
                "Stopped after 0 runs (--max-runs); later differences are not listed."})},
        {{"--format=jsonl", "a.bin", "b.bin", "-"},
         0,
         "{\"type\":\"files\",\"first\":{\"path\":\"a.bin\",\"size\":4},"},
        // Aligned: a change is the same record; an insertion and a deletion say so.
        {{"--align", "a.bin", "b.bin", "-"}, 0, Example("a.bin", "b.bin")},
        {{"--align", "a.bin", "ins.bin", "-"},
         0,
         Lines({"Comparing a.bin", " and ins.bin", "Warning: not a PE file!", "",
                "Inserted bytes (dec) = 3", "File offset = 2", "Second file offset = 2",
                "Second file bytes: ", "78 79 7A "})},
        {{"--align", "a.bin", "short.bin", "-"},
         0,
         Lines({"Comparing a.bin", " and short.bin", "Warning: not a PE file!", "",
                "Deleted bytes (dec) = 2", "File offset = 1", "Second file offset = 1",
                "First file bytes: ", "42 43 "})},
        {{"--align", "--format=jsonl", "a.bin", "ins.bin", "-"},
         0,
         "{\"type\":\"files\",\"first\":{\"path\":\"a.bin\",\"size\":4},\"second\":{\"path\":"
         "\"ins.bin\",\"size\":7},\"compared\":4,\"pe\":null}\n"
         "{\"type\":\"run\",\"kind\":\"insert\",\"offset\":2,\"second_offset\":2,\"length\":3,"
         "\"first\":\"\",\"second\":\"78797a\",\"rva\":null,\"va\":null,\"second_rva\":null,"
         "\"second_va\":null,\"section\":null,\"field\":null}\n"
         "{\"type\":\"summary\",\"runs\":1,\"bytes\":3,\"complete\":true,\"identical\":false}\n"},
        {{"--align", "--exit-code", "a.bin", "ins.bin", ""}, 1, ""},
        {{"--align", "--exit-code", "a.bin", "c d.bin", ""}, 0, ""},
        {{"--align", "--bytes=2", "--exit-code", "a.bin", "ins.bin", ""}, 0, ""},
        {{"--align", "a.bin", "nwe.bin"}, 2, "tandrel: nwe.bin: No such file or directory"},
        // The patch formats cannot hold an insertion: refused before anything is opened.
        {{"--align", "--format=dif", "a.bin", "ins.bin"}, 2, kNoAlign + "dif" + kHelp},
        {{"--format=1337", "a.bin", "ins.bin", "r.txt", "--align"}, 2, kNoAlign + "1337" + kHelp},
        {{"--align", "--format=ips", "a.bin", "ins.bin", "-"}, 2, kNoAlign + "ips" + kHelp},
        {{"--frob", "a.bin", "b.bin"}, 2, "tandrel: unknown option '--frob'" + kHelp},
        {{"a.bin", "b.bin", "--bytes=1k"},
         2,
         "tandrel: bad value for --bytes: '1k' (a number: decimal, or hexadecimal after 0x)" +
             kHelp},
    };
    bool nodeRowsRan = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        test::TempDir dir;
        for (const auto& [input, bytes] : kInputs) {
            dir.Write(input, bytes);
        }
        ::mkfifo(dir.File("fifo").c_str(), 0600);
        std::filesystem::create_symlink(dir.File("b.bin"), dir.File("link.bin"));
        std::filesystem::create_symlink(dir.File("newb.bin"), dir.File("dangling"));
        std::filesystem::create_symlink("/dev/full", dir.File("full"));
        std::filesystem::create_hard_link(dir.File("b.bin"), dir.File("hard.bin"));
        // Device nodes can be made only with the right to; without it their case is passed over.
        const bool nodes = ::mknod(dir.File("null1").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0 &&
                           ::mknod(dir.File("null2").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
        if (!nodes && c.arguments[0] == "null1") {
            nodeRowsRan = false;
            continue;
        }
        const int opens = WatchOpens({dir.File("fifo"), dir.File("null1"), dir.File("null2")});
        const test::ProgramRun run =
            test::RunTandrel(dir.Path().string(), c.arguments, {.appendTo = c.appendTo});
        const std::string printed = run.standardOutput + run.errors;
        EXPECT_FALSE(Opened(opens)) << "the FIFO or a device node was opened";
        EXPECT_EQ(run.status, c.status);
        if (c.printed.starts_with("tandrel: ") && c.printed != "tandrel: ") {
            EXPECT_EQ(printed, c.printed + "\n");
        } else {
            EXPECT_EQ(printed.substr(0, c.printed.size()), c.printed);
            EXPECT_EQ(printed.empty(), c.printed.empty());
        }
        // The inputs byte for byte as they were, and the files the run wrote.
        Files files = c.written;
        files.insert(kInputs.begin(), kInputs.end());
        files.insert({"hard.bin", "AXYD"});
        EXPECT_EQ(test::FolderFiles(dir.Path()), files);
    }
    if (!nodeRowsRan) {
        GTEST_SKIP() << "the device-node rows did not run: mknod needs the right to make nodes";
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
    const int status = test::RunTandrel(dir.Path().string(), {"00.bin", "ff.bin", "fifo"}).status;
    reader.join();
    EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace tandrel
