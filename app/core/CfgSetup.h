#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/core/CfgLoadResult.h"
#include "app/core/ItemList.h"
#include "cmdfile/CmdInterface.h"
#include "cmdfile/FormatCmdLine.h"

namespace sequora {

/// Loads one .cfg item-list file into an item list: every "-CreateTrialItem" appends a
/// row, the other keywords change the list's last row. Made for one load and dropped.
/// A load either runs whole (Load) or one command line at a time (Begin, then Step until
/// it returns false), so that a caller can show progress and cancel between lines.
/// Threads: used by one thread at a time; only the `cancel` flag given to Load may be set
/// from another thread.
class CfgSetup {
public:
    /// Told the bytes read so far and the file's size (0 when unknown).
    using Progress = std::function<void(std::uint64_t bytesRead, std::uint64_t fileBytes)>;

    /// Appends to `list` (not owned, must outlive this object), pausing `pausePerLine`
    /// before each command line is handled (the window uses 20 ms, the headless runner 0).
    CfgSetup(ItemList& list, std::chrono::milliseconds pausePerLine);
    CfgSetup(const CfgSetup&) = delete;
    CfgSetup& operator=(const CfgSetup&) = delete;

    /// Reads the file and changes the list as its lines say; a file that cannot be opened
    /// changes nothing. Reading ends at the end of the file, at the first line that cannot
    /// be read (the rows before it stay), or before the next line once `cancel` is set.
    /// `progress`, when given, is called whenever another thousandth of the file has been
    /// read, and once at the end.
    CfgLoadResult Load(const std::string& path, const Progress& progress = {},
                       const std::atomic<bool>* cancel = nullptr);
    /// As Load, but reads the lines from `text`.
    CfgLoadResult LoadText(std::string_view text);

    /// Opens the file for a load one line at a time; false (and Result() says why) when it
    /// cannot be opened.
    bool Begin(const std::string& path);
    /// As Begin, but reads the lines from `text`.
    bool BeginText(std::string_view text);
    /// Pauses, then handles the next command line; false once reading has ended (Result()
    /// then tells how).
    bool Step();
    /// Ends reading before the next line; Result() then says so.
    void Cancel();
    /// How the load ended, or the items loaded so far while it goes on.
    const CfgLoadResult& Result() const { return mResult; }
    /// The bytes of the file read so far.
    std::uint64_t BytesRead() const { return mReader.BytesRead(); }
    /// The size of the file (0 when unknown).
    std::uint64_t FileBytes() const { return mReader.InputBytes(); }

    /// The reason a cancelled load gives.
    static constexpr char kCancelledReason[] = "the load was cancelled";
    /// Why reading stops at a line holding a NUL byte.
    static constexpr char kNulReason[] = "the line holds a NUL byte";

private:
    void Started();
    void Ended();
    void StopAt(const char* reason);
    int CreateTrialItem(const std::string& line);
    int SendEventString(const std::string& line);
    int SendTtlBit(const std::string& line);
    int SendCommand(const std::string& line);
    int SetDelay(const std::string& line);

    // Every member is used by the loading thread only.
    ItemList& mList;
    std::chrono::milliseconds mPausePerLine;
    cmdfile::FormatCmdLine mReader;
    cmdfile::CmdInterface mCommands;
    bool mReading = false;  // between a successful Begin and the end of reading
    std::string mLine;      // the command line being handled; kept for its capacity
    CfgLoadResult mResult;
};

}  // namespace sequora
