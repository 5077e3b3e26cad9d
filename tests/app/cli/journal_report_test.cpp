// sequora-run --report: the timing line of a saved journal on stdout, and the exit status
// that tells a whole journal from one cut short or none at all.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "app/cli/SequoraRun.h"
#include "tests/support/TempDir.h"

namespace {

const char kRecords[] =
    "# sequora run journal\n"
    "# started 2026-12-09T22:10:00.123+00:00  server rig  file -  seed 1  trials 1\n"
    "trial\trow\taction\ttext\tdue_ms\tsent_ms\tanswered_ms\tstatus\n"
    "1\t1\tevent\t -PostEvent \"A\" 0 0\t0.000\t0.006\t0.049\tok\n"
    "1\t1\tdelay\t200\t0.049\t200.949\t\tok\n";
const char kTimingLine[] =
    "# timing  lateness_ms median 0.006 p99 0.006 max 0.006  answer_ms median 0.043 p99 0.043 max 0.043  "
    "overshoot_ms median 0.9 p99 0.9 max 0.9\n";

TEST(JournalReport, PrintsTheTimingLineAndExitsFourWhenTheJournalIsCutShort) {
    testsupport::TempDir dir;
    const std::string path = dir.File("j.tsv");
    const struct {
        std::string bytes;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {std::string(kRecords) + "# ended completed  after 200.949 ms\n", 0, kTimingLine, ""},
        {kRecords, 4, kTimingLine,
         "sequora-run: the journal " + path +
             " is cut short: it stops after line 5 without its \"# ended\" line\n"},
        {"trial 1/1\n", 2, "",
         "sequora-run: cannot read " + path +
             ": it is no run journal (its first line is not \"# sequora run journal\")\n"},
    };
    for (const auto& c : cases) {
        testsupport::WriteFile(path, c.bytes);
        std::ostringstream out, err;
        EXPECT_EQ(sequora::cli::SequoraRun({"--report", path}, out, err, nullptr), c.status) << c.bytes;
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
}

}  // namespace
