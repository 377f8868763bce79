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

    // The bytes from at to the sweep's end, at most kLongestInstruction of them, through the
    // window; false when the file cannot be read.
    bool BytesAt(uint64_t at, const uint8_t*& bytes, size_t& count) {
        const uint64_t end = section->rawEnd;
        const size_t wanted =
            static_cast<size_t>(std::min<uint64_t>(kLongestInstruction, end - at));
        if (at < windowStart || at + wanted > windowStart + windowCount) {
            const size_t fill = static_cast<size_t>(std::min<uint64_t>(kWindowSize, end - at));
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

bool CodeDecoder::List(int side, uint64_t offset, size_t length, CodeListing& out) {
    out.clear();
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
    const ZydisDecoder& decoder = tools_->decoders[layout->Machine() == CodeMachine::kX64];
    const uint64_t end = std::min<uint64_t>(offset + length, section->rawEnd);
    uint64_t at = sweep.next;
    while (at < end) {
        const uint8_t* bytes = nullptr;
        size_t count = 0;
        if (!sweep.BytesAt(at, bytes, count)) {
            out.clear();
            sweep.section = nullptr;
            return false;
        }
        if (count == 0) {
            break;  // the file ended early: the comparison says so
        }
        ZydisDecoderContext context;
        ZydisDecodedInstruction decoded;
        bool ok =
            ZYAN_SUCCESS(ZydisDecoderDecodeInstruction(&decoder, &context, bytes, count, &decoded));
        const size_t size = ok ? decoded.length : 1;
        if (at + size > offset) {
            Instruction& listed = out.emplace_back();
            listed.offset = at;
            listed.rva = section->virtualAddress + static_cast<uint32_t>(at - section->rawBegin);
            listed.va = layout->Va(listed.rva);
            listed.length = static_cast<uint8_t>(size);
            std::memcpy(listed.bytes, bytes, size);
            if (ok) {
                ZydisDecodedOperand operands[ZYDIS_MAX_OPERAND_COUNT];
                ok = ZYAN_SUCCESS(ZydisDecoderDecodeOperands(&decoder, &context, &decoded, operands,
                                                             decoded.operand_count)) &&
                     ZYAN_SUCCESS(ZydisFormatterFormatInstruction(
                         &tools_->formatter, &decoded, operands, decoded.operand_count_visible,
                         listed.text, sizeof listed.text, listed.va, nullptr));
            }
            listed.textLength =
                static_cast<uint8_t>(ok ? std::strlen(listed.text) : sizeof kUndecodable - 1);
            if (!ok) {
                std::memcpy(listed.text, kUndecodable, sizeof kUndecodable);
            }
            listed.decoded = ok;
        }
        at += size;
    }
    // The next run may start inside the last instruction listed, which reaches past this one.
    sweep.next = at > end && !out.empty() ? out.back().offset : at;
    return true;
}

}  // namespace tandrel
