#pragma once

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

// What a page may be: its pixel size, its resolution and the forms of its
// files. Every door a page comes in by (importing a file, scanning, the
// scanner worker's files, restoring a session) and the session manifest, in
// writing and in reading, judge by these same rules, so that whatever was
// taken on as a page is restored as one, and whatever does not fit is refused
// where it comes in rather than dropped later.
class PageRule {
public:
    // Images whose decoded pixels would take more than this many bytes (at
    // 32 bits a pixel), or with a side longer than maxSide pixels, are not
    // pages.
    static constexpr std::int64_t maxDecodedBytes = std::int64_t{1} << 30;
    // The longest side: well below JPEG's 65500 and libpng's million, and
    // within the signed 16-bit sizes many PDF viewers and image tools still
    // use.
    static constexpr int maxSide = 32767;
    // The highest resolution a page may state, in dots per inch. Every output
    // stores it (PNG's dots per metre, the PDF page size to six decimals).
    static constexpr double maxDpi = 100000;

    // True when an image of this size can be a page: cached and saved in
    // every format.
    static bool fitsSize(const QSize& size);

    // Whether a page may carry this resolution: a finite number from 0 to
    // maxDpi, where 1 or less stands for "not known" (outputs then assume
    // their own default).
    static bool fitsResolution(double dpi);

    // The resolution a page made from a file gets: the one the file states
    // (a number greater than 1; none counts as not stated) when it fits,
    // else the fallback, or 0 (not known) when the fallback does not fit
    // either. None when the file states a resolution that does not fit: such
    // a file is refused.
    static std::optional<double> resolution(std::optional<double> stated, double fallback);

    // Decoded formats an imported file may have, as QImageReader names them.
    static bool isImportFormat(const QByteArray& format);

    // "page_" + upper-case UUID + ".png" or ".jpg": the names of the page
    // cache's files, and the only names a manifest entry may give.
    static bool isCacheFileName(const QString& name);
};
