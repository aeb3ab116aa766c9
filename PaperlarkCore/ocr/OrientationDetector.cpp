#include "ocr/OrientationDetector.h"

#include "ocr/TesseractSetup.h"
#include "ocr/TextRecognizer.h"
#include "pages/PixImage.h"
#include "pages/ReducedGrey.h"
#include "pages/SkewDetector.h"

#include <QDir>
#include <QFile>

#include <tesseract/baseapi.h>

#include <cmath>
#include <memory>

namespace {

const QString dataFile = QStringLiteral("osd.traineddata");
constexpr double workingDpi = 150;

// The thread's orientation engine, loaded on first use; null when the data
// cannot be loaded (then the next call tries again).
thread_local std::unique_ptr<tesseract::TessBaseAPI> threadEngine;

tesseract::TessBaseAPI* engine() {
    if (threadEngine) {
        return threadEngine.get();
    }
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    const QByteArray folder = QFile::encodeName(TextRecognizer::dataFolder());
    // The orientation data is for Tesseract's older engine only.
    if (api->Init(folder.constData(), "osd", tesseract::OEM_TESSERACT_ONLY) != 0) {
        return nullptr;
    }
    api->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    threadEngine = std::move(api);
    return threadEngine.get();
}

// Forgets the page afterwards, so that an engine holds no page between
// calls.
class PageLook {
public:
    explicit PageLook(tesseract::TessBaseAPI& api) : api_(api) {}
    PageLook(const PageLook&) = delete;
    PageLook& operator=(const PageLook&) = delete;
    ~PageLook() { api_.Clear(); }

private:
    tesseract::TessBaseAPI& api_;
};

} // namespace

bool OrientationDetector::isAvailable() {
    return QFile::exists(QDir(TextRecognizer::dataFolder()).filePath(dataFile));
}

std::optional<int> OrientationDetector::uprightTurns(const QImage& image, double dpi) {
    if (!isAvailable()) {
        return std::nullopt;
    }
    // Tesseract also answers for marks that only look like writing, and
    // then often wrongly; its answer must agree with the direction in which
    // the page's lines of text run.
    const std::optional<SkewDetector::Lines> lines = SkewDetector::lines(image, dpi);
    if (!lines || !lines->text) {
        return std::nullopt;
    }
    const ReducedGrey grey = ReducedGrey::of(image, dpi, workingDpi);
    if (grey.isEmpty()) {
        return std::nullopt;
    }
    const QImage view(grey.pixels.data(), grey.width, grey.height, grey.width,
                      QImage::Format_Grayscale8);
    const int resolution = int(std::lround(grey.dpi));
    const PixImage pix = PixImage::fromImage(view, resolution);
    if (!pix) {
        return std::nullopt;
    }
    TesseractSetup::ensure();
    tesseract::TessBaseAPI* const api = engine();
    if (!api) {
        return std::nullopt;
    }
    const PageLook look(*api);
    api->SetImage(pix.get());
    api->SetSourceResolution(resolution);
    int degrees = 0;
    float confidence = 0, scriptConfidence = 0;
    const char* script = nullptr;
    if (!api->DetectOrientationScript(&degrees, &confidence, &script, &scriptConfidence) ||
        !(confidence >= minConfidence) || degrees % 90 != 0 ||
        (degrees % 180 != 0) != lines->runDown) {
        return std::nullopt;
    }
    // Tesseract names how far the page is turned clockwise; turning it on
    // by the rest of a full turn brings it back.
    return (4 - (degrees / 90) % 4) % 4;
}
