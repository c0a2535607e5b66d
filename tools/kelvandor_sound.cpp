// kelvandor-sound: synthesises the game's sounds and music from small text
// recipes, as WAVE files (written here, in the plain PCM layout the game's
// reader takes) or Ogg Vorbis (through libsndfile), and prints sound files
// back as text.
#include "tool_common.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: kelvandor-sound build RECIPE.txt OUTPUT.wav|OUTPUT.ogg\n"
    "       kelvandor-sound print FILE\n"
    "\n"
    "build  synthesises the sound the recipe describes: a PCM WAVE file when\n"
    "       OUTPUT ends in .wav, Ogg Vorbis when it ends in .ogg\n"
    "print  prints a sound file's format, length and levels per channel, and\n"
    "       for a WAVE file its RIFF chunks\n"
    "\n"
    "The recipe, one statement a line; blank lines and lines starting with #\n"
    "are skipped:\n"
    "\n"
    "  format mono|stereo RATE [BITS]\n"
    "      the output: RATE frames a second (e.g. 22050, 44100), BITS 8 or 16\n"
    "      (default 16; WAVE only, Ogg Vorbis keeps no bit depth)\n"
    "  tempo BPM\n"
    "      times (at, for, every, length) count beats instead of seconds\n"
    "  length TIME [loop]\n"
    "      the sound's length; without it, the end of the last voice. With\n"
    "      loop, what sounds past the end is added at the start, so the sound\n"
    "      repeats without a seam\n"
    "  WAVE OPTION...\n"
    "      a voice; WAVE is sine, square, saw, triangle or noise, and the\n"
    "      options come in any order:\n"
    "        for TIME             how long it sounds (needed)\n"
    "        at TIME              when it starts (default 0)\n"
    "        freq PITCH [to PITCH]\n"
    "                             its pitch, swept evenly in octaves to the\n"
    "                             second one; PITCH is in Hz (440) or a note\n"
    "                             (A4, C#3, Bb2)\n"
    "        notes PITCH|- ...    a tune instead: each note sounds for TIME,\n"
    "                             one after the other; - is a rest\n"
    "        level L              its peak, 0 to 1 (default 0.5)\n"
    "        attack SECONDS       the rise from silence (default 0.005)\n"
    "        decay SECONDS        the fall to silence at its end (default 0.005)\n"
    "        lowpass HZ [to HZ]   a low-pass filter, swept like freq\n"
    "        pan P                stereo only: -1 left, 0 both, 1 right\n"
    "        repeat N every TIME  plays it N times, each TIME after the last\n"
    "      noise takes no freq or notes; the others need one of them.\n"
    "\n"
    "The voices are added up; a sum beyond full scale is an error.\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed, 2 bad usage.\n";

// The longest sound a recipe may make, in seconds.
constexpr double kMaxLength = 600;
constexpr double kDefaultLevel = 0.5;
constexpr double kDefaultEdge = 0.005;
constexpr double kVorbisQuality = 0.5;

bool EndsWith(const std::string& text, const char* end) {
    const size_t length = std::strlen(end);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - length + i])) != end[i]) return false;
    return true;
}

// A finite number and nothing else.
bool ParseNumber(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// Hz, or a note name: a letter A to G, an optional # or b and an octave
// (A4 is 440 Hz, C4 middle C), in equal temperament.
bool ParsePitch(const std::string& text, double& hz) {
    if (ParseNumber(text, hz)) return hz > 0;
    if (text.size() < 2) return false;
    static const int kSemitones[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G from C
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    if (letter < 'A' || letter > 'G') return false;
    int semitone = kSemitones[letter - 'A'];
    size_t at = 1;
    if (text[at] == '#')
        ++semitone, ++at;
    else if (text[at] == 'b')
        --semitone, ++at;
    const std::string octaveText = text.substr(at);
    if (octaveText.empty() || octaveText.size() > 2) return false;
    for (size_t i = 0; i < octaveText.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(octaveText[i])) && !(i == 0 && octaveText[i] == '-')) return false;
    const int octave = std::atoi(octaveText.c_str());
    if (octave < -1 || octave > 9) return false;
    const int midi = 12 * (octave + 1) + semitone;
    hz = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
    return true;
}

enum class Wave { kSine, kSquare, kSaw, kTriangle, kNoise };

// Times as written: seconds, or beats under a tempo.
struct Voice {
    int line = 0;
    Wave wave = Wave::kSine;
    double at = 0, length = 0;
    std::vector<double> pitches;  // one for freq, the tune for notes; 0 is a rest
    double sweepTo = 0;           // 0: no sweep
    bool hasNotes = false;
    double level = kDefaultLevel, attack = kDefaultEdge, decay = kDefaultEdge;
    double lowpass = 0, lowpassTo = 0;
    bool hasPan = false;
    double pan = 0;
    int repeat = 1;
    double every = 0;
};

struct Recipe {
    int channels = 0, rate = 0, bits = 16;
    int formatLine = 0;
    double tempo = 0;
    double length = -1;
    bool loop = false;
    int lengthLine = 0;
    std::vector<Voice> voices;
};

class RecipeReader : public LineErrors {
public:
    explicit RecipeReader(const std::string& path) : LineErrors(path) {}

    // Every error of the recipe is reported; false when there was any.
    bool Read(const std::string& text, Recipe& out) {
        std::istringstream lines(text);
        std::string line;
        int lineNumber = 0;
        int tempoLine = 0;
        while (std::getline(lines, line)) {
            ++lineNumber;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            std::istringstream words(line);
            std::vector<std::string> tokens;
            for (std::string word; words >> word;) tokens.push_back(word);
            if (tokens.empty() || tokens[0][0] == '#') continue;
            const std::string& word = tokens[0];
            if (word == "format") {
                if (out.formatLine) {
                    Error(lineNumber, "format is given again (first on line %d)", out.formatLine);
                    continue;
                }
                out.formatLine = lineNumber;
                ReadFormat(tokens, lineNumber, out);
            } else if (word == "tempo") {
                if (tempoLine) {
                    Error(lineNumber, "tempo is given again (first on line %d)", tempoLine);
                    continue;
                }
                tempoLine = lineNumber;
                if (tokens.size() != 2 || !ParseNumber(tokens[1], out.tempo) || out.tempo <= 0) {
                    Error(lineNumber, "tempo needs one number of beats a minute, more than 0");
                    out.tempo = 0;
                }
            } else if (word == "length") {
                if (out.lengthLine) {
                    Error(lineNumber, "length is given again (first on line %d)", out.lengthLine);
                    continue;
                }
                out.lengthLine = lineNumber;
                const bool loop = tokens.size() == 3 && tokens[2] == "loop";
                if ((tokens.size() != 2 && !loop) || !ParseNumber(tokens[1], out.length) || out.length <= 0) {
                    Error(lineNumber, "length needs a time more than 0, and then loop or nothing");
                    out.length = -1;
                    continue;
                }
                out.loop = loop;
            } else if (Wave wave; WaveOf(word, wave)) {
                Voice voice;
                voice.line = lineNumber;
                voice.wave = wave;
                if (ReadVoice(tokens, voice)) out.voices.push_back(voice);
            } else {
                Error(lineNumber,
                      "expected format, tempo, length or a wave (sine, square, saw, triangle, noise), not %s",
                      word.c_str());
            }
        }
        if (!out.formatLine) Error(0, "no format line");
        if (out.voices.empty() && m_errors == 0) Error(0, "no voices");
        if (out.channels == 1)
            for (const Voice& voice : out.voices)
                if (voice.hasPan) Error(voice.line, "pan needs a stereo format");
        return m_errors == 0;
    }

    int Errors() const { return m_errors; }

private:
    static bool WaveOf(const std::string& word, Wave& wave) {
        static const struct {
            const char* name;
            Wave wave;
        } kWaves[] = {{"sine", Wave::kSine},
                      {"square", Wave::kSquare},
                      {"saw", Wave::kSaw},
                      {"triangle", Wave::kTriangle},
                      {"noise", Wave::kNoise}};
        for (const auto& entry : kWaves)
            if (word == entry.name) return wave = entry.wave, true;
        return false;
    }

    static bool IsOption(const std::string& word) {
        for (const char* option :
             {"at", "for", "freq", "notes", "level", "attack", "decay", "lowpass", "pan", "repeat", "every", "to"})
            if (word == option) return true;
        return false;
    }

    void ReadFormat(const std::vector<std::string>& tokens, int line, Recipe& out) {
        if (tokens.size() != 3 && tokens.size() != 4) {
            Error(line, "format needs mono or stereo, the rate and optionally the bits");
            return;
        }
        int channels = 0;
        if (tokens[1] == "mono" || tokens[1] == "1") channels = 1;
        if (tokens[1] == "stereo" || tokens[1] == "2") channels = 2;
        if (!channels) {
            Error(line, "channels %s: expected mono or stereo", tokens[1].c_str());
            return;
        }
        double rate = 0;
        if (!ParseNumber(tokens[2], rate) || rate != std::floor(rate) || rate < 1000 || rate > 192000) {
            Error(line, "rate %s is not a whole number of frames a second from 1000 to 192000", tokens[2].c_str());
            return;
        }
        double bits = 16;
        if (tokens.size() == 4 && (!ParseNumber(tokens[3], bits) || (bits != 8 && bits != 16))) {
            Error(line, "bits %s: expected 8 or 16", tokens[3].c_str());
            return;
        }
        out.channels = channels;
        out.rate = static_cast<int>(rate);
        out.bits = static_cast<int>(bits);
    }

    // One number after an option word, within [low, high].
    bool Number(const std::vector<std::string>& tokens, size_t& at, int line, const char* what, double low, double high,
                double& value) {
        if (at >= tokens.size()) {
            Error(line, "%s needs a number", what);
            return false;
        }
        const std::string& word = tokens[at++];
        if (!ParseNumber(word, value)) {
            Error(line, "%s: %s is not a finite number", what, word.c_str());
            return false;
        }
        if (value < low || value > high) {
            Error(line, "%s %s is out of range (%g to %g)", what, word.c_str(), low, high);
            return false;
        }
        return true;
    }

    bool Pitch(const std::vector<std::string>& tokens, size_t& at, int line, const char* what, double& hz) {
        if (at >= tokens.size()) {
            Error(line, "%s needs a pitch", what);
            return false;
        }
        const std::string& word = tokens[at++];
        if (!ParsePitch(word, hz)) {
            Error(line, "%s: %s is neither Hz above 0 nor a note such as A4 or C#3", what, word.c_str());
            return false;
        }
        return true;
    }

    bool ReadVoice(const std::vector<std::string>& tokens, Voice& voice) {
        const int line = voice.line;
        const double kTimes = 1e6;
        bool hasFor = false, hasFreq = false, hasEvery = false;
        std::vector<std::string> seen;
        size_t at = 1;
        while (at < tokens.size()) {
            const std::string word = tokens[at++];
            if (!IsOption(word) || word == "to") {
                Error(line,
                      "expected an option (at, for, freq, notes, level, attack, decay, lowpass, pan, repeat, "
                      "every), not %s",
                      word.c_str());
                return false;
            }
            if (std::find(seen.begin(), seen.end(), word) != seen.end()) {
                Error(line, "%s is given twice", word.c_str());
                return false;
            }
            seen.push_back(word);
            bool ok = true;
            if (word == "at") {
                ok = Number(tokens, at, line, "at", 0, kTimes, voice.at);
            } else if (word == "for") {
                ok = Number(tokens, at, line, "for", 0, kTimes, voice.length);
                if (ok && voice.length <= 0) {
                    Error(line, "for needs a time more than 0");
                    ok = false;
                }
                hasFor = true;
            } else if (word == "freq") {
                double hz = 0;
                ok = Pitch(tokens, at, line, "freq", hz);
                if (ok) voice.pitches = {hz};
                if (ok && at < tokens.size() && tokens[at] == "to") {
                    ++at;
                    ok = Pitch(tokens, at, line, "freq ... to", voice.sweepTo);
                }
                hasFreq = true;
            } else if (word == "notes") {
                voice.hasNotes = true;
                while (ok && at < tokens.size() && !IsOption(tokens[at])) {
                    double hz = 0;
                    if (tokens[at] == "-")
                        ++at;
                    else
                        ok = Pitch(tokens, at, line, "notes", hz);
                    voice.pitches.push_back(hz);
                }
                if (ok && voice.pitches.empty()) {
                    Error(line, "notes needs at least one note");
                    ok = false;
                }
            } else if (word == "level") {
                ok = Number(tokens, at, line, "level", 0, 1, voice.level);
            } else if (word == "attack") {
                ok = Number(tokens, at, line, "attack", 0, kMaxLength, voice.attack);
            } else if (word == "decay") {
                ok = Number(tokens, at, line, "decay", 0, kMaxLength, voice.decay);
            } else if (word == "lowpass") {
                ok = Number(tokens, at, line, "lowpass", 1, 1e6, voice.lowpass);
                if (ok && at < tokens.size() && tokens[at] == "to") {
                    ++at;
                    ok = Number(tokens, at, line, "lowpass ... to", 1, 1e6, voice.lowpassTo);
                }
            } else if (word == "pan") {
                ok = Number(tokens, at, line, "pan", -1, 1, voice.pan);
                voice.hasPan = true;
            } else if (word == "repeat") {
                double count = 0;
                ok = Number(tokens, at, line, "repeat", 1, 100000, count);
                if (ok && count != std::floor(count)) {
                    Error(line, "repeat needs a whole number");
                    ok = false;
                }
                voice.repeat = static_cast<int>(count);
            } else if (word == "every") {
                ok = Number(tokens, at, line, "every", 0, kTimes, voice.every);
                hasEvery = true;
            }
            if (!ok) return false;
        }
        if (!hasFor) return Error(line, "a voice needs for (how long it sounds)"), false;
        if (voice.wave == Wave::kNoise && (hasFreq || voice.hasNotes))
            return Error(line, "noise has no pitch: drop freq and notes"), false;
        if (voice.wave != Wave::kNoise && !hasFreq && !voice.hasNotes)
            return Error(line, "a tone needs freq or notes"), false;
        if (hasFreq && voice.hasNotes) return Error(line, "a voice has either freq or notes, not both"), false;
        if (voice.repeat > 1 && !hasEvery) return Error(line, "repeat needs every (the time between plays)"), false;
        if (hasEvery && voice.repeat == 1) return Error(line, "every needs repeat (how many plays)"), false;
        return true;
    }
};

// One frame range of a voice: a note of a tune, a repeat.
struct Play {
    const Voice* voice;
    double pitch;
    int64_t start, frames;
    uint64_t seed;
};

uint64_t SplitMix(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// The correction that takes the step out of a naive square or saw edge, so
// the harmonics above half the rate do not fold back as aliases.
double PolyBlep(double phase, double step) {
    if (phase < step) {
        const double t = phase / step;
        return t + t - t * t - 1;
    }
    if (phase > 1 - step) {
        const double t = (phase - 1) / step;
        return t * t + t + t + 1;
    }
    return 0;
}

// Adds one play into the interleaved mix; frames past the end wrap to the
// start when the sound loops (the caller has checked they may).
void Render(const Play& play, const Recipe& recipe, int64_t total, std::vector<double>& mix) {
    const Voice& voice = *play.voice;
    const double rate = recipe.rate;
    const int64_t n = play.frames;
    // An attack and decay longer than the play share it in proportion.
    double attack = voice.attack * rate, decay = voice.decay * rate;
    if (attack + decay > n) {
        const double scale = n / (attack + decay);
        attack *= scale, decay *= scale;
    }
    double left = 1, right = 1;
    if (recipe.channels == 2) left = std::min(1.0, 1 - voice.pan), right = std::min(1.0, 1 + voice.pan);

    const double sweep = voice.sweepTo > 0 ? std::log2(voice.sweepTo / play.pitch) : 0;
    const double cutSweep = voice.lowpass > 0 && voice.lowpassTo > 0 ? std::log2(voice.lowpassTo / voice.lowpass) : 0;
    uint64_t noise = play.seed;
    double phase = 0, low1 = 0, low2 = 0;
    for (int64_t i = 0; i < n; ++i) {
        const double along = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0;
        const double step = play.pitch * std::exp2(sweep * along) / rate;
        double x = 0;
        switch (voice.wave) {
        case Wave::kSine: x = std::sin(2 * std::numbers::pi * phase); break;
        case Wave::kSquare:
            x = (phase < 0.5 ? 1.0 : -1.0) + PolyBlep(phase, step) - PolyBlep(std::fmod(phase + 0.5, 1.0), step);
            break;
        case Wave::kSaw: x = 2 * phase - 1 - PolyBlep(phase, step); break;
        case Wave::kTriangle: x = 1 - 4 * std::fabs(std::fmod(phase + 0.25, 1.0) - 0.5); break;
        case Wave::kNoise: x = static_cast<double>(SplitMix(noise) >> 11) * 0x1.0p-52 - 1; break;
        }
        phase += step;
        phase -= std::floor(phase);
        if (voice.lowpass > 0) {
            // Two one-pole stages: 12 dB an octave above the cutoff.
            const double cutoff = std::min(voice.lowpass * std::exp2(cutSweep * along), rate * 0.49);
            const double a = 1 - std::exp(-2 * std::numbers::pi * cutoff / rate);
            low1 += a * (x - low1);
            low2 += a * (low1 - low2);
            x = low2;
        }
        // Linear rise, then a quadratic fall that reaches zero on the last frame.
        double envelope = voice.level;
        if (i < attack) envelope *= i / attack;
        const double remaining = static_cast<double>(n - 1 - i);
        if (remaining < decay) envelope *= (remaining / decay) * (remaining / decay);
        const double value = x * envelope;
        const int64_t frame = (play.start + i) % total;
        if (recipe.channels == 1) {
            mix[frame] += value;
        } else {
            mix[2 * frame] += value * left;
            mix[2 * frame + 1] += value * right;
        }
    }
}

// The plays of every voice in frames, with the sound's length; false (after
// reporting) when a voice does not fit.
bool Lay(const Recipe& recipe, RecipeReader& reader, std::vector<Play>& plays, int64_t& total) {
    const double unit = recipe.tempo > 0 ? 60.0 / recipe.tempo : 1.0;
    const double rate = recipe.rate;
    const double nyquist = rate / 2;
    int64_t end = 0;
    uint64_t seeds = 0x6B656C76616E646Full;
    for (const Voice& voice : recipe.voices) {
        bool ok = true;
        for (const double pitch : voice.pitches)
            if (pitch >= nyquist) ok = false;
        if (voice.sweepTo >= nyquist) ok = false;
        if (!ok) {
            reader.Error(voice.line, "a pitch is at or above half the rate (%g Hz)", nyquist);
            continue;
        }
        if (std::llround(voice.length * unit * rate) < 1) {
            reader.Error(voice.line, "the voice is shorter than one frame");
            continue;
        }
        const size_t notes = voice.pitches.empty() ? 1 : voice.pitches.size();
        const double last = voice.at + (voice.repeat - 1) * voice.every + static_cast<double>(notes) * voice.length;
        if (last * unit > kMaxLength) {
            reader.Error(voice.line, "the voice ends after %g s, the longest sound", kMaxLength);
            continue;
        }
        for (int r = 0; r < voice.repeat; ++r)
            for (size_t k = 0; k < notes; ++k) {
                const double pitch = voice.pitches.empty() ? 0 : voice.pitches[k];
                if (!voice.pitches.empty() && pitch == 0) continue;  // a rest
                // Both ends rounded to frames, so that notes one after the other
                // meet without a gap or an overlap.
                const double start = voice.at + r * voice.every + static_cast<double>(k) * voice.length;
                const int64_t first = std::llround(start * unit * rate);
                const int64_t frames = std::max<int64_t>(1, std::llround((start + voice.length) * unit * rate) - first);
                const Play play{&voice, pitch, first, frames, SplitMix(seeds)};
                plays.push_back(play);
                end = std::max(end, play.start + play.frames);
            }
    }
    if (reader.Errors()) return false;
    if (plays.empty()) return reader.Error(0, "every voice is a rest"), false;
    if (recipe.length * unit > kMaxLength) {
        reader.Error(recipe.lengthLine, "length is more than %g s, the longest sound", kMaxLength);
        return false;
    }
    total = recipe.length > 0 ? std::llround(recipe.length * unit * rate) : end;
    if (total < 1) return reader.Error(recipe.lengthLine, "length is shorter than one frame"), false;
    // One error a voice: its first play that does not fit.
    const Voice* reported = nullptr;
    for (const Play& play : plays) {
        if (play.voice == reported) continue;
        if (play.start >= total) {
            reader.Error(play.voice->line, "the voice starts at %.4g s, at or after the end (%.4g s)",
                         static_cast<double>(play.start) / rate, static_cast<double>(total) / rate);
            reported = play.voice;
        } else if (!recipe.loop && play.start + play.frames > total) {
            reader.Error(play.voice->line, "the voice ends at %.4g s, after the length (%.4g s); loop wraps it round",
                         static_cast<double>(play.start + play.frames) / rate, static_cast<double>(total) / rate);
            reported = play.voice;
        }
    }
    return reader.Errors() == 0;
}

void PutU16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    PutU16(out, value & 0xFFFF);
    PutU16(out, value >> 16);
}

void PutId(std::vector<uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

// RIFF, a 16-byte PCM fmt chunk and the data chunk: nothing a plain reader
// has to skip. 8-bit samples are unsigned (silence 0x80), 16-bit signed.
std::vector<uint8_t> WaveBytes(const Recipe& recipe, const std::vector<double>& mix) {
    const uint32_t block = static_cast<uint32_t>(recipe.channels * recipe.bits / 8);
    const uint32_t dataSize = static_cast<uint32_t>(mix.size()) * static_cast<uint32_t>(recipe.bits / 8);
    const uint32_t pad = dataSize & 1;
    std::vector<uint8_t> out;
    out.reserve(44 + dataSize + pad);
    PutId(out, "RIFF");
    PutU32(out, 36 + dataSize + pad);
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    PutU32(out, 16);
    PutU16(out, 1);
    PutU16(out, static_cast<uint32_t>(recipe.channels));
    PutU32(out, static_cast<uint32_t>(recipe.rate));
    PutU32(out, static_cast<uint32_t>(recipe.rate) * block);
    PutU16(out, block);
    PutU16(out, static_cast<uint32_t>(recipe.bits));
    PutId(out, "data");
    PutU32(out, dataSize);
    for (const double x : mix) {
        if (recipe.bits == 8)
            out.push_back(static_cast<uint8_t>(std::clamp<long>(128 + std::lrint(x * 127), 0, 255)));
        else
            PutU16(out, static_cast<uint16_t>(std::clamp<long>(std::lrint(x * 32767), -32768, 32767)));
    }
    if (pad) out.push_back(0);
    return out;
}

bool WriteWave(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool WriteVorbis(const std::string& path, const Recipe& recipe, const std::vector<double>& mix, std::string& error) {
    SF_INFO info{};
    info.samplerate = recipe.rate;
    info.channels = recipe.channels;
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        error = sf_strerror(nullptr);
        return false;
    }
    double quality = kVorbisQuality;
    sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof(quality));
    const sf_count_t frames = static_cast<sf_count_t>(mix.size()) / recipe.channels;
    bool ok = sf_writef_double(file, mix.data(), frames) == frames;
    if (!ok) error = sf_strerror(file);
    if (sf_close(file) != 0 && ok) {
        error = "cannot finish the file";
        ok = false;
    }
    return ok;
}

int Build(const std::string& recipePath, const std::string& outputPath) {
    const bool ogg = EndsWith(outputPath, ".ogg");
    std::string text;
    if (!ReadWholeFile(recipePath, text)) return 1;
    Recipe recipe;
    RecipeReader reader(recipePath);
    if (!reader.Read(text, recipe)) return 1;
    std::vector<Play> plays;
    int64_t total = 0;
    if (!Lay(recipe, reader, plays, total)) return 1;

    std::vector<double> mix(static_cast<size_t>(total) * static_cast<size_t>(recipe.channels), 0.0);
    for (const Play& play : plays) Render(play, recipe, total, mix);
    size_t loudest = 0;
    for (size_t i = 0; i < mix.size(); ++i)
        if (std::fabs(mix[i]) > std::fabs(mix[loudest])) loudest = i;
    if (std::fabs(mix[loudest]) > 1) {
        Fail("%s: the voices add up to %.3g at %.3f s, beyond full scale (1); lower their levels", recipePath.c_str(),
             std::fabs(mix[loudest]),
             static_cast<double>(loudest / static_cast<size_t>(recipe.channels)) / recipe.rate);
        return 1;
    }

    // Written beside the target and renamed over it, so a failed build leaves
    // an old file whole.
    const std::string temporary = outputPath + ".tmp";
    std::string error;
    bool ok = ogg ? WriteVorbis(temporary, recipe, mix, error) : WriteWave(temporary, WaveBytes(recipe, mix));
    if (!ok && error.empty()) error = std::strerror(errno);
    if (ok && std::rename(temporary.c_str(), outputPath.c_str()) != 0) {
        error = std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        std::remove(temporary.c_str());
        Fail("cannot write %s: %s", outputPath.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

uint32_t GetU16(const std::string& data, size_t at) {
    return static_cast<uint8_t>(data[at]) | static_cast<uint32_t>(static_cast<uint8_t>(data[at + 1])) << 8;
}

uint32_t GetU32(const std::string& data, size_t at) { return GetU16(data, at) | GetU16(data, at + 2) << 16; }

// A chunk id as text, with bytes that do not print escaped.
std::string Id(const std::string& data, size_t at) {
    std::string id;
    for (size_t i = at; i < at + 4; ++i) {
        const unsigned char c = static_cast<unsigned char>(data[i]);
        if (c >= 32 && c < 127) {
            id += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            id += escaped;
        }
    }
    return id;
}

const char* FormatTagName(uint32_t tag) {
    switch (tag) {
    case 1: return "PCM";
    case 3: return "IEEE float";
    case 6: return "A-law";
    case 7: return "mu-law";
    case 0xFFFE: return "extensible";
    default: return "unknown";
    }
}

// The RIFF chunks of a WAVE file as they lie, with what a plain PCM reader
// would stumble over.
void PrintChunks(const std::string& data) {
    const uint32_t riffSize = GetU32(data, 4);
    std::printf("chunks: RIFF %u bytes, form WAVE, in a file of %zu bytes\n", riffSize, data.size());
    std::vector<std::string> notes;
    if (static_cast<uint64_t>(riffSize) + 8 != data.size())
        notes.push_back("the RIFF size says the file has " + std::to_string(static_cast<uint64_t>(riffSize) + 8) +
                        " bytes");
    const size_t end = std::min<uint64_t>(data.size(), static_cast<uint64_t>(riffSize) + 8);
    size_t at = 12;
    bool hasFmt = false, hasData = false;
    uint32_t block = 0;
    while (at + 8 <= end) {
        const std::string id = Id(data, at);
        const uint32_t size = GetU32(data, at + 4);
        std::printf("  %-4s at %zu: %u bytes", id.c_str(), at, size);
        if (at + 8 + static_cast<uint64_t>(size) > data.size())
            notes.push_back("chunk " + id + " at " + std::to_string(at) + " runs past the end of the file");
        if (id == "fmt " && size >= 16 && at + 24 <= data.size()) {
            const uint32_t tag = GetU16(data, at + 8), channels = GetU16(data, at + 10), rate = GetU32(data, at + 12),
                           byteRate = GetU32(data, at + 16), bits = GetU16(data, at + 22);
            block = GetU16(data, at + 20);
            std::printf(": format %u (%s), %u channel%s, %u Hz, %u bytes a second, block %u, %u bits", tag,
                        FormatTagName(tag), channels, channels == 1 ? "" : "s", rate, byteRate, block, bits);
            if (tag == 1 && block != channels * ((bits + 7) / 8))
                notes.push_back("the block is not channels x bytes a sample");
            if (byteRate != rate * block) notes.push_back("the bytes a second are not rate x block");
            if (hasData) notes.push_back("fmt comes after data");
            hasFmt = true;
        } else if (id == "fmt ") {
            notes.push_back("fmt is shorter than 16 bytes");
        }
        if (id == "data") {
            if (block && size % block) notes.push_back("data is not a whole number of blocks");
            if (block) std::printf(": %u frames", size / block);
            hasData = true;
        }
        std::printf("\n");
        at += 8 + static_cast<uint64_t>(size) + (size & 1);
    }
    if (at < end) notes.push_back(std::to_string(end - at) + " bytes after the last chunk");
    if (!hasFmt) notes.push_back("no fmt chunk");
    if (!hasData) notes.push_back("no data chunk");
    for (const std::string& note : notes) std::printf("note: %s\n", note.c_str());
}

std::string ContainerName(int format) {
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_WAV: return "WAVE";
    case SF_FORMAT_OGG: return "Ogg";
    case SF_FORMAT_FLAC: return "FLAC";
    case SF_FORMAT_AIFF: return "AIFF";
    default: break;
    }
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    return sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name ? info.name : "unknown";
}

// The encoding's name, and its bits a sample where it has a fixed number.
std::string EncodingName(int format, int& bits) {
    bits = 0;
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8: return bits = 8, "unsigned PCM";
    case SF_FORMAT_PCM_S8: return bits = 8, "signed PCM";
    case SF_FORMAT_PCM_16: return bits = 16, "signed PCM";
    case SF_FORMAT_PCM_24: return bits = 24, "signed PCM";
    case SF_FORMAT_PCM_32: return bits = 32, "signed PCM";
    case SF_FORMAT_FLOAT: return bits = 32, "float";
    case SF_FORMAT_DOUBLE: return bits = 64, "float";
    case SF_FORMAT_VORBIS: return "Vorbis";
    case SF_FORMAT_OPUS: return "Opus";
    default: break;
    }
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_SUBMASK;
    return sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof(info)) == 0 && info.name ? info.name : "unknown";
}

std::string Level(double value) {
    char text[64];
    if (value > 0)
        std::snprintf(text, sizeof(text), "%.4f (%.1f dBFS)", value, 20 * std::log10(value));
    else
        std::snprintf(text, sizeof(text), "0 (silent)");
    return text;
}

int Print(const std::string& path) {
    std::string data;
    if (!ReadWholeFile(path, data)) return 1;
    const bool wave = data.size() >= 12 && data.compare(0, 4, "RIFF") == 0 && data.compare(8, 4, "WAVE") == 0;

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        // The chunks still show what is wrong with a WAVE file.
        if (wave) PrintChunks(data);
        std::fflush(stdout);
        Fail("%s is not a sound file that can be read: %s", path.c_str(), sf_strerror(nullptr));
        return 1;
    }
    const int channels = info.channels;
    std::vector<double> peak(static_cast<size_t>(channels), 0.0), squares(static_cast<size_t>(channels), 0.0);
    std::vector<double> block(4096 * static_cast<size_t>(channels));
    sf_count_t frames = 0;
    for (sf_count_t got; (got = sf_readf_double(file, block.data(), 4096)) > 0;) {
        for (sf_count_t f = 0; f < got; ++f)
            for (int c = 0; c < channels; ++c) {
                const double x = block[static_cast<size_t>(f * channels + c)];
                peak[c] = std::max(peak[c], std::fabs(x));
                squares[c] += x * x;
            }
        frames += got;
    }
    const bool damaged = sf_error(file) != SF_ERR_NO_ERROR;
    const std::string error = sf_strerror(file);
    sf_close(file);

    int bits = 0;
    const std::string encoding = EncodingName(info.format, bits);
    std::printf("file: %s\n", path.c_str());
    std::printf("container: %s\n", ContainerName(info.format).c_str());
    std::printf("encoding: %s\n", encoding.c_str());
    std::printf("channels: %d\n", channels);
    std::printf("rate: %d Hz\n", info.samplerate);
    if (bits) std::printf("bits: %d\n", bits);
    std::printf("frames: %lld\n", static_cast<long long>(frames));
    std::printf("duration: %.3f s\n", info.samplerate > 0 ? static_cast<double>(frames) / info.samplerate : 0.0);
    for (int c = 0; c < channels; ++c)
        std::printf("channel %d: peak %s, RMS %s\n", c + 1, Level(peak[c]).c_str(),
                    Level(frames ? std::sqrt(squares[c] / static_cast<double>(frames)) : 0).c_str());
    if (frames != info.frames)
        std::printf("note: the header promises %lld frames\n", static_cast<long long>(info.frames));
    if (wave) PrintChunks(data);
    if (std::fflush(stdout) != 0) return 1;
    if (damaged) {
        Fail("%s: reading stopped early: %s", path.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    if (int status = 0; !StartTool("kelvandor-sound: ", kUsage, argc, argv, &args, &status)) return status;
    const std::string& command = args[0];
    if (command == "build" && args.size() == 3) {
        if (!EndsWith(args[2], ".wav") && !EndsWith(args[2], ".ogg"))
            return Usage("the output must end in .wav or .ogg");
        return Build(args[1], args[2]);
    }
    if (command == "print" && args.size() == 2) return Print(args[1]);
    return Usage();
}
