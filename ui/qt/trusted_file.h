// Opening a file that only root and the user could have put where it is, for code the program
// is about to run.
#pragma once

#include <string>

#include "platform/trouble.h"
#include "ui/qt/unique_fd.h"

namespace tandrel {

// Opens path (absolute) for reading, walking it from the root one opened component at a time, so
// what is checked is what is opened. Every folder on the way must be owned by root or the user
// (the real user id), writable by others only when sticky, and writable by its group only when
// the group is root's, the user's primary group or "staff". A symbolic link is followed only when
// it is owned by root or the user. The file must be a regular one, owned by root or the user and
// writable by its owner alone; it is opened without blocking, so a FIFO cannot hang the caller.
// Otherwise the result is not valid and trouble holds path and the reason.
UniqueFd OpenTrustedFile(const std::string& path, Trouble& trouble);

}  // namespace tandrel
