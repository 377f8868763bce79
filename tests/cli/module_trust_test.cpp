// The dialog run of a copy of the real program in a temporary prefix, whose module, and the
// folders to it, each row lays out in its own way: loaded only where nobody but root and the
// user could have put it; otherwise status 1, one line on standard error, and nothing run.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

TEST(DialogModule, LoadedOnlyFromWhereNobodyElseCouldPutIt) {
    const tandrel::test::TempDir dir;
    const std::string p = dir.File("p"), lib = p + "/lib", folder = lib + "/tandrel",
                      so = folder + "/tandrel-qt-dialog.so", marker = dir.File("marker");
    const auto refused = [&](const std::string& why) {
        return "tandrel: " + so + ": " + why + "\n";
    };
    const struct {
        const char* module;
        std::function<int()> change;  // made to a sound layout; not 0 when it cannot be made
        int status;
        std::string error;
        const char* display = "QT_QPA_PLATFORM=offscreen";
    } cases[] = {
        {PLANTED_MODULE, [] { return 0; }, 0, ""},
        {PLANTED_MODULE, [&] { return ::chmod(lib.c_str(), 01777); }, 0, ""},
        {PLANTED_MODULE, [&] { return ::chmod(lib.c_str(), 0775); }, 0, ""},  // root's group
        {PLANTED_MODULE, [&] { return ::chmod(lib.c_str(), 0777); }, 1,
         refused("folder " + lib + " is writable by others")},
        {PLANTED_MODULE, [&] { return ::chown(lib.c_str(), 0, 1234) | ::chmod(lib.c_str(), 0775); },
         1, refused("folder " + lib + " is writable by group 1234")},
        {PLANTED_MODULE, [&] { return ::chown(folder.c_str(), 1234, 0); }, 1,
         refused("folder " + folder + " is owned by another user (uid 1234)")},
        {PLANTED_MODULE, [&] { return ::chown(so.c_str(), 0, 0) | ::chmod(so.c_str(), 0664); }, 1,
         refused("writable by group 0")},
        {PLANTED_MODULE, [&] { return ::chown(so.c_str(), 1234, 0); }, 1,
         refused("owned by another user (uid 1234)")},
        {PLANTED_MODULE,
         [&] {
             return ::rename(lib.c_str(), (p + "/real").c_str()) | ::symlink("real", lib.c_str()) |
                    ::lchown(lib.c_str(), 1234, 1234);
         },
         1, refused("link " + lib + " is owned by another user (uid 1234)")},
        {QT_DIALOG_MODULE, [&] { return ::truncate(so.c_str(), 5000); }, 1,
         refused("cut short: a loadable segment ends past its end")},
        {PLANTED_MODULE, [&] { return ::unlink(so.c_str()) | ::mkfifo(so.c_str(), 0600); }, 1,
         refused("not a regular file")},
        {PLANTED_MODULE, [&] { return ::truncate(so.c_str(), 3); }, 1, refused("not an ELF file")},
        {PLANTED_OTHER_VERSION, [] { return 0; }, 1,
         refused("not a dialog module of this version (it has no entry TandrelRunDialog_1_0_0_1)")},
        {PLANTED_MODULE, [] { return 0; }, 1,
         "tandrel: cannot open the dialog: no display (none of DISPLAY, WAYLAND_DISPLAY and "
         "QT_QPA_PLATFORM is set)\n",
         "-u QT_QPA_PLATFORM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        fs::remove_all(p);
        fs::remove(marker);
        fs::create_directories(folder);
        fs::create_directories(p + "/bin");
        fs::copy_file(TANDREL_BINARY, p + "/bin/tandrel");
        fs::copy_file(c.module, so);
        if (c.change() != 0) {
            continue;  // chown needs root, as in CI
        }
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " + std::string(c.display) +
                                    " TANDREL_PLANTED_MARKER=" + marker + " timeout 20 " + p +
                                    "/bin/tandrel 2>" + dir.File("stderr");
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), c.status);
        EXPECT_EQ(tandrel::test::ReadFileText(dir.File("stderr")), c.error);
        EXPECT_EQ(fs::exists(marker), c.status == 0);
    }
}
