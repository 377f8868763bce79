#include <QApplication>
#include <QtGlobal>
#include <cstdlib>
#include <memory>

#include "ui/main_dialog.h"
#include "ui/qt/qt_main_dialog.h"

namespace tandrel {
namespace {

bool HasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Qt would print its complaint and abort when it finds no display or no usable platform;
// while it starts, its messages are dropped and a fatal one ends the process with status 1.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type == QtFatalMsg) {
        std::_Exit(1);
    }
}

}  // namespace

int RunMainDialog(int& argc, char** argv, DiffDialog& dialog) {
    // Without somewhere to show the dialog the window system cannot start. Checking first keeps
    // that failure silent, as every failure of this program is, instead of Qt's message.
    if (QApplication::instance() == nullptr && !HasEnvironment("DISPLAY") &&
        !HasEnvironment("WAYLAND_DISPLAY") && !HasEnvironment("QT_QPA_PLATFORM")) {
        return 1;
    }
    // Qt is given the program name only: the one token the dialog run may have is a file name,
    // never an option for Qt.
    static char fallbackName[] = "tandrel";
    static int qtArgc = 1;
    static char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    std::unique_ptr<QApplication> app;
    if (QApplication::instance() == nullptr) {
        const QtMessageHandler previous = qInstallMessageHandler(StartupMessageHandler);
        app = std::make_unique<QApplication>(qtArgc, qtArgv);
        qInstallMessageHandler(previous);
        // Ties the window to the installed menu entry, whose icon and name the desktop shows.
        QGuiApplication::setDesktopFileName("io.github.tandrel.tandrel");
    }
    QtMainDialog window(dialog);
    window.exec();
    return 0;
}

}  // namespace tandrel
