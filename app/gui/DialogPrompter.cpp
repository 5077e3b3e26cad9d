#include "app/gui/DialogPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

namespace sequora::gui {

namespace {

QString Caption() {
    return QApplication::applicationDisplayName();
}

}  // namespace

DialogPrompter::DialogPrompter(QWidget* parent) : mParent(parent) {}

void DialogPrompter::ShowMessage(const QString& text) {
    QMessageBox box(QMessageBox::Warning, Caption(), text, QMessageBox::Ok, mParent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

void DialogPrompter::ShowMessageModeless(const QString& text, std::function<void()> dismissed) {
    auto* box = new QMessageBox(QMessageBox::Warning, Caption(), text, QMessageBox::Ok, mParent);
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // A box closed by the user and then again by CloseModelessMessages finishes twice;
    // the caller hears of it once.
    QObject::connect(box, &QMessageBox::finished, box, [dismissed = std::move(dismissed)](int) mutable {
        if (auto once = std::exchange(dismissed, nullptr)) once();
    });
    mModeless.removeAll(nullptr);
    mModeless.append(box);
    box->show();
}

void DialogPrompter::CloseModelessMessages() {
    const auto boxes = mModeless;
    mModeless.clear();
    for (const QPointer<QMessageBox>& box : boxes) {
        if (box && box->isVisible()) box->done(QMessageBox::Ok);
    }
}

QString DialogPrompter::OpenFileName(const QString& title, const QString& filter, const QString& folder) {
    QFileDialog dialog(mParent, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A name that does not exist is handed on like any other: loading it changes nothing.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

QString DialogPrompter::SaveFileName(const QString& title, const QString& filter, const QString& folder) {
    QFileDialog dialog(mParent, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // A name typed without an extension becomes a .cfg file.
    dialog.setDefaultSuffix(QStringLiteral("cfg"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

Prompter::UnsavedChoice DialogPrompter::AskUnsavedChanges(const QString& text) {
    QMessageBox box(QMessageBox::Question, Caption(), text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, mParent);
    box.setDefaultButton(QMessageBox::Save);
    box.setWindowModality(Qt::ApplicationModal);
    switch (box.exec()) {
        case QMessageBox::Save: return UnsavedChoice::Save;
        case QMessageBox::Discard: return UnsavedChoice::Discard;
        default: return UnsavedChoice::Cancel;
    }
}

bool DialogPrompter::AskStopRunAndClose(const QString& text) {
    return AskToStop(text, QObject::tr("Stop and Close"));
}

bool DialogPrompter::AskStopRunAndDisconnect(const QString& text) {
    return AskToStop(text, QObject::tr("Stop and Disconnect"));
}

bool DialogPrompter::AskToStop(const QString& text, const QString& stopCaption) {
    QMessageBox box(QMessageBox::Question, Caption(), text, QMessageBox::Cancel, mParent);
    QPushButton* stop = box.addButton(stopCaption, QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.clickedButton() == stop;
}

}  // namespace sequora::gui
