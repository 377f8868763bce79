// The differences as patches: a line a byte by file offset after a short header (dif), a line a
// byte by RVA after a `>MODULE` line (1337), and IPS. A patch is written whole or not at all: a
// failed export leaves the report path as it was (see ReportOutput::ToNewFile).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/record_sink.h"
#include "formats/report_output.h"

namespace tandrel {

// "OFFSET: OLD NEW" a differing byte, offsets in 8 upper-case hex digits (16 when one needs more).
class DifPatchSink : public RecordSink {
  public:
    explicit DifPatchSink(ReportOutput& output) : output_(output) {}
    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override;
    bool Record(const DiffRecord& record) override;
    bool End(const ComparisonSummary& summary, Trouble& trouble) override;

  private:
    ReportOutput& output_;
    int digits_ = 8;
};

// ">name", then "RVA:OLD->NEW" a differing byte, RVAs in 8 (PE32) or 16 (PE32+) hex digits. Only
// for an image, and only for bytes that have an RVA.
class Patch1337Sink : public RecordSink {
  public:
    explicit Patch1337Sink(ReportOutput& output) : output_(output) {}
    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override;
    bool Record(const DiffRecord& record) override;
    bool End(const ComparisonSummary& summary, Trouble& trouble) override;

  private:
    ReportOutput& output_;
    const PeImageInfo* image_ = nullptr;
    const char* path_ = "";
    int digits_ = 8;
    Trouble fault_;  // a byte without an RVA
};

// "PATCH", records of a 3-byte offset, a 2-byte size and the second file's bytes, "EOF", and a
// 3-byte truncation size when the second file is shorter. Everything must lie below 16 MiB.
class IpsPatchSink : public RecordSink {
  public:
    explicit IpsPatchSink(ReportOutput& output) : output_(output) {}
    bool Begin(const ComparisonFacts& facts, Trouble& trouble) override;
    bool Record(const DiffRecord& record) override;
    bool WantsTail() const override { return true; }
    bool Tail(uint64_t offset, const uint8_t* bytes, size_t count) override;
    bool End(const ComparisonSummary& summary, Trouble& trouble) override;

  private:
    // Adds bytes for offset, joined to the pending record when they follow it.
    bool Add(uint64_t offset, const uint8_t* bytes, size_t count);
    void WritePending();
    bool Fail(uint64_t offset, const char* what);

    ReportOutput& output_;
    const ComparisonFacts* facts_ = nullptr;
    uint64_t pendingOffset_ = 0;
    std::vector<uint8_t> pending_;
    Trouble fault_;
};

}  // namespace tandrel
