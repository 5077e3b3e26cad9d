#include "app/core/RunJournal.h"

#include <cerrno>
#include <cstring>
#include <ctime>

namespace sequora {

namespace {

const char kEmptyField[] = "-";

const char* ActionWord(JournalAction action) {
    switch (action) {
        case JournalAction::Event: return "event";
        case JournalAction::Bit: return "bit";
        case JournalAction::Command: return "command";
        case JournalAction::Delay: return "delay";
    }
    return "command";
}

// Texts come from the item list unchanged; only what would break a record apart is escaped.
std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

std::string HeaderField(const std::string& text) {
    return text.empty() ? kEmptyField : OneLine(text);
}

std::string Milliseconds(RunClock::TimePoint time, RunClock::TimePoint start) {
    const double ms = std::chrono::duration<double, std::milli>(time - start).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", ms);
    return text;
}

}  // namespace

RunJournal::~RunJournal() {
    Close();
}

bool RunJournal::Open(const std::string& path, std::string& reason) {
    if (path.empty()) {
        mWriter = std::thread(&RunJournal::WriteAll, this);
        return true;
    }
    mFile = std::fopen(path.c_str(), "wb");
    if (mFile == nullptr) {
        reason = std::strerror(errno);
        return false;
    }
    mWriter = std::thread(&RunJournal::WriteAll, this);
    return true;
}

void RunJournal::Begin(const JournalHeader& header, RunClock::TimePoint runStart) {
    Queue(Beginning{header, runStart});
}

void RunJournal::Add(JournalLine line) {
    Queue(std::move(line));
}

void RunJournal::End(RunEnd how, RunClock::TimePoint at) {
    Queue(Ending{how, at});
}

void RunJournal::Close() {
    if (!mWriter.joinable()) return;
    {
        std::lock_guard guard(mLock);
        mClosing = true;
    }
    mQueued.notify_one();
    mWriter.join();
    if (mFile != nullptr) std::fclose(mFile);
    mFile = nullptr;
}

void RunJournal::Queue(Entry entry) {
    if (!mWriter.joinable()) return;
    std::vector<Entry> spent;
    {
        std::lock_guard guard(mLock);
        mQueue.push_back(std::move(entry));
        spent.swap(mSpent);
    }
    mQueued.notify_one();
    // `spent` is freed here, on the thread that allocated it (see WriteAll).
}

void RunJournal::WriteAll() {
    // Written entries wait here until they can go back to the queuing thread, to be freed there:
    // a free on this thread would take the allocator's lock of that thread's arena, and a run's
    // worker must never wait for this thread. (Only the list itself is this thread's memory.)
    std::vector<std::vector<Entry>> written;
    for (;;) {
        std::vector<Entry> batch;
        bool closing = false;
        {
            std::unique_lock lock(mLock);
            mQueued.wait(lock,
                         [&] { return mClosing || !mQueue.empty() || (!written.empty() && mSpent.empty()); });
            if (!written.empty() && mSpent.empty()) {
                mSpent.swap(written.back());
                written.pop_back();
            }
            batch.swap(mQueue);
            closing = mClosing;
        }
        for (const Entry& entry : batch) {
            const std::string text = Format(entry);
            if (mFile == nullptr) continue;
            std::fwrite(text.data(), 1, text.size(), mFile);
            std::fflush(mFile);
        }
        if (!batch.empty()) written.push_back(std::move(batch));
        // Once closing, the run is over: whatever is left may be freed anywhere.
        if (closing) return;
    }
}

std::string RunJournal::Format(const Entry& entry) {
    if (const auto* begin = std::get_if<Beginning>(&entry)) {
        mRunStart = begin->runStart;
        const JournalHeader& h = begin->header;
        return std::string(kJournalTitleLine) + "\n# started " + IsoLocalTime(h.started) + "  server " +
               HeaderField(h.server) + "  file " + HeaderField(h.listFile) + "  seed " +
               std::to_string(h.seed) + "  trials " +
               (h.continuous ? std::string("continuous") : std::to_string(h.trials)) + "\n" +
               kJournalColumnsLine + "\n";
    }
    if (const auto* end = std::get_if<Ending>(&entry)) {
        mTimingLine = TimingLine(mTally.Timing());
        return mTimingLine + "\n# ended " + RunEndWord(end->how) + "  after " +
               Milliseconds(end->at, mRunStart) + " ms\n";
    }
    const auto& line = std::get<JournalLine>(entry);
    const bool delay = line.action == JournalAction::Delay;
    std::string text = std::to_string(line.trial) + "\t" + std::to_string(line.row) + "\t" +
                       ActionWord(line.action) + "\t" + OneLine(line.text) + "\t" +
                       Milliseconds(line.due, mRunStart) + "\t" + Milliseconds(line.sent, mRunStart) + "\t" +
                       (delay ? "" : Milliseconds(line.answered, mRunStart)) + "\t" + line.status;
    // The summary is gathered from the lines as written, so that a saved journal read back
    // gives the same summary.
    mTally.Take(text);
    return text + "\n";
}

std::string RunJournal::Timing() const {
    return mTimingLine;
}

std::string RunJournal::IsoLocalTime(std::chrono::system_clock::time_point time) {
    const auto sinceEpoch = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const std::time_t whole = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    localtime_r(&whole, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff;
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    std::snprintf(text, sizeof text, "%s.%03d%c%02ld:%02ld", date, static_cast<int>(millis),
                  offset < 0 ? '-' : '+', magnitude / 3600, (magnitude % 3600) / 60);
    return text;
}

}  // namespace sequora
