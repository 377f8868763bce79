#include "platform/folder_walk.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "platform/win32/windows_reason.h"

namespace tandrel {
namespace {

// A reparse point (a symbolic link or a junction) is a link: it is never walked into.
EntryKind KindOfAttributes(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        return EntryKind::kLink;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return EntryKind::kFolder;
    }
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
        return EntryKind::kOther;
    }
    return EntryKind::kFile;
}

// The layout of a symbolic link's or a junction's reparse data (ntifs.h, not in the user headers).
struct LinkReparseData {
    ULONG tag;
    USHORT dataLength;
    USHORT reserved;
    USHORT substituteNameOffset;
    USHORT substituteNameLength;
    USHORT printNameOffset;
    USHORT printNameLength;
};

}  // namespace

bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, Trouble& trouble) {
    entries.clear();
    WIN32_FIND_DATAA found;
    const HANDLE find = ::FindFirstFileA(JoinPath(folder, "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            return true;  // an empty root of a drive
        }
        trouble.Set(folder, WindowsReason(error));
        return false;
    }
    do {
        const std::string name = found.cFileName;
        if (name == "." || name == "..") {
            continue;
        }
        const EntryKind kind = KindOfAttributes(found.dwFileAttributes);
        entries.push_back({name, kind,
                           kind == EntryKind::kFile
                               ? (uint64_t{found.nFileSizeHigh} << 32 | found.nFileSizeLow)
                               : 0});
    } while (::FindNextFileA(find, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(find);
    if (error != ERROR_NO_MORE_FILES) {
        trouble.Set(folder, WindowsReason(error));
        return false;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return true;
}

bool EntryKindOf(const std::string& path, EntryKind& kind, Trouble& trouble) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        trouble.Set(path, WindowsReason(::GetLastError()));
        return false;
    }
    kind = KindOfAttributes(attributes);
    return true;
}

bool ReadLinkText(const std::string& path, std::string& text, Trouble& trouble) {
    const HANDLE link = ::CreateFileA(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE) {
        trouble.Set(path, WindowsReason(::GetLastError()));
        return false;
    }
    std::vector<unsigned char> data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    const BOOL ok = ::DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                      static_cast<DWORD>(data.size()), &got, nullptr);
    const DWORD error = ::GetLastError();
    ::CloseHandle(link);
    if (!ok || got < sizeof(LinkReparseData)) {
        trouble.Set(path, WindowsReason(ok ? ERROR_INVALID_DATA : error));
        return false;
    }
    LinkReparseData head;
    std::memcpy(&head, data.data(), sizeof head);
    // A symbolic link's names follow a flags word; a junction's follow the offsets directly.
    size_t names = sizeof head;
    if (head.tag == IO_REPARSE_TAG_SYMLINK) {
        names += sizeof(ULONG);
    } else if (head.tag != IO_REPARSE_TAG_MOUNT_POINT) {
        text.clear();  // another kind of reparse point: no target text to tell
        return true;
    }
    const size_t begin = names + head.printNameOffset;
    if (begin + head.printNameLength > got) {
        trouble.Set(path, WindowsReason(ERROR_INVALID_DATA));
        return false;
    }
    std::wstring wide(head.printNameLength / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), data.data() + begin, wide.size() * sizeof(wchar_t));
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                            nullptr, 0, nullptr, nullptr);
    text.assign(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), bytes,
                          nullptr, nullptr);
    return true;
}

bool PathIsFolder(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

uint64_t FileSizeOf(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return 0;
    }
    return uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() &&
        (folder.back() == '\\' || folder.back() == '/' || folder.back() == ':')) {
        return folder + name;
    }
    return folder + '\\' + name;
}

bool FolderIsWithin(const std::string& inner, const std::string& outer) {
    char innerFull[MAX_PATH * 4];
    char outerFull[MAX_PATH * 4];
    if (::GetFullPathNameA(inner.c_str(), sizeof innerFull, innerFull, nullptr) == 0 ||
        ::GetFullPathNameA(outer.c_str(), sizeof outerFull, outerFull, nullptr) == 0) {
        return false;
    }
    std::string a = innerFull;
    std::string b = outerFull;
    for (std::string* s : {&a, &b}) {
        for (char& c : *s) {
            // Names on Windows volumes compare without case; ASCII is enough to tell a report
            // inside a tree in all but contrived paths.
            c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        while (s->size() > 3 && s->back() == '\\') {
            s->pop_back();
        }
    }
    return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 &&
                      (b.back() == '\\' || a[b.size()] == '\\'));
}

}  // namespace tandrel
