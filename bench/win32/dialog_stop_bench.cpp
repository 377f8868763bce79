// Times Compare in the real Win32 dialog on pairs whose reports run past the 300,000-character
// stop: from the click to the box painted with its text and bars. Prints milliseconds.
// Usage: win32_dialog_stop_bench [runs]   (default 3; under Wine it needs an X display):
//   xvfb-run -a cmake/wine_run.sh $PWD/build/mingw-x86_64/wine-prefix
//       build/mingw-x86_64/bench/win32/win32_dialog_stop_bench.exe   (one command line)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "res/resource.h"
#include "ui/diff_dialog.h"
#include "ui/win32/win32_main_dialog.h"

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

// Many short records (every other byte differs), and one run whose first hex line alone (three
// characters a byte) is 300,000 characters long: once of letters, once of digit pairs, which
// Wine's edit control lays out far more slowly.
std::vector<Pair> Pairs() {
    std::vector<Pair> pairs;
    Pair records{"100,000 one-byte runs", Bytes(200000, 0), Bytes(200000, 0)};
    for (size_t k = 0; k < records.second.size(); k += 2) {
        records.second[k] = 1;
    }
    pairs.push_back(records);
    pairs.push_back(
        {"one 300,000-character line of \"AA \"", Bytes(100000, '\xAA'), Bytes(100000, '\xBB')});
    pairs.push_back(
        {"one 300,000-character line of \"00 \"", Bytes(100000, 0), Bytes(100000, 0x5A)});
    return pairs;
}

void Pump() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("tandrel-dialog-bench-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(dir);

    int status = 0;
    for (const Pair& pair : Pairs()) {
        const std::filesystem::path a = dir / "first.bin";
        const std::filesystem::path b = dir / "second.bin";
        WriteFile(a, pair.first);
        WriteFile(b, pair.second);
        std::vector<double> times;
        int length = 0;
        for (int run = 0; run < runs; ++run) {
            tandrel::DiffDialog dialog;
            tandrel::Win32MainDialog window(dialog);
            const HWND main = window.Create();
            if (main == nullptr) {
                std::fprintf(stderr, "the dialog could not be created (no display?)\n");
                status = 1;
                break;
            }
            ::SetDlgItemTextA(main, IDC_FIRST_PATH, a.string().c_str());
            ::SetDlgItemTextA(main, IDC_SECOND_PATH, b.string().c_str());
            Pump();
            LARGE_INTEGER start;
            LARGE_INTEGER end;
            ::QueryPerformanceCounter(&start);
            ::SendDlgItemMessageA(main, IDC_COMPARE, BM_CLICK, 0, 0);
            ::UpdateWindow(::GetDlgItem(main, IDC_RESULT));
            Pump();
            ::QueryPerformanceCounter(&end);
            times.push_back(Milliseconds(start, end));
            length = ::GetWindowTextLengthA(::GetDlgItem(main, IDC_RESULT));
        }
        if (times.empty()) {
            break;
        }
        std::printf("dialog compare to the stop, %s: box %d chars, median %.1f ms (of %d:",
                    pair.name, length, Median(times), runs);
        for (double t : times) {
            std::printf(" %.1f", t);
        }
        std::printf(")\n");
    }
    std::filesystem::remove_all(dir);
    return status;
}
