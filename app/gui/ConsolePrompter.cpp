#include "app/gui/ConsolePrompter.h"

namespace sequora::gui {

void ConsolePrompter::ShowMessage(const QString& text) {
    mOut << "sequora: " << text.toLocal8Bit().constData() << std::endl;
}

void ConsolePrompter::ShowMessageModeless(const QString& text, std::function<void()> dismissed) {
    ShowMessage(text);
    if (dismissed) dismissed();
}

}  // namespace sequora::gui
