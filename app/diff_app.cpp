#include "app/diff_app.h"

#include "app/command_line.h"
#include "app/options.h"
#include "app/run_loop.h"
#include "formats/patch_apply.h"
#include "tandrel_version.h"

namespace tandrel {
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
    RunInputs inputs;
    if (options.pairsFrom) {
        // The one file left, if any, is the report.
        inputs.report = arguments.files.empty() ? "file.txt" : arguments.files[0];
        if (quoted) {
            StripQuotes(inputs.report);
        }
    } else {
        if (!line.headless) {
            DiffDialog dialog;
            return runDialog(dialog);
        }
        inputs.first = line.first;
        inputs.second = line.second;
        // An empty report path names no file: the comparison runs and writes nowhere.
        inputs.report = line.hasThird ? line.third : "file.txt";
    }
    const RunResult result = RunHeadless(options, inputs);
    messages.error = result.error;
    messages.note = result.note;
    messages.endSignal = result.endSignal;
    return result.status;
}

}  // namespace tandrel
