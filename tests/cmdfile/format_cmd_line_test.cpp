#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "cmdfile/FormatCmdLine.h"
#include "tests/support/TempDir.h"

using cmdfile::FormatCmdLine;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

using Reason = FormatCmdLine::StopReason;

// Every line the reader delivers from `content` (command lines only) until it stops.
std::vector<std::string> CommandLines(const std::string& content, FormatCmdLine::Stop* stop = nullptr) {
    FormatCmdLine reader;
    reader.SetDelivery(FormatCmdLine::LineKind::Command, true);
    EXPECT_EQ(reader.OpenText(content), 0);
    std::vector<std::string> lines;
    std::string line;
    while (reader.GetNextLine(line) == 0) lines.push_back(line);
    EXPECT_EQ(reader.GetNextLine(line), -1) << "reading must not resume after it stopped";
    EXPECT_NE(reader.StopInfo().reason, Reason::None);
    if (stop) *stop = reader.StopInfo();
    return lines;
}

// Where and why reading `content` stopped.
FormatCmdLine::Stop StopOf(const std::string& content) {
    FormatCmdLine::Stop stop;
    CommandLines(content, &stop);
    return stop;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(FormatCmdLine, LineKindsAndLineEnds) {
    EXPECT_EQ(CommandLines("\n  \t \n# note\n// note\n%a = 1\n"), Lines{});
    EXPECT_EQ(CommandLines("\t\t-SetDelay 5\r\n-x\n"), (Lines{"\t\t-SetDelay 5", "-x"}));
    // The last line is delivered without a line end, in either line-end style.
    EXPECT_EQ(CommandLines("-a\r\n-b"), (Lines{"-a", "-b"}));
    EXPECT_EQ(CommandLines("-a\n-b\r"), (Lines{"-a", "-b\r"}));
    // A CR that is not part of a line end stays in the line.
    EXPECT_EQ(CommandLines("-a\rb\r\n"), Lines{"-a\rb"});
    EXPECT_EQ(CommandLines(""), Lines{});
}

TEST(FormatCmdLine, MalformedLinesEndTheReadingKeepingEarlierLines) {
    EXPECT_EQ(CommandLines("-a\n/x\n-b\n"), Lines{"-a"});
    EXPECT_EQ(CommandLines("-a\nTrial 1\n-b\n"), Lines{"-a"});
    EXPECT_EQ(CommandLines("-a\n \r \n-b\n"), Lines{"-a"}) << "stray CR on an otherwise blank line";
    EXPECT_EQ(CommandLines("-a\n\r\r\n-b\n"), Lines{"-a"}) << "stray CR before a CR LF";
    EXPECT_EQ(CommandLines("-a\n \r\n\r\n-b\n"), (Lines{"-a", "-b"})) << "CR LF ends blank lines";
}

TEST(FormatCmdLine, LineLengthLimit) {
    const std::string longest = "-" + std::string(998, 'x');
    const std::string tooLong = longest + "x";
    EXPECT_EQ(CommandLines(longest + "\n-b\n"), (Lines{longest, "-b"}));
    EXPECT_EQ(CommandLines(longest + "\r\n-b\r\n"), (Lines{longest, "-b"}));
    EXPECT_EQ(CommandLines(longest), Lines{longest});
    EXPECT_EQ(CommandLines("-a\n" + tooLong + "\n-b\n"), Lines{"-a"});
    EXPECT_EQ(CommandLines("-a\n" + tooLong), Lines{"-a"});
    // A very long line must not let the reader pick up again in its middle.
    EXPECT_EQ(CommandLines("-a\n" + std::string(200000, 'y') + "\n-b\n"), Lines{"-a"});
}

TEST(FormatCmdLine, CommentsAreCutEvenInsideQuotes) {
    EXPECT_EQ(CommandLines("-SetDelay 100 // fixed\n"), Lines{"-SetDelay 100 "});
    EXPECT_EQ(CommandLines("-SetDelay 100 # fixed\n"), Lines{"-SetDelay 100 "});
    EXPECT_EQ(CommandLines("-SendEventString \"trial #3\"\n"), Lines{"-SendEventString \"trial "});
    EXPECT_EQ(CommandLines("-a \"x//y#z\"\n"), Lines{"-a \"x"});
    EXPECT_EQ(CommandLines("-a b/c\n"), Lines{"-a b/c"});
}

TEST(FormatCmdLine, VariablesAreSubstitutedInOrderOfDefinition) {
    EXPECT_EQ(CommandLines("%d = 250\n-SetDelay %d\n%d += 50\n-SetDelay %d\n%e = %d\n-SetDelay %e\n"),
              (Lines{"-SetDelay 250", "-SetDelay 300", "-SetDelay 300"}));
    // A name is a plain substring: the earlier definition wins inside a longer name.
    EXPECT_EQ(CommandLines("%d = 7\n%delay = 9\n-SetDelay %delay\n"), Lines{"-SetDelay 7elay"});
    EXPECT_EQ(CommandLines("%delay = 9\n%d = 7\n-SetDelay %delay %d\n"), Lines{"-SetDelay 9 7"});
    // A value may name later variables, which are replaced in turn; quotes do not protect.
    EXPECT_EQ(CommandLines("%a = x%b\n%b = y\n-e \"%a\" %a%a\n"), Lines{"-e \"xy\" xyxy"});
    // Redefinition changes only later lines; a % later in a value stays.
    EXPECT_EQ(CommandLines("%v = 1\n-a %v\n%v = 2%\n-a %v\n"), (Lines{"-a 1", "-a 2%"}));
    // Extra words after the value are ignored; tabs separate words.
    EXPECT_EQ(CommandLines("%v\t=\t5 extra\n-a %v\n"), Lines{"-a 5"});
}

TEST(FormatCmdLine, ArithmeticWrapsLikeThirtyTwoBitIntegers) {
    EXPECT_EQ(CommandLines("%n = 10\n%n -= 25\n-a %n\n%n *= -3\n-a %n\n%n /= 4\n-a %n\n"),
              (Lines{"-a -15", "-a 45", "-a 11"}));
    EXPECT_EQ(CommandLines("%n = -7\n%n /= 2\n-a %n\n"), Lines{"-a -3"}) << "truncates toward zero";
    EXPECT_EQ(CommandLines("%n = 2147483647\n%n += 1\n-a %n\n"), Lines{"-a -2147483648"});
    EXPECT_EQ(CommandLines("%n = 65536\n%n *= 65536\n-a %n\n"), Lines{"-a 0"});
    // Numbers are read like atoi: a number prefix, or 0.
    EXPECT_EQ(CommandLines("%n = 12abc\n%n += x\n-a %n\n%n += +8ms\n-a %n\n"), (Lines{"-a 12", "-a 20"}));
    EXPECT_EQ(CommandLines("%n = 007\n%m = 1\n%m += %n\n-a %m\n"), Lines{"-a 8"});
}

TEST(FormatCmdLine, FaultyVariableLinesEndTheReading) {
    EXPECT_EQ(CommandLines("-a\n%x -= 5\n-b\n"), Lines{"-a"});
    EXPECT_EQ(CommandLines("-a\n%x = %y\n-b\n"), Lines{"-a"});
    EXPECT_EQ(CommandLines("-a\n%x=5\n-b\n"), Lines{"-a"});
    EXPECT_EQ(CommandLines("-a\n%x ^= 5\n-b\n"), Lines{"-a"});
    EXPECT_EQ(CommandLines("-a\n%x =\n-b\n"), Lines{"-a"});
    // Division without a defined quotient stops instead of crashing.
    EXPECT_EQ(CommandLines("%x = 5\n-a %x\n%x /= 0\n-b\n"), Lines{"-a 5"});
    EXPECT_EQ(CommandLines("%x = -2147483648\n-a %x\n%x /= -1\n-b\n"), Lines{"-a -2147483648"});
    // A variable reference must name a variable exactly.
    EXPECT_EQ(CommandLines("%x = 1\n%y = %x2\n-b\n"), Lines{});
}

TEST(FormatCmdLine, SearchStartsAgainSoThatNamesFormedByAnInsertionAreReplaced) {
    // The value's end and the following text form the name again.
    EXPECT_EQ(CommandLines("%p = x%\n-a %pp\n"), Lines{"-a xx%"});
    // The preceding text and the value's start form the name again.
    EXPECT_EQ(CommandLines("%ab = b\n-a %a%ab\n"), Lines{"-a b"});
    EXPECT_EQ(CommandLines("%ab = b\n-a %a%a%abb\n"), Lines{"-a bb"});
    // A value holding its own name is inserted once instead of being expanded forever.
    EXPECT_EQ(CommandLines("%a = x%a\n-e %a and %a\n"), Lines{"-e x%a and x%a"});
}

TEST(FormatCmdLine, SubstitutionCannotGrowALineWithoutBound) {
    // Each use of a long value multiplies the line's length; such a line is refused.
    std::string file = "%a = " + std::string(900, 'z') + "\n";
    std::string manyA;
    for (int i = 0; i < 400; ++i) manyA += "%a";
    file += "-ok %a\n-big " + manyA + "\n-after\n";
    FormatCmdLine::Stop stop;
    EXPECT_EQ(CommandLines(file, &stop), Lines{"-ok " + std::string(900, 'z')});
    EXPECT_EQ(stop.reason, Reason::SubstitutionTooLong);
    EXPECT_EQ(stop.line, 3u);
    EXPECT_EQ(stop.Describe(), "variables make the line longer than 65536 characters");
}

TEST(FormatCmdLine, EachStopSaysAtWhichLineAndWhy) {
    const std::string tooLong = "-" + std::string(999, 'x');
    struct Case {
        std::string content;
        Reason reason;
        std::size_t line;
        std::string why;
    };
    const Case cases[] = {
        {"-a\n\n" + tooLong + "\n-b\n", Reason::LineTooLong, 3, "the line is longer than 999 characters"},
        {"-a\r\n# c\r\n// d\r\nTrial 1\r\n-b\r\n", Reason::Malformed, 4,
         "the line begins with neither -, %, # nor //"},
        {"-a\n-b\n" + std::string("\0-c\n", 4), Reason::Malformed, 3,
         "the line begins with neither -, %, # nor //"},
        {"\r\r-CreateTrialItem\r\t-SetDelay 5\r", Reason::StrayCarriageReturn, 1,
         "the line begins with a carriage return that is not followed by a line feed"},
        {"-a\n%x\n", Reason::TooFewWords, 2, "the variable line has fewer than three words"},
        {"%x ^= 5\n", Reason::UnknownOperator, 1,
         "the variable line's operator is none of =, +=, -=, *= and /="},
        {"-a\n%x -= 5\n", Reason::UndefinedVariable, 2, "the variable %x is not defined"},
        {"%x = 1\n%x = %y\n", Reason::UndefinedVariable, 2, "the variable %y is not defined"},
        {"%x = 5\n-a %x\n%x /= 0\n", Reason::DivisionByZero, 3, "the variable line divides by zero"},
        {"%x = -2147483648\n%x /= -1\n", Reason::QuotientOverflow, 2,
         "the variable line's quotient does not fit in 32 bits"},
    };
    for (const Case& c : cases) {
        const FormatCmdLine::Stop stop = StopOf(c.content);
        EXPECT_EQ(stop.reason, c.reason) << c.content;
        EXPECT_EQ(stop.line, c.line) << c.content;
        EXPECT_EQ(stop.Describe(), c.why) << c.content;
        EXPECT_FALSE(stop.WholeInput());
    }
}

TEST(FormatCmdLine, AWholeInputEndsAtItsLastLine) {
    for (const char* content : {"-a\n\n# c\n-b\n", "-a\r\n\r\n# c\r\n-b", "-a\n\n#c\n  \t\n"}) {
        const FormatCmdLine::Stop stop = StopOf(content);
        EXPECT_TRUE(stop.WholeInput()) << content;
        EXPECT_EQ(stop.line, 4u) << content;
    }
    EXPECT_TRUE(StopOf("").WholeInput());
}

TEST(FormatCmdLine, OpenFileStartsAfreshAndReportsFilesThatCannotBeRead) {
    TempDir dir;
    WriteFile(dir.File("one.cfg"), "%v = 1\n-a %v\nTrial\n");
    WriteFile(dir.File("two.cfg"), "-b %v\n");
    FormatCmdLine reader;
    reader.SetDelivery(FormatCmdLine::LineKind::Command, true);
    std::string line;
    EXPECT_EQ(reader.GetNextLine(line), -1) << "no file open";
    EXPECT_EQ(reader.StopInfo().reason, Reason::NoInput);
    ASSERT_EQ(reader.OpenFile(dir.File("one.cfg")), 0);
    EXPECT_EQ(reader.InputBytes(), 19u);
    ASSERT_EQ(reader.GetNextLine(line), 0);
    EXPECT_EQ(line, "-a 1");
    EXPECT_EQ(reader.BytesRead(), 13u);
    EXPECT_EQ(reader.GetNextLine(line), -1);
    EXPECT_EQ(reader.StopInfo().reason, Reason::Malformed);
    ASSERT_EQ(reader.OpenFile(dir.File("two.cfg")), 0);
    EXPECT_EQ(reader.StopInfo().reason, Reason::None) << "a new file forgets the last stop";
    ASSERT_EQ(reader.GetNextLine(line), 0);
    EXPECT_EQ(line, "-b %v") << "variables never carry over to the next file";
    EXPECT_EQ(reader.GetNextLine(line), -1);
    EXPECT_TRUE(reader.StopInfo().WholeInput());
    EXPECT_EQ(reader.BytesRead(), reader.InputBytes());

    for (const std::string& path : {dir.File("missing.cfg"), dir.Path()}) {
        EXPECT_EQ(reader.OpenFile(path), -1) << path;
        EXPECT_FALSE(reader.OpenError().empty()) << path;
        EXPECT_EQ(reader.GetNextLine(line), -1);
        EXPECT_EQ(reader.StopInfo().reason, Reason::NoInput);
    }
    EXPECT_EQ(reader.OpenError(), "Is a directory");
}

TEST(FormatCmdLine, AFailedReadIsAStopNotAnEnd) {
    // The memory of the process at address 0 cannot be read: the read fails with EIO.
    FormatCmdLine reader;
    reader.SetDelivery(FormatCmdLine::LineKind::Command, true);
    ASSERT_EQ(reader.OpenFile("/proc/self/mem"), 0);
    std::string line;
    EXPECT_EQ(reader.GetNextLine(line), -1);
    EXPECT_EQ(reader.StopInfo().reason, Reason::ReadError);
    EXPECT_EQ(reader.StopInfo().line, 1u);
    EXPECT_EQ(reader.StopInfo().Describe(), "the file could not be read further (Input/output error)");
}

TEST(FormatCmdLine, DeliversOtherKindsWhenSwitchedOn) {
    TempDir dir;
    WriteFile(dir.File("all.cfg"), "# c\n\n%v = 3\n-a %v // x\n");
    FormatCmdLine reader;
    reader.SetDelivery(FormatCmdLine::LineKind::Comment, true);
    reader.SetDelivery(FormatCmdLine::LineKind::Blank, true);
    reader.SetDelivery(FormatCmdLine::LineKind::Variable, true);
    ASSERT_EQ(reader.OpenFile(dir.File("all.cfg")), 0);
    Lines lines;
    std::string line;
    while (reader.GetNextLine(line) == 0) lines.push_back(line);
    EXPECT_EQ(lines, (Lines{"# c", "", "%v = 3"}));
    ASSERT_EQ(reader.Variables().size(), 1u);
    EXPECT_EQ(reader.Variables()[0].second, "3");
}
