#include "app/run_loop.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/progress_line.h"
#include "engine/tree_comparison.h"
#include "formats/json_lines.h"
#include "formats/opening_sink.h"
#include "formats/patch_sinks.h"
#include "formats/report_output.h"
#include "formats/text_report.h"
#include "platform/file_system.h"
#include "platform/folder_walk.h"
#include "platform/stop_signal.h"

namespace tandrel {
namespace {

constexpr int kDone = 0;
constexpr int kDiffer = 1;
constexpr int kFailed = 2;

ComparisonOptions ComparisonOptionsOf(const Options& options) {
    ComparisonOptions comparison;
    comparison.range.skips[0] = options.skips[0];
    comparison.range.skips[1] = options.skips[1];
    comparison.range.limit = options.bytes.value_or(UINT64_MAX);
    comparison.maxRuns = options.maxRuns.value_or(UINT64_MAX);
    comparison.ignorePeNoise = options.ignorePeNoise;
    comparison.instructions = options.instructions;
    comparison.align = options.align;
    comparison.imagePlaces = options.format == OutputFormat::kJsonLines;
    return comparison;
}

bool IsPatch(OutputFormat format) {
    return format == OutputFormat::kDif || format == OutputFormat::k1337 ||
           format == OutputFormat::kIps;
}

// A patch is written whole or not at all; dif is a text file (CR LF on Windows), the others are
// written byte for byte.
ReportOutput OutputFor(OutputFormat format, const std::string& path) {
    switch (format) {
        case OutputFormat::kText:
            return ReportOutput::ToFile(path, false);
        case OutputFormat::kJsonLines:
            return ReportOutput::ToFile(path, true);
        case OutputFormat::kDif:
            return ReportOutput::ToNewFile(path, false);
        case OutputFormat::k1337:
        case OutputFormat::kIps:
            break;
    }
    return ReportOutput::ToNewFile(path, true);
}

std::unique_ptr<RecordSink> PatchSink(OutputFormat format, ReportOutput& output) {
    switch (format) {
        case OutputFormat::kDif:
            return std::make_unique<DifPatchSink>(output);
        case OutputFormat::k1337:
            return std::make_unique<Patch1337Sink>(output);
        default:
            break;
    }
    return std::make_unique<IpsPatchSink>(output);
}

// A format for a run of many pairs: both sinks at once.
struct ManyPairsFormat {
    RecordSink* pairs;
    TreeSink* entries;
};

// Opens the output before the first line that is not a pair's (a pair opens it through
// OpeningSink once its inputs are open).
class OpeningTreeSink : public TreeSink {
  public:
    OpeningTreeSink(ReportOutput& output, TreeSink& format) : output_(output), format_(format) {}

    bool Only(int side, const char* folder, const char* name, EntryKind kind) override {
        return Opened() && format_.Only(side, folder, name, kind);
    }
    bool Mismatch(const char* firstPath, const char* secondPath, EntryKind first,
                  EntryKind second) override {
        return Opened() && format_.Mismatch(firstPath, secondPath, first, second);
    }
    bool Link(const char* firstPath, const char* secondPath, const char* firstTarget,
              const char* secondTarget) override {
        return Opened() && format_.Link(firstPath, secondPath, firstTarget, secondTarget);
    }
    bool Error(const char* path, const char* reason) override {
        if (firstError_.Empty()) {
            firstError_.Set(path, reason);
        }
        return Opened() && format_.Error(path, reason);
    }
    bool Total(const TreeTotals& totals) override { return Opened() && format_.Total(totals); }
    bool Writable(Trouble& trouble) const override {
        if (!fault_.Empty()) {
            trouble.Set(fault_.file, fault_.reason);
            return false;
        }
        return !output_.IsOpen() || format_.Writable(trouble);
    }

    const Trouble& FirstError() const { return firstError_; }
    const Trouble& Fault() const { return fault_; }

  private:
    bool Opened() {
        return output_.IsOpen() ||
               (fault_.Empty() && output_.Open(std::span<const InputFile* const>(), fault_));
    }

    ReportOutput& output_;
    TreeSink& format_;
    Trouble fault_;
    Trouble firstError_;
};

// The pairs a NUL-separated list names, in order; false, with the reason, when it cannot be read
// or holds an odd number of names.
bool ReadPairList(const std::string& path, std::vector<std::string>& names, Trouble& trouble) {
    std::FILE* list = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (list == nullptr) {
        trouble.Set(path, SystemReason(errno));
        return false;
    }
    std::string text;
    char piece[65536];
    size_t got = 0;
    while ((got = std::fread(piece, 1, sizeof piece, list)) > 0) {
        text.append(piece, got);
    }
    const bool failed = std::ferror(list) != 0;
    const int error = errno;
    if (list != stdin) {
        std::fclose(list);
    }
    if (failed) {
        trouble.Set(path == "-" ? "standard input" : path, SystemReason(error));
        return false;
    }
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos) {
            end = text.size();  // the last name may lack its NUL
        }
        names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (names.size() % 2 != 0) {
        trouble.Set(path == "-" ? "standard input" : path,
                    "holds " + std::to_string(names.size()) + " names: pairs need an even number");
        return false;
    }
    return true;
}

// The positions a walk of the two folders will compare, and its pairs, for the progress line.
void CountFolders(const std::string& first, const std::string& second, uint64_t& bytes,
                  uint64_t& pairs) {
    std::vector<FolderEntry> a;
    std::vector<FolderEntry> b;
    Trouble ignored;
    if (!ListFolder(first, a, ignored) || !ListFolder(second, b, ignored)) {
        return;
    }
    for (size_t i = 0, j = 0; i < a.size() && j < b.size();) {
        const int order = a[i].name.compare(b[j].name);
        if (order == 0 && a[i].kind == b[j].kind) {
            if (a[i].kind == EntryKind::kFile) {
                bytes += std::min(a[i].size, b[j].size);
                ++pairs;
            } else if (a[i].kind == EntryKind::kFolder) {
                CountFolders(JoinPath(first, a[i].name), JoinPath(second, b[j].name), bytes, pairs);
            }
        }
        i += order <= 0;
        j += order >= 0;
    }
}

bool StopRequested() {
    return StopSignal() != 0;
}

// The positions a pair's comparison will take, for the progress line (0 when a size is not known).
uint64_t PairLength(const std::string& first, const std::string& second, const Options& options) {
    uint64_t lengths[2] = {FileSizeOf(first), FileSizeOf(second)};
    for (int k = 0; k < 2; ++k) {
        lengths[k] = lengths[k] > options.skips[k] ? lengths[k] - options.skips[k] : 0;
    }
    return std::min({lengths[0], lengths[1], options.bytes.value_or(UINT64_MAX)});
}

// The status of a run of many pairs, as diff -r has it: 2 on any error, else with --exit-code 1
// when anything differs.
int ManyPairsStatus(const TreeTotals& totals, bool exitCode) {
    if (totals.errors > 0) {
        return kFailed;
    }
    const bool differ = totals.different > 0 || totals.onlyFirst > 0 || totals.onlySecond > 0 ||
                        totals.mismatches > 0 || totals.linksDiffering > 0;
    return exitCode && differ ? kDiffer : kDone;
}

RunResult RunOnePair(const Options& options, const RunInputs& inputs, ProgressLine& progress) {
    RunResult result;
    ReportOutput output = OutputFor(options.format, inputs.report);
    std::unique_ptr<RecordSink> format;
    if (options.format == OutputFormat::kText) {
        format = std::make_unique<TextReportSink>(output, TextReportStyle{});
    } else if (options.format == OutputFormat::kJsonLines) {
        format = std::make_unique<JsonLinesSink>(output);
    } else {
        format = PatchSink(options.format, output);
    }
    ComparisonOptions comparison = ComparisonOptionsOf(options);
    comparison.progress = [&progress](uint64_t compared) {
        progress.Update(compared, 1);
        return StopSignal() == 0;
    };
    progress.SetTotals(PairLength(inputs.first, inputs.second, options), 1);
    const ComparisonOutcome outcome = CompareInto(inputs.first.c_str(), inputs.second.c_str(),
                                                  comparison, *format, output, StopRequested);
    progress.Erase();
    result.endSignal = StopSignal();
    if (!outcome.done) {
        result.error = outcome.trouble.Line();
        result.status = kFailed;
        return result;
    }
    if ((options.format == OutputFormat::kDif || options.format == OutputFormat::k1337) &&
        outcome.lengthsDiffer) {
        result.note = inputs.second + ": the sizes differ; the patch holds the common " +
                      std::to_string(outcome.compared) + " bytes";
    }
    result.status = options.exitCode && !outcome.identical ? kDiffer : kDone;
    return result;
}

}  // namespace

RunResult RunHeadless(const Options& options, const RunInputs& inputs) {
    RunResult result;
    const bool list = options.pairsFrom.has_value();
    const bool firstIsFolder = !list && PathIsFolder(inputs.first);
    const bool secondIsFolder = !list && PathIsFolder(inputs.second);
    const bool folders = firstIsFolder || secondIsFolder;
    if (firstIsFolder != secondIsFolder) {
        const std::string& folder = firstIsFolder ? inputs.first : inputs.second;
        const std::string& other = firstIsFolder ? inputs.second : inputs.first;
        EntryKind kind = EntryKind::kOther;
        Trouble trouble;
        result.error = !EntryKindOf(other, kind, trouble)
                           ? trouble.Line()
                           : folder + " is a folder and " + other +
                                 " is not (compare two files or two folders)";
        result.status = kFailed;
        return result;
    }
    ProgressLine progress(options.progress);
    // A patch is a new file until it replaces the report: a signal removes it and ends the run at
    // once (see the file replacement); a streamed report ends at a whole record instead.
    if (!IsPatch(options.format)) {
        CatchStopSignals();
    }
    if (!list && !folders) {
        return RunOnePair(options, inputs, progress);
    }
    if (IsPatch(options.format)) {
        result.error = "a patch holds one pair: not with folders or --pairs-from";
        result.status = kFailed;
        return result;
    }
    std::vector<std::string> names;
    if (list) {
        Trouble trouble;
        if (!ReadPairList(*options.pairsFrom, names, trouble)) {
            result.error = trouble.Line();
            result.status = kFailed;
            return result;
        }
    } else {
        names = {inputs.first, inputs.second};
    }
    // A report inside a tree it reports on would be compared while it is written.
    const bool reportIsFile = !inputs.report.empty() && inputs.report != "-";
    const std::string reportFolder = reportIsFile ? FolderOfPath(inputs.report) : "";
    for (size_t k = 0; reportIsFile && k < names.size(); ++k) {
        if (PathIsFolder(names[k]) && FolderIsWithin(reportFolder, names[k])) {
            result.error =
                inputs.report + ": the report lies inside " + names[k] + ", which it reports on";
            result.status = kFailed;
            return result;
        }
    }
    if (progress.Wanted()) {
        uint64_t bytes = 0;
        uint64_t pairs = 0;
        for (size_t k = 0; k + 1 < names.size(); k += 2) {
            if (PathIsFolder(names[k]) && PathIsFolder(names[k + 1])) {
                CountFolders(names[k], names[k + 1], bytes, pairs);
            } else {
                bytes += PairLength(names[k], names[k + 1], options);
                ++pairs;
            }
        }
        progress.SetTotals(bytes, pairs);
    }

    ReportOutput output = OutputFor(options.format, inputs.report);
    TextReportStyle style;
    style.manyPairs = true;
    TextReportSink text(output, style);
    JsonLinesSink json(output);
    const ManyPairsFormat format = options.format == OutputFormat::kJsonLines
                                       ? ManyPairsFormat{&json, &json}
                                       : ManyPairsFormat{&text, &text};
    OpeningSink pairs(output, *format.pairs, StopRequested);
    OpeningTreeSink entries(output, *format.entries);
    ComparisonOptions comparison = ComparisonOptionsOf(options);
    TreeComparison* running = nullptr;
    comparison.progress = [&progress, &running](uint64_t compared) {
        progress.Update(running->BytesDone() + compared, running->PairsDone());
        return StopSignal() == 0;
    };
    TreeComparison tree(comparison, pairs, entries, StopRequested);
    running = &tree;
    for (size_t k = 0; k + 1 < names.size(); k += 2) {
        const std::string& first = names[k];
        const std::string& second = names[k + 1];
        const bool isFolder[2] = {PathIsFolder(first), PathIsFolder(second)};
        const bool going = isFolder[0] && isFolder[1] ? tree.CompareFolders(first, second)
                           : isFolder[0] || isFolder[1]
                               ? tree.Error(isFolder[0] ? second : first,
                                            "not a folder, and the other of its pair is one")
                               : tree.ComparePair(first, second);
        progress.Update(tree.BytesDone(), tree.PairsDone());
        if (!going && (!tree.Fault().Empty() || StopSignal() != 0)) {
            break;
        }
    }
    progress.Erase();
    TreeTotals& totals = tree.Totals();
    if (StopSignal() != 0) {
        totals.complete = false;
        result.endSignal = StopSignal();
    }
    Trouble trouble = tree.Fault();
    if (trouble.Empty()) {
        entries.Total(totals);
        entries.Writable(trouble);
    }
    if (output.IsOpen()) {
        output.Close(trouble);
    }
    if (!trouble.Empty()) {
        result.error = trouble.Line();
        result.status = kFailed;
        return result;
    }
    result.status = ManyPairsStatus(totals, options.exitCode);
    if (totals.errors > 0) {
        result.error = entries.FirstError().Line();
        if (totals.errors > 1) {
            result.error += " (and " + std::to_string(totals.errors - 1) +
                            " more entries that could not be compared: see the report)";
        }
    }
    return result;
}

}  // namespace tandrel
