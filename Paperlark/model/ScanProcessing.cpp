#include "model/ScanProcessing.h"

#include "ocr/OrientationDetector.h"
#include "pages/PageOperations.h"
#include "pages/Straightener.h"

#include <utility>

std::shared_ptr<ScannedPage> ScanProcessing::apply(std::shared_ptr<ScannedPage> page) const {
    if (!page || (!straighten && !turnUpright)) {
        return page;
    }
    auto loaded = page->loadFullImage();
    if (!loaded) {
        return page;
    }
    QImage pixels = std::move(loaded).value();
    if (straighten) {
        // A copy of the pixels goes in: without a skew they stay as they are.
        if (auto straight = Straightener::straightened(pixels, page->dpi())) {
            if (auto made = PageOperations::replaced(*page, straight->image)) {
                page->discard();
                page = std::move(made).value();
                pixels = std::move(straight->image);
            }
        }
    }
    if (turnUpright) {
        const auto turns = OrientationDetector::uprightTurns(pixels, page->dpi());
        if (turns && *turns != 0) {
            page->rotate(*turns); // a page that cannot be turned stays as it is
        }
    }
    return page;
}
