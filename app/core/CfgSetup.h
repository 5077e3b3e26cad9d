#pragma once

#include <chrono>
#include <string>

#include "app/core/ItemList.h"
#include "cmdfile/CmdInterface.h"
#include "cmdfile/FormatCmdLine.h"

namespace sequora {

/// Loads one .cfg item-list file into an item list: every "-CreateTrialItem" appends a
/// row, the other keywords change the list's last row. Made for one load and dropped.
class CfgSetup {
public:
    /// Appends to `list` (not owned, must outlive this object), pausing `pausePerLine`
    /// before each command line is handled (the window uses 20 ms, the headless runner 0).
    CfgSetup(ItemList& list, std::chrono::milliseconds pausePerLine);
    CfgSetup(const CfgSetup&) = delete;
    CfgSetup& operator=(const CfgSetup&) = delete;

    /// Reads the file and changes the list as its lines say; a file that cannot be read
    /// changes nothing, reading ends silently at the first faulty line.
    void Load(const std::string& path);

private:
    int CreateTrialItem(const std::string& line);
    int SendEventString(const std::string& line);
    int SendTtlBit(const std::string& line);
    int SendCommand(const std::string& line);
    int SetDelay(const std::string& line);

    ItemList& mList;
    std::chrono::milliseconds mPausePerLine;
    cmdfile::FormatCmdLine mReader;
    cmdfile::CmdInterface mCommands;
};

}  // namespace sequora
