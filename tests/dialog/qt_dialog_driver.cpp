// The contract suite's driver for the Qt dialog: real widgets on the offscreen platform, keys
// and drops as Qt's events, the suite's QApplication made in main.
#include <QTest>
#include <QtWidgets>
#include <cmath>

#include "res/resource.h"
#include "tests/dialog/dialog_driver.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "ui/qt/qt_main_dialog.h"

namespace tandrel::test {
namespace {

// A widget's place in dialog units: at 96 DPI a horizontal one is 1.5 pixels, a vertical one
// 1.625.
ControlFacts Facts(int id, const char* className, const QString& text, const QRect& r) {
    const auto x = [](int pixels) { return static_cast<int>(std::lround(pixels / 1.5)); };
    const auto y = [](int pixels) { return static_cast<int>(std::lround(pixels / 1.625)); };
    return {id, className, text.toStdString(), x(r.x()), y(r.y()), x(r.width()), y(r.height())};
}

class QtDialogDriver : public DialogDriver {
  public:
    QtDialogDriver() {
        AnswerFileDialogs();
        window_.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
        EXPECT_EQ(window_.screen()->logicalDotsPerInchX(), 96.0);
        EXPECT_EQ(window_.screen()->logicalDotsPerInchY(), 96.0);
    }

    // The focus chain holds every child, the tab stops in tab order.
    std::vector<ControlFacts> Controls() override {
        std::vector<ControlFacts> controls = {
            Facts(0, "", window_.windowTitle(), QRect(QPoint(), window_.size()))};
        for (QWidget* w = window_.nextInFocusChain(); w != &window_; w = w->nextInFocusChain()) {
            int id = IDC_LABEL;
            for (int known :
                 {IDC_BROWSE_FIRST, IDC_FIRST_PATH, IDC_BROWSE_SECOND, IDC_SECOND_PATH, IDC_COMPARE,
                  IDC_SAVE_RESULT, IDC_RESULT, IDC_SPACE_SEPARATOR, IDC_SHORT_NAMES}) {
                id = window_.Control(known) == w ? known : id;
            }
            if (auto* label = qobject_cast<QLabel*>(w)) {
                controls.push_back(Facts(id, "Static", label->text(), w->geometry()));
            } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
                controls.push_back(Facts(id, "Button", button->text(), w->geometry()));
            } else if (w->parentWidget() == &window_) {
                controls.push_back(
                    Facts(id, "Edit", QString::fromStdString(Text(id)), w->geometry()));
            }
        }
        return controls;
    }

    void Click(int id) override { QTest::mouseClick(Control(id), Qt::LeftButton); }

    void Type(int id, const std::string& text) override {
        Control(id)->setFocus();
        QTest::keyClick(Control(id), Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(Control(id), QString::fromLocal8Bit(text.c_str()));
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
        target = id == IDC_RESULT ? qobject_cast<QAbstractScrollArea*>(target)->viewport() : target;
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
