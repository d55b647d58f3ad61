// The working image: 24-bit pixels in the byte order blue, green, red, rows from the top.
// All four images of the program state (source, processed, view buffer, marks) are of this type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class QImage;

namespace nocturo {

// A colour value as the colour dialog and the settings file know it: red in the low byte,
// green in the middle byte, blue in the high byte.
using ColorValue = std::uint32_t;

constexpr ColorValue makeColor(int r, int g, int b) {
    return static_cast<ColorValue>(r & 0xFF) | (static_cast<ColorValue>(g & 0xFF) << 8) |
           (static_cast<ColorValue>(b & 0xFF) << 16);
}
constexpr int colorRed(ColorValue c) { return static_cast<int>(c & 0xFF); }
constexpr int colorGreen(ColorValue c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int colorBlue(ColorValue c) { return static_cast<int>((c >> 16) & 0xFF); }

constexpr ColorValue kBlack = 0x000000;
constexpr ColorValue kWhite = 0xFFFFFF;

// Releases pixel memory by how it was obtained: munmap for a mapped block, free otherwise.
struct PixelFree {
    std::size_t mapped = 0;  // length of an mmap-ed block, 0 for malloc
    void operator()(std::uint8_t* p) const noexcept;
};

class WorkImage {
public:
    WorkImage() = default;
    // Allocates width x height pixels. The contents are undefined until written: callers that
    // need a defined image fill it (a decoder writes every row itself, so the first touch of
    // the memory is the decode). Throws std::bad_alloc when the memory is not there.
    WorkImage(int width, int height);

    WorkImage(WorkImage&&) noexcept = default;
    WorkImage& operator=(WorkImage&&) noexcept = default;
    WorkImage(const WorkImage&) = delete;
    WorkImage& operator=(const WorkImage&) = delete;

    // A deep copy (one pass over the pixels).
    WorkImage clone() const;

    bool isNull() const { return width_ <= 0 || height_ <= 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    // Bytes from one row to the next: 3 x width rounded up to a multiple of 4, as QImage wants.
    std::size_t stride() const { return stride_; }
    std::size_t byteSize() const { return stride_ * static_cast<std::size_t>(height_); }

    std::uint8_t* row(int y) { return data_.get() + stride_ * static_cast<std::size_t>(y); }
    const std::uint8_t* row(int y) const { return data_.get() + stride_ * static_cast<std::size_t>(y); }
    std::uint8_t* bits() { return data_.get(); }
    const std::uint8_t* bits() const { return data_.get(); }

    // Single-pixel access with colour values (red in the low byte). No bounds checks: the
    // callers are the passes that stay inside the image by construction.
    ColorValue pixel(int x, int y) const {
        const std::uint8_t* p = row(y) + 3 * x;
        return makeColor(p[2], p[1], p[0]);
    }
    void setPixel(int x, int y, ColorValue c) {
        std::uint8_t* p = row(y) + 3 * x;
        p[0] = static_cast<std::uint8_t>(colorBlue(c));
        p[1] = static_cast<std::uint8_t>(colorGreen(c));
        p[2] = static_cast<std::uint8_t>(colorRed(c));
    }

    // Fills columns left..right-1 and rows top..bottom-1 (clipped to the image).
    void fillRect(int left, int top, int right, int bottom, ColorValue c);
    void fill(ColorValue c) { fillRect(0, 0, width_, height_, c); }

    // Copies the w x h block at (x, y) of src to the same place of this image (clipped to both).
    void copyBlockFrom(const WorkImage& src, int x, int y, int w, int h);

    // Changes the height, keeping the rows that stay; new rows are undefined.
    void resizeHeight(int newHeight);

    // The 4-connected region of pixels of exactly colour `target` that contains (x, y) takes
    // colour `fill`. Returns the number of pixels changed (0 when (x, y) is not `target`).
    long floodFill4(int x, int y, ColorValue target, ColorValue fill);

    // A QImage (Format_BGR888) over the same memory, without copying; valid while this image
    // lives and keeps its size.
    QImage wrap();
    QImage wrap() const;

private:
    std::unique_ptr<std::uint8_t[], PixelFree> data_;
    int width_ = 0;
    int height_ = 0;
    std::size_t stride_ = 0;
};

// Scratch bytes from the same pool as the images' pixels (the PNG writer's compressed bytes): in a
// batch of files the next file reuses warm memory. The contents are undefined until written.
class PooledBuffer {
public:
    explicit PooledBuffer(std::size_t bytes);
    std::uint8_t* data() { return data_.get(); }
    const std::uint8_t* data() const { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<std::uint8_t[], PixelFree> data_;
    std::size_t size_ = 0;
};

// Writes one byte of every page of the n bytes at p, so that the kernel maps them now rather than
// at their first real use. The bytes written are zeros; callers overwrite them.
void touchPages(std::uint8_t* p, std::size_t n) noexcept;

// Bytes of released pixel memory kept for reuse by the next large images.
std::size_t pooledPixelBytes();

// Gives the kept pixel blocks (and malloc's free pages) back to the system. Called once a load
// has replaced or failed to replace the picture, so that an idle program holds one picture's
// images, and at the end of a batch; the pool keeps paying only between back-to-back files.
void releaseUnusedPixelMemory() noexcept;

// Bytes that the three full-size working images of a w x h picture (with the optional strip)
// take. Computed in 64 bits so that hostile dimensions cannot overflow.
std::uint64_t workingSetBytes(std::int64_t width, std::int64_t height);

}  // namespace nocturo
