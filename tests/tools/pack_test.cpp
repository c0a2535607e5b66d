// kelvandor-pack run as content authors run it, and its archives read by the
// engine's own file layer.
#include "core/KFile.h"

#include "support/archive_bytes.h"
#include "support/run_tool.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace {

using namespace test_bytes;

// Every regular file under a folder, by its path relative to it.
std::map<std::string, Bytes> Tree(const fs::path& root) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadFile(entry.path());
    return files;
}

using Result = ToolResult;

class PackTool : public ::testing::Test {
protected:
    void SetUp() override { ArchiveTable.clear(); }
    void TearDown() override { ArchiveTable.clear(); }

    Result Run(const std::vector<std::string>& args) { return RunTool(KELVANDOR_PACK, args); }

    ScopedWorkDir m_workDir;
};

// Bytes of every value, longer than two turns of the key.
Bytes Binary() {
    Bytes bytes(2 * kScrambleKeySize + 11);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    return bytes;
}

TEST_F(PackTool, WritesExactlyTheArchiveFormat) {
    WriteFile("content/b.txt", B("xyz"));
    WriteFile("content/A/C.bin", {1, 2});
    ASSERT_EQ(Run({"pack", "content"}).code, 0);

    // Names in lower case and byte order, each folder followed by its
    // children, the root named Data, file data in the same order.
    Bytes dir;
    Entry(dir, "Data", 0xFFFFFFFFu, 0, 2);
    Entry(dir, "a", 0xFFFFFFFFu, 0, 1);
    Entry(dir, "c.bin", 0, 2, 0);
    Entry(dir, "b.txt", 2, 3, 0);
    EXPECT_EQ(ReadFile("kelvandor.dat"), Archive(dir, {{1, 2}, B("xyz")}));
}

TEST_F(PackTool, PackListAndExtractRoundTripAFolder) {
    WriteFile("Source/Textures/Ship.TGA", Binary());
    WriteFile("Source/Textures/Deep/Er/Still.txt", B("deep"));
    WriteFile("Source/Empty.dat", {});
    WriteFile("Source/readme.TXT", B("hello\n"));
    fs::create_directories("Source/Nothing");
    fs::create_symlink("../readme.TXT", "Source/Textures/Linked.txt");  // followed

    ASSERT_EQ(Run({"pack", "Source", "first.dat"}).code, 0);
    const Result list = Run({"list", "first.dat"});
    EXPECT_EQ(list.code, 0);
    EXPECT_EQ(list.out,
              "       0  data\\empty.dat\n"
              "       6  data\\readme.txt\n"
              "       4  data\\textures\\deep\\er\\still.txt\n"
              "       6  data\\textures\\linked.txt\n"
              "    3877  data\\textures\\ship.tga\n");

    ASSERT_EQ(Run({"extract", "first.dat", "out"}).code, 0);
    EXPECT_EQ(Tree("out"), (std::map<std::string, Bytes>{
                               {"data/empty.dat", {}},
                               {"data/readme.txt", B("hello\n")},
                               {"data/textures/deep/er/still.txt", B("deep")},
                               {"data/textures/linked.txt", B("hello\n")},
                               {"data/textures/ship.tga", Binary()},
                           }));

    // Packing is reproducible: the extracted tree packs to the same bytes.
    fs::create_directories("out/data/nothing");
    ASSERT_EQ(Run({"pack", "out/data", "second.dat"}).code, 0);
    EXPECT_EQ(ReadFile("second.dat"), ReadFile("first.dat"));
}

TEST_F(PackTool, TheEngineReadsPackedFilesFromTheArchive) {
    WriteFile("Content/Textures/Ship.TGA", Binary());
    ASSERT_EQ(Run({"pack", "Content"}).code, 0);
    ASSERT_FALSE(fs::exists("Data"));
    ASSERT_EQ(OpenGameArchive(), S_OK);
    CKFile file("Data\\Textures\\Ship.tga");
    ASSERT_EQ(file.Load(), S_OK);
    EXPECT_EQ(Bytes(file.GetData(), file.GetData() + file.GetSize()), Binary());
}

// An archive cut short lists whole, but its last file is not extracted,
// even where a loose file of that name stands beside it.
TEST_F(PackTool, ACutArchiveListsButItsCutFileIsNotExtracted) {
    WriteFile("content/a.txt", B("first"));
    WriteFile("content/z.txt", B("last"));
    ASSERT_EQ(Run({"pack", "content", "cut.dat"}).code, 0);
    fs::resize_file("cut.dat", fs::file_size("cut.dat") - 1);
    WriteFile("data/z.txt", B("loose"));
    const Result list = Run({"list", "cut.dat"});
    EXPECT_EQ(list.code, 0) << list.err;
    EXPECT_EQ(list.out, "       5  data\\a.txt\n       4  data\\z.txt\n");
    const Result extract = Run({"extract", "cut.dat", "out"});
    EXPECT_EQ(extract.code, 1);
    EXPECT_NE(extract.err.find("cannot read data\\z.txt"), std::string::npos) << extract.err;
    EXPECT_FALSE(fs::exists("out/data/z.txt"));
}

TEST_F(PackTool, SkipsWhatIsNoFileAndRefusesNamesTheGameCannotTellApart) {
    WriteFile("skip/keep.txt", B("k"));
    fs::create_directories("skip/Sub");
    fs::create_directory_symlink("Sub", "skip/folder-link");
    fs::create_symlink("nowhere", "skip/broken-link");
    const Result skipped = Run({"pack", "skip"});
    EXPECT_EQ(skipped.code, 0);
    EXPECT_NE(skipped.err.find("warning: skipping skip/folder-link"), std::string::npos) << skipped.err;
    EXPECT_NE(skipped.err.find("warning: skipping skip/broken-link"), std::string::npos) << skipped.err;
    EXPECT_EQ(Run({"list", "kelvandor.dat"}).out, "       1  data\\keep.txt\n");

    const Bytes before = ReadFile("kelvandor.dat");
    WriteFile("clash/Sub/a.txt", B("1"));
    WriteFile("clash/sub/A.TXT", B("2"));
    const Result clash = Run({"pack", "clash"});
    EXPECT_EQ(clash.code, 1);
    EXPECT_NE(clash.err.find("differ only in case"), std::string::npos) << clash.err;

    WriteFile("slash/a\\b.txt", B("1"));
    EXPECT_EQ(Run({"pack", "slash"}).code, 1);
    EXPECT_EQ(ReadFile("kelvandor.dat"), before);  // a refused pack leaves the archive alone
}

TEST_F(PackTool, ExtractRefusesKeysThatLeaveTheFolder) {
    Bytes dir;
    Entry(dir, "Data", 0xFFFFFFFFu, 0, 1);
    Entry(dir, "..", 0xFFFFFFFFu, 0, 1);
    Entry(dir, "..", 0xFFFFFFFFu, 0, 1);
    Entry(dir, "escaped.txt", 0, 1, 0);
    WriteFile("evil.dat", Archive(dir, {B("x")}));
    fs::create_directories("deep/out");
    const Result result = Run({"extract", "evil.dat", "deep/out"});
    EXPECT_EQ(result.code, 1);
    EXPECT_NE(result.err.find("outside the folder"), std::string::npos) << result.err;
    EXPECT_FALSE(fs::exists("escaped.txt"));
    EXPECT_FALSE(fs::exists("deep/escaped.txt"));
}

TEST_F(PackTool, ReportsBadUseAndFailures) {
    WriteFile("file.txt", B("not a folder"));
    WriteFile("damaged.dat", {0xC4, 0x27, 0x16, 0xAF, 0xFF, 0, 0, 0, 1});
    WriteFile("good/keep.txt", B("k"));
    ASSERT_EQ(Run({"pack", "good", "good.dat"}).code, 0);
    fs::create_directories("full/data");
    fs::create_symlink("/dev/full", "full/data/keep.txt");  // every write fails there
    const struct {
        std::vector<std::string> args;
        int code;
        std::string err;  // part of what stderr says
    } cases[] = {
        {{}, 2, "usage: kelvandor-pack"},
        {{"pack"}, 2, "usage: kelvandor-pack"},
        {{"unpack", "x"}, 2, "usage: kelvandor-pack"},
        {{"list", "a", "b"}, 2, "usage: kelvandor-pack"},
        {{"extract", "a"}, 2, "usage: kelvandor-pack"},
        {{"pack", "missing"}, 1, "kelvandor-pack: missing: No such file or directory"},
        {{"pack", "file.txt"}, 1, "kelvandor-pack: file.txt is not a folder"},
        {{"pack", "good", "no/such/folder.dat"}, 1, "kelvandor-pack: cannot create no/such/folder.dat.tmp"},
        {{"list", "missing.dat"}, 1, "kelvandor-pack: cannot open missing.dat"},
        {{"list", "damaged.dat"}, 1, "kelvandor-pack: damaged.dat is not a game archive"},
        {{"extract", "damaged.dat", "out"}, 1, "kelvandor-pack: damaged.dat is not a game archive"},
        {{"extract", "good.dat", "full"}, 1, "kelvandor-pack: cannot write full/data/keep.txt"},
    };
    for (const auto& c : cases) {
        const Result result = Run(c.args);
        const std::string what = c.args.empty() ? "(none)" : c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : "");
        EXPECT_EQ(result.code, c.code) << what;
        EXPECT_NE(result.err.find(c.err), std::string::npos) << what << ": " << result.err;
        EXPECT_EQ(result.out, "") << what;
    }
    EXPECT_FALSE(fs::exists("out"));

    for (const char* help : {"--help", "-h"}) {
        const Result result = Run({help});
        EXPECT_EQ(result.code, 0);
        EXPECT_NE(result.out.find("usage: kelvandor-pack pack FOLDER [ARCHIVE]"), std::string::npos);
        EXPECT_EQ(result.err, "");
    }
}

}  // namespace
