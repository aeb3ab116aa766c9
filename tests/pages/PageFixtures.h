#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QUrl>

// Helpers shared by the page tests: small images in every format the
// application meets, hand-made files with exactly the metadata a case needs,
// and the command-line PDF checkers.

namespace PageFixtures {

// A colour image with some structure (so that rotations can be told apart).
QImage colourImage(int width, int height);
// The same as 8-bit grey and as 1-bit black and white.
QImage greyImage(int width, int height);
QImage monoImage(int width, int height);

// The font of the pages of text (installed by the set-up).
inline const QString dejaVuSans = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");

// A page of printed text: lines of English words in DejaVu Sans, loaded from
// its file so that no other installed font can stand in for it. Needs a
// QGuiApplication (Qt's offscreen platform will do).
struct TextPage {
    QImage image;            // white paper, black text
    QStringList words;       // in reading order
    QList<QRectF> wordBoxes; // each word's ink box, in pixels
};
// `pixels` at `dpi`, text of `points` size with a margin of an inch; `mono`
// gives a 1-bit page (a scanner's threshold), otherwise 8-bit grey.
// `fontFile` names another font file to set it in (one the set-up installs).
TextPage textPage(QSize pixels, int dpi, double points, bool mono,
                  const QString& fontFile = dejaVuSans);

// The image with its content turned clockwise by `degrees` about its centre,
// drawn smoothly by Qt on a canvas of the same size and format filled with
// `paper` (a 1-bit image is turned in grey and thresholded again).
QImage skewed(const QImage& image, double degrees, QColor paper = Qt::white);

// A photograph-like colour page: overlapping soft blobs of colour on a
// smooth gradient, with no straight edge and no text anywhere.
QImage photoPage(QSize pixels, unsigned seed);

// Printed colour pages as a scanner delivers them: the grey text page's
// black laid onto paper of `paper` in `ink` (Format_RGB32), then sensor
// noise of the given deviation added to every sample (Gaussian, fixed seed).
QImage inked(const QImage& greyText, QColor paper, QColor ink);
QImage withNoise(QImage image, double deviation, unsigned seed);

QUrl write(const QString& path, const QByteArray& bytes);
QByteArray readAll(const QString& path);

// The mean difference of the colour samples of two images of the same size,
// and the largest (255 for images of different sizes).
double meanDifference(const QImage& a, const QImage& b);
int largestDifference(const QImage& a, const QImage& b);

// Encodes with Qt's own writers (which always state a resolution).
QByteArray qtEncoded(const QImage& image, const char* format, double dpi);

// A minimal uncompressed 8-bit grey TIFF with the given XResolution tag
// (numerator/denominator) and ResolutionUnit (0 = tag absent).
QByteArray tiffWithResolution(quint32 numerator, quint32 denominator, quint16 unit);

// A JPEG whose JFIF block states no resolution, followed by an Exif block
// with the given XResolution and ResolutionUnit (2 = inches); `exifDpi` 0
// leaves the Exif block out.
QByteArray jpegWithExifOnly(const QImage& image, quint32 exifDpi, quint16 unit = 2);

// A PNG header declaring a huge image, with a tiny, meaningless body.
QByteArray pngDeclaring(quint32 width, quint32 height);

// A run-length encoded 8-bit BMP declaring any size, with a few bytes of
// pixels that fill it mostly by omission.
QByteArray rle8BmpDeclaring(quint32 width, quint32 height);

// Runs a tool and returns its standard output; fails the test on error.
QString run(const QString& program, const QStringList& arguments);

struct PdfImage {
    QString type; // image, stencil...
    int width;
    int height;
    QString colour; // rgb, gray, -
    int bitsPerComponent;
    QString encoding; // jpeg, image...
    int page = 0;     // counted from 1
};
// `pdfimages -list` of a file.
QList<PdfImage> pdfImages(const QString& path);
// "W x H" page sizes from pdfinfo, one per page ("595.2 x 841.92").
QStringList pdfPageSizes(const QString& path, int pages);

} // namespace PageFixtures
