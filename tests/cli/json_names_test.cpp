// Names in JSON Lines through the real program, read back by Python's json module as a script
// would: every name finds its file again, whatever bytes it holds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/program_run.h"

namespace {

// For each name in the report's "files" line: the JSON key after "path" (or "-"), the name's
// bytes as Python rebuilds them (from path_base64 when there, else path as UTF-8) in hex, and
// whether a file of that name exists in the folder.
constexpr const char* kReadBack = R"(
import base64, json, os, sys
folder, report = sys.argv[1].encode(), sys.argv[2]
files = json.loads(open(report, "rb").readline())
for side in ("first", "second"):
    keys = list(files[side])
    name = files[side]["path"].encode()
    if "path_base64" in files[side]:
        name = base64.b64decode(files[side]["path_base64"], validate=True)
    name = os.path.basename(name)
    print(keys[1], name.hex(), os.path.exists(os.path.join(folder, name)))
)";

TEST(JsonLinesNames, ReadBackByPythonNameTheFilesExactly) {
    const tandrel::test::TempDir dir;
    const struct {
        std::string first;
        std::string second;
        std::string readBack;
    } cases[] = {
        // Latin-1 "cafe" with an acute e beside its UTF-8 spelling: two names, two files.
        {"caf\xE9.bin", "caf\xC3\xA9.bin",
         "path_base64 636166e92e62696e True\nsize 636166c3a92e62696e True\n"},
        {"new\nline \"q\" back\\slash\x7F", "\xFF\xFE",
         "size 6e65770a6c696e6520227122206261636b5c736c6173687f True\n"
         "path_base64 fffe True\n"},
        {"\xED\xA0\x80 \xC0\xAF", "\xF0\x9D\x84\x9E\x01",
         "path_base64 eda08020c0af True\nsize f09d849e01 True\n"},
    };
    for (const auto& c : cases) {
        dir.Write(c.first, std::string("one"));
        dir.Write(c.second, std::string("two"));
        const std::string report = dir.File("report.jsonl");
        ASSERT_EQ(
            tandrel::test::RunTandrel(dir.Path().string(), {"--format=jsonl", dir.File(c.first),
                                                            dir.File(c.second), report})
                .status,
            0);
        const std::string script = dir.Write("read_back.py", std::string(kReadBack));
        const std::string command = "python3 " + script + " '" + dir.Path().string() + "' '" +
                                    report + "' >" + dir.File("read.txt");
        ASSERT_EQ(std::system(command.c_str()), 0) << c.first;
        EXPECT_EQ(tandrel::test::ReadFileText(dir.File("read.txt")), c.readBack) << c.first;
    }
}

}  // namespace
