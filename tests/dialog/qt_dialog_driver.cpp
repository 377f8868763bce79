// The contract suite's driver for the Qt dialog: real widgets on the offscreen platform, keys
// and drops as Qt's events, the suite's QApplication made in main.
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cmath>

#include "res/resource.h"
#include "tests/dialog/dialog_driver.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "ui/diff_dialog.h"
#include "ui/qt/qt_main_dialog.h"

namespace tandrel::test {
namespace {

// At 96 DPI a horizontal dialog unit is 1.5 pixels, a vertical one 1.625.
int UnitsX(int pixels) {
    return static_cast<int>(std::lround(pixels / 1.5));
}
int UnitsY(int pixels) {
    return static_cast<int>(std::lround(pixels / 1.625));
}

class QtDialogDriver : public DialogDriver {
  public:
    QtDialogDriver() {
        dialog_.Host()->SetFileDialogAnswerer(
            [this](const FileDialogRequest&, std::string& path) { return TakeAnswer(path); });
        window_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
        EXPECT_EQ(window_.screen()->logicalDotsPerInchX(), 96.0);
        EXPECT_EQ(window_.screen()->logicalDotsPerInchY(), 96.0);
    }

    ControlFacts Window() override {
        return {0,
                "",
                window_.windowTitle().toStdString(),
                0,
                0,
                UnitsX(window_.width()),
                UnitsY(window_.height())};
    }

    // The focus chain holds every child, the tab stops in tab order.
    std::vector<ControlFacts> Controls() override {
        std::vector<ControlFacts> controls;
        for (QWidget* w = window_.nextInFocusChain(); w != &window_; w = w->nextInFocusChain()) {
            if (w->parentWidget() != &window_) {
                continue;
            }
            ControlFacts c{IDC_LABEL,          "Edit",         "",
                           UnitsX(w->x()),     UnitsY(w->y()), UnitsX(w->width()),
                           UnitsY(w->height())};
            for (int id :
                 {IDC_BROWSE_FIRST, IDC_FIRST_PATH, IDC_BROWSE_SECOND, IDC_SECOND_PATH, IDC_COMPARE,
                  IDC_SAVE_RESULT, IDC_RESULT, IDC_SPACE_SEPARATOR, IDC_SHORT_NAMES}) {
                c.id = window_.Control(id) == w ? id : c.id;
            }
            if (auto* label = qobject_cast<QLabel*>(w)) {
                c.className = "Static";
                c.text = label->text().toStdString();
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                c.className = "Button";
                c.text = button->text().toStdString();
            } else if (c.id != IDC_LABEL) {
                c.text = Text(c.id);
            }
            controls.push_back(c);
        }
        return controls;
    }

    std::string Text(int id) override {
        std::string text(static_cast<size_t>(dialog_.Host()->GetItemTextLength(id)) + 1, '\0');
        text.resize(static_cast<size_t>(
            dialog_.Host()->GetItemText(id, text.data(), static_cast<int>(text.size()))));
        return text;
    }

    void SetText(int id, const std::string& text) override {
        dialog_.Host()->SetItemText(id, text.c_str());
    }

    bool IsChecked(int id) override { return qobject_cast<QCheckBox*>(Control(id))->isChecked(); }

    void Click(int id) override { QTest::mouseClick(Control(id), Qt::LeftButton); }

    void Type(int id, const std::string& text) override {
        QWidget* control = Control(id);
        control->setFocus();
        if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) {
            edit->moveCursor(QTextCursor::End);
        } else {
            qobject_cast<QLineEdit*>(control)->end(false);
        }
        QTest::keyClicks(control, QString::fromLocal8Bit(text.c_str()));
    }

    bool KeyEndsRun(int id, Key key) override {
        DiffDialog dialog;
        QtMainDialog window(dialog);
        bool open = false;
        QTimer::singleShot(0, &window, [&] {
            EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
            QWidget* control = window.Control(id);
            control->setFocus();
            if (key == Key::kCloseBox) {
                window.close();
            } else if (key == Key::kEscape) {
                QTest::keyClick(control, Qt::Key_Escape);
            } else {
                QTest::keyClick(control, key == Key::kKeypadEnter ? Qt::Key_Enter : Qt::Key_Return,
                                key == Key::kKeypadEnter ? Qt::KeypadModifier
                                : key == Key::kCtrlEnter ? Qt::ControlModifier
                                                         : Qt::NoModifier);
            }
            open = window.isVisible();
            window.done(QDialog::Rejected);
        });
        window.exec();
        return !open;
    }

    // Enter, move and drop as a drag from the file manager brings them; the application offers
    // each to the widget under the pointer or the nearest parent that takes drops.
    void Drop(int id, const std::vector<std::string>& paths) override {
        QWidget* target = Control(id);
        if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) {
            target = area->viewport();
        }
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths) {
            urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(path.c_str())));
        }
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }

    bool ResultBarShown(bool horizontal) override {
        auto* box = qobject_cast<QAbstractScrollArea*>(Control(IDC_RESULT));
        return (horizontal ? box->horizontalScrollBar() : box->verticalScrollBar())->isVisible();
    }

    bool ResultFontIsFixedPitch() override {
        const QFontMetricsF metrics(Control(IDC_RESULT)->font());
        return metrics.horizontalAdvance(QStringLiteral("iiiiii")) ==
               metrics.horizontalAdvance(QStringLiteral("MMMMMM"));
    }

    std::string HeadlessReport(const std::string& first, const std::string& second) override {
        const TempDir dir;
        const std::string report = dir.File("report.txt");
        EXPECT_EQ(RunProgram(dir.Path().string(), {first, second, report}).status, 0);
        return ReadFileText(report);
    }

  private:
    QWidget* Control(int id) {
        QWidget* control = window_.Control(id);
        EXPECT_NE(control, nullptr) << id;
        return control;
    }

    DiffDialog dialog_;
    QtMainDialog window_{dialog_};
};

}  // namespace

std::unique_ptr<DialogDriver> DialogDriver::Open() {
    return std::make_unique<QtDialogDriver>();
}

}  // namespace tandrel::test

// One QApplication for the whole run, made after the test list is known: listing the tests
// needs no window system.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
