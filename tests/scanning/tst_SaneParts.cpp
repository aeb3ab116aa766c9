// The pieces of the SANE layer that need no device: turning frames into
// pages, writing page files, and reading backends' option vocabulary.
#include "pages/BlankPageDetector.h"
#include "pages/ImageFile.h"
#include "pages/PageSummary.h"
#include "pages/ScannedPage.h"
#include "scanning/PageFileWriter.h"
#include "scanning/sane/SaneNames.h"
#include "scanning/sane/SanePageAssembler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>

namespace {

using PixelType = ScanConfiguration::PixelType;
using SaneNames::SourceKind;

SANE_Parameters parameters(SANE_Frame format, int width, int lines, int depth, int bytesPerLine,
                           bool last = true) {
    SANE_Parameters p{};
    p.format = format;
    p.last_frame = last ? SANE_TRUE : SANE_FALSE;
    p.pixels_per_line = width;
    p.lines = lines;
    p.depth = depth;
    p.bytes_per_line = bytesPerLine;
    return p;
}

QByteArray hostOrder16(std::initializer_list<std::uint16_t> samples) {
    QByteArray bytes;
    for (const std::uint16_t sample : samples) {
        char raw[2];
        std::memcpy(raw, &sample, 2);
        bytes.append(raw, 2);
    }
    return bytes;
}

QImage assemble(std::initializer_list<std::pair<SANE_Parameters, QByteArray>> frames,
                PixelType wanted, QString* error = nullptr) {
    SanePageAssembler page;
    for (const auto& [p, data] : frames) {
        page.addFrame(p, data);
    }
    const auto image = page.image(wanted);
    if (!image) {
        if (error) {
            *error = image.failure();
        }
        return {};
    }
    return image.value();
}

} // namespace

class SanePartsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void framesBecomePages() {
        // 1-bit rows, 1 = black, leftmost pixel in the high bit, padded to 2 bytes.
        const QImage mono =
            assemble({{parameters(SANE_FRAME_GRAY, 3, 2, 1, 2), QByteArray("\xA0\xFF\x40\xFF", 4)}},
                     PixelType::blackAndWhite);
        QCOMPARE(mono.size(), QSize(3, 2));
        QCOMPARE(mono.depth(), 1);
        QCOMPARE(mono.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(mono.pixel(1, 0), qRgb(255, 255, 255));
        QCOMPARE(mono.pixel(2, 0), qRgb(0, 0, 0));
        QCOMPARE(mono.pixel(1, 1), qRgb(0, 0, 0));
        QCOMPARE(mono.pixel(0, 1), qRgb(255, 255, 255));

        // 8-bit grey with padded rows and one row fewer than announced.
        const QImage grey = assemble({{parameters(SANE_FRAME_GRAY, 2, 3, 8, 4),
                                       QByteArray("\x10\x20\xEE\xEE\x30\x40\xEE\xEE", 8)}},
                                     PixelType::grey);
        QCOMPARE(grey.format(), QImage::Format_Grayscale8);
        QCOMPARE(grey.size(), QSize(2, 2));
        QCOMPARE(qGray(grey.pixel(1, 1)), 0x40);

        // 16-bit samples in host byte order.
        const QImage deep =
            assemble({{parameters(SANE_FRAME_GRAY, 2, 1, 16, 4), hostOrder16({0x1234, 0xFE01})}},
                     PixelType::grey);
        QCOMPARE(qGray(deep.pixel(0, 0)), 0x12);
        QCOMPARE(qGray(deep.pixel(1, 0)), 0xFE);

        // Colour in one frame, 16-bit.
        const QImage rgb16 = assemble(
            {{parameters(SANE_FRAME_RGB, 1, 1, 16, 6), hostOrder16({0xFF00, 0x8000, 0x0100})}},
            PixelType::rgb);
        QCOMPARE(rgb16.pixel(0, 0), qRgb(0xFF, 0x80, 0x01));

        // Colour in three frames, arriving in any order; the shortest decides the height.
        const QImage three = assemble(
            {{parameters(SANE_FRAME_BLUE, 2, -1, 8, 2, false), QByteArray("\x03\x06\x09\x0C", 4)},
             {parameters(SANE_FRAME_RED, 2, -1, 8, 2, false), QByteArray("\x01\x04", 2)},
             {parameters(SANE_FRAME_GREEN, 2, -1, 8, 2, true), QByteArray("\x02\x05\x08\x0B", 4)}},
            PixelType::rgb);
        QCOMPARE(three.size(), QSize(2, 1));
        QCOMPARE(three.pixel(0, 0), qRgb(1, 2, 3));
        QCOMPARE(three.pixel(1, 0), qRgb(4, 5, 6));

        // A height not known in advance is whatever arrived, partial rows dropped.
        const QImage open = assemble({{parameters(SANE_FRAME_RGB, 1, -1, 8, 3),
                                       QByteArray("\x01\x02\x03\x04\x05\x06\x07", 7)}},
                                     PixelType::rgb);
        QCOMPARE(open.size(), QSize(1, 2));
        QCOMPARE(open.pixel(0, 1), qRgb(4, 5, 6));
    }

    void pagesTakeTheWantedPixelType() {
        const auto greyFrame =
            std::pair{parameters(SANE_FRAME_GRAY, 2, 1, 8, 2), QByteArray("\x20\xE0", 2)};
        // A device without a line-art mode: the grey page is thresholded.
        const QImage mono = assemble({greyFrame}, PixelType::blackAndWhite);
        QCOMPARE(mono.depth(), 1);
        QCOMPARE(mono.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(mono.pixel(1, 0), qRgb(255, 255, 255));
        // A device without a grey mode: the colour page becomes grey.
        const QImage grey =
            assemble({{parameters(SANE_FRAME_RGB, 1, 1, 8, 3), QByteArray("\xFF\xFF\xFF", 3)}},
                     PixelType::grey);
        QCOMPARE(grey.format(), QImage::Format_Grayscale8);
        QCOMPARE(qGray(grey.pixel(0, 0)), 255);
        // A device without colour: the grey page stays grey rather than faking colour.
        QCOMPARE(assemble({greyFrame}, PixelType::rgb).format(), QImage::Format_Grayscale8);
    }

    void unusableDataIsAnError() {
        QString error;
        QVERIFY(assemble({}, PixelType::rgb, &error).isNull());
        QCOMPARE(error, QString("The scanner did not send any image data."));
        // Rows too short for their pixels.
        QVERIFY(assemble({{parameters(SANE_FRAME_RGB, 4, 1, 8, 6), QByteArray(6, '\0')}},
                         PixelType::rgb, &error)
                    .isNull());
        QCOMPARE(error, QString("The scanner sent image data in a form that cannot be read."));
        // Fewer bytes than one row.
        QVERIFY(assemble({{parameters(SANE_FRAME_GRAY, 4, 1, 8, 4), QByteArray(3, '\0')}},
                         PixelType::grey, &error)
                    .isNull());
        QCOMPARE(error, QString("The scanner did not send any image data."));
        // Two colours of three.
        QVERIFY(assemble({{parameters(SANE_FRAME_RED, 1, 1, 8, 1, false), QByteArray(1, '\0')},
                          {parameters(SANE_FRAME_GREEN, 1, 1, 8, 1, true), QByteArray(1, '\0')}},
                         PixelType::rgb, &error)
                    .isNull());
        // A depth no backend should send.
        QVERIFY(assemble({{parameters(SANE_FRAME_GRAY, 1, 1, 4, 1), QByteArray(1, '\0')}},
                         PixelType::grey, &error)
                    .isNull());
    }

    void pageFilesNeverReplaceOthers() {
        QTemporaryDir dir;
        QFile taken(dir.filePath("page-1.png"));
        QVERIFY(taken.open(QIODevice::WriteOnly));
        taken.write("mine");
        taken.close();

        QImage page(4, 2, QImage::Format_Mono);
        page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        page.fill(0);
        page.setPixel(1, 1, 1);
        PageFileWriter writer(dir.path(), "page");
        const auto first = writer.write(page, 200.0);
        QVERIFY(first.ok());
        QCOMPARE(first.value(), QUrl::fromLocalFile(dir.filePath("page-2.png")));
        QVERIFY(taken.open(QIODevice::ReadOnly));
        QCOMPARE(taken.readAll(), QByteArray("mine"));

        const QImage back(first.value().toLocalFile());
        QCOMPARE(back.pixel(1, 1), qRgb(0, 0, 0));
        QCOMPARE(back.pixel(0, 0), qRgb(255, 255, 255));
        QCOMPARE(back.dotsPerMeterX(), 7874);

        // Without a known resolution the file states none (not Qt's 72 dpi).
        const auto second = writer.write(page, std::nullopt);
        QCOMPARE(second.value(), QUrl::fromLocalFile(dir.filePath("page-3.png")));
        QFile file(second.value().toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray png = file.readAll();
        QVERIFY(!png.contains("pHYs"));
        QVERIFY(!QImage::fromData(png).isNull());

        // A folder that does not exist is an error, not a crash or a silent loss.
        PageFileWriter nowhere(dir.filePath("missing"), "page");
        const auto failed = nowhere.write(page, 300.0);
        QVERIFY(!failed.ok());
        QVERIFY(failed.failure().startsWith("The scanned page could not be saved in "));
        // Pages are written under a temporary name first; none is left over.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"page-1.png", "page-2.png", "page-3.png"}));
    }

    void pageFilesAreTakenOnAsCacheFilesWithoutDecoding() {
        QTemporaryDir dir;
        const QUrl folder = QUrl::fromLocalFile(dir.path());
        const auto bytesOf = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        // A colour page as scanners deliver it (RGB888), with a block of ink.
        QImage page(300, 400, QImage::Format_RGB888);
        page.fill(Qt::white);
        for (int y = 100; y < 140; ++y) {
            for (int x = 60; x < 240; ++x) {
                page.setPixelColor(x, y, QColor(20, 30, 40 + x % 50));
            }
        }
        PageFileWriter writer(dir.path(), "page");
        const QUrl file = writer.write(page, 150.0).value();
        const QByteArray written = bytesOf(file.toLocalFile());

        // Any reader sees the page; the summary it carries is what the page
        // list measures on the decoded pixels.
        const QImage decoded = ImageFile::read(file, 0).value().image;
        QCOMPARE(decoded.convertToFormat(QImage::Format_RGB888), page);
        const auto stored = PageSummary::read(file.toLocalFile());
        QVERIFY(stored);
        QCOMPARE(stored->size, QSize(300, 400));
        QCOMPARE(stored->dpi, std::optional<double>(150.0));
        QCOMPARE(stored->summary.thumbnail, ScannedPage::makeThumbnail(decoded));
        QCOMPARE(stored->summary.inkShare, BlankPageDetector::inkShare(decoded, 150));
        QVERIFY(!BlankPageDetector::looksBlank(stored->summary.inkShare));

        // The import renames the file into the cache, byte for byte.
        const auto made = ScannedPage::make(file, folder, 300, true);
        QVERIFY(made.ok());
        const auto& adopted = made.value();
        QVERIFY(!QFileInfo::exists(file.toLocalFile()));
        QCOMPARE(QFileInfo(adopted->cacheURL().toLocalFile()).absolutePath(), dir.path());
        QCOMPARE(bytesOf(adopted->cacheURL().toLocalFile()), written);
        QCOMPARE(adopted->dpi(), 150.0);
        QCOMPARE(adopted->inkShare(), std::optional<double>(stored->summary.inkShare));

        // Every page the writer gives bears out its summary when checked
        // against its pixels, whatever its form and resolution.
        QImage mono(301, 77, QImage::Format_Mono);
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mono.fill(0);
        for (int x = 20; x < 280; ++x) {
            mono.setPixel(x, 40, 1);
        }
        for (const QImage& form : {page, page.convertToFormat(QImage::Format_Grayscale8), mono}) {
            for (const std::optional<double> dpi : {std::optional<double>(), {299.5}, {600.0}}) {
                const QUrl written = writer.write(form, dpi).value();
                QVERIFY(PageSummary::verified(bytesOf(written.toLocalFile())));
                QVERIFY(QFile::remove(written.toLocalFile()));
            }
        }

        // A summary that does not check out is ignored: the file is decoded
        // and measured like any other, and nothing else changes.
        const QUrl damaged = writer.write(page, std::nullopt).value();
        QByteArray bytes = bytesOf(damaged.toLocalFile());
        const qsizetype chunk = bytes.indexOf(PageSummary::chunkType);
        QVERIFY(chunk > 0);
        QVERIFY(!bytes.left(chunk).contains("pHYs")); // no resolution claimed
        bytes[chunk + 4 + 100] = char(bytes[chunk + 4 + 100] ^ 0x55);
        QFile out(damaged.toLocalFile());
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(out.write(bytes), bytes.size());
        out.close();
        QVERIFY(!PageSummary::read(damaged.toLocalFile()));
        const auto remade = ScannedPage::make(damaged, folder, 300, true);
        QVERIFY(remade.ok());
        QCOMPARE(remade.value()->dpi(), 300.0);
        QCOMPARE(remade.value()->thumbnail(), ScannedPage::makeThumbnail(decoded));
        QVERIFY(bytesOf(remade.value()->cacheURL().toLocalFile()) != bytes);
        QVERIFY(!QFileInfo::exists(damaged.toLocalFile()));
    }

    void noisyColourPagesAreKeptAsHighQualityJpeg() {
        QTemporaryDir dir;
        const QUrl folder = QUrl::fromLocalFile(dir.path());
        // A photograph-like colour page with sensor noise of a few levels on
        // every sample: lossless coding cannot make it compact.
        std::mt19937 random(7);
        const auto noisyPage = [&random](QImage::Format format, QSize size = {640, 900}) {
            QImage page(size, format);
            for (int y = 0; y < page.height(); ++y) {
                for (int x = 0; x < page.width(); ++x) {
                    const auto noisy = [&](int value) {
                        return std::clamp(value + int(random() % 9) - 4, 0, 255);
                    };
                    page.setPixel(x, y,
                                  qRgb(noisy(60 + x / 4), noisy(200 - y / 6), noisy(120 + x % 40)));
                }
            }
            return page;
        };
        const QImage page = noisyPage(QImage::Format_RGB888);
        PageFileWriter writer(dir.path(), "page");
        const QUrl file = writer.write(page, 300.0).value();
        QCOMPARE(file, QUrl::fromLocalFile(dir.filePath("page-1.jpg")));
        const qint64 bytes = QFileInfo(file.toLocalFile()).size();
        QVERIFY2(bytes <= qint64(page.width()) * page.height() * 9 / 10,
                 qPrintable(QString::number(bytes)));

        // Close to the scan: the differences are of the size of its noise.
        const auto decoded = ImageFile::read(file, 0).value();
        QCOMPARE(decoded.dpi, 300.0);
        const QImage back = decoded.image.convertToFormat(QImage::Format_RGB888);
        QCOMPARE(back.size(), page.size());
        double squares = 0;
        for (int y = 0; y < page.height(); ++y) {
            for (int x = 0; x < page.width() * 3; ++x) {
                const int difference = int(back.constScanLine(y)[x]) - page.constScanLine(y)[x];
                squares += difference * difference;
            }
        }
        QVERIFY(std::sqrt(squares / (double(page.width()) * page.height() * 3)) < 3.0);

        // The import keeps the JPEG as it is.
        const auto made = ScannedPage::make(file, folder, 150, true);
        QVERIFY(made.ok());
        const auto& cached = made.value();
        QVERIFY(!QFileInfo::exists(file.toLocalFile()));
        QVERIFY(cached->cacheURL().toLocalFile().endsWith(".jpg"));
        QCOMPARE(QFileInfo(cached->cacheURL().toLocalFile()).size(), bytes);
        QCOMPARE(cached->dpi(), 300.0);
        QCOMPARE(cached->loadFullImage().value(), decoded.image);

        // RGB32 pages take the same way, and so do pages too short to judge
        // from a sample of rows; grey pages, which lossless coding keeps
        // compact enough, stay exact.
        const QUrl short32 =
            writer.write(noisyPage(QImage::Format_RGB32, {400, 300}), 300.0).value();
        QCOMPARE(short32, QUrl::fromLocalFile(dir.filePath("page-2.jpg")));
        QCOMPARE(ImageFile::read(short32, 0).value().image.size(), QSize(400, 300));
        const QImage grey =
            noisyPage(QImage::Format_RGB888).convertToFormat(QImage::Format_Grayscale8);
        const QUrl greyFile = writer.write(grey, 300.0).value();
        QCOMPARE(greyFile, QUrl::fromLocalFile(dir.filePath("page-3.png")));
        QCOMPARE(ImageFile::read(greyFile, 0).value().image, grey);

        // Small clean colour pages are judged by their pixels alone (the
        // summary the file carries does not count): a plain white page and a
        // receipt at low resolution stay exact.
        QImage receipt(180, 520, QImage::Format_RGB888);
        receipt.fill(Qt::white);
        for (int y = 40; y < 480; y += 24) {
            for (int x = 20; x < 160; ++x) {
                receipt.setPixelColor(x, y, QColor(40, 40, 50));
            }
        }
        QImage white(236, 236, QImage::Format_RGB888);
        white.fill(Qt::white);
        for (const QImage& clean : {white, receipt}) {
            const QUrl small = writer.write(clean, 100.0).value();
            QVERIFY2(small.fileName().endsWith(".png"), qPrintable(small.fileName()));
            QCOMPARE(ImageFile::read(small, 0).value().image.convertToFormat(QImage::Format_RGB888),
                     clean);
        }
    }

    void sourceNamesOfRealBackends_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<SourceKind>("kind");
        QTest::newRow("Flatbed") << "Flatbed" << SourceKind::flatbed;
        QTest::newRow("Normal") << "Normal" << SourceKind::flatbed;
        QTest::newRow("Document Table") << "Document Table" << SourceKind::flatbed;
        QTest::newRow("ADF") << "ADF" << SourceKind::feeder;
        QTest::newRow("ADF Back") << "ADF Back" << SourceKind::feederBack;
        QTest::newRow("ADF Duplex") << "ADF Duplex" << SourceKind::feederDuplex;
        QTest::newRow("Transparency Unit") << "Transparency Unit" << SourceKind::film;
        QTest::newRow("something else") << "Camera" << SourceKind::unknown;
    }

    void sourceNamesOfRealBackends() {
        QFETCH(QString, name);
        QFETCH(SourceKind, kind);
        QCOMPARE(SaneNames::classifySource(name), kind);
    }

    void modeNamesOfRealBackends() {
        const auto mode = [](const QStringList& modes, PixelType type) {
            return SaneNames::modeFor(modes, type).value_or(QString());
        };
        const QStringList standard{"Lineart", "Halftone", "Gray", "Color"};
        QCOMPARE(mode(standard, PixelType::rgb), QString("Color"));
        QCOMPARE(mode(standard, PixelType::grey), QString("Gray"));
        QCOMPARE(mode(standard, PixelType::blackAndWhite), QString("Lineart"));
        const QStringList other{"Color Lineart", "Color Halftone", "Black & White", "True Gray",
                                "24bit Color"};
        QCOMPARE(mode(other, PixelType::rgb), QString("24bit Color"));
        QCOMPARE(mode(other, PixelType::grey), QString("True Gray"));
        QCOMPARE(mode(other, PixelType::blackAndWhite), QString("Black & White"));
        QCOMPARE(mode({"Binary", "Grayscale", "Colour"}, PixelType::blackAndWhite),
                 QString("Binary"));
        QCOMPARE(mode({"Binary", "Grayscale", "Colour"}, PixelType::rgb), QString("Colour"));
        // The test backend has no line-art mode at all.
        QCOMPARE(SaneNames::modeFor({"Gray", "Color"}, PixelType::blackAndWhite),
                 std::optional<QString>());

        QCOMPARE(SaneNames::duplexAdfMode({"Simplex", "Duplex"}), std::optional<QString>("Duplex"));
        QCOMPARE(SaneNames::simplexAdfMode({"Simplex", "Duplex"}),
                 std::optional<QString>("Simplex"));
        QCOMPARE(SaneNames::duplexAdfMode({"Simplex"}), std::optional<QString>());
    }
};

QTEST_GUILESS_MAIN(SanePartsTest)
#include "tst_SaneParts.moc"
