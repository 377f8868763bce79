// Opening a file that only root and the user could have put where it is, for code the program
// is about to run.
#pragma once

#include <string>

#include "platform/trouble.h"
#include "ui/qt/unique_fd.h"

namespace tandrel {

// Opens the absolute path for reading one component at a time from the root, checking what it
// opens: folders and links owned by root or the user and writable by nobody else (sticky folders,
// and the groups root, "staff" and the user's primary group when the user is its only member,
// aside), a regular file only its owner writes.
UniqueFd OpenTrustedFile(const std::string& path, Trouble& trouble);

}  // namespace tandrel
