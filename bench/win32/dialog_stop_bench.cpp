// Times Compare in the real Win32 dialog on pairs whose reports run past the 300,000-character
// stop: from the click to the box painted with its text and bars. Prints milliseconds.
// Usage: win32_dialog_stop_bench [runs]   (default 3; under Wine it needs an X display):
//   xvfb-run -a cmake/wine_run.sh $PWD/build/mingw-x86_64/wine-prefix
//       build/mingw-x86_64/bench/win32/win32_dialog_stop_bench.exe   (one command line)
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/dialog_stop_timing.h"
#include "res/resource.h"
#include "ui/diff_dialog.h"
#include "ui/win32/win32_main_dialog.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
    using tandrel::bench::Bytes;
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    // Many short records, and one run whose first hex line alone (three characters a byte) is
    // 300,000 characters long: once of letters, once of digit pairs, which Wine's edit control
    // lays out far more slowly.
    const std::vector<tandrel::bench::StopPair> pairs = {
        tandrel::bench::ManyRecordsPair(),
        {"one 300,000-character line of \"AA \"", Bytes(100000, '\xAA'), Bytes(100000, '\xBB')},
        {"one 300,000-character line of \"00 \"", Bytes(100000, 0), Bytes(100000, 0x5A)},
    };
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() /
        ("tandrel-dialog-bench-" + std::to_string(::GetCurrentProcessId()));
    return tandrel::bench::TimeDialogStops(
        pairs, runs, dir, [](const std::string& a, const std::string& b, int& boxLength) {
            tandrel::DiffDialog dialog;
            tandrel::Win32MainDialog window(dialog);
            const HWND main = window.Create();
            if (main == nullptr) {
                return -1.0;
            }
            ::SetDlgItemTextA(main, IDC_FIRST_PATH, a.c_str());
            ::SetDlgItemTextA(main, IDC_SECOND_PATH, b.c_str());
            Pump();
            LARGE_INTEGER start;
            LARGE_INTEGER end;
            ::QueryPerformanceCounter(&start);
            ::SendDlgItemMessageA(main, IDC_COMPARE, BM_CLICK, 0, 0);
            ::UpdateWindow(::GetDlgItem(main, IDC_RESULT));
            Pump();
            ::QueryPerformanceCounter(&end);
            boxLength = ::GetWindowTextLengthA(::GetDlgItem(main, IDC_RESULT));
            return Milliseconds(start, end);
        });
}
