// The whole comparison on any pair of files: the report must equal, line by line, what
// a plain byte-by-byte walk expects (offsets, lengths, hex of both files, RVA and VA when the first
// file is an image). Input: two bytes choose where the rest is cut into the two files.
#include "engine/comparison.h"
#include "tests/support/report_runner.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tandrel::test;
    if (size < 2) {
        return 0;
    }
    const std::string bytes(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::string a = bytes.substr(0, (data[0] | data[1] << 8) % (size - 1));
    const std::string b = bytes.substr(a.size());
    static const TempDir dir;
    const std::string first = dir.Write("a.bin", a), second = dir.Write("b.bin", b);
    // The header reader's view of the first chunk: the file's bytes, then zeros. A read past the
    // bytes is an AddressSanitizer report.
    const tandrel::FirstChunk chunk = {reinterpret_cast<const uint8_t*>(a.data()), a.size(),
                                       16777216};
    tandrel::PeImageInfo image;
    const tandrel::PeImageInfo* isPe =
        tandrel::ParsePeHeader(image, chunk, a.size()) ? &image : nullptr;

    const Compared compared = FileModeReport(first, second, dir);
    if (!compared.done ||
        compared.report != Lines(ReferenceReport(first, second, a, b, true, isPe))) {
        __builtin_trap();
    }
    return 0;
}
