#pragma once

#include <gtest/gtest.h>
#include <memory>

#include "app/core/ItemList.h"
#include "app/core/TrialRunner.h"
#include "tests/support/EventLog.h"
#include "tests/support/RecordingObserver.h"
#include "tests/support/RecordingSender.h"
#include "tests/support/VirtualClock.h"

namespace testsupport {

/// A trial runner over a list of the test's rows, with a virtual clock, a recording sender
/// and a recording observer that all write into one event log, so a test can assert the
/// exact sequence of what the run did.
class RunnerFixture : public ::testing::Test {
protected:
    /// Runs `trials` trials of the list and returns when the run has ended.
    void RunToEnd(int trials) {
        runner->SetTrialCount(trials);
        ASSERT_TRUE(runner->Start());
        runner->WaitForWorkers();
    }

    EventLog log;
    VirtualClock clock{log};
    RecordingSender sender{log};
    RecordingObserver observer{log};
    sequora::ItemList items;
    std::unique_ptr<sequora::TrialRunner> runner =
        std::make_unique<sequora::TrialRunner>(items, sender, observer, clock);
};

}  // namespace testsupport
