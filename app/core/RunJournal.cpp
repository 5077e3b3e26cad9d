#include "app/core/RunJournal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sequora {

namespace {

const char kTitleLine[] = "# sequora run journal\n";
const char kColumnsLine[] = "trial\trow\taction\ttext\tdue_ms\tsent_ms\tanswered_ms\tstatus\n";
const char kEmptyField[] = "-";
const char kFileExists[] = "the file exists already; a journal never replaces one";
const char kSinkStalled[] = "its reader stopped taking lines";
const char kNothingWritten[] = "nothing could be written";

std::string StoppedMessage(long long trial, int row, const std::string& reason) {
    return "Journal stopped at trial " + std::to_string(trial) + ", row " + std::to_string(row) + ": " +
           reason;
}

std::string HeaderText(const JournalHeader& h);

// Opens the journal's file as `mode` says; -1 with errno set, or with `reason` set when the
// refusal is this program's own. `created` says whether the call made the file.
int OpenFile(const std::string& path, JournalOpen mode, bool& created, std::string& reason) {
    created = false;
    if (mode == JournalOpen::Replace) {
        return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) {
        created = fd >= 0;
        return fd;
    }
    // A pipe or a device is written to, never replaced; only a file would be.
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        reason = kFileExists;
        return -1;
    }
    // Not waiting for a pipe's reader: a pipe nobody reads is refused (ENXIO) instead of
    // holding the program before its run.
    return ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
}

// Writes all of `text`; false with the system's reason (a pipe too full for it counts as unwritable).
bool WriteWhole(int fd, const std::string& text, std::string& reason) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            reason = n < 0 ? std::strerror(errno) : kNothingWritten;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

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

bool RunJournal::Open(const std::string& path, JournalOpen mode, const JournalHeader& header,
                      std::string& reason) {
    bool created = false;
    reason.clear();
    const int fd = OpenFile(path, mode, created, reason);
    if (fd < 0) {
        if (reason.empty()) reason = std::strerror(errno);
        return false;
    }
    // Written before anything else happens, on this thread: a journal nobody can write
    // must be known before the run (or its connection) begins.
    if (!WriteWhole(fd, HeaderText(header), reason)) {
        ::close(fd);
        if (created) ::unlink(path.c_str());
        return false;
    }
    // From here on a stalled reader must never hold up the writing thread for good.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    mWakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    mFd = fd;
    mWriter = std::thread(&RunJournal::WriteAll, this);
    return true;
}

void RunJournal::OnFailure(FailureHandler handler) {
    mOnFailure = std::move(handler);
}

void RunJournal::Begin(RunClock::TimePoint runStart) {
    Queue(Beginning{runStart});
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
    WakeWriter();
    mWriter.join();
    ::close(mFd);
    if (mWakeFd >= 0) ::close(mWakeFd);
    mFd = mWakeFd = -1;
}

std::string RunJournal::Failure() const {
    std::lock_guard guard(mLock);
    return mFailure;
}

void RunJournal::Queue(Entry entry) {
    if (!mWriter.joinable()) return;
    const JournalLine* line = std::get_if<JournalLine>(&entry);
    const std::size_t bytes = sizeof(Entry) + (line ? line->text.size() : 0);
    std::vector<Entry> spent;
    std::string overflow;
    {
        std::lock_guard guard(mLock);
        if (!mFailure.empty()) return;
        if (mQueuedBytes + bytes > kMaxQueuedBytes) {
            const auto* oldest = mQueue.empty() ? nullptr : std::get_if<JournalLine>(&mQueue.front());
            mFailure = StoppedMessage(oldest ? oldest->trial : 0, oldest ? oldest->row : 0, kSinkStalled);
            overflow = mFailure;
            mQueue.clear();
            mQueuedBytes = 0;
        } else {
            mQueue.push_back(std::move(entry));
            mQueuedBytes += bytes;
        }
        spent.swap(mSpent);
    }
    if (!overflow.empty()) {
        WakeWriter();
        if (mOnFailure) mOnFailure(overflow);
        return;
    }
    mQueued.notify_one();
    // `spent` is freed here, on the thread that allocated it (see WriteAll).
}

void RunJournal::WakeWriter() {
    const std::uint64_t one = 1;
    if (mWakeFd >= 0) (void)!::write(mWakeFd, &one, sizeof one);
}

void RunJournal::Fail(long long trial, int row, const std::string& reason) {
    std::string message;
    {
        std::lock_guard guard(mLock);
        if (!mFailure.empty()) return;
        mFailure = message = StoppedMessage(trial, row, reason);
        mQueue.clear();
        mQueuedBytes = 0;
    }
    if (mOnFailure) mOnFailure(message);
}

void RunJournal::WriteAll() {
    // Written entries wait here until they can go back to the queuing thread, to be freed there:
    // a free on this thread would take the allocator's lock of that thread's arena, and a run's
    // worker must never wait for this thread. (Only the list itself is this thread's memory.)
    std::vector<std::vector<Entry>> written;
    for (;;) {
        std::vector<Entry> batch;
        std::size_t batchBytes = 0;
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
            batchBytes = mQueuedBytes;  // stays counted until written
            closing = mClosing;
        }
        for (const Entry& entry : batch) {
            if (const auto* line = std::get_if<JournalLine>(&entry)) {
                mTrial = line->trial;
                mRow = line->row;
            }
            std::string reason;
            if (!WriteOut(Format(entry), reason)) {
                if (!reason.empty()) Fail(mTrial, mRow, reason);
                break;
            }
        }
        {
            std::lock_guard guard(mLock);
            mQueuedBytes -= std::min(batchBytes, mQueuedBytes);
        }
        if (!batch.empty()) written.push_back(std::move(batch));
        // Once closing, the run is over: whatever is left may be freed anywhere.
        if (closing) return;
    }
}

bool RunJournal::WriteOut(const std::string& text, std::string& reason) {
    std::chrono::steady_clock::time_point giveUpAt = std::chrono::steady_clock::time_point::max();
    std::size_t done = 0;
    while (done < text.size()) {
        {
            std::lock_guard guard(mLock);
            if (!mFailure.empty()) return false;  // declared failed meanwhile: drop the rest
            if (mClosing && giveUpAt == std::chrono::steady_clock::time_point::max())
                giveUpAt = std::chrono::steady_clock::now() + kCloseGrace;
        }
        const ssize_t n = ::write(mFd, text.data() + done, text.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
        } else if (n < 0 && errno == EAGAIN) {
            if (!AwaitSink(giveUpAt)) {
                reason = kSinkStalled;
                return false;
            }
        } else {
            reason = n < 0 ? std::strerror(errno) : kNothingWritten;
            return false;
        }
    }
    return true;
}

bool RunJournal::AwaitSink(std::chrono::steady_clock::time_point& giveUpAt) {
    // Waits until the sink takes bytes again, or something wakes this thread (Close, or a
    // failure declared by the queuing side); false once a closing journal's grace is over.
    int timeout = -1;
    if (giveUpAt != std::chrono::steady_clock::time_point::max()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            giveUpAt - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        timeout = static_cast<int>(left.count());
    }
    pollfd fds[2] = {{mFd, POLLOUT, 0}, {mWakeFd, POLLIN, 0}};
    if (::poll(fds, 2, timeout) < 0 && errno != EINTR) return false;
    if (fds[1].revents != 0) {
        std::uint64_t count = 0;
        (void)!::read(mWakeFd, &count, sizeof count);
    }
    return true;
}

std::string RunJournal::Format(const Entry& entry) {
    if (const auto* begin = std::get_if<Beginning>(&entry)) {
        mRunStart = begin->runStart;
        return {};
    }
    if (const auto* end = std::get_if<Ending>(&entry)) {
        return std::string("# ended ") + RunEndWord(end->how) + "  after " +
               Milliseconds(end->at, mRunStart) + " ms\n";
    }
    const auto& line = std::get<JournalLine>(entry);
    const bool delay = line.action == JournalAction::Delay;
    const std::string sent = line.wentOut ? Milliseconds(line.sent, mRunStart) : "";
    const std::string answered = line.wentOut && !delay ? Milliseconds(line.answered, mRunStart) : "";
    return std::to_string(line.trial) + "\t" + std::to_string(line.row) + "\t" + ActionWord(line.action) +
           "\t" + OneLine(line.text) + "\t" + Milliseconds(line.due, mRunStart) + "\t" + sent + "\t" +
           answered + "\t" + line.status + "\n";
}

namespace {

std::string HeaderText(const JournalHeader& h) {
    return std::string(kTitleLine) + "# started " + RunJournal::IsoLocalTime(h.started) + "  server " +
           HeaderField(h.server) + "  file " + HeaderField(h.listFile) + "  seed " + std::to_string(h.seed) +
           "  trials " + (h.continuous ? std::string("continuous") : std::to_string(h.trials)) + "\n" +
           kColumnsLine;
}

}  // namespace

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
