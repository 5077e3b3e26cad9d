#pragma once

#include <QString>
#include <functional>

namespace sequora::gui {

/// The window's only way to ask the user something: message boxes and file dialogs. The
/// application shows real dialogs; tests install their own answers. Used on the window
/// thread only.
class Prompter {
public:
    virtual ~Prompter() = default;

    /// Shows a warning with only an OK button and returns when the user has closed it.
    virtual void ShowMessage(const QString& text) = 0;
    /// Shows a warning with only an OK button and returns at once, leaving the window
    /// usable; calls `dismissed` on the window thread when the box has been closed.
    virtual void ShowMessageModeless(const QString& text, std::function<void()> dismissed) = 0;
    /// Closes every box opened by ShowMessageModeless (each one's `dismissed` runs).
    virtual void CloseModelessMessages() = 0;
    /// Asks for a file to open; empty when the user cancels.
    virtual QString OpenFileName(const QString& title, const QString& filter) = 0;
    /// Asks for a file to save to; empty when the user cancels.
    virtual QString SaveFileName(const QString& title, const QString& filter) = 0;
};

}  // namespace sequora::gui
