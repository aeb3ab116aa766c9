#pragma once

// Small helpers shared by the widget tests: compositing expected colours,
// reading pixels from grabbed widgets, finding open windows.

#include "ui/controls/Theme.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>
#include <memory>

namespace UiTest {

// `over` (with its alpha) composited onto the opaque `under`.
inline QColor blend(const QColor& over, const QColor& under) {
    const double a = over.alphaF();
    const auto mix = [a](int top, int bottom) {
        return static_cast<int>(std::lround(top * a + bottom * (1.0 - a)));
    };
    return QColor(mix(over.red(), under.red()), mix(over.green(), under.green()),
                  mix(over.blue(), under.blue()));
}

inline bool near(const QColor& actual, const QColor& expected, int tolerance = 2) {
    return std::abs(actual.red() - expected.red()) <= tolerance &&
           std::abs(actual.green() - expected.green()) <= tolerance &&
           std::abs(actual.blue() - expected.blue()) <= tolerance;
}

// True when the font draws narrow and wide letters alike, as a monospaced
// font does. Asking the font (QFontInfo::fixedPitch) is not enough: some
// monospaced fonts, Noto Sans Mono among them, do not declare themselves so.
inline bool drawsMonospaced(const QFont& font) {
    const QFontMetricsF metrics(font);
    return qFuzzyCompare(metrics.horizontalAdvance(QStringLiteral("iiii")),
                         metrics.horizontalAdvance(QStringLiteral("MMMM")));
}

inline QString describe(const QColor& colour) {
    return QStringLiteral("rgb(%1, %2, %3)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue());
}

// The shown top-level windows of type T.
template <typename T> QList<T*> shownWindows() {
    QList<T*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window != nullptr && window->isVisible()) {
            found.append(window);
        }
    }
    return found;
}

// Puts `widget` alone on an opaque backdrop so that translucent fills can be
// read back as the colours a user sees.
class Backdrop {
public:
    explicit Backdrop(QWidget* widget, const Theme::Palette& colour = Theme::background)
        : frame_(std::make_unique<QWidget>()) {
        QPalette palette = frame_->palette();
        palette.setColor(QPalette::Window, colour.color());
        frame_->setPalette(palette);
        frame_->setAutoFillBackground(true);
        auto* layout = new QVBoxLayout(frame_.get());
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(widget);
        frame_->adjustSize();
        widget_ = widget;
    }

    QWidget* frame() const { return frame_.get(); }

    // The widget's area of the backdrop as the user would see it.
    QImage grab() const {
        frame_->ensurePolished();
        const QImage whole = frame_->grab().toImage().convertToFormat(QImage::Format_RGB32);
        return whole.copy(widget_->geometry());
    }

private:
    std::unique_ptr<QWidget> frame_;
    QWidget* widget_ = nullptr;
};

} // namespace UiTest

#define UI_COMPARE_COLOUR(actual, expected)                                                        \
    QVERIFY2(UiTest::near((actual), (expected)),                                                   \
             qPrintable(UiTest::describe(actual) + QStringLiteral(" != ") +                        \
                        UiTest::describe(expected)))
