#include "app/gui/FormBinding.h"

#include <QLineEdit>
#include <array>

#include "app/core/IntegerField.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/LocalText.h"

namespace sequora::gui {

namespace {

// A field is either a text or an integer member.
struct FormField {
    int id;
    std::string FormMembers::*text;
    int FormMembers::*number;
};

constexpr std::array kFormFields{
    FormField{kIdServerName, &FormMembers::serverName, nullptr},
    FormField{kIdEventString, &FormMembers::eventString, nullptr},
    FormField{kIdBitNumber, nullptr, &FormMembers::bitNumber},
    FormField{kIdCommand, &FormMembers::command, nullptr},
    FormField{kIdDelay, nullptr, &FormMembers::delayMs},
    FormField{kIdTrialCount, nullptr, &FormMembers::trialCount},
    FormField{kIdDelayMin, nullptr, &FormMembers::delayMin},
    FormField{kIdDelayMax, nullptr, &FormMembers::delayMax},
};

}  // namespace

FormBinding::FormBinding(EditLookup edits, Complaint complain)
    : mEdits(std::move(edits)), mComplain(std::move(complain)) {}

bool FormBinding::Read(FormMembers& members) const {
    for (const FormField& field : kFormFields) {
        QLineEdit* edit = mEdits(field.id);
        const std::string text = ToLocal(edit->text());
        if (field.text) {
            members.*field.text = text;
            continue;
        }
        const std::optional<int> value = ReadIntegerField(text);
        if (!value) {
            mComplain(kEnterIntegerMessage);
            edit->setFocus();
            edit->selectAll();
            return false;
        }
        members.*field.number = *value;
    }
    return true;
}

void FormBinding::Show(const FormMembers& members) const {
    for (const FormField& field : kFormFields) {
        mEdits(field.id)->setText(field.text ? QString::fromLocal8Bit(members.*field.text)
                                             : QString::number(members.*field.number));
    }
}

}  // namespace sequora::gui
