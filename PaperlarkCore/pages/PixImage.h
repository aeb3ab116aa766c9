#pragma once

#include <QImage>

#include <memory>

struct Pix;

// A leptonica image, owned: pixDestroy when it goes.
class PixImage {
public:
    // The image as 1-bit (from Format_Mono) or 8-bit grey (from any other
    // format), with its resolution; null when memory runs out.
    static PixImage fromImage(const QImage& image, int dpi);
    // Takes over an image leptonica made (null stays null).
    static PixImage adopt(Pix* pix);

    Pix* get() const { return pix_.get(); }
    explicit operator bool() const { return bool(pix_); }

private:
    struct Deleter {
        void operator()(Pix* pix) const;
    };
    std::unique_ptr<Pix, Deleter> pix_;
};
