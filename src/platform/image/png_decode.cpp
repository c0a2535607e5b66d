#include "platform/image/image_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <png.h>

namespace platform::image_codecs {
namespace {

uint32_t Be32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 |
           p[3];
}

// Every chunk lies inside the file up to IEND, so a file cut short is
// refused whole, and the header chunk comes first; its size is returned
// before libpng reads anything.
bool PngSound(const uint8_t* d, size_t size, uint32_t* width, uint32_t* height) {
    constexpr size_t kSignature = 8;
    if (size < kSignature + 8 + 13 + 4 || Be32(d + kSignature) != 13 || std::memcmp(d + 12, "IHDR", 4) != 0)
        return false;
    *width = Be32(d + 16);
    *height = Be32(d + 20);
    for (size_t pos = kSignature;;) {
        if (pos + 12 > size) return false;
        const uint64_t length = Be32(d + pos);
        if (pos + 12 + length > size) return false;
        if (std::memcmp(d + pos + 4, "IEND", 4) == 0) return true;
        pos += 12 + length;
    }
}

struct PngJob {
    const uint8_t* data = nullptr;
    size_t size = 0, pos = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[160] = "";
};

void Read(png_structp png, png_bytep out, size_t count) {
    auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
    if (count > job->size - job->pos) png_error(png, "data cut short");
    std::memcpy(out, job->data + job->pos, count);
    job->pos += count;
}

// libpng reports through these instead of printing. An error jumps back to
// the setjmp of the step that called into the library; warnings are about
// ancillary chunks, which are not used.
[[noreturn]] void Abandon(png_structp png, png_const_charp message) {
    auto* job = static_cast<PngJob*>(png_get_error_ptr(png));
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

void Ignore(png_structp, png_const_charp) {}

// The two steps that call into libpng each own a setjmp and hold no object
// with a destructor, so a jump out of the library skips nothing; what must
// outlive a failure lives in the caller.
bool ReadHeader(PngJob* job) {
    png_structp png = job->png;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, job, Read);
    // The longest side an accepted image can have; the area was checked.
    png_set_user_limits(png, static_cast<png_uint_32>(SourceTexelLimit()),
                        static_cast<png_uint_32>(SourceTexelLimit()));
    // Colour profiles, gamma and text change no texel: skip them unread.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_read_info(png, job->info);
    // Every layout to 8-bit RGBA: palette and low-depth grey widened,
    // transparency keys made alpha, 16-bit samples cut to their high byte.
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, job->info);
    return true;
}

bool ReadPixels(PngJob* job, png_bytepp rows) {
    if (setjmp(png_jmpbuf(job->png))) return false;
    png_read_image(job->png, rows);
    return true;
}

}  // namespace

bool DecodePng(const uint8_t* data, size_t size, DecodedImage* image, std::string* error) {
    uint32_t width = 0, height = 0;
    if (!PngSound(data, size, &width, &height)) {
        *error = "PNG data cut short or malformed";
        return false;
    }
    *error = SizeProblem(width, height);
    if (!error->empty()) return false;

    PngJob job;
    job.data = data;
    job.size = size;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, Abandon, Ignore);
    if (job.png) job.info = png_create_info_struct(job.png);
    struct Release {
        PngJob* job;
        ~Release() { png_destroy_read_struct(&job->png, &job->info, nullptr); }  // takes null pointers
    } release{&job};
    if (!job.info) {
        *error = "out of memory for PNG decoding";
        return false;
    }
    auto corrupt = [&] {
        *error = std::string("corrupt PNG: ") + job.message;
        return false;
    };

    if (!ReadHeader(&job)) return corrupt();
    if (png_get_image_width(job.png, job.info) != width || png_get_image_height(job.png, job.info) != height ||
        png_get_rowbytes(job.png, job.info) != static_cast<size_t>(width) * 4) {
        *error = "PNG header and data disagree";
        return false;
    }
    image->width = static_cast<int>(width);
    image->height = static_cast<int>(height);
    image->texels.resize(static_cast<size_t>(width) * height);
    std::vector<png_bytep> rows(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = reinterpret_cast<png_bytep>(image->texels.data() + y * width);
    if (!ReadPixels(&job, rows.data())) return corrupt();
    RgbaBytesToTexels(image);
    return true;
}

}  // namespace platform::image_codecs
