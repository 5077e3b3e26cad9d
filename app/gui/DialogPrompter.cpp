#include "DialogPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace sequora::gui {

namespace {

QString Caption() { return QApplication::applicationDisplayName(); }

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
    QObject::connect(box, &QMessageBox::finished, box,
                     [dismissed = std::move(dismissed)](int) {
                         if (dismissed) dismissed();
                     });
    mModeless.removeAll(nullptr);
    mModeless.append(box);
    box->show();
}

void DialogPrompter::CloseModelessMessages() {
    const auto boxes = mModeless;
    mModeless.clear();
    for (const QPointer<QMessageBox>& box : boxes) {
        if (box) box->done(QMessageBox::Ok);
    }
}

QString DialogPrompter::OpenFileName(const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(mParent, title, QString(), filter);
}

QString DialogPrompter::SaveFileName(const QString& title, const QString& filter) {
    return QFileDialog::getSaveFileName(mParent, title, QString(), filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

}  // namespace sequora::gui
