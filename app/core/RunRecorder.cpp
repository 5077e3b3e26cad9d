#include "app/core/RunRecorder.h"

#include <chrono>
#include <utility>

#include "app/core/JournalWords.h"
#include "app/core/RunMessages.h"

namespace sequora {

std::unique_ptr<RunJournal> RunRecorder::OpenJournal(const JournalSettings& settings, JournalHeader header,
                                                     std::string& refusal) {
    auto journal = std::make_unique<RunJournal>();
    if (settings.path.empty()) {
        std::string unused;
        journal->Open({}, JournalOpen::Replace, {}, unused);
        return journal;
    }
    header.server = settings.server;
    header.listFile = settings.listFile;
    std::string reason;
    if (journal->Open(settings.path, settings.mode, header, reason)) return journal;
    refusal = run_messages::JournalNotWritable(settings.path, reason);
    return nullptr;
}

RunRecorder::RunRecorder(RunJournal* journal, CommandSender& sender, RunClock& clock,
                         const std::atomic<bool>& stopped)
    : mJournal(journal), mSender(sender), mClock(clock), mStopped(stopped) {}

void RunRecorder::Begin(RunClock::TimePoint start) {
    mDue = start;
    if (mJournal) mJournal->Begin(start);
}

void RunRecorder::DueNow() {
    mDue = mClock.Now();
}

void RunRecorder::RowStarting() {
    mLastAnswered.reset();
}

bool RunRecorder::Exchange(const std::string& command, JournalAction action, RunPlace place) {
    JournalLine line;
    if (mJournal) {
        line = CommandLine(command, action, place);
        line.sent = mClock.Now();
    }
    std::string answer;
    const bool ok = mSender.SendCommand(command, answer);
    line.answered = mClock.Now();
    mLastAnswered = line.answered;
    if (!mJournal) return ok;
    if (!ok && mSender.LastFailure() == SendFailure::NotConnected) {
        RecordNotSent(command, action, SendFailure::NotConnected, place);
        return false;
    }
    if (!ok) line.status = run_messages::FailureStatus(mSender.LastFailure());
    Record(std::move(line));
    return ok;
}

void RunRecorder::RecordNotSent(const std::string& command, JournalAction action, SendFailure failure,
                                RunPlace place) {
    if (!mJournal) return;
    JournalLine line = CommandLine(command, action, place);
    line.wentOut = false;
    line.status = run_messages::NotSentStatus(failure);
    Record(std::move(line));
}

RunRecorder::DelayTimes RunRecorder::DelayAfterRow(long long delayMs) const {
    // One absolute deadline from the end of the sends: the bookkeeping between them and the
    // sleep (reports, journal lines) is part of the delay, not added to it.
    DelayTimes times;
    times.start = mLastAnswered ? *mLastAnswered : mClock.Now();
    times.deadline = times.start + std::chrono::milliseconds(delayMs);
    return times;
}

void RunRecorder::SleepDelay(const DelayTimes& times, long long delayMs, RunPlace place) {
    WriteHeldDelay();
    const auto wake = [&] { return mStopped.load(); };
    while (!mStopped && mClock.Now() < times.deadline) mClock.WaitUntil(times.deadline, wake);
    const RunClock::TimePoint slept = mClock.Now();
    mDue = times.deadline;
    if (!mJournal) return;
    JournalLine line;
    line.trial = place.trial;
    line.row = place.row;
    line.action = JournalAction::Delay;
    line.text = std::to_string(delayMs);
    line.due = times.start;
    line.sent = slept;
    if (mStopped && slept < times.deadline) line.status = journal_words::kStatusStopped;
    mHeldDelay = std::move(line);
}

void RunRecorder::Finish(RunEnd how, RunClock::TimePoint end, RunEndInfo& info) {
    if (!mJournal) return;
    WriteHeldDelay();
    mJournal->End(how, end);
    mJournal->Close();
    info.journalFailure = mJournal->Failure();
    info.timing = mJournal->Timing();
}

JournalLine RunRecorder::CommandLine(const std::string& command, JournalAction action, RunPlace place) const {
    JournalLine line;
    line.trial = place.trial;
    line.row = place.row;
    line.action = action;
    line.text = command;
    line.due = mDue;
    return line;
}

void RunRecorder::Record(JournalLine line) {
    WriteHeldDelay();
    mJournal->Add(std::move(line));
}

void RunRecorder::WriteHeldDelay() {
    if (!mHeldDelay) return;
    if (mJournal) mJournal->Add(std::move(*mHeldDelay));
    mHeldDelay.reset();
}

RunRecorder::Resets::Resets(RunRecorder& recorder, RunPlace place, StartingHandler starting)
    : mRecorder(recorder), mPlace(place), mStarting(std::move(starting)) {}

void RunRecorder::Resets::ResetsStarting(const std::vector<int>& bits) {
    mStarting(bits);
    mRecorder.DueNow();
}

bool RunRecorder::Resets::Connected() {
    return mRecorder.mSender.Connected();
}

bool RunRecorder::Resets::Exchange(const std::string& command) {
    return mRecorder.Exchange(command, JournalAction::Bit, mPlace);
}

void RunRecorder::Resets::NotSent(const std::string& command) {
    mRecorder.RecordNotSent(command, JournalAction::Bit, SendFailure::NotConnected, mPlace);
}

SendFailure RunRecorder::Resets::LastFailure() const {
    return mRecorder.mSender.LastFailure();
}

}  // namespace sequora
