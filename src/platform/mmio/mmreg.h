// The wave format tags beyond PCM that WAVE files carry and DirectSound
// takes: IEEE float, and WAVEFORMATEXTENSIBLE with its PCM and float
// subformats, with their Windows names and values.
#pragma once

#include "platform/mmio/mmsystem.h"
#include "platform/win32/objbase.h"

#include <cstddef>

constexpr WORD WAVE_FORMAT_ADPCM = 0x0002;
constexpr WORD WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr WORD WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;  // cbSize at least 22: the members below
    union {
        WORD wValidBitsPerSample;  // of the wBitsPerSample container
        WORD wSamplesPerBlock;
        WORD wReserved;
    } Samples;
    DWORD dwChannelMask;
    GUID SubFormat;  // the format tag as a GUID
};
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40 && offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == 24,
              "the extensible format is 40 bytes, as stored");
constexpr WORD kWaveFormatExtensibleExtra = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

inline constexpr GUID KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

constexpr DWORD SPEAKER_FRONT_LEFT = 0x1;
constexpr DWORD SPEAKER_FRONT_RIGHT = 0x2;
constexpr DWORD SPEAKER_FRONT_CENTER = 0x4;
