#pragma once

#include <string>

#include "app/core/RunObserver.h"
#include "tests/support/EventLog.h"

namespace testsupport {

/// A run observer that logs "message <text>" and "controls".
class RecordingObserver : public sequora::RunObserver {
public:
    /// `log` is not owned and must outlive the observer.
    explicit RecordingObserver(EventLog& log) : mLog(log) {}

    /// Logs "message <text>".
    void ShowMessage(const std::string& text) override;
    /// Logs "controls".
    void ControlsChanged() override;

private:
    EventLog& mLog;
};

}  // namespace testsupport
