#include "pdf/PdfPageContent.h"

#include <qpdf/QPDFPageObjectHelper.hh>

#include <set>
#include <string>
#include <vector>

namespace {

using Handle = QPDFObjectHandle;

constexpr int maxFormDepth = 8;
constexpr long maxOperators = 2'000'000;
constexpr int maxStackDepth = 1024;

struct GraphicsState {
    QTransform ctm;
    int textRenderMode = 0;
    std::optional<QRectF> clip;
};

class Analyser : public Handle::ParserCallbacks {
public:
    Analyser(PdfPageContent& result, Handle resources, QTransform ctm, int depth, long& operators,
             std::set<QPDFObjGen>& forms)
        : result_(result), resources_(resources), depth_(depth), operators_(operators),
          forms_(forms) {
        state_.ctm = ctm;
    }

    void handleObject(Handle object, size_t, size_t) override {
        if (result_.paints) {
            terminateParsing();
        }
        if (object.isInlineImage()) {
            painted();
            return;
        }
        if (!object.isOperator()) {
            if (operands_.size() < 64) {
                operands_.push_back(object);
            }
            return;
        }
        if (++operators_ > maxOperators) {
            result_.paints = true;
            return;
        }
        handleOperator(object.getOperatorValue());
        operands_.clear();
    }

    void handleEOF() override {}

private:
    double number(std::size_t i) {
        return i < operands_.size() && operands_[i].isNumber() ? operands_[i].getNumericValue()
                                                               : 0.0;
    }

    void handleOperator(const std::string& op) {
        if (op == "q") {
            if (stack_.size() >= maxStackDepth) {
                result_.paints = true;
                return;
            }
            stack_.push_back(state_);
        } else if (op == "Q") {
            if (!stack_.empty()) {
                state_ = stack_.back();
                stack_.pop_back();
            }
        } else if (op == "cm") {
            if (operands_.size() != 6) {
                return;
            }
            state_.ctm =
                QTransform(number(0), number(1), number(2), number(3), number(4), number(5)) *
                state_.ctm;
        } else if (op == "re") {
            if (!pathStarted_ && operands_.size() == 4) {
                pathRect_ = state_.ctm.mapRect(QRectF(number(0), number(1), number(2), number(3)));
                pathRectangular_ =
                    state_.ctm.isAffine() && ((state_.ctm.m12() == 0 && state_.ctm.m21() == 0) ||
                                              (state_.ctm.m11() == 0 && state_.ctm.m22() == 0));
            } else {
                pathRectangular_ = false;
            }
            pathStarted_ = true;
        } else if (op == "m" || op == "l" || op == "c" || op == "v" || op == "y" || op == "h") {
            pathStarted_ = true;
            pathRectangular_ = false;
        } else if (op == "W" || op == "W*") {
            clipPending_ = true;
        } else if (op == "n") {
            if (clipPending_) {
                if (!pathRectangular_) {
                    result_.paints = true;
                } else {
                    state_.clip = state_.clip ? state_.clip->intersected(pathRect_) : pathRect_;
                }
            }
            endPath();
        } else if (op == "S" || op == "s" || op == "f" || op == "F" || op == "f*" || op == "B" ||
                   op == "B*" || op == "b" || op == "b*" || op == "sh") {
            painted();
            endPath();
        } else if (op == "Tr") {
            state_.textRenderMode = int(number(0));
        } else if (op == "Tj" || op == "TJ" || op == "'" || op == "\"") {
            if (state_.textRenderMode == 3) {
                result_.invisibleText = true;
            } else {
                painted();
            }
        } else if (op == "gs") {
            graphicsState();
        } else if (op == "Do") {
            draw();
        } else if (op == "BI" || op == "d0" || op == "d1") {
            result_.paints = true;
        }
    }

    // Marks made before the image lie under it: a page image that turns
    // out to cover the page hides them (white paper, say). Marks after it
    // are on top.
    void painted() {
        if (result_.image) {
            result_.paints = true;
        }
    }

    void endPath() {
        pathStarted_ = false;
        pathRectangular_ = false;
        clipPending_ = false;
    }

    Handle resource(const char* category) {
        if (operands_.size() != 1 || !operands_[0].isName() || !resources_.isDictionary()) {
            return Handle::newNull();
        }
        Handle group = resources_.getKey(category);
        return group.isDictionary() ? group.getKey(operands_[0].getName()) : Handle::newNull();
    }

    void graphicsState() {
        Handle parameters = resource("/ExtGState");
        if (!parameters.isDictionary()) {
            return;
        }
        Handle mask = parameters.getKey("/SMask");
        if (mask.isDictionary()) {
            result_.paints = true;
        }
        for (const char* alpha : {"/CA", "/ca"}) {
            Handle value = parameters.getKey(alpha);
            if (value.isNumber() && value.getNumericValue() < 1.0) {
                result_.paints = true;
            }
        }
    }

    void draw() {
        Handle object = resource("/XObject");
        if (!object.isStream()) {
            return; // nothing drawn
        }
        Handle dict = object.getDict();
        Handle subtype = dict.getKey("/Subtype");
        const std::string kind = subtype.isName() ? subtype.getName() : std::string();
        if (kind == "/Image") {
            Handle mask = dict.getKey("/ImageMask");
            if (result_.image || (mask.isBool() && mask.getBoolValue())) {
                result_.paints = true;
                return;
            }
            result_.image = object;
            result_.imageMatrix = state_.ctm;
            result_.clip = state_.clip;
        } else if (kind == "/Form") {
            drawForm(object);
        } else {
            result_.paints = true;
        }
    }

    void drawForm(Handle form) {
        const QPDFObjGen id = form.getObjGen();
        if (depth_ >= maxFormDepth || forms_.count(id)) {
            result_.paints = true;
            return;
        }
        Handle dict = form.getDict();
        QTransform matrix;
        Handle m = dict.getKey("/Matrix");
        if (m.isArray() && m.getArrayNItems() == 6) {
            const auto v = m.getArrayAsMatrix();
            matrix = QTransform(v.a, v.b, v.c, v.d, v.e, v.f);
        }
        Handle resources = dict.getKey("/Resources");
        forms_.insert(id);
        Analyser inner(result_, resources.isDictionary() ? resources : resources_,
                       matrix * state_.ctm, depth_ + 1, operators_, forms_);
        inner.state_.textRenderMode = state_.textRenderMode;
        inner.state_.clip = state_.clip;
        try {
            Handle::parseContentStream(form, &inner);
        } catch (const std::exception&) {
            result_.paints = true;
        }
        forms_.erase(id);
    }

    PdfPageContent& result_;
    Handle resources_;
    int depth_;
    long& operators_;
    std::set<QPDFObjGen>& forms_;
    GraphicsState state_;
    std::vector<GraphicsState> stack_;
    std::vector<Handle> operands_;
    bool pathStarted_ = false;
    bool pathRectangular_ = false;
    bool clipPending_ = false;
    QRectF pathRect_;
};

} // namespace

PdfPageContent PdfPageContent::analyse(QPDFPageObjectHelper& page) {
    PdfPageContent result;
    long operators = 0;
    std::set<QPDFObjGen> forms;
    Handle resources = page.getAttribute("/Resources", false);
    Analyser analyser(result, resources, QTransform(), 0, operators, forms);
    try {
        page.parseContents(&analyser);
    } catch (const std::exception&) {
        result.paints = true;
    }
    return result;
}
