#include "engine/code_decoder.h"

#include <Zydis/Zydis.h>

#include <algorithm>
#include <cstring>

#include "engine/instruction_length.h"

namespace tandrel {
namespace {

constexpr size_t kLongestInstruction = ZYDIS_MAX_INSTRUCTION_LENGTH;
static_assert(kLongestInstruction == sizeof(Instruction::bytes));
// The bytes of a file the sweep holds at once.
constexpr size_t kWindowSize = 64 * 1024;
constexpr char kUndecodable[] = "(bad)";

}  // namespace

// The decoders of both machines and the one formatter; Zydis keeps no state between calls. The
// sweep needs lengths only, which the minimal mode finds with less work.
struct CodeDecoder::Tools {
    ZydisDecoder sweepers[2];  // 32-bit, 64-bit
    ZydisDecoder decoders[2];
    ZydisFormatter formatter;
};

struct CodeDecoder::Step {
    const uint8_t* bytes = nullptr;
    ZydisDecoderContext context;
    ZydisDecodedInstruction decoded;
    bool ok = false;
    size_t size = 0;
};

struct CodeDecoder::Side {
    const InputFile* file = nullptr;
    CodeLayout ownLayout;
    const CodeLayout* layout = nullptr;
    // Where the sweep stands: its section and the offset of the next instruction to decode.
    const CodeSection* section = nullptr;
    uint64_t next = 0;
    // The last run found: where its sweep began (from), its first instruction, and its end.
    bool found = false;
    uint64_t offset = 0;
    uint64_t from = 0;
    uint64_t start = 0;
    uint64_t end = 0;
    std::vector<uint8_t> window = std::vector<uint8_t>(kWindowSize);
    uint64_t windowStart = 0;
    size_t windowCount = 0;

    // The bytes from at to end, at most kLongestInstruction of them, through the window; false
    // when the file cannot be read.
    bool BytesAt(uint64_t at, uint64_t end, const uint8_t*& bytes, size_t& count) {
        const auto wanted = static_cast<size_t>(std::min<uint64_t>(kLongestInstruction, end - at));
        if (at < windowStart || at + wanted > windowStart + windowCount) {
            const auto fill = static_cast<size_t>(std::min<uint64_t>(kWindowSize, end - at));
            size_t got = 0;
            if (!file->ReadAt(at, window.data(), fill, got)) {
                windowCount = 0;
                return false;
            }
            windowStart = at;
            windowCount = got;
        }
        bytes = window.data() + (at - windowStart);
        count = static_cast<size_t>(std::min<uint64_t>(wanted, windowStart + windowCount - at));
        return true;
    }
};

bool CodeListing::ForEach(const Visit& visit) const {
    return decoder_ == nullptr || decoder_->Walk(*this, visit);
}

CodeDecoder::CodeDecoder() : tools_(std::make_unique<Tools>()) {
    ZydisDecoderInit(&tools_->decoders[0], ZYDIS_MACHINE_MODE_LEGACY_32, ZYDIS_STACK_WIDTH_32);
    ZydisDecoderInit(&tools_->decoders[1], ZYDIS_MACHINE_MODE_LONG_64, ZYDIS_STACK_WIDTH_64);
    for (int k = 0; k < 2; ++k) {
        tools_->sweepers[k] = tools_->decoders[k];
        ZydisDecoderEnableMode(&tools_->sweepers[k], ZYDIS_DECODER_MODE_MINIMAL, ZYAN_TRUE);
    }
    ZydisFormatterInit(&tools_->formatter, ZYDIS_FORMATTER_STYLE_INTEL);
}

CodeDecoder::~CodeDecoder() = default;

void CodeDecoder::Open(const InputFile& first, const InputFile& second) {
    sides_.clear();
    for (const InputFile* file : {&first, &second}) {
        auto side = std::make_unique<Side>();
        side->file = file;
        if (side->ownLayout.Read(*file)) {
            side->layout = &side->ownLayout;
        } else if (!sides_.empty()) {
            side->layout = sides_[0]->layout;
        }
        sides_.push_back(std::move(side));
    }
}

bool CodeDecoder::Decode(Side& side, const CodeSection& section, uint64_t at, bool sweep,
                         Step& step) {
    size_t count = 0;
    if (!side.BytesAt(at, section.rawEnd, step.bytes, count) || count == 0) {
        return false;  // a file that ended early: the comparison says so
    }
    const bool x64 = side.layout->Machine() == CodeMachine::kX64;
    if (sweep) {
        step.size = QuickInstructionLength(step.bytes, count, x64);
        if (step.size != 0) {
            step.ok = true;
            return true;
        }
    }
    const ZydisDecoder& decoder = sweep ? tools_->sweepers[x64] : tools_->decoders[x64];
    step.ok = ZYAN_SUCCESS(
        ZydisDecoderDecodeInstruction(&decoder, &step.context, step.bytes, count, &step.decoded));
    step.size = step.ok ? step.decoded.length : 1;
    return true;
}

namespace {

// Whether two sections are swept alike: the same raw data and the same machine.
bool SweptAlike(const CodeSection& a, CodeMachine aMachine, const CodeSection& b,
                CodeMachine bMachine) {
    return a.rawBegin == b.rawBegin && a.rawEnd == b.rawEnd && aMachine == bMachine;
}

}  // namespace

// Both files mostly hold the same code, so one file's sweep can often stand for the other's: when
// the other file's last run was at this offset, in a section swept alike, the two sweeps are run
// in step (each over little more than the previous run) until they share a boundary past this
// file's previous run; from there, where the bytes up to the other sweep's stop are the same,
// the boundaries are too, and this sweep jumps there.
void CodeDecoder::FollowOther(int side, const CodeSection& section, uint64_t offset) {
    Side& mine = *sides_[static_cast<size_t>(side)];
    Side& other = *sides_[static_cast<size_t>(1 - side)];
    if (!other.found || other.offset != offset || other.from > offset ||
        !SweptAlike(section, mine.layout->Machine(), *other.section, other.layout->Machine())) {
        return;
    }
    Step step;
    uint64_t a = other.from;  // in the other file
    uint64_t b = mine.next;
    const uint64_t past = mine.found ? mine.end : section.rawBegin;
    // Neither sweep goes past its stop: the other's first instruction of the run, and here the
    // instruction that holds offset.
    while ((a != b || a < past) && a < other.start) {
        const bool mineBehind = b < a;
        if (!Decode(mineBehind ? mine : other, section, mineBehind ? b : a, true, step) ||
            (mineBehind && b + step.size > offset)) {
            break;
        }
        (mineBehind ? b : a) += step.size;
    }
    mine.next = b;
    if (a == b && a >= past && a <= other.start && SameBytes(other, mine, a, other.start)) {
        mine.next = other.start;
    }
}

// Whether the two files hold the same bytes in [from, to), read through their windows.
bool CodeDecoder::SameBytes(Side& first, Side& second, uint64_t from, uint64_t to) {
    for (uint64_t at = from; at < to;) {
        const auto count = static_cast<size_t>(std::min<uint64_t>(kWindowSize, to - at));
        size_t got[2] = {0, 0};
        const bool read = first.file->ReadAt(at, first.window.data(), count, got[0]) &&
                          second.file->ReadAt(at, second.window.data(), count, got[1]);
        first.windowStart = second.windowStart = at;
        first.windowCount = read ? got[0] : 0;
        second.windowCount = read ? got[1] : 0;
        if (!read || got[0] != count || got[1] != count ||
            std::memcmp(first.window.data(), second.window.data(), count) != 0) {
            return false;
        }
        at += count;
    }
    return true;
}

bool CodeDecoder::Find(int side, uint64_t offset, size_t length, CodeListing& listing) {
    listing = CodeListing();
    if (side < 0 || static_cast<size_t>(side) >= sides_.size() || length == 0) {
        return false;
    }
    Side& sweep = *sides_[static_cast<size_t>(side)];
    const CodeLayout* layout = sweep.layout;
    const CodeSection* section = layout != nullptr ? layout->SectionAt(offset) : nullptr;
    if (section == nullptr || !section->executable || layout->Machine() == CodeMachine::kNone ||
        offset >= section->rawEnd) {
        return false;
    }
    if (section != sweep.section || offset < sweep.next) {
        sweep.section = section;
        sweep.next = section->rawBegin;
        sweep.found = false;
    }
    FollowOther(side, *section, offset);
    sweep.found = false;
    const uint64_t from = sweep.next;
    Step step;
    uint64_t at = sweep.next;
    while (at < section->rawEnd) {
        if (!Decode(sweep, *section, at, true, step) || at + step.size > offset) {
            break;
        }
        at += step.size;
    }
    // The next run starts at or past this run's end, so never before its first instruction.
    sweep.next = at;
    sweep.found = true;
    sweep.offset = offset;
    sweep.from = from;
    sweep.start = at;
    sweep.end = std::min<uint64_t>(offset + length, section->rawEnd);
    listing.decoder_ = this;
    listing.section_ = section;
    listing.side_ = side;
    listing.start_ = at;
    listing.end_ = sweep.end;
    return true;
}

bool CodeDecoder::Walk(const CodeListing& listing, const CodeListing::Visit& visit) {
    Side& side = *sides_[static_cast<size_t>(listing.side_)];
    const CodeSection& section = *listing.section_;
    const ZydisDecoder& decoder = tools_->decoders[side.layout->Machine() == CodeMachine::kX64];
    Step step;
    Instruction item;
    for (uint64_t at = listing.start_; at < listing.end_; at += step.size) {
        if (!Decode(side, section, at, false, step)) {
            return true;
        }
        item.offset = at;
        item.rva = section.virtualAddress + static_cast<uint32_t>(at - section.rawBegin);
        item.va = side.layout->Va(item.rva);
        item.length = static_cast<uint8_t>(step.size);
        std::memcpy(item.bytes, step.bytes, step.size);
        bool ok = step.ok;
        if (ok) {
            ZydisDecodedOperand operands[ZYDIS_MAX_OPERAND_COUNT];
            ok =
                ZYAN_SUCCESS(ZydisDecoderDecodeOperands(&decoder, &step.context, &step.decoded,
                                                        operands, step.decoded.operand_count)) &&
                ZYAN_SUCCESS(ZydisFormatterFormatInstruction(
                    &tools_->formatter, &step.decoded, operands, step.decoded.operand_count_visible,
                    item.text, sizeof item.text, item.va, nullptr));
        }
        if (!ok) {
            std::memcpy(item.text, kUndecodable, sizeof kUndecodable);
        }
        item.textLength = static_cast<uint8_t>(std::strlen(item.text));
        item.decoded = ok;
        if (!visit(item)) {
            return false;
        }
    }
    return true;
}

}  // namespace tandrel
