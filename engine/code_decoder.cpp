#include "engine/code_decoder.h"

#include <Zydis/Zydis.h>

#include <algorithm>
#include <cstring>

namespace tandrel {
namespace {

constexpr size_t kLongestInstruction = ZYDIS_MAX_INSTRUCTION_LENGTH;
static_assert(kLongestInstruction == sizeof(Instruction::bytes));
// The bytes of a file the sweep holds at once.
constexpr size_t kWindowSize = 64 * 1024;
constexpr char kUndecodable[] = "(bad)";

}  // namespace

// The decoders of both machines and the one formatter; Zydis keeps no state between calls.
struct CodeDecoder::Tools {
    ZydisDecoder decoders[2];  // 32-bit, 64-bit
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

bool CodeDecoder::Decode(Side& side, const CodeSection& section, uint64_t at, Step& step) {
    size_t count = 0;
    if (!side.BytesAt(at, section.rawEnd, step.bytes, count) || count == 0) {
        return false;  // a file that ended early: the comparison says so
    }
    const ZydisDecoder& decoder = tools_->decoders[side.layout->Machine() == CodeMachine::kX64];
    step.ok = ZYAN_SUCCESS(
        ZydisDecoderDecodeInstruction(&decoder, &step.context, step.bytes, count, &step.decoded));
    step.size = step.ok ? step.decoded.length : 1;
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
    }
    Step step;
    uint64_t at = sweep.next;
    while (at < section->rawEnd) {
        if (!Decode(sweep, *section, at, step) || at + step.size > offset) {
            break;
        }
        at += step.size;
    }
    // The next run starts at or past this run's end, so never before its first instruction.
    sweep.next = at;
    listing.decoder_ = this;
    listing.section_ = section;
    listing.side_ = side;
    listing.start_ = at;
    listing.end_ = std::min<uint64_t>(offset + length, section->rawEnd);
    return true;
}

bool CodeDecoder::Walk(const CodeListing& listing, const CodeListing::Visit& visit) {
    Side& side = *sides_[static_cast<size_t>(listing.side_)];
    const CodeSection& section = *listing.section_;
    const ZydisDecoder& decoder = tools_->decoders[side.layout->Machine() == CodeMachine::kX64];
    Step step;
    Instruction item;
    for (uint64_t at = listing.start_; at < listing.end_; at += step.size) {
        if (!Decode(side, section, at, step)) {
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
