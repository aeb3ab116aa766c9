#pragma once

#include <QByteArray>
#include <QSizeF>
#include <QTransform>

#include <qpdf/QPDFObjectHandle.hh>

#include <optional>

class QPDFPageObjectHelper;

// Lifts the invisible text off a scanned page of a PDF into a text layer of
// its own (see TextLayer): a one-page PDF of `size` points whose content is
// the page's content, mapped by `userToImage`, with the page image drawn as
// nothing. Fonts and everything else the text needs come along; the image
// does not.
class PdfTextLayerBuilder {
public:
    // None when the layer cannot be made or would be larger than `maxBytes`.
    static std::optional<QByteArray> build(QPDFPageObjectHelper& page, QPDFObjectHandle image,
                                           const QTransform& userToImage, QSizeF size,
                                           qsizetype maxBytes);
};
