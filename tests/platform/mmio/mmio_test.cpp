// The mmio RIFF functions on files in a scratch folder: chunk searches that
// skip odd-sized and unrelated chunks but never leave their parent or the
// file, headers cut short, chunks that claim more than the file holds, the
// direct-access buffer at the end of the file, and files written through
// both paths then read back byte for byte.
#include "platform/headless/headless_backend.h"
#include "platform/mmio/mmsystem.h"
#include "platform/table/backend_table.h"
#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Le32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

// A chunk as a RIFF file holds it: id, size, data, a pad byte after odd data.
std::string Chunk(const char* id, const std::string& data, uint32_t claimed = UINT32_MAX) {
    std::string out = std::string(id, 4) + Le32(claimed == UINT32_MAX ? static_cast<uint32_t>(data.size()) : claimed);
    out += data;
    if (data.size() % 2) out += '\0';
    return out;
}
std::string Group(const char* id, const char* type, const std::string& body, uint32_t claimed = UINT32_MAX) {
    return Chunk(id, std::string(type, 4) + body, claimed);
}

const std::string kFormat(16, 'f');

class MmioTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(platform::Startup("headless", &error)) << error;
    }
    void TearDown() override {
        for (HMMIO f : open)
            if (f) mmioClose(f, 0);
        platform::Shutdown();
    }

    HMMIO OpenBytes(const std::string& bytes, DWORD flags = MMIO_READ | MMIO_ALLOCBUF, LONG bufferBytes = 0) {
        test_files::WriteBytes(dir.Path() / "t.wav", bytes.data(), bytes.size());
        MMIOINFO info{};
        info.cchBuffer = bufferBytes;
        HMMIO f = mmioOpenA(const_cast<LPSTR>("t.wav"), &info, flags);
        open.push_back(f);
        return f;
    }
    static LONG Here(HMMIO f) { return mmioSeek(f, 0, SEEK_CUR); }
    static std::string Read(HMMIO f, LONG count) {
        std::string out(static_cast<size_t>(count), '\0');
        const LONG got = mmioRead(f, out.data(), count);
        out.resize(got > 0 ? static_cast<size_t>(got) : 0);
        return out;
    }

    ScopedWorkDir dir;
    std::vector<HMMIO> open;
};

TEST_F(MmioTest, ChunkSearchesSkipWhatComesFirstWithinTheWaveForm) {
    const std::string list = Group("LIST", "INFO", Chunk("ISFT", "abc"));
    const struct {
        const char* what;
        std::string file;
        bool findsFormat;
        std::string data;
    } cases[] = {
        {"list before fmt", Group("RIFF", "WAVE", list + Chunk("fmt ", kFormat) + Chunk("data", "hello")), true,
         "hello"},
        {"odd chunk before data",
         Group("RIFF", "WAVE", Chunk("fmt ", kFormat) + Chunk("junk", "xyz") + Chunk("data", "ab")), true, "ab"},
        {"data before fmt", Group("RIFF", "WAVE", Chunk("data", "q") + Chunk("fmt ", kFormat)), true, "q"},
        {"no fmt", Group("RIFF", "WAVE", list + Chunk("data", "zz")), false, "zz"},
        // The chunk after the form's declared end belongs to no form.
        {"data past the form's end", Group("RIFF", "WAVE", Chunk("fmt ", kFormat), 4 + 24) + Chunk("data", "out"), true,
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HMMIO f = OpenBytes(c.file);
        ASSERT_NE(f, nullptr);
        MMCKINFO riff{};
        ASSERT_EQ(mmioDescend(f, &riff, nullptr, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(riff.ckid, FOURCC_RIFF);
        EXPECT_EQ(riff.fccType, mmioFOURCC('W', 'A', 'V', 'E'));
        EXPECT_EQ(riff.dwDataOffset, 8u);
        EXPECT_EQ(Here(f), 12);

        MMCKINFO fmt{};
        fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
        ASSERT_EQ(mmioDescend(f, &fmt, &riff, MMIO_FINDCHUNK),
                  c.findsFormat ? MMSYSERR_NOERROR : MMIOERR_CHUNKNOTFOUND);
        if (c.findsFormat) {
            EXPECT_EQ(fmt.cksize, 16u);
            EXPECT_EQ(Read(f, 16), kFormat);
        }

        mmioSeek(f, static_cast<LONG>(riff.dwDataOffset + 4), SEEK_SET);
        MMCKINFO data{};
        data.ckid = mmioFOURCC('d', 'a', 't', 'a');
        const MMRESULT found = mmioDescend(f, &data, &riff, MMIO_FINDCHUNK);
        if (c.data.empty()) {
            EXPECT_EQ(found, MMIOERR_CHUNKNOTFOUND);
            // Without the form as parent the search reaches it.
            mmioSeek(f, static_cast<LONG>(riff.dwDataOffset + 4), SEEK_SET);
            EXPECT_EQ(mmioDescend(f, &data, nullptr, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
            continue;
        }
        ASSERT_EQ(found, MMSYSERR_NOERROR);
        EXPECT_EQ(data.cksize, c.data.size());
        EXPECT_EQ(Read(f, static_cast<LONG>(data.cksize)), c.data);
    }
}

TEST_F(MmioTest, FormsAndListsAreFoundByTheirType) {
    const std::string file = Group("LIST", "INFO", Chunk("ISFT", "a")) + Group("LIST", "adtl", Chunk("labl", "bb")) +
                             Group("RIFF", "AVI ", "") + Group("RIFF", "WAVE", Chunk("data", "w"));
    HMMIO f = OpenBytes(file);
    ASSERT_NE(f, nullptr);
    MMCKINFO chunk{};
    chunk.fccType = mmioFOURCC('a', 'd', 't', 'l');
    ASSERT_EQ(mmioDescend(f, &chunk, nullptr, MMIO_FINDLIST), MMSYSERR_NOERROR);
    EXPECT_EQ(chunk.ckid, FOURCC_LIST);
    MMCKINFO label{};
    ASSERT_EQ(mmioDescend(f, &label, &chunk, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(label.ckid, mmioFOURCC('l', 'a', 'b', 'l'));
    ASSERT_EQ(mmioAscend(f, &label, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioAscend(f, &chunk, 0), MMSYSERR_NOERROR);

    chunk.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(f, &chunk, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(Read(f, 9), Chunk("data", "w").substr(0, 9));
    chunk.fccType = mmioFOURCC('A', 'V', 'I', ' ');
    EXPECT_EQ(mmioDescend(f, &chunk, nullptr, MMIO_FINDRIFF), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(MmioTest, CutShortAndOverlongChunksStayWithinTheFile) {
    const struct {
        const char* what;
        std::string file;
        bool inForm;  // search within the RIFF form (else from the start, no parent)
        MMRESULT expected;
    } cases[] = {
        {"header cut short", std::string("RIFF\x10\x00", 6), false, MMIOERR_CHUNKNOTFOUND},
        {"form type cut short", std::string("RIFF\x04\x00\x00\x00WA", 10), false, MMIOERR_CHUNKNOTFOUND},
        {"chunk header cut short in the form", Group("RIFF", "WAVE", std::string("dat")), true, MMIOERR_CHUNKNOTFOUND},
        {"huge chunk before data", Group("RIFF", "WAVE", Chunk("junk", "", 0xFFFFFFF0u) + Chunk("data", "d"), 100),
         true, MMIOERR_CHUNKNOTFOUND},
        {"form claiming more than the file", Group("RIFF", "WAVE", Chunk("data", "abcd"), 0x7FFFFFFF), true,
         MMSYSERR_NOERROR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HMMIO f = OpenBytes(c.file);
        ASSERT_NE(f, nullptr);
        MMCKINFO riff{};
        if (!c.inForm) {
            EXPECT_EQ(mmioDescend(f, &riff, nullptr, 0), c.expected);
            continue;
        }
        ASSERT_EQ(mmioDescend(f, &riff, nullptr, 0), MMSYSERR_NOERROR);
        MMCKINFO data{};
        data.ckid = mmioFOURCC('d', 'a', 't', 'a');
        EXPECT_EQ(mmioDescend(f, &data, &riff, MMIO_FINDCHUNK), c.expected);
        EXPECT_LE(Here(f), static_cast<LONG>(c.file.size()));
    }
}

TEST_F(MmioTest, ReadsAndAscentsOfAChunkLongerThanTheFileEndAtTheFileEnd) {
    const std::string file = Group("RIFF", "WAVE", Chunk("data", "", 1000) + "abcd", 1012);
    HMMIO f = OpenBytes(file);
    ASSERT_NE(f, nullptr);
    MMCKINFO riff{}, data{};
    ASSERT_EQ(mmioDescend(f, &riff, nullptr, 0), MMSYSERR_NOERROR);
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioDescend(f, &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(data.cksize, 1000u);  // as the file claims it
    EXPECT_EQ(Read(f, 100), "abcd");
    EXPECT_EQ(mmioRead(f, nullptr, 0), 0);
    ASSERT_EQ(mmioSeek(f, static_cast<LONG>(data.dwDataOffset), SEEK_SET), static_cast<LONG>(data.dwDataOffset));
    ASSERT_EQ(mmioAscend(f, &data, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(Here(f), static_cast<LONG>(file.size()));
    // Seeks stay within the file too.
    EXPECT_EQ(mmioSeek(f, 1, SEEK_END), -1);
    EXPECT_EQ(mmioSeek(f, -1, SEEK_SET), -1);
    EXPECT_EQ(Here(f), static_cast<LONG>(file.size()));
    EXPECT_EQ(mmioSeek(f, -4, SEEK_END), static_cast<LONG>(file.size() - 4));
}

TEST_F(MmioTest, TheDirectBufferRefillsAcrossItsEndAndRunsDryAtTheFileEnd) {
    const std::string payload = "0123456789";
    HMMIO f = OpenBytes(Group("RIFF", "WAVE", Chunk("data", payload)), MMIO_READ | MMIO_ALLOCBUF, 4);
    ASSERT_NE(f, nullptr);
    MMCKINFO riff{}, data{};
    ASSERT_EQ(mmioDescend(f, &riff, nullptr, 0), MMSYSERR_NOERROR);
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioDescend(f, &data, &riff, MMIO_FINDCHUNK), MMSYSERR_NOERROR);

    // As a WAVE reader does it: take bytes until the buffer is empty, then advance.
    MMIOINFO info{};
    ASSERT_EQ(mmioGetInfo(f, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.cchBuffer, 4);
    std::string got;
    for (int i = 0; i < 6; ++i) {
        if (info.pchNext == info.pchEndRead) {
            ASSERT_EQ(mmioAdvance(f, &info, MMIO_READ), MMSYSERR_NOERROR);
        }
        ASSERT_LT(info.pchNext, info.pchEndRead);
        got += *info.pchNext++;
    }
    EXPECT_EQ(got, "012345");
    ASSERT_EQ(mmioSetInfo(f, &info, 0), MMSYSERR_NOERROR);
    // The file functions go on from where the buffer was left.
    EXPECT_EQ(Here(f), static_cast<LONG>(data.dwDataOffset + 6));
    EXPECT_EQ(Read(f, 2), "67");

    ASSERT_EQ(mmioGetInfo(f, &info, 0), MMSYSERR_NOERROR);
    while (true) {
        if (info.pchNext == info.pchEndRead) {
            ASSERT_EQ(mmioAdvance(f, &info, MMIO_READ), MMSYSERR_NOERROR);
            if (info.pchNext == info.pchEndRead) break;
        }
        got += *info.pchNext++;
    }
    EXPECT_EQ(got, "01234589");
    // Advancing again at the end still gives nothing.
    ASSERT_EQ(mmioAdvance(f, &info, MMIO_READ), MMSYSERR_NOERROR);
    EXPECT_EQ(info.pchNext, info.pchEndRead);
    EXPECT_EQ(mmioAdvance(f, &info, MMIO_WRITE), MMIOERR_CANNOTWRITE);

    HMMIO unbuffered = OpenBytes("RIFF", MMIO_READ);
    ASSERT_NE(unbuffered, nullptr);
    ASSERT_EQ(mmioGetInfo(unbuffered, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.pchBuffer, nullptr);
    EXPECT_EQ(mmioAdvance(unbuffered, &info, MMIO_READ), MMIOERR_UNBUFFERED);
}

TEST_F(MmioTest, WrittenChunksGetTheirSizesAndPadsAndReadBack) {
    for (bool buffered : {true, false}) {
        SCOPED_TRACE(buffered ? "buffered" : "unbuffered");
        HMMIO f = OpenBytes("", MMIO_READWRITE | MMIO_CREATE | (buffered ? MMIO_ALLOCBUF : 0), 3);
        ASSERT_NE(f, nullptr);
        MMCKINFO riff{}, fmt{}, data{};
        riff.fccType = mmioFOURCC('W', 'A', 'V', 'E');
        ASSERT_EQ(mmioCreateChunk(f, &riff, MMIO_CREATERIFF), MMSYSERR_NOERROR);
        fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
        fmt.cksize = 99;  // a wrong size is fixed on the way out
        ASSERT_EQ(mmioCreateChunk(f, &fmt, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(mmioWrite(f, kFormat.data(), 16), 16);
        ASSERT_EQ(mmioAscend(f, &fmt, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(fmt.cksize, 16u);

        data.ckid = mmioFOURCC('d', 'a', 't', 'a');
        ASSERT_EQ(mmioCreateChunk(f, &data, 0), MMSYSERR_NOERROR);
        // Seven bytes through the direct buffer, as a WAVE writer puts them.
        MMIOINFO info{};
        ASSERT_EQ(mmioGetInfo(f, &info, 0), MMSYSERR_NOERROR);
        for (char c : std::string("sevenBy")) {
            if (info.pchNext == info.pchEndWrite) {
                info.dwFlags |= MMIO_DIRTY;
                ASSERT_EQ(mmioAdvance(f, &info, MMIO_WRITE), buffered ? MMSYSERR_NOERROR : MMIOERR_UNBUFFERED);
                if (!buffered) {
                    ASSERT_EQ(mmioWrite(f, "sevenBy", 7), 7);
                    break;
                }
            }
            *info.pchNext++ = c;
        }
        info.dwFlags |= MMIO_DIRTY;
        ASSERT_EQ(mmioSetInfo(f, &info, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(mmioAscend(f, &data, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(mmioAscend(f, &riff, 0), MMSYSERR_NOERROR);
        ASSERT_EQ(mmioClose(f, 0), MMSYSERR_NOERROR);
        open.back() = nullptr;

        const std::string expected = Group("RIFF", "WAVE", Chunk("fmt ", kFormat) + Chunk("data", "sevenBy"));
        const std::vector<uint8_t> bytes = test_files::ReadBytes(dir.Path() / "t.wav");
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
    }
}

TEST_F(MmioTest, OpeningFindsFilesAsTheGameNamesThemAndRefusesWhatItCannotDo) {
    test_files::WriteBytes(dir.Path() / "data" / "sounds" / "Shot.wav", "RIFF", 4);
    // "Звук.wav" on the disk in UTF-8, "Шум.wav" in its Windows-1251 bytes.
    test_files::WriteBytes(dir.Path() / "data" / "sounds" / "\xD0\x97\xD0\xB2\xD1\x83\xD0\xBA.wav", "RIFF", 4);
    test_files::WriteBytes(dir.Path() / "data" / "sounds" / "\xD8\xF3\xEC.wav", "RIFF", 4);
    MMIOINFO custom{};
    custom.fccIOProc = FOURCC_MEM;
    const struct {
        const char* name;
        DWORD flags;
        MMIOINFO* info;
        bool opens;
        MMRESULT error;
    } cases[] = {
        {"DATA\\SOUNDS\\shot.WAV", MMIO_READ, nullptr, true, MMSYSERR_NOERROR},
        {"Data\\Sounds\\\xC7\xE2\xF3\xEA.wav", MMIO_READ, nullptr, true, MMSYSERR_NOERROR},
        {"Data\\Sounds\\\xD8\xF3\xEC.wav", MMIO_READ, nullptr, true, MMSYSERR_NOERROR},
        {"Data\\Sounds\\missing.wav", MMIO_READ, nullptr, false, MMIOERR_FILENOTFOUND},
        {"Data\\Sounds\\missing.wav", MMIO_WRITE, nullptr, false, MMIOERR_FILENOTFOUND},
        {"Data\\Sounds\\new.wav", MMIO_WRITE | MMIO_CREATE, nullptr, true, MMSYSERR_NOERROR},
        {"Nowhere\\new.wav", MMIO_WRITE | MMIO_CREATE, nullptr, false, MMIOERR_CANNOTOPEN},
        {"Data\\Sounds\\shot.wav", MMIO_READ, &custom, false, MMSYSERR_INVALPARAM},
        {"Data\\Sounds\\shot.wav", MMIO_WRITE | MMIO_READWRITE, nullptr, false, MMSYSERR_INVALPARAM},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " flags " << c.flags);
        MMIOINFO info{};
        MMIOINFO* given = c.info ? c.info : &info;
        HMMIO f = mmioOpenA(const_cast<LPSTR>(c.name), given, c.flags);
        EXPECT_EQ(f != nullptr, c.opens);
        EXPECT_EQ(given->wErrorRet, c.error);
        if (f) mmioClose(f, 0);
    }

    HMMIO readOnly = mmioOpenA(const_cast<LPSTR>("data\\sounds\\shot.wav"), nullptr, MMIO_READ);
    ASSERT_NE(readOnly, nullptr);
    MMCKINFO chunk{};
    EXPECT_EQ(mmioWrite(readOnly, "x", 1), -1);
    EXPECT_EQ(mmioCreateChunk(readOnly, &chunk, 0), MMIOERR_CANNOTWRITE);
    mmioClose(readOnly, 0);

    platform::Headless()->failing = {"mmioOpen"};
    MMIOINFO info{};
    EXPECT_EQ(mmioOpenA(const_cast<LPSTR>("data\\sounds\\shot.wav"), &info, MMIO_READ), nullptr);
    EXPECT_EQ(info.wErrorRet, MMIOERR_CANNOTOPEN);
    platform::Headless()->failing = {"mmioRead"};
    readOnly = mmioOpenA(const_cast<LPSTR>("data\\sounds\\shot.wav"), nullptr, MMIO_READ);
    char byte = 0;
    EXPECT_EQ(mmioRead(readOnly, &byte, 1), -1);
    mmioClose(readOnly, 0);
    EXPECT_TRUE(platform::Headless()->Called("mmioOpen"));
}

}  // namespace
