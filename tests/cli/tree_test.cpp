// Two folders, and lists of pairs, through the real program: every entry of both trees in exactly
// one record, checked against a walk written here with std::filesystem, each pair's runs against
// a byte-by-byte count; the statuses; the progress line on a pseudo-terminal; Ctrl-C.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

#include "tests/support/program_run.h"
#include "tests/support/report_runner.h"

namespace tandrel {
namespace {

namespace fs = std::filesystem;

std::string Hex(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char c : bytes) {
        text += kDigits[c >> 4];
        text += kDigits[c & 15];
    }
    return text;
}

// One line a record, the names as the hex of their exact bytes (rebuilt from path_base64, which
// only a name that is not UTF-8 has), as Python's json module reads the report.
constexpr const char* kCanonical = R"(
import base64, json, sys
def name(d, key):
    raw = base64.b64decode(d[key + "_base64"]) if key + "_base64" in d else d[key].encode()
    assert d[key] == raw.decode("utf-8", "replace") and (key + "_base64" in d) == (d[key].encode() != raw)
    return raw.hex()
pair = None
for line in open(sys.argv[1], "rb"):
    d = json.loads(line)
    t = d["type"]
    if t == "files":
        pair = name(d["first"], "path") + " " + name(d["second"], "path")
    elif t == "summary":
        print("pair", pair, d["runs"], d["bytes"], d["identical"])
    elif t == "only":
        print("only", d["side"], name(d, "path"))
    elif t == "mismatch":
        print("mismatch", name(d, "path"), name(d, "second_path"), d["first"], d["second"])
    elif t == "link":
        print("link", name(d, "path"), name(d, "second_path"), name(d, "first"), name(d, "second"),
              d["identical"])
    elif t == "error":
        print("error", name(d, "path"))
    elif t == "total":
        print("total", *(d[k] for k in ("pairs", "identical", "different", "only_first",
              "only_second", "mismatches", "links", "errors", "runs", "bytes", "complete")))
)";

std::string Canonical(const std::string& report) {
    return test::CommandOutput("python3 -c '" + std::string(kCanonical) + "' " + report);
}

const char* KindOf(const fs::path& path) {
    const fs::file_status status = fs::symlink_status(path);
    return fs::is_symlink(status)        ? "link"
           : fs::is_directory(status)    ? "folder"
           : fs::is_regular_file(status) ? "file"
                                         : "other";
}

struct Counts {
    uint64_t pairs = 0, identical = 0, different = 0, onlyFirst = 0, onlySecond = 0, mismatches = 0,
             links = 0, errors = 0, runs = 0, bytes = 0;
};

// What the walk must report of a and b (paths relative to the current folder), in byte order of
// the names, depth first.
void ReferenceWalk(const std::string& a, const std::string& b, std::string& lines, Counts& n) {
    std::set<std::string> names;
    for (const std::string& root : {a, b}) {
        for (const auto& entry : fs::directory_iterator(root)) {
            names.insert(entry.path().filename().string());
        }
    }
    for (const std::string& name : names) {
        const std::string x = a + "/" + name;
        const std::string y = b + "/" + name;
        const bool inA = fs::exists(fs::symlink_status(x));
        const bool inB = fs::exists(fs::symlink_status(y));
        if (!inA || !inB) {
            lines += std::string("only ") + (inA ? "first " : "second ") + Hex(inA ? x : y) + "\n";
            ++(inA ? n.onlyFirst : n.onlySecond);
            continue;
        }
        const std::string kind = KindOf(x);
        if (kind != KindOf(y)) {
            lines += "mismatch " + Hex(x) + " " + Hex(y) + " " + kind + " " + KindOf(y) + "\n";
            ++n.mismatches;
        } else if (kind == "folder") {
            ReferenceWalk(x, y, lines, n);
        } else if (kind == "link") {
            const std::string s = fs::read_symlink(x).string(), t = fs::read_symlink(y).string();
            lines += "link " + Hex(x) + " " + Hex(y) + " " + Hex(s) + " " + Hex(t) +
                     (s == t ? " True\n" : " False\n");
            ++n.links;
        } else if (kind == "other") {
            lines += "error " + Hex(x) + "\n";
            ++n.errors;
        } else {
            const std::string p = test::ReadFileText(x), q = test::ReadFileText(y);
            uint64_t runs = 0, bytes = 0;
            for (size_t k = 0; k < std::min(p.size(), q.size()); ++k) {
                bytes += p[k] != q[k];
                runs += p[k] != q[k] && (k == 0 || p[k - 1] == q[k - 1]);
            }
            const bool same = bytes == 0 && p.size() == q.size();
            lines += "pair " + Hex(x) + " " + Hex(y) + " " + std::to_string(runs) + " " +
                     std::to_string(bytes) + (same ? " True\n" : " False\n");
            ++n.pairs;
            ++(same ? n.identical : n.different);
            n.runs += runs;
            n.bytes += bytes;
        }
    }
}

// Each node "KIND PATH[ DATA]": f a file with its bytes, d a folder, l a link to DATA, p a FIFO.
void Build(const test::TempDir& dir, const std::vector<std::string>& nodes) {
    fs::create_directories(dir.File("A"));
    fs::create_directories(dir.File("B"));
    for (const std::string& node : nodes) {
        const size_t space = node.find(' ', 2);
        const std::string path = dir.File(node.substr(2, space - 2));
        const std::string data = space == std::string::npos ? "" : node.substr(space + 1);
        fs::create_directories(fs::path(path).parent_path());
        if (node[0] == 'f') {
            dir.Write(node.substr(2, space - 2), data);
        } else if (node[0] == 'd') {
            fs::create_directories(path);
        } else if (node[0] == 'l') {
            fs::create_symlink(data, path);
        } else {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }
    }
}

std::string Expected(const test::TempDir& dir) {
    const fs::path here = fs::current_path();
    fs::current_path(dir.Path());
    std::string lines;
    Counts n;
    ReferenceWalk("A", "B", lines, n);
    fs::current_path(here);
    std::string total = "total";
    for (const uint64_t count : {n.pairs, n.identical, n.different, n.onlyFirst, n.onlySecond,
                                 n.mismatches, n.links, n.errors, n.runs, n.bytes}) {
        total += " " + std::to_string(count);
    }
    return lines + total + " True\n";
}

TEST(TreeRun, EveryEntryOfBothTreesInOneRecord) {
    const std::string pe(4096, 'M');
    const struct {
        const char* shape;
        std::vector<std::string> nodes;
    } cases[] = {
        {"only one side: files, and a folder named once",
         {"f A/x hello", "f B/x hellp", "d A/onlyA", "f A/onlyA/in 1", "f A/onlyA/deeper/in 2",
          "f B/onlyB"}},
        {"a name of other kinds on the two sides",
         {"d A/k1", "f B/k1 f", "f A/k2 f", "l B/k2 k1", "l A/k3 x", "d B/k3", "p A/k4",
          "f B/k4 f"}},
        {"links, never followed",
         {"l A/same target", "l B/same target", "l A/diff lib.so.2", "l B/diff lib.so.3", "d A/dir",
          "l A/to-dir dir", "d B/dir", "l B/to-dir dir", "f A/dir/f a", "f B/dir/f b"}},
        {"a FIFO on both sides is never opened", {"p A/pipe", "p B/pipe"}},
        // Latin-1 beside UTF-8, escapes, a surrogate, an overlong form, four bytes and a control.
        {"names that are not UTF-8, in byte order",
         {"f A/n\xE9 caf\xE9", "f B/n\xE9 cafe", "f A/\xFF x", "f A/n\xC3\xA9 same",
          "f B/n\xC3\xA9 same", "f B/N upper", "f A/caf\xE9.bin 1", "f B/caf\xC3\xA9.bin 2",
          "f A/new\nline\"q\"back\\slash\x7F 1", "f B/new\nline\"q\"back\\slash\x7F 2",
          "f A/\xED\xA0\x80\xC0\xAF 1", "f B/\xF0\x9D\x84\x9E\x01 2"}},
        {"empty folders and empty files", {"d A/e", "d B/e", "d A/e2", "f A/z", "f B/z"}},
        {"deep, sizes apart, runs split by one equal byte",
         {"f A/d1/d2/d3/x ABCDEFGH", "f B/d1/d2/d3/x AXCYZFGHIJ", "f A/d1/pe " + pe,
          "f B/d1/pe " + pe}},
        {"two empty trees", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        const test::TempDir dir;
        Build(dir, c.nodes);
        const test::ProgramRun run =
            test::RunTandrel(dir.Path().string(), {"--format=jsonl", "A", "B", "report.jsonl"});
        EXPECT_EQ(Canonical(dir.File("report.jsonl")), Expected(dir));
        const bool errors = Expected(dir).find("error ") != std::string::npos;
        EXPECT_EQ(run.status, errors ? 2 : 0) << run.errors;
        EXPECT_EQ(run.errors.empty(), !errors) << run.errors;
    }
}

TEST(TreeRun, TenThousandFilesEveryHundredthDiffering) {
    const test::TempDir dir;
    std::vector<std::string> nodes;
    for (int k = 0; k < 10000; ++k) {
        const std::string name = "d" + std::to_string(k % 10) + "/f" + std::to_string(k);
        nodes.push_back("f A/" + name + " content " + std::to_string(k));
        nodes.push_back("f B/" + name + " content " + std::to_string(k % 100 ? k : k + 1));
    }
    Build(dir, nodes);
    EXPECT_EQ(test::RunTandrel(dir.Path().string(), {"--format=jsonl", "A", "B", "r"}).status, 0);
    const std::string canonical = Canonical(dir.File("r"));
    EXPECT_EQ(canonical, Expected(dir));
    EXPECT_NE(canonical.find("total 10000 9900 100 0 0 0 0 0 "), std::string::npos);
}

TEST(TreeRun, TextReadsLikeDiffRecursiveWithEachDifferingPairsReport) {
    const test::TempDir dir;
    Build(dir, {"f A/a ABCD", "f B/a AXYD", "f A/same s", "f B/same s", "d A/sub", "f B/sub x",
                "f A/sub/only", "f A/z 1", "f B/z 2", "f B/zz"});
    EXPECT_EQ(test::RunTandrel(dir.Path().string(), {"A", "B", "report.txt"}).status, 0);
    EXPECT_EQ(test::ReadFileText(dir.File("report.txt")),
              "Comparing A/a\n and B/a\nWarning: not a PE file!\n\nFile offset = 1\n"
              "Bytes Size (dec) = 2\nFirst file bytes: \n42 43 \nSecond file bytes: \n58 59 \n"
              "\nFile A/sub is a folder while file B/sub is a regular file\n"
              "\nComparing A/z\n and B/z\nWarning: not a PE file!\n\nFile offset = 0\n"
              "Bytes Size (dec) = 1\nFirst file bytes: \n31 \nSecond file bytes: \n32 \n"
              "\nOnly in B: zz\n"
              "\nTotal: 3 pairs of files (1 identical, 2 different), 0 only in the first, 1 only "
              "in the second, 1 mismatch, 0 pairs of links (0 differing), 0 errors; 2 runs, 3 "
              "differing bytes.\n");
}

TEST(TreeRun, StatusesAsDiffRecursiveHasThem) {
    const struct {
        std::vector<std::string> nodes;
        std::vector<std::string> arguments;
        int status;
        bool written;
    } cases[] = {
        {{"f A/x 1", "f B/x 1"}, {"--exit-code", "A", "B", "r"}, 0, true},
        {{"f A/x 1", "f B/x 2"}, {"A", "B", "r"}, 0, true},
        {{"f A/x 1", "f B/x 2"}, {"--exit-code", "A", "B", "r"}, 1, true},
        {{"f A/x 1"}, {"--exit-code", "A", "B", "r"}, 1, true},
        {{"l A/l 1", "l B/l 2"}, {"--exit-code", "A", "B", "r"}, 1, true},
        {{"l A/l 1", "l B/l 1"}, {"--exit-code", "A", "B", "r"}, 0, true},
        {{"p A/p", "p B/p", "f A/x 1"}, {"--exit-code", "A", "B", "r"}, 2, true},
        {{"f A/x 1"}, {"A", "A/x", "r"}, 2, false},
        {{"f A/x 1"}, {"A", "missing", "r"}, 2, false},
        {{}, {"--format=dif", "A", "B", "r"}, 2, false},
        {{}, {"A", "B", "A/r"}, 2, false},
        {{}, {"--pairs-from=odd", "r"}, 2, false},
        {{}, {"--pairs-from=odd", "--format=ips", "r"}, 2, false},
        {{}, {"--pairs-from=pairs", "r"}, 1 - 1, true},
        {{}, {"--exit-code", "--pairs-from=pairs", "r"}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const test::TempDir dir;
        Build(dir, c.nodes);
        dir.Write("odd", std::string("A/x\0B/x\0A/y\0", 12));
        dir.Write("p1", "same");
        dir.Write("p2", "diff");
        dir.Write("pairs", std::string("p1\0p1\0p1\0p2\0", 12));
        const test::ProgramRun run = test::RunTandrel(dir.Path().string(), c.arguments);
        EXPECT_EQ(run.status, c.status) << run.errors;
        EXPECT_EQ(fs::exists(dir.File("r")), c.written);
        EXPECT_EQ(run.errors.empty(), c.status < 2) << run.errors;
    }
}

TEST(TreeRun, PairsFromAListOrStandardInputInTheirOrder) {
    const test::TempDir dir;
    Build(dir, {"f A/x 1", "f B/x 2", "f A/y ab", "f B/y ab"});
    dir.Write("one", "ABCD");
    dir.Write("two", "AXYD");
    const std::string list("one\0two\0A\0B\0two\0one", 19);  // the last NUL may be missing
    dir.Write("list", list);
    const std::string expected = "pair " + Hex("one") + " " + Hex("two") + " 1 2 False\n" +
                                 "pair " + Hex("A/x") + " " + Hex("B/x") + " 1 1 False\n" +
                                 "pair " + Hex("A/y") + " " + Hex("B/y") + " 0 0 True\n" + "pair " +
                                 Hex("two") + " " + Hex("one") + " 1 2 False\n" +
                                 "total 4 1 3 0 0 0 0 0 3 5 True\n";
    for (const std::string from : {"list", "-"}) {  // "-": standard input
        const test::ProgramRun run = test::RunTandrel(
            dir.Path().string(), {"--format=jsonl", "--pairs-from=" + from, "r" + from},
            {.input = from == "-" ? dir.File("list") : ""});
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(Canonical(dir.File("r" + from)), expected) << from;
    }
}

TEST(TreeRun, ProgressLineOnTheTerminalNeverInTheReport) {
    const test::TempDir dir;
    std::string bytes(48 << 20, '\0');
    dir.Write("a", bytes);
    bytes[40 << 20] = 1;
    dir.Write("b", bytes);
    const auto shown = [&dir](std::vector<std::string> arguments) {
        const test::ProgramRun run =
            test::RunTandrel(dir.Path().string(), arguments, {.terminal = true});
        EXPECT_EQ(run.status, 0);
        return run.errors;
    };
    const std::string progress = shown({"--progress", "a", "b", "r"});
    // "48.0 MiB of 48.0 MiB, 100%", drawn over with "\r" and erased at the end.
    EXPECT_NE(progress.find(" MiB of 48.0 MiB, "), std::string::npos) << progress;
    EXPECT_NE(progress.find("%"), std::string::npos) << progress;
    EXPECT_EQ(progress.back(), '\r') << progress;
    EXPECT_EQ(test::ReadFileText(dir.File("r")).find("MiB"), std::string::npos);
    // A run shorter than a second shows none by default, and --no-progress never.
    EXPECT_EQ(shown({"a", "b", "r"}), "");
    EXPECT_EQ(shown({"--no-progress", "a", "b", "r"}), "");
}

TEST(TreeRun, InterruptEndsTheRunWithWholeLinesAndTheSignalsStatus) {
    const test::TempDir dir;
    // Dense: a differing byte every other byte, about 25 MB of JSON Lines.
    std::string first(8 << 20, '\0');
    std::string second = first;
    for (size_t k = 0; k < second.size(); k += 2) {
        second[k] = 1;
    }
    dir.Write("a", first);
    dir.Write("b", second);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        test::ProgramSetting interrupted;
        interrupted.whileRunning = [signal](pid_t pid) {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            ::kill(pid, signal);
        };
        EXPECT_EQ(
            test::RunTandrel(dir.Path().string(), {"--format=jsonl", "a", "b", "r"}, interrupted)
                .signal,
            signal);
        const std::string report = test::ReadFileText(dir.File("r"));
        ASSERT_FALSE(report.empty());
        EXPECT_EQ(report.back(), '\n');
        // Whole lines only, and the last says the run is incomplete.
        EXPECT_NE(report.rfind("{\"type\":\"summary\""), std::string::npos);
        EXPECT_NE(report.find("\"complete\":false", report.rfind('\n', report.size() - 2)),
                  std::string::npos);
        EXPECT_EQ(Canonical(dir.File("r")).find("pair"), 0u);
    }
}

}  // namespace
}  // namespace tandrel
