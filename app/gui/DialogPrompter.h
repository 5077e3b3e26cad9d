#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>

#include "app/gui/Prompter.h"

class QMessageBox;

namespace sequora::gui {

/// Shows real message boxes and file dialogs over a parent window.
class DialogPrompter : public Prompter {
public:
    /// The parent must outlive the prompter (the window owns it).
    explicit DialogPrompter(QWidget* parent);

    /// Application-modal warning box with only OK.
    void ShowMessage(const QString& text) override;
    /// Non-modal warning box with only OK; deleted when closed.
    void ShowMessageModeless(const QString& text, std::function<void()> dismissed) override;
    /// Closes the boxes still open.
    void CloseModelessMessages() override;
    /// The platform's open dialog; the file need not exist.
    QString OpenFileName(const QString& title, const QString& filter, const QString& folder) override;
    /// The platform's save dialog; replaces an existing file without asking and adds
    /// ".cfg" to a name typed without an extension.
    QString SaveFileName(const QString& title, const QString& filter, const QString& folder) override;
    /// A question box with Save, Discard and Cancel.
    UnsavedChoice AskUnsavedChanges(const QString& text) override;
    /// A question box with "Stop and Close" and Cancel.
    bool AskStopRunAndClose(const QString& text) override;
    /// A question box with "Stop and Disconnect" and Cancel.
    bool AskStopRunAndDisconnect(const QString& text) override;

private:
    bool AskToStop(const QString& text, const QString& stopCaption);

    QWidget* mParent;
    QList<QPointer<QMessageBox>> mModeless;
};

}  // namespace sequora::gui
