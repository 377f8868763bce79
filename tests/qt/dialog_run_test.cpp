// RunMainDialog: the modal run in this process, and the program's dialog branch without any
// display.
#include <gtest/gtest.h>

#include <QTest>
#include <vector>

#include "tests/qt/dialog_under_test.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "ui/main_dialog.h"

namespace tandrel {
namespace {

using test::ProgramOutcome;
using test::TempDir;

TEST(DialogRun, RunsModallyWithItsHostUntilEscape) {
    DiffDialog dialog;
    bool sawDialog = false;
    test::WhenShown<QtMainDialog>([&](QtMainDialog* window) {
        sawDialog = true;
        EXPECT_EQ(dialog.Host(), &window->Host());
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Tandrel 3.0"));
        EXPECT_TRUE(window->isModal());
        QTest::keyClick(window, Qt::Key_Escape);
    });
    int argc = 1;
    char name[] = "tandrel";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(RunMainDialog(argc, argv, dialog), 0);
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(dialog.Host(), nullptr);
}

// No display, or one that cannot be reached: the window system cannot start, so the program
// ends with status 1 and prints nothing; no file is left behind either.
TEST(DialogRun, WithoutADisplayExitsOneSilently) {
    const std::vector<std::vector<std::string>> environments = {
        {}, {"DISPLAY="}, {"DISPLAY=:93"}, {"WAYLAND_DISPLAY=tandrel-no-such-socket"}};
    const std::vector<std::vector<std::string>> argumentLists = {{}, {"a.bin"}};
    for (const auto& environment : environments) {
        for (const auto& arguments : argumentLists) {
            TempDir dir;
            const ProgramOutcome outcome =
                test::RunProgram(dir.Path().string(), arguments, environment);
            const std::string label = environment.empty() ? "none" : environment.front();
            EXPECT_EQ(outcome.status, 1) << label;
            EXPECT_EQ(outcome.output, "") << label;
            EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << label;
        }
    }
}

}  // namespace
}  // namespace tandrel
