#include "ui/win32/win32_file_dialog.h"

#include <commdlg.h>

#include <cstring>
#include <vector>

namespace tandrel {
namespace {

// Room for the longest path the ANSI calls can take, not just MAX_PATH, so that deep folders
// are not refused.
constexpr DWORD kPathBufferSize = 32768;

}  // namespace

bool RunWin32FileDialog(HWND owner, const FileDialogRequest& request, std::string& path) {
    std::vector<char> file(kPathBufferSize, '\0');
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = request.filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = kPathBufferSize;
    dialog.lpstrTitle = request.title;
    // No must-exist flags: a name typed for a file that does not exist yet is taken as it is. No
    // overwrite prompt either: a save never replaces a file, so asking would mislead.
    dialog.Flags = OFN_HIDEREADONLY | OFN_EXPLORER;
    const BOOL chosen = request.kind == FileDialogKind::kSave ? ::GetSaveFileNameA(&dialog)
                                                              : ::GetOpenFileNameA(&dialog);
    if (!chosen) {
        return false;
    }
    path = file.data();
    return true;
}

}  // namespace tandrel
