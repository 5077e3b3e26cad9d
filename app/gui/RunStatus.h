#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sequora::gui {

/// What the status bar says about the trial run: where a run is while it plays, how the
/// last one ended, its seed and its journal. Fed on the window thread with what the run
/// reports; knows nothing of widgets.
class RunStatus {
public:
    /// How a run ended, as far as the status bar tells them apart.
    enum class End { Completed, Stopped, Failed, Closed };

    /// A run has begun.
    void Started(std::uint32_t seed, int trialCount, bool continuous, const std::string& journalPath);
    /// Row `row` (1-based) of `rowCount` in trial `trial` (1-based) is playing.
    void RowStarted(long long trial, int row, int rowCount);
    /// The run was paused (true) or continued (false).
    void SetPaused(bool paused);
    /// The run is over. `message` is the failed send's message for End::Failed.
    void Ended(End how, long long trial, int row, const std::string& message,
               std::chrono::nanoseconds elapsed);

    /// Adds a note that Text shows after the run's own text until the next run starts, such as
    /// a stopped journal or the bits a Stop reset. Empty notes and repeats are ignored.
    void AddNote(const std::string& note);

    /// The run text: "Trial 2 of 5 · row 3 of 8 · 00:01:23" (elapsed as given) while it
    /// plays, "Paused", "Stopped in trial 2, row 1", "Completed 5 trials in 00:04:10" or
    /// "Run stopped: ..." afterwards, each note after it; empty before the first run.
    std::string Text(std::chrono::nanoseconds elapsed) const;
    /// "seed <n>", with " · journal <file name>" when the run writes one; empty before the
    /// first run.
    std::string Details() const;
    /// True from Started until Ended.
    bool Playing() const { return mState == State::Playing || mState == State::Paused; }

private:
    std::string RunText(std::chrono::nanoseconds elapsed) const;

    enum class State { None, Playing, Paused, Ended };

    State mState = State::None;
    End mEnd = End::Completed;
    std::uint32_t mSeed = 0;
    int mTrialCount = 0;
    bool mContinuous = false;
    std::string mJournalName;
    long long mTrial = 0;
    int mRow = 0;
    int mRowCount = 0;
    std::string mMessage;
    std::chrono::nanoseconds mElapsed{0};
    std::vector<std::string> mNotes;
};

}  // namespace sequora::gui
