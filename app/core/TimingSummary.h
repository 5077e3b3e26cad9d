#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sequora {

/// The samples of one timing measure of a run, in whole microseconds: the run journal's
/// resolution, so that a summary of a saved journal equals the one written into it.
/// Equal samples are counted once each, so memory grows with distinct values, not with the run.
class TimingSamples {
public:
    void Add(long long micros);
    long long Count() const { return mCount; }
    /// The nearest-rank percentile: the smallest sample with at least `percent` per cent of
    /// all samples at or below it. 0 when there are none.
    long long Percentile(double percent) const;
    long long Median() const { return Percentile(50); }
    long long Max() const;
    /// How often each value (µs) occurred, in ascending order of value.
    const std::map<long long, long long>& Counts() const { return mCounts; }

private:
    std::map<long long, long long> mCounts;
    long long mCount = 0;
};

/// A run's timing: how late commands went out after they were due (sent − due), how long
/// their answers took (answered − sent), and how far delays overran (end − due end).
struct RunTiming {
    TimingSamples lateness;
    TimingSamples answer;
    TimingSamples overshoot;
};

/// Counts of samples in bins of equal width on a logarithmic axis from 1 µs to 1 s:
/// `binsPerDecade` bins per factor of ten, six decades. Bin i holds the samples from
/// 10^(i/binsPerDecade) µs up to the next bin's start; samples at or below 1 µs fall into the
/// first bin and those of 1 s or more into the last, so that every sample is shown.
std::vector<long long> LogHistogram(const TimingSamples& samples, int binsPerDecade);
/// The decades of LogHistogram's axis: 1 µs to 1 s.
inline constexpr int kHistogramDecades = 6;

/// "0.006", "0.9", "12", "-0.25": microseconds as milliseconds, at most three decimals and no
/// trailing zeros.
std::string MillisecondsText(long long micros);

/// The journal's timing line, "# timing  lateness_ms median 0.006 p99 0.014 max 0.9  answer_ms
/// median … p99 … max …  overshoot_ms median … p99 … max …"; a measure without samples shows
/// "-" for each figure.
std::string TimingLine(const RunTiming& timing);

/// What a journal's "# started" line says, each field as written ("" when absent).
struct JournalHead {
    std::string started;
    std::string server;
    std::string file;
    std::string seed;
    std::string trials;
};

/// Takes a run journal's lines one at a time and gathers the run's timing from its records.
/// Threads: used by one thread at a time.
class JournalTally {
public:
    /// Takes one line without its line end. False when it is neither a comment, the column
    /// line nor a well-formed record; such a line counts for nothing.
    bool Take(std::string_view line);

    const RunTiming& Timing() const { return mTiming; }
    const JournalHead& Head() const { return mHead; }
    /// The "# ended" line, empty until one was taken.
    const std::string& Ended() const { return mEnded; }

private:
    bool TakeRecord(std::string_view line);
    void TakeComment(std::string_view line);

    RunTiming mTiming;
    JournalHead mHead;
    std::string mEnded;
};

/// A saved run journal as read back: its head, its timing, and whether it is whole.
struct SavedJournal {
    bool readable = false;    ///< false: cannot be opened, or is no run journal (`problem` says why)
    bool whole = false;       ///< every line complete and the "# ended" line present
    long long lineCount = 0;  ///< the lines read and used (all of them when whole)
    std::string problem;      ///< why it cannot be read, or where and why it is cut short
    JournalHead head;
    RunTiming timing;
    std::string ended;  ///< the "# ended" line, empty when missing
};

/// Reads a run journal file. A journal is cut short when a line is not complete (no line end),
/// a line is no journal line (reading stops before it), or the "# ended" line is missing;
/// the timing then covers the lines before that point.
SavedJournal ReadSavedJournal(const std::string& path);

}  // namespace sequora
