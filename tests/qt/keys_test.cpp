// Enter and Escape in the modal run: Enter ends the dialog from every control but a push
// button, which it clicks instead; Escape ends it from anywhere.
#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>
#include <string>
#include <vector>

#include "tests/qt/dialog_under_test.h"
#include "tests/support/temp_dir.h"

namespace tandrel {
namespace {

using test::DialogUnderTest;
using test::TempDir;

struct KeyCase {
    const char* name;
    int controlId;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
    bool ends;
    int result;  // the modal run's result when it ends
};

struct KeyOutcome {
    bool ended = false;
    int result = -1;
    std::string resultText;
};

// Runs the dialog modally, presses the key in the control, and records whether the run ended.
KeyOutcome PressInModalRun(DialogUnderTest& t, int controlId, Qt::Key key,
                           Qt::KeyboardModifiers modifiers) {
    KeyOutcome outcome;
    bool stillOpen = false;
    QTimer::singleShot(0, &t.Window(), [&] {
        EXPECT_TRUE(QTest::qWaitForWindowActive(&t.Window()));
        QWidget* const control = t.Window().Control(controlId);
        control->setFocus();
        EXPECT_TRUE(control->hasFocus());
        QTest::keyClick(control, key, modifiers);
        if (t.Window().isVisible()) {
            stillOpen = true;
            outcome.resultText = t.Text(IDC_RESULT);
            t.Window().done(-7);
        }
    });
    outcome.result = t.Window().exec();
    outcome.ended = !stillOpen;
    if (outcome.ended) {
        outcome.resultText = t.Text(IDC_RESULT);
    }
    return outcome;
}

TEST(DialogKeys, EnterAndEscape) {
    const std::vector<KeyCase> cases = {
        {"Enter in the first path box", IDC_FIRST_PATH, Qt::Key_Return, Qt::NoModifier, true,
         QDialog::Accepted},
        {"keypad Enter in the second path box", IDC_SECOND_PATH, Qt::Key_Enter, Qt::KeypadModifier,
         true, QDialog::Accepted},
        {"Enter in the result box", IDC_RESULT, Qt::Key_Return, Qt::NoModifier, true,
         QDialog::Accepted},
        {"Shift+Enter in the result box", IDC_RESULT, Qt::Key_Return, Qt::ShiftModifier, true,
         QDialog::Accepted},
        {"Enter on a check box", IDC_SHORT_NAMES, Qt::Key_Return, Qt::NoModifier, true,
         QDialog::Accepted},
        {"Escape in a path box", IDC_FIRST_PATH, Qt::Key_Escape, Qt::NoModifier, true,
         QDialog::Rejected},
        {"Escape in the result box", IDC_RESULT, Qt::Key_Escape, Qt::NoModifier, true,
         QDialog::Rejected},
        {"Escape on a push button", IDC_COMPARE, Qt::Key_Escape, Qt::NoModifier, true,
         QDialog::Rejected},
        {"Ctrl+Enter in the result box", IDC_RESULT, Qt::Key_Return, Qt::ControlModifier, false,
         -7},
    };
    for (const KeyCase& c : cases) {
        DialogUnderTest t;
        t.Host().SetItemText(IDC_RESULT, "kept");
        const KeyOutcome outcome = PressInModalRun(t, c.controlId, c.key, c.modifiers);
        EXPECT_EQ(outcome.ended, c.ends) << c.name;
        EXPECT_EQ(outcome.result, c.result) << c.name;
        // Only Ctrl+Enter breaks the result box's line; Enter never types into it.
        EXPECT_EQ(outcome.resultText, c.ends ? "kept" : "\nkept") << c.name;
        EXPECT_FALSE(t.Check(IDC_SHORT_NAMES).isChecked()) << c.name;
    }
}

// Enter on the focused Compare button compares, and the dialog stays open.
TEST(DialogKeys, EnterOnCompareClicksIt) {
    TempDir dir;
    DialogUnderTest t;
    t.FirstPath().setText(QString::fromStdString(dir.Write("a.bin", std::string("AB"))));
    t.SecondPath().setText(QString::fromStdString(dir.Write("b.bin", std::string("AC"))));
    const KeyOutcome outcome = PressInModalRun(t, IDC_COMPARE, Qt::Key_Return, Qt::NoModifier);
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.resultText.rfind("Comparing ", 0), 0u) << outcome.resultText;
    EXPECT_NE(outcome.resultText.find("File offset = 1\n"), std::string::npos);
}

}  // namespace
}  // namespace tandrel
