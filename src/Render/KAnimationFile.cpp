#include "Render/KAnimationFile.h"

#include "core/KFile.h"
#include "core/KTextReader.h"

#include <bit>
#include <cstring>
#include <limits>

namespace {

// Where each stored value goes, as (row, column) of the row-vector matrix.
constexpr int kStoredCells[kAnimationMatrixValues][2] = {
    {0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 1}, {2, 1}, {3, 1}, {0, 2}, {1, 2}, {2, 2}, {3, 2},
};

uint32_t Remaining(const CKFile& file) {
    return file.Position() < file.GetSize() ? file.GetSize() - file.Position() : 0;
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutFloat(std::vector<uint8_t>& out, float value) { PutU32(out, std::bit_cast<uint32_t>(value)); }

bool ReadTrack(CKFile& file, SKAnimationTrack& track) {
    // ReadString itself refuses a length beyond the remaining bytes before it
    // takes any of them.
    track.name = file.ReadString();
    if (file.Overrun()) return false;
    ToLowerString(track.name);

    // A track of no keys is kept: it never moves its node, and refusing it
    // would lose every other track of the file.
    const int32_t keyCount = file.ReadInt();
    if (file.Overrun() || keyCount < 0 || static_cast<uint32_t>(keyCount) > Remaining(file) / kAnimationKeyBytes)
        return false;
    track.keys.resize(static_cast<size_t>(keyCount));
    track.durations.resize(static_cast<size_t>(keyCount));
    for (int32_t k = 0; k < keyCount; ++k) {
        track.durations[k] = file.ReadFloat();
        float values[kAnimationMatrixValues];
        for (float& value : values) value = file.ReadFloat();
        MatrixFromStoredValues(values, track.keys[k]);
    }
    return !file.Overrun();
}

}  // namespace

void MatrixFromStoredValues(const float values[kAnimationMatrixValues], D3DXMATRIX& out) {
    std::memset(&out, 0, sizeof(out));
    for (size_t i = 0; i < kAnimationMatrixValues; ++i) out.m[kStoredCells[i][0]][kStoredCells[i][1]] = values[i];
    out._44 = 1.0f;
}

void StoredValuesOfMatrix(const D3DXMATRIX& matrix, float values[kAnimationMatrixValues]) {
    for (size_t i = 0; i < kAnimationMatrixValues; ++i) values[i] = matrix.m[kStoredCells[i][0]][kStoredCells[i][1]];
}

bool ReadAnimationFile(CKFile& file, SKAnimationFile& out) {
    out.tracks.clear();
    const int32_t trackCount = file.ReadInt();
    if (file.Overrun() || trackCount < 0 ||
        static_cast<uint32_t>(trackCount) > Remaining(file) / kAnimationMinTrackBytes)
        return false;
    out.tracks.resize(static_cast<size_t>(trackCount));
    for (SKAnimationTrack& track : out.tracks) {
        if (!ReadTrack(file, track)) {
            out.tracks.clear();
            return false;
        }
    }
    return true;
}

bool ReadAnimationFile(const uint8_t* data, size_t size, SKAnimationFile& out) {
    CKFile file("");
    file.SetData(data && size ? std::vector<uint8_t>(data, data + size) : std::vector<uint8_t>());
    return ReadAnimationFile(file, out);
}

bool WriteAnimationFile(const SKAnimationFile& animation, std::vector<uint8_t>& out) {
    constexpr size_t kMaxCount = static_cast<size_t>(std::numeric_limits<int32_t>::max());
    out.clear();
    if (animation.tracks.size() > kMaxCount) return false;
    PutU32(out, static_cast<uint32_t>(animation.tracks.size()));
    for (const SKAnimationTrack& track : animation.tracks) {
        // A zero byte would end the name early when it is read back.
        if (track.keys.size() != track.durations.size() || track.keys.size() > kMaxCount ||
            track.name.size() > std::numeric_limits<uint32_t>::max() || track.name.find('\0') != std::string::npos) {
            out.clear();
            return false;
        }
        PutU32(out, static_cast<uint32_t>(track.name.size()));
        out.insert(out.end(), track.name.begin(), track.name.end());
        PutU32(out, static_cast<uint32_t>(track.keys.size()));
        for (size_t k = 0; k < track.keys.size(); ++k) {
            PutFloat(out, track.durations[k]);
            float values[kAnimationMatrixValues];
            StoredValuesOfMatrix(track.keys[k], values);
            for (float value : values) PutFloat(out, value);
        }
    }
    return true;
}
