#include "pdf/PdfTextLayerBuilder.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <map>
#include <set>
#include <string>

namespace {

using Handle = QPDFObjectHandle;

std::string number(double value) {
    return QUtil::double_to_string(value, 6, true);
}

class Copier {
public:
    Copier(QPDF& target, QPDFObjGen image) : target_(target), image_(image) {}

    // Any object of the source, copied into the target.
    Handle copy(Handle object) {
        if (object.isIndirect()) {
            return target_.copyForeignObject(object);
        }
        if (object.isDictionary()) {
            Handle result = Handle::newDictionary();
            for (const auto& key : object.getKeys()) {
                result.replaceKey(key, copy(object.getKey(key)));
            }
            return result;
        }
        if (object.isArray()) {
            Handle result = Handle::newArray();
            for (int i = 0; i < object.getArrayNItems(); ++i) {
                result.appendItem(copy(object.getArrayItem(i)));
            }
            return result;
        }
        return Handle::parse(object.unparse());
    }

    // A resource dictionary whose XObjects are copied with the image
    // replaced by an empty form.
    Handle resources(Handle source, int depth) {
        Handle result = Handle::newDictionary();
        if (!source.isDictionary()) {
            return result;
        }
        for (const auto& key : source.getKeys()) {
            Handle value = source.getKey(key);
            if (key != "/XObject" || !value.isDictionary()) {
                result.replaceKey(key, copy(value));
                continue;
            }
            Handle objects = Handle::newDictionary();
            for (const auto& name : value.getKeys()) {
                Handle object = value.getKey(name);
                if (object.isStream() && object.getObjGen() == image_) {
                    objects.replaceKey(name, emptyForm());
                } else if (object.isStream() && isForm(object) && depth < 8) {
                    objects.replaceKey(name, form(object, depth + 1));
                }
                // Any other XObject would have been painting: not here.
            }
            result.replaceKey(key, objects);
        }
        return result;
    }

private:
    static bool isForm(Handle object) {
        Handle subtype = object.getDict().getKey("/Subtype");
        return subtype.isName() && subtype.getName() == "/Form";
    }

    Handle emptyForm() {
        if (!empty_.isInitialized()) {
            empty_ = target_.newStream(std::string());
            Handle dict = empty_.getDict();
            dict.replaceKey("/Type", Handle::newName("/XObject"));
            dict.replaceKey("/Subtype", Handle::newName("/Form"));
            dict.replaceKey("/BBox", Handle::parse("[0 0 1 1]"));
        }
        return empty_;
    }

    Handle form(Handle source, int depth) {
        const QPDFObjGen id = source.getObjGen();
        if (const auto done = forms_.find(id); done != forms_.end()) {
            return done->second;
        }
        const auto data = source.getStreamData(qpdf_dl_generalized);
        Handle result = target_.newStream(
            std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()));
        forms_[id] = result;
        Handle dict = source.getDict();
        Handle copied = result.getDict();
        for (const auto& key : dict.getKeys()) {
            if (key == "/Length" || key == "/Filter" || key == "/DecodeParms") {
                continue;
            }
            copied.replaceKey(key, key == "/Resources" ? resources(dict.getKey(key), depth)
                                                       : copy(dict.getKey(key)));
        }
        return result;
    }

    QPDF& target_;
    QPDFObjGen image_;
    Handle empty_;
    std::map<QPDFObjGen, Handle> forms_;
};

} // namespace

std::optional<QByteArray> PdfTextLayerBuilder::build(QPDFPageObjectHelper& page, Handle image,
                                                     const QTransform& userToImage, QSizeF size,
                                                     qsizetype maxBytes) {
    try {
        QPDF target;
        target.setSuppressWarnings(true);
        target.emptyPDF();
        Copier copier(target, image.getObjGen());

        Pl_Buffer contents("page contents");
        page.pipeContents(&contents);
        const auto data = contents.getBufferSharedPointer();
        Handle form = target.newStream(
            std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()));
        const Handle::Rectangle box = page.getMediaBox(false).getArrayAsRectangle();
        Handle dict = form.getDict();
        dict.replaceKey("/Type", Handle::newName("/XObject"));
        dict.replaceKey("/Subtype", Handle::newName("/Form"));
        dict.replaceKey("/BBox", Handle::newFromRectangle(box));
        dict.replaceKey("/Matrix", Handle::newFromMatrix(QPDFObjectHandle::Matrix(
                                       userToImage.m11(), userToImage.m12(), userToImage.m21(),
                                       userToImage.m22(), userToImage.dx(), userToImage.dy())));
        dict.replaceKey("/Resources", copier.resources(page.getAttribute("/Resources", false), 0));

        Handle xobjects = Handle::newDictionary();
        xobjects.replaceKey("/Text", form);
        Handle resources = Handle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        Handle layer = Handle::newDictionary();
        layer.replaceKey("/Type", Handle::newName("/Page"));
        layer.replaceKey("/MediaBox", Handle::parse("[0 0 " + number(size.width()) + " " +
                                                    number(size.height()) + "]"));
        layer.replaceKey("/Resources", resources);
        layer.replaceKey("/Contents", target.newStream(std::string("q /Text Do Q\n")));
        QPDFPageDocumentHelper(target).addPage(
            QPDFPageObjectHelper(target.makeIndirectObject(layer)), false);

        QPDFWriter writer(target);
        writer.setOutputMemory();
        writer.setCompressStreams(true);
        writer.setDecodeLevel(qpdf_dl_generalized);
        writer.write();
        const auto written = writer.getBufferSharedPointer();
        if (qsizetype(written->getSize()) > maxBytes) {
            return std::nullopt;
        }
        return QByteArray(reinterpret_cast<const char*>(written->getBuffer()),
                          qsizetype(written->getSize()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
