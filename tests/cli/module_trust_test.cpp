// The dialog run of a copy of the real program in a temporary prefix, whose module, and the
// folders to it, each row lays out in its own way: loaded only where nobody but root and the
// user could have put it; otherwise status 1, one line on standard error, and nothing run.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

// One layout a row: the change made to a sound prefix, and what the dialog run of the prefix's
// program then gives, run as another account (through setpriv) when one is named.
struct Row {
    const char* module;
    std::function<int()> change;  // made to a sound layout; not 0 when it cannot be made
    int status;
    std::string error;
    const char* account = nullptr;  // run as this uid, with the gid of the same number
    const char* display = "QT_QPA_PLATFORM=offscreen";
};

class Prefix {
  public:
    const tandrel::test::TempDir dir;
    const std::string p = dir.File("p"), lib = p + "/lib", folder = lib + "/tandrel",
                      so = folder + "/tandrel-qt-dialog.so", marker = dir.File("marker");

    std::string Refused(const std::string& why) const {
        return "tandrel: " + so + ": " + why + "\n";
    }

    void Run(const Row& row) const {
        SCOPED_TRACE(row.error);
        fs::remove_all(p);
        fs::remove(marker);
        fs::create_directories(folder);
        fs::create_directories(p + "/bin");
        fs::copy_file(TANDREL_BINARY, p + "/bin/tandrel");
        fs::copy_file(row.module, so);
        if (row.change() != 0) {
            return;  // chown needs root, as in CI
        }
        const std::string as = row.account ? std::string("setpriv --reuid=") + row.account +
                                                 " --regid=" + row.account + " --clear-groups "
                                           : "";
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " +
                                    std::string(row.display) + " TANDREL_PLANTED_MARKER=" + marker +
                                    " timeout 20 " + as + p + "/bin/tandrel 2>" +
                                    dir.File("stderr");
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), row.status);
        EXPECT_EQ(tandrel::test::ReadFileText(dir.File("stderr")), row.error);
        EXPECT_EQ(fs::exists(marker), row.status == 0);
    }
};

TEST(DialogModule, LoadedOnlyFromWhereNobodyElseCouldPutIt) {
    const Prefix x;
    const std::string &p = x.p, &lib = x.lib, &folder = x.folder, &so = x.so;
    const auto refused = [&](const std::string& why) { return x.Refused(why); };
    const Row cases[] = {
        {PLANTED_MODULE, [] { return 0; }, 0, ""},
        {PLANTED_MODULE, [&] { return ::chmod(lib.c_str(), 01777); }, 0, ""},
        {PLANTED_MODULE, [&] { return ::chmod(lib.c_str(), 0775); }, 0, ""},  // root's group
        {PLANTED_MODULE, [&] { return ::chown(lib.c_str(), 0, 50) | ::chmod(lib.c_str(), 0775); },
         0, ""},  // staff, which may write /usr/local
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
        // ".." in a link goes back from where the link led: out of bin, into real.
        {PLANTED_MODULE,
         [&] {
             return ::rename(lib.c_str(), (p + "/real").c_str()) |
                    ::symlink("bin/../real", lib.c_str());
         },
         0, ""},
        // A folder passed through on the way to ".." is checked as any other.
        {PLANTED_MODULE,
         [&] {
             return ::rename(lib.c_str(), (p + "/real").c_str()) |
                    ::mkdir((p + "/open").c_str(), 0) | ::chmod((p + "/open").c_str(), 0777) |
                    ::symlink("open/../real", lib.c_str());
         },
         1, refused("folder " + p + "/open is writable by others")},
        // An absolute link starts the walk again from the root.
        {PLANTED_MODULE,
         [&] {
             return ::rename(lib.c_str(), (p + "/real").c_str()) |
                    ::symlink((p + "/real").c_str(), lib.c_str());
         },
         0, ""},
        {PLANTED_MODULE,
         [&] {
             return ::mkdir((p + "/open").c_str(), 0) | ::chmod((p + "/open").c_str(), 0777) |
                    ::rename(lib.c_str(), (p + "/open/real").c_str()) |
                    ::symlink((p + "/open/real").c_str(), lib.c_str());
         },
         1, refused("folder " + p + "/open is writable by others")},
        {PLANTED_MODULE,
         [&] {
             return ::rename(lib.c_str(), (p + "/real").c_str()) | ::symlink("loop", lib.c_str()) |
                    ::symlink("lib", (p + "/loop").c_str());
         },
         1, refused("Too many levels of symbolic links")},
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
         nullptr, "-u QT_QPA_PLATFORM"},
    };
    for (const Row& row : cases) {
        x.Run(row);
    }
}

// The accounts of a Debian system, from its real /etc/passwd and /etc/group: daemon (uid and
// group 1) alone in its group, nobody sharing nogroup (65534) with _apt and sync, and "users"
// (100) that anyone may be put in. Why a row cannot run, or empty.
std::string WhyNoAccounts() {
    if (::geteuid() != 0) {
        return "needs root, to change owners and to run as other accounts";
    }
    if (std::system("setpriv --version >/dev/null 2>&1") != 0) {
        return "needs setpriv (util-linux)";
    }
    // Each call may reuse the last one's entry: the facts are taken as they come.
    const struct passwd* account = ::getpwnam("daemon");
    const bool daemon = account && account->pw_uid == 1 && account->pw_gid == 1;
    account = ::getpwnam("nobody");
    const bool nobody = account && account->pw_gid == 65534;
    const struct group* daemonGroup = ::getgrgid(1);
    if (!daemon || !nobody || !daemonGroup || daemonGroup->gr_mem[0] != nullptr) {
        return "the accounts daemon (1:1, alone in group 1) and nobody (group 65534) differ here";
    }
    int sharingNogroup = 0;
    int sharingDaemon = 0;
    ::setpwent();
    while (const struct passwd* account = ::getpwent()) {
        sharingNogroup += account->pw_gid == 65534;
        sharingDaemon += account->pw_gid == 1;
    }
    ::endpwent();
    return sharingNogroup > 1 && sharingDaemon == 1 ? "" : "nogroup is nobody's alone here";
}

// Group write on a folder of the module's path is trusted for the user's primary group only when
// nobody else is in it: any other member of a shared group could plant the module.
TEST(DialogModule, GroupWriteOnlyForAGroupOfTheUserAlone) {
    if (const std::string why = WhyNoAccounts(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const Prefix x;
    const std::string& lib = x.lib;
    // The accounts run the program from the folder, and the planted module leaves its marker
    // there: sticky, so that they can.
    ASSERT_EQ(::chmod(x.dir.Path().c_str(), 01777), 0);
    const auto groupWritable = [&](gid_t group) {
        return
            [&lib, group] { return ::chown(lib.c_str(), 0, group) | ::chmod(lib.c_str(), 0775); };
    };
    const Row cases[] = {
        {PLANTED_MODULE, [] { return 0; }, 0, "", "1"},
        {PLANTED_MODULE, groupWritable(1), 0, "", "1"},
        {PLANTED_MODULE, groupWritable(100), 1,
         x.Refused("folder " + lib + " is writable by group 100"), "1"},
        {PLANTED_MODULE, groupWritable(65534), 1,
         x.Refused("folder " + lib + " is writable by group 65534"), "65534"},
        // Root's group stays trusted for every user.
        {PLANTED_MODULE, groupWritable(0), 0, "", "65534"},
    };
    for (const Row& row : cases) {
        x.Run(row);
    }
}
