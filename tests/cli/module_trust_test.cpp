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

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

// One layout a row: the change made to a sound prefix, and what the dialog run of the prefix's
// program then gives, run as another account (through setpriv) when one is named.
struct Row {
    const char* module;
    // A shell command made in the prefix to a sound layout ($so the module); failing when it
    // cannot be made.
    const char* change;
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
        const std::string change =
            "cd " + p + " && so=lib/tandrel/tandrel-qt-dialog.so && " + row.change;
        if (std::system(change.c_str()) != 0) {
            EXPECT_NE(::geteuid(), 0u) << change;  // chown needs root, as in CI
            return;
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
    const std::string &p = x.p, &lib = x.lib, &folder = x.folder;
    const auto refused = [&](const std::string& why) { return x.Refused(why); };
    const Row cases[] = {
        {PLANTED_MODULE, "true", 0, ""},
        {PLANTED_MODULE, "chmod 1777 lib", 0, ""},
        {PLANTED_MODULE, "chmod 775 lib", 0, ""},                    // root's group
        {PLANTED_MODULE, "chown 0:50 lib && chmod 775 lib", 0, ""},  // staff, may write /usr/local
        {PLANTED_MODULE, "chmod 777 lib", 1, refused("folder " + lib + " is writable by others")},
        {PLANTED_MODULE, "chown 0:1234 lib && chmod 775 lib", 1,
         refused("folder " + lib + " is writable by group 1234")},
        {PLANTED_MODULE, "chown 1234:0 lib/tandrel", 1,
         refused("folder " + folder + " is owned by another user (uid 1234)")},
        {PLANTED_MODULE, "chown 0:0 $so && chmod 664 $so", 1, refused("writable by group 0")},
        {PLANTED_MODULE, "chown 1234:0 $so", 1, refused("owned by another user (uid 1234)")},
        {PLANTED_MODULE, "mv lib real && ln -s real lib && chown -h 1234:1234 lib", 1,
         refused("link " + lib + " is owned by another user (uid 1234)")},
        // ".." in a link goes back from where the link led: out of bin, into real.
        {PLANTED_MODULE, "mv lib real && ln -s bin/../real lib", 0, ""},
        // A folder passed through on the way to ".." is checked as any other.
        {PLANTED_MODULE, "mv lib real && mkdir -m 777 open && ln -s open/../real lib", 1,
         refused("folder " + p + "/open is writable by others")},
        // An absolute link starts the walk again from the root.
        {PLANTED_MODULE, "mv lib real && ln -s \"$PWD/real\" lib", 0, ""},
        {PLANTED_MODULE, "mkdir -m 777 open && mv lib open/real && ln -s \"$PWD/open/real\" lib", 1,
         refused("folder " + p + "/open is writable by others")},
        {PLANTED_MODULE, "mv lib real && ln -s loop lib && ln -s lib loop", 1,
         refused("Too many levels of symbolic links")},
        {QT_DIALOG_MODULE, "truncate -s 5000 $so", 1,
         refused("cut short: a loadable segment ends past its end")},
        {PLANTED_MODULE, "rm $so && mkfifo -m 600 $so", 1, refused("not a regular file")},
        {PLANTED_MODULE, "truncate -s 3 $so", 1, refused("not an ELF file")},
        {PLANTED_OTHER_VERSION, "true", 1,
         refused("not a dialog module of this version (it has no entry TandrelRunDialog_1_0_0_1)")},
        {PLANTED_MODULE, "true", 1,
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
    const Row cases[] = {
        {PLANTED_MODULE, "true", 0, "", "1"},
        {PLANTED_MODULE, "chown 0:1 lib && chmod 775 lib", 0, "", "1"},
        {PLANTED_MODULE, "chown 0:100 lib && chmod 775 lib", 1,
         x.Refused("folder " + lib + " is writable by group 100"), "1"},
        {PLANTED_MODULE, "chown 0:65534 lib && chmod 775 lib", 1,
         x.Refused("folder " + lib + " is writable by group 65534"), "65534"},
        // Root's group stays trusted for every user.
        {PLANTED_MODULE, "chown 0:0 lib && chmod 775 lib", 0, "", "65534"},
    };
    for (const Row& row : cases) {
        x.Run(row);
    }
}
