// The records of an aligned comparison kept whole, and the oracle they answer to: replayed on the
// first file they give the second.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/comparison.h"

namespace tandrel::test {

struct EditRecord {
    RunKind kind = RunKind::kChange;
    uint64_t offset = 0;
    uint64_t secondOffset = 0;
    std::string first;  // the bytes of each side ("" on the side without)
    std::string second;
    uint32_t rva = 0;
    uint64_t va = 0;
    uint32_t secondRva = 0;
    uint64_t secondVa = 0;

    bool operator==(const EditRecord&) const = default;
};

inline void PrintTo(const EditRecord& r, std::ostream* out) {
    *out << "{kind " << int(r.kind) << ", offset " << r.offset << ", second offset "
         << r.secondOffset << ", " << r.first.size() << "/" << r.second.size() << " bytes, rva "
         << r.rva << "/" << r.secondRva << "}";
}

inline EditRecord Inserted(uint64_t offset, uint64_t secondOffset, std::string bytes) {
    return {RunKind::kInsert, offset, secondOffset, "", std::move(bytes)};
}
inline EditRecord Deleted(uint64_t offset, uint64_t secondOffset, std::string bytes) {
    return {RunKind::kDelete, offset, secondOffset, std::move(bytes), ""};
}
inline EditRecord Changed(uint64_t offset, uint64_t secondOffset, std::string first,
                          std::string second) {
    return {RunKind::kChange, offset, secondOffset, std::move(first), std::move(second)};
}

struct EditRecordingSink : RecordSink {
    std::vector<EditRecord> records;
    ComparisonSummary summary;
    bool aligned = false;

    bool Begin(const ComparisonFacts& facts, Trouble&) override {
        aligned = facts.aligned;
        return true;
    }
    bool Record(const DiffRecord& r) override {
        const auto bytes = [&r](const uint8_t* p, bool has) {
            return has ? std::string(reinterpret_cast<const char*>(p), r.length) : std::string();
        };
        records.push_back(
            {r.kind, r.offset, r.secondOffset, bytes(r.first, r.kind != RunKind::kInsert),
             bytes(r.second, r.kind != RunKind::kDelete), r.rva, r.va, r.secondRva, r.secondVa});
        return true;
    }
    bool End(const ComparisonSummary& s, Trouble&) override {
        summary = s;
        return true;
    }
};

// The second file as the records make it from the first: equal bytes copied, a change's or an
// insertion's second bytes written, a deletion's first bytes passed over. Nothing when the
// records cannot be replayed: out of order, first bytes or second offsets that are not the
// files', a change with a byte equal on both sides, an empty record.
inline std::optional<std::string> Replay(const std::string& first,
                                         const std::vector<EditRecord>& records) {
    std::string second;
    uint64_t at = 0;
    for (const EditRecord& r : records) {
        const size_t length = r.kind == RunKind::kInsert ? r.second.size() : r.first.size();
        bool badChange = r.kind == RunKind::kChange && r.first.size() != r.second.size();
        for (size_t k = 0; r.kind == RunKind::kChange && !badChange && k < length; ++k) {
            badChange = r.first[k] == r.second[k];
        }
        if (r.offset < at || r.offset > first.size() || length == 0 || badChange) {
            return std::nullopt;
        }
        second.append(first, at, r.offset - at);
        at = r.offset;
        if (r.secondOffset != second.size() ||
            (r.kind != RunKind::kInsert && first.compare(at, length, r.first) != 0)) {
            return std::nullopt;
        }
        second += r.second;
        at += r.kind == RunKind::kInsert ? 0 : length;
    }
    second.append(first, at);
    return second;
}

}  // namespace tandrel::test
