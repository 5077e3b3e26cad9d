#pragma once

#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

#include "app/gui/DialogTemplate.h"

namespace sequora::gui {

/// Places a dialog's controls when the window is larger than its template: each control
/// keeps its template rectangle and moves or grows by the window's growth as its anchor
/// says. Window thread only; the widgets are owned by the window.
class AnchoredLayout {
public:
    /// Adds a control at its template rectangle in pixels.
    void Add(QWidget* widget, const QRect& templateRect, Anchor anchor);
    /// Places every control for a window `growth` pixels larger than the template (a
    /// negative growth counts as none: the template size is the minimum).
    void Apply(QSize growth) const;

private:
    struct Entry {
        QWidget* widget;
        QRect rect;
        Anchor anchor;
    };
    std::vector<Entry> mEntries;
};

}  // namespace sequora::gui
