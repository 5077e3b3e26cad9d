#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace sequora::gui {

/// Text of the core (the local 8-bit encoding) shown in a control.
inline QString FromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

/// A control's text for the core.
inline std::string ToLocal(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

/// A path from a file dialog as the file system names it.
inline std::string ToFilePath(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace sequora::gui
