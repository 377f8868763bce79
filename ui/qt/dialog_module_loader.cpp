// The program's side of the Qt dialog module: the dialog run loads the module found at
// TANDREL_DIALOG_MODULE, relative to the program's own folder, as the build tree and every
// install lay them out, once it has checked who could have put it there and what it holds.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/trouble.h"
#include "ui/dialog_module.h"
#include "ui/main_dialog.h"
#include "ui/qt/module_image.h"
#include "ui/qt/trusted_file.h"
#include "ui/qt/unique_fd.h"

namespace tandrel {
namespace {

bool HasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The program's path from /proc/self/exe is canonical, so ".." in the module's relative path can
// be taken away by name. Empty, with the reason in trouble, when it cannot be read (no /proc).
std::string ModulePath(Trouble& trouble) {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0 || length == sizeof self) {
        trouble.Set("/proc/self/exe", SystemReason(length < 0 ? errno : ENAMETOOLONG));
        return {};
    }
    // The program's own name is the first component that ".." takes away.
    const std::string joined = std::string(self, size_t(length)) + "/../" + TANDREL_DIALOG_MODULE;
    std::vector<std::string> names;
    for (size_t start = 0, end; start <= joined.size(); start = end + 1) {
        end = joined.find('/', start);
        end = end == std::string::npos ? joined.size() : end;
        const std::string name = joined.substr(start, end - start);
        if (name == ".." && !names.empty()) {
            names.pop_back();
        } else if (!name.empty() && name != "." && name != "..") {
            names.push_back(name);
        }
    }
    std::string path;
    for (const std::string& name : names) {
        path += "/" + name;
    }
    return path;
}

// The file's bytes in sealed memory, named as the module so the process's maps still show it.
// Once sealed, nobody can change or cut short what the dynamic loader maps.
UniqueFd SealedCopy(int file, const std::string& path, Trouble& trouble) {
    UniqueFd copy(
        ::memfd_create(path.substr(path.rfind('/') + 1).c_str(), MFD_ALLOW_SEALING | MFD_CLOEXEC));
    ssize_t sent = 1;
    while (copy.Valid() && sent > 0) {
        sent = ::sendfile(copy.Get(), file, nullptr, size_t{1} << 30);
    }
    constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
    if (!copy.Valid() || sent < 0 || ::fcntl(copy.Get(), F_ADD_SEALS, kSeals) != 0) {
        trouble.Set(path, "cannot copy it: " + SystemReason(errno));
        return UniqueFd();
    }
    return copy;
}

std::string CopyFault(int copy) {
    struct stat status {};
    if (::fstat(copy, &status) != 0) {
        return SystemReason(errno);
    }
    const size_t size = size_t(status.st_size);
    void* const image = size > 0 ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, copy, 0) : nullptr;
    if (image == MAP_FAILED) {
        return SystemReason(errno);
    }
    std::string fault =
        ModuleImageFault(static_cast<const unsigned char*>(image), size, TANDREL_DIALOG_ENTRY);
    if (image != nullptr) {
        ::munmap(image, size);
    }
    return fault;
}

// The entry of the module at path, loaded from a checked copy of the file that passed the trust
// checks; null, with the reason in trouble, when any check or the dynamic loader refuses it.
DialogModuleEntry LoadDialogModule(const std::string& path, Trouble& trouble) {
    const UniqueFd file = OpenTrustedFile(path, trouble);
    const UniqueFd copy = file.Valid() ? SealedCopy(file.Get(), path, trouble) : UniqueFd();
    if (!copy.Valid()) {
        return nullptr;
    }
    if (const std::string fault = CopyFault(copy.Get()); !fault.empty()) {
        trouble.Set(path, fault);
        return nullptr;
    }
    // Never unloaded: Qt keeps state until the process ends.
    const std::string copyPath = "/proc/self/fd/" + std::to_string(copy.Get());
    void* const module = ::dlopen(copyPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* const entry = module != nullptr ? ::dlsym(module, TANDREL_DIALOG_ENTRY) : nullptr;
    if (entry == nullptr) {
        const char* error = ::dlerror();
        trouble.Set(path, error != nullptr ? error : "cannot be loaded");
        return nullptr;
    }
    return reinterpret_cast<DialogModuleEntry>(entry);
}

}  // namespace

// The dialog object the entry built is not used on Linux: the module builds its own, since it
// must share nothing but C values with the program, whose C++ runtime is another copy.
int RunMainDialog(int& argc, char** argv, DiffDialog&) {
    Trouble trouble;
    DialogModuleEntry run = nullptr;
    // Without somewhere to show the dialog the window system cannot start; nothing is loaded.
    if (!HasEnvironment("DISPLAY") && !HasEnvironment("WAYLAND_DISPLAY") &&
        !HasEnvironment("QT_QPA_PLATFORM")) {
        trouble.Set("",
                    "cannot open the dialog: no display (none of DISPLAY, WAYLAND_DISPLAY "
                    "and QT_QPA_PLATFORM is set)");
    } else if (const std::string path = ModulePath(trouble); !path.empty()) {
        run = LoadDialogModule(path, trouble);
    }
    if (run == nullptr) {
        std::fprintf(stderr, "tandrel: %s\n", trouble.Line().c_str());
        return 1;
    }
    return run(argc, argv);
}

}  // namespace tandrel
