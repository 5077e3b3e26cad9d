#pragma once

#include <QWidget>
#include <map>

namespace sequora::gui {

/// The dialog template's controls by ID, and the few ways the window's parts change them.
/// The controls belong to the window (Qt children); this holds no ownership, and is built
/// once, before any part is made. Window thread only.
class DialogControls {
public:
    /// Notes the control of `id`.
    void Add(int id, QWidget* control) { mControls[id] = control; }
    /// The control with the given ID, null for none.
    QWidget* Control(int id) const;
    /// The control with the given ID as a widget type, null for none or another type.
    template <typename Widget>
    Widget* As(int id) const {
        return qobject_cast<Widget*>(Control(id));
    }
    /// All of them, IDs ascending (the keyboard order).
    const std::map<int, QWidget*>& All() const { return mControls; }

    /// Makes an edit read-only (greyed like a disabled one) or writable again.
    void SetReadOnly(int id, bool readOnly) const;
    void SetEnabled(int id, bool enabled) const;
    void SetChecked(int id, bool checked) const;
    bool IsChecked(int id) const;
    /// Gives the buttons their keyboard shortcuts, each named in the button's tool tip.
    void AddButtonShortcuts() const;

private:
    std::map<int, QWidget*> mControls;
};

}  // namespace sequora::gui
