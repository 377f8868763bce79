// The contract suite's driver for the Qt dialog: real widgets on the offscreen platform, keys
// and drops as Qt's events, the suite's QApplication made in main.
#include <QTest>
#include <QtWidgets>
#include <filesystem>

#include "res/resource.h"
#include "tests/dialog/dialog_driver.h"
#include "ui/qt/qt_main_dialog.h"

namespace tandrel::test {
namespace {

// A widget's place in dialog units: at the offscreen platform's 96 DPI a horizontal one is 1.5
// pixels, a vertical one 1.625.
ControlFacts Facts(int id, const char* className, const QString& text, const QRect& r) {
    const auto x = [](int pixels) { return qRound(pixels / 1.5); };
    const auto y = [](int pixels) { return qRound(pixels / 1.625); };
    return {id, className, text.toStdString(), x(r.x()), y(r.y()), x(r.width()), y(r.height())};
}

class QtDialogDriver : public DialogDriver {
  public:
    QtDialogDriver() { window_.show(); }

    // The focus chain holds every child, the tab stops in tab order.
    std::vector<ControlFacts> Controls() override {
        std::vector<ControlFacts> controls = {Facts(0, "", window_.windowTitle(), window_.rect())};
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
                const QString text = QString::fromStdString(Text(id));
                controls.push_back(Facts(id, "Edit", text, w->geometry()));
            }
        }
        return controls;
    }

    // A message box runs its own event loop, in which the watcher's timer finds it.
    void Click(int id) override {
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (!w->isVisible()) {
                    continue;
                }
                if (auto* box = qobject_cast<QMessageBox*>(w)) {
                    messages_.push_back((box->windowTitle() + u'|' + box->text()).toStdString());
                    QAbstractButton* ok = box->button(QMessageBox::Ok);
                    ok != nullptr ? ok->click() : box->reject();
                } else if (auto* files = qobject_cast<QFileDialog*>(w)) {
                    auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                    if (typedPath_.empty() || name == nullptr) {
                        files->reject();
                        continue;
                    }
                    // OK as Enter gives it, queued: a prompt it raises comes in a later tick.
                    name->setText(QString::fromLocal8Bit(std::exchange(typedPath_, {})));
                    QMetaObject::invokeMethod(files, "accept", Qt::QueuedConnection);
                }
            }
        });
        watcher.start(10);
        QTest::mouseClick(window_.Control(id), Qt::LeftButton);
    }

    // The dialog is shown again for each key; a run ends when the dialog hides.
    bool KeyEndsRun(int id, Key key) override {
        window_.show();
        QWidget* control = window_.Control(id);
        control->setFocus();
        if (key == Key::kCloseBox) {
            window_.close();
        } else if (key == Key::kKeypadEnter) {
            QTest::keyClick(control, Qt::Key_Enter, Qt::KeypadModifier);
        } else {
            QTest::keyClick(control, key == Key::kEscape ? Qt::Key_Escape : Qt::Key_Return);
        }
        return !window_.isVisible();
    }

    // Enter, move and drop as a drag from the file manager brings them; the application offers
    // each to the widget under the pointer or the nearest parent that takes drops.
    void Drop(int id, const std::vector<std::string>& paths) override {
        QWidget* target = window_.Control(id);
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

    std::pair<bool, bool> ResultBars() override {
        auto* box = qobject_cast<QAbstractScrollArea*>(window_.Control(IDC_RESULT));
        return {box->horizontalScrollBar()->isVisible(), box->verticalScrollBar()->isVisible()};
    }

    std::vector<int> ResultFontAdvances() override {
        const QFontMetrics metrics(window_.Control(IDC_RESULT)->font());
        std::vector<int> advances;
        for (char16_t c = u' '; c <= u'~'; ++c) {
            advances.push_back(metrics.horizontalAdvance(QChar(c)));
        }
        return advances;
    }

    bool WaitCursorShown() override {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        return cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    }

  private:
    QtMainDialog window_{dialog_};
};

}  // namespace

std::unique_ptr<DialogDriver> DialogDriver::Open() {
    return std::make_unique<QtDialogDriver>();
}

}  // namespace tandrel::test

// One QApplication for the whole run, on the offscreen platform, test listing included. Without
// XDG_RUNTIME_DIR Qt would make and leave /tmp/runtime-USER: the suite's own folder, private as
// Qt wants it, takes its place. The real file dialog keeps its history in the configuration
// folder (~/.config/QtProject.conf): the suite's own one, so the user's home is left alone.
int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::filesystem::path config = std::filesystem::absolute("xdg-config");
    std::filesystem::create_directory(config);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(QString::fromStdString(config.string())));
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const std::filesystem::path runtime = std::filesystem::absolute("xdg-runtime");
        std::filesystem::create_directory(runtime);
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(QString::fromStdString(runtime.string())));
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
