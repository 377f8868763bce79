// What the dynamic loader is given only after it is checked: the bytes of a would-be dialog
// module.
#pragma once

#include <cstddef>
#include <string>

namespace tandrel {

// Why image (size bytes) must not go to the dynamic loader, or empty: not an ELF shared object of
// this program's machine and class, a segment past its end (the loader would fault), or no entry
// in its dynamic symbols (checked before any of its code can run).
std::string ModuleImageFault(const unsigned char* image, size_t size, const char* entry);

}  // namespace tandrel
