// The Qt dialog module's entry: the program loads the module, and with it Qt, only to show the
// dialog.
#include <QApplication>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

#include "ui/dialog_module.h"
#include "ui/qt/qt_main_dialog.h"

namespace {

// Qt would print its complaint and abort when it finds no usable platform; while it starts, its
// messages are dropped and a fatal one ends the process with status 1, told on one line.
void StartupMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "tandrel: cannot open the dialog: %s\n",
                     message.simplified().toLocal8Bit().constData());
        std::_Exit(1);
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int TandrelRunDialog(int argc, char** argv) {
    // Qt is given the program name only: the one token the dialog run may have is a file name,
    // never an option for Qt.
    static char fallbackName[] = "tandrel";
    static int qtArgc = 1;
    static char* qtArgv[] = {argc > 0 && argv[0] != nullptr ? argv[0] : fallbackName, nullptr};
    const QtMessageHandler previous = qInstallMessageHandler(StartupMessageHandler);
    QApplication app(qtArgc, qtArgv);
    qInstallMessageHandler(previous);
    // Ties the window to the installed menu entry, whose icon and name the desktop shows.
    QGuiApplication::setDesktopFileName("io.github.tandrel.tandrel");
    tandrel::DiffDialog dialog;
    tandrel::QtMainDialog window(dialog);
    window.exec();
    return 0;
}
