#pragma once

#include <QString>
#include <functional>

namespace sequora::gui {

/// The window's only way to ask the user something: message boxes and file dialogs. The
/// application shows real dialogs; tests install their own answers. Used on the window
/// thread only.
class Prompter {
public:
    /// The answers to the question about a list that has not been saved.
    enum class UnsavedChoice { Save, Discard, Cancel };

    virtual ~Prompter() = default;

    /// Shows a warning with only an OK button and returns when the user has closed it.
    virtual void ShowMessage(const QString& text) = 0;
    /// Shows a warning with only an OK button and returns at once, leaving the window
    /// usable; calls `dismissed` on the window thread when the box has been closed.
    virtual void ShowMessageModeless(const QString& text, std::function<void()> dismissed) = 0;
    /// Closes every box opened by ShowMessageModeless (each one's `dismissed` runs).
    virtual void CloseModelessMessages() = 0;
    /// Asks for a file to open, starting in `folder` (empty: the working folder); empty
    /// when the user cancels.
    virtual QString OpenFileName(const QString& title, const QString& filter, const QString& folder) = 0;
    /// Asks for a file to save to, starting in `folder`; empty when the user cancels.
    virtual QString SaveFileName(const QString& title, const QString& filter, const QString& folder) = 0;
    /// Asks whether to save the list before the window closes: Save, Discard or Cancel.
    virtual UnsavedChoice AskUnsavedChanges(const QString& text) = 0;
    /// Asks whether to stop the run and close (true) or keep both going (false).
    virtual bool AskStopRunAndClose(const QString& text) = 0;
    /// Asks whether to stop the run and disconnect (true) or keep both going (false).
    virtual bool AskStopRunAndDisconnect(const QString& text) = 0;
};

}  // namespace sequora::gui
