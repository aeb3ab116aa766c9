#include "PageFixtures.h"

#include "pages/ImageFile.h"
#include "pages/MonoBits.h"

#include <QBuffer>
#include <QFile>
#include <QGlyphRun>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QRadialGradient>
#include <QRawFont>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace PageFixtures {

QImage colourImage(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(250, 248, 240));
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height / 4, QColor(200, 30, 30)); // top-left marker
    painter.fillRect(width / 4, height / 2, width / 2, height / 4, QColor(30, 60, 200));
    return image;
}

QImage greyImage(int width, int height) {
    return colourImage(width, height).convertToFormat(QImage::Format_Grayscale8);
}

QImage monoImage(int width, int height) {
    QImage image(width, height, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(1);
    for (int y = 0; y < height / 4; ++y) {
        for (int x = 0; x < width / 2; ++x) {
            image.setPixel(x, y, 0);
        }
    }
    return image;
}

TextPage textPage(QSize pixels, int dpi, double points, bool mono, const QString& fontFile) {
    static const QStringList vocabulary =
        QStringLiteral(
            "the quick brown fox jumps over lazy dog paper scanner document contract page "
            "invoice letter number seven twelve account office market river window garden "
            "morning evening station library report summary signed agreed payment delivery "
            "between parties hereby clause annual budget meeting minutes village country")
            .split(u' ');
    TextPage page;
    QImage grey(pixels, QImage::Format_Grayscale8);
    grey.fill(255);
    const QRawFont font(fontFile, points * dpi / 72.0);
    if (!font.isValid()) {
        qFatal("cannot load the font %s", qPrintable(fontFile));
    }
    const double margin = dpi;
    const double lineHeight = font.pixelSize() * 1.6;
    const double space =
        font.advancesForGlyphIndexes(font.glyphIndexesForString(QStringLiteral(" "))).value(0).x();
    QPainter painter(&grey);
    painter.setPen(Qt::black);
    unsigned state = 12345;
    for (double baseline = margin + font.ascent();
         baseline + font.descent() < pixels.height() - margin; baseline += lineHeight) {
        double x = margin;
        for (;;) {
            state = state * 1103515245u + 12345u;
            const QString word = vocabulary[int((state >> 16) % unsigned(vocabulary.size()))];
            const QList<quint32> glyphs = font.glyphIndexesForString(word);
            const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs);
            QList<QPointF> positions;
            QRectF ink;
            double pen = x;
            for (qsizetype i = 0; i < glyphs.size(); ++i) {
                positions.append(QPointF(pen, baseline));
                ink |= font.boundingRect(glyphs[i]).translated(pen, baseline);
                pen += advances[i].x();
            }
            if (pen > pixels.width() - margin) {
                break;
            }
            QGlyphRun run;
            run.setRawFont(font);
            run.setGlyphIndexes(glyphs);
            run.setPositions(positions);
            painter.drawGlyphRun(QPointF(0, 0), run);
            page.words.append(word);
            page.wordBoxes.append(ink);
            x = pen + space;
        }
    }
    painter.end();
    page.image = mono ? MonoBits::fromGrey(grey) : std::move(grey);
    return page;
}

QImage inked(const QImage& greyText, QColor paper, QColor ink) {
    const QImage grey = greyText.convertToFormat(QImage::Format_Grayscale8);
    QImage out(grey.size(), QImage::Format_RGB32);
    const auto mix = [](int p, int i, int g) { return (p * g + i * (255 - g) + 127) / 255; };
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* in = grey.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < grey.width(); ++x) {
            line[x] =
                qRgb(mix(paper.red(), ink.red(), in[x]), mix(paper.green(), ink.green(), in[x]),
                     mix(paper.blue(), ink.blue(), in[x]));
        }
    }
    return out;
}

QImage withNoise(QImage image, double deviation, unsigned seed) {
    // Gaussian samples from a table, picked by a fast generator.
    std::mt19937 random(seed);
    std::normal_distribution<double> gaussian(0.0, deviation);
    std::vector<int> table(4096);
    for (int& n : table) {
        n = int(std::lround(gaussian(random)));
    }
    std::uint32_t state = seed * 2654435761u + 1;
    const auto noisy = [&](int v) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return std::clamp(v + table[state & 4095], 0, 255);
    };
    for (int y = 0; y < image.height(); ++y) {
        if (image.format() == QImage::Format_Grayscale8) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x) {
                line[x] = uchar(noisy(line[x]));
            }
            continue;
        }
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            line[x] = qRgb(noisy(qRed(p)), noisy(qGreen(p)), noisy(qBlue(p)));
        }
    }
    return image;
}

QImage skewed(const QImage& image, double degrees, QColor paper) {
    const bool mono = image.format() == QImage::Format_Mono;
    const QImage source = mono ? MonoBits::toGrey(image) : image;
    QImage canvas(source.size(), source.format() == QImage::Format_Grayscale8
                                     ? QImage::Format_Grayscale8
                                     : QImage::Format_RGB32);
    canvas.fill(paper);
    QPainter painter(&canvas);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    painter.translate(canvas.width() / 2.0, canvas.height() / 2.0);
    painter.rotate(degrees);
    painter.translate(-canvas.width() / 2.0, -canvas.height() / 2.0);
    painter.drawImage(0, 0, source);
    painter.end();
    return mono ? MonoBits::fromGrey(canvas) : canvas;
}

QImage photoPage(QSize pixels, unsigned seed) {
    QImage image(pixels, QImage::Format_RGB32);
    QRadialGradient light(QPointF(pixels.width() * 0.3, pixels.height() * 0.2),
                          std::max(pixels.width(), pixels.height()));
    light.setColorAt(0, QColor(230, 200, 150));
    light.setColorAt(1, QColor(60, 80, 110));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(image.rect(), light);
    painter.setPen(Qt::NoPen);
    unsigned state = seed * 2654435761u + 1;
    const auto unit = [&state] {
        state = state * 1103515245u + 12345u;
        return double((state >> 8) & 0xFFFF) / 65535.0;
    };
    const double size = std::min(pixels.width(), pixels.height());
    for (int i = 0; i < 80; ++i) {
        const QPointF centre(unit() * pixels.width(), unit() * pixels.height());
        const double radius = size * (0.03 + 0.2 * unit());
        const QColor colour = QColor::fromHsvF(float(unit()), float(0.3 + 0.6 * unit()),
                                               float(0.2 + 0.7 * unit()), 0.8f);
        QRadialGradient blob(centre, radius);
        blob.setColorAt(0, colour);
        blob.setColorAt(1, QColor(colour.red(), colour.green(), colour.blue(), 0));
        painter.setBrush(blob);
        painter.drawEllipse(centre, radius, radius);
    }
    return image;
}

QUrl write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return QUrl::fromLocalFile(path);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

namespace {

// Calls `visit` with the difference of each pair of colour samples.
template <typename Visit> void sampleDifferences(const QImage& a, const QImage& b, Visit visit) {
    const QImage x = a.convertToFormat(QImage::Format_RGB888);
    const QImage y = b.convertToFormat(QImage::Format_RGB888);
    for (int row = 0; row < x.height(); ++row) {
        const uchar* p = x.constScanLine(row);
        const uchar* q = y.constScanLine(row);
        for (int i = 0; i < x.width() * 3; ++i) {
            visit(std::abs(int(p[i]) - int(q[i])));
        }
    }
}

} // namespace

double meanDifference(const QImage& a, const QImage& b) {
    double sum = 0;
    sampleDifferences(a, b, [&sum](int d) { sum += d; });
    return sum / (double(a.width()) * a.height() * 3);
}

int largestDifference(const QImage& a, const QImage& b) {
    int largest = a.size() == b.size() ? 0 : 255;
    if (largest == 0) {
        sampleDifferences(a, b, [&largest](int d) { largest = std::max(largest, d); });
    }
    return largest;
}

QByteArray qtEncoded(const QImage& image, const char* format, double dpi) {
    QImage copy = image;
    copy.setDotsPerMeterX(qRound(dpi / 0.0254));
    copy.setDotsPerMeterY(qRound(dpi / 0.0254));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(copy)) {
        qFatal("cannot encode %s: %s", format, qPrintable(writer.errorString()));
    }
    return data;
}

namespace {

void appendLE16(QByteArray& out, quint16 value) {
    out.append(char(value & 0xFF)).append(char(value >> 8));
}
void appendLE32(QByteArray& out, quint32 value) {
    appendLE16(out, quint16(value & 0xFFFF));
    appendLE16(out, quint16(value >> 16));
}
void appendEntry(QByteArray& out, quint16 tag, quint16 type, quint32 count, quint32 value) {
    appendLE16(out, tag);
    appendLE16(out, type);
    appendLE32(out, count);
    appendLE32(out, value);
}

} // namespace

QByteArray tiffWithResolution(quint32 numerator, quint32 denominator, quint16 unit) {
    constexpr quint32 width = 8, height = 8;
    const bool withResolution = numerator != 0;
    const quint16 entries = 8 + (withResolution ? 1 : 0) + (unit != 0 ? 1 : 0);
    const quint32 directory = 8;
    const quint32 directorySize = 2 + entries * 12 + 4;
    const quint32 rational = directory + directorySize;
    const quint32 pixels = rational + 8;

    QByteArray out("II*\0", 4);
    appendLE32(out, directory);
    appendLE16(out, entries);
    appendEntry(out, 256, 4, 1, width);          // ImageWidth
    appendEntry(out, 257, 4, 1, height);         // ImageLength
    appendEntry(out, 258, 3, 1, 8);              // BitsPerSample
    appendEntry(out, 259, 3, 1, 1);              // Compression: none
    appendEntry(out, 262, 3, 1, 1);              // Photometric: black is zero
    appendEntry(out, 273, 4, 1, pixels);         // StripOffsets
    appendEntry(out, 278, 4, 1, height);         // RowsPerStrip
    appendEntry(out, 279, 4, 1, width * height); // StripByteCounts
    if (withResolution) {
        appendEntry(out, 282, 5, 1, rational); // XResolution
    }
    if (unit != 0) {
        appendEntry(out, 296, 3, 1, unit); // ResolutionUnit
    }
    appendLE32(out, 0); // no next directory
    appendLE32(out, numerator);
    appendLE32(out, denominator == 0 ? 1 : denominator);
    out.append(QByteArray(int(width * height), char(0x80)));
    return out;
}

QByteArray jpegWithExifOnly(const QImage& image, quint32 exifDpi, quint16 unit) {
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    if (!ImageFile::encodeJPEG(image, buffer, 0, 90)) { // JFIF without resolution
        qFatal("cannot encode JPEG");
    }
    if (exifDpi == 0) {
        return jpeg;
    }
    // Exif: TIFF header, one directory with XResolution and ResolutionUnit.
    QByteArray tiff("II*\0", 4);
    appendLE32(tiff, 8);
    appendLE16(tiff, 2);
    appendEntry(tiff, 282, 5, 1, 8 + 2 + 2 * 12 + 4);
    appendEntry(tiff, 296, 3, 1, unit);
    appendLE32(tiff, 0);
    appendLE32(tiff, exifDpi);
    appendLE32(tiff, 1);
    QByteArray segment("Exif\0\0", 6);
    segment += tiff;
    QByteArray app1("\xFF\xE1", 2);
    const quint16 length = quint16(segment.size() + 2);
    app1.append(char(length >> 8)).append(char(length & 0xFF));
    app1 += segment;
    // After SOI and the JFIF APP0 segment.
    const int app0Length = (quint8(jpeg[4]) << 8) | quint8(jpeg[5]);
    jpeg.insert(4 + app0Length, app1);
    return jpeg;
}

QByteArray pngDeclaring(quint32 width, quint32 height) {
    QImage tiny(1, 1, QImage::Format_Grayscale8);
    tiny.fill(0);
    QByteArray png = qtEncoded(tiny, "png", 72);
    // IHDR data starts at byte 16: width and height, big-endian; then fix the CRC.
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    quint32 value = 0xFFFFFFFFu; // CRC-32 of the chunk type and data
    for (int i = 12; i < 12 + 17; ++i) {
        value ^= quint8(png[i]);
        for (int bit = 0; bit < 8; ++bit) {
            value = (value >> 1) ^ (0xEDB88320u & (0u - (value & 1u)));
        }
    }
    qToBigEndian(value ^ 0xFFFFFFFFu, png.data() + 29);
    return png;
}

QByteArray rle8BmpDeclaring(quint32 width, quint32 height) {
    QByteArray pixels;
    for (quint32 row = 0; row < height; ++row) {
        pixels.append("\x02\x01\x00\x00", 4); // two pixels of colour 1, end of line
    }
    pixels.append("\x00\x01", 2); // end of bitmap
    const quint32 pixelsAt = 14 + 40 + 256 * 4;
    QByteArray bmp("BM", 2);
    appendLE32(bmp, pixelsAt + quint32(pixels.size()));
    appendLE32(bmp, 0);
    appendLE32(bmp, pixelsAt);
    appendLE32(bmp, 40); // BITMAPINFOHEADER
    appendLE32(bmp, width);
    appendLE32(bmp, height);
    appendLE16(bmp, 1); // planes
    appendLE16(bmp, 8); // bits per pixel
    appendLE32(bmp, 1); // BI_RLE8
    appendLE32(bmp, quint32(pixels.size()));
    appendLE32(bmp, 11811); // 300 dpi
    appendLE32(bmp, 11811);
    appendLE32(bmp, 256);
    appendLE32(bmp, 0);
    for (quint32 i = 0; i < 256; ++i) {
        appendLE32(bmp, i * 0x010101u);
    }
    return bmp + pixels;
}

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        QTest::qFail(
            qPrintable(QStringLiteral("%1 failed: %2")
                           .arg(program, QString::fromLocal8Bit(process.readAllStandardError()))),
            __FILE__, __LINE__);
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QList<PdfImage> pdfImages(const QString& path) {
    QList<PdfImage> images;
    const QStringList lines = run("pdfimages", {"-list", path}).split(u'\n');
    for (const QString& line : lines.mid(2)) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() < 10) {
            continue;
        }
        images.append({f[2], f[3].toInt(), f[4].toInt(), f[5], f[7].toInt(), f[8], f[0].toInt()});
    }
    return images;
}

QStringList pdfPageSizes(const QString& path, int pages) {
    QStringList sizes;
    const QString info = run("pdfinfo", {"-f", "1", "-l", QString::number(pages), path});
    static const QRegularExpression pattern(
        QStringLiteral(R"(Page\s+\d+ size:\s+([\d.]+ x [\d.]+) pts)"));
    for (auto match = pattern.globalMatch(info); match.hasNext();) {
        sizes.append(match.next().captured(1));
    }
    return sizes;
}

} // namespace PageFixtures
