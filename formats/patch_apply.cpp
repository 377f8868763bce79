#include "formats/patch_apply.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/pe_image.h"
#include "formats/number_format.h"
#include "formats/patch_reader.h"
#include "platform/file_system.h"
#include "platform/input_file.h"

namespace tandrel {
namespace {

// The patch is read, and TARGET read and written, this much at a time, through one buffer: few
// enough system calls that the copy costs what the bytes cost, and few enough pages that their
// first touch (costly where each traps to a virtual machine's host) costs nothing beside it.
constexpr size_t kBlockSize = 1048576;
// The part of TARGET whose headers give its section table, as for a comparison.
constexpr size_t kHeaderChunkSize = 16777216;

uint8_t Expected(const ByteChange& change, bool revert) {
    return revert ? change.newByte : change.oldByte;
}

uint8_t Written(const ByteChange& change, bool revert) {
    return revert ? change.oldByte : change.newByte;
}

std::string LineText(const ByteChange& change) {
    return "line " + std::to_string(change.line);
}

// An offset or RVA in a message: "0x1000001", which no reader takes for a decimal number.
std::string AddressText(uint64_t address) {
    return "0x" + HexText(address);
}

// The system's reason for the last failure where it left one (Linux), else the fallback.
std::string ReasonOr(const char* fallback) {
    return errno ? SystemReason(errno) : fallback;
}

// Reads the patch a piece at a time through buffer (kBlockSize bytes). An IPS patch, known by
// its first and last bytes, is refused whatever its lines.
bool ReadPatchFile(const std::string& path, char* buffer, Patch& patch, Trouble& trouble) {
    InputFile file;
    if (!file.Open(path.c_str(), trouble)) {
        return false;
    }
    if (file.Size() >= kPatchTextLimit) {
        trouble.Set(path, "1 GiB or larger: not read as a patch");
        return false;
    }
    PatchReader reader(file.Size());
    std::string head;
    std::string tail;
    uint64_t done = 0;
    for (bool reading = true; reading;) {
        size_t got = 0;
        if (!file.ReadAt(done, buffer, kBlockSize, got)) {
            trouble.Set(path, ReasonOr("cannot be read"));
            return false;
        }
        const std::string_view piece(buffer, got);
        head.append(piece.substr(0, 5 - head.size()));
        tail.append(piece.substr(got - std::min<size_t>(got, 6)));
        tail.erase(0, tail.size() - std::min<size_t>(tail.size(), 6));
        done += got;
        // Past a refusal only an IPS patch's end is still wanted.
        reading = got != 0 && (reader.Feed(piece) || head == "PATCH");
    }
    uint64_t size = 0;
    if (IsIpsPatch(head, tail)) {
        trouble.Set(path, "IPS patches carry no old bytes to check");
        return false;
    }
    PatchRefusal refusal;
    if (!reader.Finish(patch, refusal)) {
        const std::string line = refusal.line ? "line " + std::to_string(refusal.line) + ": " : "";
        trouble.Set(path, line + refusal.reason);
        return false;
    }
    if (done != file.Size() || !file.CurrentSize(size) || size != done) {
        trouble.Set(path, "changed while it was read");
        return false;
    }
    return true;
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

// One module applies whatever its name (copies get renamed); of several, the one named as
// TARGET is.
PatchModule* ChooseModule(Patch& patch, std::string_view targetName, std::string& reason) {
    if (patch.modules.size() == 1) {
        return &patch.modules.front();
    }
    PatchModule* chosen = nullptr;
    size_t matches = 0;
    for (PatchModule& module : patch.modules) {
        if (SameNameIgnoringCase(module.name, targetName)) {
            chosen = &module;
            ++matches;
        }
    }
    const std::string count = std::to_string(patch.modules.size());
    if (matches == 0) {
        reason = "none of its " + count + " modules is named " + std::string(targetName);
    } else if (matches > 1) {
        reason = std::to_string(matches) + " of its " + count + " modules are named " +
                 std::string(targetName);
    }
    return matches == 1 ? chosen : nullptr;
}

// Rewrites the RVAs as file offsets: the first section in table order whose virtual range holds
// the RVA for as many bytes as it has raw data, where the offset translates back to it.
bool MapRvasToOffsets(const PeImageInfo& image, std::vector<ByteChange>& changes,
                      std::string& reason) {
    for (ByteChange& change : changes) {
        const uint64_t rva = change.address;
        const std::optional<uint32_t> index = image.sectionMap.AtRva(rva);
        if (!index) {
            reason = "RVA " + AddressText(rva) + " (" + LineText(change) +
                     ") lies in no section's raw data";
            return false;
        }
        const SectionEntry& section = image.sections[*index];
        const uint64_t offset = section.pointerToRawData + (rva - section.virtualAddress);
        if (offset > UINT32_MAX || FileOffsetToRva(image, static_cast<uint32_t>(offset)) != rva) {
            reason = "RVA " + AddressText(rva) + " (" + LineText(change) +
                     ") has no file offset that translates back to it";
            return false;
        }
        change.address = offset;
    }
    std::sort(changes.begin(), changes.end(),
              [](const ByteChange& a, const ByteChange& b) { return a.address < b.address; });
    return true;
}

bool ToFileOffsets(ReplacementFile& target, const std::string& path,
                   std::vector<ByteChange>& changes, Trouble& trouble) {
    const auto count =
        static_cast<size_t>(std::min<uint64_t>(target.TargetSize(), kHeaderChunkSize));
    const std::unique_ptr<uint8_t[]> chunk(new uint8_t[count]);
    if (!target.ReadTarget(0, chunk.get(), count, trouble)) {
        return false;
    }
    PeImageInfo image;
    std::string reason = "not a PE image: a 1337 patch's RVAs have no file offsets in it";
    if (!ParsePeHeader(image, {chunk.get(), count, kHeaderChunkSize}, target.TargetSize()) ||
        !MapRvasToOffsets(image, changes, reason)) {
        trouble.Set(path, reason);
        return false;
    }
    return true;
}

struct Tally {
    uint64_t differing = 0;         // bytes that are not the expected ones
    uint64_t differingWritten = 0;  // of those, bytes that already hold what would be written
    uint64_t written = 0;           // bytes that already hold what would be written
    const ByteChange* first = nullptr;
    uint8_t firstFound = 0;
};

// Reads only the blocks that hold a change, each starting at its first change.
bool CheckBytes(ReplacementFile& target, const std::vector<ByteChange>& changes, bool revert,
                uint8_t* block, Tally& tally, Trouble& trouble) {
    uint64_t blockStart = 0;
    uint64_t blockEnd = 0;
    for (const ByteChange& change : changes) {
        if (change.address >= blockEnd) {
            blockStart = change.address;
            blockEnd = std::min(target.TargetSize(), blockStart + kBlockSize);
            if (!target.ReadTarget(blockStart, block, blockEnd - blockStart, trouble)) {
                return false;
            }
        }
        const uint8_t byte = block[change.address - blockStart];
        const bool isWritten = byte == Written(change, revert);
        tally.written += isWritten;
        if (byte != Expected(change, revert)) {
            tally.differingWritten += isWritten;
            if (tally.differing++ == 0) {
                tally.first = &change;
                tally.firstFound = byte;
            }
        }
    }
    return true;
}

std::string ByteText(uint8_t byte) {
    char pair[3];  // FormatHexBytes may write a separator after the pair
    return std::string(pair, FormatHexBytes(pair, &byte, 1, false));
}

// "1 byte", "2 bytes".
std::string ByteCount(uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

std::string MismatchReason(const Tally& tally, size_t total, bool revert) {
    const ByteChange& first = *tally.first;
    return "does not match the patch: " + std::to_string(tally.differing) + " of " +
           ByteCount(total) + (tally.differing == 1 ? " differs" : " differ") + " from its " +
           (revert ? "new" : "old") + " bytes, the first at offset " + AddressText(first.address) +
           " (" + LineText(first) + ": " + ByteText(Expected(first, revert)) + " expected, " +
           ByteText(tally.firstFound) + " found); already " + (revert ? "old" : "new") + ": " +
           std::to_string(tally.differingWritten) + " of them; nothing written";
}

// Copies all of TARGET to the new file, writing each change as its block streams past; each
// changed byte is checked again on the way, for a TARGET changed since it was checked.
bool CopyPatched(ReplacementFile& file, const std::string& path,
                 const std::vector<ByteChange>& changes, bool revert, uint8_t* block,
                 Trouble& trouble) {
    const uint64_t size = file.TargetSize();
    size_t next = 0;
    for (uint64_t at = 0; at < size;) {
        const auto count = static_cast<size_t>(std::min<uint64_t>(kBlockSize, size - at));
        if (!file.ReadTarget(at, block, count, trouble)) {
            return false;
        }
        for (; next < changes.size() && changes[next].address < at + count; ++next) {
            uint8_t& byte = block[changes[next].address - at];
            if (byte != Expected(changes[next], revert)) {
                trouble.Set(path, "changed while it was read");
                return false;
            }
            byte = Written(changes[next], revert);
        }
        if (!file.Write(block, count, trouble)) {
            return false;
        }
        at += count;
    }
    return true;
}

// The changes the patch makes to TARGET: its records, or its module for TARGET's name.
PatchModule* LoadChanges(const ApplyRequest& request, char* buffer, Patch& patch,
                         Trouble& trouble) {
    if (!ReadPatchFile(request.patchPath, buffer, patch, trouble)) {
        return nullptr;
    }
    const std::string_view targetName = FileNameOf(request.targetPath);
    std::string reason = "no byte records for " + std::string(targetName);
    PatchModule* module = ChooseModule(patch, targetName, reason);
    if (!module || module->changes.empty()) {
        trouble.Set(request.patchPath, reason);
        return nullptr;
    }
    return module;
}

}  // namespace

ApplyOutcome ApplyPatch(const ApplyRequest& request) {
    ApplyOutcome outcome;
    outcome.status = 2;
    Trouble& trouble = outcome.trouble;
    // An empty name would reach the system as a file that is not there, and the message would
    // name none.
    if (request.patchPath.empty() || request.targetPath.empty() ||
        (request.outputPath && request.outputPath->empty())) {
        trouble.Set("", request.patchPath.empty()    ? "--apply: the patch's file name is empty"
                        : request.targetPath.empty() ? "--apply: the target's file name is empty"
                                                     : "--apply: the output's file name is empty "
                                                       "(- writes the patched copy to standard "
                                                       "output)");
        return outcome;
    }
    const std::string& target = request.targetPath;
    const std::unique_ptr<uint8_t[]> block(new uint8_t[kBlockSize]);
    Patch patch;
    PatchModule* module =
        LoadChanges(request, reinterpret_cast<char*>(block.get()), patch, trouble);
    if (!module) {
        return outcome;
    }
    std::vector<ByteChange>& changes = module->changes;

    const char* output = request.outputPath ? request.outputPath->c_str() : nullptr;
    const bool standardOutput = output && *request.outputPath == "-";
    if (output && !standardOutput && PathExists(output)) {
        trouble.Set(*request.outputPath, SystemReason(EEXIST));
        return outcome;
    }
    ReplacementFile file(request.seam);
    if (!file.OpenTarget(target.c_str(), output, trouble) ||
        (patch.format == PatchFormat::k1337 && !ToFileOffsets(file, target, changes, trouble))) {
        return outcome;
    }
    const uint64_t size = file.TargetSize();
    if (changes.back().address >= size) {
        const auto past = std::find_if(changes.begin(), changes.end(),
                                       [&](const ByteChange& c) { return c.address >= size; });
        trouble.Set(target, "offset " + AddressText(past->address) + " (" + LineText(*past) +
                                ") lies past its end (" + std::to_string(size) + " bytes)");
        return outcome;
    }

    Tally tally;
    if (!CheckBytes(file, changes, request.revert, block.get(), tally, trouble)) {
        return outcome;
    }
    std::string note;
    if (tally.written == changes.size()) {
        note = target + ": already " + (request.revert ? "reverted" : "patched") + ": " +
               (changes.size() == 1 ? "its 1 byte holds"
                                    : "all " + ByteCount(changes.size()) + " hold") +
               " the patch's " + (request.revert ? "old" : "new") + " bytes; " +
               (standardOutput ? "standard output holds an unchanged copy"
                : output       ? *request.outputPath + " is an unchanged copy"
                               : "nothing changed");
        changes.clear();
        if (!output) {
            return {0, {}, note};
        }
    } else if (tally.differing) {
        trouble.Set(target, MismatchReason(tally, changes.size(), request.revert));
        return outcome;
    }
    if (!file.Create(trouble) ||
        !CopyPatched(file, target, changes, request.revert, block.get(), trouble) ||
        !file.Commit(trouble)) {
        return outcome;
    }
    return {0, {}, note};
}

}  // namespace tandrel
