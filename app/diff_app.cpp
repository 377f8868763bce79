#include "app/diff_app.h"

#include <memory>

#include "app/command_line.h"
#include "app/options.h"
#include "formats/json_lines.h"
#include "formats/patch_apply.h"
#include "formats/patch_sinks.h"
#include "formats/report_output.h"
#include "formats/text_report.h"
#include "tandrel_version.h"

namespace tandrel {
namespace {

ComparisonOptions ComparisonOptionsOf(const Options& options) {
    ComparisonOptions comparison;
    comparison.range.skips[0] = options.skips[0];
    comparison.range.skips[1] = options.skips[1];
    comparison.range.limit = options.bytes.value_or(UINT64_MAX);
    comparison.maxRuns = options.maxRuns.value_or(UINT64_MAX);
    comparison.ignorePeNoise = options.ignorePeNoise;
    comparison.align = options.align;
    comparison.imagePlaces = options.format == OutputFormat::kJsonLines;
    return comparison;
}

// The sink of the chosen format, writing to output.
std::unique_ptr<RecordSink> MakeSink(OutputFormat format, ReportOutput& output) {
    switch (format) {
        case OutputFormat::kJsonLines:
            return std::make_unique<JsonLinesSink>(output);
        case OutputFormat::kDif:
            return std::make_unique<DifPatchSink>(output);
        case OutputFormat::k1337:
            return std::make_unique<DebuggerPatchSink>(output);
        case OutputFormat::kIps:
            return std::make_unique<IpsPatchSink>(output);
        case OutputFormat::kText:
            break;
    }
    return std::make_unique<TextReportSink>(output, TextReportStyle{});
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

}  // namespace

int DiffApp::Run(std::span<const std::string> tokens, bool quoted, const DialogRunner& runDialog,
                 AppMessages& messages) {
    const Arguments arguments = ParseArguments(tokens, quoted);
    switch (arguments.action) {
        case Action::kHelp:
            messages.standardOutput = HelpText();
            return kDone;
        case Action::kVersion:
            messages.standardOutput = "tandrel " TANDREL_VERSION "\n";
            return kDone;
        case Action::kUsageError:
            messages.error = arguments.error + " (tandrel --help lists the options)";
            return kFailed;
        case Action::kRun:
            break;
    }
    const Options& options = arguments.options;
    const CommandLine line = CommandLineFromFiles(arguments.files, quoted);
    if (options.apply) {
        ApplyRequest request;
        request.patchPath = *options.apply;
        request.targetPath = line.first;
        if (arguments.files.size() > 1) {
            request.outputPath = line.second;
        }
        request.revert = options.revert;
        const ApplyOutcome outcome = ApplyPatch(request);
        messages.error = outcome.trouble.Empty() ? "" : outcome.trouble.Line();
        messages.note = outcome.note;
        return outcome.status;
    }
    DiffDialog dialog;
    if (!line.headless) {
        return runDialog(dialog);
    }
    // An empty report path names no file: the comparison runs and writes nowhere.
    const std::string reportPath = line.hasThird ? line.third : "file.txt";
    ReportOutput output = OutputFor(options.format, reportPath);
    const std::unique_ptr<RecordSink> sink = MakeSink(options.format, output);
    const ComparisonOutcome outcome = dialog.RunComparison(
        line.first.c_str(), line.second.c_str(), nullptr, sink.get(), ComparisonOptionsOf(options));
    if (!outcome.done) {
        messages.error = outcome.trouble.Line();
        return kFailed;
    }
    const bool byteList =
        options.format == OutputFormat::kDif || options.format == OutputFormat::k1337;
    if (byteList && outcome.lengthsDiffer) {
        messages.note = line.second + ": the sizes differ; the patch holds the common " +
                        std::to_string(outcome.compared) + " bytes";
    }
    return options.exitCode && !outcome.identical ? kDiffer : kDone;
}

}  // namespace tandrel
