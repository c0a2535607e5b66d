// Animation files: per named node a list of key matrices with the time from
// each key to the next. Read whole or not at all: a damaged file gives no
// tracks, so the loader never builds a half animation.
#pragma once

#include "platform/d3dx9/d3dx9math.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CKFile;

// A key is stored as a duration and twelve floats; the matrix's last column
// is not stored (0, 0, 0, 1).
constexpr size_t kAnimationMatrixValues = 12;
constexpr size_t kAnimationKeyBytes = 4 * (1 + kAnimationMatrixValues);
// A name length and a key count: the least a track occupies.
constexpr size_t kAnimationMinTrackBytes = 4 + 4;

struct SKAnimationTrack {
    std::string name;  // lower case once read
    std::vector<D3DXMATRIX> keys;
    std::vector<float> durations;  // durations[k]: seconds from keys[k] to keys[k + 1]
};

struct SKAnimationFile {
    // In file order. A name may appear twice; the loader keeps the later.
    std::vector<SKAnimationTrack> tracks;
};

// The twelve stored values in their order _11, _21, _31, _41, _12, ... _43.
void MatrixFromStoredValues(const float values[kAnimationMatrixValues], D3DXMATRIX& out);
void StoredValuesOfMatrix(const D3DXMATRIX& matrix, float values[kAnimationMatrixValues]);

// Reads from the file's position to the end of the track list; bytes after it
// are not looked at. A track may have no keys. False, with out emptied, when
// a count is negative or does not fit the bytes that remain, or the data ends
// early.
bool ReadAnimationFile(CKFile& file, SKAnimationFile& out);
bool ReadAnimationFile(const uint8_t* data, size_t size, SKAnimationFile& out);

// False, with out emptied, for what the reader would refuse or the format
// cannot hold: keys and durations of different counts,
// counts or a name beyond 32 bits.
bool WriteAnimationFile(const SKAnimationFile& animation, std::vector<uint8_t>& out);
