#include "app/gui/DialogControls.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <array>

#include "app/gui/DialogTemplate.h"

namespace sequora::gui {

namespace {

// The keyboard shortcut of a button; its tool tip names it.
struct ButtonShortcut {
    int id;
    QKeyCombination keys;
};
constexpr std::array kButtonShortcuts{
    ButtonShortcut{kIdOpenCfg, Qt::CTRL | Qt::Key_O},
    ButtonShortcut{kIdSaveCfg, Qt::CTRL | Qt::Key_S},
    ButtonShortcut{kIdRemoveCurrent, QKeyCombination(Qt::Key_Delete)},
    ButtonShortcut{kIdMoveUp, Qt::ALT | Qt::Key_Up},
    ButtonShortcut{kIdMoveDown, Qt::ALT | Qt::Key_Down},
    ButtonShortcut{kIdStart, QKeyCombination(Qt::Key_F5)},
    ButtonShortcut{kIdStop, Qt::SHIFT | Qt::Key_F5},
};

}  // namespace

QWidget* DialogControls::Control(int id) const {
    const auto found = mControls.find(id);
    return found == mControls.end() ? nullptr : found->second;
}

void DialogControls::SetReadOnly(int id, bool readOnly) const {
    auto* edit = As<QLineEdit>(id);
    edit->setReadOnly(readOnly);
    // Greyed like a disabled field, so nobody types into it in vain; an empty palette
    // gives the edit its usual colours back.
    QPalette colours;
    if (readOnly) {
        colours = edit->palette();
        colours.setColor(QPalette::Base, colours.color(QPalette::Window));
        colours.setColor(QPalette::Text, colours.color(QPalette::Disabled, QPalette::Text));
    }
    edit->setPalette(colours);
}

void DialogControls::SetEnabled(int id, bool enabled) const {
    Control(id)->setEnabled(enabled);
}

void DialogControls::SetChecked(int id, bool checked) const {
    As<QCheckBox>(id)->setChecked(checked);
}

bool DialogControls::IsChecked(int id) const {
    return As<QCheckBox>(id)->isChecked();
}

void DialogControls::AddButtonShortcuts() const {
    for (const ButtonShortcut& shortcut : kButtonShortcuts) {
        auto* button = As<QPushButton>(shortcut.id);
        const QKeySequence keys(shortcut.keys);
        button->setShortcut(keys);
        button->setToolTip(
            QStringLiteral("%1 (%2)").arg(button->text(), keys.toString(QKeySequence::NativeText)));
    }
}

}  // namespace sequora::gui
