#include "app/gui/ElidingLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

namespace sequora::gui {

namespace {

// What the label keeps at its narrowest.
const QString kNarrowestText = QStringLiteral("Trial…");

}  // namespace

ElidingLabel::ElidingLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mMode(mode) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidingLabel::SetFullText(const QString& text) {
    if (text == mFullText) return;
    mFullText = text;
    setToolTip(text);
    ShowElided();
    updateGeometry();
}

QSize ElidingLabel::sizeHint() const {
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(mFullText) + margins.left() + margins.right(),
            QLabel::sizeHint().height()};
}

QSize ElidingLabel::minimumSizeHint() const {
    if (mFullText.isEmpty()) return {0, QLabel::minimumSizeHint().height()};
    return {fontMetrics().horizontalAdvance(kNarrowestText), QLabel::minimumSizeHint().height()};
}

void ElidingLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowElided();
}

void ElidingLabel::ShowElided() {
    // elidedText measures more finely than horizontalAdvance, which sizeHint gives: a text
    // exactly as wide as its hint could otherwise lose its last letters.
    const int width = contentsRect().width();
    const QFontMetrics metrics = fontMetrics();
    setText(metrics.horizontalAdvance(mFullText) <= width ? mFullText
                                                          : metrics.elidedText(mFullText, mMode, width));
}

}  // namespace sequora::gui
