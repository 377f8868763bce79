// What both dialog benchmarks share: the pairs whose reports run past the 300,000-character
// stop, and the loop that times Compare on each and prints the medians.
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace tandrel::bench {

using Bytes = std::vector<char>;

struct StopPair {
    const char* name;
    Bytes first;
    Bytes second;
};

// Many short records: every other byte of the second file differs from the zeros of the first.
inline StopPair ManyRecordsPair() {
    StopPair records{"100,000 one-byte runs", Bytes(200000, 0), Bytes(200000, 0)};
    for (size_t k = 0; k < records.second.size(); k += 2) {
        records.second[k] = 1;
    }
    return records;
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Times one Compare of the two files in a fresh dialog: milliseconds, with the box's text length
// in boxLength, or a negative value when the dialog could not be made.
using CompareTimer =
    std::function<double(const std::string& first, const std::string& second, int& boxLength)>;

// Writes each pair into dir, times it runs times and prints the median and every time. Returns
// 0, or 1 when a dialog could not be made. dir is removed at the end.
inline int TimeDialogStops(const std::vector<StopPair>& pairs, int runs,
                           const std::filesystem::path& dir, const CompareTimer& timeCompare) {
    std::filesystem::create_directories(dir);
    const std::string a = (dir / "first.bin").string();
    const std::string b = (dir / "second.bin").string();
    int status = 0;
    for (const StopPair& pair : pairs) {
        WriteFile(a, pair.first);
        WriteFile(b, pair.second);
        std::vector<double> times;
        int length = 0;
        for (int run = 0; run < runs; ++run) {
            const double time = timeCompare(a, b, length);
            if (time < 0) {
                std::fprintf(stderr, "the dialog could not be created (no display?)\n");
                status = 1;
                break;
            }
            times.push_back(time);
        }
        if (times.empty()) {
            break;
        }
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        std::printf("dialog compare to the stop, %s: box %d chars, median %.1f ms (of %d:",
                    pair.name, length, sorted[sorted.size() / 2], runs);
        for (double t : times) {
            std::printf(" %.1f", t);
        }
        std::printf(")\n");
    }
    std::filesystem::remove_all(dir);
    return status;
}

}  // namespace tandrel::bench
