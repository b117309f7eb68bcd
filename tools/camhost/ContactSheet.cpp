#include "ContactSheet.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef CAMHOST_HAVE_PNG
#include <png.h>
#endif

namespace camhost {
namespace {

constexpr int kThumbnail = 256; // longest side of a thumbnail, pixels
constexpr int kColumns = 4;
constexpr int kGap = 4;

struct tsSheet {
    size_t width = 0, height = 0;
    std::vector<uint8_t> grey;
};

// Draws each frame into its tile, keeping every scale-th line and column, top 8 bits.
tsSheet compose(const std::vector<sim::frames::FrameRecord>& frames) {
    const size_t count = std::min<size_t>(frames.size(), kContactSheetFrames);
    tsSheet sheet;
    const size_t columns = std::min<size_t>(count, kColumns);
    const size_t rows = (count + kColumns - 1) / kColumns;
    sheet.width = columns * (kThumbnail + kGap) + kGap;
    sheet.height = rows * (kThumbnail + kGap) + kGap;
    sheet.grey.assign(sheet.width * sheet.height, 0);
    for (size_t i = 0; i < count; ++i) {
        const sim::frames::FrameRecord& frame = frames[i];
        const int longest = std::max(frame.width, frame.height);
        const int scale = std::max(1, (longest + kThumbnail - 1) / kThumbnail);
        sim::frames::LineRenderer renderer(frame.settings, scale);
        const size_t width = std::min<size_t>(renderer.lineSize(), kThumbnail);
        const size_t lines =
            std::min<size_t>(sim::frames::scaledSize(frame.height, scale), kThumbnail);
        const size_t left = (i % kColumns) * (kThumbnail + kGap) + kGap;
        const size_t top = (i / kColumns) * (kThumbnail + kGap) + kGap;
        std::vector<uint16_t> line(renderer.lineSize());
        const int up = 16 - frame.bitDepth;
        for (size_t y = 0; y < lines; ++y) {
            renderer.render(static_cast<int>(y * static_cast<size_t>(scale)), line.data());
            uint8_t* out = sheet.grey.data() + (top + y) * sheet.width + left;
            for (size_t x = 0; x < width; ++x)
                out[x] = static_cast<uint8_t>((static_cast<unsigned>(line[x]) << up) >> 8);
        }
    }
    return sheet;
}

} // namespace

bool writeContactSheet(const std::string& path, const std::vector<sim::frames::FrameRecord>& frames,
                       std::string& error) {
#ifdef CAMHOST_HAVE_PNG
    if (frames.empty()) {
        error = "no frame delivered";
        return false;
    }
    const tsSheet sheet = compose(frames);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
    volatile bool written = false; // set between setjmp and a possible longjmp
    if (info != nullptr && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(sheet.width),
                     static_cast<png_uint_32>(sheet.height), 8, PNG_COLOR_TYPE_GRAY,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (size_t y = 0; y < sheet.height; ++y)
            png_write_row(png, sheet.grey.data() + y * sheet.width);
        png_write_end(png, nullptr);
        written = true;
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0)
        written = false;
    if (!written)
        error = "libpng could not write it";
    return written;
#else
    (void)path;
    (void)frames;
    (void)compose;
    error = "camhost was built without libpng";
    return false;
#endif
}

} // namespace camhost
