#include "formats/patch_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "platform/prefault.h"

namespace tandrel {
namespace {

constexpr uint8_t kNotHex = 0xFF;

constexpr std::array<uint8_t, 256> kHexValue = [] {
    std::array<uint8_t, 256> table{};
    table.fill(kNotHex);
    for (int k = 0; k < 10; ++k) {
        table['0' + k] = static_cast<uint8_t>(k);
    }
    for (int k = 0; k < 6; ++k) {
        table['a' + k] = table['A' + k] = static_cast<uint8_t>(10 + k);
    }
    return table;
}();

// One line of the patch without its line end; spaces and tabs are its blanks.
class LineCursor {
  public:
    LineCursor(const char* begin, const char* end) : at_(begin), end_(end) {}

    // True when at least one blank was skipped.
    bool SkipBlanks() {
        const char* start = at_;
        while (at_ < end_ && (*at_ == ' ' || *at_ == '\t')) {
            ++at_;
        }
        return at_ != start;
    }
    bool Take(char expected) {
        if (at_ == end_ || *at_ != expected) {
            return false;
        }
        ++at_;
        return true;
    }
    // 1 to maxDigits hex digits, either case.
    bool TakeHex(int maxDigits, uint64_t& value) {
        value = 0;
        int digits = 0;
        for (; at_ < end_ && kHexValue[static_cast<uint8_t>(*at_)] != kNotHex; ++at_, ++digits) {
            if (digits == maxDigits) {
                return false;
            }
            value = value << 4 | kHexValue[static_cast<uint8_t>(*at_)];
        }
        return digits > 0;
    }
    // Exactly two hex digits.
    bool TakeByte(uint8_t& value) {
        if (end_ - at_ < 2) {
            return false;
        }
        const uint8_t high = kHexValue[static_cast<uint8_t>(at_[0])];
        const uint8_t low = kHexValue[static_cast<uint8_t>(at_[1])];
        if (high == kNotHex || low == kNotHex) {
            return false;
        }
        value = static_cast<uint8_t>(high << 4 | low);
        at_ += 2;
        return true;
    }
    bool AtEnd() {
        SkipBlanks();
        return at_ == end_;
    }
    std::string_view Rest() const { return {at_, static_cast<size_t>(end_ - at_)}; }

  private:
    const char* at_;
    const char* end_;
};

struct Line {
    const char* begin = nullptr;
    const char* end = nullptr;
    uint32_t number = 0;

    LineCursor Cursor() const { return {begin, end}; }
};

// Splits the text at LF; a CR before the LF (or at the very end) belongs to the line end.
class LineSplitter {
  public:
    LineSplitter(const char* begin, const char* end, uint32_t firstNumber)
        : at_(begin), end_(end), number_(firstNumber) {}

    bool Next(Line& line) {
        if (at_ == end_) {
            return false;
        }
        const auto* lf = static_cast<const char*>(std::memchr(at_, '\n', end_ - at_));
        const char* stop = lf ? lf : end_;
        line = {at_, stop, number_++};
        if (line.end != line.begin && line.end[-1] == '\r') {
            --line.end;
        }
        at_ = lf ? lf + 1 : end_;
        return true;
    }

  private:
    const char* at_;
    const char* end_;
    uint32_t number_;
};

// `HEX: HEX HEX`, blanks optional around the colon, at least one between the bytes.
bool ParseDifRecord(const Line& line, ByteChange& change) {
    LineCursor c = line.Cursor();
    c.SkipBlanks();
    if (!c.TakeHex(16, change.address)) {
        return false;
    }
    c.SkipBlanks();
    if (!c.Take(':')) {
        return false;
    }
    c.SkipBlanks();
    change.line = line.number;
    return c.TakeByte(change.oldByte) && c.SkipBlanks() && c.TakeByte(change.newByte) && c.AtEnd();
}

// `HEX:HEX->HEX`, blanks optional between the parts.
bool Parse1337Record(const Line& line, ByteChange& change) {
    LineCursor c = line.Cursor();
    c.SkipBlanks();
    if (!c.TakeHex(16, change.address)) {
        return false;
    }
    c.SkipBlanks();
    if (!c.Take(':')) {
        return false;
    }
    c.SkipBlanks();
    change.line = line.number;
    if (!c.TakeByte(change.oldByte)) {
        return false;
    }
    c.SkipBlanks();
    if (!c.Take('-') || !c.Take('>')) {
        return false;
    }
    c.SkipBlanks();
    return c.TakeByte(change.newByte) && c.AtEnd();
}

bool IsBlank(const Line& line) {
    return line.Cursor().AtEnd();
}

// The name of a `>name` line, blanks around it dropped; false for any other line.
bool ParseModuleLine(const Line& line, std::string_view& name) {
    LineCursor c = line.Cursor();
    c.SkipBlanks();
    if (!c.Take('>')) {
        return false;
    }
    c.SkipBlanks();
    name = c.Rest();
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) {
        name.remove_suffix(1);
    }
    return true;
}

bool IsIps(std::string_view text) {
    const size_t size = text.size();
    return size >= 8 && text.substr(0, 5) == "PATCH" &&
           (text.substr(size - 3) == "EOF" || (size >= 11 && text.substr(size - 6, 3) == "EOF"));
}

bool Refuse(PatchRefusal& refusal, uint32_t line, std::string reason) {
    refusal = {line, std::move(reason)};
    return false;
}

// Puts the records in address order (they are usually in it already) and refuses a second
// record for one address at the later of its lines.
bool SortChanges(PatchFormat format, std::vector<ByteChange>& changes, PatchRefusal& refusal) {
    auto before = [](const ByteChange& a, const ByteChange& b) {
        return a.address < b.address || (a.address == b.address && a.line < b.line);
    };
    if (!std::is_sorted(changes.begin(), changes.end(), before)) {
        std::sort(changes.begin(), changes.end(), before);
    }
    const ByteChange* second = nullptr;
    for (size_t k = 1; k < changes.size(); ++k) {
        if (changes[k].address == changes[k - 1].address &&
            (!second || changes[k].line < second->line)) {
            second = &changes[k];
        }
    }
    if (!second) {
        return true;
    }
    const auto first = std::lower_bound(
        changes.begin(), changes.end(), second->address,
        [](const ByteChange& change, uint64_t address) { return change.address < address; });
    return Refuse(refusal, second->line,
                  "a second record for " +
                      std::string(format == PatchFormat::kDif ? "offset " : "RVA ") +
                      HexText(second->address) + " (the first is on line " +
                      std::to_string(first->line) + ")");
}

bool ReadDif(const Line& first, const char* end, PatchModule& module, PatchRefusal& refusal) {
    // A record line takes at least 8 characters with its line end, so the records never outgrow
    // this; the exporters' lines take 15 or more, so the part backed at once is what they fill.
    const auto length = static_cast<size_t>(end - first.begin);
    module.changes.reserve(length / 8 + 1);
    Prefault(module.changes.data(), (length / 14 + 1) * sizeof(ByteChange));
    LineSplitter lines(first.begin, end, first.number);
    Line line;
    ByteChange change;
    while (lines.Next(line)) {
        if (ParseDifRecord(line, change)) {
            module.changes.push_back(change);
        } else if (!IsBlank(line)) {
            return Refuse(refusal, line.number, "not a dif record (OFFSET: OLD NEW)");
        }
    }
    return true;
}

bool Read1337(std::string_view text, Patch& patch, PatchRefusal& refusal) {
    LineSplitter lines(text.data(), text.data() + text.size(), 1);
    Line line;
    ByteChange change;
    std::string_view name;
    while (lines.Next(line)) {
        if (Parse1337Record(line, change)) {
            if (patch.modules.empty()) {
                return Refuse(refusal, line.number, "a record before the first >module line");
            }
            patch.modules.back().changes.push_back(change);
        } else if (ParseModuleLine(line, name)) {
            if (name.empty()) {
                return Refuse(refusal, line.number, "a module line without a name");
            }
            patch.modules.push_back({std::string(name), {}});
        } else if (!IsBlank(line)) {
            return Refuse(refusal, line.number, "not a 1337 line (>MODULE or RVA:OLD->NEW)");
        }
    }
    return true;
}

bool ReadRecords(std::string_view text, Patch& patch, PatchRefusal& refusal) {
    if (IsIps(text)) {
        return Refuse(refusal, 0, "IPS patches carry no old bytes to check");
    }
    const char* end = text.data() + text.size();
    LineSplitter lines(text.data(), end, 1);
    Line line;
    ByteChange change;
    std::string_view name;
    bool sawModuleLine = false;
    bool found = false;
    while (!found && lines.Next(line)) {
        if (ParseDifRecord(line, change)) {
            patch.format = PatchFormat::kDif;
            found = true;
        } else if (Parse1337Record(line, change)) {
            patch.format = PatchFormat::k1337;
            found = true;
        } else {
            sawModuleLine = sawModuleLine || ParseModuleLine(line, name);
        }
    }
    if (!found && !sawModuleLine) {
        return Refuse(refusal, 0, "no byte records (OFFSET: OLD NEW or RVA:OLD->NEW)");
    }
    if (found && patch.format == PatchFormat::kDif) {
        if (!ReadDif(line, end, patch.modules.emplace_back(), refusal)) {
            return false;
        }
    } else {
        patch.format = PatchFormat::k1337;
        if (!Read1337(text, patch, refusal)) {
            return false;
        }
    }
    size_t records = 0;
    for (PatchModule& module : patch.modules) {
        if (!SortChanges(patch.format, module.changes, refusal)) {
            return false;
        }
        records += module.changes.size();
    }
    return records > 0 || Refuse(refusal, 0, "no byte records (RVA:OLD->NEW)");
}

}  // namespace

std::string HexText(uint64_t value) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    std::transform(digits, end, digits,
                   [](char d) { return d >= 'a' ? static_cast<char>(d - 'a' + 'A') : d; });
    return std::string(digits, end);
}

bool ReadPatch(std::string_view text, Patch& patch, PatchRefusal& refusal) {
    patch = {};
    if (!ReadRecords(text, patch, refusal)) {
        patch = {};
        return false;
    }
    return true;
}

}  // namespace tandrel
