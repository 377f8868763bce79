#include <gtest/gtest.h>

#include "formats/patch_apply.h"
#include "formats/number_format.h"
#include "formats/patch_reader.h"
#include "tests/support/pe_builder.h"

namespace tandrel {
namespace {

namespace fs = std::filesystem;

// What the reader made of a text: each module's name (none in a dif) and its records as
// ADDRESS:OLD:NEW, or the refusal as "line N: reason".
std::string Read(const std::string& text) {
    Patch patch;
    PatchRefusal refusal;
    std::string read = ReadPatch(text, patch, refusal)
                           ? ""
                           : "line " + std::to_string(refusal.line) + ": " + refusal.reason;
    for (const PatchModule& module : patch.modules) {
        read += ">" + module.name + " ";
        for (const ByteChange& c : module.changes) {
            read += HexText(c.address) + ":" + HexText(c.oldByte) + ":" + HexText(c.newByte) + " ";
        }
    }
    return read;
}

// Both grammars read, or refused with the line. Every line past a dif's header (a title, an empty
// line, the file's name) is a record or blank, and a 1337 patch holds nothing but module lines and
// records: the first other line refuses the patch with its number, however well-formed the
// records after it.
TEST(PatchGrammar, BothGrammarsReadOrRefusedWithTheLine) {
    const std::string header = "This difference file was created by Tandrel\r\n\r\nt.bin\r\n";
    const std::string bom = "\xEF\xBB\xBF", leet = "not a 1337 line (>MODULE or RVA:OLD->NEW)";
    const std::string dif = "not a dif record (OFFSET: OLD NEW)";
    const std::string title =
        dif + " nor a header's title (a title, an empty line, the file's name)";
    const std::pair<std::string, std::string> cases[] = {
        {"This difference file\r\n\r\n>x.exe\r\n00001428: 6f 20\r\n\r\n 0A :ff\t 00 \r\n"
         "FFFFFFFFFFFFFFFF:01  02",
         "> A:FF:0 1428:6F:20 FFFFFFFFFFFFFFFF:1:2 "},
        {">A.exe\n00012475:6A->90\n\n>b.dll\r\n 10 : 0a -> 0B \n1:00->01",
         ">A.exe 12475:6A:90 >b.dll 1:0:1 10:A:B "},
        {"1: 00 01\n2: 0 01", "line 2: " + dif},
        {"5: 00 01\n1: 00 01\n5: 00 02\n",
         "line 3: a second record for offset 0x5 (the first is on line 1)"},
        {"1:00->01\n", "line 1: a record before the first >module line"},
        {">m\n1:00->01\n1: 00 01\n", "line 3: " + leet},
        {">m\n1:00->01\n\n>n\n1:00->01\n1:00->02",
         "line 6: a second record for RVA 0x1 (the first is on line 5)"},
        {">\n1:00->01", "line 1: a module line without a name"},
        {"1: 00 01\r\r\n", "line 0: no byte records (OFFSET: OLD NEW)"},
        {" \n\t\r\n", "line 0: no byte records (OFFSET: OLD NEW or RVA:OLD->NEW)"},
        {">m\n", "line 0: no byte records (RVA:OLD->NEW)"},
        {"PATCHEOF\x01\x02\x03", "line 0: IPS patches carry no old bytes to check"},
        // A byte-order mark, as a Windows editor saves one, read as if it were not there.
        {"\xEF\xBB\xBFThis difference file\r\n\r\nt.bin\r\n00001000: 12 34\r\n", "> 1000:12:34 "},
        {bom + "00001000: 12 34\n1001: 56 78", "> 1000:12:34 1001:56:78 "},
        {"\xEF\xBB\xBF>t.bin\n1000:12->34\n", ">t.bin 1000:12:34 "},
        {"\xEF\xBB\xBF\n>t.bin\n1000:12->34\n", ">t.bin 1000:12:34 "},
        {"\xEF\xBB\xBF", "line 0: no byte records (OFFSET: OLD NEW or RVA:OLD->NEW)"},
        {"\xEF\xBB", "line 0: no byte records (OFFSET: OLD NEW)"},
        // After the header: a typo in a hex digit, a missing colon, a 0x prefix, 17 digits, a
        // byte-order mark, a byte too many, a 1337 record, a stray word.
        {header + "0000100G: 12 34\n00001001: 56 78\n", "line 4: " + dif},
        {header + "00001000: 1G 34\n00001001: 56 78\n", "line 4: " + dif},
        {header + "00001000 12 34\n00001001: 56 78\n", "line 4: " + dif},
        {header + "0x00001000: 12 34\n00001001: 56 78\n", "line 4: " + dif},
        {header + "00000000000001000: 12 34\n00001001: 56 78\n", "line 4: " + dif},
        {header + bom + "00001000: 12 34\n00001001: 56 78\n", "line 4: " + dif},
        {header + "00001000: 12 34 56\n00001001: 56 78\n", "line 4: " + dif},
        {header + "00001000: 12 34\n\n00001001:56->78\n", "line 6: " + dif},
        {header + "00001000: 12 34\nend\n", "line 5: " + dif},
        // No header: the malformed first record is no title, since no empty line follows it, or
        // a record stands where the name would.
        {"0000100G: 12 34\n00001001: 56 78\n", "line 1: " + title},
        {"00001000 12 34\r\n00001001: 56 78\r\n", "line 1: " + title},
        {"0x1000: 12 34\n\n00001001: 56 78\n", "line 1: " + title},
        {"\n\n00000000000001000: 12 34\n00001001: 56 78\n", "line 3: " + title},
        {bom + bom + "1000: 12 34\n1001: 56 78\n", "line 1: " + title},
        {"title\nname\n1000: 12 34\n", "line 1: " + title},
        // One line and nothing after it: no record.
        {"0000100G: 12 34\n", "line 0: no byte records (OFFSET: OLD NEW)"},
        // A 1337 patch: its first line is a `>` line, and so is every line that is no record.
        {"junk\n>t.bin\n1000:12->34\n", "line 1: " + leet},
        {">t.bin\n100G:12->34\n1001:56->78\n", "line 2: " + leet},
        {">t.bin\n1000:12-34\n1001:56->78\n", "line 2: " + leet},
        {">t.bin\n1000: 12 34\n", "line 2: " + leet},
    };
    for (const auto& [text, read] : cases) {
        EXPECT_EQ(Read(text), read) << text;
    }
}

// What a reader fed in pieces of the given size makes of the text, as Read does.
std::string ReadInPieces(const std::string& text, size_t piece) {
    PatchReader reader(text.size());
    bool fed = true;
    size_t at = 0;
    for (; at < text.size() && fed; at += piece) {
        fed = reader.Feed(std::string_view(text).substr(at, piece));
    }
    Patch patch;
    PatchRefusal refusal;
    reader.Finish(patch, refusal);
    return "line " + std::to_string(refusal.line) + ": " + refusal.reason + " after " +
           std::to_string(std::min(at, text.size()));
}

// A line is at most 4,096 characters without its line end: a longer one is refused, and a reader
// fed in pieces stops taking them once a line's start is past that, however long the text.
TEST(PatchGrammar, ALineLongerThanARecordCanBeIsRefusedEarly) {
    const std::string longest = "1000:" + std::string(4086, ' ') + "12 34";
    ASSERT_EQ(longest.size(), 4096u);
    const std::string tooLong = "1000:" + std::string(4087, ' ') + "12 34";
    const std::string reason = "longer than 4096 characters: not a patch line";
    EXPECT_EQ(Read(std::string(4096, 'x') + "\r\n\nname\n1: 00 01"), "> 1:0:1 ");
    EXPECT_EQ(Read(longest + "\r\n"), "> 1000:12:34 ");
    EXPECT_EQ(Read(std::string(4097, 'x') + "\n\nname\n1: 00 01"), "line 1: " + reason);
    EXPECT_EQ(Read("1: 00 01\n" + tooLong + "\n"), "line 2: " + reason);
    EXPECT_EQ(Read(">m\n" + std::string(4097, '>')), "line 2: " + reason);
    // 64 MiB with no line feed, fed as the apply reads it: refused within the first two pieces.
    EXPECT_EQ(ReadInPieces(std::string(64 << 20, 'A'), 4096), "line 1: " + reason + " after 8192");
    EXPECT_EQ(ReadInPieces("1: 00 01\n" + std::string(1 << 20, ' '), 1000),
              "line 2: " + reason + " after 5000");
}

// TARGET: a PE32 image of 4,195,328 bytes (offsets 3FFFFF and 400000 straddle a block edge
// of the copy) whose first section maps offset 0 to RVA 1000; its bytes are 90 + (offset & 7) but
// for the headers ("MZ" at 0). The second section's one byte of raw data, at offset 2, lies inside
// the first's, which translates it.
const test::Bytes kImage = test::PeBuilder{}.Section(0x1000, 0x400400, 0).Section(8, 1, 2).Build();
const std::string kOriginal(kImage.begin(), kImage.end());
const std::string kDif = "0: 4D 4E\n3FFFFF: 97 00\n400000: 90 01\n4003FF: 97 02\n";
const std::string k1337 =
    ">other.dll\n1000:4D->00\n>T.BIN\n401000 : 90 -> 01\n1000:4d->4e\n400FFF:97->00\n4013FF:97->02";

const std::string kPatched = [] {
    std::string bytes = kOriginal;
    bytes[0] = 0x4E, bytes[0x3FFFFF] = 0, bytes[0x400000] = 1, bytes[0x4003FF] = 2;
    return bytes;
}();

// The system's reasons the seam's faults give; Wine's texts are its own.
#ifdef _WIN32
const std::string kNoSpace, kReadOnly;
#else
const std::string kNoSpace = "No space left on device", kReadOnly = "Read-only file system";
#endif

// One run: its files, the patch applied, and what it must give: with trouble, status 2 and a line
// that holds it; else status 0 and a note that holds note (none when note is empty).
struct Case {
    std::string patch = kDif;
    const char* target = "t.bin";
    const char* output = nullptr;
    bool revert = false;
    bool startPatched = false;
    std::function<void(const fs::path&)> setUp = [](const fs::path&) {};
    ReplacementSeam seam;
    std::string note;
    std::string trouble;

    // Writes TARGET (mode 0640) and the patch, sets up the row's files, keeps what the folder
    // then holds in files, and applies.
    ApplyOutcome Run(const test::TempDir& dir, std::map<std::string, std::string>* files) const {
        dir.Write("t.bin", startPatched ? kPatched : kOriginal);
        dir.Write("p.txt", patch);
        fs::permissions(dir.File("t.bin"), fs::perms(0640));
        setUp(dir.Path());
        *files = test::FolderFiles(dir.Path());
        return ApplyPatch({dir.File("p.txt"), dir.File(target),
                           output ? std::optional(dir.File(output)) : std::nullopt, revert, &seam});
    }
};

// Applied and reverted, to OUTPUT or in place (TARGET replaced, its mode kept): status 0, the
// result in its file and nothing else changed; a note when every byte already holds what the
// patch writes. Refused: status 2 with the reason, and every file in the folder as it was (TARGET
// as the seam left it, where it grows just before the replace).
TEST(ApplyPatch, WritesOnlyWhatThePatchChangesOrNothing) {
    const Case cases[] = {
        {.output = "out.bin"},
        {},
        {.patch = k1337},
        {.revert = true, .startPatched = true},
        {.patch = k1337, .output = "out.bin", .revert = true, .startPatched = true},
        {.output = "out.bin", .startPatched = true, .note = "out.bin is an unchanged copy"},
        {.startPatched = true,
         .note = "t.bin: already patched: all 4 bytes hold the patch's new bytes; nothing changed"},
        {.revert = true, .note = "t.bin: already reverted: all 4 bytes hold the patch's old bytes"},
        {.patch = "0: 4C 4D\n3FFFFF: 97 00\n",
         .trouble = "t.bin: does not match the patch: 1 of 2 bytes differs from its old bytes, the "
                    "first at offset 0x0 (line 1: 4C expected, 4D found); already new: 1 of them; "
                    "nothing written"},
        {.patch = "0: 4D 4E\n400000: 91 92\n4003FF: 97 02\n",
         .trouble = "offset 0x400000 (line 2: 91 expected, 90 found); already new: 0 of them"},
        {.patch = "0: 4D 4E\n4003FF: 96 02\n",
         .trouble = "offset 0x4003FF (line 2: 96 expected, 97 found)"},
        {.patch = "4003FF: 97 02\n400400: 00 01\n",
         .trouble = "t.bin: offset 0x400400 (line 2) lies past its end (4195328 bytes)"},
        {.patch = "0: 4D 4E\nx\n", .trouble = "p.txt: line 2: not a dif record (OFFSET: OLD NEW)"},
        {.patch = ">t.bin\nFFF:00->01\n",
         .trouble = "t.bin: RVA 0xFFF (line 2) lies in no section's raw data"},
        {.patch = ">t.bin\n8:92->00\n",
         .trouble = "RVA 0x8 (line 2) has no file offset that translates back to it"},
        {.patch = ">a\n1000:4D->4E\n>b\n1000:4D->4E\n",
         .trouble = "none of its 2 modules is named t.bin"},
        {.output = "p.txt", .trouble = "p.txt: File exists"},
        {.setUp = [](const fs::path& d) { fs::create_hard_link(d / "t.bin", d / "u.bin"); },
         .trouble = "t.bin: has 2 hard links: the others would keep the old bytes"},
        {.seam = {.failWrite = true},
         .trouble = "t.bin: its new copy cannot be written: " + kNoSpace},
        {.output = "out.bin", .seam = {.failWrite = true}, .trouble = "out.bin: "},
        {.seam = {.failCreate = true},
         .trouble = ": cannot create a new file in it for t.bin: " + kReadOnly},
        {.seam = {.beforeReplace =
                      [](const std::string& t) { std::ofstream(t, std::ios::app) << 'x'; }},
         .trouble = "t.bin: changed since it was opened: not replaced"},
#ifdef _WIN32
        {.setUp = [](const fs::path& d) { fs::permissions(d / "t.bin", fs::perms(0444)); },
         .trouble = "t.bin: is read-only: not replaced"},
#else  // Windows has no setuid bit, and the Wine the tests run on makes no symbolic link
        {.target = "link",
         .setUp = [](const fs::path& d) { fs::create_symlink("t.bin", d / "link"); },
         .trouble = "link: is a symbolic link: give the file itself"},
        {.setUp = [](const fs::path& d) { fs::permissions(d / "t.bin", fs::perms(04755)); },
         .trouble = "t.bin: is setuid or setgid: not replaced"},
#endif
    };
    for (const Case& c : cases) {
        const test::TempDir dir;
        std::map<std::string, std::string> after;
        const ApplyOutcome outcome = c.Run(dir, &after);
        if (c.trouble.empty()) {  // applied: the patched bytes; reverted: the original ones
            after[c.output ? c.output : "t.bin"] = c.revert ? kOriginal : kPatched;
        }
        after["t.bin"] += c.seam.beforeReplace ? "x" : "";
        EXPECT_EQ(outcome.status, c.trouble.empty() ? 0 : 2) << c.trouble << outcome.trouble.Line();
        EXPECT_NE(outcome.trouble.Line().find(c.trouble), std::string::npos) << c.trouble;
        EXPECT_NE(outcome.note.find(c.note), std::string::npos) << outcome.note;
        EXPECT_EQ(outcome.note.empty(), c.note.empty()) << c.note << c.trouble;
        EXPECT_TRUE(test::FolderFiles(dir.Path()) == after) << c.trouble;
#ifndef _WIN32  // where TARGET has a mode: 0640, given before the run
        EXPECT_TRUE(!c.trouble.empty() ||
                    fs::status(dir.File("t.bin")).permissions() == fs::perms(0640));
#endif
    }
}

}  // namespace
}  // namespace tandrel
