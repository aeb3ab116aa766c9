#include "pages/CompactPage.h"

#include "pages/ImageFile.h"
#include "pages/JpegEncoder.h"
#include "pages/PageLayers.h"

qint64 CompactPage::bytes() const {
    return background.data.size() + foreground.data.size() + mask.data.size();
}

std::optional<CompactPage> CompactPage::make(const QImage& page, int qualityPercent,
                                             std::optional<qint64> wholeBytes) {
    const PageLayers layers = PageLayers::split(page);
    if (layers.outcome != PageLayers::Outcome::layered) {
        return std::nullopt;
    }
    CompactPage compact{PdfImage::jpeg(layers.background, 0, qualityPercent),
                        PdfImage::jpeg(layers.foreground, 0, qualityPercent),
                        PdfImage::mask(layers.mask)};
    if (compact.background.isNull() || compact.foreground.isNull() || compact.mask.isNull()) {
        return std::nullopt;
    }
    const qint64 enough = 2 * compact.bytes();
    const bool smaller =
        wholeBytes ? *wholeBytes >= enough
                   : JpegEncoder::reaches(ImageFile::normalised(page),
                                          ImageFile::jpegLibraryQuality(qualityPercent), enough)
                         .value_or(false);
    return smaller ? std::optional<CompactPage>(std::move(compact)) : std::nullopt;
}
