// The instructions under a run of differing bytes, decoded in each file on its own. Boundaries
// come from a linear sweep from the start of the run's section, as a disassembler's listing of
// the section has them; the sweep goes only as far as the runs need and resumes where it
// stopped, through a small window of the file, so memory stays flat however large the section.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/code_layout.h"
#include "engine/code_listing.h"
#include "platform/input_file.h"

namespace tandrel {

class CodeDecoder {
  public:
    CodeDecoder();
    ~CodeDecoder();
    CodeDecoder(const CodeDecoder&) = delete;
    CodeDecoder& operator=(const CodeDecoder&) = delete;

    // Reads the headers of both files. A second file that is no image is decoded through the
    // first file's layout.
    void Open(const InputFile& first, const InputFile& second);

    // Sets listing to the instructions of file side (0 or 1) that overlap [offset, offset +
    // length) within the section where offset lies, sweeping up to the first of them; false
    // when offset lies outside the x86 code of an image. A file that cannot be read there lists
    // what it could.
    // Cheapest when each side's offsets come in increasing order; an offset before the last one
    // asked sweeps its section again.
    bool Find(int side, uint64_t offset, size_t length, CodeListing& listing);

  private:
    friend class CodeListing;
    struct Side;
    struct Tools;
    struct Step;

    // Decodes the instruction at offset at of section in side's file: its length (1 for a byte
    // that does not decode), and for a listing (not sweep) all the formatter needs; false when
    // the file cannot be read or has ended.
    bool Decode(Side& side, const CodeSection& section, uint64_t at, bool sweep, Step& step);
    bool Walk(const CodeListing& listing, const CodeListing::Visit& visit);
    void FollowOther(int side, const CodeSection& section, uint64_t offset);
    bool SameBytes(Side& first, Side& second, uint64_t from, uint64_t to);

    std::unique_ptr<Tools> tools_;
    std::vector<std::unique_ptr<Side>> sides_;
};

}  // namespace tandrel
