// What the dynamic loader is given only after it is checked: the bytes of a would-be dialog
// module.
#pragma once

#include <cstddef>
#include <string>

namespace tandrel {

// Why image (size bytes) must not be given to the dynamic loader, or empty. It must be an ELF
// shared object of this program's machine and class whose program headers and loadable segments
// lie within its bytes (the loader would fault on a segment past the end), and its dynamic
// symbol table must define the function entry, which it checks without running any of its code.
std::string ModuleImageFault(const unsigned char* image, size_t size, const char* entry);

}  // namespace tandrel
