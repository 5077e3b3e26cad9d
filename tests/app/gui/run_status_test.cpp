#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/gui/JournalFiles.h"
#include "app/gui/RunStatus.h"
#include "app/gui/StatusTexts.h"
#include "tests/support/TempDir.h"

namespace {

using sequora::gui::RunStatus;
using namespace std::chrono_literals;

TEST(RunStatusTest, TellsWhereTheRunIsWhileItPlays) {
    RunStatus status;
    EXPECT_EQ(status.Text(0s), "");
    EXPECT_EQ(status.Details(), "");

    status.Started(4242, 5, false, "/home/me/journals/2026-12-08_17-40-02.tsv");
    status.RowStarted(2, 3, 8);
    EXPECT_EQ(status.Text(83s), "Trial 2 of 5 \u00b7 row 3 of 8 \u00b7 00:01:23");
    EXPECT_EQ(status.Details(), "seed 4242 \u00b7 journal 2026-12-08_17-40-02.tsv");
    status.SetPaused(true);
    EXPECT_EQ(status.Text(90s), "Paused");
    status.SetPaused(false);
    EXPECT_EQ(status.Text(36h + 2min + 3s), "Trial 2 of 5 \u00b7 row 3 of 8 \u00b7 36:02:03");

    status.Started(7, 0, true, "");
    status.RowStarted(7, 1, 2);
    EXPECT_EQ(status.Text(1s), "Trial 7 \u00b7 continuous \u00b7 row 1 of 2 \u00b7 00:00:01");
    EXPECT_EQ(status.Details(), "seed 7");
}

TEST(RunStatusTest, TellsHowTheRunEnded) {
    RunStatus status;
    status.Started(1, 5, false, "");
    status.Ended(RunStatus::End::Completed, 5, 8, "", 250s);
    EXPECT_EQ(status.Text(999s), "Completed 5 trials in 00:04:10");
    EXPECT_FALSE(status.Playing());
    status.Ended(RunStatus::End::Completed, 1, 8, "", 1500ms);
    EXPECT_EQ(status.Text(0s), "Completed 1 trial in 00:00:01");
    status.Ended(RunStatus::End::Stopped, 2, 1, "", 3s);
    EXPECT_EQ(status.Text(0s), "Stopped in trial 2, row 1");
    const std::string failed = "Run stopped: the connection to the server was lost (trial 3, row 2, \"-X\").";
    status.Ended(RunStatus::End::Failed, 3, 2, failed, 3s);
    EXPECT_EQ(status.Text(0s), failed);
    EXPECT_EQ(status.Details(), "seed 1");
}

TEST(JournalFilesTest, NamesEachRunsFileByItsStartAndNeverReusesOne) {
    testsupport::TempDir dir;
    const std::string folder = dir.File("a/journals");
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 8;
    local.tm_hour = 17;
    local.tm_min = 40;
    local.tm_sec = 2;
    local.tm_isdst = -1;
    const std::time_t start = std::mktime(&local);
    const std::string first = sequora::gui::NewJournalPath(folder, start);
    EXPECT_EQ(first, folder + "/2026-12-08_17-40-02.tsv");
    testsupport::WriteFile(first, "x");
    EXPECT_EQ(sequora::gui::NewJournalPath(folder, start), folder + "/2026-12-08_17-40-02-2.tsv");
    // A link that leads nowhere still holds its name: the journal would be written through it.
    std::filesystem::create_symlink(dir.File("elsewhere.cfg"), folder + "/2026-12-08_17-40-02-2.tsv");
    EXPECT_EQ(sequora::gui::NewJournalPath(folder, start), folder + "/2026-12-08_17-40-02-3.tsv");

    testsupport::WriteFile(dir.File("file"), "x");
    EXPECT_EQ(sequora::gui::NewJournalPath(dir.File("file/journals"), start), "");
}

}  // namespace
