#include "app/gui/ControlFactory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTreeView>

namespace sequora::gui {

namespace {

QString Caption(const ControlTemplate& control) {
    return QString::fromLatin1(control.caption.data(), static_cast<qsizetype>(control.caption.size()));
}

QWidget* CreateEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    // The integer fields are checked when the form is read, never while typing.
    edit->setMaxLength(32767);
    return edit;
}

QWidget* CreatePushButton(const ControlTemplate& control, QWidget* parent) {
    auto* button = new QPushButton(Caption(control), parent);
    // The window has no default action: Enter must never press a button.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QWidget* CreateCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

QWidget* CreateReportView(QWidget* parent) {
    auto* view = new QTreeView(parent);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setUniformRowHeights(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionsMovable(false);
    // The highlighted row stays visible while another control has the focus.
    QPalette palette = view->palette();
    for (auto role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    view->setPalette(palette);
    return view;
}

QWidget* CreateWidget(const ControlTemplate& control, QWidget* parent) {
    switch (control.kind) {
        case ControlKind::GroupBox: return new QGroupBox(Caption(control), parent);
        case ControlKind::Label: return new QLabel(Caption(control), parent);
        case ControlKind::Edit: return CreateEdit(parent);
        case ControlKind::PushButton: return CreatePushButton(control, parent);
        case ControlKind::CheckBox: return new QCheckBox(Caption(control), parent);
        case ControlKind::DropDownCombo: return CreateCombo(parent);
        case ControlKind::ListView: return CreateReportView(parent);
    }
    return new QWidget(parent);
}

}  // namespace

QWidget* CreateControl(const ControlTemplate& control, const DialogUnits& units, QWidget* parent) {
    QWidget* widget = CreateWidget(control, parent);
    QRect rect = units.ToPixels(control.rect);
    if (control.kind == ControlKind::DropDownCombo) {
        // The template's height is the dropped-down list's; the closed box is edit-high,
        // but never lower than the style needs to show its text.
        rect.setHeight(std::max(units.Y(kComboEditHeight), widget->sizeHint().height()));
        auto* combo = static_cast<QComboBox*>(widget);
        const int listRows = units.Y(control.rect.height) / std::max(1, combo->fontMetrics().height());
        combo->setMaxVisibleItems(std::max(1, listRows));
    }
    if (control.kind == ControlKind::Edit) {
        rect.setHeight(std::max(rect.height(), widget->minimumSizeHint().height()));
    }
    widget->setGeometry(rect);
    if (control.id >= 0) widget->setObjectName(QString::number(control.id));
    return widget;
}

}  // namespace sequora::gui
