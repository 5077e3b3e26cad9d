#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/CommandLine.h"
#include "comlux/Version.h"

namespace {

using sequora::cli::HelpText;
using sequora::cli::Mode;
using sequora::cli::ParseCommandLine;

TEST(CommandLine, ReadsEveryRunOptionWithItsValue) {
    const auto result =
        ParseCommandLine({"--server", "rig-7", "--trials", "3", "--seed", "4294967295", "--journal", "j.tsv",
                          "--partial", "--log", "my log.txt", "list.cfg"});
    ASSERT_TRUE(result.ok) << result.error;
    const auto& options = result.options;
    EXPECT_EQ(options.mode, Mode::Run);
    EXPECT_EQ(options.server, "rig-7");
    EXPECT_EQ(options.trials, 3);
    ASSERT_TRUE(options.seed.has_value());
    EXPECT_EQ(*options.seed, 4294967295u);
    EXPECT_EQ(options.journalPath, "j.tsv");
    EXPECT_TRUE(options.partial);
    EXPECT_EQ(options.logPath, "my log.txt");
    EXPECT_EQ(options.cfgPath, "list.cfg");
}

TEST(CommandLine, DefaultsAndTheOtherModes) {
    auto result = ParseCommandLine({"--continuous", "a.cfg"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.options.continuous);
    EXPECT_EQ(result.options.trials, 1);
    EXPECT_FALSE(result.options.seed.has_value());
    EXPECT_TRUE(result.options.journalPath.empty());
    EXPECT_FALSE(result.options.partial);

    result = ParseCommandLine({"--trials", "2", "--trials", "5", "a.cfg"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.trials, 5) << "the last of a repeated option counts";

    result = ParseCommandLine({"--list", "a.cfg"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.mode, Mode::List);

    result = ParseCommandLine({"--save", "out.cfg", "in.cfg"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.mode, Mode::Save);
    EXPECT_EQ(result.options.outPath, "out.cfg");
    EXPECT_EQ(result.options.cfgPath, "in.cfg");

    for (const char* help : {"--help", "-h"}) {
        result = ParseCommandLine({"--bogus", help});
        ASSERT_TRUE(result.ok) << help;
        EXPECT_EQ(result.options.mode, Mode::Help);
    }
    result = ParseCommandLine({"--bogus", "--version"});
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.options.mode, Mode::Version);
    EXPECT_EQ(sequora::cli::VersionText(), std::string("sequora-run ") + COMLUX_VERSION_STRING + "\n");
}

TEST(CommandLine, DoubleDashEndsTheOptionsAndDashIsStandardInput) {
    auto result = ParseCommandLine({"--list", "--", "--version"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.mode, Mode::List);
    EXPECT_EQ(result.options.cfgPath, "--version");

    result = ParseCommandLine({"--trials", "2", "--", "-x.cfg"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.trials, 2);
    EXPECT_EQ(result.options.cfgPath, "-x.cfg");

    result = ParseCommandLine({"--list", "-"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.options.cfgPath, "-");

    result = ParseCommandLine({"--", "a.cfg", "b.cfg"});
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "only one FILE.cfg may be given");
}

TEST(CommandLine, UnusableCommandLinesAreExplainedInOneLine) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "FILE.cfg is missing"},
        {{"--trials", "2"}, "FILE.cfg is missing"},
        {{"a.cfg", "b.cfg"}, "only one FILE.cfg may be given"},
        {{"--trials", "two", "a.cfg"}, "--trials needs an integer, not \"two\""},
        {{"--trials", "99999999999", "a.cfg"}, "--trials needs an integer, not \"99999999999\""},
        {{"--seed", "-1", "a.cfg"}, "--seed needs a whole number from 0 to 4294967295, not \"-1\""},
        {{"--seed", "4294967296", "a.cfg"},
         "--seed needs a whole number from 0 to 4294967295, not \"4294967296\""},
        {{"--trials", "2", "--continuous", "a.cfg"}, "--trials and --continuous exclude each other"},
        {{"--server"}, "--server needs a value"},
        {{"a.cfg", "--journal"}, "--journal needs a value"},
        {{"--save"}, "--save needs OUT.cfg"},
        {{"--bogus", "a.cfg"}, "unknown option --bogus"},
        {{"--list", "--save", "o.cfg", "a.cfg"}, "only one of --list and --save may be given"},
        {{"--list", "--trials", "3", "a.cfg"}, "--list and --save take no run options"},
        {{"--save", "o.cfg", "--seed", "3", "a.cfg"}, "--list and --save take no run options"},
        {{"--report"}, "--report needs JOURNAL.tsv"},
        {{"--report", "j.tsv", "--list", "a.cfg"}, "--report excludes --list and --save"},
        {{"--report", "j.tsv", "--trials", "2"}, "--report takes no run options"},
        {{"--report", "j.tsv", "a.cfg"}, "--report takes no FILE.cfg"},
        {{"--control", "10.1.2.3:8080", "a.cfg"}, "--control on 10.1.2.3 needs --control-token FILE"},
        {{"--control", "70000", "a.cfg"}, "--control needs a port from 0 to 65535, not \"70000\""},
        {{"--wait", "a.cfg"}, "--wait and --control-token need --control"},
    };
    for (const auto& [args, error] : cases) {
        const auto result = ParseCommandLine(args);
        EXPECT_FALSE(result.ok) << ::testing::PrintToString(args);
        EXPECT_EQ(result.error, error) << ::testing::PrintToString(args);
    }
}

TEST(CommandLine, HelpNamesEveryOption) {
    const std::string help = HelpText();
    for (const char* option : {"--server", "--trials", "--continuous", "--seed", "--journal", "--partial",
                               "--log", "--list", "--save", "--report", "--help", "FILE.cfg"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

}  // namespace
