// The whole comparison on any pair of files, in file mode and in dialog mode (the input's first
// byte picks the options and the line end): the report must equal, line by line, what a plain
// byte-by-byte walk expects (offsets, lengths, hex of both files, RVA and VA when the
// first file is an image). Input: two bytes choose where the rest is cut into the two files.
#include <stdlib.h>

#include "engine/comparison.h"
#include "tests/support/fake_result_box.h"
#include "tests/support/report_runner.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

std::string Write(const std::string& name, const std::string& bytes) {
    static const std::string folder = [] {
        char pattern[] = "/tmp/tandrel-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    std::FILE* out = std::fopen((folder + "/" + name).c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    return folder + "/" + name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string a = bytes.substr(0, (data[0] | data[1] << 8) % (size - 1));
    const std::string b = bytes.substr(a.size());
    const std::string first = Write("a.bin", a), second = Write("b.bin", b);
    // The header reader's view: the file at the start of a zero-filled chunk of exactly this
    // size, so that reading past it is an AddressSanitizer report.
    std::vector<uint8_t> chunk(a.begin(), a.end());
    chunk.resize(a.size() + 65536);
    tandrel::PeImageInfo image, peImage;
    const tandrel::PeImageInfo* isPe =
        tandrel::ParsePeHeader(image, chunk.data(), chunk.size(), a.size()) ? &image : nullptr;

    std::FILE* stream = std::tmpfile();
    Check(tandrel::RunComparison(peImage, first.c_str(), second.c_str(), nullptr, stream));
    std::string report(std::ftell(stream), '\0');
    std::rewind(stream);
    Check(std::fread(report.data(), 1, report.size(), stream) == report.size());
    std::fclose(stream);
    Check(report == tandrel::test::Lines(
                        tandrel::test::ReferenceReport(first, second, a, b, true, isPe), "\n"));

    // One dialog run per input, as each run costs two 16 MiB buffers.
    tandrel::test::FakeResultBox box(data[0] & 1 ? "\r\n" : "\n");
    box.spaceSeparator = data[0] & 2;
    box.shortNames = data[0] & 4;
    Check(tandrel::RunComparison(peImage, first.c_str(), second.c_str(), &box, nullptr));
    Check(box.text ==
          tandrel::test::Lines(tandrel::test::ReferenceReport(box.shortNames ? "a.bin" : first,
                                                              box.shortNames ? "b.bin" : second, a,
                                                              b, box.spaceSeparator, isPe),
                               box.LineEnd()));
    return 0;
}
