#include "extract/extraction.h"

#include "extract/colour_model.h"
#include "extract/star_list.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#define NOCTURO_VECTOR_RED 1
#endif

namespace nocturo {

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A centre of the enlargement: a star pixel whose brightened value went above 1 (and that is
// not in the rectangle's first column), in scan order.
struct StarPixel {
    int y;
    int x;
    // Its source bytes, taken while the first pass has the row at hand (the enlargement would
    // find them far out of the cache).
    std::uint8_t B = 0, G = 0, R = 0;
    bool operator<(const StarPixel& o) const { return y != o.y ? y < o.y : x < o.x; }
};

// A run of star pixels of one row, columns x0..x1.
struct Run {
    int x0, x1;
};

// Where a row's runs were put: runs[begin .. begin + count) of the sink `owner`.
struct RowRuns {
    std::uint32_t begin = 0, count = 0;
    std::uint8_t owner = 0;
};

// What the first pass hands on from the rows one thread did: the centres, and for the count of
// a full-picture draw the runs of star pixels.
struct RowSink {
    std::uint8_t id = 0;
    std::vector<StarPixel> centres;
    std::vector<Run> runs;
    // The labelling of the runs within each chunk of rows (see labelRow): a union-find over the
    // sink's runs, and the number of groups that it found so far.
    std::vector<std::uint32_t> parent;
    std::int64_t groups = 0;
    // The star pixels' colour round trips of the rows that this sink took, by source colour
    // (see memoTable), for the brightness and saturation steps memoB and memoS.
    std::vector<std::uint64_t> memo;
    float memoB = 0.0f, memoS = 0.0f;
    void clear() {
        centres.clear();
        runs.clear();
        parent.clear();
        groups = 0;
    }
};

constexpr ColorValue kMarkGreen = makeColor(0, 255, 0);

// Per-row results of the first pass.
constexpr std::uint8_t kRowOverflow = 1;  // the row goes into the overflow list
constexpr std::uint8_t kRightCentre = 2;  // the rectangle's last column is a centre if listed

struct Pass {
    const WorkImage* src = nullptr;
    WorkImage* proc = nullptr;
    WorkImage* marks = nullptr;
    ProcRect rect;
    int W = 0;
    int k = 0;
    int maxIndex = 0;  // W - 2 - 2k, kept at 0 for a picture one pixel wide
    float b = 0.0f;
    float s = 0.0f;
    // A star pixel's brightened value goes above 1 exactly when its largest byte is at least
    // this (the value is that byte / 255 plus b, rounded to a float: it grows with the byte).
    int overflowFrom = 256;
    bool recordCentres = false;
    // Rows outside background-only mode with AVX2 (same result): wide enough rows and 32-bit
    // room for the test's products.
    bool vectorRows = false;
    std::int32_t threshold = 0;
    std::uint8_t cr = 0, cg = 0, cb = 0;
    // The background test without a division: with S the window sum and d = 2k + 1,
    // Trunc(S / d) + T < v  <=>  S < (v - T) d   and   Trunc(S / d) - T > v  <=>  S >= (v + T + 1) d.
    std::int64_t brighter[256];
    std::int64_t darker[256];
    // Block copy done row by row (ProcessRectangle); columns copyLeft..copyRight-1.
    bool copyRows = false;
    int copyLeft = 0, copyRight = 0, copyTop = 0, copyBottom = 0;
    // A full-picture draw: the count labels the runs that the first pass lists in rowRuns (one
    // entry per row of the rectangle), and star pixels below row 0 are marked in the blue of a
    // counted star at once, which is what the labelling makes of every one of them.
    bool wholeMarks = false;
    RowRuns* rowRuns = nullptr;
};

// The mark of a star pixel as the first pass writes it (blue, green, red bytes).
struct MarkBytes {
    std::uint8_t b, g, r;
};
// Whether a pixel's brightened value goes above 1, which makes it a centre of the enlargement.
inline bool goesAboveOne(const Pass& P, std::uint8_t B, std::uint8_t G, std::uint8_t R) {
    return std::max({B, G, R}) >= P.overflowFrom;
}

inline MarkBytes starMark(const Pass& P, int y) {
    return P.wholeMarks && y >= 1 ? MarkBytes{255, 0, 0} : MarkBytes{0, 0, 255};
}

// Star pixels of one row come in increasing x: each extends the row's last run or opens one.
[[gnu::always_inline]] inline void addRunPixel(std::vector<Run>& runs, std::size_t rowBegin, int x) {
    if (runs.size() > rowBegin && runs.back().x1 + 1 == x)
        runs.back().x1 = x;
    else
        runs.push_back({x, x});
}

// ---- The count of a full-picture draw, made while the rows are marked.
//
// The flood fills of the labelling scan make one star of each 4-connected group of runs that
// reaches row 1 or below, seeded at its first pixel in scan order. Here each row's runs join the
// runs of the row above within the same chunk of rows (a union-find whose root is the group's
// first run), and each run that starts a group has its seed marked green in the row being put
// together; when two groups meet, the later one's seed goes back to blue. The chunks are joined
// at their borders at the end (finishLabels), which gives the same stars as the fills.
constexpr int kChunkRows = 16;

void publishStores();

std::uint32_t findRoot(std::vector<std::uint32_t>& parent, std::uint32_t i) {
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// The row of run `index` of `sink`, looked up among the rows first .. last (one chunk).
int rowOfRun(const Pass& P, std::uint8_t owner, std::uint32_t index, int first, int last) {
    for (int r = last; r >= first; --r) {
        const RowRuns& rr = P.rowRuns[r - P.rect.ProcTop];
        if (rr.owner == owner && rr.count > 0 && rr.begin <= index && index < rr.begin + rr.count) return r;
    }
    return -1;
}

inline void putMark(std::uint8_t* px, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    px[0] = b;
    px[1] = g;
    px[2] = r;
}

// A seed marked earlier that lost its group to an earlier one turns blue again. Its row has been
// written out with streaming stores already: fence them first.
void unmarkSeed(const Pass& P, const RowSink& sink, std::uint32_t index, int first, int last) {
    const int r = rowOfRun(P, sink.id, index, first, last);
    if (r < 0) return;
    publishStores();
    putMark(P.marks->row(r) + 3 * static_cast<std::ptrdiff_t>(sink.runs[index].x0), 255, 0, 0);
}

// Labels the runs of row y (just listed in P.rowRuns) against the row above in the same chunk;
// markRow is where row y's marks are being put together.
void labelRow(const Pass& P, int y, RowSink& sink, std::uint8_t* markRow) {
    const int top = P.rect.ProcTop;
    const RowRuns cur = P.rowRuns[y - top];
    std::vector<std::uint32_t>& parent = sink.parent;
    const std::uint32_t b = cur.begin, e = cur.begin + cur.count;
    if (parent.size() < e) parent.resize(e);
    for (std::uint32_t i = b; i < e; ++i) parent[i] = i;
    // Row 0 is never scanned: its runs stay red unless a star below takes them in.
    if (cur.count == 0 || y == 0) return;
    const std::vector<Run>& runs = sink.runs;
    const int chunkFirst = top + (y - top) / kChunkRows * kChunkRows;
    const RowRuns& firstRow = P.rowRuns[chunkFirst - top];
    const std::uint32_t firstEnd = firstRow.begin + firstRow.count;
    if (y > chunkFirst) {
        const RowRuns up = P.rowRuns[y - 1 - top];
        auto unite = [&](std::uint32_t a, std::uint32_t c) {
            a = findRoot(parent, a);
            c = findRoot(parent, c);
            if (a == c) return;
            if (c < a) std::swap(a, c);
            parent[c] = a;
            // Two groups of earlier rows meet: the later one's seed is no seed (a group of the
            // chunk's first row has none yet).
            if (c < b) {
                if (c >= firstEnd) unmarkSeed(P, sink, c, chunkFirst, y - 1);
                --sink.groups;
            }
        };
        std::uint32_t i = up.begin;
        const std::uint32_t endUp = up.begin + up.count;
        for (std::uint32_t j = b; j < e && i < endUp; ++j) {
            const Run r = runs[j];
            while (i < endUp && runs[i].x1 < r.x0) ++i;
            for (std::uint32_t t = i; t < endUp && runs[t].x0 <= r.x1; ++t) {
                if (y == 1) {
                    // A row-0 run joins the first run below it that touches it, and links the others.
                    if (parent[t] == t) {
                        parent[t] = findRoot(parent, j);
                        publishStores();
                        for (int x = runs[t].x0; x <= runs[t].x1; ++x)
                            putMark(P.marks->row(0) + 3 * static_cast<std::ptrdiff_t>(x), 255, 0, 0);
                    } else {
                        unite(t, j);
                    }
                } else {
                    unite(t, j);
                }
            }
        }
    }
    // The groups of a chunk's first row may belong to a star of the chunk above: their seeds are
    // marked when the chunks are joined.
    for (std::uint32_t j = b; j < e; ++j) {
        if (parent[j] != j) continue;
        if (y > chunkFirst) putMark(markRow + 3 * static_cast<std::ptrdiff_t>(runs[j].x0), 0, 255, 0);
        ++sink.groups;
    }
    // The chunk's last row: its first and last rows point straight at their roots while the
    // union-find is in the cache, for the join of the borders.
    if ((y - top) % kChunkRows == kChunkRows - 1 || y == P.rect.ProcBottom) {
        for (std::uint32_t j = firstRow.begin; j < firstEnd; ++j) parent[j] = findRoot(parent, j);
        for (std::uint32_t j = b; j < e; ++j) parent[j] = findRoot(parent, j);
    }
}

float addStored(float a, float b) { return static_cast<float>(static_cast<double>(a) + static_cast<double>(b)); }

// The star pixel: brightened and saturated in the colour model, marked red. Returns true when
// its brightened value went above 1 (the row overflows).
[[gnu::noinline]] bool brightenStar(const Pass& P, std::uint8_t* px, std::uint8_t* mark, MarkBytes mk, std::uint8_t B,
                                    std::uint8_t G, std::uint8_t R) {
    PixelRegister reg;
    reg.PixelRed = R;
    reg.PixelGreen = G;
    reg.PixelBlue = B;
    reg.RgbToHsv();
    reg.PixelValue = addStored(reg.PixelValue, P.b);
    bool overflow = false;
    if (reg.PixelValue > 1.0f) {
        reg.PixelValue = 1.0f;
        overflow = true;
    }
    reg.PixelSaturation = addStored(reg.PixelSaturation, P.s);
    if (reg.PixelSaturation > 1.0f) reg.PixelSaturation = 1.0f;
    if (reg.PixelSaturation < 0.0f) reg.PixelSaturation = 0.0f;
    reg.HsvToRgb();
    px[0] = ClampToByte(reg.PixelBlue);
    px[1] = ClampToByte(reg.PixelGreen);
    px[2] = ClampToByte(reg.PixelRed);
    mark[0] = mk.b;
    mark[1] = mk.g;
    mark[2] = mk.r;
    return overflow;
}

// A byte / 255 as RgbToHsv stores it (a float), widened back to double: the table gives the
// same value as the division.
const double* byteOver255() {
    static const auto table = [] {
        std::array<double, 256> t{};
        for (int v = 0; v < 256; ++v) t[static_cast<std::size_t>(v)] = static_cast<float>(static_cast<double>(v) / 255.0);
        return t;
    }();
    return table.data();
}

#if defined(NOCTURO_VECTOR_RED)
#define NOCTURO_AVX2 __attribute__((target("avx2"), always_inline)) inline

// A double rounded to a float where the scalar code stores one, and back.
NOCTURO_AVX2 __m256d storedAvx2(__m256d v) { return _mm256_cvtps_pd(_mm256_cvtpd_ps(v)); }

// Round(v x 255) to nearest, ties to even, then ClampToByte (the same bytes as clamping the
// rounded integer).
NOCTURO_AVX2 __m128i channelByteAvx2(__m256d v) {
    __m256d x = _mm256_round_pd(_mm256_mul_pd(v, _mm256_set1_pd(255.0)), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    x = _mm256_min_pd(_mm256_max_pd(x, _mm256_setzero_pd()), _mm256_set1_pd(255.0));
    return _mm256_cvtpd_epi32(x);
}

// The channel of each lane's sector.
NOCTURO_AVX2 __m128i bySectorAvx2(__m128i sector, __m128i s0, __m128i s1, __m128i s2, __m128i s3, __m128i s4,
                                  __m128i s5) {
    __m128i res = s0;
    res = _mm_blendv_epi8(res, s1, _mm_cmpeq_epi32(sector, _mm_set1_epi32(1)));
    res = _mm_blendv_epi8(res, s2, _mm_cmpeq_epi32(sector, _mm_set1_epi32(2)));
    res = _mm_blendv_epi8(res, s3, _mm_cmpeq_epi32(sector, _mm_set1_epi32(3)));
    res = _mm_blendv_epi8(res, s4, _mm_cmpeq_epi32(sector, _mm_set1_epi32(4)));
    return _mm_blendv_epi8(res, s5, _mm_cmpeq_epi32(sector, _mm_set1_epi32(5)));
}

// brightenStar for four star pixels at a time (b, g, r: each byte / 255 as stored): the same float and
// double operations in the same order as the colour model's scalar code (each intermediate
// stored as a float where it stores one, no fused multiply-add), with the branches as selects,
// so every lane gives the bytes of the scalar code. The hue's three branches share one division
// (the numerator and the added 0, 120 or 240 are chosen per lane; the red branch adds nothing).
// out[4i..4i+2] = B, G, R of pixel i.
NOCTURO_AVX2 void brightenFourAvx2(__m256d b, __m256d g, __m256d r, float bStep, float sStep, std::uint8_t* out) {
    const __m256d k60 = _mm256_set1_pd(60.0);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d zero = _mm256_setzero_pd();
    // max = r > g ? r : g, then b if b > max (min alike); equal floats are the same value.
    __m256d mx = _mm256_blendv_pd(g, r, _mm256_cmp_pd(r, g, _CMP_GT_OQ));
    mx = _mm256_blendv_pd(mx, b, _mm256_cmp_pd(b, mx, _CMP_GT_OQ));
    __m256d mn = _mm256_blendv_pd(g, r, _mm256_cmp_pd(r, g, _CMP_LT_OQ));
    mn = _mm256_blendv_pd(mn, b, _mm256_cmp_pd(b, mn, _CMP_LT_OQ));
    const __m256d range = _mm256_sub_pd(mx, mn);
    const __m256d isR = _mm256_cmp_pd(mx, r, _CMP_EQ_OQ);
    const __m256d isG = _mm256_andnot_pd(isR, _mm256_cmp_pd(mx, g, _CMP_EQ_OQ));
    const __m256d diff = _mm256_blendv_pd(_mm256_blendv_pd(_mm256_sub_pd(r, g), _mm256_sub_pd(b, r), isG),
                                          _mm256_sub_pd(g, b), isR);
    const __m256d quotient = _mm256_div_pd(_mm256_mul_pd(diff, k60), range);
    const __m256d added = _mm256_add_pd(
        quotient, _mm256_blendv_pd(_mm256_set1_pd(240.0), _mm256_set1_pd(120.0), isG));
    __m256d hue = _mm256_blendv_pd(added, quotient, isR);
    hue = _mm256_blendv_pd(storedAvx2(hue), zero, _mm256_cmp_pd(mx, mn, _CMP_EQ_OQ));
    hue = _mm256_blendv_pd(hue, storedAvx2(_mm256_add_pd(hue, _mm256_set1_pd(360.0))), _mm256_cmp_pd(hue, zero, _CMP_LT_OQ));
    __m256d sat = _mm256_blendv_pd(zero, storedAvx2(_mm256_div_pd(range, mx)), _mm256_cmp_pd(mx, zero, _CMP_GT_OQ));
    // Value and saturation steps.
    __m256d val = storedAvx2(_mm256_add_pd(mx, _mm256_set1_pd(static_cast<double>(bStep))));
    const __m256d over = _mm256_cmp_pd(val, one, _CMP_GT_OQ);
    val = _mm256_blendv_pd(val, one, over);
    sat = storedAvx2(_mm256_add_pd(sat, _mm256_set1_pd(static_cast<double>(sStep))));
    sat = _mm256_blendv_pd(sat, one, _mm256_cmp_pd(sat, one, _CMP_GT_OQ));
    sat = _mm256_blendv_pd(sat, zero, _mm256_cmp_pd(sat, zero, _CMP_LT_OQ));
    // HsvToRgb: hue lies in 0..360 here, so Trunc(h / 60) mod 6 is the floor, with 6 folded to 0.
    const __m256d sector = _mm256_div_pd(hue, k60);
    __m256d i = _mm256_round_pd(sector, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    i = _mm256_blendv_pd(i, _mm256_sub_pd(i, _mm256_set1_pd(6.0)), _mm256_cmp_pd(i, _mm256_set1_pd(6.0), _CMP_GE_OQ));
    const __m256d f = storedAvx2(_mm256_sub_pd(sector, i));
    const __m256d p = storedAvx2(_mm256_mul_pd(_mm256_sub_pd(one, sat), val));
    const __m256d q = storedAvx2(_mm256_mul_pd(_mm256_sub_pd(one, _mm256_mul_pd(f, sat)), val));
    const __m256d t = storedAvx2(_mm256_mul_pd(_mm256_sub_pd(one, _mm256_mul_pd(_mm256_sub_pd(one, f), sat)), val));
    const __m128i P = channelByteAvx2(p), Q = channelByteAvx2(q), Tt = channelByteAvx2(t), V = channelByteAvx2(val);
    const __m128i sec = _mm256_cvtpd_epi32(i);
    const __m128i R4 = bySectorAvx2(sec, V, Q, P, P, Tt, V);
    const __m128i G4 = bySectorAvx2(sec, Tt, V, V, Q, P, P);
    const __m128i B4 = bySectorAvx2(sec, P, P, Tt, V, V, Q);
    // Bytes B, G, R of each pixel in the low three bytes of its 32-bit lane.
    const __m128i bytes = _mm_or_si128(B4, _mm_or_si128(_mm_slli_epi32(G4, 8), _mm_slli_epi32(R4, 16)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}

// Eight star pixels xs[0..7] of a source row: two independent groups of four, so that the
// divisions of one overlap the other's.
__attribute__((target("avx2"))) void brightenEightAvx2(const std::uint8_t* row, const int* xs, float bStep,
                                                       float sStep, std::uint8_t* out) {
    const double* over255 = byteOver255();
    const std::uint8_t* q[8];
    for (int i = 0; i < 8; ++i) q[i] = row + 3 * static_cast<std::ptrdiff_t>(xs[i]);
#define NOCTURO_LOAD4(at, c) \
    _mm256_setr_pd(over255[q[at][c]], over255[q[(at) + 1][c]], over255[q[(at) + 2][c]], over255[q[(at) + 3][c]])
    brightenFourAvx2(NOCTURO_LOAD4(0, 0), NOCTURO_LOAD4(0, 1), NOCTURO_LOAD4(0, 2), bStep, sStep, out);
    brightenFourAvx2(NOCTURO_LOAD4(4, 0), NOCTURO_LOAD4(4, 1), NOCTURO_LOAD4(4, 2), bStep, sStep, out + 16);
#undef NOCTURO_LOAD4
}

// The round trip's bytes depend on nothing but the source colour and the two steps, and dense
// skies repeat their star colours (about nine in ten star pixels at 5 % and more): each row sink
// keeps the last result per slot of a direct-mapped table of 2^14 entries, 128 KB, that stays in
// the core's cache (entry: the colour with a valid bit above bit 32, the B, G, R result below).
constexpr int kMemoBits = 14;
constexpr std::uint64_t kMemoValid = 1u << 24;

inline std::uint32_t memoSlot(std::uint32_t colour) { return (colour * 0x9E3779B1u) >> (32 - kMemoBits); }

// The sink's table for the run's steps; new steps (compared as bits) make every entry stale.
std::uint64_t* memoTable(const Pass& P, RowSink& sink) {
    std::vector<std::uint64_t>& memo = sink.memo;
    if (memo.empty() || std::memcmp(&sink.memoB, &P.b, sizeof(float)) != 0 ||
        std::memcmp(&sink.memoS, &P.s, sizeof(float)) != 0) {
        memo.assign(std::size_t{1} << kMemoBits, 0);
        sink.memoB = P.b;
        sink.memoS = P.s;
    }
    return memo.data();
}

inline std::uint32_t colourAt(const std::uint8_t* sp) {
    return sp[0] | (static_cast<std::uint32_t>(sp[1]) << 8) | (static_cast<std::uint32_t>(sp[2]) << 16);
}

// The star pixels xs[0..n) of a source row that the table did not have (xs has room for eight
// more): brightened into row `out` eight at a time, and remembered.
__attribute__((target("avx2"))) void brightenMisses(const Pass& P, std::uint64_t* table, const std::uint8_t* row,
                                                    int* xs, int n, std::uint8_t* out) {
    for (int i = n; i % 8 != 0; ++i) xs[i] = xs[n - 1];
    alignas(16) std::uint8_t bytes[32];
    for (int i = 0; i < n; i += 8) {
        brightenEightAvx2(row, xs + i, P.b, P.s, bytes);
        for (int j = 0; j < 8 && i + j < n; ++j) {
            const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(xs[i + j]);
            std::uint8_t* o = out + at;
            o[0] = bytes[4 * j];
            o[1] = bytes[4 * j + 1];
            o[2] = bytes[4 * j + 2];
            const std::uint32_t colour = colourAt(row + at);
            table[memoSlot(colour)] = (static_cast<std::uint64_t>(colour | kMemoValid) << 32) | colourAt(bytes + 4 * j);
        }
    }
}
#endif

// ---- Memory: the block copy and the clearing of the marks, row by row.

// Row copies and clears of a full-picture draw write far more than the caches hold and are not
// read again soon: streaming stores skip reading the old contents first. Short rows (a range
// draw) use the ordinary calls.
constexpr std::size_t kStreamingMinBytes = 4096;

void copyBytes(std::uint8_t* dst, const std::uint8_t* src, std::size_t n) {
#if defined(__SSE2__)
    if (n >= kStreamingMinBytes) {
        while ((reinterpret_cast<std::uintptr_t>(dst) & 15) != 0) {
            *dst++ = *src++;
            --n;
        }
        for (; n >= 64; n -= 64, dst += 64, src += 64) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
            const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 48));
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst), a);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 16), b);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 32), c);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 48), d);
        }
    }
#endif
    std::memcpy(dst, src, n);
}

void zeroBytes(std::uint8_t* dst, std::size_t n) {
#if defined(__SSE2__)
    if (n >= kStreamingMinBytes) {
        while ((reinterpret_cast<std::uintptr_t>(dst) & 15) != 0) {
            *dst++ = 0;
            --n;
        }
        const __m128i z = _mm_setzero_si128();
        for (; n >= 64; n -= 64, dst += 64) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst), z);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 16), z);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 32), z);
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst + 48), z);
        }
    }
#endif
    std::memset(dst, 0, n);
}

// Streaming stores are weakly ordered: make them visible before another thread reads the rows.
void publishStores() {
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

// ---- The first pass.

#if defined(NOCTURO_VECTOR_RED)
bool cpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

// Sum of n bytes.
__attribute__((target("avx2"))) std::int64_t sumBytesAvx2(const std::uint8_t* p, int n) {
    __m256i acc = _mm256_setzero_si256();
    int i = 0;
    for (; i + 32 <= n; i += 32)
        acc = _mm256_add_epi64(
            acc, _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)), _mm256_setzero_si256()));
    alignas(32) std::int64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), acc);
    std::int64_t sum = lanes[0] + lanes[1] + lanes[2] + lanes[3];
    for (; i < n; ++i) sum += p[i];
    return sum;
}

#endif

struct GreenBlue {
    std::int64_t g, b;
};

// The green and blue window sums moved from window `from` to window `to` of a row: pixel by
// pixel when that is shorter than the window, else summed afresh. Out of line, and by value, so
// that the sums of the hot loop stay in registers.
[[gnu::noinline]] GreenBlue catchUpGreenBlue(const std::uint8_t* row, int from, int to, int span, std::int64_t g,
                                             std::int64_t b) {
    const std::ptrdiff_t span3 = 3 * static_cast<std::ptrdiff_t>(span);
    if (to - from <= span) {
        for (; from < to; ++from) {
            const std::uint8_t* out = row + 3 * static_cast<std::ptrdiff_t>(from);
            const std::uint8_t* in = out + span3;
            b += static_cast<int>(in[0]) - static_cast<int>(out[0]);
            g += static_cast<int>(in[1]) - static_cast<int>(out[1]);
        }
        return {g, b};
    }
    g = b = 0;
    for (const std::uint8_t *q = row + 3 * static_cast<std::ptrdiff_t>(to), *e = q + span3; q < e; q += 3) {
        b += q[0];
        g += q[1];
    }
    return {g, b};
}

// One row of the first pass. Returns the row's flags; centres of the enlargement are appended.
// The window sums are moved one pixel at a time; the x range is split where the background
// index is clamped (left edge, right edge) so that the inner loop has no clamp of its own.
// Outside background-only mode a pixel that fails the red test needs nothing else, so only the
// red sum moves with every pixel; the green and blue sums catch up when a pixel passes it (by
// moving, or by summing the window afresh when that is shorter). The sums are exact integers
// either way, so the test is the same.
template <bool BackgroundOnly, bool Specified>
std::uint8_t firstPassRow(const Pass& P, int y, RowSink& sink) {
    constexpr bool kLazy = !BackgroundOnly;
    const int left = P.rect.ProcLeft, right = P.rect.ProcRight;
    const int k = P.k, maxIndex = P.maxIndex;
    const int span = 2 * k + 1;
    const std::ptrdiff_t span3 = 3 * static_cast<std::ptrdiff_t>(span);
    const std::uint8_t* __restrict s = P.src->row(y);
    std::uint8_t* __restrict p = P.proc->row(y);
    std::uint8_t* __restrict m = P.marks->row(y);
    const std::int64_t* __restrict brighter = P.brighter;
    const std::int64_t* __restrict darker = P.darker;
    const std::uint8_t cr = P.cr, cg = P.cg, cb = P.cb;
    const bool record = P.recordCentres;
    std::vector<StarPixel>& centres = sink.centres;
    const std::size_t runsBegin = sink.runs.size();
    const bool listRuns = P.wholeMarks;
    const MarkBytes mk = starMark(P, y);

    if (P.copyRows && y >= P.copyTop && y < P.copyBottom && P.copyRight > P.copyLeft)
        copyBytes(p + 3 * static_cast<std::ptrdiff_t>(P.copyLeft), s + 3 * static_cast<std::ptrdiff_t>(P.copyLeft),
                  3 * static_cast<std::size_t>(P.copyRight - P.copyLeft));
    zeroBytes(m + 3 * static_cast<std::ptrdiff_t>(left), 3 * static_cast<std::size_t>(right - left + 1));

    // Window sums of pixels at .. at + 2k (red), atGB .. atGB + 2k (green and blue).
    int at = std::clamp(left - k, 0, maxIndex);
    int atGB = at;
    std::int64_t sb = 0, sg = 0, sr = 0;
    for (const std::uint8_t *q = s + 3 * static_cast<std::ptrdiff_t>(at), *e = q + span3; q < e; q += 3) {
        sb += q[0];
        sg += q[1];
        sr += q[2];
    }
    auto slide = [&]() __attribute__((always_inline)) {
        const std::uint8_t* out = s + 3 * static_cast<std::ptrdiff_t>(at);
        const std::uint8_t* in = out + span3;
        sr += static_cast<int>(in[2]) - static_cast<int>(out[2]);
        if constexpr (!kLazy) {
            sb += static_cast<int>(in[0]) - static_cast<int>(out[0]);
            sg += static_cast<int>(in[1]) - static_cast<int>(out[1]);
            ++atGB;
        }
        ++at;
    };
    std::uint8_t flags = 0;
    // The common case (not a star, nothing to write) stays inline; star pixels go out of line.
    auto pixel = [&](int x) __attribute__((always_inline)) {
        const std::uint8_t* sp = s + 3 * static_cast<std::ptrdiff_t>(x);
        const std::uint8_t R = sp[2];
        std::uint8_t* px = p + 3 * static_cast<std::ptrdiff_t>(x);
        if (sr < brighter[R]) [[unlikely]] {
            if constexpr (kLazy) {
                if (atGB != at) {
                    const GreenBlue gb = catchUpGreenBlue(s, atGB, at, span, sg, sb);
                    sg = gb.g;
                    sb = gb.b;
                    atGB = at;
                }
            }
            const std::uint8_t B = sp[0], G = sp[1];
            if (sg < brighter[G] && sb < brighter[B]) {
                if constexpr (!BackgroundOnly) {
                    const bool overflow = brightenStar(P, px, m + 3 * static_cast<std::ptrdiff_t>(x), mk, B, G, R);
                    if (overflow) flags |= kRowOverflow;
                    if (overflow && record && x > left) centres.push_back({y, x, B, G, R});
                    if (listRuns) addRunPixel(sink.runs, runsBegin, x);
                }
                return;
            }
        }
        if constexpr (BackgroundOnly) {
            if (sr >= darker[R] || sg >= darker[sp[1]] || sb >= darker[sp[0]]) {
                px[0] = cb;
                px[1] = cg;
                px[2] = cr;
            }
        }
        if constexpr (Specified) {
            px[0] = cb;
            px[1] = cg;
            px[2] = cr;
        }
    };

    // Columns left .. right - 1 in three runs: index 0, index x - k (moving), index maxIndex.
    const int last = right - 1;
    int x = left;
    for (const int end = std::min(last, k - 1); x <= end; ++x) pixel(x);
    const int movingEnd = std::min(last, maxIndex + k);
    if (x <= movingEnd) {
        while (at < x - k) slide();
        pixel(x);
        ++x;
        if constexpr (kLazy) {
            // The hot loop: one pointer; the pixel leaving the window lies k + 1 pixels to the
            // left of the current one, the pixel entering it k pixels to the right.
            const std::ptrdiff_t outOffset = -3 * (static_cast<std::ptrdiff_t>(k) + 1) + 2;
            const std::ptrdiff_t inOffset = 3 * static_cast<std::ptrdiff_t>(k) + 2;
            const std::uint8_t* c = s + 3 * static_cast<std::ptrdiff_t>(x);
            const std::uint8_t* const end = s + 3 * (static_cast<std::ptrdiff_t>(movingEnd) + 1);
            for (; c < end; c += 3) {
                sr += static_cast<int>(c[inOffset]) - static_cast<int>(c[outOffset]);
                if (sr < brighter[c[2]]) [[unlikely]] {
                    const int cx = static_cast<int>((c - s) / 3);
                    at = cx - k;
                    pixel(cx);
                } else if constexpr (Specified) {
                    std::uint8_t* px = p + (c - s);
                    px[0] = cb;
                    px[1] = cg;
                    px[2] = cr;
                }
            }
            if (x <= movingEnd) at = movingEnd - k;
            x = std::max(x, movingEnd + 1);
        } else {
            for (; x <= movingEnd; ++x) {
                slide();
                pixel(x);
            }
        }
    }
    if (x <= last) {
        while (at < maxIndex) slide();
        for (; x <= last; ++x) pixel(x);
    }

    // The last column of the rectangle is never a star pixel, but the enlargement may take it as
    // a centre when its row is listed.
    while (at < std::clamp(right - k, 0, maxIndex)) slide();
    if (atGB != at) {
        const GreenBlue gb = catchUpGreenBlue(s, atGB, at, span, sg, sb);
        sg = gb.g;
        sb = gb.b;
        atGB = at;
    }
    const std::uint8_t* sp = s + 3 * static_cast<std::ptrdiff_t>(right);
    const std::uint8_t B = sp[0], G = sp[1], R = sp[2];
    const bool bright = sr < brighter[R] && sg < brighter[G] && sb < brighter[B];
    std::uint8_t* px = p + 3 * static_cast<std::ptrdiff_t>(right);
    if constexpr (BackgroundOnly) {
        if (sr >= darker[R] || sg >= darker[G] || sb >= darker[B]) {
            px[0] = cb;
            px[1] = cg;
            px[2] = cr;
        }
    }
    if constexpr (Specified) {
        px[0] = cb;
        px[1] = cg;
        px[2] = cr;
    }
    if (record && right > left && bright && goesAboveOne(P, B, G, R)) flags |= kRightCentre;
    if (listRuns) {
        P.rowRuns[y - P.rect.ProcTop] = {static_cast<std::uint32_t>(runsBegin),
                                         static_cast<std::uint32_t>(sink.runs.size() - runsBegin), sink.id};
        labelRow(P, y, sink, m);
    }
    return flags;
}

#if defined(NOCTURO_VECTOR_RED)
// The 16 bytes at p in the low half, the 16 bytes of sixteen pixels on (p + 48) in the high half.
NOCTURO_AVX2 __m256i pixelsAndNext16(const std::uint8_t* p) {
    return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 48), reinterpret_cast<const __m128i*>(p));
}

// Sixteen bytes widened to 16-bit lanes.
NOCTURO_AVX2 __m256i bytes16(const std::uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// 0xFF where a byte of the 32 at p is at least the byte of v.
NOCTURO_AVX2 __m256i atLeast32(const std::uint8_t* p, __m256i v) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    return _mm256_cmpeq_epi8(_mm256_max_epu8(b, v), b);
}

// The bytes of pixels lo .. lo + n - 1 of a row, one plane per channel.
__attribute__((target("avx2"))) void splitPlanesAvx2(const std::uint8_t* row, int lo, int n, std::uint8_t* blue,
                                                     std::uint8_t* green, std::uint8_t* red) {
    const std::uint8_t* src = row + 3 * static_cast<std::ptrdiff_t>(lo);
    // Byte c of pixel i sits at 3i + c of the 48 bytes of sixteen pixels.
    const __m128i r0 = _mm_setr_epi8(2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i r1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1);
    const __m128i r2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15);
    const __m128i g0 = _mm_setr_epi8(1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i g1 = _mm_setr_epi8(-1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1);
    const __m128i g2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14);
    const __m128i b0 = _mm_setr_epi8(0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m128i b1 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1);
    const __m128i b2 = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13);
    int j = 0;
    // Thirty-two pixels a turn: sixteen in each half of the registers, so that one shuffle
    // serves both.
    const __m256i R0 = _mm256_broadcastsi128_si256(r0), R1 = _mm256_broadcastsi128_si256(r1),
                  R2 = _mm256_broadcastsi128_si256(r2), G0 = _mm256_broadcastsi128_si256(g0),
                  G1 = _mm256_broadcastsi128_si256(g1), G2 = _mm256_broadcastsi128_si256(g2),
                  B0 = _mm256_broadcastsi128_si256(b0), B1 = _mm256_broadcastsi128_si256(b1),
                  B2 = _mm256_broadcastsi128_si256(b2);
    for (; j + 32 <= n; j += 32) {
        const std::uint8_t* b = src + 3 * static_cast<std::ptrdiff_t>(j);
        const __m256i v0 = pixelsAndNext16(b), v1 = pixelsAndNext16(b + 16), v2 = pixelsAndNext16(b + 32);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(red + j),
                            _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(v0, R0), _mm256_shuffle_epi8(v1, R1)),
                                            _mm256_shuffle_epi8(v2, R2)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(green + j),
                            _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(v0, G0), _mm256_shuffle_epi8(v1, G1)),
                                            _mm256_shuffle_epi8(v2, G2)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(blue + j),
                            _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(v0, B0), _mm256_shuffle_epi8(v1, B1)),
                                            _mm256_shuffle_epi8(v2, B2)));
    }
    for (; j + 16 <= n; j += 16) {
        const std::uint8_t* b = src + 3 * static_cast<std::ptrdiff_t>(j);
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 16));
        const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(red + j),
                         _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, r0), _mm_shuffle_epi8(v1, r1)),
                                      _mm_shuffle_epi8(v2, r2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(green + j),
                         _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, g0), _mm_shuffle_epi8(v1, g1)),
                                      _mm_shuffle_epi8(v2, g2)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(blue + j),
                         _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(v0, b0), _mm_shuffle_epi8(v1, b1)),
                                      _mm_shuffle_epi8(v2, b2)));
    }
    for (; j < n; ++j) {
        blue[j] = src[3 * static_cast<std::ptrdiff_t>(j)];
        green[j] = src[3 * static_cast<std::ptrdiff_t>(j) + 1];
        red[j] = src[3 * static_cast<std::ptrdiff_t>(j) + 2];
    }
}

// The window sums of eight consecutive pixels of one channel: `base` holds the sum of the window
// before the first of them in every lane; the sums move by (entering - leaving) bytes. Returns
// the eight sums and moves `base` on to the last of them.
NOCTURO_AVX2 __m256i movingSums8(const std::uint8_t* entering, const std::uint8_t* leaving, __m256i& base) {
    const __m256i rin = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(entering)));
    const __m256i rout = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(leaving)));
    __m256i d = _mm256_sub_epi32(rin, rout);
    d = _mm256_add_epi32(d, _mm256_slli_si256(d, 4));
    d = _mm256_add_epi32(d, _mm256_slli_si256(d, 8));
    d = _mm256_add_epi32(d, _mm256_blend_epi32(_mm256_setzero_si256(),
                                               _mm256_permutevar8x32_epi32(d, _mm256_setr_epi32(0, 0, 0, 0, 3, 3, 3, 3)),
                                               0xF0));
    const __m256i sum = _mm256_add_epi32(base, d);
    base = _mm256_add_epi32(base, _mm256_permutevar8x32_epi32(d, _mm256_set1_epi32(7)));
    return sum;
}

// Two window sums moved over n pixels at once: each gains the n bytes entering and loses the n
// leaving: one call for the catch-up of both, which on a dense row is short and frequent.
__attribute__((target("avx2"))) void moveTwoSums(const std::uint8_t* inA, const std::uint8_t* outA, const std::uint8_t* inB,
                              const std::uint8_t* outB, int n, std::int64_t& a, std::int64_t& b) {
    const __m256i z = _mm256_setzero_si256();
#define NOCTURO_SAD32(p) _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), z)
#define NOCTURO_SAD8(p) _mm_sad_epu8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128())
    int i = 0;
    __m128i da = _mm_setzero_si128(), db = _mm_setzero_si128();
    if (n >= 32) {
        __m256i wa = z, wb = z;
        for (; i + 32 <= n; i += 32) {
            wa = _mm256_add_epi64(wa, _mm256_sub_epi64(NOCTURO_SAD32(inA + i), NOCTURO_SAD32(outA + i)));
            wb = _mm256_add_epi64(wb, _mm256_sub_epi64(NOCTURO_SAD32(inB + i), NOCTURO_SAD32(outB + i)));
        }
        da = _mm_add_epi64(_mm256_castsi256_si128(wa), _mm256_extracti128_si256(wa, 1));
        db = _mm_add_epi64(_mm256_castsi256_si128(wb), _mm256_extracti128_si256(wb, 1));
    }
    for (; i + 8 <= n; i += 8) {
        da = _mm_add_epi64(da, _mm_sub_epi64(NOCTURO_SAD8(inA + i), NOCTURO_SAD8(outA + i)));
        db = _mm_add_epi64(db, _mm_sub_epi64(NOCTURO_SAD8(inB + i), NOCTURO_SAD8(outB + i)));
    }
#undef NOCTURO_SAD32
#undef NOCTURO_SAD8
    std::int64_t sa = _mm_cvtsi128_si64(da) + _mm_extract_epi64(da, 1);
    std::int64_t sb = _mm_cvtsi128_si64(db) + _mm_extract_epi64(db, 1);
    for (; i < n; ++i) {
        sa += static_cast<int>(inA[i]) - static_cast<int>(outA[i]);
        sb += static_cast<int>(inB[i]) - static_cast<int>(outB[i]);
    }
    a += sa;
    b += sb;
}

// The star test of eight pixels of one channel: window sum < (v - T) d.
NOCTURO_AVX2 __m256i brighterThan8(const std::uint8_t* cur, __m256i sum, __m256i span, __m256i thresholdSpan) {
    const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(cur)));
    return _mm256_cmpgt_epi32(_mm256_sub_epi32(_mm256_mullo_epi32(v, span), thresholdSpan), sum);
}

// The exact star test of 32 pixels of one channel at once, in 16-bit lanes: within a block of
// 32 the window sums move from S0 (the sum of the pixel before it) by at most 32 x 255, so with
// S0 = q0 d + r0 the test S0 + D < (v - T) d becomes v - (T + q0 - M) > floor((r0 + D + M d) / d),
// M d >= 32 x 255 keeping the dividend in 0 .. 2^15, where a multiply and a shift divide exactly
// (for d < 2^13). T + q0 - M is clamped to +-20000, beyond which the answer is the same.
constexpr int kBlockSpanMax = 8191;

struct BlockDivision {
    int d = 0, M = 0;
    std::uint64_t wide = 0;  // floor(S / d) = (S x wide) >> 45 for S <= 255 d
    __m128i shift;           // floor(z / d) = ((z x magic) >> 16) >> shift for z < 2^15
    int magic = 0;
};

BlockDivision blockDivision(int d) {
    BlockDivision D;
    D.d = d;
    D.M = (32 * 255 + d - 1) / d;
    D.wide = (std::uint64_t{1} << 45) / static_cast<std::uint64_t>(d) + 1;
    int f = 0;
    while ((2 << f) <= d) ++f;
    D.magic = static_cast<int>(((std::uint64_t{1} << (16 + f)) + static_cast<std::uint64_t>(d) - 1) /
                               static_cast<std::uint64_t>(d));
    D.shift = _mm_cvtsi32_si128(f);
    return D;
}

// Inclusive prefix sums of sixteen 16-bit lanes.
NOCTURO_AVX2 __m256i prefix16(__m256i v) {
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 2));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 4));
    v = _mm256_add_epi16(v, _mm256_slli_si256(v, 8));
    // The low half's total (lane 7) added to every lane of the high half.
    return _mm256_add_epi16(v, _mm256_shuffle_epi8(_mm256_permute2x128_si256(v, v, 0x08), _mm256_set1_epi16(0x0F0E)));
}

// Lane 15 in every lane.
NOCTURO_AVX2 __m256i lastLane16(__m256i v) {
    return _mm256_shuffle_epi8(_mm256_permute4x64_epi64(v, 0xFF), _mm256_set1_epi16(0x0F0E));
}

// Bit i set when pixel i of the 32 at `cur` (a plane) passes the test of its channel, with S0
// the window sum of the pixel before them; *moved receives how far the sum moved over the 32.
NOCTURO_AVX2 std::uint32_t exactMask32(const std::uint8_t* cur, int k, std::int64_t S0, int T, const BlockDivision& D,
                                       int* moved) {
    const int q0 = static_cast<int>((static_cast<std::uint64_t>(S0) * D.wide) >> 45);
    const int r0 = static_cast<int>(S0) - q0 * D.d;
    const int B = std::clamp(T + q0 - D.M, -20000, 20000);
    const __m256i lowMoves = prefix16(_mm256_sub_epi16(bytes16(cur + k), bytes16(cur - k - 1)));
    const __m256i highMoves = _mm256_add_epi16(prefix16(_mm256_sub_epi16(bytes16(cur + 16 + k), bytes16(cur + 15 - k))),
                                               lastLane16(lowMoves));
    const __m256i zBase = _mm256_set1_epi16(static_cast<short>(r0 + D.M * D.d));
    const __m256i magic = _mm256_set1_epi16(static_cast<short>(D.magic));
    const __m256i vB = _mm256_set1_epi16(static_cast<short>(B));
    auto pass = [&](__m256i moves, const std::uint8_t* p) __attribute__((target("avx2"), always_inline)) {
        const __m256i q = _mm256_srl_epi16(_mm256_mulhi_epu16(_mm256_add_epi16(moves, zBase), magic), D.shift);
        return _mm256_cmpgt_epi16(_mm256_sub_epi16(bytes16(p), vB), q);
    };
    const __m256i packed = _mm256_packs_epi16(pass(lowMoves, cur), pass(highMoves, cur + 16));
    *moved = static_cast<short>(_mm256_extract_epi16(highMoves, 15));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_permute4x64_epi64(packed, 0xD8)));
}

// One row of the first pass outside background-only mode, with vector instructions: the star
// test of all three channels eight pixels at a time over the moving part of the row (integer
// window sums, so the same test as the scalar loop), then the star pixels' colour round trip
// four at a time. A row with star pixels is put together in a buffer that stays in the cache and
// is written out once, so the picture's memory is not read back for scattered star pixels.
// Needs a row of at least 64 pixels and 32-bit room for (v - T) d (Pass::vectorRows).
template <bool Specified>
__attribute__((target("avx2"))) std::uint8_t firstPassRowAvx2(const Pass& P, int y, RowSink& sink) {
    const int left = P.rect.ProcLeft, right = P.rect.ProcRight;
    const int k = P.k, maxIndex = P.maxIndex, W = P.W;
    const int span = 2 * k + 1;
    const std::uint8_t* s = P.src->row(y);
    std::uint8_t* p = P.proc->row(y);
    std::uint8_t* m = P.marks->row(y);
    const std::int64_t* brighter = P.brighter;
    const bool record = P.recordCentres;
    const MarkBytes mk = starMark(P, y);
    auto windowIndex = [&](int x) { return std::clamp(x - k, 0, maxIndex); };

    thread_local std::vector<std::uint8_t> planes, procBuf, markBuf;
    thread_local std::vector<int> starX;
    // Planes of the pixels lo .. hi: every window that the row's tests use.
    const int lo = windowIndex(left), hi = windowIndex(right) + 2 * k;
    const int n = hi - lo + 1;
    const std::size_t planeSize = static_cast<std::size_t>(n) + 32;
    if (planes.size() < 3 * planeSize) planes.resize(3 * planeSize);
    std::uint8_t* blue = planes.data();
    std::uint8_t* green = blue + planeSize;
    std::uint8_t* red = green + planeSize;
    splitPlanesAvx2(s, lo, n, blue, green, red);
    auto windowSum = [&](const std::uint8_t* plane, int i) { return sumBytesAvx2(plane + (i - lo), span); };
    if (starX.size() < static_cast<std::size_t>(W) + 8) starX.resize(static_cast<std::size_t>(W) + 8);
    int* stars = starX.data();
    int starCount = 0;

    // Columns left .. right - 1 in three runs: index 0, index x - k (moving), index maxIndex.
    const int last = right - 1;
    // With a fixed window sum S the test S < (v - T) d is v >= T + floor(S / d) + 1: a byte
    // compare, 32 pixels at a time.
    auto testConstant = [&](int from, int to, int i) __attribute__((target("avx2"))) {
        if (from > to) return;
        const std::int64_t sr = windowSum(red, i), sg = windowSum(green, i), sb = windowSum(blue, i);
        auto least = [&](std::int64_t sum) {
            return std::clamp<std::int64_t>(P.threshold + sum / span + 1, 0, 256);
        };
        const std::int64_t lr = least(sr), lg = least(sg), lb = least(sb);
        if (lr > 255 || lg > 255 || lb > 255) return;
        const __m256i vr = _mm256_set1_epi8(static_cast<char>(lr)), vg = _mm256_set1_epi8(static_cast<char>(lg)),
                      vb = _mm256_set1_epi8(static_cast<char>(lb));
        int x = from;
        for (; x + 32 <= to + 1; x += 32) {
            const int c = x - lo;
            std::uint32_t mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(
                _mm256_and_si256(atLeast32(red + c, vr), atLeast32(green + c, vg)), atLeast32(blue + c, vb))));
            while (mask != 0) {
                stars[starCount++] = x + __builtin_ctz(mask);
                mask &= mask - 1;
            }
        }
        for (; x <= to; ++x) {
            const std::uint8_t* sp = s + 3 * static_cast<std::ptrdiff_t>(x);
            if (sr < brighter[sp[2]] && sg < brighter[sp[1]] && sb < brighter[sp[0]]) stars[starCount++] = x;
        }
    };
    testConstant(left, std::min(last, k - 1), 0);
    const int movingFrom = std::max(left, k), movingEnd = std::min(last, maxIndex + k);
    if (movingFrom <= movingEnd) {
        int x = movingFrom;
        std::int64_t sr = windowSum(red, x - k), sg = windowSum(green, x - k), sb = windowSum(blue, x - k);
        auto testOne = [&](int cx) {
            const int c = cx - lo;
            if (sr < brighter[red[c]] && sg < brighter[green[c]] && sb < brighter[blue[c]]) stars[starCount++] = cx;
        };
        testOne(x);
        ++x;
        const __m256i vspan = _mm256_set1_epi32(span);
        const __m256i vts = _mm256_set1_epi32(P.threshold * span);
        // The green and blue sums, needed only where red passes, catch up by the difference of
        // two byte sums over the skipped pixels.
        int gbAt = x - 1;  // the pixel whose window sg and sb hold
        auto catchUp = [&](int to) {
            if (gbAt == to) return;
            const int len = to - gbAt;
            const int enter = gbAt + 1 + k - lo, leave = gbAt - k - lo;
            moveTwoSums(green + enter, green + leave, blue + enter, blue + leave, len, sg, sb);
            gbAt = to;
        };
        // The exact test of the eight pixels x .. x + 7, whose red sums the moving sums give from
        // `baseR` (the red sum of pixel x - 1 in every lane; moved on to that of x + 7).
        auto testEight = [&](int x, __m256i& baseR) __attribute__((target("avx2"), always_inline)) {
            // Pixel x: current byte at x - lo, entering at x + k - lo, leaving at x - k - 1 - lo.
            const int c = x - lo;
            const __m256i sumR = movingSums8(red + c + k, red + c - k - 1, baseR);
            const __m256i redStar = brighterThan8(red + c, sumR, vspan, vts);
            if (_mm256_testz_si256(redStar, redStar)) return;
            catchUp(x - 1);
            __m256i baseG = _mm256_set1_epi32(static_cast<std::int32_t>(sg));
            __m256i baseB = _mm256_set1_epi32(static_cast<std::int32_t>(sb));
            const __m256i sumG = movingSums8(green + c + k, green + c - k - 1, baseG);
            const __m256i sumB = movingSums8(blue + c + k, blue + c - k - 1, baseB);
            sg = _mm256_cvtsi256_si32(baseG);
            sb = _mm256_cvtsi256_si32(baseB);
            gbAt = x + 7;
            const __m256i star = _mm256_and_si256(
                _mm256_and_si256(redStar, brighterThan8(green + c, sumG, vspan, vts)), brighterThan8(blue + c, sumB, vspan, vts));
            unsigned mask = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(star)));
            while (mask != 0) {
                stars[starCount++] = x + __builtin_ctz(mask);
                mask &= mask - 1;
            }
        };
        // Blocks of 32 pixels, in four groups of eight, first tested against a bound: the red sums
        // of a group are at least L = (sum at the group's end) - (the bytes entering over it), so a
        // pixel of the group can pass only if its byte is at least floor(L / d) + T + 1, taken
        // with a quotient that is never too large. The sums at the groups' ends come from byte
        // sums of the entering and leaving bytes; only a block with such a byte gets the exact
        // test of all three channels (exactMask32).
        {
            const __m256i zero = _mm256_setzero_si256();
            const __m256i reciprocal =
                _mm256_set1_epi64x(static_cast<std::int64_t>((std::uint64_t{1} << 32) / static_cast<std::uint64_t>(span)));
            const __m256i threshold1 = _mm256_set1_epi64x(static_cast<std::int64_t>(P.threshold) + 1);
            const __m256i byteMax = _mm256_set1_epi64x(255);
            // Byte 0 of each 64-bit lane to all eight bytes of the lane.
            const __m256i spread = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 8, 8, 8, 8, 8, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0,
                                                    8, 8, 8, 8, 8, 8, 8, 8);
            const bool blockTest = span <= kBlockSpanMax;
            const BlockDivision division = blockDivision(blockTest ? span : 3);
            __m256i base = _mm256_set1_epi64x(sr);  // the red sum of pixel x - 1
            for (; blockTest && x + 32 <= movingEnd + 1; x += 32) {
                const int c = x - lo;
                const __m256i in = _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(red + c + k)), zero);
                const __m256i outs =
                    _mm256_sad_epu8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(red + c - k - 1)), zero);
                __m256i d = _mm256_sub_epi64(in, outs);
                d = _mm256_add_epi64(d, _mm256_slli_si256(d, 8));
                d = _mm256_add_epi64(d, _mm256_blend_epi32(zero, _mm256_permute4x64_epi64(d, 0x55), 0xF0));
                const __m256i ends = _mm256_add_epi64(base, d);
                // Below 0 only where the window is narrower than a group; every sum is at least 0.
                const __m256i bound = _mm256_max_epi32(_mm256_sub_epi64(ends, in), zero);
                __m256i u = _mm256_add_epi64(_mm256_srli_epi64(_mm256_mul_epu32(bound, reciprocal), 32), threshold1);
                u = _mm256_min_epi32(_mm256_max_epi32(u, zero), byteMax);
                const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(red + c));
                const __m256i maybe = _mm256_cmpeq_epi8(_mm256_max_epu8(v, _mm256_shuffle_epi8(u, spread)), v);
                const unsigned groups = static_cast<unsigned>(_mm256_movemask_epi8(maybe));
                const __m256i before = base;
                base = _mm256_permute4x64_epi64(ends, 0xFF);
                if (groups == 0) [[likely]] continue;
                // The green and blue sums to pixel x - 1: moved, or summed afresh over a longer gap.
                if (x - 1 - gbAt > span) {
                    sg = windowSum(green, x - 1 - k);
                    sb = windowSum(blue, x - 1 - k);
                    gbAt = x - 1;
                } else {
                    catchUp(x - 1);
                }
                int movedR = 0, movedG = 0, movedB = 0;
                std::uint32_t mask = exactMask32(red + c, k, _mm256_cvtsi256_si32(before), P.threshold, division, &movedR) &
                                     exactMask32(green + c, k, sg, P.threshold, division, &movedG) &
                                     exactMask32(blue + c, k, sb, P.threshold, division, &movedB);
                sg += movedG;
                sb += movedB;
                gbAt = x + 31;
                while (mask != 0) {
                    stars[starCount++] = x + __builtin_ctz(mask);
                    mask &= mask - 1;
                }
            }
            sr = _mm256_cvtsi256_si32(base);
        }
        __m256i baseR = _mm256_set1_epi32(static_cast<std::int32_t>(sr));
        bool moved = false;
        for (; x + 8 <= movingEnd + 1; x += 8) {
            testEight(x, baseR);
            moved = true;
        }
        if (moved) sr = _mm256_cvtsi256_si32(baseR);
        catchUp(x - 1);
        for (; x <= movingEnd; ++x) {
            const int c = x - lo;
            sr += static_cast<int>(red[c + k]) - static_cast<int>(red[c - k - 1]);
            sg += static_cast<int>(green[c + k]) - static_cast<int>(green[c - k - 1]);
            sb += static_cast<int>(blue[c + k]) - static_cast<int>(blue[c - k - 1]);
            testOne(x);
        }
    }
    testConstant(std::max(left, maxIndex + k + 1), last, maxIndex);

    // Where the row is put together: a buffer when the block copy covers the rectangle's row,
    // else the processed row itself.
    const bool copyThisRow = P.copyRows && y >= P.copyTop && y < P.copyBottom && P.copyRight > P.copyLeft;
    const std::size_t copyBytesN = copyThisRow ? 3 * static_cast<std::size_t>(P.copyRight - P.copyLeft) : 0;
    const std::ptrdiff_t copyAt = 3 * static_cast<std::ptrdiff_t>(P.copyLeft);
    const std::ptrdiff_t rectAt = 3 * static_cast<std::ptrdiff_t>(left);
    const std::size_t rectBytes = 3 * static_cast<std::size_t>(right - left + 1);
    const bool buffered = (starCount > 0 || Specified) && copyThisRow && P.copyLeft <= left && P.copyRight > right;
    std::uint8_t* out = p;
    if (buffered) {
        if (procBuf.size() < 3 * static_cast<std::size_t>(W) + 64) procBuf.resize(3 * static_cast<std::size_t>(W) + 64);
        out = procBuf.data();
        std::memcpy(out + copyAt, s + copyAt, copyBytesN);
    } else if (copyThisRow) {
        copyBytes(p + copyAt, s + copyAt, copyBytesN);
    }
    if constexpr (Specified) {
        for (int x = left; x <= right; ++x) {
            std::uint8_t* px = out + 3 * static_cast<std::ptrdiff_t>(x);
            px[0] = P.cb;
            px[1] = P.cg;
            px[2] = P.cr;
        }
    }

    std::uint8_t flags = 0;
    if (starCount == 0) {
        zeroBytes(m + rectAt, rectBytes);
    } else {
        if (markBuf.size() < 3 * static_cast<std::size_t>(W) + 64) markBuf.resize(3 * static_cast<std::size_t>(W) + 64);
        std::uint8_t* marks = markBuf.data();
        std::memset(marks + rectAt, 0, rectBytes);
        std::vector<StarPixel>& centres = sink.centres;
        std::vector<Run>& runs = sink.runs;
        const std::size_t runsBegin = runs.size();
        const bool listRuns = P.wholeMarks;
        const int overflowFrom = P.overflowFrom;
        std::uint64_t* table = memoTable(P, sink);
        // Marks, runs, centres and colours in loops of their own, each with its state in
        // registers (a byte store may alias anything the loops read).
        for (int i = 0; i < starCount; ++i) {
            std::uint8_t* mp = marks + 3 * static_cast<std::ptrdiff_t>(stars[i]);
            mp[0] = mk.b;
            mp[1] = mk.g;
            mp[2] = mk.r;
        }
        if (listRuns) {
            runs.resize(runsBegin + static_cast<std::size_t>(starCount));
            Run* r = runs.data() + runsBegin;
            for (int i = 0; i < starCount;) {
                int j = i + 1;
                while (j < starCount && stars[j] == stars[j - 1] + 1) ++j;
                *r++ = {stars[i], stars[j - 1]};
                i = j;
            }
            runs.resize(static_cast<std::size_t>(r - runs.data()));
        }
        for (int i = 0; i < starCount; ++i) {
            const int x = stars[i];
            const std::uint8_t* sp = s + 3 * static_cast<std::ptrdiff_t>(x);
            if (std::max({sp[0], sp[1], sp[2]}) >= overflowFrom) [[unlikely]] {
                flags |= kRowOverflow;
                if (record && x > left) centres.push_back({y, x, sp[0], sp[1], sp[2]});
            }
        }
        // The star pixels whose colour the table lacks are moved to the front of stars.
        int misses = 0;
        {
            int* __restrict xs = stars;
            const std::uint64_t* __restrict memo = table;
            std::uint8_t* __restrict o8 = out;
            for (int i = 0; i < starCount; ++i) {
                const int x = xs[i];
                const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(x);
                // Without a branch: a colour not remembered gets some bytes now and its own below.
                const std::uint32_t colour = colourAt(s + at);
                const std::uint64_t e = memo[memoSlot(colour)];
                o8[at] = static_cast<std::uint8_t>(e);
                o8[at + 1] = static_cast<std::uint8_t>(e >> 8);
                o8[at + 2] = static_cast<std::uint8_t>(e >> 16);
                xs[misses] = x;
                misses += (e >> 32) != (colour | kMemoValid) ? 1 : 0;
            }
        }
        brightenMisses(P, table, s, stars, misses, out);
        if (listRuns) {
            P.rowRuns[y - P.rect.ProcTop] = {static_cast<std::uint32_t>(runsBegin),
                                             static_cast<std::uint32_t>(runs.size() - runsBegin), sink.id};
            labelRow(P, y, sink, marks);
        }
        copyBytes(m + rectAt, marks + rectAt, rectBytes);
    }
    if (buffered) copyBytes(p + copyAt, out + copyAt, copyBytesN);
    if (P.wholeMarks && starCount == 0) P.rowRuns[y - P.rect.ProcTop] = {0, 0, sink.id};

    // The last column of the rectangle is never a star pixel, but the enlargement may take it as
    // a centre when its row is listed.
    if (record && right > left) {
        const int i = windowIndex(right);
        const std::uint8_t* sp = s + 3 * static_cast<std::ptrdiff_t>(right);
        const std::uint8_t B = sp[0], G = sp[1], R = sp[2];
        if (windowSum(red, i) < brighter[R] && windowSum(green, i) < brighter[G] && windowSum(blue, i) < brighter[B] &&
            goesAboveOne(P, B, G, R))
            flags |= kRightCentre;
    }
    return flags;
}
#endif

using RowFunction = std::uint8_t (*)(const Pass&, int, RowSink&);

RowFunction pickRowFunction(const Pass& P, bool backgroundOnly, bool specified) {
    if (backgroundOnly) return specified ? firstPassRow<true, true> : firstPassRow<true, false>;
#if defined(NOCTURO_VECTOR_RED)
    if (P.vectorRows) return specified ? firstPassRowAvx2<true> : firstPassRowAvx2<false>;
#else
    (void)P;
#endif
    return specified ? firstPassRow<false, true> : firstPassRow<false, false>;
}

// What the rows of a draw hand on. It keeps its memory from one draw to the next on the calling
// thread, so that a later draw (the CLI's next file) does not touch fresh pages.
struct DrawLists {
    RowSink mine, theirs;
    std::vector<StarPixel> merged;
    std::vector<RowRuns> rowRuns;
};

DrawLists& drawLists() {
    thread_local DrawLists lists;
    return lists;
}

// Room for a dense sky's runs and centres at once: growing by doubling would touch about twice
// the memory, and on a process's first draw every fresh page costs a fault. Reserved pages that
// a sparser sky never writes are never touched (unless PrepareDrawMemory touches them first).
void reserveLists(DrawLists& lists, std::size_t pixels, std::size_t rows) {
    for (RowSink* sink : {&lists.mine, &lists.theirs}) {
        if (sink->runs.capacity() < pixels / 48) sink->runs.reserve(pixels / 48);
        if (sink->parent.capacity() < pixels / 48) sink->parent.reserve(pixels / 48);
        if (sink->centres.capacity() < pixels / 256) sink->centres.reserve(pixels / 256);
    }
    if (lists.rowRuns.capacity() < rows) lists.rowRuns.reserve(rows);
}

// The pages of a vector's reserved room mapped now. The room holds no elements yet: the bytes
// written are overwritten by the elements that come.
template <class T>
void touchReserved(std::vector<T>& v) {
    touchPages(reinterpret_cast<std::uint8_t*>(v.data() + v.size()), (v.capacity() - v.size()) * sizeof(T));
}

int progressPercent(std::int64_t done, std::int64_t total) {
    // A one-row rectangle has nothing left to do after its row: full.
    if (total <= 0) return 100;
    return static_cast<int>(std::trunc(static_cast<double>(done) / static_cast<double>(total) * 100.0));
}

// ---- Enlargement and count.

// A centre with its source bytes.
StarPixel centreAt(const Pass& P, int x, int y) {
    const std::uint8_t* sp = P.src->row(y) + 3 * static_cast<std::ptrdiff_t>(x);
    return {y, x, sp[0], sp[1], sp[2]};
}

// The processed pixels of a centre's neighbourhood asked for ahead of their turn: the first pass
// wrote them out past the cache, and the enlargement waits on every miss otherwise.
inline void prefetchNeighbourhood(const Pass& P, const StarPixel& c) {
    const std::ptrdiff_t at = 3 * static_cast<std::ptrdiff_t>(std::max(c.x - 1, 0));
    for (int r = std::max(c.y - 1, P.rect.ProcTop); r <= std::min(c.y + 1, P.rect.ProcBottom); ++r)
        __builtin_prefetch(P.proc->row(r) + at, 1);
}

// Spreads the excess of a centre over its 3 x 3 neighbourhood inside the rectangle, columns outer
// and rows inner, each neighbour taking the centre's hue and saturation.
void enlargeCentre(const Pass& P, const StarPixel& centre) {
    const int x = centre.x, y = centre.y;
    PixelRegister reg;
    reg.PixelRed = centre.R;
    reg.PixelGreen = centre.G;
    reg.PixelBlue = centre.B;
    reg.RgbToHsv();
    reg.PixelValue = addStored(reg.PixelValue, P.b);
    const float hue = reg.PixelHue;
    const float excess = static_cast<float>(static_cast<double>(reg.PixelValue) - 1.0);
    float saturation = addStored(reg.PixelSaturation, P.s);
    if (saturation > 1.0f) saturation = 1.0f;
    if (saturation < 0.0f) saturation = 0.0f;
    if (!(excess > 0.0f)) return;

    // HsvToRgb of every neighbour has the centre's hue and saturation: its sector, f and the
    // factors of p, q and t (each the same double as the conversion computes) are taken once.
    const double sectorReal = static_cast<double>(hue) / 60.0;
    const std::int64_t sector = static_cast<std::int64_t>(std::trunc(sectorReal)) % 6;
    const double fd = static_cast<double>(static_cast<float>(sectorReal - static_cast<double>(sector)));
    const double sd = static_cast<double>(saturation);
    const double pFactor = 1.0 - sd, qFactor = 1.0 - fd * sd, tFactor = 1.0 - (1.0 - fd) * sd;
    const double direct = static_cast<double>(excess) * 0.5, diagonal = static_cast<double>(excess) * 0.35;
    const double bStep = static_cast<double>(P.b);
    const double* over255 = byteOver255();
    // The values lie within 0..1 here: adding and taking away 1.5 x 2^52 rounds to nearest, ties
    // to even, as the conversion does.
    auto channel = [](double v) {
        return static_cast<std::uint8_t>(static_cast<std::int32_t>((v * 255.0 + 0x1.8p52) - 0x1.8p52));
    };

    const int left = std::max(x - 1, P.rect.ProcLeft), right = std::min(x + 1, P.rect.ProcRight);
    const int top = std::max(y - 1, P.rect.ProcTop), bottom = std::min(y + 1, P.rect.ProcBottom);
    for (int c = left; c <= right; ++c) {
        for (int r = top; r <= bottom; ++r) {
            std::uint8_t* px = P.proc->row(r) + 3 * static_cast<std::ptrdiff_t>(c);
            // Only the value of the neighbour is kept: the largest channel / 255, which is what
            // RgbToHsv stores (the division is monotonic, so the largest float is its float).
            float value = static_cast<float>(over255[std::max({px[0], px[1], px[2]})] + bStep +
                                             ((c == x || r == y) ? direct : diagonal));
            if (value > 1.0f) value = 1.0f;
            const double v = static_cast<double>(value);
            const std::uint8_t pi = channel(static_cast<double>(static_cast<float>(pFactor * v)));
            const std::uint8_t qi = channel(static_cast<double>(static_cast<float>(qFactor * v)));
            const std::uint8_t ti = channel(static_cast<double>(static_cast<float>(tFactor * v)));
            const std::uint8_t vi = channel(v);
            std::uint8_t R = 0, G = 0, B = 0;
            switch (sector) {
                case 0: R = vi; G = ti; B = pi; break;
                case 1: R = qi; G = vi; B = pi; break;
                case 2: R = pi; G = vi; B = ti; break;
                case 3: R = pi; G = qi; B = vi; break;
                case 4: R = ti; G = pi; B = vi; break;
                default: R = vi; G = pi; B = qi; break;
            }
            px[0] = B;
            px[1] = G;
            px[2] = R;
        }
    }
}

// The 4-connected region of exact red (255, 0, 0) that holds (x, y) turns blue: a scan-line
// fill over the bytes with a stack that the count reuses for all its regions.
// Where the fill reports the runs it turns blue: nowhere for the plain count (the calls vanish),
// the star list's collector when one is asked for.
struct NoStarSink {
    void begin(int, int) {}
    void run(int, int, int) {}
    void end() {}
};

struct CollectorSink {
    StarCollector& c;
    void begin(int x, int y) { c.beginStar(x, y); }
    void run(int y, int l, int r) { c.addRun(y, l, r); }
    void end() { c.endStar(); }
};

class RedRegionFill {
public:
    explicit RedRegionFill(WorkImage& marks) : m_(marks) {}

    template <class Sink>
    void fill(int x, int y, Sink& sink) {
        if (!isRed(x, y)) return;
        stack_.clear();
        stack_.push_back({x, y});
        while (!stack_.empty()) {
            const Seed s = stack_.back();
            stack_.pop_back();
            if (!isRed(s.x, s.y)) continue;
            int l = s.x, r = s.x;
            while (l > 0 && isRed(l - 1, s.y)) --l;
            while (r + 1 < m_.width() && isRed(r + 1, s.y)) ++r;
            std::uint8_t* row = m_.row(s.y);
            for (int i = l; i <= r; ++i) {
                row[3 * i] = 255;  // blue
                row[3 * i + 2] = 0;
            }
            sink.run(s.y, l, r);
            for (int ny : {s.y - 1, s.y + 1}) {
                if (ny < 0 || ny >= m_.height()) continue;
                bool inRun = false;
                for (int i = l; i <= r; ++i) {
                    const bool red = isRed(i, ny);
                    if (red && !inRun) stack_.push_back({i, ny});
                    inRun = red;
                }
            }
        }
    }

private:
    struct Seed {
        int x, y;
    };
    bool isRed(int x, int y) const {
        const std::uint8_t* p = m_.row(y) + 3 * static_cast<std::ptrdiff_t>(x);
        return p[0] == 0 && p[1] == 0 && p[2] == 255;
    }
    WorkImage& m_;
    std::vector<Seed> stack_;
};

// The count of a full-picture draw once the first pass has labelled each chunk of rows: the
// groups of consecutive chunks that touch across the border between them are joined (the later
// group's seed turns blue again), in a union-find over the groups' roots keyed by chunk and run,
// which is their order in the scan. Returns the number of stars.
int finishLabels(const Pass& P, RowSink* const* sinks, int rows) {
    std::int64_t count = 0;
    for (int i = 0; i < 2; ++i) count += sinks[i]->groups;
    std::unordered_map<std::uint64_t, std::uint64_t> joined;
    auto key = [](int chunk, std::uint32_t root) { return (static_cast<std::uint64_t>(chunk) << 32) | root; };
    auto find = [&](std::uint64_t k) {
        for (;;) {
            const auto it = joined.find(k);
            if (it == joined.end()) return k;
            k = it->second;
        }
    };
    const int top = P.rect.ProcTop;
    for (int first = kChunkRows; first < rows; first += kChunkRows) {
        const RowRuns up = P.rowRuns[first - 1], down = P.rowRuns[first];
        if (up.count == 0 || down.count == 0) continue;
        RowSink& su = *sinks[up.owner];
        RowSink& sd = *sinks[down.owner];
        const int cu = (first - 1) / kChunkRows, cd = first / kChunkRows;
        std::uint32_t i = up.begin;
        const std::uint32_t endUp = up.begin + up.count, endDown = down.begin + down.count;
        for (std::uint32_t j = down.begin; j < endDown && i < endUp; ++j) {
            const Run r = sd.runs[j];
            while (i < endUp && su.runs[i].x1 < r.x0) ++i;
            for (std::uint32_t t = i; t < endUp && su.runs[t].x0 <= r.x1; ++t) {
                // The chunks' border rows point at their roots already (labelRow).
                std::uint64_t a = find(key(cu, su.parent[t]));
                std::uint64_t c = find(key(cd, sd.parent[j]));
                if (a == c) continue;
                if (c < a) std::swap(a, c);
                joined[c] = a;
                --count;
                const int chunk = static_cast<int>(c >> 32);
                const int chunkFirst = top + chunk * kChunkRows;
                const RowRuns& firstRow = P.rowRuns[chunkFirst - top];
                const std::uint32_t index = static_cast<std::uint32_t>(c);
                if (index >= firstRow.begin + firstRow.count) {
                    const int chunkLast = std::min(top + rows - 1, chunkFirst + kChunkRows - 1);
                    unmarkSeed(P, *sinks[firstRow.owner], index, chunkFirst, chunkLast);
                }
            }
        }
    }
    // The seeds of the groups of each chunk's first row that no group above took in.
    for (int first = kChunkRows; first < rows; first += kChunkRows) {
        const RowRuns& rr = P.rowRuns[first];
        RowSink& sink = *sinks[rr.owner];
        std::uint8_t* row = P.marks->row(top + first);
        for (std::uint32_t j = rr.begin; j < rr.begin + rr.count; ++j) {
            if (sink.parent[j] != j || joined.count(key(first / kChunkRows, j)) != 0) continue;
            putMark(row + 3 * static_cast<std::ptrdiff_t>(sink.runs[j].x0), 0, 255, 0);
        }
    }
    return static_cast<int>(count);
}

// Two centres interact when their 3 x 3 neighbourhoods share a pixel: |dx| <= 2 and |dy| <= 2.
// Centres that do not interact touch different pixels, so their order does not matter.
//
// The enlargement shared between two threads: the centres are cut into bands of rows, and a
// centre below a cut that is joined to the band above through interacting centres goes with that
// band. Bands then touch different pixels, so each may run on either thread, its centres in scan
// order, and the pixels come out as from one pass in scan order.
constexpr int kMaxBands = 12;

struct EnlargeBands {
    std::vector<std::uint8_t> band;         // per centre
    std::vector<std::size_t> first, last;   // per band: the range of centres that holds its own
    int count = 0;
};

void bandCentres(const std::vector<StarPixel>& all, int wanted, EnlargeBands& out) {
    const std::size_t n = all.size();
    out.band.assign(n, 0);
    out.count = 1;
    out.first.assign(1, 0);
    out.last.assign(1, n);
    if (n < 256 || wanted < 2) return;
    auto firstOfRow = [&](int y) {
        return static_cast<std::size_t>(std::lower_bound(all.begin(), all.end(), StarPixel{y, INT32_MIN}) - all.begin());
    };
    // Cuts at rows that share the centres evenly.
    std::vector<int> cuts;
    for (int j = 1; j < wanted; ++j) {
        const int row = all[n * static_cast<std::size_t>(j) / static_cast<std::size_t>(wanted)].y;
        if (row > all.front().y + 2 && (cuts.empty() || row > cuts.back() + 2)) cuts.push_back(row);
    }
    for (std::size_t j = 0; j < cuts.size(); ++j)
        for (std::size_t i = firstOfRow(cuts[j]); i < n; ++i) out.band[i] = static_cast<std::uint8_t>(j + 1);
    out.count = static_cast<int>(cuts.size()) + 1;
    out.first.assign(static_cast<std::size_t>(out.count), 0);
    out.last.assign(static_cast<std::size_t>(out.count), n);
    for (std::size_t j = 0; j < cuts.size(); ++j) out.first[j + 1] = firstOfRow(cuts[j]);
    for (int t = 0; t + 1 < out.count; ++t) out.last[static_cast<std::size_t>(t)] = out.first[static_cast<std::size_t>(t) + 1];

    std::vector<std::uint32_t> parent;
    std::vector<std::uint8_t> taken;
    auto find = [&](std::uint32_t i) {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    };
    int prev = 0;       // the band above the cut
    int deepest = -1;   // the lowest row of a centre that an earlier cut gave to band prev
    for (std::size_t j = 0; j < cuts.size(); ++j) {
        const int t = static_cast<int>(j) + 1;
        const int cut = cuts[j];
        bool done = false;
        for (int depth = 32; depth <= 512 && !done; depth *= 4) {
            const int endRow = std::max(cut + depth, deepest + 3);
            const std::size_t lo = firstOfRow(cut - 2), hi = firstOfRow(endRow);
            // Union-find over the window's centres of band prev and below the cut.
            parent.resize(hi - lo);
            for (std::size_t i = 0; i < hi - lo; ++i) parent[i] = static_cast<std::uint32_t>(i);
            for (std::size_t i = lo; i < hi; ++i) {
                if (out.band[i] < prev) continue;
                const StarPixel c = all[i];
                // The earlier centres it interacts with: rows y - 2 and y - 1 at x - 2 .. x + 2,
                // and the two before it in its own row.
                for (int d = 2; d >= 0; --d) {
                    // The first centre at or after (y - d, x - 2).
                    std::size_t k = static_cast<std::size_t>(
                        std::lower_bound(all.begin() + static_cast<std::ptrdiff_t>(d == 0 && i - lo > 2 ? i - 2 : lo),
                                         all.begin() + static_cast<std::ptrdiff_t>(i), StarPixel{c.y - d, c.x - 2}) -
                        all.begin());
                    for (; k < i && all[k].y == c.y - d && all[k].x <= c.x + 2; ++k) {
                        if (out.band[k] < prev) continue;
                        const std::uint32_t a = find(static_cast<std::uint32_t>(k - lo));
                        const std::uint32_t b = find(static_cast<std::uint32_t>(i - lo));
                        if (a != b) parent[std::max(a, b)] = std::min(a, b);
                    }
                }
            }
            taken.assign(hi - lo, 0);
            for (std::size_t i = lo; i < hi; ++i)
                if (out.band[i] == prev) taken[find(static_cast<std::uint32_t>(i - lo))] = 1;
            bool escapes = false;
            for (std::size_t i = lo; i < hi && !escapes; ++i)
                escapes = out.band[i] > prev && taken[find(static_cast<std::uint32_t>(i - lo))] && all[i].y >= endRow - 2;
            if (escapes && hi < n) continue;
            for (std::size_t i = lo; i < hi; ++i) {
                if (out.band[i] <= prev || !taken[find(static_cast<std::uint32_t>(i - lo))]) continue;
                out.band[i] = static_cast<std::uint8_t>(prev);
                deepest = std::max(deepest, all[i].y);
                out.last[static_cast<std::size_t>(prev)] = std::max(out.last[static_cast<std::size_t>(prev)], i + 1);
            }
            done = true;
        }
        if (done) {
            prev = t;
            deepest = -1;
            continue;
        }
        // A component too long to follow: the band below joins the one above.
        for (std::size_t i = out.first[static_cast<std::size_t>(t)]; i < n; ++i)
            if (out.band[i] == t) out.band[i] = static_cast<std::uint8_t>(prev);
        out.last[static_cast<std::size_t>(prev)] = out.last[static_cast<std::size_t>(t)];
        out.first[static_cast<std::size_t>(t)] = out.last[static_cast<std::size_t>(t)] = 0;
    }
}

}  // namespace

detail::EnlargementBands detail::CutEnlargementBands(const std::vector<std::pair<int, int>>& rowAndColumn, int wanted) {
    std::vector<StarPixel> all;
    all.reserve(rowAndColumn.size());
    for (const auto& [y, x] : rowAndColumn) all.push_back(StarPixel{y, x});
    EnlargeBands cut;
    bandCentres(all, wanted, cut);
    return {std::vector<int>(cut.band.begin(), cut.band.end()), cut.first, cut.last};
}

namespace {

// The centres of the listed rows in scan order, the rectangle's last column included.
void listCentres(const Pass& P, const std::vector<StarPixel>& centres, const std::vector<std::uint8_t>& rowFlags,
                 int top, int right, std::vector<StarPixel>& all) {
    all.clear();
    all.reserve(centres.size() + rowFlags.size());
    std::size_t next = 0;
    for (std::size_t r = 0; r < rowFlags.size(); ++r) {
        const int y = top + static_cast<int>(r);
        const std::size_t from = next;
        while (next < centres.size() && centres[next].y == y) ++next;
        if (!(rowFlags[r] & kRowOverflow)) continue;
        all.insert(all.end(), centres.begin() + static_cast<std::ptrdiff_t>(from),
                   centres.begin() + static_cast<std::ptrdiff_t>(next));
        if (rowFlags[r] & kRightCentre) all.push_back(centreAt(P, right, y));
    }
}

template <class Sink>
int countAll(WorkImage& MarkImage, int WorkWidth, int WorkHeight, Sink& sink);

void checkCollector(const StarCollector* stars, int WorkWidth, int WorkHeight) {
    if (stars && (stars->source().width() < WorkWidth || stars->source().height() < WorkHeight))
        throw std::invalid_argument("CountStars: the star list's picture is smaller than the mark image");
}

void checkImages(const WorkingImages& images, const ProcRect& r) {
    const WorkImage& src = images.SourceImage;
    const WorkImage& proc = images.ProcessedImage;
    const WorkImage& marks = images.MarkImage;
    auto fail = [](const char* why) { throw std::invalid_argument(std::string("ExtractStars: ") + why); };
    if (src.isNull() || proc.isNull() || marks.isNull()) fail("an image is missing");
    if (src.width() != proc.width() || src.height() != proc.height())
        fail("the source and processed images differ in size");
    if (marks.width() != images.WorkWidth || marks.height() != images.WorkHeight || images.WorkWidth != proc.width() ||
        images.WorkHeight > proc.height())
        fail("the mark image does not match the picture");
    if (r.ProcLeft < 0 || r.ProcLeft > r.ProcRight || r.ProcRight >= images.WorkWidth || r.ProcTop < 0 ||
        r.ProcTop > r.ProcBottom || r.ProcBottom >= images.WorkHeight)
        fail("the processing rectangle is not inside the picture");
}

int run(const WorkingImages& images, const ProcRect& rect, const ExtractionParams& params,
        const ProgressCallback& progress, PhaseTimes* times, bool copyRows, StarCollector* stars) {
    checkImages(images, rect);
    checkCollector(stars, images.WorkWidth, images.WorkHeight);
    const Clock::time_point start = Clock::now();

    Pass P;
    P.src = &images.SourceImage;
    P.proc = &images.ProcessedImage;
    P.marks = &images.MarkImage;
    P.rect = rect;
    P.W = images.ProcessedImage.width();
    P.k = P.W / 40;
    P.maxIndex = std::max(P.W - 2 - 2 * P.k, 0);
    P.b = static_cast<float>(static_cast<double>(params.BrightnessPercent) / 100.0);
    P.s = static_cast<float>(static_cast<double>(params.SaturationPercent) / 100.0);
    for (int v = 255; v >= 0 && addStored(static_cast<float>(byteOver255()[v]), P.b) > 1.0f; --v) P.overflowFrom = v;
    P.cr = static_cast<std::uint8_t>(colorRed(params.ExtractionColor));
    P.cg = static_cast<std::uint8_t>(colorGreen(params.ExtractionColor));
    P.cb = static_cast<std::uint8_t>(colorBlue(params.ExtractionColor));
    const bool backgroundOnly = params.BackgroundOnlyMode != 0;
    const bool enlarge = params.EnlargeBrightStars && !backgroundOnly;
    P.recordCentres = enlarge;
    const std::int64_t d = 2 * static_cast<std::int64_t>(P.k) + 1;
    const std::int64_t T = params.StarThreshold;
    P.threshold = params.StarThreshold;
#if defined(NOCTURO_VECTOR_RED)
    // The vector lanes are 32 bits: (v - T) x d and the window sums must fit.
    P.vectorRows = params.vectorised && cpuHasAvx2() && (std::abs(T) + 256) * d < (std::int64_t{1} << 30) &&
                   P.W >= 64 && rect.ProcRight - rect.ProcLeft >= 16;
#endif
    for (int v = 0; v < 256; ++v) {
        P.brighter[v] = (v - T) * d;
        P.darker[v] = (v + T + 1) * d;
    }

    const int top = rect.ProcTop, bottom = rect.ProcBottom;
    if (copyRows) {
        const WorkImage& src = images.SourceImage;
        P.copyRows = true;
        P.copyLeft = std::max(rect.ProcLeft, 0);
        P.copyRight = static_cast<int>(
            std::min<std::int64_t>(static_cast<std::int64_t>(rect.ProcLeft) + rect.ProcWidth, src.width()));
        P.copyTop = std::max(rect.ProcTop, 0);
        P.copyBottom = static_cast<int>(
            std::min<std::int64_t>(static_cast<std::int64_t>(rect.ProcTop) + rect.ProcHeight, src.height()));
        // Rows of the block outside the rectangle (the strip of a full-picture draw) at once.
        if (P.copyRight > P.copyLeft) {
            const std::size_t bytes = 3 * static_cast<std::size_t>(P.copyRight - P.copyLeft);
            for (int y = P.copyTop; y < P.copyBottom; ++y) {
                if (y >= top && y <= bottom) continue;
                std::memcpy(images.ProcessedImage.row(y) + 3 * static_cast<std::ptrdiff_t>(P.copyLeft),
                            src.row(y) + 3 * static_cast<std::ptrdiff_t>(P.copyLeft), bytes);
            }
        }
    }

    // First pass. Rows are independent of each other, so they may be shared between two threads;
    // progress is reported from this thread only, for the rows it does itself.
    const int rows = bottom - top + 1;
    const RowFunction rowFn = pickRowFunction(P, backgroundOnly, params.SpecifiedColourMode);
    std::vector<std::uint8_t> rowFlags(static_cast<std::size_t>(rows), 0);
    DrawLists& lists = drawLists();
    RowSink& mine = lists.mine;
    RowSink& theirs = lists.theirs;
    std::vector<StarPixel>& merged = lists.merged;
    std::vector<RowRuns>& rowRuns = lists.rowRuns;
    mine.clear();
    theirs.clear();
    mine.id = 0;
    theirs.id = 1;
    merged.clear();
    reserveLists(lists, static_cast<std::size_t>(bottom - top + 1) * static_cast<std::size_t>(rect.ProcRight - rect.ProcLeft + 1),
                 static_cast<std::size_t>(bottom - top + 1));
    // When the rectangle covers the whole mark image, the runs just marked are its only pixels
    // that are not black: labelling them is the whole count. A star list needs each star's
    // pixels, which the fills of the scanning count report.
    const bool whole = !stars && rect.ProcLeft == 0 && rect.ProcTop == 0 && rect.ProcRight == images.WorkWidth - 1 &&
                       rect.ProcBottom == images.WorkHeight - 1 && &images.MarkImage != &images.ProcessedImage;
    if (whole) {
        rowRuns.assign(static_cast<std::size_t>(rows), RowRuns{});
        P.wholeMarks = true;
        P.rowRuns = rowRuns.data();
    }
    int lastProgress = -1;
    auto report = [&](int y) {
        if (!progress) return;
        const int value = progressPercent(y - top, bottom - top);
        if (value > lastProgress) {
            lastProgress = value;
            progress(value);
        }
    };

    int threads = params.threads;
    if (threads <= 0) {
        const std::int64_t pixels = static_cast<std::int64_t>(rows) * (rect.ProcRight - rect.ProcLeft + 1);
        threads = (pixels >= (1 << 18) && rows >= 64 && std::thread::hardware_concurrency() >= 2) ? 2 : 1;
    }
    threads = std::clamp(threads, 1, 2);
    std::vector<StarPixel>* centresPtr = &mine.centres;
    if (threads == 1 || rows < 2) {
        for (int y = top; y <= bottom; ++y) {
            report(y);
            rowFlags[static_cast<std::size_t>(y - top)] = rowFn(P, y, mine);
        }
        publishStores();
    } else {
        constexpr int kChunk = kChunkRows;
        std::atomic<int> nextChunk{0};
        RowSink& workerSink = theirs;
        std::exception_ptr workerError;
        auto work = [&](RowSink& out, bool reporting) {
            for (;;) {
                const int chunk = nextChunk.fetch_add(1, std::memory_order_relaxed);
                const int first = top + chunk * kChunk;
                if (first > bottom) break;
                const int last = std::min(bottom, first + kChunk - 1);
                for (int y = first; y <= last; ++y) {
                    if (reporting) report(y);
                    rowFlags[static_cast<std::size_t>(y - top)] = rowFn(P, y, out);
                }
            }
            publishStores();
        };
        // The first row's value whichever thread takes it, so that the bar starts at 0.
        report(top);
        std::thread worker([&] {
            try {
                work(workerSink, false);
            } catch (...) {
                workerError = std::current_exception();
                nextChunk.store(rows, std::memory_order_relaxed);
            }
        });
        try {
            work(mine, true);
        } catch (...) {
            nextChunk.store(rows, std::memory_order_relaxed);
            worker.join();
            throw;
        }
        worker.join();
        if (workerError) std::rethrow_exception(workerError);
        report(bottom);
        // Each thread took its rows in increasing order, so both lists are sorted already.
        merged.reserve(mine.centres.size() + theirs.centres.size());
        std::merge(mine.centres.begin(), mine.centres.end(), theirs.centres.begin(), theirs.centres.end(),
                   std::back_inserter(merged));
        centresPtr = &merged;
    }
    const std::vector<StarPixel>& centres = *centresPtr;
    if (times) times->extractMs += msSince(start);

    // The count reads and writes only the mark image, the enlargement only the processed one:
    // with two threads the scanning count runs beside the enlargement. A full-picture draw's
    // count was made by the first pass but for the borders of its chunks.
    RowSink* const sinks[2] = {&mine, &theirs};
    int count = 0;
    std::int64_t listed = 0;
    if (enlarge)
        for (std::uint8_t f : rowFlags) listed += (f & kRowOverflow) ? 1 : 0;
    // A full-picture draw on two threads: the second finishes the count and takes the centres of
    // the lower rows that do not interact with those above.
    if (whole && threads == 2 && listed > 0) {
        thread_local std::vector<StarPixel> allCentres;
        thread_local EnlargeBands bandsOf;
        std::vector<StarPixel>& all = allCentres;
        EnlargeBands& bands = bandsOf;
        const Clock::time_point enlargeStart = Clock::now();
        // Each band once, the calling thread from the top, the other (once the count is
        // finished) from the bottom. The bands are cut while the count runs.
        std::vector<std::atomic<bool>> claimed(kMaxBands);
        for (auto& c : claimed) c.store(false, std::memory_order_relaxed);
        std::atomic<int> bandsDone{0};
        std::atomic<bool> bandsReady{false};
        auto runBand = [&](int b) {
            if (claimed[static_cast<std::size_t>(b)].exchange(true, std::memory_order_relaxed)) return;
            const std::size_t from = bands.first[static_cast<std::size_t>(b)], to = bands.last[static_cast<std::size_t>(b)];
            constexpr std::size_t kAhead = 8;
            for (std::size_t i = from; i < to; ++i) {
                if (i + kAhead < to) prefetchNeighbourhood(P, all[i + kAhead]);
                if (bands.band[i] == b) enlargeCentre(P, all[i]);
            }
            bandsDone.fetch_add(1, std::memory_order_relaxed);
        };
        std::exception_ptr workerError;
        std::thread worker([&] {
            try {
                count = finishLabels(P, sinks, rows);
                while (!bandsReady.load(std::memory_order_acquire)) std::this_thread::yield();
                for (int b = bands.count - 1; b >= 0; --b) runBand(b);
            } catch (...) {
                workerError = std::current_exception();
            }
        });
        int lastEnlargeProgress = -1;
        try {
            try {
                listCentres(P, centres, rowFlags, top, rect.ProcRight, all);
                bandCentres(all, kMaxBands, bands);
            } catch (...) {
                bands.count = 0;  // the other thread has nothing to wait for
                bandsReady.store(true, std::memory_order_release);
                throw;
            }
            bandsReady.store(true, std::memory_order_release);
            for (int b = 0; b < bands.count; ++b) {
                runBand(b);
                const int value = progressPercent(bandsDone.load(std::memory_order_relaxed), bands.count);
                if (progress && value > lastEnlargeProgress) {
                    lastEnlargeProgress = value;
                    progress(value);
                }
            }
        } catch (...) {
            worker.join();
            throw;
        }
        worker.join();
        if (workerError) std::rethrow_exception(workerError);
        if (progress && lastEnlargeProgress != 100) progress(100);
        if (times) times->enlargeMs += msSince(enlargeStart);
        return count;
    }
    if (whole) {
        const Clock::time_point countStart = Clock::now();
        count = finishLabels(P, sinks, rows);
        if (times) times->countMs += msSince(countStart);
    }
    auto countNow = [&] { return CountStars(images.MarkImage, images.WorkWidth, images.WorkHeight, stars); };
    const bool beside = !whole && threads == 2 && listed > 0 && &images.MarkImage != &images.ProcessedImage;
    std::exception_ptr countError;
    std::thread counter;
    if (beside) {
        counter = std::thread([&] {
            try {
                count = countNow();
            } catch (...) {
                countError = std::current_exception();
            }
        });
    }

    // Enlargement over the listed rows, in increasing order.
    const Clock::time_point enlargeStart = Clock::now();
    try {
        std::int64_t position = 0;
        std::size_t next = 0;
        int lastEnlargeProgress = -1;
        for (int y = top; y <= bottom && listed > 0; ++y) {
            const std::uint8_t f = rowFlags[static_cast<std::size_t>(y - top)];
            while (next < centres.size() && centres[next].y < y) ++next;
            if (!(f & kRowOverflow)) continue;
            ++position;
            if (progress) {
                const int value = progressPercent(position, listed);
                if (value != lastEnlargeProgress) {
                    lastEnlargeProgress = value;
                    progress(value);
                }
            }
            for (; next < centres.size() && centres[next].y == y; ++next) {
                if (next + 8 < centres.size()) prefetchNeighbourhood(P, centres[next + 8]);
                enlargeCentre(P, centres[next]);
            }
            if (f & kRightCentre) enlargeCentre(P, centreAt(P, rect.ProcRight, y));
        }
    } catch (...) {
        if (counter.joinable()) counter.join();
        throw;
    }
    if (times) times->enlargeMs += msSince(enlargeStart);

    // The count's time is what it adds after the enlargement.
    const Clock::time_point countStart = Clock::now();
    if (beside) {
        counter.join();
        if (countError) std::rethrow_exception(countError);
    } else if (!whole) {
        count = countNow();
    }
    if (times) times->countMs += msSince(countStart);
    return count;
}

}  // namespace

int ExtractStars(const WorkingImages& images, const ProcRect& rect, const ExtractionParams& params,
                 const ProgressCallback& progress, PhaseTimes* times, StarCollector* stars) {
    return run(images, rect, params, progress, times, false, stars);
}

namespace detail {
int extractWithCopy(const WorkingImages& images, const ProcRect& rect, const ExtractionParams& params,
                    const ProgressCallback& progress, PhaseTimes* times, StarCollector* stars) {
    return run(images, rect, params, progress, times, true, stars);
}
}  // namespace detail

std::function<void()> PrepareDrawMemory(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    DrawLists& lists = drawLists();
    try {
        reserveLists(lists, static_cast<std::size_t>(width) * static_cast<std::size_t>(height), static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        return {};  // the draw reserves again and says so if it cannot
    }
    return [&lists] {
        for (RowSink* sink : {&lists.mine, &lists.theirs}) {
            touchReserved(sink->runs);
            touchReserved(sink->parent);
            touchReserved(sink->centres);
        }
        touchReserved(lists.rowRuns);
    };
}

int CountStars(WorkImage& MarkImage, int WorkWidth, int WorkHeight, StarCollector* stars) {
    if (WorkWidth <= 0 || WorkHeight <= 0) return 0;
    if (MarkImage.width() < WorkWidth || MarkImage.height() < WorkHeight)
        throw std::invalid_argument("CountStars: the mark image is smaller than the picture");
    checkCollector(stars, WorkWidth, WorkHeight);
    // The plain count runs the code it always ran; the calls to the empty sink vanish.
    if (stars) {
        CollectorSink sink{*stars};
        return countAll(MarkImage, WorkWidth, WorkHeight, sink);
    }
    NoStarSink sink;
    return countAll(MarkImage, WorkWidth, WorkHeight, sink);
}

namespace {

// The labelling scan (rows 1 and below) and the count of green seeds (all rows) in one pass:
// a fill only turns exact red into blue, neither of which counts, so counting a pixel when the
// scan passes it gives the same total as counting after the labelling.
template <class Sink>
int countAll(WorkImage& MarkImage, int WorkWidth, int WorkHeight, Sink& sink) {
    int count = 0;
    RedRegionFill regions(MarkImage);
    for (int y = 0; y < WorkHeight; ++y) {
        std::uint8_t* row = MarkImage.row(y);
        int x = 0;
        auto visit = [&](int px) {
            const std::uint8_t* p = row + 3 * static_cast<std::ptrdiff_t>(px);
            const int green = p[1], red = p[2];
            if (y >= 1 && red > 128 && green < 128) {
                sink.begin(px, y);
                regions.fill(px, y, sink);
                MarkImage.setPixel(px, y, kMarkGreen);
                sink.end();
                ++count;
            } else if (green > 128 && red < 128) {
                sink.begin(px, y);
                sink.end();
                ++count;
            }
        };
        // Most of the image is black: skip eight pixels (24 bytes) at a time while they are zero.
        for (; x + 8 <= WorkWidth; x += 8) {
            std::uint64_t w[3];
            std::memcpy(w, row + 3 * static_cast<std::ptrdiff_t>(x), sizeof w);
            if ((w[0] | w[1] | w[2]) == 0) continue;
            for (int i = 0; i < 8; ++i) visit(x + i);
        }
        for (; x < WorkWidth; ++x) visit(x);
    }
    return count;
}

}  // namespace

}  // namespace nocturo
