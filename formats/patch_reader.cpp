#include "formats/patch_reader.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "formats/number_format.h"

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

// Reads a line without its line end, or the rest of the text from a line's start (no record
// reaches past a line end: LF is neither a blank nor a digit). Spaces and tabs are blanks.
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
    const char* At() const { return at_; }

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

// The fields of a record, read from the cursor on; what follows them is left to the caller.
using RecordFields = bool (*)(LineCursor&, ByteChange&);

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
    // Takes the next line when it is a record, finding its end by reading the record: most lines
    // of a patch are records, and this spares them the search for the line end.
    bool TakeRecord(RecordFields fields, ByteChange& change) {
        LineCursor c(at_, end_);
        if (at_ == end_ || !fields(c, change)) {
            return false;
        }
        c.SkipBlanks();
        const char* stop = c.At();
        if (static_cast<size_t>(stop - at_) > kPatchLineLimit) {
            return false;  // left to the line's own check, as when it comes in pieces
        }
        stop += stop != end_ && *stop == '\r';
        if (stop != end_ && *stop != '\n') {
            return false;
        }
        at_ = stop == end_ ? stop : stop + 1;
        change.line = number_++;
        return true;
    }

    uint32_t NextNumber() const { return number_; }

  private:
    const char* at_;
    const char* end_;
    uint32_t number_;
};

// `HEX:` and the old byte, blanks optional around the colon: how both grammars start a record.
bool TakeAddressAndOldByte(LineCursor& c, ByteChange& change) {
    c.SkipBlanks();
    if (!c.TakeHex(16, change.address)) {
        return false;
    }
    c.SkipBlanks();
    if (!c.Take(':')) {
        return false;
    }
    c.SkipBlanks();
    return c.TakeByte(change.oldByte);
}

// `HEX: HEX HEX`, blanks optional around the colon, at least one between the bytes.
bool TakeDifFields(LineCursor& c, ByteChange& change) {
    return TakeAddressAndOldByte(c, change) && c.SkipBlanks() && c.TakeByte(change.newByte);
}

// `HEX:HEX->HEX`, blanks optional between the parts.
bool Take1337Fields(LineCursor& c, ByteChange& change) {
    if (!TakeAddressAndOldByte(c, change)) {
        return false;
    }
    c.SkipBlanks();
    if (!c.Take('-') || !c.Take('>')) {
        return false;
    }
    c.SkipBlanks();
    return c.TakeByte(change.newByte);
}

// True when the whole line is a record of the grammar.
bool IsRecord(const Line& line, RecordFields fields, ByteChange& change) {
    LineCursor c = line.Cursor();
    change.line = line.number;
    return fields(c, change) && c.AtEnd();
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
                      std::string(format == PatchFormat::kDif ? "offset 0x" : "RVA 0x") +
                      HexText(second->address) + " (the first is on line " +
                      std::to_string(first->line) + ")");
}

}  // namespace

bool PatchReader::Feed(std::string_view piece) {
    const char* at = piece.data();
    const char* end = at + piece.size();
    if (!refused_ && !carry_.empty()) {
        const auto* lf = static_cast<const char*>(std::memchr(at, '\n', piece.size()));
        carry_.append(at, lf ? lf + 1 : end);
        if (!lf) {
            return CarryFits();
        }
        at = lf + 1;
        if (!TakeLines(carry_.data(), carry_.data() + carry_.size())) {
            return false;
        }
        carry_.clear();
    }
    const size_t lastLf = std::string_view(at, static_cast<size_t>(end - at)).rfind('\n');
    const char* whole = lastLf == std::string_view::npos ? at : at + lastLf + 1;
    if (refused_ || !TakeLines(at, whole)) {
        return false;
    }
    carry_.assign(whole, end);
    return CarryFits();
}

// A line without its end longer than kPatchLineLimit is refused as soon as its start is longer
// than that and a CR: a text that is no patch is not read whole first.
bool PatchReader::CarryFits() {
    return carry_.size() <= kPatchLineLimit + 1 || Refuse(nextLine_, LongLineReason());
}

bool PatchReader::Finish(Patch& patch, PatchRefusal& refusal) {
    if (!refused_ && !carry_.empty()) {
        TakeLines(carry_.data(), carry_.data() + carry_.size());
    }
    if (!refused_ && state_ == State::kDetecting) {
        Refuse(0, "no byte records (OFFSET: OLD NEW or RVA:OLD->NEW)");
    }
    size_t records = 0;
    for (PatchModule& module : patch_.modules) {
        refused_ = refused_ || !SortChanges(patch_.format, module.changes, refusal_);
        records += module.changes.size();
    }
    if (!refused_ && records == 0) {
        Refuse(0, state_ == State::k1337 ? "no byte records (RVA:OLD->NEW)"
                                         : "no byte records (OFFSET: OLD NEW)");
    }
    patch = refused_ ? Patch() : std::move(patch_);
    refusal = refusal_;
    return !refused_;
}

bool PatchReader::Refuse(uint32_t line, std::string reason) {
    refused_ = true;
    refusal_ = {line, std::move(reason)};
    return false;
}

// Whole lines only; in a known format, records are taken without first looking for their end.
bool PatchReader::TakeLines(const char* begin, const char* end) {
    LineSplitter lines(begin, end, nextLine_);
    Line line;
    ByteChange change;
    bool taken = true;
    while (taken) {
        if ((state_ == State::kDif && lines.TakeRecord(TakeDifFields, change)) ||
            (state_ == State::k1337 && lines.TakeRecord(Take1337Fields, change))) {
            patch_.modules.back().changes.push_back(change);
        } else if (!lines.Next(line)) {
            break;
        } else if (static_cast<size_t>(line.end - line.begin) > kPatchLineLimit) {
            taken = Refuse(line.number, LongLineReason());
        } else {
            taken = TakeLine(line.begin, line.end, line.number);
        }
    }
    nextLine_ = lines.NextNumber();
    return taken;
}

std::string PatchReader::LongLineReason() {
    return "longer than " + std::to_string(kPatchLineLimit) + " characters: not a patch line";
}

bool PatchReader::TakeLine(const char* begin, const char* end, uint32_t number) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // as Windows editors save
    if (number == 1 &&
        std::string_view(begin, static_cast<size_t>(end - begin)).starts_with(kByteOrderMark)) {
        begin += kByteOrderMark.size();
    }
    const Line line = {begin, end, number};
    ByteChange change;
    std::string_view name;
    const bool isModuleLine = ParseModuleLine(line, name);
    const bool blank = IsBlank(line);
    switch (state_) {
        case State::kDif:
            return blank || Refuse(number, "not a dif record (OFFSET: OLD NEW)");
        case State::kDifTitle:
            // A header's title is followed by an empty line; without one, the first line was
            // meant as a record (of a 1337 patch when a 1337 line follows).
            if (!blank) {
                return Refuse(titleLine_,
                              isModuleLine || IsRecord(line, Take1337Fields, change)
                                  ? "not a 1337 line (>MODULE or RVA:OLD->NEW)"
                                  : "not a dif record (OFFSET: OLD NEW) nor a header's title "
                                    "(a title, an empty line, the file's name)");
            }
            state_ = State::kDifName;
            return true;
        case State::kDifName:
            // The name is not checked (copies are renamed), but a record in its place means that
            // the title was a record gone wrong, and the patch is not a dif with a header.
            if (IsRecord(line, TakeDifFields, change)) {
                return Refuse(titleLine_,
                              "not a dif record (OFFSET: OLD NEW) nor a header's title (a "
                              "title, an empty line, the file's name)");
            }
            state_ = State::kDif;
            return true;
        case State::k1337:
            if (!isModuleLine) {
                return blank || Refuse(number, "not a 1337 line (>MODULE or RVA:OLD->NEW)");
            }
            if (name.empty()) {
                return Refuse(number, "a module line without a name");
            }
            patch_.modules.push_back({std::string(name), {}});
            return true;
        case State::kDetecting:
            break;
    }
    // The first line that is not blank names the grammar: a `>` line starts a 1337 patch, a dif
    // record a dif without a header, anything else a dif's header.
    if (blank) {
        return true;
    }
    if (isModuleLine) {
        state_ = State::k1337;
        patch_.format = PatchFormat::k1337;
        return TakeLine(begin, end, number);
    }
    if (IsRecord(line, Take1337Fields, change)) {
        return Refuse(number, "a record before the first >module line");
    }
    state_ = State::kDifTitle;
    titleLine_ = number;
    patch_.format = PatchFormat::kDif;
    patch_.modules.assign(1, {});
    // The exporters' record lines take 15 characters or more.
    patch_.modules[0].changes.reserve(static_cast<size_t>(sizeHint_ / 15) + 1);
    if (IsRecord(line, TakeDifFields, change)) {
        state_ = State::kDif;
        patch_.modules[0].changes.push_back(change);
    }
    return true;
}

bool IsIpsPatch(std::string_view head, std::string_view tail) {
    return head == "PATCH" && tail.size() == 6 &&
           (tail.substr(3) == "EOF" || tail.substr(0, 3) == "EOF");
}

bool ReadPatch(std::string_view text, Patch& patch, PatchRefusal& refusal) {
    if (IsIpsPatch(text.substr(0, 5),
                   text.substr(text.size() - std::min<size_t>(text.size(), 6)))) {
        patch = {};
        refusal = {0, "IPS patches carry no old bytes to check"};
        return false;
    }
    PatchReader reader(text.size());
    reader.Feed(text);
    return reader.Finish(patch, refusal);
}

}  // namespace tandrel
