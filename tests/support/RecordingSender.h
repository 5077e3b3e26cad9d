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
/// and restarts the run.
class RecordingSender : public sequora::CommandSender {
public:
    /// `log` is not owned and must outlive the sender.
    explicit RecordingSender(EventLog& log) : mLog(log) {}

    /// Logs the command; blocks while it is the held one.
    bool SendCommand(const std::string& command, std::string& answer) override;
    /// The first later send of exactly this text blocks until Release().
    void HoldFirst(const std::string& command);
    /// Waits (at most kPatience) until a send is being held.
    bool AwaitHolding();
    /// Lets the held send return.
    void Release();

private:
    EventLog& mLog;
    std::mutex mLock;  // guards the members below
    std::condition_variable mChanged;
    std::optional<std::string> mHeldCommand;
    bool mHolding = false;
};

}  // namespace testsupport
