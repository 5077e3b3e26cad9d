#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/core/ItemList.h"

namespace sequora {

/// The message shown when a .cfg file cannot be opened (created) for writing.
inline constexpr const char kCfgWriteFailedMessage[] = "Error; Text file could not be opened for writing.";
/// The message shown when writing failed after the file was opened and an older file of
/// the name was kept as it was.
inline constexpr const char kCfgWriteFailedKeptMessage[] =
    "Error; Text file could not be written. The existing file was left unchanged.";
/// The message shown when writing failed after the file was opened and no file of the
/// name existed before.
inline constexpr const char kCfgWriteFailedNewMessage[] =
    "Error; Text file could not be written. No file was created.";
/// The message shown when writing to something other than a plain file (a device, a pipe)
/// failed part of the way.
inline constexpr const char kCfgWriteFailedStreamMessage[] = "Error; Text file could not be written.";

/// Writes item lists as .cfg files in the standard layout (CR LF line ends, a tab before
/// each setting line). A file is never written in place: the text goes to a temporary file
/// beside it, which is synced and then renamed over it, so that a failure at any point
/// leaves the old file as it was. Rows that would not read back as they stand are refused
/// before anything is written. (A device or a pipe is written to directly.)
/// Threads: used by one thread at a time.
class CfgWriter {
public:
    /// A row that cannot be saved so that it reads back.
    struct RowRefusal {
        std::size_t row = 0;   ///< its position in the list, counting from 1
        std::string number;    ///< its "#" text
        std::string keyword;   ///< the keyword of the line that cannot be read back
        bool tooLong = false;  ///< the line is too long (else: it reads back otherwise)

        /// What the user is told, naming the row and the line.
        std::string Message() const;
    };

    /// The whole file text for the rows, in the standard layout.
    static std::string FormatText(const std::vector<ItemRow>& rows);
    /// The first of the rows that the writer refuses, if any: one with a line longer than
    /// the reader accepts, or one that would read back with other texts (a double quote,
    /// "#" or "//" in a quoted text, a line feed, a delay of several words, a bit state
    /// other than "On" and "Off", ...). The "#" text is not stored and is not compared.
    static std::optional<RowRefusal> FindRefusedRow(const std::vector<ItemRow>& rows);

    /// Writes the rows to `path`, replacing the file; false when a row is refused or the
    /// file could not be written in full, synced and put in place. ErrorMessage() and
    /// ErrorReason() then say why.
    bool Write(const std::string& path, const std::vector<ItemRow>& rows);
    /// Writes every row of the list (taken under one lock) to `path`.
    bool Write(const std::string& path, const ItemList& list);
    /// Writes the rows over the content of the file `path` itself, for a file whose folder
    /// takes no new file: not atomic, so a failure may leave it cut short. Rows are not
    /// checked again (a Write that failed only at creating its file has checked them).
    bool Rewrite(const std::string& path, const std::vector<ItemRow>& rows);

    /// The message for the user after a failed Write, else empty.
    const std::string& ErrorMessage() const { return mErrorMessage; }
    /// The system's reason for the last failure (e.g. "Permission denied"); empty after a
    /// success and after a refused row.
    const std::string& ErrorReason() const { return mErrorReason; }

private:
    using RowAt = std::function<ItemRow(std::size_t index)>;

    bool WriteRows(const std::string& path, std::size_t count, const RowAt& rowAt);
    bool WriteInPlace(const std::string& path, std::size_t count, const RowAt& rowAt);
    bool Fail(const char* message, int error);

    std::string mErrorMessage;  // written by the writing thread
    std::string mErrorReason;   // written by the writing thread
};

}  // namespace sequora
