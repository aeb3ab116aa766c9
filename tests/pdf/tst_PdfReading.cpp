#include "pdf/PdfDocumentReader.h"
#include "pdf/PdfImagePlacement.h"
#include "pdf/PdfReaderProtocol.h"

#include <QTest>

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <optional>

using Handle = QPDFObjectHandle;
using PdfReaderProtocol::Kind;

namespace {

// A one-page PDF of 100 x 50 points whose resources hold the images given
// (name, dictionary, raw data) and whose content is `content`.
QByteArray onePage(const std::string& content,
                   const std::vector<std::tuple<std::string, std::string, std::string>>& images,
                   int rotate = 0, const std::string& box = "[0 0 100 50]") {
    QPDF pdf;
    pdf.emptyPDF();
    // "@icc" in a dictionary stands for a one-component ICC profile stream.
    Handle icc = pdf.newStream(std::string("profile"));
    icc.getDict().replaceKey("/N", Handle::newInteger(1));
    const std::string iccReference = std::to_string(icc.getObjectID()) + " 0 R";
    Handle xobjects = Handle::newDictionary();
    for (const auto& [name, given, data] : images) {
        std::string dict = given;
        if (const auto at = dict.find("@icc"); at != std::string::npos) {
            dict.replace(at, 4, iccReference);
        }
        Handle image = pdf.newStream(data);
        Handle parsed = Handle::parse(&pdf, dict);
        for (const auto& key : parsed.getKeys()) {
            image.getDict().replaceKey(key, parsed.getKey(key));
        }
        if (name == "/Fm0") {
            // The image drawn by a form that covers the page, as OCR
            // software nests a scan.
            Handle form = pdf.newStream(std::string("q 100 0 0 50 0 0 cm /Im0 Do Q"));
            form.getDict().replaceKey("/Type", Handle::newName("/XObject"));
            form.getDict().replaceKey("/Subtype", Handle::newName("/Form"));
            form.getDict().replaceKey("/BBox", Handle::parse("[0 0 100 50]"));
            Handle inner = Handle::newDictionary();
            inner.replaceKey("/Im0", image);
            Handle formResources = Handle::newDictionary();
            formResources.replaceKey("/XObject", inner);
            form.getDict().replaceKey("/Resources", formResources);
            image = form;
        }
        xobjects.replaceKey(name, image);
    }
    Handle resources = Handle::newDictionary();
    resources.replaceKey("/XObject", xobjects);
    resources.replaceKey(
        "/Font", Handle::parse("<< /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >>"));
    Handle page = Handle::parse("<< /Type /Page /MediaBox " + box + " >>");
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", pdf.newStream(content));
    if (rotate) {
        page.replaceKey("/Rotate", Handle::newInteger(rotate));
    }
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return QByteArray(reinterpret_cast<const char*>(buffer->getBuffer()),
                      qsizetype(buffer->getSize()));
}

// A 4 x 2 grey image of 8-bit samples 0, 10, 20 ... 70, as a dictionary and data.
std::tuple<std::string, std::string, std::string> greyImage(const std::string& extra = "") {
    std::string data;
    for (int i = 0; i < 8; ++i) {
        data += char(i * 10);
    }
    return {"/Im0",
            "<< /Type /XObject /Subtype /Image /Width 4 /Height 2 /ColorSpace /DeviceGray "
            "/BitsPerComponent 8 " +
                extra + " >>",
            data};
}

std::optional<PdfDocumentReader::Page> firstPage(const QByteArray& pdf) {
    PdfDocumentReader::Options options;
    options.renderDpi = 72;
    PdfDocumentReader reader(options);
    if (reader.openData(pdf) != PdfDocumentReader::Opened::ok || reader.pageCount() != 1) {
        return std::nullopt;
    }
    return reader.readPage(0, false);
}

const std::string covering = "q 100 0 0 50 0 0 cm /Im0 Do Q";

} // namespace

class tst_PdfReading : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void placementFollowsTheImageOnThePage_data();
    void placementFollowsTheImageOnThePage();
    void onlyAPageThatIsOneImageIsTaken_data();
    void onlyAPageThatIsOneImageIsTaken();
    void samplesBecomeExactPixels_data();
    void samplesBecomeExactPixels();
    void protocolRefusesWhatItDoesNotKnow();
};

void tst_PdfReading::placementFollowsTheImageOnThePage_data() {
    QTest::addColumn<QTransform>("matrix"); // the image's unit square on a 100 x 50 box
    QTest::addColumn<int>("rotate");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<int>("turns");
    QTest::addColumn<bool>("mirrored");
    QTest::addColumn<double>("dpi"); // for a 200 x 100 pixel image

    QTest::newRow("upright") << QTransform(100, 0, 0, 50, 0, 0) << 0 << true << 0 << false << 144.0;
    QTest::newRow("page turned") << QTransform(100, 0, 0, 50, 0, 0) << 90 << true << 1 << false
                                 << 144.0;
    QTest::newRow("turned back") << QTransform(100, 0, 0, 50, 0, 0) << -90 << true << 3 << false
                                 << 144.0;
    QTest::newRow("upside down") << QTransform(-100, 0, 0, -50, 100, 50) << 0 << true << 2 << false
                                 << 144.0;
    QTest::newRow("upside down, page turned back")
        << QTransform(-100, 0, 0, -50, 100, 50) << 180 << true << 0 << false << 144.0;
    QTest::newRow("mirrored") << QTransform(-100, 0, 0, 50, 100, 0) << 0 << true << 0 << true
                              << 144.0;
    QTest::newRow("within a point")
        << QTransform(99.2, 0, 0, 50, 0.4, 0) << 0 << true << 0 << false << 200 * 72 / 99.2;
    QTest::newRow("half the page")
        << QTransform(50, 0, 0, 50, 0, 0) << 0 << false << 0 << false << 0.0;
    QTest::newRow("skewed") << QTransform(100, 5, 0, 50, 0, 0) << 0 << false << 0 << false << 0.0;
    QTest::newRow("rotate not a quarter")
        << QTransform(100, 0, 0, 50, 0, 0) << 45 << true << 0 << false << 144.0;
}

void tst_PdfReading::placementFollowsTheImageOnThePage() {
    QFETCH(QTransform, matrix);
    QFETCH(int, rotate);
    QFETCH(bool, taken);
    QFETCH(int, turns);
    QFETCH(bool, mirrored);
    QFETCH(double, dpi);
    const auto placement =
        PdfImagePlacement::find(QSize(200, 100), matrix, QRectF(0, 0, 100, 50),
                                PdfImagePlacement::normalisedRotation(rotate), std::nullopt);
    QCOMPARE(placement.has_value(), taken);
    if (!taken) {
        return;
    }
    QCOMPARE(placement->turns, turns);
    QCOMPARE(placement->mirrored, mirrored);
    QVERIFY(std::abs(placement->dpi - dpi) < 1e-6);
    // The image's corners land on the corners of the upright page image.
    const QSizeF size = placement->size;
    QCOMPARE(size, turns % 2 ? QSizeF(50, 100) * 144 / dpi : QSizeF(100, 50) * 144 / dpi);
    const QRectF mapped = (matrix * placement->userToImage).mapRect(QRectF(0, 0, 1, 1));
    QVERIFY(std::abs(mapped.left()) < 1e-6 && std::abs(mapped.top()) < 1e-6);
    QVERIFY(std::abs(mapped.width() - size.width()) < 1e-6);
    QVERIFY(std::abs(mapped.height() - size.height()) < 1e-6);

    // A clip that hides part of the image makes it no scan; one round the
    // page does not.
    QVERIFY(PdfImagePlacement::find(QSize(200, 100), matrix, QRectF(0, 0, 100, 50), rotate,
                                    QRectF(-1, -1, 102, 52)));
    QVERIFY(!PdfImagePlacement::find(QSize(200, 100), matrix, QRectF(0, 0, 100, 50), rotate,
                                     QRectF(0, 0, 60, 50)));
}

void tst_PdfReading::onlyAPageThatIsOneImageIsTaken_data() {
    QTest::addColumn<QByteArray>("pdf");
    QTest::addColumn<bool>("rendered");
    QTest::addColumn<bool>("text");

    QTest::newRow("the image alone") << onePage(covering, {greyImage()}) << false << false;
    QTest::newRow("clipped to the page")
        << onePage("0 0 100 50 re W n " + covering, {greyImage()}) << false << false;
    QTest::newRow("in a form") << [] {
        auto image = greyImage();
        std::get<0>(image) = "/Fm0";
        return onePage("q /Fm0 Do Q", {image});
    }() << false << false;
    QTest::newRow("invisible text over it")
        << onePage(covering + " BT 3 Tr /F1 12 Tf 10 10 Td (hidden) Tj ET", {greyImage()}) << false
        << true;
    QTest::newRow("visible text over it")
        << onePage(covering + " BT /F1 12 Tf 10 10 Td (shown) Tj ET", {greyImage()}) << true
        << false;
    QTest::newRow("white paper painted first, text under the image")
        << onePage("1 g 0 0 100 50 re f BT /F1 12 Tf 10 10 Td (under) Tj ET " + covering,
                   {greyImage()})
        << false << false;
    QTest::newRow("a rectangle painted too")
        << onePage(covering + " 0 0 10 10 re f", {greyImage()}) << true << false;
    QTest::newRow("half the page")
        << onePage("q 50 0 0 50 0 0 cm /Im0 Do Q", {greyImage()}) << true << false;
    QTest::newRow("two images")
        << onePage(covering + " q 10 0 0 10 0 0 cm /Im1 Do Q",
                   {greyImage(), {"/Im1", std::get<1>(greyImage()), std::get<2>(greyImage())}})
        << true << false;
    QTest::newRow("a soft mask") << onePage(covering, {greyImage("/SMask 1 0 R")}) << true << false;
    QTest::newRow("a stencil mask")
        << onePage(covering, {{"/Im0",
                               "<< /Type /XObject /Subtype /Image /Width 8 /Height 2 "
                               "/ImageMask true /BitsPerComponent 1 >>",
                               "\x0f\xf0"}})
        << true << false;
    QTest::newRow("an inline image")
        << onePage("q 100 0 0 50 0 0 cm BI /W 1 /H 1 /CS /G /BPC 8 ID \x80 EI Q", {}) << true
        << false;
}

void tst_PdfReading::onlyAPageThatIsOneImageIsTaken() {
    QFETCH(QByteArray, pdf);
    QFETCH(bool, rendered);
    QFETCH(bool, text);
    const auto page = firstPage(pdf);
    QVERIFY(page);
    QCOMPARE(page->facts.rendered, rendered);
    QCOMPARE(page->textLayer.has_value(), text);
    if (rendered) {
        // Drawn at 72 dpi: the page box in points.
        QCOMPARE(QSize(page->facts.width, page->facts.height), QSize(100, 50));
    } else {
        QCOMPARE(page->facts.kind, Kind::grey);
        QCOMPARE(page->bytes, QByteArray("\x00\x0a\x14\x1e\x28\x32\x3c\x46", 8));
        QCOMPARE(page->facts.dpi, 4 * 72 / 100.0);
    }
}

void tst_PdfReading::samplesBecomeExactPixels_data() {
    QTest::addColumn<QByteArray>("pdf");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("bytes"); // rows as the protocol carries them

    // An image of width x height pixels at 7.2 dpi on a page its size.
    const auto page = [](const std::string& dict, const std::string& data, int width = 8,
                         int height = 2, const std::string& matrix = "") {
        const std::string w = std::to_string(width * 10), h = std::to_string(height * 10);
        return onePage("q " + (matrix.empty() ? w + " 0 0 " + h + " 0 0" : matrix) +
                           " cm /Im0 Do Q",
                       {{"/Im0",
                         "<< /Type /XObject /Subtype /Image /Width " + std::to_string(width) +
                             " /Height " + std::to_string(height) + " " + dict + " >>",
                         data}},
                       0, "[0 0 " + w + " " + h + "]");
    };
    QTest::newRow("1-bit") << page("/ColorSpace /DeviceGray /BitsPerComponent 1", "\xf0\x0f")
                           << Kind::mono << QByteArray("\xf0\x0f");
    QTest::newRow("1-bit, Decode inverted")
        << page("/ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0]", "\xf0\x0f")
        << Kind::mono << QByteArray("\x0f\xf0");
    QTest::newRow("2-bit grey") << page("/ColorSpace /DeviceGray /BitsPerComponent 2",
                                        std::string("\x1b\xe4\x00\xff", 4), 4, 2)
                                << Kind::grey << QByteArray("\x00\x55\xaa\xff\xff\xaa\x55\x00", 8);
    QTest::newRow("16-bit grey") << page("/ColorSpace /DeviceGray /BitsPerComponent 16",
                                         std::string("\x00\x00\xff\xff\x80\x00\x7f\x7f", 8), 4, 1)
                                 << Kind::grey << QByteArray("\x00\xff\x80\x7f", 4);
    QTest::newRow("Indexed, two colours of grey become black and white")
        << page("/ColorSpace [/Indexed /DeviceRGB 1 <ffffff000000>] /BitsPerComponent 1",
                "\xf0\x0f")
        << Kind::mono << QByteArray("\x0f\xf0");
    // (Indexed RGB, 16-bit RGB and CMYK images from real tools: tst_PdfImport
    // and the corpus replay.)
    QTest::newRow("RGB, Decode inverted")
        << page("/ColorSpace /DeviceRGB /BitsPerComponent 8 /Decode [1 0 1 0 1 0]",
                std::string("\x00\x10\xff", 3), 1, 1)
        << Kind::rgb << QByteArray("\xff\xef\x00", 3);
    QTest::newRow("ICC-based grey")
        << page("/ColorSpace [/ICCBased @icc] /BitsPerComponent 8", "\x10\x20", 2, 1) << Kind::grey
        << QByteArray("\x10\x20");
    // Drawn mirrored: the pixels follow.
    QTest::newRow("mirrored and turned")
        << page("/ColorSpace /DeviceGray /BitsPerComponent 8", "\x01\x02\x03\x04\x05\x06\x07\x08",
                4, 2, "-40 0 0 20 40 0")
        << Kind::grey << QByteArray("\x04\x03\x02\x01\x08\x07\x06\x05");
}

void tst_PdfReading::samplesBecomeExactPixels() {
    QFETCH(QByteArray, pdf);
    QFETCH(Kind, kind);
    QFETCH(QByteArray, bytes);
    const auto page = firstPage(pdf);
    QVERIFY(page);
    QVERIFY(!page->facts.rendered);
    QCOMPARE(page->facts.kind, kind);
    QCOMPARE(page->bytes, bytes);
}

void tst_PdfReading::protocolRefusesWhatItDoesNotKnow() {
    using namespace PdfReaderProtocol;
    const auto decoded = [](const QByteArray& bytes) -> std::optional<Reply> {
        FrameReader frames;
        frames.append(bytes.constData(), bytes.size());
        const auto frame = frames.next();
        return frame ? decodeReply(*frame) : std::nullopt;
    };
    PageStart start;
    start.index = 3;
    start.kind = Kind::jpeg;
    start.width = 2480;
    start.height = 3508;
    start.dpi = 300;
    start.turns = 1;
    start.byteCount = 1000;
    const auto back = decoded(encode(start));
    QVERIFY(back && std::holds_alternative<PageStart>(*back));
    QCOMPARE(std::get<PageStart>(*back).turns, 1);
    QCOMPARE(std::get<PageStart>(*back).height, 3508);

    // A turn that is not a quarter, an unknown kind, a size of nothing, a
    // reading frame with bytes left over, another version, an endless frame.
    start.turns = 4;
    QVERIFY(!decoded(encode(start)));
    start.turns = 0;
    QByteArray unknownKind = encode(start);
    unknownKind[8 + 4 + 3] = 9;
    QVERIFY(!decoded(unknownKind));
    start.width = 0;
    QVERIFY(!decoded(encode(start)));
    QByteArray longer = encode(PageFailed{1}) + "x";
    longer[3] = char(longer[3] + 1);
    QVERIFY(!decoded(longer));
    QByteArray otherVersion = encode(Ready{});
    otherVersion[5] = 2;
    FrameReader frames;
    frames.append(otherVersion.constData(), otherVersion.size());
    QVERIFY(!frames.next() && frames.invalid());
    FrameReader endless;
    endless.append("\x7f\xff\xff\xff", 4);
    QVERIFY(!endless.next() && endless.invalid());
}

QTEST_GUILESS_MAIN(tst_PdfReading)
#include "tst_PdfReading.moc"
