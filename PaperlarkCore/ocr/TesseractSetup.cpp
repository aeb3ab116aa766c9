#include "ocr/TesseractSetup.h"

#include <omp.h>
#include <tesseract/baseapi.h>

#include <mutex>

// - Tesseract's own threads would compete with the pages read side by side:
//   each engine keeps to the thread it runs on;
// - its messages go nowhere; failures are reported by the results;
// - every line is taken for proportional text: the test for fixed-pitch
//   (typewriter) lines only serves the older recogniser that splits words
//   into characters, and costs about 4 % of a page's time. The line
//   recogniser reads typewriter text just as well without it.
void TesseractSetup::ensure() {
    static std::once_flag once;
    std::call_once(once, [] {
        omp_set_max_active_levels(0);
        tesseract::TessBaseAPI globals;
        globals.SetVariable("debug_file", "/dev/null");
        globals.SetVariable("textord_all_prop", "1");
    });
}
