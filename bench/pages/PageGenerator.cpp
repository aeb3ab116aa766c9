#include "PageGenerator.h"

#include "PageFixtures.h"
#include "pages/MonoBits.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

namespace {

// Draws lines of "words": runs of small glyph-like strokes, as on a printed page.
void drawText(QPainter& painter, const QRectF& area, double scale, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double lineHeight = 14.0 * scale;
    const double glyph = 6.0 * scale;
    painter.setPen(QPen(QColor(28, 28, 34), 0.9 * scale, Qt::SolidLine, Qt::RoundCap));
    for (double y = area.top() + lineHeight; y < area.bottom(); y += lineHeight) {
        double x = area.left();
        const double lineEnd = area.right() - (unit(random) < 0.15 ? area.width() * 0.4 : 0);
        while (x < lineEnd) {
            const int letters = 2 + int(unit(random) * 8);
            for (int i = 0; i < letters && x < lineEnd; ++i) {
                QPainterPath path;
                const double h = glyph * (unit(random) < 0.3 ? 1.4 : 1.0);
                path.moveTo(x, y);
                path.cubicTo(x + glyph * unit(random), y - h, x + glyph * unit(random),
                             y - h * unit(random), x + glyph * 0.8, y - h * 0.2);
                if (unit(random) < 0.5) {
                    path.moveTo(x + glyph * 0.1, y - h * 0.5);
                    path.lineTo(x + glyph * 0.7, y - h * 0.6);
                }
                painter.drawPath(path);
                x += glyph * (0.9 + 0.3 * unit(random));
            }
            x += glyph * 1.2;
        }
    }
}

// A photo-like block: smooth colour fields, soft blobs and fine texture.
void drawPhoto(QPainter& painter, const QRectF& area, double scale, std::mt19937& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    QLinearGradient sky(area.topLeft(), area.bottomLeft());
    sky.setColorAt(0, QColor(90, 140, 210));
    sky.setColorAt(0.55, QColor(200, 215, 230));
    sky.setColorAt(0.56, QColor(70, 120, 60));
    sky.setColorAt(1, QColor(40, 80, 35));
    painter.fillRect(area, sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 40; ++i) {
        const QPointF centre(area.left() + unit(random) * area.width(),
                             area.top() + unit(random) * area.height());
        const double radius = (20 + unit(random) * 120) * scale;
        QRadialGradient blob(centre, radius);
        const QColor colour =
            QColor::fromHsvF(float(unit(random)), 0.5f + 0.4f * float(unit(random)),
                             0.4f + 0.5f * float(unit(random)), 0.7f);
        blob.setColorAt(0, colour);
        blob.setColorAt(1, QColor(colour.red(), colour.green(), colour.blue(), 0));
        painter.setBrush(blob);
        painter.drawEllipse(centre, radius, radius);
    }
    painter.setPen(QPen(QColor(20, 40, 20, 90), 0.6 * scale));
    for (int i = 0; i < 3000; ++i) { // grass-like texture
        const QPointF base(area.left() + unit(random) * area.width(),
                           area.top() + area.height() * (0.56 + 0.44 * unit(random)));
        painter.drawLine(base, base + QPointF((unit(random) - 0.5) * 4 * scale, -8 * scale));
    }
}

} // namespace

QSize PageGenerator::a4(int dpi) {
    return {int(std::lround(210.0 / 25.4 * dpi)), int(std::lround(297.0 / 25.4 * dpi))};
}

QString PageGenerator::name(Kind kind) {
    switch (kind) {
    case Kind::colour:
        return QStringLiteral("colour");
    case Kind::grey:
        return QStringLiteral("grey");
    case Kind::mono:
        break;
    }
    return QStringLiteral("1-bit");
}

QImage PageGenerator::page(Kind kind, int dpi, unsigned seed) {
    const QSize size = a4(dpi);
    const double scale = dpi / 72.0; // drawing in points
    std::mt19937 random(seed);

    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(247, 245, 238));
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const double margin = 56 * scale;
        const double width = size.width() - 2 * margin;
        drawText(painter, QRectF(margin, margin, width, size.height() * 0.42), scale, random);
        drawPhoto(painter, QRectF(margin, size.height() * 0.47, width * 0.62, size.height() * 0.28),
                  scale, random);
        drawText(
            painter,
            QRectF(margin + width * 0.66, size.height() * 0.47, width * 0.34, size.height() * 0.28),
            scale, random);
        drawText(painter,
                 QRectF(margin, size.height() * 0.78, width, size.height() * 0.22 - margin), scale,
                 random);
    }

    return scanned(image, kind, seed);
}

QImage PageGenerator::textPage(int dpi, Kind kind) {
    const QImage grey = PageFixtures::textPage(a4(dpi), dpi, 11, false).image;
    return scanned(grey.convertToFormat(QImage::Format_RGB32), kind, 7);
}

QStringList PageGenerator::textPageWords(int dpi) {
    return PageFixtures::textPage(a4(dpi), dpi, 11, false).words;
}

QImage PageGenerator::photoPage(int dpi, Kind kind, unsigned seed) {
    std::mt19937 random(seed);
    QImage image(a4(dpi), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        drawPhoto(painter, QRectF(QPointF(0, 0), image.size()), dpi / 72.0, random);
    }
    return scanned(image, kind, seed);
}

QImage PageGenerator::scanned(QImage image, Kind kind, unsigned seed) {
    const QSize size = image.size();
    std::mt19937 random(seed);
    // Sensor noise from a table of Gaussian samples, picked by a fast generator.
    std::array<int, 4096> noise{};
    std::normal_distribution<double> gaussian(0.0, PageGenerator::noiseSigma);
    for (int& n : noise) {
        n = int(std::lround(gaussian(random)));
    }
    std::uint32_t state = seed * 2654435761u + 1;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const auto noisy = [&](int value) { return std::clamp(value + noise[next() & 4095], 0, 255); };

    if (kind == Kind::colour) {
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                const QRgb p = line[x];
                line[x] = qRgb(noisy(qRed(p)), noisy(qGreen(p)), noisy(qBlue(p)));
            }
        }
        return image;
    }
    QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    image = QImage();
    for (int y = 0; y < size.height(); ++y) {
        uchar* line = grey.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            line[x] = uchar(noisy(line[x]));
        }
    }
    if (kind == Kind::grey) {
        return grey;
    }
    // A black-and-white scan: the scanner thresholds the noisy grey signal.
    return MonoBits::fromGrey(grey);
}
