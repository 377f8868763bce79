#include "formats/json_lines.h"

#include <cstring>

#include "platform/file_system.h"

namespace tandrel {
namespace {

// The length of the valid UTF-8 sequence at p (at most left bytes), or 0 when there is none:
// no overlong forms, no surrogates, nothing past U+10FFFF.
size_t Utf8SequenceLength(const unsigned char* p, size_t left) {
    const unsigned char lead = p[0];
    size_t length = 0;
    uint32_t lowest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        lowest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        lowest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        lowest = 0x10000;
    } else {
        return 0;
    }
    if (left < length) {
        return 0;
    }
    uint32_t code = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) {
            return 0;
        }
        code = code << 6 | (p[k] & 0x3F);
    }
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code >= lowest && code <= 0x10FFFF && !surrogate ? length : 0;
}

void AppendEscapedByte(ReportText& text, unsigned char byte) {
    char escape[6] = {
        '\\', 'u', '0', '0', "0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
    text.Append(escape, sizeof escape);
}

// A hex number as a JSON string, "0x" and lower case: 64-bit values do not fit a JSON number
// that every reader takes exactly.
void AppendHexString(ReportText& text, uint64_t value) {
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

void AppendNameOrNull(ReportText& text, std::string_view name) {
    if (name.data() != nullptr) {
        AppendJsonString(text, name);
    } else {
        text.Append("null");
    }
}

void AppendBool(ReportText& text, bool value) {
    if (value) {
        text.Append("true");
    } else {
        text.Append("false");
    }
}

void AppendFile(ReportText& text, const char* path, uint64_t size) {
    text.Append("{\"path\":");
    AppendJsonString(text, PathAsUtf8(path));
    text.Append(",\"size\":");
    text.AppendDecimal(size);
    text.Append("}");
}

}  // namespace

void AppendJsonString(ReportText& text, std::string_view value) {
    const auto* p = reinterpret_cast<const unsigned char*>(value.data());
    size_t left = value.size();
    text.Append("\"");
    while (left > 0) {
        const unsigned char byte = *p;
        size_t length = 1;
        if (byte == '"' || byte == '\\') {
            const char escape[2] = {'\\', static_cast<char>(byte)};
            text.Append(escape, 2);
        } else if (byte < 0x20) {
            AppendEscapedByte(text, byte);
        } else if (byte < 0x80) {
            text.Append(reinterpret_cast<const char*>(p), 1);
        } else if ((length = Utf8SequenceLength(p, left)) != 0) {
            text.Append(reinterpret_cast<const char*>(p), length);
        } else {
            length = 1;
            AppendEscapedByte(text, byte);
        }
        p += length;
        left -= length;
    }
    text.Append("\"");
}

bool JsonLinesSink::Begin(const ComparisonFacts& facts, Trouble& trouble) {
    if (!output_.Open(facts, trouble)) {
        return false;
    }
    secondOffsets_ = facts.skips[0] != facts.skips[1] || facts.aligned;
    aligned_ = facts.aligned;
    ReportText& text = output_.Text();
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
    ReportText& text = output_.Text();
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
    return text.Append("}\n");
}

bool JsonLinesSink::End(const ComparisonSummary& summary, Trouble& trouble) {
    ReportText& text = output_.Text();
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
    return output_.Close(trouble);
}

}  // namespace tandrel
