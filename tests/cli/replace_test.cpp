// Replacing a file through the real program: patch exports and --apply keep what the file they
// replace has (owner, group, mode, extended attributes) but never file capabilities, refuse what
// they cannot replace whole with the folder left as it was, and leave no new file behind when a
// signal ends them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/support/program_run.h"

namespace tandrel {
namespace {

namespace fs = std::filesystem;
using test::FolderFiles;
using test::RunTandrel;

constexpr uid_t kNobody = 65534;
const std::string kDif =
    "This difference file was created by Tandrel\n\na.bin\n00000001: 42 58\n00000002: 43 59\n";
// A file capability as setcap writes it (revision 2, effective, cap_net_bind_service).
const std::string kCapability(
    "\x01\x00\x00\x02\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00",
    20);

std::string Attribute(const std::string& path, const char* name) {
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? "(none: " + std::string(std::strerror(errno)) + ")"
                    : std::string(value, size);
}

// A folder with the two inputs, a.bin and b.bin, that differ in their second and third bytes.
struct Folder : test::TempDir {
    Folder() {
        Write("a.bin", "ABCD");
        Write("b.bin", "AXYD");
    }
    bool HasNewFile() const {
        for (const auto& entry : fs::directory_iterator(Path())) {
            if (entry.path().filename().string().find(".tandrel-") != std::string::npos) {
                return true;
            }
        }
        return false;
    }
};

// As root: an export's report and an --apply target, of another user, with a user attribute and
// a file capability, are replaced keeping owner, group, mode and attribute, not the capability.
TEST(FileReplacement, KeepOwnerModeAndAttributesButNoCapability) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a file another owner and a capability needs root";
    }
    const struct {
        std::vector<std::string> arguments;
        const char* replaced;
        std::string result;
    } cases[] = {
        {{"--format=dif", "a.bin", "b.bin", "r.dif"}, "r.dif", kDif},
        {{"--apply=p.dif", "t.bin"}, "t.bin", "AXYD"},
    };
    for (const auto& c : cases) {
        const Folder dir;
        dir.Write("p.dif", "1: 42 58\n2: 43 59\n");
        const std::string path = dir.Write(c.replaced, "ABCD");
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
        if (::setxattr(path.c_str(), "user.origin", "kept", 4, 0) != 0) {
            GTEST_SKIP() << "the file system holds no user attributes: " << std::strerror(errno);
        }
        ASSERT_EQ(::setxattr(path.c_str(), "security.capability", kCapability.data(),
                             kCapability.size(), 0),
                  0)
            << std::strerror(errno);
        const test::ProgramRun run = RunTandrel(dir.Path().string(), c.arguments);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.errors, "");
        EXPECT_EQ(test::ReadFileText(path), c.result);
        struct stat info = {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kNobody);
        EXPECT_EQ(info.st_gid, kNobody);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
        EXPECT_EQ(Attribute(path, "user.origin"), "kept");
        EXPECT_EQ(Attribute(path, "security.capability"), "(none: No data available)");
        EXPECT_FALSE(dir.HasNewFile());
    }
}

// What an export or --apply refuses, and what --apply makes of names: status and message, every
// file of the folder as it was (links too), no new file left.
TEST(FileReplacement, RefusalsLeaveTheFolderAsItWas) {
    const struct {
        std::vector<std::string> arguments;
        std::function<void(const test::TempDir&)> setUp;
        int status;
        std::string errors;
        std::string standardOutput;
    } cases[] = {
        {{"--format=dif", "a.bin", "b.bin", "r.dif"},
         [](const test::TempDir& d) { fs::create_hard_link(d.File("r.dif"), d.File("h.dif")); },
         2,
         "tandrel: r.dif: has 2 hard links: the others would keep the old bytes\n"},
        // A link is refused, whether it leads to a file or to nothing (nothing is created).
        {{"--format=ips", "a.bin", "b.bin", "l.dif"},
         [](const test::TempDir& d) { fs::create_symlink("r.dif", d.File("l.dif")); },
         2,
         "tandrel: l.dif: is a symbolic link: give the file itself\n"},
        {{"--format=dif", "a.bin", "b.bin", "l.dif"},
         [](const test::TempDir& d) { fs::create_symlink("new.dif", d.File("l.dif")); },
         2,
         "tandrel: l.dif: is a symbolic link: give the file itself\n"},
        {{"--format=dif", "a.bin", "b.bin", "r.dif"},
         [](const test::TempDir& d) { fs::permissions(d.File("r.dif"), fs::perms(04644)); },
         2,
         "tandrel: r.dif: is setuid or setgid: not replaced\n"},
        {{"--apply=p.dif", "t.bin", ""},
         {},
         2,
         "tandrel: --apply takes no empty file name ('-' writes the patched copy to standard "
         "output) (tandrel --help lists the options)\n"},
        {{"--apply=", "t.bin"},
         {},
         2,
         "tandrel: option '--apply' needs a patch file (tandrel --help lists the options)\n"},
        {{"--apply=p.dif", "t.bin", "-"}, {}, 0, "", "AXYD"},
        {{"--apply=p.dif", "t.bin", "r.dif"}, {}, 2, "tandrel: r.dif: File exists\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const Folder dir;
        dir.Write("r.dif", "an earlier export");
        dir.Write("p.dif", "1: 42 58\n2: 43 59\n");
        dir.Write("t.bin", "ABCD");
        if (c.setUp) {
            c.setUp(dir);
        }
        const auto files = FolderFiles(dir.Path());
        const test::ProgramRun run = RunTandrel(dir.Path().string(), c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.errors, c.errors);
        EXPECT_EQ(run.standardOutput, c.standardOutput);
        EXPECT_EQ(FolderFiles(dir.Path()), files);
        EXPECT_FALSE(fs::exists(dir.File("new.dif")) || fs::exists(dir.File("-")));
        EXPECT_FALSE(dir.HasNewFile());
    }
}

// As another user (the tests run as root): a report owned by root cannot keep its owner, and a
// folder the user cannot write is named as the trouble.
TEST(FileReplacement, RefusedWhatAnotherUserCannotKeep) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "running the program as another user needs root";
    }
    const Folder dir;
    fs::permissions(dir.Path(), fs::perms(0777));
    const std::string report = dir.Write("r.dif", "root's report");
    fs::permissions(report, fs::perms(0666));
    fs::create_directory(dir.File("ro"));
    const auto files = FolderFiles(dir.Path());
    const struct {
        std::string report;
        std::string errors;
    } cases[] = {
        {"r.dif", "tandrel: r.dif: its owner and group cannot be kept: Operation not permitted\n"},
        {"ro/r.dif", "tandrel: ro: cannot create a new file in it for r.dif: Permission denied\n"},
    };
    for (const auto& c : cases) {
        const test::ProgramRun run = RunTandrel(
            dir.Path().string(), {"--format=dif", "a.bin", "b.bin", c.report}, {.user = kNobody});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.errors, c.errors);
        EXPECT_EQ(FolderFiles(dir.Path()), files);
        EXPECT_TRUE(fs::is_empty(dir.File("ro")));
        EXPECT_FALSE(dir.HasNewFile());
    }
}

// SIGINT, SIGTERM and SIGHUP in the middle of a 64 MiB dif export: the status is the signal's,
// the new file is gone and the report is as it was. A try where the export ends before the
// signal is sent proves nothing and is made again.
TEST(FileReplacement, SignalDuringAnExportLeavesNoNewFile) {
    const Folder dir;
    dir.Write("zeros", test::Bytes(4194304, 0));
    dir.Write("ones", test::Bytes(4194304, 0xFF));
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        int proven = 0;
        for (int attempt = 0; attempt < 3 && proven == 0; ++attempt) {
            dir.Write("r.dif", "an earlier export");
            bool sent = false;
            const auto whileRunning = [&](pid_t pid) {
                // Once the new file holds 1 MiB of the 64.
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while (!sent && std::chrono::steady_clock::now() < until) {
                    for (const auto& entry : fs::directory_iterator(dir.Path())) {
                        std::error_code ignored;
                        if (entry.path().filename().string().starts_with(".r.dif.tandrel-") &&
                            fs::file_size(entry.path(), ignored) > 1048576 && !ignored) {
                            sent = ::kill(pid, signal) == 0;
                        }
                    }
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
                }
            };
            const test::ProgramRun run =
                RunTandrel(dir.Path().string(), {"--format=dif", "zeros", "ones", "r.dif"},
                           {.whileRunning = whileRunning});
            if (run.status == 0) {
                continue;  // done before the signal
            }
            ++proven;
            EXPECT_TRUE(sent);
            EXPECT_EQ(run.signal, signal) << run.errors;
            EXPECT_EQ(test::ReadFileText(dir.File("r.dif")), "an earlier export");
            EXPECT_FALSE(dir.HasNewFile());
        }
        EXPECT_EQ(proven, 1) << "every export ended before the signal";
    }
}

}  // namespace
}  // namespace tandrel
