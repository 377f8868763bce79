// Times Compare in the real Qt dialog on pairs whose reports run past the 300,000-character
// stop: from the click to the box painted with its text and bars. Prints milliseconds.
// Usage: dialog_stop_bench [runs]   (QT_QPA_PLATFORM=offscreen needs no display)
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/dialog_stop_timing.h"
#include "res/resource.h"
#include "ui/diff_dialog.h"
#include "ui/qt/qt_main_dialog.h"

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QApplication app(argc, argv);
    // Many short records, and one run whose hex line alone fills the box.
    const std::vector<tandrel::bench::StopPair> pairs = {
        tandrel::bench::ManyRecordsPair(),
        {"one 150,000-byte run", tandrel::bench::Bytes(150000, 0),
         tandrel::bench::Bytes(150000, 0x5A)},
    };
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("tandrel-dialog-bench-" + std::to_string(getpid()));
    return tandrel::bench::TimeDialogStops(
        pairs, runs, dir, [](const std::string& a, const std::string& b, int& boxLength) {
            tandrel::DiffDialog dialog;
            tandrel::QtMainDialog window(dialog);
            qobject_cast<QLineEdit*>(window.Control(IDC_FIRST_PATH))
                ->setText(QString::fromStdString(a));
            qobject_cast<QLineEdit*>(window.Control(IDC_SECOND_PATH))
                ->setText(QString::fromStdString(b));
            window.show();
            QApplication::processEvents();
            auto* compare = qobject_cast<QAbstractButton*>(window.Control(IDC_COMPARE));
            auto* result = qobject_cast<QPlainTextEdit*>(window.Control(IDC_RESULT));
            QElapsedTimer timer;
            timer.start();
            compare->click();
            result->repaint();
            QApplication::processEvents();
            const double elapsed = static_cast<double>(timer.nsecsElapsed()) / 1e6;
            boxLength = window.Host().GetItemTextLength(IDC_RESULT);
            return elapsed;
        });
}
