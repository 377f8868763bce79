// What a folder holds, listed for a walk that never follows a link and never opens anything but
// folders: each entry's name, its kind as the entry itself is (lstat), and its size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/trouble.h"

namespace tandrel {

enum class EntryKind { kFile, kFolder, kLink, kOther };

struct FolderEntry {
    std::string name;
    EntryKind kind = EntryKind::kOther;
    uint64_t size = 0;  // a regular file's, 0 for the others
};

// The entries of folder, "." and ".." left out, in byte order of their names (the same order on
// every platform and locale). False, with the reason, when the folder cannot be listed.
bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries, Trouble& trouble);

// What the entry at path is, without following a link; false, with the reason, when it cannot
// be told (missing, no permission on the folder).
bool EntryKindOf(const std::string& path, EntryKind& kind, Trouble& trouble);

// The text a symbolic link holds, as it holds it. False, with the reason, when it cannot be read.
bool ReadLinkText(const std::string& path, std::string& text, Trouble& trouble);

// True when path leads to a folder, through links: a folder named on the command line is walked
// even when it is reached through a link.
bool PathIsFolder(const std::string& path);

// The size of the regular file at path, through links; 0 when it cannot be had.
uint64_t FileSizeOf(const std::string& path);

// folder and name joined with the platform's separator (none added after one already there).
std::string JoinPath(const std::string& folder, const std::string& name);

// True when the folder at inner is folder outer or lies inside it, telling them by what they are
// (device and inode; volume and file index), not by name. False when either cannot be looked at.
bool FolderIsWithin(const std::string& inner, const std::string& outer);

}  // namespace tandrel
