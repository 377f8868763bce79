// Renders the main dialog after one comparison to a PNG: dialog_screenshot FIRST SECOND OUT.png
#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPixmap>
#include <cstdio>

#include "res/resource.h"
#include "ui/diff_dialog.h"
#include "ui/qt/qt_main_dialog.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FIRST SECOND OUT.png\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    tandrel::DiffDialog dialog;
    tandrel::QtMainDialog window(dialog);
    qobject_cast<QLineEdit*>(window.Control(IDC_FIRST_PATH))
        ->setText(QString::fromLocal8Bit(argv[1]));
    qobject_cast<QLineEdit*>(window.Control(IDC_SECOND_PATH))
        ->setText(QString::fromLocal8Bit(argv[2]));
    window.show();
    qobject_cast<QAbstractButton*>(window.Control(IDC_COMPARE))->click();
    QApplication::processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[3]), "PNG") ? 0 : 1;
}
