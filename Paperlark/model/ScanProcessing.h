#pragma once

#include "pages/ScannedPage.h"

#include <memory>

// What happens to a scanned page on its way into the list, as the settings
// ask: straightened (see Straightener) and turned upright by the quarter
// turns its text needs (see OrientationDetector), recorded as a turn.
// Runs on the importer's thread.
struct ScanProcessing {
    bool straighten = false;
    bool turnUpright = false;

    // The page processed. A straightened page is a new page (the given one
    // is discarded); a page that needs nothing, or that cannot be read or
    // written, comes back as it was.
    std::shared_ptr<ScannedPage> apply(std::shared_ptr<ScannedPage> page) const;
};
