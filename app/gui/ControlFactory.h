#pragma once

#include <QWidget>

#include "app/gui/DialogTemplate.h"
#include "app/gui/DialogUnits.h"

namespace sequora::gui {

/// Creates the widget for one template entry, placed at its rectangle converted to pixels.
/// The widget is owned by `parent`; its objectName is the control ID in decimal.
QWidget* CreateControl(const ControlTemplate& control, const DialogUnits& units, QWidget* parent);

}  // namespace sequora::gui
