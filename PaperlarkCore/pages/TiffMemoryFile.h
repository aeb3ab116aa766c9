#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <vector>

// A TIFF file in memory, read and written through libtiff's client I/O.
// libtiff's messages are not shown: failures are reported by results.
struct TiffMemoryFile {
    std::vector<unsigned char> bytes;
    std::uint64_t position = 0;

    struct Closer {
        void operator()(TIFF* tiff) const { TIFFClose(tiff); }
    };
    using Handle = std::unique_ptr<TIFF, Closer>;

    // Opens the file with libtiff in `mode` ("r" or "w"); null on failure.
    // The file must outlive the handle.
    Handle open(const char* mode);
};
