// kelvandor-sound run as content authors run it, its files read back byte by
// byte and through libsndfile, and the sample sounds and music it makes.
#include "support/files.h"
#include "support/run_tool.h"
#include "support/work_dir.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using test_files::ReadBytes;
using test_files::ReadText;
using test_files::WriteBytes;
using test_files::WriteText;

using Result = ToolResult;

const fs::path kSources = fs::path(KV_DATA_DIR) / "sources" / "sounds";

struct Sound {
    int channels = 0, rate = 0, format = 0;
    int64_t frames = 0;
    std::vector<double> samples;  // interleaved, full scale 1

    double At(int64_t frame, int channel = 0) const { return samples[static_cast<size_t>(frame * channels + channel)]; }
};

// The file as libsndfile decodes it; an empty sound when it cannot.
Sound Decode(const fs::path& path) {
    Sound sound;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return sound;
    }
    sound.channels = info.channels, sound.rate = info.samplerate, sound.format = info.format;
    sound.samples.resize(static_cast<size_t>(info.frames * info.channels));
    sound.frames = sf_readf_double(file, sound.samples.data(), info.frames);
    EXPECT_EQ(sound.frames, info.frames) << path;
    sf_close(file);
    return sound;
}

uint32_t U16(const std::vector<uint8_t>& bytes, size_t at) { return bytes[at] | bytes[at + 1] << 8; }
uint32_t U32(const std::vector<uint8_t>& bytes, size_t at) { return U16(bytes, at) | U16(bytes, at + 2) << 16; }

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutU32(std::vector<uint8_t>& out, uint32_t value) { PutU16(out, value & 0xFFFF), PutU16(out, value >> 16); }
void PutId(std::vector<uint8_t>& out, const char* id) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id[i]));
}

class SoundTool : public ::testing::Test {
protected:
    Result Run(const std::vector<std::string>& args) { return RunTool(KELVANDOR_SOUND, args); }

    // Builds the recipe text into the file; the test fails when it does not build.
    void Build(const std::string& recipe, const std::string& output) {
        WriteText("recipe.txt", recipe);
        const Result run = Run({"build", "recipe.txt", output});
        ASSERT_EQ(run.code, 0) << run.err;
        EXPECT_EQ(run.err, "");
    }

    ScopedWorkDir m_workDir;
};

TEST_F(SoundTool, WavesAreThePlainPcmLayout) {
    // 0.1 s at 22050 is 2205 frames; a right-panned voice leaves the left silent.
    Build("format stereo 22050 16\nlength 0.1\nsine for 0.1 freq 441 level 0.5 attack 0 decay 0 pan 1\n", "out.wav");
    const std::vector<uint8_t> bytes = ReadBytes("out.wav");
    const uint32_t frames = 2205, block = 4, dataSize = frames * block;
    ASSERT_EQ(bytes.size(), 44 + dataSize);

    std::vector<uint8_t> header;
    PutId(header, "RIFF");
    PutU32(header, 36 + dataSize);
    PutId(header, "WAVE");
    PutId(header, "fmt ");
    PutU32(header, 16);
    PutU16(header, 1);  // PCM
    PutU16(header, 2);
    PutU32(header, 22050);
    PutU32(header, 22050 * block);
    PutU16(header, block);
    PutU16(header, 16);
    PutId(header, "data");
    PutU32(header, dataSize);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 44), header);

    // Signed little-endian samples: the sine's own values, left then right.
    for (const uint32_t frame : {0u, 1u, 12u, 13u, 25u, 37u, 2204u}) {
        const double expected = 0.5 * std::sin(2 * std::numbers::pi * 441 * frame / 22050.0) * 32767;
        EXPECT_EQ(static_cast<int16_t>(U16(bytes, 44 + frame * block)), 0) << frame;
        EXPECT_NEAR(static_cast<int16_t>(U16(bytes, 46 + frame * block)), expected, 1.0) << frame;
    }
}

TEST_F(SoundTool, EightBitSamplesAreUnsignedAndTheDataPadded) {
    // Silence, then a full-scale sine; 2205 one-byte frames need a pad byte.
    Build("format mono 22050 8\nlength 0.1\nsine at 0.05 for 0.05 freq 441 level 1 attack 0 decay 0\n", "out.wav");
    const std::vector<uint8_t> bytes = ReadBytes("out.wav");
    ASSERT_EQ(bytes.size(), 44u + 2205 + 1);
    EXPECT_EQ(U32(bytes, 4), 36u + 2206);
    EXPECT_EQ(U32(bytes, 28), 22050u);  // bytes a second
    EXPECT_EQ(U16(bytes, 32), 1u);      // block
    EXPECT_EQ(U16(bytes, 34), 8u);
    EXPECT_EQ(U32(bytes, 40), 2205u);
    const auto data = bytes.begin() + 44;
    EXPECT_TRUE(std::all_of(data, data + 1102, [](uint8_t b) { return b == 0x80; }));
    EXPECT_EQ(*std::max_element(data, data + 2205), 255);
    EXPECT_EQ(*std::min_element(data, data + 2205), 1);
    EXPECT_EQ(bytes.back(), 0);
}

TEST_F(SoundTool, OggVorbisReadsBackThroughLibsndfile) {
    Build("format stereo 44100\nlength 0.5\nsaw for 0.5 freq 220 to 440 lowpass 2000 level 0.5 pan -0.5\n", "out.ogg");
    const Sound sound = Decode("out.ogg");
    EXPECT_EQ(sound.format, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
    EXPECT_EQ(sound.channels, 2);
    EXPECT_EQ(sound.rate, 44100);
    EXPECT_EQ(sound.frames, 22050);
    EXPECT_FALSE(fs::exists("out.ogg.tmp"));
    // Panned left: the right channel at half the left's level.
    double left = 0, right = 0;
    for (int64_t f = 0; f < sound.frames; ++f)
        left = std::max(left, std::fabs(sound.At(f, 0))), right = std::max(right, std::fabs(sound.At(f, 1)));
    EXPECT_NEAR(left, 0.5, 0.1);
    EXPECT_NEAR(right / left, 0.5, 0.1);
}

// Whether each stretch of 100 frames holds sound.
std::vector<bool> Sounding(const Sound& sound) {
    std::vector<bool> on(static_cast<size_t>(sound.frames / 100));
    for (int64_t f = 0; f < sound.frames; ++f)
        if (std::fabs(sound.At(f)) > 0.01) on[static_cast<size_t>(f / 100)] = true;
    return on;
}

TEST_F(SoundTool, TempoNotesRestsRepeatsAndLoopsPlaceVoices) {
    // At 600 beats a minute a beat is 0.1 s: 1000 frames, ten stretches.
    Build(
        "format mono 10000\ntempo 600\nlength 8 loop\n"
        "sine at 1 for 1 notes 100 - C3 level 0.5 attack 0 decay 0\n"
        "sine at 4 for 0.5 freq 100 repeat 2 every 1 level 0.5 attack 0 decay 0\n"
        "# past the end, so heard at the start\n"
        "noise at 7.5 for 1 level 0.5 attack 0 decay 0\n",
        "out.wav");
    const Sound sound = Decode("out.wav");
    ASSERT_EQ(sound.frames, 8000);
    std::vector<bool> expected(80, false);
    for (const auto& [from, to] : {std::pair{10, 20}, {30, 40}, {40, 45}, {50, 55}, {75, 80}, {0, 5}})
        for (int i = from; i < to; ++i) expected[static_cast<size_t>(i)] = true;
    EXPECT_EQ(Sounding(sound), expected);
}

int Crossings(const Sound& sound, int64_t from, int64_t to) {
    int count = 0;
    for (int64_t f = from + 1; f < to; ++f)
        if ((sound.At(f - 1) < 0) != (sound.At(f) < 0)) ++count;
    return count;
}

// The mean size of a step from frame to frame, against the sound's RMS: high
// for white noise, low once the highs are filtered out.
double Roughness(const Sound& sound) {
    double steps = 0, squares = 0;
    for (int64_t f = 1; f < sound.frames; ++f) {
        steps += std::fabs(sound.At(f) - sound.At(f - 1));
        squares += sound.At(f) * sound.At(f);
    }
    return steps / std::sqrt(squares * static_cast<double>(sound.frames));
}

TEST_F(SoundTool, SweepsFiltersAndEdgesShapeVoices) {
    // 100 Hz to 1600 Hz evenly in octaves over 1 s: 11.5 cycles in the first
    // tenth of a second, 139.7 in the last (a linear sweep would give 17.5
    // and 152.5).
    Build("format mono 10000\nsine for 1 freq 100 to 1600\n", "sweep.wav");
    const Sound sweep = Decode("sweep.wav");
    ASSERT_EQ(sweep.frames, 10000);
    EXPECT_NEAR(Crossings(sweep, 0, 1000), 23, 2);
    EXPECT_NEAR(Crossings(sweep, 9000, 10000), 279, 2);

    Build("format mono 10000\nnoise for 1\n", "white.wav");
    Build("format mono 10000\nnoise for 1 lowpass 200\n", "low.wav");
    EXPECT_LT(Roughness(Decode("low.wav")), 0.25 * Roughness(Decode("white.wav")));

    // By default a voice rises from silence and falls back to it over 5 ms.
    Build("format mono 10000\nsquare for 0.1 freq 100 level 1\n", "edges.wav");
    const Sound edges = Decode("edges.wav");
    ASSERT_EQ(edges.frames, 1000);
    EXPECT_EQ(edges.At(0), 0);
    EXPECT_EQ(edges.At(999), 0);
    for (int64_t f = 1; f < 50; ++f) {
        EXPECT_LE(std::fabs(edges.At(f)), f / 50.0 + 1e-4) << f;
        EXPECT_LE(std::fabs(edges.At(999 - f)), f / 50.0 + 1e-4) << f;
    }
    EXPECT_NEAR(edges.At(525), 1, 1e-3);  // a quarter into a period
}

// A stereo 16-bit WAVE of eight frames at 8000 Hz, left a square at half
// scale, right silent, with an odd-sized chunk (and its pad byte) before
// the data.
std::vector<uint8_t> KnownWave() {
    std::vector<uint8_t> out;
    PutId(out, "RIFF");
    PutU32(out, 80);
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    PutU32(out, 16);
    PutU16(out, 1);
    PutU16(out, 2);
    PutU32(out, 8000);
    PutU32(out, 32000);
    PutU16(out, 4);
    PutU16(out, 16);
    PutId(out, "JUNK");
    PutU32(out, 3);
    out.insert(out.end(), {'a', 'b', 'c', 0});
    PutId(out, "data");
    PutU32(out, 32);
    for (int f = 0; f < 8; ++f) {
        PutU16(out, f % 2 ? 0xC000 : 0x4000);
        PutU16(out, 0);
    }
    return out;
}

TEST_F(SoundTool, PrintShowsFormatLevelsAndChunks) {
    WriteBytes("known.wav", KnownWave());
    const Result run = Run({"print", "known.wav"});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "file: known.wav\n"
              "container: WAVE\n"
              "encoding: signed PCM\n"
              "channels: 2\n"
              "rate: 8000 Hz\n"
              "bits: 16\n"
              "frames: 8\n"
              "duration: 0.001 s\n"
              "channel 1: peak 0.5000 (-6.0 dBFS), RMS 0.5000 (-6.0 dBFS)\n"
              "channel 2: peak 0 (silent), RMS 0 (silent)\n"
              "chunks: RIFF 80 bytes, form WAVE, in a file of 88 bytes\n"
              "  fmt  at 12: 16 bytes: format 1 (PCM), 2 channels, 8000 Hz, 32000 bytes a second, block 4, 16 bits\n"
              "  JUNK at 36: 3 bytes\n"
              "  data at 48: 32 bytes: 8 frames\n");

    Build("format mono 22050\nsine for 0.5 freq 440\n", "out.ogg");
    const Result ogg = Run({"print", "out.ogg"});
    ASSERT_EQ(ogg.code, 0) << ogg.err;
    for (const char* line : {"container: Ogg\n", "encoding: Vorbis\n", "channels: 1\n", "rate: 22050 Hz\n",
                             "frames: 11025\n", "duration: 0.500 s\n", "channel 1: peak 0.5"})
        EXPECT_NE(ogg.out.find(line), std::string::npos) << line << ogg.out;
    EXPECT_EQ(ogg.out.find("bits:"), std::string::npos) << ogg.out;
    EXPECT_EQ(ogg.out.find("chunks:"), std::string::npos) << ogg.out;
}

TEST_F(SoundTool, PrintPointsOutWhatAPlainReaderStumblesOver) {
    const struct {
        const char* what;
        size_t at;  // where to put the value
        uint32_t value;
        const char* note;
    } cases[] = {
        {"data size", 52, 1000, "note: chunk data at 48 runs past the end of the file"},
        {"RIFF size", 4, 60, "note: the RIFF size says the file has 68 bytes"},
        {"byte rate", 28, 16000, "note: the bytes a second are not rate x block"},
        {"data size", 52, 30, "note: data is not a whole number of blocks"},
        {"fmt id", 12, 0x20746D66 ^ 0x20, "note: no fmt chunk"},
    };
    for (const auto& entry : cases) {
        std::vector<uint8_t> bytes = KnownWave();
        for (int i = 0; i < 4; ++i) bytes[entry.at + i] = static_cast<uint8_t>(entry.value >> 8 * i);
        WriteBytes("damaged.wav", bytes);
        const Result run = Run({"print", "damaged.wav"});
        EXPECT_NE(run.out.find("chunks: RIFF"), std::string::npos) << entry.what << run.out;
        EXPECT_NE(run.out.find(entry.note), std::string::npos) << entry.what << run.out << run.err;
    }
}
TEST_F(SoundTool, RecipeErrorsNameTheirLineAndWriteNothing) {
    const std::string head = "format mono 22050\n";
    const struct {
        std::string recipe;
        const char* message;
    } cases[] = {
        {head, "recipe.txt: no voices"},
        {"sine for 1 freq 440\n", "recipe.txt: no format line"},
        {"format mono\nsine for 1 freq 440\n", "recipe.txt:1: format needs mono or stereo, the rate"},
        {"format quad 22050\nsine for 1 freq 440\n", "recipe.txt:1: channels quad: expected mono or stereo"},
        {"format mono 22050.5\nsine for 1 freq 440\n", "recipe.txt:1: rate 22050.5 is not a whole number"},
        {"format mono 22050 24\nsine for 1 freq 440\n", "recipe.txt:1: bits 24: expected 8 or 16"},
        {head + head + "sine for 1 freq 440\n", "recipe.txt:2: format is given again"},
        {head + "tempo 0\nsine for 1 freq 440\n", "recipe.txt:2: tempo needs one number"},
        {head + "length 1 forever\nsine for 1 freq 440\n", "recipe.txt:2: length needs a time more than 0"},
        {head + "organ for 1 freq 440\n", "recipe.txt:2: expected format, tempo, length or a wave"},
        {head + "sine freq 440\n", "recipe.txt:2: a voice needs for"},
        {head + "sine for 0 freq 440\n", "recipe.txt:2: for needs a time more than 0"},
        {head + "sine for 1\n", "recipe.txt:2: a tone needs freq or notes"},
        {head + "noise for 1 freq 440\n", "recipe.txt:2: noise has no pitch"},
        {head + "sine for 1 freq 440 notes A4\n", "recipe.txt:2: a voice has either freq or notes"},
        {head + "sine for 1 freq H4\n", "recipe.txt:2: freq: H4 is neither Hz above 0 nor a note"},
        {head + "sine for 1 freq A4 to\n", "recipe.txt:2: freq ... to needs a pitch"},
        {head + "sine for 1 notes A4 to C5\n", "recipe.txt:2: expected an option (at, for"},
        {head + "sine for 1 notes level 0.5\n", "recipe.txt:2: notes needs at least one note"},
        {head + "sine for 1 freq 440 level 2\n", "recipe.txt:2: level 2 is out of range (0 to 1)"},
        {head + "sine for 1 freq 440 level loud\n", "recipe.txt:2: level: loud is not a finite number"},
        {head + "sine for 1 freq 440 for 2\n", "recipe.txt:2: for is given twice"},
        {head + "sine for 1 freq 440 wobble 3\n", "recipe.txt:2: expected an option (at, for"},
        {head + "sine for 1 freq 440 repeat 3\n", "recipe.txt:2: repeat needs every"},
        {head + "sine for 1 freq 440 every 3\n", "recipe.txt:2: every needs repeat"},
        {head + "sine for 1 freq 440 repeat 2.5 every 1\n", "recipe.txt:2: repeat needs a whole number"},
        {head + "sine for 1 freq 440 pan 0.5\n", "recipe.txt:2: pan needs a stereo format"},
        {head + "sine for 1 freq 12000\n", "recipe.txt:2: a pitch is at or above half the rate"},
        {head + "sine for 0.00001 freq 440\n", "recipe.txt:2: the voice is shorter than one frame"},
        {head + "length 1\nsine at 0.5 for 1 freq 440\n", "recipe.txt:3: the voice ends at 1.5 s, after the length"},
        {head + "length 1 loop\nsine at 1 for 1 freq 440\n", "recipe.txt:3: the voice starts at 1 s, at or after"},
        {head + "length 700\nsine for 1 freq 440\n", "recipe.txt:2: length is more than 600 s"},
        {head + "sine for 1 notes - -\n", "recipe.txt: every voice is a rest"},
        {head + "sine for 1 freq 440 level 0.8\nsine for 1 freq 440 level 0.8\n",
         "recipe.txt: the voices add up to 1.6"},
    };
    for (const auto& entry : cases) {
        for (const char* output : {"out.wav", "out.ogg"}) {
            WriteText("recipe.txt", entry.recipe);
            const Result run = Run({"build", "recipe.txt", output});
            EXPECT_EQ(run.code, 1) << entry.recipe;
            EXPECT_NE(run.err.find(entry.message), std::string::npos) << entry.recipe << run.err;
            EXPECT_FALSE(fs::exists(output)) << entry.recipe;
            EXPECT_FALSE(fs::exists(std::string(output) + ".tmp")) << entry.recipe;
        }
    }
}

TEST_F(SoundTool, EveryErrorOfARecipeIsReported) {
    WriteText("recipe.txt", "format mono 22050\nsine for 1\n# fine\nsine for 1 freq 440\nbogus\nsine for 1 pan 2\n");
    const Result run = Run({"build", "recipe.txt", "out.wav"});
    EXPECT_EQ(run.code, 1);
    for (const char* line : {"recipe.txt:2:", "recipe.txt:5:", "recipe.txt:6:"})
        EXPECT_NE(run.err.find(line), std::string::npos) << line << run.err;
    EXPECT_EQ(run.err.find("recipe.txt:4:"), std::string::npos) << run.err;
}

TEST_F(SoundTool, AFailedBuildLeavesTheOldFile) {
    WriteText("old.wav", "old bytes");
    WriteText("recipe.txt", "format mono 22050\nsine for 1 freq 440 level 0.8\nsine for 1 freq 440 level 0.8\n");
    EXPECT_EQ(Run({"build", "recipe.txt", "old.wav"}).code, 1);
    EXPECT_EQ(ReadText("old.wav"), "old bytes");

    WriteText("recipe.txt", "format mono 22050\nsine for 1 freq 440\n");
    for (const char* output : {"no/such/folder/out.wav", "no/such/folder/out.ogg"}) {
        const Result run = Run({"build", "recipe.txt", output});
        EXPECT_EQ(run.code, 1) << output;
        EXPECT_NE(run.err.find(output), std::string::npos) << run.err;
    }
}

TEST_F(SoundTool, ExitCodesTellFailuresFromBadUsage) {
    WriteText("recipe.txt", "format mono 22050\nsine for 1 freq 440\n");
    WriteText("noise.wav", "not a sound at all");
    const struct {
        std::vector<std::string> args;
        int code;
        const char* err;
    } cases[] = {
        {{}, 2, "usage: kelvandor-sound build"},
        {{"build", "recipe.txt"}, 2, "usage:"},
        {{"build", "recipe.txt", "out.mp3"}, 2, "the output must end in .wav or .ogg"},
        {{"print"}, 2, "usage:"},
        {{"print", "a.wav", "b.wav"}, 2, "usage:"},
        {{"play", "a.wav"}, 2, "usage:"},
        {{"build", "missing.txt", "out.wav"}, 1, "cannot open missing.txt"},
        {{"print", "missing.wav"}, 1, "cannot open missing.wav"},
        {{"print", "noise.wav"}, 1, "noise.wav is not a sound file that can be read"},
    };
    for (const auto& entry : cases) {
        const Result run = Run(entry.args);
        const std::string label = entry.args.empty() ? "(none)" : entry.args.back();
        EXPECT_EQ(run.code, entry.code) << label;
        EXPECT_NE(run.err.find(entry.err), std::string::npos) << label << run.err;
        EXPECT_EQ(run.out, "") << label;
    }
    EXPECT_FALSE(fs::exists("out.mp3"));

    const Result help = Run({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    for (const char* word : {"build RECIPE.txt OUTPUT.wav|OUTPUT.ogg", "print FILE", "format mono|stereo RATE [BITS]",
                             "tempo BPM", "length TIME [loop]", "freq PITCH [to PITCH]", "repeat N every TIME"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Every sound the list names builds from its recipe in a format the game
// plays: 16-bit 22050 Hz, and mono where the sound is placed in 3D.
TEST_F(SoundTool, TheSampleSoundsSuitTheirUse) {
    const struct {
        const char* name;
        double shortest, longest;  // seconds
    } kLengths[] = {{"click", 0.03, 0.1}, {"shot", 0.1, 0.25}, {"explosion", 0.7, 1.5}};
    std::istringstream list(ReadText(fs::path(KV_DATA_DIR) / "Data" / "Sounds" / "Sounds.dat"));
    int sounds = 0;
    for (std::string line; std::getline(list, line);) {
        line = Trimmed(line);
        // The game's text reader drops every line that holds a comment.
        if (line.empty() || line.find("//") != std::string::npos) continue;
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, ';');) fields.push_back(Trimmed(field));
        ASSERT_EQ(fields.size(), 3u) << line;
        const std::string& name = fields[0];
        const fs::path file = fields[1];
        ASSERT_EQ(file.extension(), ".wav") << line;
        ASSERT_TRUE(fields[2] == "2d" || fields[2] == "3d") << line;
        ++sounds;

        const Result run = Run({"build", (kSources / file.stem()).string() + ".txt", file.string()});
        ASSERT_EQ(run.code, 0) << line << run.err;
        const std::vector<uint8_t> bytes = ReadBytes(file);
        ASSERT_GE(bytes.size(), 44u) << line;
        EXPECT_EQ(U16(bytes, 34), 16u) << line;
        EXPECT_EQ(U32(bytes, 24), 22050u) << line;
        if (fields[2] == "3d") {
            EXPECT_EQ(U16(bytes, 22), 1u) << line << ": a 3D sound must be mono";
        }
        const Sound sound = Decode(file);
        for (const auto& expected : kLengths)
            if (name == expected.name) {
                const double seconds = static_cast<double>(sound.frames) / sound.rate;
                EXPECT_GE(seconds, expected.shortest) << name;
                EXPECT_LE(seconds, expected.longest) << name;
            }
        EXPECT_EQ(sound.At(0), 0) << name << " starts with a click";
        EXPECT_EQ(sound.At(sound.frames - 1), 0) << name << " ends with a click";
    }
    EXPECT_GE(sounds, 3);
}

// Played round and round, the music must not click where its end meets its
// start: that step is no larger than a typical one inside the piece.
void ExpectSeamless(const Sound& sound, const std::string& what) {
    for (int c = 0; c < sound.channels; ++c) {
        std::vector<double> steps;
        for (int64_t f = 1; f < sound.frames; ++f) steps.push_back(std::fabs(sound.At(f, c) - sound.At(f - 1, c)));
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        const double typical = steps[steps.size() / 2];
        const double seam = std::fabs(sound.At(0, c) - sound.At(sound.frames - 1, c));
        EXPECT_GT(typical, 0) << what;
        EXPECT_LE(seam, typical) << what << " channel " << c;
    }
}

TEST_F(SoundTool, TheSampleMusicLoopsCleanly) {
    const std::string recipe = (kSources / "theme.txt").string();
    for (const char* output : {"theme.wav", "theme.ogg"}) {
        const Result run = Run({"build", recipe, output});
        ASSERT_EQ(run.code, 0) << run.err;
        const Sound sound = Decode(output);
        EXPECT_EQ(sound.channels, 2) << output;
        EXPECT_EQ(sound.rate, 44100) << output;
        // Eight bars of 4/4 at 120 beats a minute, to the frame.
        EXPECT_EQ(sound.frames, 8 * 2 * 44100) << output;
        ExpectSeamless(sound, output);
    }
}

}  // namespace
