#include "tests/support/RecordingObserver.h"

namespace testsupport {

void RecordingObserver::ShowMessage(const std::string& text) {
    mLog.Add("message " + text);
}

void RecordingObserver::ControlsChanged() {
    mLog.Add("controls");
}

}  // namespace testsupport
