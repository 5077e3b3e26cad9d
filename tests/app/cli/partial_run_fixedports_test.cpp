// A partly read item list against the stand-in server on the fixed ports: without --partial
// nothing reaches the server, with it the rows that were read are played.
#include <algorithm>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/SequoraRun.h"
#include "galdera/GalderaServer.h"
#include "tests/support/FixedPorts.h"
#include "tests/support/TempDir.h"

namespace {

// Two rows that post events, then a line that ends the reading, then a row never read.
const std::string kPartial =
    "-c\n-SendEventString \"one\"\n-c\n-SendEventString \"two\"\n%x /= 0\n-c\n-SendEventString \"three\"\n";

std::vector<std::string> Texts(const galdera::GalderaServer& server) {
    std::vector<std::string> texts;
    for (const auto& command : server.Received()) texts.push_back(command.text);
    return texts;
}

}  // namespace

TEST(PartialRun, ARunGoesAheadWithThePartlyReadRowsOnlyWhenAskedTo) {
    SKIP_WHEN_FIXED_PORTS_ARE_BUSY();
    galdera::GalderaServer server{galdera::ServerOptions{}};
    ASSERT_TRUE(server.Start());
    testsupport::TempDir dir;
    const std::string path = dir.File("partial.cfg");
    testsupport::WriteFile(path, kPartial);
    const std::string stopped =
        "Reading stopped at line 5 of partial.cfg: the variable %x is not defined. 2 items were loaded.";

    std::ostringstream out, err;
    const std::vector<std::string> args = {"--server", "127.0.0.1", "--log", dir.File("log.txt"), path};
    EXPECT_EQ(sequora::cli::SequoraRun(args, out, err, nullptr), 4);
    EXPECT_EQ(err.str(), stopped + "\nsequora-run: give --partial to run the rows that were read\n");
    EXPECT_TRUE(server.Received().empty());

    std::ostringstream partialOut, partialErr;
    std::vector<std::string> partialArgs = args;
    partialArgs.insert(partialArgs.begin(), "--partial");
    EXPECT_EQ(sequora::cli::SequoraRun(partialArgs, partialOut, partialErr, nullptr), 0);
    // The message comes first, before the run's own lines (seed, progress, completion).
    const std::string said = partialErr.str();
    EXPECT_EQ(said.rfind(stopped + "\n", 0), 0u) << said;
    EXPECT_NE(said.find("trial 1/1\nTrials Completed\n# timing  lateness_ms median "), std::string::npos)
        << said;
    const std::vector<std::string> texts = Texts(server);
    const auto trial = std::find(texts.begin(), texts.end(), "-RequestGalderaTypes");
    ASSERT_NE(trial, texts.end());
    EXPECT_EQ(std::vector<std::string>(trial + 1, texts.end()),
              (std::vector<std::string>{" -PostEvent \"one\" 0 0", " -PostEvent \"two\" 0 0"}));
}
