#include "pages/TextLayer.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <string>
#include <vector>

namespace {

std::string number(double value) {
    return QUtil::double_to_string(value, 6, true);
}

} // namespace

std::optional<TextLayer> TextLayer::turned(int quarterTurnsClockwise) const {
    const int turns = quarterTurnsClockwise & 3;
    if (turns == 0) {
        return *this;
    }
    try {
        using Handle = QPDFObjectHandle;
        QPDF source;
        source.setSuppressWarnings(true);
        source.processMemoryFile("text layer", pdf.constData(), size_t(pdf.size()));
        const std::vector<QPDFPageObjectHelper> pages =
            QPDFPageDocumentHelper(source).getAllPages();
        if (pages.size() != 1) {
            return std::nullopt;
        }
        QPDFPageObjectHelper page = pages.front();
        const Handle::Rectangle box = page.getMediaBox().getArrayAsRectangle();
        const double width = box.urx - box.llx, height = box.ury - box.lly;
        if (!(width > 0) || !(height > 0)) {
            return std::nullopt;
        }
        // The old page box, from its lower left corner, turned clockwise
        // into the new one.
        std::string matrix;
        switch (turns) {
        case 1:
            matrix = "0 -1 1 0 0 " + number(width);
            break;
        case 2:
            matrix = "-1 0 0 -1 " + number(width) + " " + number(height);
            break;
        default:
            matrix = "0 1 -1 0 " + number(height) + " 0";
            break;
        }
        const bool across = turns % 2 == 1;
        QPDF target;
        target.setSuppressWarnings(true);
        target.emptyPDF();
        Handle form = target.copyForeignObject(page.getFormXObjectForPage(false));
        Handle xobjects = Handle::newDictionary();
        xobjects.replaceKey("/Text", form);
        Handle resources = Handle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        Handle layer = Handle::newDictionary();
        layer.replaceKey("/Type", Handle::newName("/Page"));
        layer.replaceKey("/MediaBox", Handle::parse("[0 0 " + number(across ? height : width) +
                                                    " " + number(across ? width : height) + "]"));
        layer.replaceKey("/Resources", resources);
        // The form draws the old page box from its origin; its corner first
        // goes to the origin.
        layer.replaceKey("/Contents",
                         target.newStream("q " + matrix + " cm 1 0 0 1 " + number(-box.llx) + " " +
                                          number(-box.lly) + " cm /Text Do Q\n"));
        QPDFPageDocumentHelper(target).addPage(
            QPDFPageObjectHelper(target.makeIndirectObject(layer)), false);
        QPDFWriter writer(target);
        writer.setOutputMemory();
        writer.setCompressStreams(true);
        writer.write();
        const auto written = writer.getBufferSharedPointer();
        return TextLayer{QByteArray(reinterpret_cast<const char*>(written->getBuffer()),
                                    qsizetype(written->getSize()))};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
