#include "app/gui/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace sequora::gui {

namespace {

// Multiplies and divides with rounding to the nearest pixel, as the conversion of
// dialog templates always has, so that neighbouring controls keep their gaps.
int ScaleRounded(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

int AverageCharWidth(const QFontMetrics& metrics) {
    static const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    // Mean advance of the 52 letters, rounded half up.
    return (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font)
    : DialogUnits(AverageCharWidth(QFontMetrics(font)), QFontMetrics(font).height()) {}

DialogUnits::DialogUnits(int baseWidth, int baseHeight)
    : mBaseWidth(baseWidth > 0 ? baseWidth : 1), mBaseHeight(baseHeight > 0 ? baseHeight : 1) {}

int DialogUnits::X(int dialogUnits) const {
    return ScaleRounded(dialogUnits, mBaseWidth, 4);
}

int DialogUnits::Y(int dialogUnits) const {
    return ScaleRounded(dialogUnits, mBaseHeight, 8);
}

QRect DialogUnits::ToPixels(const DialogRect& rect) const {
    return QRect(X(rect.x), Y(rect.y), X(rect.width), Y(rect.height));
}

QSize DialogUnits::SizeToPixels(const DialogRect& rect) const {
    return QSize(X(rect.width), Y(rect.height));
}

}  // namespace sequora::gui
