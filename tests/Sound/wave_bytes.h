// WAVE files built byte by byte for tests, chunk by chunk, so that a test can
// put chunks in any order, cut them short or make them lie about their size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wave_bytes {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void PutTag(Bytes& b, const char* tag) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(tag[i]));
}
// Byte by byte: GCC 12 warns falsely about inserting an empty range.
inline void Append(Bytes& b, const Bytes& more) {
    for (uint8_t c : more) b.push_back(c);
}

// A chunk with its header; declared overrides the size field. Odd sizes are padded.
inline Bytes Chunk(const char* tag, const Bytes& body, int64_t declared = -1) {
    Bytes b;
    PutTag(b, tag);
    Put32(b, declared < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(declared));
    Append(b, body);
    if (body.size() % 2) b.push_back(0);
    return b;
}

inline Bytes Format(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes b;
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    Put16(b, tag);
    Put16(b, channels);
    Put32(b, rate);
    Put32(b, rate * align);
    Put16(b, align);
    Put16(b, bits);
    return b;
}

// A format followed by its count of extra bytes and those bytes.
inline Bytes FormatWithExtra(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, const Bytes& extra) {
    Bytes b = Format(tag, channels, rate, bits);
    Put16(b, static_cast<uint16_t>(extra.size()));
    Append(b, extra);
    return b;
}

// WAVE_FORMAT_EXTENSIBLE: bits is the container, valid the bits it holds;
// subformat 1 is PCM, 3 IEEE float (the tag in the GUID's first field).
inline Bytes Extensible(uint16_t subformat, uint16_t channels, uint32_t rate, uint16_t bits, uint16_t valid) {
    Bytes extra;
    Put16(extra, valid);
    Put32(extra, channels == 2 ? 0x3u : 0x4u);
    Put32(extra, subformat);
    for (uint8_t c : {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}) extra.push_back(c);
    return FormatWithExtra(0xFFFE, channels, rate, bits, extra);
}

inline Bytes Riff(const std::vector<Bytes>& chunks, const char* form = "WAVE") {
    Bytes body;
    PutTag(body, form);
    for (const Bytes& c : chunks) Append(body, c);
    Bytes b;
    PutTag(b, "RIFF");
    Put32(b, static_cast<uint32_t>(body.size()));
    Append(b, body);
    return b;
}

// A plain PCM file: mono 16-bit 22050 Hz unless told otherwise.
inline Bytes Pcm(const Bytes& samples, uint16_t channels = 1, uint16_t bits = 16, uint32_t rate = 22050) {
    return Riff({Chunk("fmt ", Format(1, channels, rate, bits)), Chunk("data", samples)});
}

}  // namespace wave_bytes
