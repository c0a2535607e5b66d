#include "core/KFile.h"
#include "platform/win32/paths.h"

#include "support/test_objects.h"

#include "support/archive_bytes.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iterator>

namespace fs = std::filesystem;

namespace {

using namespace test_bytes;

void Folder(Bytes& dir, const std::string& name, uint32_t count) { Entry(dir, name, 0xFFFFFFFFu, 0, count); }

Bytes Loaded(const CKFile& file) { return Bytes(file.GetData(), file.GetData() + file.GetSize()); }

// Each test runs in a fresh working directory with an empty archive table.
class FileLayer : public ::testing::Test {
protected:
    void SetUp() override { ArchiveTable.clear(); }
    void TearDown() override { ArchiveTable.clear(); }
    ScopedWorkDir m_workDir;
};

// --- Scrambling ---------------------------------------------------------

TEST(Scrambling, KeyIsPrintableWithAClosingZero) {
    ASSERT_EQ(sizeof(g_ScrambleKey), 1933u);
    for (size_t i = 0; i < 1932; ++i) {
        const auto c = static_cast<unsigned char>(g_ScrambleKey[i]);
        EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << "key byte " << i;
    }
    EXPECT_EQ(g_ScrambleKey[1932], '\0');
}

TEST(Scrambling, AddsTheKeyByteOfEachIndexAndRestartsAfter1933) {
    Bytes buffer(1933 * 2 + 7);
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 37 + 200);
    const Bytes original = buffer;
    ScrambleBuffer(buffer);
    for (size_t i = 0; i < buffer.size(); ++i) {
        const auto key = static_cast<uint8_t>(g_ScrambleKey[i % 1933]);
        ASSERT_EQ(buffer[i], static_cast<uint8_t>(original[i] + key)) << i;
    }
    EXPECT_EQ(buffer[1932], original[1932]);  // the closing zero
    EXPECT_EQ(static_cast<uint8_t>(buffer[1933] - original[1933]), static_cast<uint8_t>(g_ScrambleKey[0]));
    DescrambleBuffer(buffer);
    EXPECT_EQ(buffer, original);
}

// --- Encodings and readers ----------------------------------------------

TEST(Encoding, WriterAndReaderShareTheBinaryForms) {
    CKFileWriter writer("x", false);
    writer.WriteInt(-2);
    writer.WriteString("");
    writer.WriteString("hi");
    const uint8_t raw[] = {0x00, 0x00, 0xC0, 0x3F};  // 1.5f
    writer.Write(raw, 4);
    writer.Write(raw, 0);
    writer.Write(raw, -3);
    EXPECT_EQ(writer.Buffer(),
              (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 2, 0, 0, 0, 'h', 'i', 0x00, 0x00, 0xC0, 0x3F}));

    CKFile file("x");
    file.SetData(writer.Buffer());
    EXPECT_EQ(file.ReadInt(), -2);
    EXPECT_EQ(file.ReadString(), "");
    EXPECT_EQ(file.ReadString(), "hi");
    EXPECT_EQ(file.ReadFloat(), 1.5f);
    EXPECT_FALSE(file.Overrun());
    EXPECT_EQ(file.Position(), file.GetSize());
}

TEST(Encoding, StringTextStopsAtAZeroByteButThePositionPassesAllItsBytes) {
    CKFile file("x");
    file.SetData({5, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 7, 0, 0, 0});
    EXPECT_EQ(file.ReadString(), "ab");
    EXPECT_EQ(file.Position(), 9u);
    EXPECT_EQ(file.ReadInt(), 7);
}

TEST(Encoding, ReadsPastTheEndGiveZerosAndSetTheFlag) {
    const struct {
        const char* what;
        Bytes data;
        std::function<bool(CKFile&)> read;  // true when the value is what an overrun gives
        bool overrun;
        uint32_t position;
    } cases[] = {
        {"int from 3 bytes", {1, 2, 3}, [](CKFile& f) { return f.ReadInt() == 0; }, true, 3},
        {"float from 2 bytes", {1, 2}, [](CKFile& f) { return f.ReadFloat() == 0.0f; }, true, 2},
        {"string longer than the rest",
         {10, 0, 0, 0, 'a', 'b', 'c'},
         [](CKFile& f) { return f.ReadString().empty(); },
         true,
         7},
        {"string of length 2^32-1",
         {0xFF, 0xFF, 0xFF, 0xFF, 'a'},
         [](CKFile& f) { return f.ReadString().empty(); },
         true,
         5},
        {"string with a cut length", {1, 0}, [](CKFile& f) { return f.ReadString().empty(); }, true, 2},
        {"bytes beyond the rest",
         {9, 9, 9},
         [](CKFile& f) {
             uint8_t out[5] = {1, 1, 1, 1, 1};
             return FAILED(f.Read(out, 5)) && Bytes(out, out + 5) == Bytes(5, 0);
         },
         true,
         3},
        {"bytes up to the end exactly",
         {9, 9, 9},
         [](CKFile& f) {
             uint8_t out[3] = {};
             return f.Read(out, 3) == S_OK && Bytes(out, out + 3) == Bytes(3, 9);
         },
         false,
         3},
        {"string up to the end exactly",
         {2, 0, 0, 0, 'o', 'k'},
         [](CKFile& f) { return f.ReadString() == "ok"; },
         false,
         6},
        {"int from nothing", {}, [](CKFile& f) { return f.ReadInt() == 0; }, true, 0},
    };
    for (const auto& c : cases) {
        CKFile file("x");
        file.SetData(c.data);
        EXPECT_TRUE(c.read(file)) << c.what;
        EXPECT_EQ(file.Overrun(), c.overrun) << c.what;
        EXPECT_EQ(file.Position(), c.position) << c.what;
        if (c.overrun) {
            EXPECT_EQ(file.ReadInt(), 0) << c.what;  // and stays at the end
        }
    }
}

// --- Reading files: archive, then disk -------------------------------------

TEST_F(FileLayer, ArchiveComesFirstIgnoresCaseAndIsAlwaysDescrambled) {
    Bytes dir;
    Folder(dir, "Data", 1);
    Folder(dir, "Textures", 2);
    Entry(dir, "A.TGA", 0, 3, 0);
    Entry(dir, "a.tga", 3, 7, 0);  // the same key again: the later entry wins
    WriteFile("kelvandor.dat", Archive(dir, {B("old"), B("archive")}));
    WriteFile("data/textures/a.tga", B("disk"));
    ASSERT_EQ(OpenGameArchive(), S_OK);
    ASSERT_EQ(ArchiveTable.size(), 1u);
    EXPECT_EQ(ArchiveTable.count("data\\textures\\a.tga"), 1u);

    for (bool flag : {false, true}) {
        CKFile file("Data\\Textures\\A.TGA", flag);
        ASSERT_EQ(file.Load(), S_OK);
        EXPECT_EQ(Loaded(file), B("archive")) << flag;
    }
}

TEST_F(FileLayer, ArchiveIsOpenedAnewForEveryFile) {
    Bytes dir;
    Folder(dir, "Data", 1);
    Entry(dir, "a.txt", 0, 4, 0);
    WriteFile("kelvandor.dat", Archive(dir, {B("abcd")}));
    ASSERT_EQ(OpenGameArchive(), S_OK);

    LogCapture log;
    fs::resize_file("kelvandor.dat", fs::file_size("kelvandor.dat") - 1);
    CKFile file("data\\a.txt");
    EXPECT_EQ(file.Load(), E_FAIL);
    fs::remove("kelvandor.dat");
    EXPECT_EQ(file.Load(), E_FAIL);
    EXPECT_EQ(log.lines, (std::vector<std::string>{"Unknown error in file - kelvandor.dat\n",
                                                   "File - kelvandor.dat not found\n"}));
}

TEST_F(FileLayer, LooseFilesAreFoundInAMixedCaseTreeAndDescrambledOnlyWhenFlagged) {
    Bytes scrambled = B("saved game");
    ScrambleBuffer(scrambled);
    WriteFile("Data/Save/Game.DAT", scrambled);

    CKFile raw("data\\save\\game.dat", false);
    ASSERT_EQ(raw.Load(), S_OK);
    EXPECT_EQ(Loaded(raw), scrambled);
    CKFile flagged("DATA/save\\GAME.dat", true);
    ASSERT_EQ(flagged.Load(), S_OK);
    EXPECT_EQ(Loaded(flagged), B("saved game"));

    // Each Load reads the file again.
    WriteFile("Data/Save/Game.DAT", B("xy"));
    ASSERT_EQ(raw.Load(), S_OK);
    EXPECT_EQ(Loaded(raw), B("xy"));
}

TEST_F(FileLayer, MissingFilesAndFoldersAreNotFound) {
    fs::create_directories("Data/level.txt");  // a folder under the file's name
    LogCapture log;
    EXPECT_EQ(CKFile("Data\\Level.txt").Load(), E_FAIL);
    EXPECT_EQ(CKFile("Data\\Missing.TXT").Load(), E_FAIL);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"File - data\\level.txt not found\n", "File - data\\missing.txt not found\n"}));
}

// --- Damaged archives -------------------------------------------------------

// Depth-nested folders, each holding the next, the last holding one file.
Bytes Nested(int folders) {
    Bytes dir;
    for (int i = 0; i < folders; ++i) Folder(dir, "d", 1);
    Entry(dir, "f", 0, 1, 0);
    return dir;
}

// Data\good.txt ("ok"), then Data\a.txt where the directory says.
Bytes TwoFiles(uint32_t offset, uint32_t size) {
    Bytes dir;
    Folder(dir, "Data", 2);
    Entry(dir, "good.txt", 0, 2, 0);
    Entry(dir, "a.txt", offset, size, 0);
    return Archive(dir, {B("ok"), B("ARCH")});
}

// A copy cut short still has a whole directory: every entry is indexed, and
// only reading one whose data lies past the end fails, the loose file of
// that name standing in when there is one.
TEST_F(FileLayer, AnEntryPastTheEndIsIndexedAndOnlyItsReadFails) {
    const struct {
        const char* what;
        uint32_t offset, size;
    } cases[] = {
        {"data past the end", 2, 5},
        {"offset past the end", 0x7FFFFFF0u, 0},
        {"offset and size wrap past 2^32", 2, 0xFFFFFFF8u},
        {"size of -1", 2, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        fs::remove_all("data");
        WriteFile("kelvandor.dat", TwoFiles(c.offset, c.size));
        ASSERT_EQ(OpenGameArchive(), S_OK) << c.what;
        EXPECT_EQ(ArchiveTable.size(), 2u) << c.what;
        CKFile good("Data\\good.txt");
        ASSERT_EQ(good.Load(), S_OK) << c.what;
        EXPECT_EQ(Loaded(good), B("ok")) << c.what;

        for (const bool loose : {false, true}) {
            if (loose) WriteFile("data/a.txt", B("disk"));
            LogCapture log;
            CKFile cut("Data\\A.txt");
            EXPECT_EQ(cut.Load(), loose ? S_OK : E_FAIL) << c.what << loose;
            EXPECT_EQ(Loaded(cut), loose ? B("disk") : Bytes()) << c.what << loose;
            EXPECT_EQ(log.lines, std::vector<std::string>{"Unknown error in file - kelvandor.dat\n"}) << c.what;
        }
    }
}

TEST_F(FileLayer, DamagedArchivesAreRejectedWholeAndFilesComeFromTheDisk) {
    const auto simple = TwoFiles;
    const auto withDirectorySize = [](uint32_t size) {
        Bytes dir;
        Folder(dir, "Data", 0);
        Bytes out = Archive(dir, {});
        std::memcpy(out.data() + 4, &size, 4);
        return out;
    };
    const auto rawDirectory = [](const Bytes& dir) { return Archive(dir, {B("ARCH")}); };
    Bytes cutEntry;
    Folder(cutEntry, "Data", 1);
    Entry(cutEntry, "a.txt", 0, 4, 0);
    cutEntry.resize(cutEntry.size() - 2);
    Bytes countPastBlock;
    Folder(countPastBlock, "Data", 2);
    Entry(countPastBlock, "a.txt", 0, 4, 0);
    Bytes nameTooLong;
    Folder(nameTooLong, "Data", 1);
    Entry(nameTooLong, std::string(kArchiveMaxKeyLength, 'n'), 0, 4, 0);
    Bytes nameLengthPastBlock;
    Folder(nameLengthPastBlock, "Data", 1);
    PutU32(nameLengthPastBlock, 100);
    nameLengthPastBlock.insert(nameLengthPastBlock.end(), 20, 'x');

    const struct {
        const char* what;
        Bytes archive;
    } cases[] = {
        {"short header", {0xC4, 0x27, 0x16}},
        {"wrong magic", Archive(Nested(0), {B("x")}, 0xAF1627C5u)},
        {"directory size past the end", withDirectorySize(1000)},
        {"directory size that wraps past 2^32", withDirectorySize(0xFFFFFFFCu)},
        {"empty directory", withDirectorySize(0)},
        {"name length past the block", rawDirectory(nameLengthPastBlock)},
        {"entry cut short", rawDirectory(cutEntry)},
        {"child count past the block", rawDirectory(countPastBlock)},
        {"huge child count",
         [&] {
             Bytes d;
             Folder(d, "Data", 0x7FFFFFFF);
             return rawDirectory(d);
         }()},
        {"folders nested too deep", rawDirectory(Nested(kArchiveMaxDepth + 1))},
        {"key too long", rawDirectory(nameTooLong)},
    };
    WriteFile("data/a.txt", B("disk"));
    for (const auto& c : cases) {
        // A good archive first, so a rejection must also empty the table.
        WriteFile("kelvandor.dat", simple(2, 4));
        ASSERT_EQ(OpenGameArchive(), S_OK) << c.what;
        ASSERT_EQ(ArchiveTable.size(), 2u);

        WriteFile("kelvandor.dat", c.archive);
        LogCapture log;
        EXPECT_EQ(OpenGameArchive(), E_FAIL) << c.what;
        EXPECT_TRUE(ArchiveTable.empty()) << c.what;
        EXPECT_EQ(log.lines, std::vector<std::string>{"Cannot read game archive\n"}) << c.what;
        CKFile file("Data\\A.txt");
        ASSERT_EQ(file.Load(), S_OK) << c.what;
        EXPECT_EQ(Loaded(file), B("disk")) << c.what;

        EXPECT_EQ(ParseArchiveImage(c.archive.data(), c.archive.size()), E_FAIL) << c.what;
    }
    fs::remove("kelvandor.dat");
    WriteFile("kelvandor.dat", simple(2, 4));
    ASSERT_EQ(OpenGameArchive(), S_OK);
    fs::remove("kelvandor.dat");
    EXPECT_EQ(OpenGameArchive(), E_FAIL);  // no archive at all
    EXPECT_TRUE(ArchiveTable.empty());
}

TEST_F(FileLayer, ArchivesAtTheLimitsAreAccepted) {
    // Nesting at the limit, a file ending at the archive's last byte, an
    // empty file there too, and a negative child count meaning no children.
    Bytes dir;
    Folder(dir, "Data", 3);
    Entry(dir, "last.txt", 0, 4, 0);
    Entry(dir, "empty.txt", 4, 0, 0);
    Folder(dir, "none", 0xFFFFFFFFu);
    Folder(dir, "ignored", 1);  // outside the root: trailing bytes are not entries
    const Bytes image = Archive(dir, {B("last")});
    EXPECT_EQ(ParseArchiveImage(image.data(), image.size()), S_OK);
    EXPECT_EQ(ArchiveTable.size(), 2u);
    EXPECT_EQ(ArchiveTable.at("data\\last.txt").offset + 4, image.size());
    EXPECT_EQ(g_ArchiveDataBase, 8 + dir.size());

    const Bytes deep = Archive(Nested(kArchiveMaxDepth), {B("z")});
    EXPECT_EQ(ParseArchiveImage(deep.data(), deep.size()), S_OK);
    EXPECT_EQ(ArchiveTable.size(), 1u);
}

// --- Saving -----------------------------------------------------------------

TEST_F(FileLayer, SaveReplacesTheFileAndScramblesACopy) {
    WriteFile("Data/GAME.DAT", B("old contents, longer than the new"));
    CKFileWriter writer("Data\\game.dat", true);
    writer.WriteString("pilot");
    writer.WriteInt(1234);
    const Bytes plain = writer.Buffer();

    ASSERT_EQ(writer.Save(), S_OK);
    const Bytes first = ReadFile("Data/GAME.DAT");
    ASSERT_EQ(writer.Save(), S_OK);
    EXPECT_EQ(ReadFile("Data/GAME.DAT"), first);
    EXPECT_EQ(writer.Buffer(), plain);
    Bytes expected = plain;
    ScrambleBuffer(expected);
    EXPECT_EQ(first, expected);
    EXPECT_EQ(std::distance(fs::directory_iterator("Data"), fs::directory_iterator()), 1);  // no temporary left

    CKFile file("Data\\game.dat", true);
    ASSERT_EQ(file.Load(), S_OK);
    EXPECT_EQ(file.ReadString(), "pilot");
    EXPECT_EQ(file.ReadInt(), 1234);
}

TEST_F(FileLayer, FailedSavesKeepTheOldFile) {
    struct Limit {  // writes past a few bytes fail, whoever runs the test
        Limit() {
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = 8;
            setrlimit(RLIMIT_FSIZE, &small);
            oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        }
        ~Limit() {
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
        rlimit old;
        void (*oldHandler)(int);
    };
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::function<HRESULT(CKFileWriter&)> save;
    } cases[] = {
        {"temporary name taken by a folder", [] { fs::create_directories("data/game.dat.tmp/x"); },
         [](CKFileWriter& w) { return w.Save(); }},
        {"write fails part way", [] {},
         [](CKFileWriter& w) {
             Limit limit;
             return w.Save();
         }},
        {"target is a folder with contents",
         [] {
             fs::remove("data/game.dat");
             fs::create_directories("data/game.dat/x");
         },
         [](CKFileWriter& w) { return w.Save(); }},
    };
    for (const auto& c : cases) {
        fs::remove_all("data");
        WriteFile("data/game.dat", B("old"));
        c.arrange();
        const bool folderTarget = fs::is_directory("data/game.dat");
        CKFileWriter writer("Data\\game.dat", false);
        const Bytes big(64, 'n');
        writer.Write(big.data(), static_cast<int>(big.size()));
        LogCapture log;
        EXPECT_EQ(c.save(writer), E_FAIL) << c.what;
        EXPECT_EQ(log.lines, std::vector<std::string>{"File - Data\\game.dat not found\n"}) << c.what;
        if (folderTarget) {
            EXPECT_TRUE(fs::exists("data/game.dat/x")) << c.what;
        } else {
            EXPECT_EQ(ReadFile("data/game.dat"), B("old")) << c.what;
        }
        EXPECT_EQ(fs::is_regular_file("data/game.dat.tmp"), false) << c.what;
    }

    LogCapture log;
    EXPECT_EQ(CKFileWriter("nowhere\\game.dat", false).Save(), E_FAIL);
    EXPECT_FALSE(fs::exists("nowhere"));
    EXPECT_EQ(log.lines, std::vector<std::string>{"File - nowhere\\game.dat not found\n"});
}

// --- The path resolver --------------------------------------------------------

TEST_F(FileLayer, ResolverMatchesEachComponentIgnoringCaseExactFirst) {
    WriteFile("Data/Textures/Ship.TGA", B("s"));
    WriteFile("Data/Mix.txt", B("1"));
    WriteFile("Data/mix.txt", B("2"));
    WriteFile("Data/LEVEL", B("l"));
    fs::create_directories("Data/level");
    fs::create_directories("Data/Textures.tga");
    const std::string absolute = (m_workDir.Path() / "DATA/textures/ship.tga").string();

    const struct {
        std::string path, existing, writing;
    } cases[] = {
        {"Data\\Textures\\Ship.TGA", "Data/Textures/Ship.TGA", "Data/Textures/Ship.TGA"},
        {"data\\textures\\ship.tga", "Data/Textures/Ship.TGA", "Data/Textures/Ship.TGA"},
        {"DATA/TEXTURES//SHIP.TGA", "Data/Textures/Ship.TGA", "Data/Textures/Ship.TGA"},
        {".\\data\\textures\\ship.tga", "./Data/Textures/Ship.TGA", "./Data/Textures/Ship.TGA"},
        {absolute, (m_workDir.Path() / "Data/Textures/Ship.TGA").string(),
         (m_workDir.Path() / "Data/Textures/Ship.TGA").string()},
        {"Data\\Mix.txt", "Data/Mix.txt", "Data/Mix.txt"},
        {"Data\\mix.txt", "Data/mix.txt", "Data/mix.txt"},
        {"Data\\MIX.TXT", "Data/Mix.txt", "Data/Mix.txt"},  // no exact match: the first in byte order
        {"data\\level", "Data/LEVEL", "Data/LEVEL"},        // a file, not the folder of that name
        {"data\\textures", "", "Data/textures"},
        {"data\\textures.TGA", "", "Data/textures.TGA"},
        {"data\\textures\\", "", ""},
        {"data\\new.txt", "", "Data/new.txt"},
        {"data\\missing\\a.tga", "", ""},
        {"data\\mix.txt\\a", "", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::ResolveExistingFile(c.path), c.existing) << c.path;
        EXPECT_EQ(platform::ResolveFileForWriting(c.path), c.writing) << c.path;
    }
}

TEST_F(FileLayer, OpenFileReadsOnlyRegularFilesAndWritesThroughTheResolver) {
    fs::create_directories("Data/Sub");
    EXPECT_EQ(platform::OpenFile("data\\sub", "rb"), nullptr);
    EXPECT_EQ(platform::OpenFile("data\\none.txt", "r"), nullptr);
    EXPECT_EQ(platform::OpenFile("data\\none.txt", "x"), nullptr);

    FILE* out = platform::OpenFile("DATA\\sub\\New.txt", "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("new", out);
    std::fclose(out);
    EXPECT_EQ(ReadFile("Data/Sub/New.txt"), B("new"));
    FILE* in = platform::OpenFile("data\\SUB\\new.TXT", "rb");
    ASSERT_NE(in, nullptr);
    std::fclose(in);
}

}  // namespace
