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

void RecordingObserver::RowStarted(long long trial, int row, int rowCount) {
    std::lock_guard guard(mLock);
    mRows.push_back(std::to_string(trial) + "." + std::to_string(row) + "/" + std::to_string(rowCount));
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
