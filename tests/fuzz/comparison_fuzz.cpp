// The whole comparison on any pair of files: the report, in file mode and in dialog mode with
// every combination of the two options, parsed back into records and checked against a plain
// byte-by-byte walk (offsets, lengths, hex of both files, RVA and VA when the first file is an
// image). Input: two bytes choose where the rest is cut into the first and the second file.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/comparison.h"
#include "engine/result_box.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Record {
    uint64_t offset = 0;
    size_t count = 0;
    std::string rvaLines;  // "RVA = ..|VA = ..|" or empty
    std::string first;
    std::string second;
    bool operator==(const Record&) const = default;
};

class Box : public tandrel::ResultBox {
  public:
    Box(const char* lineEnd, bool separator, bool shortNames)
        : lineEnd_(lineEnd), separator_(separator), shortNames_(shortNames) {}
    std::string text;
    const char* LineEnd() const override { return lineEnd_; }
    int TextLength() override { return static_cast<int>(text.size()); }
    int CopyText(char*, int) override { return 0; }
    void ReplaceText(const char* newText) override { text = newText; }
    bool IsSpaceSeparatorOn() override { return separator_; }
    bool IsShortNamesOn() override { return shortNames_; }
    void UpdateScrollBars() override {}

  private:
    const char* lineEnd_;
    bool separator_;
    bool shortNames_;
};

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof(text), "%llX", static_cast<unsigned long long>(value));
    return text;
}

std::string HexBytes(const uint8_t* bytes, size_t count, bool separated) {
    std::string text;
    for (size_t k = 0; k < count; ++k) {
        char pair[4];
        std::snprintf(pair, sizeof(pair), separated ? "%02X " : "%02X", bytes[k]);
        text += pair;
    }
    return text;
}

// The runs of differing bytes over the shorter length, one at a time.
std::vector<Record> Reference(const Bytes& a, const Bytes& b, bool separated,
                              const tandrel::PeImageInfo* image) {
    std::vector<Record> records;
    const size_t length = std::min(a.size(), b.size());
    for (size_t i = 0; i < length;) {
        if (a[i] == b[i]) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < length && a[end] != b[end]) {
            ++end;
        }
        Record record{i, end - i, "", HexBytes(&a[i], end - i, separated),
                      HexBytes(&b[i], end - i, separated)};
        static const std::vector<tandrel::SectionEntry> kNone;
        for (const tandrel::SectionEntry& s : image != nullptr ? image->sections : kNone) {
            const uint32_t at = static_cast<uint32_t>(i);
            if (s.pointerToRawData <= at && at < s.pointerToRawData + s.sizeOfRawData) {
                const uint32_t rva = s.virtualAddress - s.pointerToRawData + at;
                if (rva != 0) {
                    const uint64_t va =
                        image->is64 ? image->imageBase64 + rva : uint32_t(image->imageBase32 + rva);
                    record.rvaLines = "RVA = " + Hex(rva) + "|VA = " + Hex(va) + "|";
                }
                break;
            }
        }
        records.push_back(record);
        i = end;
    }
    return records;
}

// The text after the given prefix, which the line must start with.
std::string After(const std::string& line, const std::string& prefix) {
    Check(line.compare(0, prefix.size(), prefix) == 0);
    return line.substr(prefix.size());
}

uint64_t Number(const std::string& text, int base) {
    const uint64_t value = std::strtoull(text.c_str(), nullptr, base);
    Check((base == 16 ? Hex(value) : std::to_string(value)) == text);  // the exact spelling
    return value;
}

void CheckReport(const std::string& text, const std::string& lineEnd, const std::string& names,
                 const std::string& sizeLine, const std::vector<Record>& expected) {
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find(lineEnd, at);
        Check(end != std::string::npos);
        lines.push_back(text.substr(at, end - at));
        at = end + lineEnd.size();
    }
    std::string head;
    size_t k = 0;
    for (; k < lines.size() && !lines[k].empty(); ++k) {
        head += lines[k] + "|";
    }
    Check(head == names + sizeLine);
    std::vector<Record> records;
    while (k < lines.size()) {
        Check(lines[k++].empty() && k + 6 <= lines.size());
        Record record;
        record.offset = Number(After(lines[k++], "File offset = "), 16);
        if (lines[k].rfind("RVA = ", 0) == 0) {
            Number(After(lines[k], "RVA = "), 16);
            Number(After(lines[k + 1], "VA = "), 16);
            record.rvaLines = lines[k] + "|" + lines[k + 1] + "|";
            k += 2;
        }
        Check(k + 5 <= lines.size());
        record.count = Number(After(lines[k++], "Bytes Size (dec) = "), 10);
        Check(lines[k++] == "First file bytes: ");
        record.first = lines[k++];
        Check(lines[k++] == "Second file bytes: ");
        record.second = lines[k++];
        records.push_back(record);
    }
    Check(records == expected);
}

const std::string& Folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/tandrel-fuzz-XXXXXX";
        return std::string(mkdtemp(name));
    }();
    return folder;
}

std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = Folder() + "/" + name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t cut = (data[0] | data[1] << 8) % (size - 1);
    const Bytes a(data + 2, data + 2 + cut);
    const Bytes b(data + 2 + cut, data + size);
    const std::string first = Write("a.bin", a);
    const std::string second = Write("b.bin", b);

    // The header reader's view: the file at the start of a zero-filled chunk.
    Bytes chunk(a);
    chunk.resize(a.size() + 65536);
    tandrel::PeImageInfo image;
    const bool isPe = tandrel::ParsePeHeader(image, chunk.data(), chunk.size(), a.size());
    const std::string sizeLine = a.size() == b.size()
                                     ? ""
                                     : "Different file size, comparing only minimum = " +
                                           std::to_string(std::min(a.size(), b.size())) + "|";
    const std::string warning = isPe ? "" : "Warning: not a PE file!|";

    const std::string reportPath = Folder() + "/report.txt";
    std::FILE* stream = std::fopen(reportPath.c_str(), "w+");
    tandrel::PeImageInfo peImage;
    Check(tandrel::RunComparison(peImage, first.c_str(), second.c_str(), nullptr, stream));
    std::string report(std::ftell(stream), '\0');
    std::rewind(stream);
    Check(std::fread(report.data(), 1, report.size(), stream) == report.size());
    std::fclose(stream);
    CheckReport(report, "\n", "Comparing " + first + "| and " + second + "|" + warning, sizeLine,
                Reference(a, b, true, isPe ? &image : nullptr));

    for (int options = 0; options < 4; ++options) {
        const bool separator = options & 1;
        const bool shortNames = options & 2;
        Box box(data[0] & 1 ? "\r\n" : "\n", separator, shortNames);
        Check(tandrel::RunComparison(peImage, first.c_str(), second.c_str(), &box, nullptr));
        const std::string names = shortNames ? "Comparing a.bin| and b.bin|"
                                             : "Comparing " + first + "| and " + second + "|";
        CheckReport(box.text, box.LineEnd(), names + warning, sizeLine,
                    Reference(a, b, separator, isPe ? &image : nullptr));
    }
    return 0;
}
