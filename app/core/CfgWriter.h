#pragma once

#include <string>
#include <vector>

#include "app/core/ItemList.h"

namespace sequora {

/// The message shown when a .cfg file cannot be written.
inline constexpr const char kCfgWriteFailedMessage[] = "Error; Text file could not be opened for writing.";

/// Writes item lists as .cfg files in the standard layout (CR LF line ends, a tab before
/// each setting line).
class CfgWriter {
public:
    /// The whole file text for the rows, in the standard layout.
    static std::string FormatText(const std::vector<ItemRow>& rows);

    /// Writes the rows to `path`, replacing the file; false when it could not be opened,
    /// written in full or closed. ErrorMessage() and ErrorReason() then say why.
    bool Write(const std::string& path, const std::vector<ItemRow>& rows);
    /// Writes every row of the list (taken under one lock) to `path`.
    bool Write(const std::string& path, const ItemList& list);

    /// The message for the user after a failed Write (kCfgWriteFailedMessage), else empty.
    const std::string& ErrorMessage() const { return mErrorMessage; }
    /// The system's reason for the last failure (e.g. "Permission denied"), else empty.
    const std::string& ErrorReason() const { return mErrorReason; }

private:
    bool Fail(int error);

    std::string mErrorMessage;
    std::string mErrorReason;
};

}  // namespace sequora
