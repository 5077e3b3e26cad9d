#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>

#include "app/core/CommandSender.h"
#include "tests/support/EventLog.h"

namespace testsupport {

/// A command sender that logs every command as "send <text>" and answers "0". It can hold
/// the first send of one text until released, to keep a worker busy while the test stops
/// and restarts the run, and it can fail from a given send on, as a lost server would.
class RecordingSender : public sequora::CommandSender {
public:
    /// `log` is not owned and must outlive the sender.
    explicit RecordingSender(EventLog& log) : mLog(log) {}

    /// Logs the command; blocks while it is the held one; fails as FailAt says.
    bool SendCommand(const std::string& command, std::string& answer) override;
    /// The failure of the last failed send.
    sequora::SendFailure LastFailure() const override;
    /// False once a send failed with a lost connection, or after SetConnected(false).
    bool Connected() override;

    /// The first later send of exactly this text blocks until Release().
    void HoldFirst(const std::string& command);
    /// Waits (at most kPatience) until a send is being held.
    bool AwaitHolding();
    /// Lets the held send return.
    void Release();
    /// The n-th send from now (counted from 1) fails with `failure`. Unless the failure leaves the
    /// connection up (AnswerUnreadable), the connection is gone from then on: Connected() is
    /// false and every later send fails with NotConnected.
    void FailAt(int sendNumber, sequora::SendFailure failure);
    /// Whether a connection is up.
    void SetConnected(bool connected);

private:
    EventLog& mLog;
    mutable std::mutex mLock;  // guards the members below
    std::condition_variable mChanged;
    std::optional<std::string> mHeldCommand;
    bool mHolding = false;
    int mSends = 0;
    int mFailAt = 0;  // 0: no failure planned
    sequora::SendFailure mPlannedFailure = sequora::SendFailure::ConnectionLost;
    sequora::SendFailure mLastFailure = sequora::SendFailure::ConnectionLost;
    bool mConnected = true;
};

}  // namespace testsupport
