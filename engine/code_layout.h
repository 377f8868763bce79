// Where a PE image keeps its x86 code: the machine and the executable sections' raw data, read
// from the file's own headers.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/section_map.h"
#include "platform/input_file.h"

namespace tandrel {

enum class CodeMachine { kNone, kX86, kX64 };

struct CodeSection {
    uint32_t rawBegin = 0;  // file offsets of the bytes a linear sweep covers: [rawBegin, rawEnd)
    uint32_t rawEnd = 0;
    uint32_t virtualAddress = 0;
    bool executable = false;  // IMAGE_SCN_MEM_EXECUTE or IMAGE_SCN_CNT_CODE
};

class CodeLayout {
  public:
    // Reads the headers of file: false, with the layout empty, when it is no PE image (by the
    // rules the report's RVA follows) or cannot be read. An image of another machine is read,
    // with machine kNone.
    bool Read(const InputFile& file);

    CodeMachine Machine() const { return machine_; }
    // The image base plus rva, 32-bit wrapping for PE32.
    uint64_t Va(uint32_t rva) const {
        return is64_ ? imageBase_ + rva : static_cast<uint32_t>(imageBase_ + rva);
    }
    // The section whose raw data translates offset (the first in table order that holds it, as
    // for the report's RVA), or null. O(log n) in the sections.
    const CodeSection* SectionAt(uint64_t offset) const;

  private:
    CodeMachine machine_ = CodeMachine::kNone;
    bool is64_ = false;
    uint64_t imageBase_ = 0;
    std::vector<CodeSection> sections_;  // in table order
    SectionMap sectionMap_;              // of sections_
};

}  // namespace tandrel
