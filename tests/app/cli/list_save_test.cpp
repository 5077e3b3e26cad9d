#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/JsonCells.h"
#include "app/cli/ListSave.h"
#include "tests/support/TempDir.h"

using sequora::cli::JsonString;
using sequora::cli::JsonStringArray;
using sequora::cli::ListItems;
using sequora::cli::SaveItems;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kExample = std::string(SEQUORA_SOURCE_DIR) + "/examples/worked_example.cfg";

}  // namespace

TEST(JsonCells, EscapesControlCharactersQuotesAndEightBitBytes) {
    EXPECT_EQ(JsonString("plain text / ok"), "\"plain text / ok\"");
    EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(JsonString("\n\t\r\b\f"), "\"\\n\\t\\r\\b\\f\"");
    EXPECT_EQ(JsonString(std::string("\x00\x01\x1f\x7f", 4)), "\"\\u0000\\u0001\\u001f\\u007f\"");
    EXPECT_EQ(JsonString("\x80\xe4\xff"), "\"\\u0080\\u00e4\\u00ff\"");
    EXPECT_EQ(JsonString(""), "\"\"");
    EXPECT_EQ(JsonStringArray(std::vector<std::string>{"1", "", "x"}), "[\"1\",\"\",\"x\"]");
    EXPECT_EQ(JsonStringArray(std::vector<std::string>{}), "[]");
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
              "[\"1\",\"Yes\",\"tab\\there \\u00b5V\\\\\",\"No\",\"NA\",\"NA\",\"No\",\"NA\",\"0\"]\n");
}

TEST(ListSave, UnreadableInputGivesStatusTwoAndAReason) {
    TempDir dir;
    for (const std::string& path : {dir.File("missing.cfg"), dir.Path()}) {
        std::ostringstream out, err;
        EXPECT_EQ(ListItems(path, out, err), 2) << path;
        EXPECT_EQ(out.str(), "");
        EXPECT_EQ(err.str().rfind("sequora-run: cannot read " + path + ": ", 0), 0u) << err.str();
        std::ostringstream saveErr;
        EXPECT_EQ(SaveItems(dir.File("out.cfg"), path, saveErr), 2);
        EXPECT_FALSE(saveErr.str().empty());
        EXPECT_EQ(ReadFile(dir.File("out.cfg")), "") << "nothing written for an unreadable input";
    }
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

TEST(ListSave, SaveFailureIsReportedWithTheWritersMessage) {
    TempDir dir;
    std::ostringstream err;
    EXPECT_EQ(SaveItems(dir.File("no/dir/out.cfg"), kExample, err), 2);
    EXPECT_EQ(err.str().rfind("Error; Text file could not be opened for writing.\n", 0), 0u) << err.str();
}
