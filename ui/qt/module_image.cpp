#include "ui/qt/module_image.h"

#include <link.h>

#include <cstring>

// The program's own ELF header, placed by the linker.
extern "C" const ElfW(Ehdr) __ehdr_start __attribute__((visibility("hidden")));

namespace tandrel {
namespace {

// Reads tables of the image: Holds checks that count entries of entrySize bytes at offset lie
// within it, At reads one of them.
class ImageView {
  public:
    ImageView(const unsigned char* image, size_t size) : image_(image), size_(size) {}

    bool Holds(uint64_t offset, uint64_t count, uint64_t entrySize) const {
        return offset <= size_ && count <= (size_ - offset) / entrySize;
    }
    // The index-th T of the table at offset; the caller has checked that it lies within.
    template <class T>
    T At(uint64_t offset, uint64_t index = 0) const {
        T value;
        std::memcpy(&value, image_ + offset + index * sizeof(T), sizeof(T));
        return value;
    }
    const unsigned char* Bytes(uint64_t offset) const { return image_ + offset; }

  private:
    const unsigned char* image_;
    size_t size_;
};

// Whether the dynamic symbol table defines entry as a function.
bool DefinesEntry(const ImageView& view, const ElfW(Ehdr) & header, const char* entry) {
    const size_t entryLength = std::strlen(entry) + 1;
    for (size_t i = 0; i < header.e_shnum; ++i) {
        const auto symbols = view.At<ElfW(Shdr)>(header.e_shoff, i);
        if (symbols.sh_type != SHT_DYNSYM || symbols.sh_link >= header.e_shnum) {
            continue;
        }
        const auto names = view.At<ElfW(Shdr)>(header.e_shoff, symbols.sh_link);
        const uint64_t count = symbols.sh_size / sizeof(ElfW(Sym));
        if (!view.Holds(symbols.sh_offset, count, sizeof(ElfW(Sym))) ||
            !view.Holds(names.sh_offset, names.sh_size, 1)) {
            return false;
        }
        for (uint64_t k = 0; k < count; ++k) {
            const auto symbol = view.At<ElfW(Sym)>(symbols.sh_offset, k);
            if (symbol.st_shndx != SHN_UNDEF && ELF64_ST_TYPE(symbol.st_info) == STT_FUNC &&
                symbol.st_name < names.sh_size && names.sh_size - symbol.st_name >= entryLength &&
                std::memcmp(view.Bytes(names.sh_offset + symbol.st_name), entry, entryLength) ==
                    0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

std::string ModuleImageFault(const unsigned char* image, size_t size, const char* entry) {
    const ImageView view(image, size);
    if (!view.Holds(0, 1, sizeof(ElfW(Ehdr))) || std::memcmp(image, ELFMAG, SELFMAG) != 0) {
        return "not an ELF file";
    }
    const auto header = view.At<ElfW(Ehdr)>(0);
    if (header.e_ident[EI_CLASS] != __ehdr_start.e_ident[EI_CLASS] ||
        header.e_ident[EI_DATA] != __ehdr_start.e_ident[EI_DATA] ||
        header.e_machine != __ehdr_start.e_machine) {
        return "not built for this machine";
    }
    if (header.e_type != ET_DYN) {
        return "not a shared object";
    }
    if (header.e_phentsize != sizeof(ElfW(Phdr)) ||
        !view.Holds(header.e_phoff, header.e_phnum, sizeof(ElfW(Phdr)))) {
        return "cut short: its program headers end past its end";
    }
    for (size_t i = 0; i < header.e_phnum; ++i) {
        const auto segment = view.At<ElfW(Phdr)>(header.e_phoff, i);
        if (segment.p_type == PT_LOAD && !view.Holds(segment.p_offset, segment.p_filesz, 1)) {
            return "cut short: a loadable segment ends past its end";
        }
    }
    if (header.e_shentsize != sizeof(ElfW(Shdr)) ||
        !view.Holds(header.e_shoff, header.e_shnum, sizeof(ElfW(Shdr)))) {
        return "cut short: its section headers end past its end";
    }
    if (!DefinesEntry(view, header, entry)) {
        return std::string("not a dialog module of this version (it has no entry ") + entry + ")";
    }
    return {};
}

}  // namespace tandrel
