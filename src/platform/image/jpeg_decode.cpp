#include "platform/image/image_codecs.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
// jpeglib.h must come first: jerror.h uses its types.
#include <jerror.h>

namespace platform::image_codecs {
namespace {

// Only the JPEG structure this loader has always taken reaches libjpeg:
// baseline, extended and progressive Huffman frames of 1 to 4 components
// whose sampling factors divide the largest, and scans whose Huffman tables
// were defined (libjpeg would quietly put in standard ones). Anything but a
// marker where a marker belongs is refused, and so is a stream that does not
// reach its end-of-image marker, which is how a cut-short file shows.
bool JpegSound(const uint8_t* d, size_t size) {
    bool defined[2][4] = {};  // [DC, AC][table]
    bool progressive = false, frame = false, scanned = false;
    size_t pos = 2;  // past the start of image
    for (;;) {
        if (pos >= size || d[pos] != 0xff) return false;
        while (pos < size && d[pos] == 0xff) ++pos;  // fill bytes
        if (pos >= size) return false;
        const uint8_t marker = d[pos++];
        if (marker == 0xd9) return scanned;  // EOI; an image without a scan has no pixels
        if (pos + 2 > size) return false;
        const size_t length = static_cast<size_t>(d[pos]) << 8 | d[pos + 1];
        if (length < 2 || pos + length > size) return false;
        const uint8_t* seg = d + pos + 2;
        const size_t n = length - 2;
        pos += length;
        if (marker == 0xc0 || marker == 0xc1 || marker == 0xc2) {
            if (frame || n < 6) return false;
            const size_t components = seg[5];
            if (components < 1 || components > 4 || n != 6 + 3 * components) return false;
            int hMax = 1, vMax = 1;
            for (size_t i = 0; i < components; ++i) {
                const int h = seg[7 + 3 * i] >> 4, v = seg[7 + 3 * i] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4) return false;
                hMax = std::max(hMax, h);
                vMax = std::max(vMax, v);
            }
            for (size_t i = 0; i < components; ++i)
                if (hMax % (seg[7 + 3 * i] >> 4) != 0 || vMax % (seg[7 + 3 * i] & 15) != 0) return false;
            progressive = marker == 0xc2;
            frame = true;
        } else if (marker == 0xc4) {  // DHT: one or more tables
            for (size_t p = 0; p < n;) {
                if (p + 17 > n) return false;
                const int tableClass = seg[p] >> 4, table = seg[p] & 15;
                size_t codes = 0;
                for (size_t i = 1; i <= 16; ++i) codes += seg[p + i];
                if (tableClass > 1 || table > 3 || codes > 256 || p + 17 + codes > n) return false;
                defined[tableClass][table] = true;
                p += 17 + codes;
            }
        } else if (marker == 0xda) {  // SOS, then its entropy-coded data
            if (!frame || n < 1) return false;
            const size_t components = seg[0];
            if (components < 1 || components > 4 || n != 4 + 2 * components) return false;
            const int spectralStart = seg[1 + 2 * components], approximationHigh = seg[3 + 2 * components] >> 4;
            // Baseline scans read both tables; a progressive first DC scan
            // reads the DC table, an AC scan the AC table.
            const bool needDc = !progressive || (spectralStart == 0 && approximationHigh == 0);
            const bool needAc = !progressive || spectralStart != 0;
            for (size_t i = 0; i < components; ++i) {
                const int dc = seg[2 + 2 * i] >> 4, ac = seg[2 + 2 * i] & 15;
                if (dc > 3 || ac > 3 || (needDc && !defined[0][dc]) || (needAc && !defined[1][ac])) return false;
            }
            scanned = true;
            // Up to the next marker: 0xFF 0x00 is a stuffed byte, 0xFF 0xD0-0xD7 a restart.
            while (pos + 1 < size &&
                   !(d[pos] == 0xff && d[pos + 1] != 0x00 && (d[pos + 1] < 0xd0 || d[pos + 1] > 0xd7)))
                ++pos;
        }
    }
}

// libjpeg reports through these instead of printing; an error ends decoding
// by a jump back to the setjmp of the step that called into the library.
struct JpegErrors {
    jpeg_error_mgr manager;  // first: libjpeg hands back a pointer to it
    std::jmp_buf exit;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void Abandon(j_common_ptr cinfo) {
    auto* errors = reinterpret_cast<JpegErrors*>(cinfo->err);
    errors->manager.format_message(cinfo, errors->message);
    std::longjmp(errors->exit, 1);
}

// libjpeg carries on past missing or corrupt data with a warning, filling in
// what it lacks. Every warning but the two about unknown header versions
// ends decoding.
void Emit(j_common_ptr cinfo, int level) {
    const int code = cinfo->err->msg_code;
    if (level < 0 && code != JWRN_JFIF_MAJOR && code != JWRN_ADOBE_XFORM) Abandon(cinfo);
}

void Silent(j_common_ptr) {}

struct JpegJob {
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
};

// The two steps that call into libjpeg each own a setjmp and hold no object
// with a destructor, so a jump out of the library skips nothing; what must
// outlive a failure lives in the caller.
bool ReadHeader(JpegJob* job, const uint8_t* data, size_t size) {
    if (setjmp(job->errors.exit)) return false;
    jpeg_create_decompress(&job->cinfo);
    jpeg_mem_src(&job->cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&job->cinfo, TRUE);
    return true;
}

bool ReadPixels(JpegJob* job, uint8_t* out) {
    if (setjmp(job->errors.exit)) return false;
    j_decompress_ptr cinfo = &job->cinfo;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 4) ERREXIT(cinfo, JERR_CONVERSION_NOTIMPL);
    const size_t stride = static_cast<size_t>(cinfo->output_width) * 4;
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = out + cinfo->output_scanline * stride;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    // Reads on to the end of image, so damage after the last row still fails.
    jpeg_finish_decompress(cinfo);
    return true;
}

// x * y / 255, rounded.
uint32_t Scale(uint32_t x, uint32_t y) {
    const uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, DecodedImage* image, std::string* error) {
    // Fill bytes before the start-of-image marker are taken; libjpeg wants
    // the marker first.
    size_t start = 0;
    while (start + 1 < size && data[start + 1] == 0xff) ++start;
    data += start;
    size -= start;
    if (!JpegSound(data, size)) {
        *error = "JPEG data cut short or malformed";
        return false;
    }

    JpegJob job{};
    job.cinfo.err = jpeg_std_error(&job.errors.manager);
    job.errors.manager.error_exit = Abandon;
    job.errors.manager.emit_message = Emit;
    job.errors.manager.output_message = Silent;
    struct Release {
        JpegJob* job;
        ~Release() { jpeg_destroy_decompress(&job->cinfo); }  // safe on a zeroed or half-made decoder
    } release{&job};
    auto corrupt = [&] {
        *error = std::string("corrupt JPEG: ") + job.errors.message;
        return false;
    };

    if (!ReadHeader(&job, data, size)) return corrupt();
    jpeg_decompress_struct& cinfo = job.cinfo;
    *error = SizeProblem(cinfo.image_width, cinfo.image_height);
    if (!error->empty()) return false;
    // libjpeg turns grey and YCbCr into RGB itself but leaves four-channel
    // ink as CMYK (YCCK made CMYK), which is multiplied out below.
    const bool ink = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = ink ? JCS_CMYK : JCS_EXT_RGBA;
    cinfo.dct_method = JDCT_ISLOW;

    image->width = static_cast<int>(cinfo.image_width);
    image->height = static_cast<int>(cinfo.image_height);
    image->texels.resize(static_cast<size_t>(image->width) * image->height);
    if (!ReadPixels(&job, reinterpret_cast<uint8_t*>(image->texels.data()))) return corrupt();
    if (cinfo.output_width != cinfo.image_width || cinfo.output_height != cinfo.image_height) {
        *error = "JPEG header and data disagree";
        return false;
    }
    if (ink) {
        // Adobe's CMYK is stored inverted, so each byte is the amount of
        // light the ink lets through, and black scales all three.
        for (uint32_t& texel : image->texels) {
            uint8_t p[4];
            std::memcpy(p, &texel, 4);
            texel = 0xff000000u | Scale(p[0], p[3]) << 16 | Scale(p[1], p[3]) << 8 | Scale(p[2], p[3]);
        }
    } else {
        RgbaBytesToTexels(image);
    }
    return true;
}

}  // namespace platform::image_codecs
