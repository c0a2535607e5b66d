// The WAVE reader: chunk orders, the checks of every size it is given, the
// formats the mixer plays, reads bounded by the data, and write mode.
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

TEST_F(WaveFile, RefusesWhatItCannotTrustOrPlay) {
    const Bytes data = Samples(20);
    Bytes nonPcm = Format(2, 1, 22050, 16);
    Put16(nonPcm, 2);
    nonPcm.push_back(9);
    nonPcm.push_back(9);
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
        {"data larger than the file", Riff({Chunk("fmt ", Format(1, 1, 22050, 16)), Chunk("data", data, 4000)})},
        {"fmt larger than the file", Riff({Chunk("fmt ", Format(1, 1, 22050, 16), 100000)})},
        {"non-PCM", Riff({Chunk("fmt ", nonPcm), Chunk("data", data)})},
        {"extra bytes beyond fmt", Riff({Chunk("fmt ", lyingExtra), Chunk("data", data)})},
        {"three channels", Pcm(data, 3)},
        {"no channels", Pcm(data, 0)},
        {"24 bits", Riff({Chunk("fmt ", Format(1, 1, 22050, 24)), Chunk("data", data)})},
        {"rate 0", Pcm(data, 1, 16, 0)},
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
