#pragma once

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QRectF>

// The application's one fixed, dark colour scheme. Every colour a window
// draws comes from here; nothing follows the desktop's light or dark setting.
namespace Theme {

// An opaque sRGB colour whose components are exact fractions of 255.
struct Palette {
    int red255 = 0;
    int green255 = 0;
    int blue255 = 0;

    double red() const { return red255 / 255.0; }
    double green() const { return green255 / 255.0; }
    double blue() const { return blue255 / 255.0; }

    // The drawing colour, opaque unless an opacity is given.
    QColor color(double opacity = 1.0) const;

    bool operator==(const Palette&) const = default;
};

inline constexpr Palette background{4, 6, 15};
inline constexpr Palette elevated{10, 16, 48};
inline constexpr Palette surface{12, 18, 48};
inline constexpr Palette line{28, 37, 71};
inline constexpr Palette lineBright{44, 58, 107};
inline constexpr Palette console{5, 7, 15};
inline constexpr Palette ink{234, 240, 255};
inline constexpr Palette muted{147, 160, 207};
inline constexpr Palette cyan{34, 211, 238};
inline constexpr Palette violet{168, 85, 247};
inline constexpr Palette danger{255, 157, 157};

// `cyan` to `violet`, from the leading to the trailing edge of `rect`.
QLinearGradient brandGradient(const QRectF& rect);

// The system font (or its monospaced design) at a size in logical points.
// Sizes are pixel sizes of a 72-dpi space, so a 13-point label is 13 pixels
// tall whatever the screen's dpi; fractional sizes are kept exact.
QFont font(double points, QFont::Weight weight = QFont::Normal, bool monospaced = false);

} // namespace Theme
