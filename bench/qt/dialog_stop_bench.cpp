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
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "res/resource.h"
#include "ui/diff_dialog.h"
#include "ui/qt/qt_main_dialog.h"

namespace {

using Bytes = std::vector<char>;

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Pair {
    const char* name;
    Bytes first;
    Bytes second;
};

// Many short records (every other byte differs), and one run whose hex line alone fills the box.
std::vector<Pair> Pairs() {
    std::vector<Pair> pairs;
    Pair records{"100,000 one-byte runs", Bytes(200000, 0), Bytes(200000, 0)};
    for (size_t k = 0; k < records.second.size(); k += 2) {
        records.second[k] = 1;
    }
    pairs.push_back(records);
    Pair longRun{"one 150,000-byte run", Bytes(150000, 0), Bytes(150000, 0x5A)};
    pairs.push_back(longRun);
    return pairs;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    QApplication app(argc, argv);
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("tandrel-dialog-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    for (const Pair& pair : Pairs()) {
        const std::filesystem::path a = dir / "first.bin";
        const std::filesystem::path b = dir / "second.bin";
        WriteFile(a, pair.first);
        WriteFile(b, pair.second);
        std::vector<double> times;
        int length = 0;
        for (int run = 0; run < runs; ++run) {
            tandrel::DiffDialog dialog;
            tandrel::QtMainDialog window(dialog);
            qobject_cast<QLineEdit*>(window.Control(IDC_FIRST_PATH))
                ->setText(QString::fromStdString(a.string()));
            qobject_cast<QLineEdit*>(window.Control(IDC_SECOND_PATH))
                ->setText(QString::fromStdString(b.string()));
            window.show();
            QApplication::processEvents();
            auto* compare = qobject_cast<QAbstractButton*>(window.Control(IDC_COMPARE));
            auto* result = qobject_cast<QPlainTextEdit*>(window.Control(IDC_RESULT));
            QElapsedTimer timer;
            timer.start();
            compare->click();
            result->repaint();
            QApplication::processEvents();
            times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            length = window.Host().GetItemTextLength(IDC_RESULT);
        }
        std::printf("dialog compare to the stop, %s: box %d chars, median %.1f ms (of %d:",
                    pair.name, length, Median(times), runs);
        for (double t : times) {
            std::printf(" %.1f", t);
        }
        std::printf(")\n");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
