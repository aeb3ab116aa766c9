#pragma once

#include <QImage>

#include <optional>

// Finds which way up the text of a page reads, with Tesseract's orientation
// and script data ("osd", from the package tesseract-ocr-osd), so that pages
// fed into the scanner sideways or upside down can be turned upright. It
// answers only when Tesseract is confident: pages without enough text (a
// photograph, a blank page) get no answer, and are never turned.
//
// The page is read at about 150 dpi, which is plenty for the shapes of
// letters and half the work of 300 dpi. Any number of pages can be looked at
// at once on different threads; each thread keeps its own engine loaded for
// its next page (Tesseract's engines are not thread-safe).
class OrientationDetector {
public:
    // Tesseract's confidence in the orientation it finds (a page of text
    // scores 10 to 20, a few lines of text about 3) below which no answer
    // is given.
    static constexpr float minConfidence = 2;

    // Whether the orientation data is installed.
    static bool isAvailable();

    // The quarter turns clockwise (0...3) that make the page's text read
    // upright, 0 when it does already; none when there is no confident
    // answer or the orientation data is not installed. `dpi` is the image's
    // resolution, 1 or less when it states none. Any QImage format.
    static std::optional<int> uprightTurns(const QImage& image, double dpi);
};
