#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>

#include "app/core/AddItemRules.h"
#include "app/core/ItemList.h"
#include "app/gui/FormBinding.h"

namespace sequora::gui {

class DialogControls;

/// The item form: the server, event, bit, command, delay and trial-count fields and their
/// check boxes and combo boxes. Reads and shows the fields, keeps the fields a check box
/// turns off greyed, refuses what no row can hold (the Add Item rules) and loads a row back
/// into the fields.
///
/// Owns the form's values (FormMembers) and their binding to the edits. Borrows the
/// window's controls and the two functions it is made with; all of them must outlive it.
/// The window destroys it after every part that borrows it (the list document) and cuts
/// the controls' signals to it first. Window thread only.
class ItemFormPanel : public QObject {
    Q_OBJECT
public:
    /// Tells the user something, and returns once they have seen it.
    using ShowMessage = std::function<void(const std::string& text)>;
    /// Told the trial count after every read of the form (the runner reads it before each trial).
    using TrialCountRead = std::function<void(int count)>;

    ItemFormPanel(const DialogControls& controls, ShowMessage showMessage, TrialCountRead trialCountRead);

    /// Fills the combo boxes, greys what the unticked check boxes turn off and connects the
    /// form's own controls.
    void Initialise();

    /// Reads the fields into Members(); false when a number field held no number (the user
    /// was told, and that field and those after it kept their values).
    bool Read();
    /// Shows Members() in the fields.
    void Show();
    /// The form's values as last read or shown.
    FormMembers& Members() { return mForm; }
    const FormMembers& Members() const { return mForm; }

    /// The cells of a row as the form describes it; none, the user told why and the
    /// offending field focused, when the form holds no playable row.
    std::optional<ItemCells> CellsFromForm();
    /// Puts a row's cells into the fields and ticks the check boxes it uses.
    void LoadRow(const ItemRow& row);

protected:
    /// Enter and Alt+Up/Down in a combo box's edit part.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ItemForm CurrentItemForm();
    bool RefuseUnplayableFields();
    void FocusField(int id);
    void Complain(const std::string& text);

    void OnSendEventClicked(bool checked);
    void OnSetBitClicked(bool checked);
    void OnSendCommandClicked(bool checked);
    void OnRandomDelayClicked(bool checked);
    void OnCommandOptionChosen(int index);

    const DialogControls& mControls;
    ShowMessage mShowMessage;
    TrialCountRead mTrialCountRead;
    FormMembers mForm;
    FormBinding mBinding;
};

}  // namespace sequora::gui
