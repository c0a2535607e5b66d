// kelvandor-anim: builds animation files from a text table of tracks and keys,
// and prints an animation file back as such a table, with the engine's own
// reader and writer.
#include "tool_common.h"

#include "Render/KAnimationFile.h"
#include "core/KTextReader.h"
#include "platform/d3dx9/d3dx9math.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: kelvandor-anim build TABLE.txt OUTPUT.anm\n"
    "       kelvandor-anim print FILE.anm\n"
    "\n"
    "build  writes the animation file described by the text table TABLE.txt\n"
    "print  prints an animation file as a table that build reads back\n"
    "\n"
    "The table, one statement a line; blank lines and lines starting with #\n"
    "are skipped:\n"
    "\n"
    "  track NAME\n"
    "      starts the track of the mesh node NAME (the rest of the line;\n"
    "      stored in lower case, as the game compares node names)\n"
    "  key DURATION move X Y Z turn YAW PITCH ROLL\n"
    "      a key of the current track: the node's local matrix is the\n"
    "      rotation by yaw (about y), pitch (about x) and roll (about z), in\n"
    "      degrees, followed by the translation (X, Y, Z); either part may be\n"
    "      left out and is then none\n"
    "  key DURATION matrix M11 M21 M31 M41 M12 M22 M32 M42 M13 M23 M33 M43\n"
    "      a key given as the matrix's first three columns, in the order the\n"
    "      file stores them (M41 M42 M43 is the translation); the fourth column\n"
    "      is always 0 0 0 1\n"
    "\n"
    "DURATION is the time in seconds from this key to the next (0 or more);\n"
    "the last key's is not used. A track needs at least one key (print marks\n"
    "a file's track without keys, which the game keeps but never plays), and a\n"
    "name may be given only once.\n";

// A finite number and nothing else; one too large to hold reads as infinite.
bool ParseNumber(const std::string& text, float& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

D3DXMATRIX Pose(const float move[3], const float turn[3]) {
    D3DXMATRIX rotation, translation, pose;
    D3DXMatrixRotationYawPitchRoll(&rotation, D3DXToRadian(turn[0]), D3DXToRadian(turn[1]), D3DXToRadian(turn[2]));
    D3DXMatrixTranslation(&translation, move[0], move[1], move[2]);
    D3DXMatrixMultiply(&pose, &rotation, &translation);
    return pose;
}

class TableReader : public LineErrors {
public:
    explicit TableReader(const std::string& path) : LineErrors(path) {}

    // Every error of the table is reported; false when there was any.
    bool Read(const std::string& text, SKAnimationFile& out) {
        std::istringstream lines(text);
        std::string line;
        int lineNumber = 0;
        std::vector<int> trackLines;
        std::map<std::string, int> seen;
        // The keys of a refused track line are passed over: its error says enough.
        enum { kNoTrack, kInTrack, kSkipping } state = kNoTrack;
        while (std::getline(lines, line)) {
            ++lineNumber;
            TrimString(line);
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            std::string word;
            words >> word;
            if (word == "track") {
                state = kSkipping;
                std::string name = line.substr(word.size());
                ToLowerString(TrimString(name));
                if (name.empty()) {
                    Error(lineNumber, "a track needs a name");
                    continue;
                }
                if (name.find('\0') != std::string::npos) {
                    Error(lineNumber, "a track name cannot hold a zero byte");
                    continue;
                }
                const auto [at, fresh] = seen.emplace(name, lineNumber);
                if (!fresh) {
                    Error(lineNumber, "track %s is given again (first on line %d); the game would keep only one",
                          name.c_str(), at->second);
                    continue;
                }
                out.tracks.push_back({name, {}, {}});
                trackLines.push_back(lineNumber);
                state = kInTrack;
            } else if (word == "key") {
                if (state == kNoTrack) Error(lineNumber, "a key before any track");
                if (state == kInTrack) ReadKey(words, lineNumber, out.tracks.back());
            } else {
                Error(lineNumber, "expected track or key, not %s", word.c_str());
            }
        }
        for (size_t t = 0; t < out.tracks.size(); ++t)
            if (out.tracks[t].keys.empty()) Error(trackLines[t], "track %s has no keys", out.tracks[t].name.c_str());
        return m_errors == 0;
    }

private:
    // Reads count numbers after the word that introduced them.
    bool Numbers(std::istringstream& words, int line, const std::string& what, float* values, int count) {
        for (int i = 0; i < count; ++i) {
            std::string word;
            if (!(words >> word)) {
                Error(line, "%s needs %d numbers", what.c_str(), count);
                return false;
            }
            if (!ParseNumber(word, values[i])) {
                Error(line, "%s: %s is not a finite number", what.c_str(), word.c_str());
                return false;
            }
        }
        return true;
    }

    void ReadKey(std::istringstream& words, int line, SKAnimationTrack& track) {
        std::string word;
        float duration = 0;
        if (!(words >> word)) {
            Error(line, "a key needs a duration");
            return;
        }
        if (!ParseNumber(word, duration) || duration < 0) {
            Error(line, "duration %s is not a number of seconds, 0 or more", word.c_str());
            return;
        }
        float move[3] = {0, 0, 0}, turn[3] = {0, 0, 0}, stored[kAnimationMatrixValues];
        bool hasMove = false, hasTurn = false, hasMatrix = false;
        while (words >> word) {
            bool* given = nullptr;
            float* values = nullptr;
            int count = 3;
            if (word == "move") {
                given = &hasMove, values = move;
            } else if (word == "turn") {
                given = &hasTurn, values = turn;
            } else if (word == "matrix") {
                given = &hasMatrix, values = stored, count = static_cast<int>(kAnimationMatrixValues);
            } else {
                Error(line, "expected move, turn or matrix, not %s", word.c_str());
                return;
            }
            if (*given) {
                Error(line, "%s is given twice", word.c_str());
                return;
            }
            *given = true;
            if (!Numbers(words, line, word, values, count)) return;
        }
        if (hasMatrix && (hasMove || hasTurn)) {
            Error(line, "a key is either a matrix or a move and turn, not both");
            return;
        }
        if (!hasMatrix && !hasMove && !hasTurn) {
            Error(line, "a key needs move, turn or matrix");
            return;
        }
        D3DXMATRIX key;
        if (hasMatrix)
            MatrixFromStoredValues(stored, key);
        else
            key = Pose(move, turn);
        track.keys.push_back(key);
        track.durations.push_back(duration);
    }
};

int Build(const std::string& tablePath, const std::string& outputPath) {
    std::string text;
    if (!ReadWholeFile(tablePath, text)) return 1;
    SKAnimationFile animation;
    if (!TableReader(tablePath).Read(text, animation)) return 1;
    if (animation.tracks.empty()) {
        Fail("%s: no tracks", tablePath.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes;
    if (!WriteAnimationFile(animation, bytes)) {
        Fail("%s: the tracks do not fit the animation format", tablePath.c_str());
        return 1;
    }

    return WriteBytes(outputPath, bytes) ? 0 : 1;
}

// Angles and offsets for a pure rotation and translation, or false. The
// decoded pose is rebuilt and compared, which also rejects scaling, shearing
// and mirroring.
bool DecodePose(const D3DXMATRIX& m, float move[3], float turn[3]) {
    // The rotation is roll about z, then pitch about x, then yaw about y:
    // _32 = -sin(pitch), _31 / _33 and _12 / _22 give yaw and roll.
    const float pitch = std::asin(std::fmax(-1.0f, std::fmin(1.0f, -m._32)));
    float yaw, roll;
    if (std::cos(pitch) > 1e-4f) {
        yaw = std::atan2(m._31, m._33);
        roll = std::atan2(m._12, m._22);
    } else {
        // Looking straight up or down: yaw and roll turn about one axis.
        yaw = std::atan2(-m._13, m._11);
        roll = 0;
    }
    move[0] = m._41, move[1] = m._42, move[2] = m._43;
    turn[0] = D3DXToDegree(yaw), turn[1] = D3DXToDegree(pitch), turn[2] = D3DXToDegree(roll);
    const D3DXMATRIX rebuilt = Pose(move, turn);
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 4; ++col)
            if (!(std::fabs(rebuilt.m[row][col] - m.m[row][col]) <= 1e-5f)) return false;
    return true;
}

// Short, and without the -0 and 1e-08 that rounding leaves.
std::string Short(float value) {
    if (std::fabs(value) < 1e-5f) value = 0;
    char text[32];
    std::snprintf(text, sizeof(text), "%.6g", value);
    return text;
}

std::string Exact(float value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", value);
    return text;
}

bool Writable(const std::string& name) {
    if (name.empty() || IsSpaceChar(name.front()) || IsSpaceChar(name.back())) return false;
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 32 || c == 127) return false;
    return true;
}

int Print(const std::string& path) {
    std::string data;
    if (!ReadWholeFile(path, data)) return 1;
    SKAnimationFile animation;
    if (!ReadAnimationFile(reinterpret_cast<const uint8_t*>(data.data()), data.size(), animation)) {
        Fail("%s is not an animation file, or it is damaged", path.c_str());
        return 1;
    }
    std::map<std::string, size_t> last;
    for (size_t t = 0; t < animation.tracks.size(); ++t) last[animation.tracks[t].name] = t;

    std::printf("# %s: %zu track%s\n", path.c_str(), animation.tracks.size(), animation.tracks.size() == 1 ? "" : "s");
    for (size_t t = 0; t < animation.tracks.size(); ++t) {
        const SKAnimationTrack& track = animation.tracks[t];
        std::printf("\n");
        if (last[track.name] != t) std::printf("# a later track of this name replaces this one in the game\n");
        if (!Writable(track.name)) std::printf("# this name cannot be written back in a table\n");
        std::printf("track %s\n", track.name.c_str());
        if (track.keys.empty()) std::printf("# no keys: the game keeps this track, which never moves its node\n");
        for (size_t k = 0; k < track.keys.size(); ++k) {
            float values[kAnimationMatrixValues];
            StoredValuesOfMatrix(track.keys[k], values);
            std::string line = "key " + Exact(track.durations[k]) + " matrix";
            for (const float value : values) line += " " + Exact(value);
            std::printf("%s\n", line.c_str());
            float move[3], turn[3];
            if (DecodePose(track.keys[k], move, turn))
                std::printf("#   move %s %s %s turn %s %s %s\n", Short(move[0]).c_str(), Short(move[1]).c_str(),
                            Short(move[2]).c_str(), Short(turn[0]).c_str(), Short(turn[1]).c_str(),
                            Short(turn[2]).c_str());
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    if (int status = 0; !StartTool("kelvandor-anim: ", kUsage, argc, argv, &args, &status)) return status;
    const std::string& command = args[0];
    if (command == "build" && args.size() == 3) return Build(args[1], args[2]);
    if (command == "print" && args.size() == 2) return Print(args[1]);
    return Usage();
}
