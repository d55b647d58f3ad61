#include "common/work_image.h"

#include <QImage>

#include <malloc.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace nocturo {

namespace {

constexpr std::size_t kBlockUnit = 2u << 20;

// Large pixel blocks come from mmap and, when released, are kept for the next images of about
// the same size until releaseUnusedPixelMemory() hands them back. On the virtual machines this runs on, the first touch of fresh memory costs more
// than decoding into it (every 4 KiB page faults and is zeroed by the kernel); a load that
// replaces a picture, or the CLI's next file, reuses warm memory instead. Huge pages were tried
// and left out: their first touch is cheaper, but a fragmented machine stalls in compaction for
// far longer than the faults they save.
class BlockPool {
public:
    // Never destroyed: images released during static destruction still find it.
    static BlockPool& instance() {
        static BlockPool* pool = new BlockPool;
        return *pool;
    }

    std::uint8_t* take(std::size_t bytes, std::size_t& mapped) {
        const std::size_t len = (bytes + kBlockUnit - 1) / kBlockUnit * kBlockUnit;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // The smallest kept block that holds the image without wasting more than its size.
            auto best = blocks_.end();
            for (auto it = blocks_.begin(); it != blocks_.end(); ++it)
                if (it->len >= len && it->len <= 2 * len && (best == blocks_.end() || it->len < best->len)) best = it;
            if (best != blocks_.end()) {
                std::uint8_t* p = best->ptr;
                mapped = best->len;
                kept_ -= best->len;
                blocks_.erase(best);
                return p;
            }
        }
        void* p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        mapped = len;
        return static_cast<std::uint8_t*>(p);
    }

    void give(std::uint8_t* p, std::size_t len) noexcept {
        std::lock_guard<std::mutex> lock(mutex_);
        if (len > kMaxKeptBytes) {
            munmap(p, len);
            return;
        }
        while (!blocks_.empty() && (blocks_.size() >= kMaxBlocks || kept_ + len > kMaxKeptBytes)) {
            munmap(blocks_.front().ptr, blocks_.front().len);
            kept_ -= blocks_.front().len;
            blocks_.erase(blocks_.begin());
        }
        try {
            blocks_.push_back({p, len});
            kept_ += len;
        } catch (...) {
            munmap(p, len);
        }
    }

    std::size_t keptBytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return kept_;
    }

    void releaseAll() noexcept {
        std::vector<Block> gone;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            gone.swap(blocks_);
            kept_ = 0;
        }
        for (const Block& b : gone) munmap(b.ptr, b.len);
    }

private:
    // Enough for the working images and the PNG writer's buffers of two 6000 x 4000 pictures,
    // the CLI's batch at -j 2; the window empties the pool after every load.
    static constexpr std::size_t kMaxBlocks = 10;
    static constexpr std::size_t kMaxKeptBytes = std::size_t{800} << 20;
    struct Block {
        std::uint8_t* ptr;
        std::size_t len;
    };
    std::mutex mutex_;
    std::vector<Block> blocks_;
    std::size_t kept_ = 0;
};

std::uint8_t* allocatePixels(std::size_t bytes, std::size_t& mapped) {
    mapped = 0;
    if (bytes >= kBlockUnit) return BlockPool::instance().take(bytes, mapped);
    void* p = std::malloc(std::max<std::size_t>(bytes, 1));
    if (!p) throw std::bad_alloc();
    return static_cast<std::uint8_t*>(p);
}

}  // namespace

void PixelFree::operator()(std::uint8_t* p) const noexcept {
    if (!p) return;
    if (mapped)
        BlockPool::instance().give(p, mapped);
    else
        std::free(p);
}

void touchPages(std::uint8_t* p, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; i += 4096) p[i] = 0;
    if (n) p[n - 1] = 0;
}

std::size_t pooledPixelBytes() { return BlockPool::instance().keptBytes(); }

void releaseUnusedPixelMemory() noexcept {
    BlockPool::instance().releaseAll();
    // Pictures also pass through malloc (Qt's images, the codecs' buffers): hand back the free
    // pages at the top and inside the heap too.
    malloc_trim(0);
}

PooledBuffer::PooledBuffer(std::size_t bytes) : size_(bytes) {
    std::size_t mapped = 0;
    std::uint8_t* p = allocatePixels(bytes, mapped);
    data_ = std::unique_ptr<std::uint8_t[], PixelFree>(p, PixelFree{mapped});
}

WorkImage::WorkImage(int width, int height) {
    if (width <= 0 || height <= 0) return;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
    std::size_t mapped = 0;
    std::uint8_t* p = allocatePixels(stride * static_cast<std::size_t>(height), mapped);
    data_ = std::unique_ptr<std::uint8_t[], PixelFree>(p, PixelFree{mapped});
    width_ = width;
    height_ = height;
    stride_ = stride;
}

WorkImage WorkImage::clone() const {
    WorkImage copy(width_, height_);
    if (!isNull()) std::memcpy(copy.bits(), bits(), byteSize());
    return copy;
}

void WorkImage::fillRect(int left, int top, int right, int bottom, ColorValue c) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    if (left >= right || top >= bottom) return;
    const std::uint8_t b = static_cast<std::uint8_t>(colorBlue(c));
    const std::uint8_t g = static_cast<std::uint8_t>(colorGreen(c));
    const std::uint8_t r = static_cast<std::uint8_t>(colorRed(c));
    const std::size_t bytes = static_cast<std::size_t>(right - left) * 3;
    if (b == g && g == r) {
        for (int y = top; y < bottom; ++y) std::memset(row(y) + 3 * left, b, bytes);
        return;
    }
    std::uint8_t* first = row(top) + 3 * left;
    for (int x = 0; x < right - left; ++x) {
        first[3 * x] = b;
        first[3 * x + 1] = g;
        first[3 * x + 2] = r;
    }
    for (int y = top + 1; y < bottom; ++y) std::memcpy(row(y) + 3 * left, first, bytes);
}

void WorkImage::copyBlockFrom(const WorkImage& src, int x, int y, int w, int h) {
    int left = std::max(x, 0), top = std::max(y, 0);
    int right = std::min({x + w, width_, src.width_});
    int bottom = std::min({y + h, height_, src.height_});
    if (left >= right || top >= bottom) return;
    const std::size_t bytes = static_cast<std::size_t>(right - left) * 3;
    if (left == 0 && right == width_ && width_ == src.width_ && stride_ == src.stride_) {
        std::memcpy(row(top), src.row(top), stride_ * static_cast<std::size_t>(bottom - top));
        return;
    }
    for (int yy = top; yy < bottom; ++yy) std::memcpy(row(yy) + 3 * left, src.row(yy) + 3 * left, bytes);
}

void WorkImage::resizeHeight(int newHeight) {
    if (newHeight == height_) return;
    WorkImage bigger(width_, newHeight);
    const int keep = std::min(height_, newHeight);
    if (keep > 0) std::memcpy(bigger.bits(), bits(), stride_ * static_cast<std::size_t>(keep));
    *this = std::move(bigger);
}

long WorkImage::floodFill4(int x, int y, ColorValue target, ColorValue fill) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_ || target == fill) return 0;
    if (pixel(x, y) != target) return 0;
    // Scan-line fill with an explicit stack: each pixel of the region is visited once, and no
    // recursion depth depends on the size of a star.
    long changed = 0;
    std::vector<std::pair<int, int>> stack;
    stack.emplace_back(x, y);
    while (!stack.empty()) {
        auto [sx, sy] = stack.back();
        stack.pop_back();
        if (pixel(sx, sy) != target) continue;
        int l = sx, r = sx;
        while (l > 0 && pixel(l - 1, sy) == target) --l;
        while (r + 1 < width_ && pixel(r + 1, sy) == target) ++r;
        for (int i = l; i <= r; ++i) setPixel(i, sy, fill);
        changed += r - l + 1;
        for (int ny : {sy - 1, sy + 1}) {
            if (ny < 0 || ny >= height_) continue;
            bool inRun = false;
            for (int i = l; i <= r; ++i) {
                const bool t = pixel(i, ny) == target;
                if (t && !inRun) stack.emplace_back(i, ny);
                inRun = t;
            }
        }
    }
    return changed;
}

QImage WorkImage::wrap() {
    if (isNull()) return QImage();
    return QImage(bits(), width_, height_, static_cast<qsizetype>(stride_), QImage::Format_BGR888);
}

QImage WorkImage::wrap() const {
    if (isNull()) return QImage();
    return QImage(bits(), width_, height_, static_cast<qsizetype>(stride_), QImage::Format_BGR888);
}

std::uint64_t workingSetBytes(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) return 0;
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * 3 + 3) & ~3ull;
    return stride * (static_cast<std::uint64_t>(height) + 15) * 3;
}

}  // namespace nocturo
