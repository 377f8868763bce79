// The Linux option parser: argv entries as the shell left them, taken as given.
#include "app/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tandrel {
namespace {

// What the parser makes of the arguments, as one text: the usage error, help or version, or the
// files joined by "|" and every option that differs from its default.
std::string Parsed(const std::vector<std::string>& arguments) {
    const Arguments a = ParseArguments(arguments, false);
    if (a.action != Action::kRun) {
        return a.action == Action::kUsageError ? "error: " + a.error
               : a.action == Action::kHelp     ? "help"
                                               : "version";
    }
    const Options& o = a.options;
    const char* formats[] = {"text", "jsonl", "dif", "1337", "ips"};
    std::string text = o.headless ? "headless" : "plain";
    for (const std::string& file : a.files) {
        text += "|" + file;
    }
    text += o.formatGiven ? std::string(" format=") + formats[static_cast<int>(o.format)] : "";
    text += o.exitCode ? " exit-code" : "";
    text += o.skips[0] || o.skips[1]
                ? " skip=" + std::to_string(o.skips[0]) + ":" + std::to_string(o.skips[1])
                : "";
    text += o.bytes ? " bytes=" + std::to_string(*o.bytes) : "";
    text += o.maxRuns ? " max-runs=" + std::to_string(*o.maxRuns) : "";
    text += o.ignorePeNoise ? " noise" : "";
    text += o.instructions ? " instructions" : "";
    text += o.apply ? " apply=" + *o.apply : "";
    text += o.revert ? " revert" : "";
    return text;
}

TEST(LinuxOptions, EachOptionInEachSpelling) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "plain"},
        {{"a", "b"}, "plain|a|b"},
        {{"a", "b", "r"}, "plain|a|b|r"},
        {{"--format=jsonl", "a", "b"}, "headless|a|b format=jsonl"},
        {{"--format", "dif", "a", "b"}, "headless|a|b format=dif"},
        {{"a", "--format=1337", "b"}, "headless|a|b format=1337"},
        {{"--format=ips", "--format=text", "a", "b"}, "headless|a|b format=text"},
        {{"--exit-code", "a", "b"}, "headless|a|b exit-code"},
        {{"--ignore-initial=16", "a", "b"}, "headless|a|b skip=16:16"},
        {{"--ignore-initial=0x10:7", "a", "b"}, "headless|a|b skip=16:7"},
        {{"--bytes", "0XfF", "a", "b"}, "headless|a|b bytes=255"},
        {{"--bytes=18446744073709551615", "a", "b"}, "headless|a|b bytes=18446744073709551615"},
        {{"--max-runs=0", "a", "b"}, "headless|a|b max-runs=0"},
        {{"--ignore-pe-noise", "a", "b"}, "headless|a|b noise"},
        {{"--instructions", "a", "b"}, "headless|a|b instructions"},
        {{"--format=jsonl", "--instructions", "a", "b"}, "headless|a|b format=jsonl instructions"},
        {{"--apply=p.dif", "t"}, "headless|t apply=p.dif"},
        {{"--apply", "p.dif", "--revert", "t", "out"}, "headless|t|out apply=p.dif revert"},
        {{"-h", "a", "b"}, "help"},
        {{"--help"}, "help"},
        {{"-V"}, "version"},
        {{"--version", "--bogus"}, "version"},
        // Names taken as given: "-" alone, anything after "--", quotes and spaces kept.
        {{"-", "b"}, "plain|-|b"},
        {{"--", "--format=dif", "-h"}, "plain|--format=dif|-h"},
        {{"\"a b\"", "c\"d"}, "plain|\"a b\"|c\"d"},
    };
    for (const auto& [arguments, parsed] : cases) {
        EXPECT_EQ(Parsed(arguments), parsed) << parsed;
    }
}

TEST(LinuxOptions, EveryBadValueOrCombinationIsAUsageError) {
    const std::string number = "' (a number: decimal, or hexadecimal after 0x)";
    const std::string format = "error: bad value for --format: '",
                      formats = "' (text, jsonl, dif, 1337 or ips)";
    const std::string cut = "error: --max-runs would cut the patch short: not with --format=";
    const std::string noName =
        "error: --apply takes no empty file name ('-' writes the patched copy to standard output)";
    const std::string onlyRevert = "error: --apply takes only --revert besides it";
    const std::string patchAndOutput =
        "error: --apply takes the file to patch, and the file to write if not that one";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--format=bogus", "a", "b"}, format + "bogus" + formats},
        // A bad value after a good one, and a good one after a bad one.
        {{"--format=jsonl", "--format=bogus", "a", "b", "rep.txt"}, format + "bogus" + formats},
        {{"--format=", "--format=text", "a", "b"}, format + "" + formats},
        {{"--format=JSONL", "a", "b"}, format + "JSONL" + formats},
        {{"--bytes=1", "--bytes=x", "a", "b"}, "error: bad value for --bytes: 'x" + number},
        {{"--bytes=18446744073709551616", "a", "b"},
         "error: bad value for --bytes: '18446744073709551616" + number},
        {{"--bytes=-1", "a", "b"}, "error: bad value for --bytes: '-1" + number},
        {{"--max-runs=0x", "a", "b"}, "error: bad value for --max-runs: '0x" + number},
        {{"--ignore-initial=1:", "a", "b"}, "error: bad value for --ignore-initial: '1:" + number},
        {{"--ignore-initial=:1", "a", "b"}, "error: bad value for --ignore-initial: ':1" + number},
        {{"--exit-code=yes", "a", "b"}, "error: option '--exit-code' takes no value"},
        {{"a", "b", "--format"}, "error: option '--format' needs a value"},
        {{"--frmat=dif", "a", "b"}, "error: unknown option '--frmat'"},
        {{"-x", "a", "b"}, "error: unknown option '-x'"},
        {{"-hV"}, "error: unknown option '-hV'"},
        {{"--exit-code", "a"}, "error: two files to compare are needed"},
        {{"--format=dif", "--max-runs=3", "a", "b"}, cut + "dif"},
        {{"--format=1337", "--max-runs=3", "a", "b"}, cut + "1337"},
        {{"--max-runs=3", "--format=ips", "a", "b"}, cut + "ips"},
        {{"--instructions", "--format=dif", "a", "b"},
         "error: --instructions lists code in text and jsonl reports only"},
        // --apply takes only --revert, a patch, the target and an output.
        {{"--revert", "a", "b"}, "error: --revert works only with --apply"},
        {{"--apply=p.dif"}, patchAndOutput},
        {{"--apply=p.dif", "t", "o", "x"}, patchAndOutput},
        {{"--apply=p.dif", "--format=dif", "t"}, onlyRevert},
        {{"--exit-code", "--apply=p.dif", "t"}, onlyRevert},
        {{"--apply=p.dif", "--bytes=1", "t"}, onlyRevert},
        {{"--apply=p.dif", "--max-runs=1", "t"}, onlyRevert},
        {{"--apply=p.dif", "--ignore-pe-noise", "t"}, onlyRevert},
        {{"--apply=p.dif", "--instructions", "t"}, onlyRevert},
        {{"--apply=p.dif", "--ignore-initial=0:1", "t"}, onlyRevert},
        {{"--apply=", "t"}, "error: option '--apply' needs a patch file"},
        {{"--apply", "", "t"}, "error: option '--apply' needs a patch file"},
        {{"--apply=p.dif", "t", ""}, noName},
        {{"--apply=p.dif", ""}, noName},
    };
    for (const auto& [arguments, parsed] : cases) {
        EXPECT_EQ(Parsed(arguments), parsed) << parsed;
    }
}

}  // namespace
}  // namespace tandrel
