#pragma once

#include <ostream>

#include "app/gui/Prompter.h"

namespace sequora::gui {

/// Answers for a window nobody sits at, as when it only draws its picture: every message
/// goes to a stream (closed at once), no file is chosen, unsaved work is discarded and a run
/// is stopped for closing. Nothing ever waits for a user.
class ConsolePrompter : public Prompter {
public:
    /// Writes the messages to `out`, which must outlive the prompter.
    explicit ConsolePrompter(std::ostream& out) : mOut(out) {}

    /// Writes the message.
    void ShowMessage(const QString& text) override;
    /// Writes the message and calls `dismissed` at once.
    void ShowMessageModeless(const QString& text, std::function<void()> dismissed) override;
    /// There is never a box open.
    void CloseModelessMessages() override {}
    /// Chooses no file.
    QString OpenFileName(const QString&, const QString&, const QString&) override { return {}; }
    /// Chooses no file.
    QString SaveFileName(const QString&, const QString&, const QString&) override { return {}; }
    /// Discards.
    UnsavedChoice AskUnsavedChanges(const QString&) override { return UnsavedChoice::Discard; }
    /// Stops the run and closes.
    bool AskStopRunAndClose(const QString&) override { return true; }
    /// Stops the run and disconnects.
    bool AskStopRunAndDisconnect(const QString&) override { return true; }

private:
    std::ostream& mOut;
};

}  // namespace sequora::gui
