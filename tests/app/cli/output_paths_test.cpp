// What sequora-run refuses before it connects: an output path naming the item list or the
// other output (by identity, whatever the spelling), a journal that exists or cannot be
// written, and a trial count below one. Each refusal is status 2 and leaves every file as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/cli/SequoraRun.h"
#include "tests/support/TempDir.h"

namespace {

using sequora::cli::SequoraRun;
using ::testing::HasSubstr;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

const std::string kList = "-CreateTrialItem\n-SendTTLBit 3 On\n-SetDelay 10\n";

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

class OutputPathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(cfg, kList);
        ASSERT_EQ(::symlink("protocol.cfg", dir.File("link.cfg").c_str()), 0);
    }
    // Runs sequora-run with the arguments before FILE.cfg; the exit status.
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--server", "127.0.0.1"});
        args.push_back(cfg);
        return SequoraRun(args, out, err, nullptr);
    }

    TempDir dir;
    const std::string cfg = dir.File("protocol.cfg");
    std::ostringstream out, err;
};

TEST_F(OutputPathsTest, NoOutputMayNameTheItemListHoweverItIsSpelled) {
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    const std::vector<std::string> spellings = {cfg, dir.Path() + "/./protocol.cfg", dir.File("link.cfg"),
                                                "/proc/self/cwd/protocol.cfg", "protocol.cfg"};
    for (const char* option : {"--journal", "--log"}) {
        for (const std::string& spelling : spellings) {
            err.str("");
            EXPECT_EQ(Run({option, spelling}), 2) << option << " " << spelling;
            EXPECT_THAT(err.str(), HasSubstr(std::string(option) + " " + spelling + " names the item list"));
            EXPECT_EQ(ReadFile(cfg), kList) << option << " " << spelling;
        }
    }
    ASSERT_EQ(::chdir(cwd), 0);
}

TEST_F(OutputPathsTest, TheLogMayNotNameTheJournalEvenBeforeEitherExists) {
    EXPECT_EQ(Run({"--journal", dir.File("run.tsv"), "--log", dir.Path() + "/./run.tsv"}), 2);
    EXPECT_THAT(err.str(), HasSubstr("names the journal"));
    EXPECT_FALSE(Exists(dir.File("run.tsv")));
}

TEST_F(OutputPathsTest, AJournalNeverReplacesAnExistingFile) {
    const std::string journal = dir.File("yesterday.tsv");
    WriteFile(journal, "# sequora run journal\nkeep me\n");
    EXPECT_EQ(Run({"--journal", journal, "--log", dir.File("log.txt")}), 2);
    EXPECT_THAT(err.str(), HasSubstr("cannot write the journal " + journal + ": the file exists already"));
    EXPECT_EQ(ReadFile(journal), "# sequora run journal\nkeep me\n");
    EXPECT_FALSE(Exists(dir.File("log.txt"))) << "refused before the log is opened or a connection tried";
}

TEST_F(OutputPathsTest, AJournalThatCannotTakeItsHeaderIsRefusedBeforeConnecting) {
    EXPECT_EQ(Run({"--journal", "/dev/full", "--log", dir.File("log.txt")}), 2);
    EXPECT_EQ(err.str(), "sequora-run: cannot write the journal /dev/full: No space left on device\n");
    EXPECT_FALSE(Exists(dir.File("log.txt")));
}

TEST_F(OutputPathsTest, ATrialCountBelowOneIsBadUsage) {
    for (const char* count : {"0", "-1"}) {
        err.str("");
        EXPECT_EQ(Run({"--trials", count, "--log", dir.File("log.txt")}), 2) << count;
        EXPECT_THAT(err.str(), HasSubstr(std::string("--trials needs 1 or more, not ") + count));
    }
    EXPECT_FALSE(Exists(dir.File("log.txt")));
}

}  // namespace
