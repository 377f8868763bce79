// The real program on Linux, spawned with an argument list in a folder of its own, with no
// display: the argv tokens, the exit status, every file the folder holds afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/program_run.h"
#include "tests/support/report_runner.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::Lines;
using Files = std::map<std::string, std::string>;

// Every case starts with these files beside a FIFO, a socket and links to b.bin.
const Files kInputs = {{"a.bin", "ABCD"},    {"b.bin", "AXYD"},      {"c d.bin", "ABCE"},
                       {"nx1\" \"nx2", "x"}, {"important2", "keep"}, {"\"q\"", "ABCD"},
                       {"q", "AXYD"},        {"sys.bin", "64\n"}};

std::string Example(const std::string& first, const std::string& second) {
    return Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!", "",
                  "File offset = 1", "Bytes Size (dec) = 2", "First file bytes: ", "42 43 ",
                  "Second file bytes: ", "58 59 "});
}

std::string Header(const std::string& first, const std::string& second) {
    return Lines({"Comparing " + first, " and " + second, "Warning: not a PE file!"});
}

class Folder {
  public:
    Folder() {
        for (const auto& [name, bytes] : kInputs) {
            dir_.Write(name, bytes);
        }
        ::mkfifo(dir_.File("fifo").c_str(), 0600);
        std::filesystem::create_symlink(dir_.File("b.bin"), dir_.File("link.bin"));
        std::filesystem::create_hard_link(dir_.File("b.bin"), dir_.File("hard.bin"));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        dir_.File("sock").copy(address.sun_path, sizeof(address.sun_path) - 1);
        socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    }
    ~Folder() { ::close(socket_); }

    test::ProgramOutcome Run(const std::vector<std::string>& arguments) const {
        return test::RunProgram(dir_.Path().string(), arguments);
    }
    // The regular files the folder holds that were not there before, with their bytes; every
    // input must still hold its bytes.
    Files NewFiles() const {
        Files files;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            const std::string name = entry.path().filename().string();
            if (!entry.is_regular_file() || entry.is_symlink() || name == "hard.bin") {
                continue;  // the FIFO, the socket and the links to b.bin
            }
            const std::string bytes = test::ReadFileText(entry.path().string());
            if (kInputs.count(name) != 0) {
                EXPECT_EQ(bytes, kInputs.at(name)) << name;
            } else {
                files[name] = bytes;
            }
        }
        return files;
    }
    std::string Path(const std::string& name) const { return dir_.File(name); }

  private:
    test::TempDir dir_;
    int socket_ = -1;
};

TEST(CommandLineRun, ArgumentsExitStatusAndFiles) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        Files written;
    };
    const Case cases[] = {
        {{"a.bin", "b.bin"}, 0, {{"file.txt", Example("a.bin", "b.bin")}}},
        {{"a.bin", "b.bin", "out.txt", "ignored"}, 0, {{"out.txt", Example("a.bin", "b.bin")}}},
        {{"c d.bin", "b.bin", "my report.txt"},
         0,
         {{"my report.txt", Lines({"Comparing c d.bin", " and b.bin", "Warning: not a PE file!", "",
                                   "File offset = 1", "Bytes Size (dec) = 3", "First file bytes: ",
                                   "42 43 45 ", "Second file bytes: ", "58 59 44 "})}}},
        // Quotes are part of a name: nothing is split again, nothing becomes the report.
        {{"nx1\" \"nx2", "important2"},
         0,
         {{"file.txt", Lines({"Comparing nx1\" \"nx2", " and important2", "Warning: not a PE file!",
                              "Different file size, comparing only minimum = 1", "",
                              "File offset = 0", "Bytes Size (dec) = 1",
                              "First file bytes: ", "78 ", "Second file bytes: ", "6B "})}}},
        {{"\"q\"", "q"}, 0, {{"file.txt", Example("\"q\"", "q")}}},
        {{"a.bin", "b.bin", ""}, 0, {}},  // an empty report path names no file
        {{"a.bin", ""}, 2, {{"file.txt", ""}}},
        {{"", "b.bin"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "missing.bin"}, 2, {{"file.txt", ""}}},
        {{".", "b.bin"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "fifo"}, 2, {{"file.txt", ""}}},
        {{"sock", "b.bin"}, 2, {{"file.txt", ""}}},
        {{"a.bin", "/dev/zero"}, 2, {{"file.txt", ""}}},
        {{"/proc/self/status", "b.bin"}, 2, {{"file.txt", ""}}},  // its size, 0, lies
        // A size of 4,096 with 3 bytes behind it: what was read is compared, then the run fails.
        {{"/sys/kernel/address_bits", "sys.bin"},
         2,
         {{"file.txt", Header("/sys/kernel/address_bits", "sys.bin") +
                           "Different file size, comparing only minimum = 3\n"}}},
        {{"a.bin", "b.bin", "no/such.txt"}, 2, {}},
        {{"a.bin", "b.bin", "/dev/full"}, 2, {}},
        // A report path that names an input, directly, through links, or before it exists.
        {{"a.bin", "b.bin", "a.bin"}, 2, {}},
        {{"a.bin", "b.bin", "./b.bin"}, 2, {}},
        {{"a.bin", "link.bin", "b.bin"}, 2, {}},
        {{"a.bin", "b.bin", "hard.bin"}, 2, {}},
        {{"ghost", "b.bin", "ghost"}, 2, {}},
        {{"a.bin", "./ghost", "ghost"}, 2, {}},
        // The dialog branch with no display.
        {{}, 1, {}},
        {{"a.bin"}, 1, {}},
    };
    for (const Case& c : cases) {
        const std::string name =
            c.arguments.empty()
                ? ""
                : c.arguments[0] + " " + (c.arguments.size() > 1 ? c.arguments[1] : "");
        const Folder folder;
        const test::ProgramOutcome outcome = folder.Run(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << name;
        EXPECT_EQ(outcome.output, "") << name;
        EXPECT_EQ(folder.NewFiles(), c.written) << name;
    }
}

TEST(CommandLineRun, ExistingReportIsReplaced) {
    const Folder folder;
    std::filesystem::copy_file(folder.Path("b.bin"), folder.Path("out.txt"));
    EXPECT_EQ(folder.Run({"a.bin", "b.bin", "out.txt"}).status, 0);
    EXPECT_EQ(test::ReadFileText(folder.Path("out.txt")), Example("a.bin", "b.bin"));
}

// A FIFO whose reader goes away after 100 bytes ends the run with a failing status.
TEST(CommandLineRun, ReportIntoAFifoWhoseReaderLeaves) {
    const Folder folder;
    std::ofstream(folder.Path("00.bin"), std::ios::binary) << std::string(1 << 20, '\0');
    std::ofstream(folder.Path("ff.bin"), std::ios::binary) << std::string(1 << 20, '\xFF');
    std::thread reader([&] {
        const int fd = ::open(folder.Path("fifo").c_str(), O_RDONLY);
        char bytes[100];
        EXPECT_EQ(::read(fd, bytes, sizeof(bytes)), 100);
        ::close(fd);
    });
    const int status = folder.Run({"00.bin", "ff.bin", "fifo"}).status;
    reader.join();
    EXPECT_TRUE(status == 2 || status == 128 + SIGPIPE) << status;
}

}  // namespace
}  // namespace tandrel
