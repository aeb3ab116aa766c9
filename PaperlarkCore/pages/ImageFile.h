#pragma once

#include "Result.h"

#include <QImage>
#include <QString>
#include <QUrl>

class QIODevice;

// Decoding of image files with the resolution they state, PNG and JPEG
// encoding with resolution metadata, and rotation by quarter turns.
// Stateless: every operation is static.
//
// Decoded images keep the depth that carries meaning: black-and-white images
// come back as QImage::Format_Mono (0 = black, 1 = white), greyscale ones as
// Format_Grayscale8, images with transparency as Format_ARGB32 and all others
// as Format_RGB32. Encoding and rotation keep those formats.
class ImageFile {
public:
    struct Failure {
        enum class Kind { unreadable, unwritable, badContext };
        Kind kind = Kind::badContext;
        // The file concerned; empty for badContext.
        QUrl url;

        static Failure unreadable(const QUrl& url) { return {Kind::unreadable, url}; }
        static Failure unwritable(const QUrl& url) { return {Kind::unwritable, url}; }
        static Failure badContext() { return {Kind::badContext, {}}; }

        // "Could not read the image at NAME." and so on; only the file's last
        // path component is named.
        QString description() const;
        bool operator==(const Failure&) const = default;
    };

    struct Decoded {
        QImage image;
        double dpi = 0;
        // What the data was: "png", "jpeg", "tiff" or "bmp".
        QByteArray format;
    };

    // Decodes the first image of a PNG, JPEG, TIFF or BMP file. The resolution
    // is PageRule::resolution of the horizontal one stated by the file and
    // fallbackDpi. A file whose size or stated resolution PageRule refuses is
    // unreadable (judged from the header, before the pixels are decoded).
    static Result<Decoded, Failure> read(const QUrl& url, double fallbackDpi);
    // The same for the bytes of such a file already in memory; `url` is the
    // file they came from, named in the failure.
    static Result<Decoded, Failure> decode(const QByteArray& bytes, const QUrl& url,
                                           double fallbackDpi);

    // Encode to a file, replacing any file already there. The file appears
    // complete and on disk or not at all (see DurableFile): on failure, or if
    // the process dies half-way, the previous file (if any) is left as it was.
    // A dpi of 1 or less writes no resolution. JPEG quality is a percentage,
    // clamped to 10...100. writePNG compresses for speed by default (see
    // cacheCompression).
    static Result<void, Failure> writePNG(const QImage& image, const QUrl& url, double dpi,
                                          int compression = cacheCompression);
    static Result<void, Failure> writeJPEG(const QImage& image, const QUrl& url, double dpi,
                                           int quality);

    // Encode to an open device; false when encoding or writing failed.
    // `compression` is a deflate level 0...12 (see PngEncoder).
    static bool encodePNG(const QImage& image, QIODevice& device, double dpi, int compression);
    static bool encodeJPEG(const QImage& image, QIODevice& device, double dpi, int quality);

    // The deflate level used for the private page cache, where speed matters
    // more than size: scanned pages carry sensor noise, which no lossless
    // coding removes. The fastest level takes an A4 colour page at 300 dpi
    // from 25 MB of pixels to about 10 MB, at about 170 ms of processor time;
    // level 3 saves another 9 % at twice the time, and level 12 (7.7 MB) takes
    // eight seconds. And the level used for PNG documents the user keeps.
    static constexpr int cacheCompression = 1;
    static constexpr int documentCompression = 3;

    // The libjpeg quality (1...100) used for a quality percentage.
    static int jpegLibraryQuality(int percent);

    // Rotates by quarter turns clockwise (any integer; taken modulo 4, so -1
    // is 3). Zero turns returns the image untouched. Transparency is flattened
    // onto white; black-and-white and greyscale images keep their format.
    // Fails with badContext only when memory for the result is not available.
    static Result<QImage, Failure> rotate(const QImage& image, int quarterTurnsClockwise);

    // The image composited onto opaque white (the image itself when it has no
    // alpha channel).
    static QImage flattened(const QImage& image);

    // The image in the format read() would give for it (see above); a null
    // image when memory runs out.
    static QImage normalised(const QImage& image);
};
