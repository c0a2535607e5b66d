// kelvandor-level: builds level files from a text description in world
// coordinates, and prints a level file back as such a description. The file
// keeps the exporter's handedness (placed matrices mirrored in x, spline
// points negated in x and stored end point first); the tool applies that here
// so authors write what the player sees.
#include "tool_common.h"

#include "core/KTextReader.h"
#include "platform/d3dx9/d3dx9math.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: kelvandor-level build LEVEL.txt OUTPUT.lvl\n"
    "       kelvandor-level print FILE.lvl\n"
    "\n"
    "build  writes the level file described by LEVEL.txt\n"
    "print  prints a level file as a description that build reads back\n"
    "\n"
    "The description, in world coordinates (x to the right, the level scrolls\n"
    "toward -y, play at z = 0), one statement a line; blank lines and lines\n"
    "starting with # are skipped:\n"
    "\n"
    "  light RRGGBB direction DX DY DZ\n"
    "      the level's light: its colour in hex and the direction it shines\n"
    "      (at most one)\n"
    "  object NAME at X Y Z [turn YAW PITCH ROLL]\n"
    "      places the descriptor NAME.rdf (NAME without .rdf), turned by yaw\n"
    "      (about y), pitch (about x) and roll (about z) in degrees\n"
    "  object NAME matrix M11 M21 M31 M41 M12 M22 M32 M42 M13 M23 M33 M43\n"
    "      places it by its world matrix, given column by column\n"
    "  player at X Y Z [turn YAW PITCH ROLL]   (or player matrix ...)\n"
    "      the player's placement (at most one)\n"
    "  end at Y\n"
    "      the scroll position at which the level ends (exactly one)\n"
    "  spline NAME count N spacing S speed V mode M phase P [loop]\n"
    "      a path flown by N clones of NAME.rdf, S apart, at V units a\n"
    "      second; mode 0 fixed, 1 along the path, 2 steering toward the\n"
    "      player fast, 3 slowly; P the animation time added per clone; loop:\n"
    "      the clones start again at the end. No number may be negative.\n"
    "  segment X0 Y0 Z0 X1 Y1 Z1 X2 Y2 Z2 X3 Y3 Z3\n"
    "      a cubic segment of the last spline: start, the two inner control\n"
    "      points, end\n";

constexpr size_t kMatrixValues = 12;
constexpr size_t kMatrixBytes = kMatrixValues * 4;
constexpr size_t kLightBytes = 4 + kMatrixBytes;
constexpr size_t kFurtherLightBytes = 28;
constexpr size_t kSegmentValues = 12;
// The game takes the end marker's y plus this as the level's end.
constexpr float kEndOffset = 10.0f;

// (row, column) of each stored value: the first three columns, one by one.
constexpr int kStoredCells[kMatrixValues][2] = {
    {0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {0, 2}, {1, 2}, {2, 2}, {3, 2},
};

using Stored = std::vector<float>;  // twelve values in file order

struct SObjectRecord {
    std::string name;
    Stored matrix;
};

struct SSplineRecord {
    std::string header;
    int32_t looped = 0;
    std::vector<Stored> segments;  // file order: p0, p3, p1, p2, x negated
};

struct SLevel {
    int32_t lightCount = 0;
    uint32_t colour = 0;
    Stored lightMatrix;
    std::vector<SObjectRecord> objects;
    std::vector<SSplineRecord> splines;
};

Stored StoredOf(const D3DXMATRIX& m) {
    Stored values(kMatrixValues);
    for (size_t i = 0; i < kMatrixValues; ++i) values[i] = m.m[kStoredCells[i][0]][kStoredCells[i][1]];
    return values;
}

D3DXMATRIX MatrixOf(const Stored& values) {
    D3DXMATRIX m;
    std::memset(&m, 0, sizeof(m));
    for (size_t i = 0; i < kMatrixValues; ++i) m.m[kStoredCells[i][0]][kStoredCells[i][1]] = values[i];
    m._44 = 1.0f;
    return m;
}

// The game's reflection in x = 0, applied on the right: the first column
// negated. Its own inverse; zeros come out positive so that a file and the
// text printed from it agree bit for bit.
D3DXMATRIX Mirror(const D3DXMATRIX& m) {
    D3DXMATRIX out = m;
    for (int row = 0; row < 4; ++row) {
        out.m[row][0] = -out.m[row][0];
        for (int col = 0; col < 4; ++col) out.m[row][col] += 0.0f;
    }
    return out;
}

D3DXMATRIX Pose(const float at[3], const float turn[3]) {
    D3DXMATRIX rotation, translation, pose;
    D3DXMatrixRotationYawPitchRoll(&rotation, D3DXToRadian(turn[0]), D3DXToRadian(turn[1]), D3DXToRadian(turn[2]));
    D3DXMatrixTranslation(&translation, at[0], at[1], at[2]);
    D3DXMatrixMultiply(&pose, &rotation, &translation);
    return pose;
}

// The stored light matrix whose -Z axis the game reads as the direction: its
// third row is (dx, -dy, -dz), left as long as given; the other two rows
// complete an orthonormal frame so that (0, 0, -1) gives the identity.
Stored LightMatrix(const float direction[3]) {
    const float axis[3] = {direction[0] + 0.0f, -direction[1] + 0.0f, -direction[2] + 0.0f};
    // In double, so that no length of a finite direction overflows.
    const double scale = std::max({std::fabs(double(axis[0])), std::fabs(double(axis[1])), std::fabs(double(axis[2]))});
    double n[3] = {axis[0] / scale, axis[1] / scale, axis[2] / scale};
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (double& v : n) v /= length;
    double side[3] = {0, 0, 0};
    side[std::fabs(n[0]) > 0.9 ? 1 : 0] = 1;
    const double along = side[0] * n[0] + side[1] * n[1] + side[2] * n[2];
    for (int i = 0; i < 3; ++i) side[i] -= along * n[i];
    const double sideLength = std::sqrt(side[0] * side[0] + side[1] * side[1] + side[2] * side[2]);
    for (double& v : side) v /= sideLength;
    const double up[3] = {n[1] * side[2] - n[2] * side[1], n[2] * side[0] - n[0] * side[2],
                          n[0] * side[1] - n[1] * side[0]};
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    for (int i = 0; i < 3; ++i) {
        m.m[0][i] = static_cast<float>(side[i]);
        m.m[1][i] = static_cast<float>(up[i]);
        m.m[2][i] = axis[i];
    }
    return StoredOf(Mirror(Mirror(m)));  // positive zeros only
}

// The direction the game takes from a stored light matrix: (0,0,0,1) x M
// minus (0,0,-1,1) x M, mirrored in x.
D3DXVECTOR3 LightDirection(const Stored& values) {
    const D3DXMATRIX m = MatrixOf(values);
    const D3DXVECTOR4 origin(0, 0, 0, 1), tip(0, 0, -1, 1);
    D3DXVECTOR4 a, b;
    D3DXVec4Transform(&a, &origin, &m);
    D3DXVec4Transform(&b, &tip, &m);
    return D3DXVECTOR3(a.x - b.x + 0.0f, b.y - a.y + 0.0f, b.z - a.z + 0.0f);
}

Stored EndMatrix(float end) {
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    m._42 = end - kEndOffset;
    return StoredOf(m);
}

// A finite number and nothing else; one too large to hold reads as infinite.
bool ParseNumber(const std::string& text, float& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtof(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

// The shortest text that reads back as the same float: plain decimals for
// the sizes a level uses, an exponent only for the very large and small.
std::string Exact(float value) {
    char text[64];
    const auto readsBack = [&] {
        return std::bit_cast<uint32_t>(std::strtof(text, nullptr)) == std::bit_cast<uint32_t>(value);
    };
    const float magnitude = std::fabs(value);
    if (magnitude == 0 || (magnitude >= 1e-4f && magnitude < 1e9f))
        for (int decimals = 0; decimals <= 16; ++decimals) {
            std::snprintf(text, sizeof(text), "%.*f", decimals, value);
            if (readsBack()) return text;
        }
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof(text), "%.*g", digits, value);
        if (readsBack()) break;
    }
    return text;
}

bool SameBits(const Stored& a, const Stored& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::bit_cast<uint32_t>(a[i]) != std::bit_cast<uint32_t>(b[i])) return false;
    return true;
}

bool IsNameChar(char c) { return static_cast<unsigned char>(c) > 32 && c != 127; }

bool EndsWithRdf(const std::string& name) {
    if (name.size() < 4) return false;
    std::string tail = name.substr(name.size() - 4);
    return ToLowerString(tail) == ".rdf";
}

bool IsReserved(const std::string& name, const char* reserved) {
    std::string lower = name;
    return ToLowerString(lower) == reserved;
}

// ---------------------------------------------------------------- build

class DescriptionReader : public LineErrors {
public:
    explicit DescriptionReader(const std::string& path) : LineErrors(path) {}

    // Every error of the description is reported; false when there was any.
    bool Read(const std::string& text, SLevel& out) {
        std::istringstream lines(text);
        std::string line;
        int lineNumber = 0;
        // The segments after a refused spline line are passed over: its error says enough.
        enum { kNoSpline, kInSpline, kSkipping } state = kNoSpline;
        std::vector<int> splineLines;
        while (std::getline(lines, line)) {
            ++lineNumber;
            TrimString(line);
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            std::string word;
            words >> word;
            if (word == "light") {
                ReadLight(words, lineNumber, out);
            } else if (word == "object" || word == "player") {
                ReadPlacement(words, lineNumber, word == "player", out);
            } else if (word == "end") {
                ReadEnd(words, lineNumber, out);
            } else if (word == "spline") {
                state = kSkipping;
                SSplineRecord spline;
                if (ReadSpline(words, lineNumber, spline)) {
                    out.splines.push_back(spline);
                    splineLines.push_back(lineNumber);
                    state = kInSpline;
                }
            } else if (word == "segment") {
                if (state == kNoSpline) Error(lineNumber, "a segment before any spline");
                if (state == kInSpline) ReadSegment(words, lineNumber, out.splines.back());
            } else {
                Error(lineNumber, "expected light, object, player, end, spline or segment, not %s", word.c_str());
            }
        }
        for (size_t s = 0; s < out.splines.size(); ++s)
            if (out.splines[s].segments.empty()) Error(splineLines[s], "the spline has no segments");
        if (m_endLine == 0 && m_errors == 0) {
            std::fprintf(stderr, "%s%s: the level has no end (end at Y)\n", g_Prefix, m_path.c_str());
            ++m_errors;
        }
        return m_errors == 0;
    }

private:
    bool Numbers(std::istringstream& words, int line, const char* what, float* values, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            std::string word;
            if (!(words >> word)) {
                if (count == 1)
                    Error(line, "%s needs a number", what);
                else
                    Error(line, "%s needs %zu numbers", what, count);
                return false;
            }
            if (!ParseNumber(word, values[i])) {
                Error(line, "%s: %s is not a finite number", what, word.c_str());
                return false;
            }
        }
        return true;
    }

    bool NothingMore(std::istringstream& words, int line) {
        std::string word;
        if (!(words >> word)) return true;
        Error(line, "unexpected %s", word.c_str());
        return false;
    }

    void ReadLight(std::istringstream& words, int line, SLevel& out) {
        if (m_lightLine != 0) {
            Error(line, "a second light (the first is on line %d); the game lights a level with one", m_lightLine);
            return;
        }
        std::string colour, word;
        if (!(words >> colour)) {
            Error(line, "a light needs a colour, RRGGBB in hex");
            return;
        }
        if (colour.size() != 6 || !std::all_of(colour.begin(), colour.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c)) != 0;
            })) {
            Error(line, "colour %s is not RRGGBB in hex", colour.c_str());
            return;
        }
        const unsigned long value = std::strtoul(colour.c_str(), nullptr, 16);
        if (!(words >> word) || word != "direction") {
            Error(line, "expected direction after the colour");
            return;
        }
        float direction[3];
        if (!Numbers(words, line, "direction", direction, 3) || !NothingMore(words, line)) return;
        if (direction[0] == 0 && direction[1] == 0 && direction[2] == 0) {
            Error(line, "the light's direction cannot be 0 0 0");
            return;
        }
        out.lightCount = 1;
        out.colour = static_cast<uint32_t>(value);
        out.lightMatrix = LightMatrix(direction);
        m_lightLine = line;
    }

    void ReadPlacement(std::istringstream& words, int line, bool player, SLevel& out) {
        std::string name = "player";
        if (player) {
            if (m_playerLine != 0) {
                Error(line, "a second player (the first is on line %d)", m_playerLine);
                return;
            }
        } else {
            if (!(words >> name)) {
                Error(line, "an object needs a name");
                return;
            }
            if (!std::all_of(name.begin(), name.end(), IsNameChar)) {
                Error(line, "the name %s holds a control character", name.c_str());
                return;
            }
            if (EndsWithRdf(name)) {
                Error(line, "write the name %s without .rdf; the game adds it", name.c_str());
                return;
            }
            if (IsReserved(name, "player") || IsReserved(name, "endlevel")) {
                Error(line, "%s is the game's marker, not an object; write %s", name.c_str(),
                      IsReserved(name, "player") ? "player at X Y Z" : "end at Y");
                return;
            }
        }
        std::string word;
        D3DXMATRIX world;
        if (!(words >> word)) {
            Error(line, "expected at or matrix");
            return;
        }
        if (word == "matrix") {
            float values[kMatrixValues];
            if (!Numbers(words, line, "matrix", values, kMatrixValues) || !NothingMore(words, line)) return;
            world = MatrixOf(Stored(values, values + kMatrixValues));
        } else if (word == "at") {
            float at[3], turn[3] = {0, 0, 0};
            if (!Numbers(words, line, "at", at, 3)) return;
            if (words >> word) {
                if (word != "turn") {
                    Error(line, "expected turn, not %s", word.c_str());
                    return;
                }
                if (!Numbers(words, line, "turn", turn, 3) || !NothingMore(words, line)) return;
            }
            world = Pose(at, turn);
        } else {
            Error(line, "expected at or matrix, not %s", word.c_str());
            return;
        }
        if (player) m_playerLine = line;
        out.objects.push_back({name, StoredOf(Mirror(world))});
    }

    void ReadEnd(std::istringstream& words, int line, SLevel& out) {
        if (m_endLine != 0) {
            Error(line, "a second end (the first is on line %d)", m_endLine);
            return;
        }
        std::string word;
        float y = 0;
        if (!(words >> word) || word != "at") {
            Error(line, "expected end at Y");
            return;
        }
        if (!Numbers(words, line, "end at", &y, 1) || !NothingMore(words, line)) return;
        m_endLine = line;
        out.objects.push_back({"endlevel", EndMatrix(y)});
    }

    // A header field: a number the game's atoi or atof reads as written.
    // Its text goes into the header as it is, so print gives it back.
    bool Field(const std::string& key, const std::string& text, int line, bool integer, float* number) {
        if (text.find('-') != std::string::npos) {
            Error(line, "%s %s: the spline's header separates its numbers with -, so none can be negative", key.c_str(),
                  text.c_str());
            return false;
        }
        if (integer) {
            char* end = nullptr;
            errno = 0;
            const long value = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || end != text.c_str() + text.size() || errno != 0 ||
                value > std::numeric_limits<int32_t>::max()) {
                Error(line, "%s %s is not a whole number", key.c_str(), text.c_str());
                return false;
            }
            *number = static_cast<float>(value);
            return true;
        }
        if (!ParseNumber(text, *number)) {
            Error(line, "%s %s is not a finite number", key.c_str(), text.c_str());
            return false;
        }
        return true;
    }

    bool ReadSpline(std::istringstream& words, int line, SSplineRecord& spline) {
        std::string name;
        if (!(words >> name)) {
            Error(line, "a spline needs the name of its clones");
            return false;
        }
        if (!std::all_of(name.begin(), name.end(), IsNameChar)) {
            Error(line, "the name %s holds a control character", name.c_str());
            return false;
        }
        if (EndsWithRdf(name)) {
            Error(line, "write the name %s without .rdf; the game adds it", name.c_str());
            return false;
        }
        if (name.find_first_of("-\"") != std::string::npos) {
            Error(line, "the spline's name %s cannot hold - or \", which its header uses", name.c_str());
            return false;
        }
        static const char* const kKeys[] = {"count", "spacing", "speed", "mode", "phase"};
        std::string fields[5];
        bool given[5] = {false, false, false, false, false};
        bool loop = false;
        std::string word;
        while (words >> word) {
            if (word == "loop") {
                if (loop) {
                    Error(line, "loop is given twice");
                    return false;
                }
                loop = true;
                continue;
            }
            size_t k = 0;
            while (k < 5 && word != kKeys[k]) ++k;
            if (k == 5) {
                Error(line, "expected count, spacing, speed, mode, phase or loop, not %s", word.c_str());
                return false;
            }
            if (given[k]) {
                Error(line, "%s is given twice", word.c_str());
                return false;
            }
            if (!(words >> fields[k])) {
                Error(line, "%s needs a number", word.c_str());
                return false;
            }
            float number = 0;
            if (!Field(word, fields[k], line, k == 0 || k == 3, &number)) return false;
            if (k == 3 && number > 3) {
                Error(line, "mode %s is not 0 (fixed), 1 (along the path), 2 or 3 (steering)", fields[k].c_str());
                return false;
            }
            given[k] = true;
        }
        for (size_t k = 0; k < 5; ++k)
            if (!given[k]) {
                Error(line, "the spline needs its %s", kKeys[k]);
                return false;
            }
        spline.header = name;
        for (const std::string& field : fields) spline.header += "-" + field;
        spline.looped = loop ? 1 : 0;
        return true;
    }

    void ReadSegment(std::istringstream& words, int line, SSplineRecord& spline) {
        float p[kSegmentValues];
        if (!Numbers(words, line, "segment", p, kSegmentValues) || !NothingMore(words, line)) return;
        // p0 p1 p2 p3 become p0 p3 p1 p2, every x negated.
        static const int kFileOrder[4] = {0, 3, 1, 2};
        Stored stored;
        for (const int point : kFileOrder) {
            stored.push_back(-p[point * 3] + 0.0f);
            stored.push_back(p[point * 3 + 1]);
            stored.push_back(p[point * 3 + 2]);
        }
        spline.segments.push_back(stored);
    }

    int m_lightLine = 0, m_playerLine = 0, m_endLine = 0;
};

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}
void PutInt(std::vector<uint8_t>& out, int32_t value) { PutU32(out, static_cast<uint32_t>(value)); }
void PutFloats(std::vector<uint8_t>& out, const Stored& values) {
    for (const float value : values) PutU32(out, std::bit_cast<uint32_t>(value));
}
void PutString(std::vector<uint8_t>& out, const std::string& text) {
    PutInt(out, static_cast<int32_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
}

std::vector<uint8_t> LevelBytes(const SLevel& level) {
    std::vector<uint8_t> out;
    PutInt(out, level.lightCount);
    if (level.lightCount >= 1) {
        PutU32(out, level.colour);
        PutFloats(out, level.lightMatrix);
    }
    PutInt(out, static_cast<int32_t>(level.objects.size()));
    for (const SObjectRecord& object : level.objects) {
        PutString(out, object.name);
        PutFloats(out, object.matrix);
    }
    PutInt(out, static_cast<int32_t>(level.splines.size()));
    for (const SSplineRecord& spline : level.splines) {
        PutString(out, spline.header);
        PutInt(out, spline.looped);
        PutInt(out, static_cast<int32_t>(spline.segments.size()));
        for (const Stored& segment : spline.segments) PutFloats(out, segment);
    }
    return out;
}

int Build(const std::string& descriptionPath, const std::string& outputPath) {
    std::string text;
    if (!ReadWholeFile(descriptionPath, text)) return 1;
    SLevel level;
    if (!DescriptionReader(descriptionPath).Read(text, level)) return 1;
    const std::vector<uint8_t> bytes = LevelBytes(level);

    return WriteBytes(outputPath, bytes) ? 0 : 1;
}

// ---------------------------------------------------------------- print

// Reads the file as the game does, every count checked against the bytes
// that remain; the first problem is kept with its block and offset.
class LevelFileReader {
public:
    LevelFileReader(const std::string& data) : m_data(data) {}

    bool Read(SLevel& out, int32_t& furtherLights) {
        m_block = "the light block";
        int32_t count = 0;
        if (!Int("the light count", count)) return false;
        furtherLights = 0;
        out.lightCount = count;
        if (count >= 1) {
            const uint64_t needed = kLightBytes + uint64_t(count - 1) * kFurtherLightBytes;
            if (needed > Remaining())
                return Damaged("%d lights need %llu bytes, %zu remain", count, (unsigned long long)needed, Remaining());
            out.colour = U32();
            out.lightMatrix = Floats(kMatrixValues);
            m_position += size_t(count - 1) * kFurtherLightBytes;
            furtherLights = count - 1;
        }

        m_block = "the object block";
        if (!Int("the object count", count)) return false;
        if (count > 0 && uint64_t(count) > Remaining() / (4 + kMatrixBytes))
            return Damaged("%d objects do not fit the %zu bytes that remain", count, Remaining());
        for (int32_t i = 0; i < count; ++i) {
            SObjectRecord object;
            const std::string what = "object " + std::to_string(i + 1);
            if (!String((what + "'s name").c_str(), object.name)) return false;
            if (!Need((what + "'s matrix").c_str(), kMatrixBytes)) return false;
            object.matrix = Floats(kMatrixValues);
            out.objects.push_back(object);
        }

        m_block = "the spline block";
        if (!Int("the spline count", count)) return false;
        if (count > 0 && uint64_t(count) > Remaining() / 12)
            return Damaged("%d splines do not fit the %zu bytes that remain", count, Remaining());
        for (int32_t i = 0; i < count; ++i) {
            SSplineRecord spline;
            const std::string what = "spline " + std::to_string(i + 1);
            int32_t segments = 0;
            if (!String((what + "'s header").c_str(), spline.header) ||
                !Int((what + "'s loop flag").c_str(), spline.looped) ||
                !Int((what + "'s segment count").c_str(), segments))
                return false;
            if (segments > 0 && uint64_t(segments) > Remaining() / (kSegmentValues * 4))
                return Damaged("%s: %d segments do not fit the %zu bytes that remain", what.c_str(), segments,
                               Remaining());
            for (int32_t s = 0; s < segments; ++s) spline.segments.push_back(Floats(kSegmentValues));
            out.splines.push_back(spline);
        }
        return true;
    }

    size_t Remaining() const { return m_data.size() - m_position; }
    const std::string& Problem() const { return m_problem; }

private:
    bool Damaged(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        char text[512];
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof(text), format, args);
        va_end(args);
        m_problem = m_block + ", offset " + std::to_string(m_position) + ": " + text;
        return false;
    }

    bool Need(const char* what, size_t bytes) {
        if (bytes <= Remaining()) return true;
        return Damaged("%s needs %zu bytes, %zu remain", what, bytes, Remaining());
    }

    uint32_t U32() {
        uint32_t value = 0;
        for (int b = 0; b < 4; ++b) value |= uint32_t(static_cast<unsigned char>(m_data[m_position++])) << (8 * b);
        return value;
    }

    bool Int(const char* what, int32_t& value) {
        if (!Need(what, 4)) return false;
        value = static_cast<int32_t>(U32());
        return true;
    }

    bool String(const char* what, std::string& text) {
        int32_t length = 0;
        if (!Int(what, length)) return false;
        if (length < 0) {
            m_position -= 4;
            return Damaged("%s has the length %d", what, length);
        }
        if (!Need(what, size_t(length))) return false;
        text = m_data.substr(m_position, size_t(length));
        m_position += size_t(length);
        return true;
    }

    Stored Floats(size_t count) {
        Stored values;
        for (size_t i = 0; i < count; ++i) values.push_back(std::bit_cast<float>(U32()));
        return values;
    }

    const std::string& m_data;
    size_t m_position = 0;
    std::string m_block, m_problem;
};

// Angles and offsets that build turns back into exactly this world matrix,
// or false. The decoded angles are tried rounded first, then exactly.
bool DecodePose(const D3DXMATRIX& world, std::string& text) {
    const D3DXMATRIX& m = world;
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
    const float at[3] = {m._41, m._42, m._43};
    const float exact[3] = {D3DXToDegree(yaw), D3DXToDegree(pitch), D3DXToDegree(roll)};
    const Stored target = StoredOf(Mirror(world));
    for (int attempt = 0; attempt < 2; ++attempt) {
        float turn[3];
        std::string words[3];
        for (int i = 0; i < 3; ++i) {
            if (attempt == 0) {
                char rounded[32];
                std::snprintf(rounded, sizeof(rounded), "%.5g", std::fabs(exact[i]) < 1e-4f ? 0.0f : exact[i]);
                turn[i] = std::strtof(rounded, nullptr) + 0.0f;
            } else {
                turn[i] = exact[i];
            }
            words[i] = Exact(turn[i]);
        }
        if (!SameBits(StoredOf(Mirror(Pose(at, turn))), target)) continue;
        text = "at " + Exact(at[0]) + " " + Exact(at[1]) + " " + Exact(at[2]);
        if (turn[0] != 0 || turn[1] != 0 || turn[2] != 0) text += " turn " + words[0] + " " + words[1] + " " + words[2];
        return true;
    }
    return false;
}

std::string Placement(const Stored& stored) {
    const D3DXMATRIX world = Mirror(MatrixOf(stored));
    std::string text;
    if (DecodePose(world, text)) return text;
    text = "matrix";
    for (const float value : StoredOf(world)) text += " " + Exact(value);
    return text;
}

// The y that build turns back into this end marker, found near _42 + 10.
std::string EndText(const Stored& stored, bool& exact) {
    const float y = stored[7];
    float candidate = y + kEndOffset;
    float found = candidate;
    exact = false;
    for (int step = 0; step <= 8 && !exact; ++step)
        for (const float dir : {-1.0f, 1.0f}) {
            float probe = candidate;
            for (int k = 0; k < step; ++k) probe = std::nextafter(probe, dir * INFINITY);
            if (SameBits(EndMatrix(probe), stored)) {
                found = probe;
                exact = true;
                break;
            }
        }
    return "end at " + Exact(found);
}

// A header field as build would take it: the text itself when build accepts
// it, else the number the game reads from it.
std::string FieldText(const std::string& text, bool integer) {
    if (!text.empty() && text.find_first_of("-\"") == std::string::npos) {
        char* end = nullptr;
        float value = 0;
        if (integer) {
            errno = 0;
            const long number = std::strtol(text.c_str(), &end, 10);
            if (end == text.c_str() + text.size() && errno == 0 && number <= std::numeric_limits<int32_t>::max())
                return text;
        } else if (ParseNumber(text, value)) {
            return text;
        }
    }
    if (integer) return std::to_string(std::atoi(text.c_str()));
    return Exact(static_cast<float>(std::atof(text.c_str())));
}

void AppendF(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void AppendF(std::string& out, const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    out += text;
}

std::string Plural(size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

int Print(const std::string& path) {
    std::string data;
    if (!ReadWholeFile(path, data)) return 1;
    SLevel level;
    int32_t furtherLights = 0;
    LevelFileReader reader(data);
    if (!reader.Read(level, furtherLights)) {
        Fail("%s is damaged: %s", path.c_str(), reader.Problem().c_str());
        return 1;
    }

    std::string out;
    AppendF(out, "# %s: %s, %s, %s\n", path.c_str(), Plural(level.lightCount >= 1 ? 1 : 0, "light").c_str(),
            Plural(level.objects.size(), "object").c_str(), Plural(level.splines.size(), "spline").c_str());
    if (level.lightCount >= 1) {
        const D3DXVECTOR3 d = LightDirection(level.lightMatrix);
        out += "\n";
        if (level.colour >> 24) AppendF(out, "# the colour's top byte %02X is not used\n", level.colour >> 24);
        const float direction[3] = {d.x, d.y, d.z};
        if (!SameBits(LightMatrix(direction), level.lightMatrix))
            out += "# the light's matrix is not the one build makes; the game takes only its direction\n";
        if (furtherLights > 0)
            AppendF(out, "# %s after this one, not read by the game, are left out\n",
                    Plural(size_t(furtherLights), "light record").c_str());
        AppendF(out, "light %06X direction %s %s %s\n", level.colour & 0xFFFFFFu, Exact(d.x).c_str(),
                Exact(d.y).c_str(), Exact(d.z).c_str());
    } else if (level.lightCount < 0) {
        AppendF(out, "# the light count %d reads as none\n", level.lightCount);
    }

    if (!level.objects.empty()) out += "\n";
    int ends = 0, players = 0;
    for (const SObjectRecord& object : level.objects) {
        if (!std::all_of(object.matrix.begin(), object.matrix.end(), [](float v) { return std::isfinite(v); }))
            out += "# a value of this placement is not a number: the game leaves the object out\n";
        if (object.name == "endlevel") {
            if (++ends == 2) out += "# a later end replaces an earlier one in the game\n";
            bool exact = false;
            const std::string text = EndText(object.matrix, exact);
            if (!exact) out += "# the end marker's other matrix values are not kept\n";
            out += text + "\n";
            continue;
        }
        const bool writable = !object.name.empty() && std::all_of(object.name.begin(), object.name.end(), IsNameChar) &&
                              !EndsWithRdf(object.name) &&
                              (object.name == "player" || !IsReserved(object.name, "player")) &&
                              !IsReserved(object.name, "endlevel");
        if (!writable) out += "# this name cannot be written back in a description\n";
        if (object.name == "player") {
            if (++players == 2) out += "# a second player placement; the game uses none of them\n";
            out += "player " + Placement(object.matrix) + "\n";
        } else {
            out += "object " + object.name + " " + Placement(object.matrix) + "\n";
        }
    }

    for (const SSplineRecord& spline : level.splines) {
        const std::vector<std::string> fields = SplitTokens(spline.header, "-");
        auto field = [&](size_t i) { return i < fields.size() ? fields[i] : std::string(); };
        out += "\n";
        std::string rebuilt = field(0);
        const bool numbersOnly = fields.size() <= 6;
        std::string line = "spline " + field(0);
        static const char* const kKeys[] = {"count", "spacing", "speed", "mode", "phase"};
        for (size_t k = 0; k < 5; ++k) {
            const std::string text = FieldText(field(k + 1), k == 0 || k == 3);
            line += std::string(" ") + kKeys[k] + " " + text;
            rebuilt += "-" + text;
        }
        if (spline.looped) line += " loop";
        if (rebuilt != spline.header || !numbersOnly)
            AppendF(out, "# the header \"%s\" is written as the game reads it\n", spline.header.c_str());
        if (spline.segments.empty()) out += "# this spline has no segments\n";
        out += line + "\n";
        for (const Stored& s : spline.segments) {
            // File order p0 p3 p1 p2, x negated; printed p0 p1 p2 p3.
            static const int kFromFile[4] = {0, 2, 3, 1};
            std::string text = "  segment";
            for (int point = 0; point < 4; ++point) {
                const int at = kFromFile[point] * 3;
                text += (point ? "  " : " ") + Exact(-s[size_t(at)] + 0.0f) + " " + Exact(s[size_t(at) + 1]) + " " +
                        Exact(s[size_t(at) + 2]);
            }
            out += text + "\n";
        }
    }
    if (reader.Remaining() > 0)
        AppendF(out, "\n# %s after the spline block are not read by the game\n",
                Plural(reader.Remaining(), "byte").c_str());
    std::fputs(out.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args;
    if (int status = 0; !StartTool("kelvandor-level: ", kUsage, argc, argv, &args, &status)) return status;
    const std::string& command = args[0];
    if (command == "build" && args.size() == 3) return Build(args[1], args[2]);
    if (command == "print" && args.size() == 2) return Print(args[1]);
    return Usage();
}
