#include "app/gui/ItemFormPanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <array>
#include <utility>

#include "app/core/ItemCells.h"
#include "app/gui/DialogControls.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/FormChecks.h"
#include "app/gui/LocalText.h"

namespace sequora::gui {

namespace {

constexpr std::array kBitStates{cell_words::kOn, cell_words::kOff};
constexpr int kBitStateAtStart = 1;
constexpr std::array kCommandPresets{"No Selection", "-StartAcquisition", "-StopAcquisition",
                                     "-StartRecording", "-StopRecording"};

bool IsEnterKey(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

}  // namespace

ItemFormPanel::ItemFormPanel(const DialogControls& controls, ShowMessage showMessage,
                             TrialCountRead trialCountRead)
    : mControls(controls),
      mShowMessage(std::move(showMessage)),
      mTrialCountRead(std::move(trialCountRead)),
      mBinding([this](int id) { return mControls.As<QLineEdit>(id); },
               [this](const std::string& message) { Complain(message); }) {}

void ItemFormPanel::Initialise() {
    mControls.SetReadOnly(kIdEventString, true);
    mControls.SetReadOnly(kIdBitNumber, true);
    mControls.SetReadOnly(kIdCommand, true);
    mControls.SetEnabled(kIdBitState, false);
    mControls.SetEnabled(kIdCommandOptions, false);

    auto* bitState = mControls.As<QComboBox>(kIdBitState);
    for (const char* state : kBitStates) bitState->addItem(QString::fromLatin1(state));
    bitState->setCurrentIndex(kBitStateAtStart);
    auto* presets = mControls.As<QComboBox>(kIdCommandOptions);
    for (const char* preset : kCommandPresets) presets->addItem(QString::fromLatin1(preset));
    presets->setCurrentIndex(0);
    // Enter in a combo's edit part must not choose an entry: the window has no Enter action.
    for (QComboBox* combo : {bitState, presets}) combo->lineEdit()->installEventFilter(this);

    mControls.SetEnabled(kIdDelayMin, false);
    mControls.SetEnabled(kIdDelayMax, false);

    const auto onCheck = [this](int id, void (ItemFormPanel::*handler)(bool)) {
        connect(mControls.As<QCheckBox>(id), &QCheckBox::clicked, this, handler);
    };
    onCheck(kIdSendEvent, &ItemFormPanel::OnSendEventClicked);
    onCheck(kIdSetBit, &ItemFormPanel::OnSetBitClicked);
    onCheck(kIdSendCommand, &ItemFormPanel::OnSendCommandClicked);
    onCheck(kIdRandomDelay, &ItemFormPanel::OnRandomDelayClicked);
    connect(presets, &QComboBox::activated, this, &ItemFormPanel::OnCommandOptionChosen);
}

bool ItemFormPanel::Read() {
    const bool complete = mBinding.Read(mForm);
    mTrialCountRead(mForm.trialCount);
    return complete;
}

void ItemFormPanel::Show() {
    mBinding.Show(mForm);
}

void ItemFormPanel::Complain(const std::string& text) {
    mShowMessage(text);
}

ItemForm ItemFormPanel::CurrentItemForm() {
    ItemForm form;
    form.eventString = mForm.eventString;
    form.bitNumber = mForm.bitNumber;
    form.command = mForm.command;
    form.delayMs = mForm.delayMs;
    form.delayMin = mForm.delayMin;
    form.delayMax = mForm.delayMax;
    form.sendEvent = mControls.IsChecked(kIdSendEvent);
    form.setBit = mControls.IsChecked(kIdSetBit);
    form.sendCommand = mControls.IsChecked(kIdSendCommand);
    form.useRandomDelay = mControls.IsChecked(kIdRandomDelay);

    // What the box shows decides, typed or chosen: a typed entry is selected, any other
    // text is no entry at all.
    auto* bitState = mControls.As<QComboBox>(kIdBitState);
    form.bitStateIndex = BitStateEntry(ToLocal(bitState->currentText()));
    if (form.bitStateIndex >= 0 && bitState->currentIndex() != form.bitStateIndex) {
        bitState->setCurrentIndex(form.bitStateIndex);
    }
    return form;
}

std::optional<ItemCells> ItemFormPanel::CellsFromForm() {
    if (!RefuseUnplayableFields()) return std::nullopt;
    if (!Read()) return std::nullopt;
    const AddItemOutcome outcome = BuildItemCells(CurrentItemForm());
    if (!outcome.cells) {
        Complain(outcome.refusal);
        if (outcome.field == RefusedField::BitNumber) FocusField(kIdBitNumber);
        if (outcome.field == RefusedField::DelayRange) FocusField(kIdDelayMin);
    }
    return outcome.cells;
}

bool ItemFormPanel::RefuseUnplayableFields() {
    // The runner waits a delay as the whole milliseconds it reads; any other text would be
    // listed as one delay and waited as another.
    const bool random = mControls.IsChecked(kIdRandomDelay);
    for (const DelayField& field : kDelayFields) {
        if (field.random != random) continue;
        const auto refusal =
            DelayRefusal(std::string(field.name), ToLocal(mControls.As<QLineEdit>(field.id)->text()));
        if (!refusal) continue;
        Complain(*refusal);
        FocusField(field.id);
        return false;
    }
    // Any other state would be listed as "NA", which no .cfg file can hold.
    auto* bitState = mControls.As<QComboBox>(kIdBitState);
    if (!mControls.IsChecked(kIdSetBit)) return true;
    const auto refusal = BitStateRefusal(std::string(kBitStateLabel), ToLocal(bitState->currentText()));
    if (!refusal) return true;
    Complain(*refusal);
    bitState->setFocus();
    return false;
}

void ItemFormPanel::FocusField(int id) {
    auto* edit = mControls.As<QLineEdit>(id);
    edit->setFocus();
    edit->selectAll();
}

void ItemFormPanel::LoadRow(const ItemRow& row) {
    const RowForm loaded = FormFromRow(row);
    const auto put = [this](int id, const std::optional<std::string>& text) {
        if (text) mControls.As<QLineEdit>(id)->setText(FromLocal(*text));
    };
    mControls.SetChecked(kIdSendEvent, loaded.sendEvent);
    OnSendEventClicked(loaded.sendEvent);
    put(kIdEventString, loaded.eventString);
    mControls.SetChecked(kIdSetBit, loaded.setBit);
    OnSetBitClicked(loaded.setBit);
    put(kIdBitNumber, loaded.bitNumber);
    if (loaded.setBit) mControls.As<QComboBox>(kIdBitState)->setCurrentIndex(loaded.bitStateIndex);
    mControls.SetChecked(kIdSendCommand, loaded.sendCommand);
    OnSendCommandClicked(loaded.sendCommand);
    put(kIdCommand, loaded.command);
    mControls.SetChecked(kIdRandomDelay, loaded.useRandomDelay);
    OnRandomDelayClicked(loaded.useRandomDelay);
    put(kIdDelay, loaded.delayMs);
    put(kIdDelayMin, loaded.delayMin);
    put(kIdDelayMax, loaded.delayMax);
}

void ItemFormPanel::OnSendEventClicked(bool checked) {
    mControls.SetReadOnly(kIdEventString, !checked);
}

void ItemFormPanel::OnSetBitClicked(bool checked) {
    mControls.SetReadOnly(kIdBitNumber, !checked);
    mControls.SetEnabled(kIdBitState, checked);
}

void ItemFormPanel::OnSendCommandClicked(bool checked) {
    mControls.SetReadOnly(kIdCommand, !checked);
    mControls.SetEnabled(kIdCommandOptions, checked);
}

void ItemFormPanel::OnRandomDelayClicked(bool checked) {
    mControls.SetEnabled(kIdDelayMin, checked);
    mControls.SetEnabled(kIdDelayMax, checked);
    mControls.SetEnabled(kIdDelay, !checked);
}

void ItemFormPanel::OnCommandOptionChosen(int index) {
    Read();
    auto* presets = mControls.As<QComboBox>(kIdCommandOptions);
    if (index < 0 || index >= presets->count()) return;
    mForm.command = ToLocal(presets->itemText(index));
    Show();
}

bool ItemFormPanel::eventFilter(QObject* watched, QEvent* event) {
    const bool keyEvent = event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride;
    if (keyEvent && qobject_cast<QLineEdit*>(watched)) {  // a combo's edit part
        const auto* key = static_cast<QKeyEvent*>(event);
        if (event->type() == QEvent::KeyPress && IsEnterKey(key)) return true;
        // Alt+Up/Down open and close the combo's list here rather than move an item.
        if (event->type() == QEvent::ShortcutOverride && key->modifiers() == Qt::AltModifier &&
            (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            event->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace sequora::gui
