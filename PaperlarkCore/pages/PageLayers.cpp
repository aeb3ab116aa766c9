#include "pages/PageLayers.h"

#include "pages/ImageFile.h"
#include "pages/PixImage.h"

#include <leptonica/allheaders.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <vector>

namespace {

constexpr int tileShift = 5;
constexpr int tile = 1 << tileShift;
// Tiles are measured on every other pixel of every other row.
constexpr int sampleStep = 2;
// Luminance histograms of a tile count levels in bins of four.
constexpr int binShift = 2;
constexpr int bins = 256 >> binShift;
// A pixel this much below the paper around it is no longer paper, at the
// least; noisier paper moves the line further (see paperMargin()).
constexpr int leastPaperMargin = 16;
// Tiles whose lightest tenth is this much darker than the page's paper lie
// on something else: a photograph, a tinted area.
constexpr int offPaperMargin = 40;
// Ink of less contrast than this that darkens this share of a tile or more
// is a tint.
constexpr int faintContrast = 2 * PageLayers::minContrast;
constexpr double tintShare = 0.4;
// Toned tiles: at least a quarter of their pixels neither ink nor paper.
constexpr int tonedShare = 4;
// A picture: at least this many tiles (about 1 cm square at 300 dpi) of
// toned tiles and tiles off the paper (other than tiles all but covered by
// ink), together with what they enclose, whose tones vary (the middle three
// fifths of their medians spread over more than flatSpread levels), or half
// of them toned. A tinted area is flat: its text stays in the mask.
constexpr int leastPictureTiles = 16;
constexpr int flatSpread = 16;
// Tiles at least half ink next to a picture are the picture's dark parts.
constexpr int darkShare = 2;
// Soft ink: at least 1/64 of the tile is ink, and at least one ink pixel in
// eight is loose: a speck, or the end of a line one pixel wide, with at most
// one of its four neighbours ink.
constexpr int softShare = 64;
constexpr int looseShare = 8;
// This many tiles of soft ink outside pictures keep the page whole.
constexpr int mostSoftTiles = 8;
// A background cell takes its colour from at least this many of its pixels.
constexpr int leastPaperPixels = 3;

// Access to the pixels of a Format_RGB32 page.
struct ColourPixels {
    using Pixel = QRgb;
    static constexpr bool colour = true;
    static int luma(QRgb p) { return (qRed(p) * 77 + qGreen(p) * 150 + qBlue(p) * 29 + 128) >> 8; }
    static void add(QRgb p, std::uint32_t* sum) {
        sum[0] += std::uint32_t(qRed(p));
        sum[1] += std::uint32_t(qGreen(p));
        sum[2] += std::uint32_t(qBlue(p));
    }
};

// Access to the pixels of a Format_Grayscale8 page.
struct GreyPixels {
    using Pixel = uchar;
    static constexpr bool colour = false;
    static int luma(uchar v) { return v; }
    static void add(uchar v, std::uint32_t* sum) {
        sum[0] += v;
        sum[1] += v;
        sum[2] += v;
    }
};

template <typename Pixels> const typename Pixels::Pixel* pixelRow(const QImage& page, int y) {
    return reinterpret_cast<const typename Pixels::Pixel*>(page.constScanLine(y));
}

int percentileLevel(const std::uint16_t* histogram, int count, int permille) {
    const int wanted = std::max(1, (count * permille + 999) / 1000);
    int seen = 0;
    for (int bin = 0; bin < bins; ++bin) {
        seen += histogram[bin];
        if (seen >= wanted) {
            return (bin << binShift) + (1 << binShift) / 2;
        }
    }
    return 255;
}

// The middle of the darkest band of 24 levels that holds 2 % of the tile:
// the tone of its darkest ink, when that ink has a body in the tile (the
// soft edge of a stroke passing by has none: its pixels spread over every
// level between ink and paper).
int denseLevel(const std::uint16_t* histogram, int count) {
    constexpr int band = 24 >> binShift;
    const int wanted = std::max(1, count * 2 / 100);
    int inBand = 0;
    for (int bin = 0; bin < bins; ++bin) {
        inBand += histogram[bin] - (bin >= band ? histogram[bin - band] : 0);
        if (inBand >= wanted) {
            return (std::max(0, bin + 1 - band) << binShift) + (band << binShift) / 2;
        }
    }
    return 255;
}

// The tiles of a page: `columns` x `rows`, the last ones possibly cut short.
struct Grid {
    int columns = 0;
    int rows = 0;
    int width = 0;
    int height = 0;

    Grid(int pageWidth, int pageHeight)
        : columns((pageWidth + tile - 1) >> tileShift), rows((pageHeight + tile - 1) >> tileShift),
          width(pageWidth), height(pageHeight) {}

    int count() const { return columns * rows; }
    int tileWidth(int tx) const { return std::min(width, (tx + 1) * tile) - tx * tile; }
    int tileHeight(int ty) const { return std::min(height, (ty + 1) * tile) - ty * tile; }
    int area(int index) const { return tileWidth(index % columns) * tileHeight(index / columns); }
    bool onEdge(int index) const {
        const int tx = index % columns, ty = index / columns;
        return tx == 0 || ty == 0 || tx == columns - 1 || ty == rows - 1;
    }

    // Applies f(neighbour) to the tile and its (up to eight) neighbours.
    template <typename F> void around(int index, F&& f) const {
        const int tx = index % columns, ty = index / columns;
        for (int y = std::max(0, ty - 1); y <= std::min(rows - 1, ty + 1); ++y) {
            for (int x = std::max(0, tx - 1); x <= std::min(columns - 1, tx + 1); ++x) {
                f(y * columns + x);
            }
        }
    }
};

using TileMarks = std::vector<std::uint8_t>;

// The levels of one tile's luminance, and its histogram.
struct TileTones {
    int dark = 255; // 1 % of the tile is darker
    int ink = 255;  // the darkest tone that 2 % of the tile share (give or take 12)
    int median = 255;
    int light = 255; // 90 % of the tile is darker
    int samples = 0;
    std::array<std::uint16_t, bins> histogram{};

    // The share of the samples darker than `level`, 0...1.
    double shareBelow(int level) const {
        int below = 0;
        for (int bin = 0; bin < bins && (bin << binShift) + (1 << binShift) / 2 < level; ++bin) {
            below += histogram[std::size_t(bin)];
        }
        return samples ? double(below) / samples : 0;
    }
};

// Where the ink of a tile is cut.
struct TileCut {
    int ink = 0;       // darker than this is ink (0: the tile has no ink)
    int paperLine = 0; // darker than this is not paper
};

struct TileCounts {
    int ink = 0;
    int loose = 0; // ink pixels with at most one ink neighbour of four
    int tones = 0; // neither ink nor paper
};

// Pass one: each tile's tones, from a sample of its pixels.
template <typename Pixels>
std::vector<TileTones> measureTones(const QImage& page, const Grid& grid) {
    std::vector<TileTones> tones(std::size_t(grid.count()));
    for (int ty = 0; ty < grid.rows; ++ty) {
        TileTones* row = tones.data() + std::size_t(ty) * grid.columns;
        const int bottom = ty * tile + grid.tileHeight(ty);
        for (int y = ty * tile; y < bottom; y += sampleStep) {
            const auto* pixels = pixelRow<Pixels>(page, y);
            for (int x = 0; x < grid.width; x += sampleStep) {
                ++row[x >> tileShift].histogram[std::size_t(Pixels::luma(pixels[x]) >> binShift)];
            }
        }
        const int sampledRows = (grid.tileHeight(ty) + sampleStep - 1) / sampleStep;
        for (int tx = 0; tx < grid.columns; ++tx) {
            TileTones& t = row[tx];
            const std::uint16_t* histogram = t.histogram.data();
            t.samples = sampledRows * ((grid.tileWidth(tx) + sampleStep - 1) / sampleStep);
            t.dark = percentileLevel(histogram, t.samples, 10);
            t.ink = denseLevel(histogram, t.samples);
            t.median = percentileLevel(histogram, t.samples, 500);
            t.light = percentileLevel(histogram, t.samples, 900);
        }
    }
    return tones;
}

// The tiles' value at `permille` thousandths of the way from the lowest.
template <typename Value>
int tilePercentile(const std::vector<TileTones>& tones, int permille, Value&& value) {
    std::vector<int> values;
    values.reserve(tones.size());
    for (const TileTones& t : tones) {
        values.push_back(value(t));
    }
    const auto at = values.begin() + std::ptrdiff_t(values.size() * std::size_t(permille) / 1000);
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

// How far below the paper a pixel must lie not to be paper: beyond the
// spread of the page's plainest tiles (its paper, or the smoothest part of a
// picture), three times over.
int paperMargin(const std::vector<TileTones>& tones) {
    return std::max(leastPaperMargin, 3 * tilePercentile(tones, 100, [](const TileTones& t) {
                                          return t.light - t.median;
                                      }));
}

// The tone of the page's paper: what a tenth of its tiles reach in their
// lightest tenth.
int pagePaper(const std::vector<TileTones>& tones) {
    return tilePercentile(tones, 900, [](const TileTones& t) { return t.light; });
}

std::vector<TileCut> cutTiles(const std::vector<TileTones>& tones, const Grid& grid, int margin) {
    std::vector<TileCut> cuts(tones.size());
    for (int i = 0; i < grid.count(); ++i) {
        int paper = 0, nearbyInk = 255;
        grid.around(i, [&](int n) {
            paper = std::max(paper, tones[std::size_t(n)].light);
            nearbyInk = std::min(nearbyInk, tones[std::size_t(n)].dark);
        });
        // The tile's own ink where it has a body of it (so that a coloured
        // line beside black text keeps all of its strokes); else the ink
        // around it (so that the tip or the edge of a stroke reaching in is
        // cut as the rest of that stroke).
        const int own = tones[std::size_t(i)].ink;
        const int ink = paper - own >= PageLayers::minContrast ? own : nearbyInk;
        TileCut& cut = cuts[std::size_t(i)];
        cut.paperLine = paper - margin;
        const int contrast = paper - ink;
        if (contrast >= PageLayers::minContrast) {
            cut.ink = (paper + ink + 1) / 2;
            // Faint "ink" over much of the tile is a tint (a shaded band,
            // a highlighted line), which the background keeps.
            if (contrast < faintContrast &&
                tones[std::size_t(i)].shareBelow(cut.ink) >= tintShare) {
                cut.ink = 0;
            }
        }
    }
    return cuts;
}

// The ink is kept as a leptonica 1-bit image: 32-bit words, one a tile
// (tiles are 32 pixels wide), the first pixel in the most significant bit,
// 1 for ink.
l_uint32* inkRow(Pix* ink, int y) {
    return pixGetData(ink) + std::ptrdiff_t(y) * pixGetWpl(ink);
}

// Counts each tile's loose ink pixels.
void countLoose(Pix* ink, const Grid& grid, std::vector<TileCounts>& counts) {
    const std::size_t columns = std::size_t(grid.columns);
    const std::vector<l_uint32> none(columns, 0);
    for (int y = 0; y < grid.height; ++y) {
        const l_uint32* here = inkRow(ink, y);
        const l_uint32* above = y > 0 ? inkRow(ink, y - 1) : none.data();
        const l_uint32* below = y + 1 < grid.height ? inkRow(ink, y + 1) : none.data();
        TileCounts* row = counts.data() + std::size_t(y >> tileShift) * columns;
        for (std::size_t w = 0; w < columns; ++w) {
            const std::uint32_t bits = here[w];
            if (!bits) {
                continue;
            }
            const std::uint32_t a = above[w], b = below[w];
            const std::uint32_t l = (bits >> 1) | (w > 0 ? here[w - 1] << 31 : 0u);
            const std::uint32_t r = (bits << 1) | (w + 1 < columns ? here[w + 1] >> 31 : 0u);
            const std::uint32_t twoOrMore =
                (a & b) | (a & l) | (a & r) | (b & l) | (b & r) | (l & r);
            row[w].loose += std::popcount(bits & ~twoOrMore);
        }
    }
}

// Pass two: the ink, and what each tile holds.
template <typename Pixels>
std::vector<TileCounts> cutInk(const QImage& page, const Grid& grid,
                               const std::vector<TileCut>& cuts, Pix* ink) {
    std::vector<TileCounts> counts(cuts.size());
    std::uint8_t luma[tile];
    for (int y = 0; y < grid.height; ++y) {
        const auto* row = pixelRow<Pixels>(page, y);
        l_uint32* words = inkRow(ink, y);
        const int ty = y >> tileShift;
        for (int tx = 0; tx < grid.columns; ++tx) {
            const TileCut& cut = cuts[std::size_t(ty * grid.columns + tx)];
            const int left = tx * tile, count = grid.tileWidth(tx);
            for (int i = 0; i < count; ++i) {
                luma[i] = std::uint8_t(Pixels::luma(row[left + i]));
            }
            std::uint32_t word = 0;
            int tones = 0;
            for (int i = 0; i < count; ++i) {
                word |= std::uint32_t(luma[i] < cut.ink) << (31 - i);
                tones += luma[i] >= cut.ink && luma[i] < cut.paperLine;
            }
            words[tx] = word;
            TileCounts& c = counts[std::size_t(ty * grid.columns + tx)];
            c.ink += std::popcount(word);
            c.tones += tones;
        }
    }
    countLoose(ink, grid, counts);
    return counts;
}

// The ink as a Format_Mono image (0, black, for ink).
QImage monoImage(Pix* ink, const Grid& grid) {
    QImage mask(grid.width, grid.height, QImage::Format_Mono);
    if (mask.isNull()) {
        return mask;
    }
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < grid.height; ++y) {
        const l_uint32* words = inkRow(ink, y);
        uchar* bytes = mask.scanLine(y);
        for (int w = 0; w < grid.columns; ++w) {
            const std::uint32_t white = ~words[w];
            bytes[4 * w] = uchar(white >> 24);
            bytes[4 * w + 1] = uchar(white >> 16);
            bytes[4 * w + 2] = uchar(white >> 8);
            bytes[4 * w + 3] = uchar(white);
        }
    }
    return mask;
}

// Grows the marked tiles by one tile in every direction.
TileMarks dilated(const TileMarks& marked, const Grid& grid) {
    TileMarks out(marked.size(), 0);
    for (int i = 0; i < grid.count(); ++i) {
        if (marked[std::size_t(i)]) {
            grid.around(i, [&](int n) { out[std::size_t(n)] = 1; });
        }
    }
    return out;
}

TileMarks eroded(const TileMarks& marked, const Grid& grid) {
    TileMarks out(marked.size(), 0);
    for (int i = 0; i < grid.count(); ++i) {
        bool all = true;
        grid.around(i, [&](int n) { all = all && marked[std::size_t(n)]; });
        out[std::size_t(i)] = all;
    }
    return out;
}

// Reports each group of marked tiles that touch (eight ways) to `group`, as
// the list of their indexes.
template <typename Group> void groups(const TileMarks& marked, const Grid& grid, Group&& group) {
    TileMarks seen(marked.size(), 0);
    std::vector<int> members;
    for (int start = 0; start < grid.count(); ++start) {
        if (!marked[std::size_t(start)] || seen[std::size_t(start)]) {
            continue;
        }
        members.assign(1, start);
        seen[std::size_t(start)] = 1;
        for (std::size_t next = 0; next < members.size(); ++next) {
            grid.around(members[next], [&](int n) {
                if (marked[std::size_t(n)] && !seen[std::size_t(n)]) {
                    seen[std::size_t(n)] = 1;
                    members.push_back(n);
                }
            });
        }
        group(members);
    }
}

// The picture tiles: groups of toned tiles and tiles off the paper, closed
// over small gaps, with what they enclose and the tiles mostly of ink that
// join them, grown by a tile to take in their edges.
bool isToned(const TileCounts& c, int area) {
    return c.tones * tonedShare >= area;
}

TileMarks pictureTiles(const std::vector<TileTones>& tones, const std::vector<TileCounts>& counts,
                       const Grid& grid) {
    const int paper = pagePaper(tones);
    TileMarks toned(counts.size(), 0), candidates(counts.size(), 0);
    for (int i = 0; i < grid.count(); ++i) {
        // A tile all but covered by ink is line art (a bar, a filled shape),
        // however dark.
        const bool inked = counts[std::size_t(i)].ink * 10 >= grid.area(i) * 9;
        toned[std::size_t(i)] = isToned(counts[std::size_t(i)], grid.area(i));
        candidates[std::size_t(i)] =
            toned[std::size_t(i)] ||
            (!inked && tones[std::size_t(i)].light < paper - offPaperMargin);
    }
    TileMarks closed = eroded(dilated(candidates, grid), grid);
    for (std::size_t i = 0; i < closed.size(); ++i) {
        closed[i] = closed[i] || candidates[i];
    }
    // Enclosed: not reachable from the page's edge without crossing them.
    TileMarks open(closed.size(), 0);
    for (std::size_t i = 0; i < closed.size(); ++i) {
        open[i] = !closed[i];
    }
    groups(open, grid, [&](const std::vector<int>& members) {
        if (std::none_of(members.begin(), members.end(), [&](int i) { return grid.onEdge(i); })) {
            for (const int i : members) {
                closed[std::size_t(i)] = 1;
            }
        }
    });
    TileMarks pictures(closed.size(), 0);
    std::vector<int> reached;
    std::vector<int> medians;
    groups(closed, grid, [&](const std::vector<int>& members) {
        if (int(members.size()) < leastPictureTiles) {
            return;
        }
        // Judged by the tiles that made the group, not those it encloses.
        medians.clear();
        int tonedCount = 0;
        for (const int i : members) {
            if (candidates[std::size_t(i)]) {
                medians.push_back(tones[std::size_t(i)].median);
                tonedCount += toned[std::size_t(i)];
            }
        }
        if (medians.empty()) {
            return;
        }
        std::sort(medians.begin(), medians.end());
        const int spread = medians[medians.size() * 4 / 5] - medians[medians.size() / 5];
        if (spread > flatSpread || tonedCount * 2 >= int(medians.size())) {
            for (const int i : members) {
                pictures[std::size_t(i)] = 1;
                reached.push_back(i);
            }
        }
    });
    // A picture's dark parts are mostly ink: they belong to it too.
    for (std::size_t next = 0; next < reached.size(); ++next) {
        grid.around(reached[next], [&](int n) {
            if (!pictures[std::size_t(n)] &&
                counts[std::size_t(n)].ink * darkShare >= grid.area(n)) {
                pictures[std::size_t(n)] = 1;
                reached.push_back(n);
            }
        });
    }
    return dilated(pictures, grid);
}

// The tiles on the page's paper: not toned, and their lightest tenth as
// light as the paper, give or take its noise.
int paperTiles(const std::vector<TileTones>& tones, const std::vector<TileCounts>& counts,
               const Grid& grid, int margin) {
    const int paper = pagePaper(tones);
    int count = 0;
    for (int i = 0; i < grid.count(); ++i) {
        count += !isToned(counts[std::size_t(i)], grid.area(i)) &&
                 tones[std::size_t(i)].light >= paper - margin;
    }
    return count;
}

bool isSoft(const TileCounts& c, int area) {
    return c.ink * softShare >= area && c.loose * looseShare >= c.ink;
}

// Clears the ink over the given tiles.
void clearTiles(Pix* ink, const TileMarks& tiles, const Grid& grid) {
    for (int i = 0; i < grid.count(); ++i) {
        if (!tiles[std::size_t(i)]) {
            continue;
        }
        const int tx = i % grid.columns, ty = i / grid.columns;
        for (int y = ty * tile; y < ty * tile + grid.tileHeight(ty); ++y) {
            inkRow(ink, y)[tx] = 0;
        }
    }
}

// A grid of colours of which some are known, the rest to be filled in.
struct Layer {
    enum class Known : std::uint8_t { no, yes, roughly };

    int width = 0;
    int height = 0;
    std::vector<QRgb> colours;
    std::vector<Known> known;

    Layer(int w, int h)
        : width(w), height(h), colours(std::size_t(w) * std::size_t(h)),
          known(std::size_t(w) * std::size_t(h)) {}

    // Each unknown cell takes the mean colour of the known cells in the
    // smallest aligned block of 2^k x 2^k cells around it that holds any;
    // `none` when no cell is known. A cell known only roughly keeps its own
    // colour only where no known cell is within a block of 4 x 4 around it.
    void fill(QRgb none) {
        struct Sum {
            std::uint32_t r = 0, g = 0, b = 0, n = 0;
        };
        struct Level {
            int width;
            int height;
            std::vector<Sum> sums;
        };
        std::vector<Level> levels; // levels[k] has blocks of 2^(k+1) cells a side
        for (int w = (width + 1) / 2, h = (height + 1) / 2;; w = (w + 1) / 2, h = (h + 1) / 2) {
            Level level{w, h, std::vector<Sum>(std::size_t(w) * std::size_t(h))};
            if (levels.empty()) {
                for (int y = 0; y < height; ++y) {
                    for (int x = 0; x < width; ++x) {
                        const std::size_t i = std::size_t(y) * width + x;
                        if (known[i] == Known::yes) {
                            Sum& s = level.sums[std::size_t(y / 2) * w + x / 2];
                            s.r += std::uint32_t(qRed(colours[i]));
                            s.g += std::uint32_t(qGreen(colours[i]));
                            s.b += std::uint32_t(qBlue(colours[i]));
                            ++s.n;
                        }
                    }
                }
            } else {
                const Level& fine = levels.back();
                for (int y = 0; y < fine.height; ++y) {
                    for (int x = 0; x < fine.width; ++x) {
                        const Sum& f = fine.sums[std::size_t(y) * fine.width + x];
                        Sum& s = level.sums[std::size_t(y / 2) * w + x / 2];
                        s.r += f.r;
                        s.g += f.g;
                        s.b += f.b;
                        s.n += f.n;
                    }
                }
            }
            levels.push_back(std::move(level));
            if (w == 1 && h == 1) {
                break;
            }
        }
        const auto mean = [](const Sum& s) {
            return qRgb(int((s.r + s.n / 2) / s.n), int((s.g + s.n / 2) / s.n),
                        int((s.b + s.n / 2) / s.n));
        };
        // From the top down, every block gets a colour, its own or its
        // parent's, and the level it came from.
        std::vector<QRgb> above{levels.back().sums[0].n ? mean(levels.back().sums[0]) : none};
        std::vector<std::uint8_t> aboveFrom{std::uint8_t(levels.size() - 1)};
        for (std::size_t k = levels.size() - 1; k-- > 0;) {
            const Level& level = levels[k];
            const int aboveWidth = levels[k + 1].width;
            std::vector<QRgb> here(level.sums.size());
            std::vector<std::uint8_t> hereFrom(level.sums.size());
            for (int y = 0; y < level.height; ++y) {
                for (int x = 0; x < level.width; ++x) {
                    const std::size_t i = std::size_t(y) * level.width + x;
                    const std::size_t parent = std::size_t(y / 2) * aboveWidth + x / 2;
                    const Sum& s = level.sums[i];
                    here[i] = s.n ? mean(s) : above[parent];
                    hereFrom[i] = s.n ? std::uint8_t(k) : aboveFrom[parent];
                }
            }
            above = std::move(here);
            aboveFrom = std::move(hereFrom);
        }
        const int aboveWidth = levels.front().width;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const std::size_t i = std::size_t(y) * width + x;
                const std::size_t parent = std::size_t(y / 2) * aboveWidth + x / 2;
                if (known[i] == Known::no ||
                    (known[i] == Known::roughly && aboveFrom[parent] <= 1)) {
                    colours[i] = above[parent];
                }
            }
        }
    }

    QImage image(bool colour) const {
        QImage out(width, height, colour ? QImage::Format_RGB32 : QImage::Format_Grayscale8);
        if (out.isNull()) {
            return out;
        }
        for (int y = 0; y < height; ++y) {
            const QRgb* in = colours.data() + std::size_t(y) * width;
            if (colour) {
                std::copy_n(in, width, reinterpret_cast<QRgb*>(out.scanLine(y)));
            } else {
                uchar* line = out.scanLine(y);
                for (int x = 0; x < width; ++x) {
                    line[x] = uchar(qGreen(in[x]));
                }
            }
        }
        return out;
    }
};

// `count` (at most three) bits of a leptonica 1-bit row from pixel x on,
// the first in the highest place.
unsigned rowBits(const l_uint32* row, int x, int count) {
    const int word = x >> 5, bit = x & 31;
    std::uint64_t both = std::uint64_t(row[word]) << 32;
    if (bit + count > 32) {
        both |= row[word + 1];
    }
    return unsigned(both >> (64 - bit - count)) & ((1u << count) - 1);
}

// Pass three: the background from the pixels away from the ink (the ink
// grown by two pixels, which takes in the soft edges of the strokes), and the
// ink's colours from the inside of the strokes (the ink shrunk by a pixel):
// their edges, part ink and part paper, would make the colours outline every
// letter. A cell with ink but no inside takes the colour of the insides near
// it, or, far from any (a hairline), its own ink's.
template <typename Pixels>
void gatherLayers(const QImage& page, const Grid& grid, Pix* ink, Pix* inside, Pix* grown,
                  Layer& background, Layer& foreground) {
    constexpr int r = PageLayers::reduction;
    std::vector<l_uint32> nearColumns(std::size_t(pixGetWpl(grown)));
    // The three images have the page's size, and so the same row length.
    const l_int32 words = pixGetWpl(ink);
    const l_uint32* inkData = pixGetData(ink);
    const l_uint32* insideData = pixGetData(inside);
    const l_uint32* grownData = pixGetData(grown);
    const auto mean = [](const std::uint32_t* sum, int n) {
        const auto half = std::uint32_t(n) / 2, count = std::uint32_t(n);
        return qRgb(int((sum[0] + half) / count), int((sum[1] + half) / count),
                    int((sum[2] + half) / count));
    };
    for (int cy = 0; cy < background.height; ++cy) {
        const int top = cy * r, rows = std::min(r, grid.height - top);
        const typename Pixels::Pixel* pixels[r];
        const l_uint32* inkRows[r];
        const l_uint32* insideRows[r];
        const l_uint32* grownRows[r];
        for (int i = 0; i < rows; ++i) {
            pixels[i] = pixelRow<Pixels>(page, top + i);
            inkRows[i] = inkData + std::ptrdiff_t(top + i) * words;
            insideRows[i] = insideData + std::ptrdiff_t(top + i) * words;
            grownRows[i] = grownData + std::ptrdiff_t(top + i) * words;
        }
        // Which columns of the cell row have ink near them in any of its rows.
        for (int w = 0; w < words; ++w) {
            l_uint32 any = 0;
            for (int i = 0; i < rows; ++i) {
                any |= grownRows[i][w];
            }
            nearColumns[std::size_t(w)] = any;
        }
        for (int cx = 0; cx < background.width; ++cx) {
            const int left = cx * r, columns = std::min(r, grid.width - left);
            std::uint32_t paper[3] = {}, inkSum[3] = {}, insideSum[3] = {};
            int paperCount = 0, inkCount = 0, insideCount = 0;
            if (!rowBits(nearColumns.data(), left, columns)) {
                for (int i = 0; i < rows; ++i) {
                    for (int x = left; x < left + columns; ++x) {
                        Pixels::add(pixels[i][x], paper);
                    }
                }
                paperCount = rows * columns;
            } else {
                for (int i = 0; i < rows; ++i) {
                    const unsigned nearRow = rowBits(grownRows[i], left, columns);
                    const unsigned inkRow = rowBits(inkRows[i], left, columns);
                    const unsigned insideRow = rowBits(insideRows[i], left, columns);
                    for (int j = 0; j < columns; ++j) {
                        const unsigned bit = 1u << (columns - 1 - j);
                        const auto pixel = pixels[i][left + j];
                        if (!(nearRow & bit)) {
                            Pixels::add(pixel, paper);
                            ++paperCount;
                        } else if (insideRow & bit) {
                            Pixels::add(pixel, insideSum);
                            ++insideCount;
                        } else if (inkRow & bit) {
                            Pixels::add(pixel, inkSum);
                            ++inkCount;
                        }
                    }
                }
            }
            const std::size_t at = std::size_t(cy) * background.width + cx;
            // A cell with only a pixel or two of paper beside a letter takes
            // its colour from the paper around it instead: one pixel alone
            // carries all of the scanner's noise.
            if (paperCount >= std::min(leastPaperPixels, rows * columns)) {
                background.colours[at] = mean(paper, paperCount);
                background.known[at] = Layer::Known::yes;
            }
            if (insideCount > 0) {
                foreground.colours[at] = mean(insideSum, insideCount);
                foreground.known[at] = Layer::Known::yes;
            } else if (inkCount > 0) {
                foreground.colours[at] = mean(inkSum, inkCount);
                foreground.known[at] = Layer::Known::roughly;
            }
        }
    }
}

QImage prepared(const QImage& page) {
    switch (page.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_Grayscale8:
        return page;
    case QImage::Format_Grayscale16:
        return page.convertToFormat(QImage::Format_Grayscale8);
    default:
        return ImageFile::flattened(page).convertToFormat(QImage::Format_RGB32);
    }
}

template <typename Pixels> PageLayers split(const QImage& page) {
    PageLayers result;
    const Grid grid(page.width(), page.height());
    const std::vector<TileTones> tones = measureTones<Pixels>(page, grid);
    const int margin = paperMargin(tones);
    const std::vector<TileCut> cuts = cutTiles(tones, grid, margin);
    const PixImage ink = PixImage::adopt(pixCreate(page.width(), page.height(), 1));
    if (!ink) {
        return result;
    }
    const std::vector<TileCounts> counts = cutInk<Pixels>(page, grid, cuts, ink.get());

    const TileMarks pictures = pictureTiles(tones, counts, grid);
    const auto pictureCount = std::count(pictures.begin(), pictures.end(), 1);
    result.pictureShare = double(pictureCount) / double(grid.count());
    if (pictureCount * 2 > grid.count() ||
        paperTiles(tones, counts, grid, margin) * 2 < grid.count()) {
        result.outcome = PageLayers::Outcome::mostlyPicture;
        return result;
    }
    int softTiles = 0;
    for (int i = 0; i < grid.count(); ++i) {
        softTiles += !pictures[std::size_t(i)] && cuts[std::size_t(i)].ink > 0 &&
                     isSoft(counts[std::size_t(i)], grid.area(i));
    }
    if (softTiles >= mostSoftTiles) {
        result.outcome = PageLayers::Outcome::softInk;
        return result;
    }
    clearTiles(ink.get(), pictures, grid);

    const PixImage grown = PixImage::adopt(pixDilateBrick(nullptr, ink.get(), 5, 5));
    const PixImage inside = PixImage::adopt(pixErodeBrick(nullptr, ink.get(), 3, 3));
    if (!grown || !inside) {
        return result;
    }
    constexpr int r = PageLayers::reduction;
    Layer background((page.width() + r - 1) / r, (page.height() + r - 1) / r);
    Layer foreground(background.width, background.height);
    gatherLayers<Pixels>(page, grid, ink.get(), inside.get(), grown.get(), background, foreground);
    background.fill(qRgb(255, 255, 255));
    foreground.fill(qRgb(0, 0, 0));
    result.background = background.image(Pixels::colour);
    result.foreground = foreground.image(Pixels::colour);
    result.mask = monoImage(ink.get(), grid);
    if (result.background.isNull() || result.foreground.isNull() || result.mask.isNull()) {
        return {};
    }
    result.outcome = PageLayers::Outcome::layered;
    return result;
}

} // namespace

PageLayers PageLayers::split(const QImage& source) {
    constexpr int smallest = 4 * tile;
    if (source.format() == QImage::Format_Mono || source.format() == QImage::Format_MonoLSB ||
        source.width() < smallest || source.height() < smallest) {
        return {};
    }
    const QImage page = prepared(source);
    if (page.isNull()) {
        return {};
    }
    return page.format() == QImage::Format_Grayscale8 ? ::split<GreyPixels>(page)
                                                      : ::split<ColourPixels>(page);
}
