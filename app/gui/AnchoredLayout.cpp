#include "app/gui/AnchoredLayout.h"

#include <algorithm>

namespace sequora::gui {

void AnchoredLayout::Add(QWidget* widget, const QRect& templateRect, Anchor anchor) {
    mEntries.push_back({widget, templateRect, anchor});
}

void AnchoredLayout::Apply(QSize growth) const {
    const int dx = std::max(0, growth.width());
    const int dy = std::max(0, growth.height());
    for (const Entry& entry : mEntries) {
        QRect rect = entry.rect;
        switch (entry.anchor) {
            case Anchor::Fixed: break;
            case Anchor::GrowWidth: rect.setWidth(rect.width() + dx); break;
            case Anchor::Grow: rect.setSize(rect.size() + QSize(dx, dy)); break;
            case Anchor::MoveDown: rect.translate(0, dy); break;
            case Anchor::MoveDownRight: rect.translate(dx, dy); break;
        }
        entry.widget->setGeometry(rect);
    }
}

}  // namespace sequora::gui
