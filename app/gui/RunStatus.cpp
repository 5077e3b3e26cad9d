#include "app/gui/RunStatus.h"

#include <algorithm>

#include "app/gui/StatusTexts.h"

namespace sequora::gui {

namespace {

// Joins the parts of a status text.
const char kSeparator[] = " \u00b7 ";

std::string FileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void RunStatus::Started(std::uint32_t seed, int trialCount, bool continuous, const std::string& journalPath) {
    *this = RunStatus();
    mState = State::Playing;
    mSeed = seed;
    mTrialCount = trialCount;
    mContinuous = continuous;
    mJournalName = FileName(journalPath);
}

void RunStatus::RowStarted(long long trial, int row, int rowCount) {
    mTrial = trial;
    mRow = row;
    mRowCount = rowCount;
}

void RunStatus::SetPaused(bool paused) {
    if (Playing()) mState = paused ? State::Paused : State::Playing;
}

void RunStatus::Ended(End how, long long trial, int row, const std::string& message,
                      std::chrono::nanoseconds elapsed) {
    mState = State::Ended;
    mEnd = how;
    mTrial = trial;
    mRow = row;
    mMessage = message;
    mElapsed = elapsed;
}

void RunStatus::AddNote(const std::string& note) {
    if (note.empty() || std::find(mNotes.begin(), mNotes.end(), note) != mNotes.end()) return;
    mNotes.push_back(note);
}

std::string RunStatus::Text(std::chrono::nanoseconds elapsed) const {
    std::string text = RunText(elapsed);
    for (const std::string& note : mNotes) text += (text.empty() ? "" : kSeparator) + note;
    return text;
}

std::string RunStatus::RunText(std::chrono::nanoseconds elapsed) const {
    switch (mState) {
        case State::None: return {};
        case State::Paused: return "Paused";
        case State::Playing: {
            std::string text = "Trial " + std::to_string(mTrial);
            text +=
                mContinuous ? std::string(kSeparator) + "continuous" : " of " + std::to_string(mTrialCount);
            if (mRowCount > 0) {
                text += kSeparator + ("row " + std::to_string(mRow) + " of " + std::to_string(mRowCount));
            }
            return text + kSeparator + status_texts::Elapsed(elapsed);
        }
        case State::Ended: break;
    }
    switch (mEnd) {
        case End::Completed:
            return "Completed " + std::to_string(mTrial) + (mTrial == 1 ? " trial in " : " trials in ") +
                   status_texts::Elapsed(mElapsed);
        case End::Stopped:
            return "Stopped in trial " + std::to_string(mTrial) + ", row " + std::to_string(mRow);
        case End::Failed: return mMessage;
        case End::Closed: return {};
    }
    return {};
}

std::string RunStatus::Details() const {
    if (mState == State::None) return {};
    std::string details = "seed " + std::to_string(mSeed);
    if (!mJournalName.empty()) details += kSeparator + ("journal " + mJournalName);
    return details;
}

}  // namespace sequora::gui
