#include "tests/support/RecordingObserver.h"

namespace testsupport {

void RecordingObserver::ShowMessage(const std::string& text) {
    mLog.Add("message " + text);
}

void RecordingObserver::ControlsChanged() {
    mLog.Add("controls");
}

void RecordingObserver::RunStarted(const sequora::RunStartInfo& info) {
    std::lock_guard guard(mLock);
    mStarts.push_back(info);
}

void RecordingObserver::RowStarted(const sequora::RunPosition& at) {
    std::lock_guard guard(mLock);
    mRows.push_back(std::to_string(at.trial) + "." + std::to_string(at.row) + "/" +
                    std::to_string(at.rowCount));
    mPositions.push_back(at);
}

void RecordingObserver::PauseHeld(const sequora::RunPosition& at, bool held) {
    (void)held;
    std::lock_guard guard(mLock);
    mPositions.push_back(at);
}

void RecordingObserver::JournalStopped(std::uint64_t run, const std::string& message) {
    (void)run;
    std::lock_guard guard(mLock);
    mJournalStops.push_back(message);
}

std::vector<std::string> RecordingObserver::JournalStops() const {
    std::lock_guard guard(mLock);
    return mJournalStops;
}

std::vector<sequora::RunPosition> RecordingObserver::Positions() const {
    std::lock_guard guard(mLock);
    return mPositions;
}

void RecordingObserver::RunEnded(const sequora::RunEndInfo& info) {
    std::lock_guard guard(mLock);
    mEnds.push_back(info);
}

std::vector<sequora::RunStartInfo> RecordingObserver::Starts() const {
    std::lock_guard guard(mLock);
    return mStarts;
}

std::vector<std::string> RecordingObserver::Rows() const {
    std::lock_guard guard(mLock);
    return mRows;
}

std::vector<sequora::RunEndInfo> RecordingObserver::Ends() const {
    std::lock_guard guard(mLock);
    return mEnds;
}

}  // namespace testsupport
