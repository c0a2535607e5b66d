// The WAVE reader: chunk orders, the checks of every size it is given, every
// format with its extra bytes, reads bounded by the data and by the end of
// the file, and write mode.
#include "Sound/KWaveFile.h"
#include "platform/dshow/dshow.h"

#include "Sound/wave_bytes.h"
#include "support/files.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>

namespace {

using namespace wave_bytes;

Bytes Samples(size_t n) {
    Bytes b;
    for (size_t i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(i * 7 + 1));
    return b;
}

class WaveFile : public ::testing::Test {
protected:
    HRESULT Open(const Bytes& file) {
        test_files::WriteBytes("test.wav", file);
        return wave.Open("test.wav", nullptr, WAVEFILE_READ);
    }
    Bytes ReadAll(DWORD chunk = 1000) {
        Bytes out;
        for (;;) {
            Bytes part(chunk);
            DWORD read = 12345;
            EXPECT_EQ(wave.Read(part.data(), chunk, &read), S_OK);
            if (read == 0) break;
            out.insert(out.end(), part.begin(), part.begin() + read);
        }
        return out;
    }
    ScopedWorkDir m_dir;
    CKWaveFile wave;
};

TEST_F(WaveFile, ReadsTheFormatAndDataWhereverTheChunksAre) {
    const Bytes data = Samples(101);  // odd: the chunk is padded
    const Bytes list = Chunk("LIST", {'I', 'N', 'F', 'O', 'a', 'b', 'c'});
    const Bytes fmt = Chunk("fmt ", Format(1, 2, 44100, 8));
    const std::vector<std::vector<Bytes>> orders = {
        {fmt, Chunk("data", data)},
        {list, fmt, Chunk("data", data)},
        {Chunk("data", data), list, fmt},
        {fmt, list, Chunk("junk", Samples(3)), Chunk("data", data), list},
    };
    for (const auto& chunks : orders) {
        ASSERT_EQ(Open(Riff(chunks)), S_OK);
        ASSERT_NE(wave.m_format, nullptr);
        EXPECT_EQ(wave.m_format->nChannels, 2);
        EXPECT_EQ(wave.m_format->nSamplesPerSec, 44100u);
        EXPECT_EQ(wave.m_format->wBitsPerSample, 8);
        EXPECT_EQ(wave.m_format->cbSize, 0);
        EXPECT_EQ(wave.GetSize(), 101u);
        EXPECT_EQ(ReadAll(7), data);
        wave.Close();
    }
}

TEST_F(WaveFile, ReturnsEveryFormatAsTheFileGivesItWithItsExtraBytes) {
    const Bytes data = Samples(24);
    Bytes pcmWithCount = Format(1, 1, 22050, 16);
    Put16(pcmWithCount, 4);  // PCM has no extra bytes, whatever the chunk holds
    for (int i = 0; i < 4; ++i) pcmWithCount.push_back(0xEE);
    struct Case {
        const char* what;
        Bytes fmt;
        Bytes format;  // the 18 bytes of WAVEFORMATEX and its cbSize extra bytes
    };
    const Case cases[] = {
        {"PCM 24-bit", Format(1, 1, 48000, 24), FormatWithExtra(1, 1, 48000, 24, {})},
        {"PCM 32-bit stereo", Format(1, 2, 44100, 32), FormatWithExtra(1, 2, 44100, 32, {})},
        {"PCM whose chunk has a count", pcmWithCount, FormatWithExtra(1, 1, 22050, 16, {})},
        {"float with a count of 0", FormatWithExtra(3, 1, 44100, 32, {}), FormatWithExtra(3, 1, 44100, 32, {})},
        {"float of 16 bytes", Format(3, 2, 44100, 32), FormatWithExtra(3, 2, 44100, 32, {})},
        {"extensible 24 in 32", Extensible(1, 2, 48000, 32, 24), Extensible(1, 2, 48000, 32, 24)},
        {"extensible float", Extensible(3, 1, 44100, 32, 32), Extensible(3, 1, 44100, 32, 32)},
        {"ADPCM with 2 extra bytes", FormatWithExtra(2, 1, 22050, 4, {0x34, 0x12}),
         FormatWithExtra(2, 1, 22050, 4, {0x34, 0x12})},
        {"three channels", Format(1, 3, 22050, 16), FormatWithExtra(1, 3, 22050, 16, {})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Open(Riff({Chunk("fmt ", c.fmt), Chunk("data", data)})), S_OK);
        ASSERT_NE(wave.m_format, nullptr);
        const auto* bytes = reinterpret_cast<const uint8_t*>(wave.m_format);
        EXPECT_EQ(Bytes(bytes, bytes + sizeof(WAVEFORMATEX) + wave.m_format->cbSize), c.format);
        EXPECT_EQ(ReadAll(), data);
        wave.Close();
    }
}

TEST_F(WaveFile, ADataChunkLongerThanTheFileEndsWithTheFile) {
    const Bytes data = Samples(30);
    // The data chunk last and cut short, as a file whose copy was interrupted.
    Bytes file = Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("data", data, 4000)});
    ASSERT_EQ(Open(file), S_OK);
    EXPECT_EQ(wave.GetSize(), 4000u);  // as the chunk says
    EXPECT_EQ(wave.GetBytesInFile(), 30u);
    for (int pass = 0; pass < 2; ++pass) {
        Bytes buffer(5000, 0xEE);
        DWORD read = 0;
        EXPECT_EQ(wave.Read(buffer.data(), 5000, &read), S_OK);
        EXPECT_EQ(read, 30u);
        EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 30), data);
        EXPECT_EQ(wave.Read(buffer.data(), 5000, &read), S_OK);
        EXPECT_EQ(read, 0u);
        EXPECT_EQ(wave.ResetFile(), S_OK);
    }
    EXPECT_EQ(wave.GetBytesInFile(), 30u);
}

TEST_F(WaveFile, ReadsStopAtTheDataAndStartOverAfterAReset) {
    const Bytes data = Samples(40);
    ASSERT_EQ(Open(Pcm(data)), S_OK);
    Bytes buffer(100, 0xEE);
    DWORD read = 0;
    EXPECT_EQ(wave.Read(buffer.data(), 100, &read), S_OK);
    EXPECT_EQ(read, 40u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 40), data);
    EXPECT_EQ(buffer[40], 0xEE);
    EXPECT_EQ(wave.Read(buffer.data(), 100, &read), S_OK);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(wave.ResetFile(), S_OK);
    EXPECT_EQ(ReadAll(16), data);
    EXPECT_EQ(wave.GetSize(), 40u);  // the size recorded at opening stays
    EXPECT_EQ(wave.Read(nullptr, 4, &read), E_INVALIDARG);
    EXPECT_EQ(wave.Read(buffer.data(), 4, nullptr), E_INVALIDARG);
    wave.Close();
    EXPECT_EQ(wave.Read(buffer.data(), 4, &read), CO_E_NOTINITIALIZED);
    EXPECT_EQ(wave.ResetFile(), CO_E_NOTINITIALIZED);
}

TEST_F(WaveFile, RefusesWhatItCannotTrust) {
    const Bytes data = Samples(20);
    Bytes shortFormat = Format(1, 1, 22050, 16);
    shortFormat.resize(14);
    Bytes lyingExtra = Format(2, 1, 22050, 16);
    Put16(lyingExtra, 500);  // more extra bytes than the chunk holds
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case cases[] = {
        {"empty file", {}},
        {"cut in the RIFF header", Bytes{'R', 'I', 'F', 'F', 8, 0}},
        {"not RIFF", Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("data", data)}, "AVI ")},
        {"not WAVE",
         [&] {
             Bytes b = Pcm(data);
             b[0] = 'X';
             return b;
         }()},
        {"no fmt", Riff({Chunk("data", data)})},
        {"fmt of 14 bytes", Riff({Chunk("fmt ", shortFormat), Chunk("data", data)})},
        {"no data", Riff({Chunk("fmt ", Format(1, 1, 22050, 16))})},
        {"fmt larger than the file", Riff({Chunk("fmt ", Format(1, 1, 22050, 16), 100000)})},
        {"extra bytes beyond fmt", Riff({Chunk("fmt ", lyingExtra), Chunk("data", data)})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Open(c.file), E_FAIL) << c.what;
        EXPECT_EQ(wave.m_format, nullptr) << c.what;
        EXPECT_EQ(wave.GetSize(), 0u) << c.what;
        wave.Close();
    }
    EXPECT_EQ(wave.Open("missing.wav", nullptr, WAVEFILE_READ), E_FAIL);
    EXPECT_EQ(wave.Open(nullptr, nullptr, WAVEFILE_READ), E_INVALIDARG);
}

TEST_F(WaveFile, WriteModeMakesAFileTheReaderOpens) {
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = 11025;
    format.wBitsPerSample = 8;
    format.nBlockAlign = 1;
    format.nAvgBytesPerSec = 11025;
    ASSERT_EQ(wave.Open("new.wav", &format, WAVEFILE_WRITE), S_OK);
    EXPECT_EQ(wave.Close(), S_OK);
    const Bytes written = test_files::ReadBytes("new.wav");
    // RIFF, fmt of 16 bytes, fact holding 0 once closed, an empty data chunk.
    const Bytes expected =
        Riff({Chunk("fmt ", Format(1, 1, 11025, 8)), Chunk("fact", {0, 0, 0, 0}), Chunk("data", {})});
    EXPECT_EQ(written, expected);
    CKWaveFile reader;
    EXPECT_EQ(reader.Open("new.wav", nullptr, WAVEFILE_READ), S_OK);
    EXPECT_EQ(reader.GetSize(), 0u);
    EXPECT_EQ(wave.Open("new.wav", nullptr, WAVEFILE_WRITE), E_INVALIDARG);  // write mode needs a format
}

}  // namespace
