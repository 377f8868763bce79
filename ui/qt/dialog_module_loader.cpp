// The program's side of the Qt dialog module: the dialog run loads the module found at
// TANDREL_DIALOG_MODULE, relative to the program's own folder, as the build tree and every
// install lay them out.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "ui/dialog_module.h"
#include "ui/main_dialog.h"

namespace tandrel {
namespace {

bool HasEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

std::string ModulePath() {
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0 || length == sizeof self) {
        return std::string();
    }
    std::string path(self, static_cast<size_t>(length));
    return path.erase(path.rfind('/') + 1) + TANDREL_DIALOG_MODULE;
}

}  // namespace

int RunMainDialog(int& argc, char** argv, DiffDialog& dialog) {
    // Without somewhere to show the dialog the window system cannot start. Checking first keeps
    // that failure silent, as every failure of this program is, and loads nothing for it.
    if (!HasEnvironment("DISPLAY") && !HasEnvironment("WAYLAND_DISPLAY") &&
        !HasEnvironment("QT_QPA_PLATFORM")) {
        return 1;
    }
    // Never unloaded: Qt keeps state until the process ends.
    void* const module = ::dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto run = module != nullptr
                         ? reinterpret_cast<DialogModuleEntry>(::dlsym(module, kDialogModuleEntry))
                         : nullptr;
    return run != nullptr ? run(argc, argv, dialog) : 1;
}

}  // namespace tandrel
