#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/JsonCells.h"
#include "app/cli/ListSave.h"
#include "app/cli/SequoraRun.h"
#include "tests/support/TempDir.h"

using sequora::cli::JsonString;
using sequora::cli::JsonStringArray;
using sequora::cli::ListItems;
using sequora::cli::SaveItems;
using sequora::cli::SequoraRun;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kExample = std::string(SEQUORA_SOURCE_DIR) + "/examples/worked_example.cfg";

// An item list whose lines end with a carriage return alone: one line to the reader.
const std::string kCarriageReturnsOnly =
    "\r\r-CreateTrialItem\r\t-SendEventString \"Stimulus On\"\r\t-SendTTLBit 3 On\r\t-SetDelay 500\r\r\r"
    "-CreateTrialItem\r\t-SendTTLBit 3 Off\r\t-SetDelay 200\r\r\r";

// Two rows, then a line that ends the reading.
const std::string kStopsAtLineFive = "-c\n-SetDelay 1\n-c\n-SetDelay 2\nTrial 3\n-c\n";
const std::string kStopsAtLineFiveMessage =
    "Reading stopped at line 5 of partial.cfg: the line begins with neither -, %, # nor //. 2 items were "
    "loaded.\n";

}  // namespace

TEST(JsonCells, EscapesControlCharactersAndQuotesAndKeepsUtf8AsText) {
    EXPECT_EQ(JsonString("plain text / ok"), "\"plain text / ok\"");
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("\n\t\r\b\f"), "\"\\n\\t\\r\\b\\f\"");
    EXPECT_EQ(JsonString(std::string("\x00\x01\x1f", 3)), "\"\\u0000\\u0001\\u001f\"");
    EXPECT_EQ(JsonString("T\xc3\xb6ne \xe2\x9c\x93 \xf0\x9f\x8e\xb5"),
              "\"T\xc3\xb6ne \xe2\x9c\x93 \xf0\x9f\x8e\xb5\"");
    EXPECT_EQ(JsonString(""), "\"\"");
    EXPECT_EQ(JsonStringArray(std::vector<std::string>{"1", "", "x"}), "[\"1\",\"\",\"x\"]");
    EXPECT_EQ(JsonStringArray(std::vector<std::string>{}), "[]");
}

TEST(JsonCells, ReadsEveryByteThatIsNotUtf8AsLatin1) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xb5V", "\xc2\xb5V"},                                    // a lone 8-bit byte
        {"\x80\xe4\xff", "\xc2\x80\xc3\xa4\xc3\xbf"},              // continuation, lead, never valid
        {"\xc0\xaf", "\xc3\x80\xc2\xaf"},                          // an overlong form of '/'
        {"\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},              // a surrogate
        {"\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},  // beyond U+10FFFF
        {"ok\xe2\x9c", "ok\xc3\xa2\xc2\x9c"},                      // cut short at the end
        {"\xe2\x9c\x93\xb5", "\xe2\x9c\x93\xc2\xb5"},              // valid, then a stray byte
    };
    for (const auto& [text, utf8] : cases) EXPECT_EQ(sequora::cli::ValidUtf8(text), utf8) << text;
}

TEST(ListSave, ListPrintsOneJsonArrayPerRow) {
    std::ostringstream out, err;
    EXPECT_EQ(ListItems(kExample, out, err), 0);
    EXPECT_EQ(
        out.str(),
        "[\"1\",\"Yes\",\"Stimulus On\",\"Yes\",\"3\",\"On\",\"No\",\"NA\",\"500\"]\n"
        "[\"2\",\"No\",\"NA\",\"Yes\",\"3\",\"Off\",\"Yes\",\"-StartRecording\",\"Random: 200-800\"]\n");
    EXPECT_EQ(err.str(), "");

    TempDir dir;
    WriteFile(dir.File("odd.cfg"), "-c\n-SendEventString \"tab\there \xb5V\\\"\n");
    std::ostringstream odd;
    EXPECT_EQ(ListItems(dir.File("odd.cfg"), odd, err), 0);
    EXPECT_EQ(odd.str(),
              "[\"1\",\"Yes\",\"tab\\there \xc2\xb5V\\\\\",\"No\",\"NA\",\"NA\",\"No\",\"NA\",\"0\"]\n");
}

TEST(ListSave, UnreadableInputGivesStatusTwoAndAReason) {
    TempDir dir;
    for (const std::string& path : {dir.File("missing.cfg"), dir.Path()}) {
        std::ostringstream out, err;
        EXPECT_EQ(ListItems(path, out, err), 2) << path;
        EXPECT_EQ(out.str(), "");
        const std::string reason = path == dir.Path() ? "Is a directory" : "No such file or directory";
        EXPECT_EQ(
            err.str(),
            std::string("sequora-run: cannot read ").append(path).append(": ").append(reason).append("\n"));
        std::ostringstream saveErr;
        EXPECT_EQ(SaveItems(dir.File("out.cfg"), path, saveErr), 2);
        EXPECT_EQ(saveErr.str(), err.str());
        EXPECT_EQ(ReadFile(dir.File("out.cfg")), "") << "nothing written for an unreadable input";
        // A run says the same before it tries to connect.
        std::ostringstream runOut, runErr;
        EXPECT_EQ(SequoraRun({"--server", "127.0.0.1", path}, runOut, runErr, nullptr), 2);
        EXPECT_EQ(runErr.str(), err.str());
    }
}

TEST(ListSave, ListOfAPartlyReadFilePrintsTheRowsReadAndGivesStatusFour) {
    TempDir dir;
    const std::string path = dir.File("partial.cfg");
    WriteFile(path, kStopsAtLineFive);
    std::ostringstream out, err;
    EXPECT_EQ(ListItems(path, out, err), 4);
    EXPECT_EQ(out.str(),
              "[\"1\",\"No\",\"NA\",\"No\",\"NA\",\"NA\",\"No\",\"NA\",\"1\"]\n"
              "[\"2\",\"No\",\"NA\",\"No\",\"NA\",\"NA\",\"No\",\"NA\",\"2\"]\n");
    EXPECT_EQ(err.str(), kStopsAtLineFiveMessage);
}

TEST(ListSave, SaveNeverWritesOverAPartlyReadInput) {
    TempDir dir;
    const std::string path = dir.File("partial.cfg");
    WriteFile(path, kStopsAtLineFive);
    ASSERT_EQ(::symlink("partial.cfg", dir.File("link.cfg").c_str()), 0);
    for (const std::string& out : {path, dir.File("link.cfg"), dir.File("./partial.cfg")}) {
        std::ostringstream err;
        EXPECT_EQ(SaveItems(out, path, err), 4) << out;
        EXPECT_EQ(err.str(),
                  kStopsAtLineFiveMessage +
                      "sequora-run: partial.cfg was read only in part: saving over it would lose what "
                      "was not read. Save the list under another name.\n");
        EXPECT_EQ(ReadFile(path), kStopsAtLineFive) << out;
    }

    WriteFile(dir.File("cr.cfg"), kCarriageReturnsOnly);
    std::ostringstream crErr;
    EXPECT_EQ(SaveItems(dir.File("cr.cfg"), dir.File("cr.cfg"), crErr), 4);
    EXPECT_EQ(ReadFile(dir.File("cr.cfg")), kCarriageReturnsOnly);

    // Elsewhere the rows that were read are written, and the status still says "in part".
    std::ostringstream err;
    EXPECT_EQ(SaveItems(dir.File("rows.cfg"), path, err), 4);
    EXPECT_EQ(err.str(), kStopsAtLineFiveMessage);
    EXPECT_EQ(
        ReadFile(dir.File("rows.cfg")),
        "\r\n\r\n-CreateTrialItem\r\n\t-SetDelay 1\r\n\r\n\r\n-CreateTrialItem\r\n\t-SetDelay 2\r\n\r\n\r\n");
}

TEST(ListSave, ARunOfAPartlyReadFileNeedsPartial) {
    TempDir dir;
    const std::string path = dir.File("partial.cfg");
    WriteFile(path, kStopsAtLineFive);
    std::ostringstream out, err;
    // The status says the file was read in part: no connection was tried.
    EXPECT_EQ(SequoraRun({"--server", "127.0.0.1", "--log", dir.File("log.txt"), path}, out, err, nullptr),
              4);
    EXPECT_EQ(err.str(),
              kStopsAtLineFiveMessage + "sequora-run: give --partial to run the rows that were read\n");
    EXPECT_EQ(ReadFile(dir.File("log.txt")), "");
}

TEST(ListSave, SaveWritesTheStandardLayout) {
    TempDir dir;
    WriteFile(dir.File("hand.cfg"),
              "# hand-written\n%d = 40\n-create\n  -setdelay %d\n  -sendttl 2 ON\n-c\n");
    std::ostringstream err;
    EXPECT_EQ(SaveItems(dir.File("out.cfg"), dir.File("hand.cfg"), err), 0);
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(ReadFile(dir.File("out.cfg")),
              "\r\n\r\n-CreateTrialItem\r\n\t-SendTTLBit 2 On\r\n\t-SetDelay 40\r\n\r\n\r\n"
              "-CreateTrialItem\r\n\t-SetDelay 0\r\n\r\n\r\n");

    EXPECT_EQ(SaveItems(dir.File("copy.cfg"), kExample, err), 0);
    EXPECT_EQ(ReadFile(dir.File("copy.cfg")), ReadFile(kExample));
}

TEST(ListSave, SaveFailuresAreReportedWithTheWritersMessage) {
    TempDir dir;
    std::ostringstream err;
    EXPECT_EQ(SaveItems(dir.File("no/dir/out.cfg"), kExample, err), 2);
    EXPECT_EQ(err.str(), "Error; Text file could not be opened for writing.\nsequora-run: cannot write " +
                             dir.File("no/dir/out.cfg") + ": No such file or directory\n");

    // Variables can build a command longer than a line may be; such a row is not written.
    WriteFile(dir.File("long.cfg"), "%h = " + std::string(600, 'h') + "\n-c\n-c\n-SendCommand \"%h%h\"\n");
    WriteFile(dir.File("out.cfg"), "old");
    std::ostringstream longErr;
    EXPECT_EQ(SaveItems(dir.File("out.cfg"), dir.File("long.cfg"), longErr), 2);
    EXPECT_EQ(longErr.str(),
              "Row 2 (item #2) cannot be saved: its -SendCommand line would be longer than 999 characters. "
              "Nothing was written.\n");
    EXPECT_EQ(ReadFile(dir.File("out.cfg")), "old");
}
