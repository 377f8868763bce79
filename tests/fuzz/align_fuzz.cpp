// The aligned comparison on any pair of files: whatever it reports must replay the first file
// into the second. Input: a mode byte and two bytes that cut the rest into the first file and
// what makes the second: the bytes themselves (mode even), or edits of the first (mode odd:
// each three bytes insert, delete or change a few bytes at a place), so that pairs that line
// up are common.
#include <string>

#include "engine/comparison.h"
#include "tests/support/edit_replay.h"
#include "tests/support/temp_dir.h"

namespace {

std::string Edited(std::string bytes, const std::string& edits) {
    for (size_t k = 0; k + 3 <= edits.size(); k += 3) {
        const auto op = static_cast<unsigned char>(edits[k]);
        const size_t at = static_cast<unsigned char>(edits[k + 1]) * 257 % (bytes.size() + 1);
        const size_t length = 1 + static_cast<unsigned char>(edits[k + 2]) % 40;
        if (op % 3 == 0) {
            bytes.insert(at, length, static_cast<char>(op));
        } else if (op % 3 == 1) {
            bytes.erase(at, length);
        } else {
            for (size_t j = at; j < at + length && j < bytes.size(); ++j) {
                bytes[j] = static_cast<char>(bytes[j] ^ op);
            }
        }
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tandrel;
    if (size < 3) {
        return 0;
    }
    const std::string bytes(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::string a = bytes.substr(0, (data[1] | data[2] << 8) % (size - 2));
    const std::string rest = bytes.substr(a.size());
    const std::string b = data[0] % 2 == 0 ? rest : Edited(a, rest);
    static const test::TempDir dir;
    const std::string first = dir.Write("a.bin", a), second = dir.Write("b.bin", b);

    ComparisonOptions options;
    options.align = true;
    test::EditRecordingSink sink;
    const ComparisonOutcome outcome = CompareFiles(first.c_str(), second.c_str(), options, sink);
    if (!outcome.done || !sink.summary.complete || outcome.identical != (a == b) ||
        test::Replay(a, sink.records) != b) {
        __builtin_trap();
    }
    return 0;
}
