#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "app/core/RunObserver.h"
#include "tests/support/EventLog.h"

namespace testsupport {

/// A run observer that logs "message <text>" and "controls" in the event log, and keeps
/// what it hears of runs starting, rows and runs ending beside it.
class RecordingObserver : public sequora::RunObserver {
public:
    /// `log` is not owned and must outlive the observer.
    explicit RecordingObserver(EventLog& log) : mLog(log) {}

    /// Logs "message <text>".
    void ShowMessage(const std::string& text) override;
    /// Logs "controls".
    void ControlsChanged() override;
    /// Keeps the start.
    void RunStarted(const sequora::RunStartInfo& info) override;
    using RunObserver::RowStarted;
    /// Keeps "<trial>.<row>/<rowCount>" and the position.
    void RowStarted(const sequora::RunPosition& at) override;
    /// Keeps the position and whether the run held or went on.
    void PauseHeld(const sequora::RunPosition& at, bool held) override;
    /// Keeps the message.
    void JournalStopped(std::uint64_t run, const std::string& message) override;
    /// Keeps the end.
    void RunEnded(const sequora::RunEndInfo& info) override;

    /// Every run start heard so far.
    std::vector<sequora::RunStartInfo> Starts() const;
    /// Every row heard so far, as "<trial>.<row>/<rowCount>".
    std::vector<std::string> Rows() const;
    /// Every row start and pause report heard so far, in order.
    std::vector<sequora::RunPosition> Positions() const;
    /// Every journal failure heard so far.
    std::vector<std::string> JournalStops() const;
    /// Every run end heard so far.
    std::vector<sequora::RunEndInfo> Ends() const;

private:
    EventLog& mLog;
    mutable std::mutex mLock;  // guards the lists
    std::vector<sequora::RunStartInfo> mStarts;
    std::vector<std::string> mRows;
    std::vector<sequora::RunPosition> mPositions;
    std::vector<std::string> mJournalStops;
    std::vector<sequora::RunEndInfo> mEnds;
};

}  // namespace testsupport
