#include "formats/patch_sinks.h"

#include <algorithm>
#include <cstring>

#include "formats/number_format.h"
#include "formats/patch_reader.h"
#include "platform/file_system.h"

namespace tandrel {
namespace {

// IPS offsets and sizes are 3 and 2 bytes; a record never starts at the offset that reads "EOF".
constexpr uint64_t kIpsLimit = 0x1000000;
constexpr size_t kIpsLongestRecord = 65535;
constexpr uint64_t kIpsEofOffset = 0x454F46;

// Two digits; the place after them may be written too (FormatHexBytes), and is written next.
char* PutByte(char* out, uint8_t value) {
    return FormatHexBytes(out, &value, 1, false);
}

// Writes lines of a byte each through room reserved for the whole run, or in parts for a run
// longer than the text's buffer.
template <typename Line>
bool WriteLines(TextBuffer& text, size_t count, size_t lineLength, Line line) {
    constexpr size_t kLinesAtOnce = 4096;
    for (size_t done = 0; done < count;) {
        const size_t now = std::min(count - done, kLinesAtOnce);
        char* out = text.Reserve(now * lineLength);
        if (out == nullptr) {
            return false;
        }
        for (size_t k = done; k < done + now; ++k) {
            out = line(out, k);
        }
        text.Commit(out);
        done += now;
    }
    return true;
}

}  // namespace

bool DifPatchSink::Begin(const ComparisonFacts& facts, Trouble&) {
    digits_ = facts.compared > 0 && facts.skips[0] + facts.compared - 1 > 0xFFFFFFFF ? 16 : 8;
    TextBuffer& text = output_.Text();
    text.Append("This difference file was created by Tandrel\n\n");
    // The name without its folders: copies of a patched file are often renamed, and the folders
    // say nothing where the patch is applied.
    const std::string_view name = FileNameOf(facts.paths[0]);
    text.Append(name.data(), name.size());
    return text.Append("\n");
}

bool DifPatchSink::Record(const DiffRecord& record) {
    // "OFFSET: OLD NEW\n"
    return WriteLines(output_.Text(), record.length, digits_ + 9, [&](char* out, size_t k) {
        out = FormatHexWidth(out, record.offset + k, digits_);
        *out++ = ':';
        *out++ = ' ';
        out = PutByte(out, record.first[k]);
        *out++ = ' ';
        out = PutByte(out, record.second[k]);
        *out++ = '\n';
        return out;
    });
}

bool DifPatchSink::End(const ComparisonSummary&, Trouble&) {
    return true;
}

bool Patch1337Sink::Begin(const ComparisonFacts& facts, Trouble& trouble) {
    if (facts.peImage == nullptr) {
        trouble.Set(facts.paths[0], "is no PE image, and the 1337 format lists RVAs");
        return false;
    }
    image_ = facts.peImage;
    path_ = facts.paths[0];
    digits_ = image_->is64 ? 16 : 8;
    TextBuffer& text = output_.Text();
    text.Append(">");
    // The name without its folders: copies of a patched file are often renamed, and the folders
    // say nothing where the patch is applied.
    const std::string_view name = FileNameOf(facts.paths[0]);
    text.Append(name.data(), name.size());
    return text.Append("\n");
}

bool Patch1337Sink::Record(const DiffRecord& record) {
    // "RVA:OLD->NEW\n"
    uint64_t missing = UINT64_MAX;
    const bool written =
        WriteLines(output_.Text(), record.length, digits_ + 8, [&](char* out, size_t k) {
            const uint64_t offset = record.offset + k;
            const uint32_t rva =
                k == 0 ? record.rva : FileOffsetToRva(*image_, static_cast<uint32_t>(offset));
            if (rva == 0 && missing == UINT64_MAX) {
                missing = offset;
            }
            out = FormatHexWidth(out, rva, digits_);
            *out++ = ':';
            out = PutByte(out, record.first[k]);
            *out++ = '-';
            *out++ = '>';
            out = PutByte(out, record.second[k]);
            *out++ = '\n';
            return out;
        });
    if (missing != UINT64_MAX) {
        fault_.Set(path_, "the difference at offset 0x" + HexText(missing) +
                              " has no RVA: it lies in no section's raw data");
        return false;
    }
    return written;
}

bool Patch1337Sink::End(const ComparisonSummary&, Trouble& trouble) {
    if (!fault_.Empty()) {
        trouble.Set(fault_.file, fault_.reason);
        return false;
    }
    return true;
}

bool IpsPatchSink::Begin(const ComparisonFacts& facts, Trouble&) {
    facts_ = &facts;
    pending_.reserve(kIpsLongestRecord);
    return output_.Text().Append("PATCH");
}

bool IpsPatchSink::Fail(uint64_t offset, const char* what) {
    fault_.Set(facts_->paths[0], std::string(what) + " at offset 0x" + HexText(offset) +
                                     " lies at or past 16 MiB, where IPS cannot reach");
    return false;
}

void IpsPatchSink::WritePending() {
    if (pending_.empty()) {
        return;
    }
    const uint8_t head[5] = {
        static_cast<uint8_t>(pendingOffset_ >> 16), static_cast<uint8_t>(pendingOffset_ >> 8),
        static_cast<uint8_t>(pendingOffset_), static_cast<uint8_t>(pending_.size() >> 8),
        static_cast<uint8_t>(pending_.size())};
    TextBuffer& text = output_.Text();
    text.Append(reinterpret_cast<const char*>(head), sizeof head);
    text.Append(reinterpret_cast<const char*>(pending_.data()), pending_.size());
    pending_.clear();
}

bool IpsPatchSink::Add(uint64_t offset, const uint8_t* bytes, size_t count) {
    if (count > 0 && offset + count > kIpsLimit) {
        return Fail(std::max(offset, kIpsLimit), "a difference");
    }
    while (count > 0) {
        const bool follows = !pending_.empty() && pendingOffset_ + pending_.size() == offset;
        if (!follows || pending_.size() == kIpsLongestRecord) {
            const bool full = follows;
            WritePending();
            pendingOffset_ = offset;
            if (offset == kIpsEofOffset) {
                // Starts a byte earlier, with the byte the file has there once patched: the
                // last byte of the record just written, or the first file's own byte, which is
                // equal to the second's or outside the compared range.
                uint8_t before = 0;
                size_t got = 0;
                if (full) {
                    before = bytes[-1];
                } else if (!facts_->inputs[0]->ReadAt(offset - 1, &before, 1, got) || got != 1) {
                    fault_.Set(facts_->paths[0], "cannot be read");
                    return false;
                }
                pendingOffset_ = offset - 1;
                pending_.push_back(before);
            }
        }
        const size_t take = std::min(count, kIpsLongestRecord - pending_.size());
        pending_.insert(pending_.end(), bytes, bytes + take);
        offset += take;
        bytes += take;
        count -= take;
    }
    return true;
}

bool IpsPatchSink::Record(const DiffRecord& record) {
    return Add(record.offset, record.second, record.length);
}

bool IpsPatchSink::Tail(uint64_t offset, const uint8_t* bytes, size_t count) {
    return fault_.Empty() && Add(offset, bytes, count);
}

bool IpsPatchSink::End(const ComparisonSummary& summary, Trouble& trouble) {
    const ComparisonFacts& facts = *facts_;
    // The size the second file is cut to, only where both compared ranges reach their file's
    // end, so the patch turns one file into the other; its longer tail came through Tail.
    const uint64_t firstEnd = facts.skips[0] + facts.lengths[0];
    const uint64_t secondEnd = facts.skips[1] + facts.lengths[1];
    const bool toTheEnds = firstEnd == facts.sizes[0] && secondEnd == facts.sizes[1];
    bool ok = fault_.Empty() && summary.complete;
    WritePending();
    const uint64_t truncation = facts.skips[0] + facts.lengths[1];
    const bool shorter = toTheEnds && facts.lengths[1] < facts.lengths[0];
    if (ok && shorter && truncation >= kIpsLimit) {
        ok = Fail(truncation, "the truncation");
    }
    output_.Text().Append("EOF");
    if (ok && shorter) {
        const uint8_t size[3] = {static_cast<uint8_t>(truncation >> 16),
                                 static_cast<uint8_t>(truncation >> 8),
                                 static_cast<uint8_t>(truncation)};
        output_.Text().Append(reinterpret_cast<const char*>(size), sizeof size);
    }
    if (!fault_.Empty()) {
        trouble.Set(fault_.file, fault_.reason);
    }
    return ok;
}

}  // namespace tandrel
