// A file this run creates and writes whole, or removes again. It is created only where no name
// exists yet (a dangling link included), and until Keep it is removed on every failure, by the
// destructor, and on Linux also when the run is ended by SIGINT, SIGTERM or SIGHUP.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/trouble.h"

namespace tandrel {

// Faults that tests cannot make for real when they run as root: each makes one step fail as
// the system would.
struct ReplacementSeam {
    bool failCreate = false;  // creating the new file fails: a read-only file system
    bool failWrite = false;   // writing the new file fails: no space left
    // Runs with TARGET's path just before TARGET is checked a last time and replaced.
    std::function<void(const std::string&)> beforeReplace;
};

class NewFile {
  public:
    explicit NewFile(const ReplacementSeam* seam = nullptr) : seam_(seam) {}
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() { Remove(); }

    // Creates path itself, with the permission bits mode less the umask (Linux).
    bool Create(const std::string& path, uint32_t mode, Trouble& trouble);
    // Creates ".NAME.tandrel-XXXXXX" with a unique tail in target's folder, NAME being target's
    // file name, readable and writable by its owner only. Failures name the folder, and write
    // failures target: the new file's name means nothing to the user.
    bool CreateBeside(const std::string& target, Trouble& trouble);
    bool Write(const void* data, size_t count, Trouble& trouble);
    // Flushes the content to the disk, and closes the file: a failed write can show only there.
    bool FlushAndClose(Trouble& trouble);
    // The descriptor (a Win32 HANDLE on Windows) until FlushAndClose.
    intptr_t Handle() const { return handle_; }
    const std::string& Path() const { return path_; }
    // Renames the closed file to to: over what is there, or (replace false) only where nothing
    // is. Linux: signals are held meanwhile, so none removes a name that is no longer ours.
    bool RenameTo(const std::string& to, bool replace, int& error);
    // No longer ours to remove: kept under its name.
    void Keep();
    void Remove();

    static constexpr intptr_t kNoHandle = -1;

  private:
    bool Fail(Trouble& trouble, int error);

    const ReplacementSeam* seam_;
    std::string path_;   // empty until created, and once kept or removed
    std::string shown_;  // the name messages give
    bool beside_ = false;
    intptr_t handle_ = kNoHandle;
};

// The folder part of path as messages name it: "." for a bare name, "/" for the root.
std::string FolderShownOf(const std::string& path);

}  // namespace tandrel
