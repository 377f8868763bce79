#include "formats/json_lines.h"

#include <cstring>

#include "formats/json_text.h"
#include "platform/file_system.h"
#include "platform/folder_walk.h"

namespace tandrel {
namespace {

// A hex number as a JSON string, "0x" and lower case: 64-bit values do not fit a JSON number
// that every reader takes exactly.
void AppendHexString(TextBuffer& text, uint64_t value) {
    text.Append("\"0x");
    text.AppendHex(value, true);
    text.Append("\"");
}

// A run record's opening with its kind, for an aligned comparison.
const char* KindOpening(RunKind kind) {
    switch (kind) {
        case RunKind::kInsert:
            return "{\"type\":\"run\",\"kind\":\"insert\",\"offset\":";
        case RunKind::kDelete:
            return "{\"type\":\"run\",\"kind\":\"delete\",\"offset\":";
        case RunKind::kChange:
            break;
    }
    return "{\"type\":\"run\",\"kind\":\"change\",\"offset\":";
}

void AppendNameOrNull(TextBuffer& text, std::string_view name) {
    if (name.data() != nullptr) {
        AppendJsonString(text, name);
    } else {
        text.Append("null");
    }
}

void AppendBool(TextBuffer& text, bool value) {
    if (value) {
        text.Append("true");
    } else {
        text.Append("false");
    }
}

// The instructions under one side of a run, in address order, or null outside x86 code.
void AppendCode(TextBuffer& text, const CodeListing* code) {
    if (code == nullptr) {
        text.Append("null");
        return;
    }
    text.Append("[");
    bool first = true;
    code->ForEach([&text, &first](const Instruction& instruction) {
        text.AppendText(first ? "{\"rva\":" : ",{\"rva\":");
        first = false;
        AppendHexString(text, instruction.rva);
        text.Append(",\"bytes\":\"");
        text.AppendHexBytes(instruction.bytes, instruction.length, false, true);
        text.Append("\",\"text\":");
        AppendJsonString(text, instruction.Text());
        return text.Append("}");
    });
    text.Append("]");
}

void AppendFile(TextBuffer& text, const char* path, uint64_t size) {
    text.Append("{");
    AppendJsonName(text, "path", PathAsUtf8(path));
    text.Append(",\"size\":");
    text.AppendDecimal(size);
    text.Append("}");
}

template <size_t N>
char* Put(char* out, const char (&literal)[N]) {
    std::memcpy(out, literal, N - 1);
    return out + N - 1;
}

char* PutHexString(char* out, uint64_t value) {
    out = Put(out, "\"0x");
    out = FormatHex(out, value, true);
    *out++ = '"';
    return out;
}

// The most a plain record holds besides its two hex strings: its keys, two numbers of at most
// 20 digits, and an RVA and a VA as strings of at most 16 digits.
constexpr size_t kPlainRecordText = 128 + 2 * 20 + 2 * (16 + 4);

// A run record of a plain comparison with no names and no code, as the general path writes it.
char* WritePlainRecord(char* out, const DiffRecord& record) {
    out = Put(out, "{\"type\":\"run\",\"offset\":");
    out = FormatDecimal(out, record.offset);
    out = Put(out, ",\"length\":");
    out = FormatDecimal(out, record.length);
    out = Put(out, ",\"first\":\"");
    out = FormatHexBytes(out, record.first, record.length, false, true);
    out = Put(out, "\",\"second\":\"");
    out = FormatHexBytes(out, record.second, record.length, false, true);
    out = Put(out, "\",\"rva\":");
    if (record.rva != 0) {
        out = PutHexString(out, record.rva);
        out = Put(out, ",\"va\":");
        out = PutHexString(out, record.va);
    } else {
        out = Put(out, "null,\"va\":null");
    }
    return Put(out, ",\"section\":null,\"field\":null}\n");
}

}  // namespace

bool JsonLinesSink::Begin(const ComparisonFacts& facts, Trouble&) {
    secondOffsets_ = facts.skips[0] != facts.skips[1] || facts.aligned;
    aligned_ = facts.aligned;
    TextBuffer& text = output_.Text();
    text.Append("{\"type\":\"files\",\"first\":");
    AppendFile(text, facts.paths[0], facts.sizes[0]);
    text.Append(",\"second\":");
    AppendFile(text, facts.paths[1], facts.sizes[1]);
    text.Append(",\"compared\":");
    text.AppendDecimal(facts.compared);
    text.Append(",\"pe\":");
    if (const PeImageInfo* image = facts.peImage; image != nullptr) {
        text.AppendText(image->is64 ? "{\"format\":\"PE32+\",\"image_base\":"
                                    : "{\"format\":\"PE32\",\"image_base\":");
        AppendHexString(text, image->is64 ? image->imageBase64 : image->imageBase32);
        text.Append("}");
    } else {
        text.Append("null");
    }
    text.Append("}\n");
    return true;
}

bool JsonLinesSink::Record(const DiffRecord& record) {
    TextBuffer& text = output_.Text();
    // The usual record of a plain comparison, written in one piece where there is room: a dense
    // pair makes a million of them.
    if (!aligned_ && !secondOffsets_ && !record.codeAsked && record.section.data() == nullptr &&
        record.field.data() == nullptr) {
        if (char* out = text.Reserve(kPlainRecordText + 4 * record.length + 2)) {
            text.Commit(WritePlainRecord(out, record));
            return true;
        }
    }
    if (aligned_) {
        text.AppendText(KindOpening(record.kind));
    } else {
        text.Append("{\"type\":\"run\",\"offset\":");
    }
    text.AppendDecimal(record.offset);
    if (secondOffsets_) {
        text.Append(",\"second_offset\":");
        text.AppendDecimal(record.secondOffset);
    }
    text.Append(",\"length\":");
    text.AppendDecimal(record.length);
    text.Append(",\"first\":\"");
    if (record.kind != RunKind::kInsert) {
        text.AppendHexBytes(record.first, record.length, false, true);
    }
    text.Append("\",\"second\":\"");
    if (record.kind != RunKind::kDelete) {
        text.AppendHexBytes(record.second, record.length, false, true);
    }
    text.Append("\",\"rva\":");
    if (record.rva != 0) {
        AppendHexString(text, record.rva);
        text.Append(",\"va\":");
        AppendHexString(text, record.va);
    } else {
        text.Append("null,\"va\":null");
    }
    if (record.kind == RunKind::kInsert) {
        text.Append(",\"second_rva\":");
        if (record.secondRva != 0) {
            AppendHexString(text, record.secondRva);
            text.Append(",\"second_va\":");
            AppendHexString(text, record.secondVa);
        } else {
            text.Append("null,\"second_va\":null");
        }
    }
    text.Append(",\"section\":");
    AppendNameOrNull(text, record.section);
    text.Append(",\"field\":");
    AppendNameOrNull(text, record.field);
    if (record.codeAsked) {
        text.Append(",\"first_code\":");
        AppendCode(text, record.code[0]);
        text.Append(",\"second_code\":");
        AppendCode(text, record.code[1]);
    }
    return text.Append("}\n");
}

bool JsonLinesSink::End(const ComparisonSummary& summary, Trouble& trouble) {
    TextBuffer& text = output_.Text();
    text.Append("{\"type\":\"summary\",\"runs\":");
    text.AppendDecimal(summary.runs);
    text.Append(",\"bytes\":");
    text.AppendDecimal(summary.bytes);
    text.Append(",\"complete\":");
    AppendBool(text, summary.complete);
    text.Append(",\"identical\":");
    AppendBool(text, summary.identical);
    if (summary.noiseSetAside) {
        text.Append(",\"ignored_bytes\":");
        text.AppendDecimal(summary.ignoredBytes);
        text.Append(",\"ignored_fields\":");
        text.AppendDecimal(summary.ignoredFields);
    }
    text.Append("}\n");
    return !output_.Failed(trouble);
}

namespace {

const char* KindName(EntryKind kind) {
    switch (kind) {
        case EntryKind::kFile:
            return "file";
        case EntryKind::kFolder:
            return "folder";
        case EntryKind::kLink:
            return "link";
        case EntryKind::kOther:
            break;
    }
    return "other";
}

// ,"key":"NAME", and "key_base64" when the name is not UTF-8.
void AppendPath(TextBuffer& text, const char* key, const std::string& path) {
    text.Append(",");
    AppendJsonName(text, key, PathAsUtf8(path.c_str()));
}

void AppendCountField(TextBuffer& text, const char* key, uint64_t value) {
    text.Append(",\"");
    text.AppendText(key);
    text.Append("\":");
    text.AppendDecimal(value);
}

}  // namespace

bool JsonLinesSink::Only(int side, const char* folder, const char* name, EntryKind kind) {
    TextBuffer& text = output_.Text();
    text.AppendText(side == 0 ? "{\"type\":\"only\",\"side\":\"first\""
                              : "{\"type\":\"only\",\"side\":\"second\"");
    AppendPath(text, "path", JoinPath(folder, name));
    text.Append(",\"kind\":\"");
    text.AppendText(KindName(kind));
    return text.Append("\"}\n");
}

bool JsonLinesSink::Mismatch(const char* firstPath, const char* secondPath, EntryKind first,
                             EntryKind second) {
    TextBuffer& text = output_.Text();
    text.Append("{\"type\":\"mismatch\"");
    AppendPath(text, "path", firstPath);
    AppendPath(text, "second_path", secondPath);
    text.Append(",\"first\":\"");
    text.AppendText(KindName(first));
    text.Append("\",\"second\":\"");
    text.AppendText(KindName(second));
    return text.Append("\"}\n");
}

bool JsonLinesSink::Link(const char* firstPath, const char* secondPath, const char* firstTarget,
                         const char* secondTarget) {
    TextBuffer& text = output_.Text();
    text.Append("{\"type\":\"link\"");
    AppendPath(text, "path", firstPath);
    AppendPath(text, "second_path", secondPath);
    AppendPath(text, "first", firstTarget);
    AppendPath(text, "second", secondTarget);
    text.Append(",\"identical\":");
    AppendBool(text, std::strcmp(firstTarget, secondTarget) == 0);
    return text.Append("}\n");
}

bool JsonLinesSink::Error(const char* path, const char* reason) {
    TextBuffer& text = output_.Text();
    text.Append("{\"type\":\"error\"");
    AppendPath(text, "path", path);
    text.Append(",\"reason\":");
    AppendJsonString(text, reason);
    return text.Append("}\n");
}

bool JsonLinesSink::Total(const TreeTotals& totals) {
    TextBuffer& text = output_.Text();
    text.Append("{\"type\":\"total\"");
    AppendCountField(text, "pairs", totals.pairs);
    AppendCountField(text, "identical", totals.identical);
    AppendCountField(text, "different", totals.different);
    AppendCountField(text, "only_first", totals.onlyFirst);
    AppendCountField(text, "only_second", totals.onlySecond);
    AppendCountField(text, "mismatches", totals.mismatches);
    AppendCountField(text, "links", totals.links);
    AppendCountField(text, "errors", totals.errors);
    AppendCountField(text, "runs", totals.runs);
    AppendCountField(text, "bytes", totals.bytes);
    text.Append(",\"complete\":");
    AppendBool(text, totals.complete);
    return text.Append("}\n");
}

}  // namespace tandrel
