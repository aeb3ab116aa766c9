#pragma once

// Settings shared by every Tesseract engine in the process, made once before
// the first engine reads a page (changing them while another thread reads
// one would race with it).
class TesseractSetup {
public:
    // Makes the settings, the first time only; any thread may call it.
    static void ensure();
};
