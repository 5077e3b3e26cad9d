#pragma once

#include <functional>
#include <string>

class QLineEdit;

namespace sequora::gui {

/// The values of the form, copied from and to the edits by reading and showing it.
struct FormMembers {
    std::string serverName = "LocalHost";  ///< edit 1000
    std::string eventString;               ///< edit 1005
    int bitNumber = 0;                     ///< edit 1008
    std::string command;                   ///< edit 1006
    int delayMs = 0;                       ///< edit 1009
    int trialCount = 1;                    ///< edit 1016
    int delayMin = 0;                      ///< edit 1025
    int delayMax = 0;                      ///< edit 1026
};

/// Copies the form between its edits and FormMembers, in the fixed field order.
class FormBinding {
public:
    /// Finds the edit of a control ID.
    using EditLookup = std::function<QLineEdit*(int id)>;
    /// Tells the user about a field that holds no number.
    using Complaint = std::function<void(const std::string& message)>;

    /// Both functions must stay usable as long as the binding.
    FormBinding(EditLookup edits, Complaint complain);

    /// Reads the edits into `members`. At the first integer field without a number it
    /// complains, gives that field the focus with its text selected and stops, so that
    /// this member and all after it keep their values. False when it stopped early.
    bool Read(FormMembers& members) const;
    /// Writes the members into the edits, integers in decimal.
    void Show(const FormMembers& members) const;

private:
    EditLookup mEdits;
    Complaint mComplain;
};

}  // namespace sequora::gui
