#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "app/gui/DialogTemplate.h"

namespace sequora::gui {

/// Converts dialog units into pixels by a font's base units: horizontally a quarter of the
/// average character width, vertically an eighth of the character height.
class DialogUnits {
public:
    /// Measures the base units of the font.
    explicit DialogUnits(const QFont& font);
    /// Builds a converter from given base units (average char width, char height in pixels).
    DialogUnits(int baseWidth, int baseHeight);

    /// A horizontal length in pixels.
    int X(int dialogUnits) const;
    /// A vertical length in pixels.
    int Y(int dialogUnits) const;
    /// A rectangle in pixels.
    QRect ToPixels(const DialogRect& rect) const;
    /// The size of a rectangle in pixels.
    QSize SizeToPixels(const DialogRect& rect) const;

    /// The average character width in pixels.
    int BaseWidth() const { return mBaseWidth; }
    /// The character height in pixels.
    int BaseHeight() const { return mBaseHeight; }

private:
    int mBaseWidth;
    int mBaseHeight;
};

}  // namespace sequora::gui
