#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemList.h"
#include "tests/support/TempDir.h"

using sequora::CfgSetup;
using sequora::CfgWriter;
using sequora::ItemList;
using sequora::ItemRow;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const std::string kWorkedExample =
    "\r\n\r\n"
    "-CreateTrialItem\r\n"
    "\t-SendEventString \"Stimulus On\"\r\n"
    "\t-SendTTLBit 3 On\r\n"
    "\t-SetDelay 500\r\n"
    "\r\n\r\n"
    "-CreateTrialItem\r\n"
    "\t-SendTTLBit 3 Off\r\n"
    "\t-SendCommand \"-StartRecording\"\r\n"
    "\t-SetDelay Random: 200-800\r\n"
    "\r\n\r\n";

const ItemRow kWorkedRow1 = {"1", "Yes", "Stimulus On", "Yes", "3", "On", "No", "NA", "500"};
const ItemRow kWorkedRow2 = {"2", "No", "NA", "Yes", "3", "Off", "Yes", "-StartRecording", "Random: 200-800"};
const ItemRow kDefaultRow = {"", "No", "NA", "No", "NA", "NA", "No", "NA", "0"};

ItemRow Numbered(ItemRow row, int number) {
    row[0] = std::to_string(number);
    return row;
}

void Load(ItemList& list, const std::string& content) {
    TempDir dir;
    WriteFile(dir.File("in.cfg"), content);
    CfgSetup(list, std::chrono::milliseconds(0)).Load(dir.File("in.cfg"));
}

std::vector<ItemRow> Loaded(const std::string& content) {
    ItemList list;
    Load(list, content);
    return list.Rows();
}

}  // namespace

TEST(CfgFile, WorkedExampleIsWrittenByteForByteAndReadBack) {
    const std::vector<ItemRow> rows = {kWorkedRow1, kWorkedRow2};
    EXPECT_EQ(CfgWriter::FormatText(rows), kWorkedExample);
    EXPECT_EQ(ReadFile(std::string(SEQUORA_SOURCE_DIR) + "/examples/worked_example.cfg"), kWorkedExample);

    TempDir dir;
    const std::string path = dir.File("example.cfg");
    CfgWriter writer;
    ASSERT_TRUE(writer.Write(path, rows));
    EXPECT_EQ(ReadFile(path), kWorkedExample);
    EXPECT_TRUE(writer.ErrorMessage().empty());

    ItemList list;
    CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
    EXPECT_EQ(list.Rows(), rows);
    CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
    EXPECT_EQ(list.Rows(), (std::vector<ItemRow>{kWorkedRow1, kWorkedRow2, Numbered(kWorkedRow1, 3),
                                                 Numbered(kWorkedRow2, 4)}));
}

TEST(CfgFile, LoadsTheSameWithLfLineEndsAndWithoutTheLastLineEnd) {
    std::string lf;
    for (char c : kWorkedExample) {
        if (c != '\r') lf += c;
    }
    EXPECT_EQ(Loaded(lf), (std::vector<ItemRow>{kWorkedRow1, kWorkedRow2}));
    EXPECT_EQ(Loaded("-c\n-SetDelay 9"),
              (std::vector<ItemRow>{{"1", "No", "NA", "No", "NA", "NA", "No", "NA", "9"}}));
}

TEST(CfgFile, EmptyListGivesFourBytesAndAddsNothing) {
    EXPECT_EQ(CfgWriter::FormatText({}), "\r\n\r\n");
    EXPECT_TRUE(Loaded("\r\n\r\n").empty());
}

TEST(CfgFile, KeywordsInAnyCaseAndAbbreviated) {
    const auto rows =
        Loaded("-createtrialitem\n-CREATETRIALITEM\n-c rest ignored\n-send x\n-se\n-SetDelays 5\n");
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rows[i], Numbered(kDefaultRow, i + 1));
}

TEST(CfgFile, TtlBitStateWords) {
    auto bit = [](const std::string& line) { return Loaded("-c\n" + line + "\n")[0]; };
    const ItemRow on = bit("-SendTTLBit 5 ON");
    EXPECT_EQ(on[sequora::kColSetBit], "Yes");
    EXPECT_EQ(on[sequora::kColBitNumber], "5");
    EXPECT_EQ(on[sequora::kColBitState], "On");
    EXPECT_EQ(bit("-sendttl x oFF extra")[sequora::kColBitState], "Off");
    EXPECT_EQ(bit("-sendttl x oFF extra")[sequora::kColBitNumber], "x") << "the bit number is not checked";
    EXPECT_EQ(bit("-SendTTLBit 5 1"), Numbered(kDefaultRow, 1));
    EXPECT_EQ(bit("-SendTTLBit 5"), Numbered(kDefaultRow, 1));
    EXPECT_EQ(bit("-SendTTLBit 5 onn"), Numbered(kDefaultRow, 1));
}

TEST(CfgFile, DelayTexts) {
    auto delay = [](const std::string& line) { return Loaded("-c\n" + line + "\n")[0][sequora::kColDelay]; };
    EXPECT_EQ(delay("-SetDelay Random: 100-200"), "Random: 100-200");
    EXPECT_EQ(delay("-SetDelay random: 100-200"), "random:");
    EXPECT_EQ(delay("-SetDelay x Random:  1-2  "), "Random:  1-2  ");
    EXPECT_EQ(delay("-SetDelay 12ms later"), "12ms");
    EXPECT_EQ(delay("-SetDelay"), "");
}

TEST(CfgFile, QuotedTexts) {
    auto event = [](const std::string& line) { return Loaded("-c\n" + line + "\n")[0]; };
    EXPECT_EQ(event("-SendEventString \"a b\" tail \"c\"")[sequora::kColEventString], "a b");
    EXPECT_EQ(event("-SendEventString \"open to end ")[sequora::kColEventString], "open to end ");
    EXPECT_EQ(event("\t-SendEventString no quotes")[sequora::kColEventString],
              "\t-SendEventString no quotes");
    EXPECT_EQ(event("-SendEventString \"\"")[sequora::kColEventString], "");
    const ItemRow command = event("-SendCommand \"-StartAcquisition|-StartRecording\"");
    EXPECT_EQ(command[sequora::kColSendCommand], "Yes");
    EXPECT_EQ(command[sequora::kColCommand], "-StartAcquisition|-StartRecording");
    EXPECT_EQ(command[sequora::kColSendEvent], "No");
}

TEST(CfgFile, SettingLinesChangeTheLastRowOfTheListWhoeverAddedIt) {
    ItemList list;
    list.AddItemRow({"No", "NA", "No", "NA", "NA", "No", "NA", "1"});
    list.AddItemRow({"No", "NA", "No", "NA", "NA", "No", "NA", "2"});
    Load(list, "-SetDelay 10\n-SendEventString \"e\"\n");
    EXPECT_EQ(list.CellText(0, sequora::kColDelay), "1");
    EXPECT_EQ(list.CellText(1, sequora::kColDelay), "10");
    EXPECT_EQ(list.CellText(1, sequora::kColEventString), "e");

    EXPECT_TRUE(Loaded("-SetDelay 10\n-SendTTLBit 1 on\n-SendCommand \"x\"\n-SendEvent \"y\"\n").empty());
}

TEST(CfgFile, LoadingStopsAtAFaultyLineKeepingWhatCameBefore) {
    const auto rows = Loaded("-c\n-SetDelay 5\nTrial 1\n-c\n");
    EXPECT_EQ(rows, (std::vector<ItemRow>{{"1", "No", "NA", "No", "NA", "NA", "No", "NA", "5"}}));
    EXPECT_TRUE(Loaded("").empty());

    ItemList list;
    CfgSetup(list, std::chrono::milliseconds(0)).Load("/nonexistent/dir/x.cfg");
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(CfgFile, VariablesAndCommentsInHandWrittenFiles) {
    const auto rows = Loaded(
        "// stimulus protocol\n"
        "%base = 100\n"
        "-CreateTrialItem   # first\n"
        "  -SetDelay %base\n"
        "%base *= 3\n"
        "-c\n"
        "  -SetDelay Random: %base-400 // range\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][sequora::kColDelay], "100");
    EXPECT_EQ(rows[1][sequora::kColDelay], "Random: 300-400 ");
}

TEST(CfgFile, TextsThatDoNotSurviveASaveAndReload) {
    ItemRow row = kWorkedRow1;
    row[sequora::kColEventString] = "say \"hi\"";
    EXPECT_EQ(Loaded(CfgWriter::FormatText({row}))[0][sequora::kColEventString], "say ");
    row[sequora::kColEventString] = "trial #3";
    EXPECT_EQ(Loaded(CfgWriter::FormatText({row}))[0][sequora::kColEventString], "trial ");
    // Everything else, including 8-bit text and blanks, comes back unchanged.
    row[sequora::kColEventString] = "  Reiz \xe4\xf6 \t end ";
    EXPECT_EQ(Loaded(CfgWriter::FormatText({row}))[0], row);
}

TEST(CfgFile, WriterReplacesFilesAndReportsFailures) {
    TempDir dir;
    const std::string path = dir.File("old.cfg");
    WriteFile(path, std::string(5000, 'x'));
    CfgWriter writer;
    ASSERT_TRUE(writer.Write(path, std::vector<ItemRow>{}));
    EXPECT_EQ(ReadFile(path), "\r\n\r\n");

    EXPECT_FALSE(writer.Write(dir.File("no/such/dir.cfg"), std::vector<ItemRow>{}));
    EXPECT_EQ(writer.ErrorMessage(), "Error; Text file could not be opened for writing.");
    EXPECT_FALSE(writer.ErrorReason().empty());
    EXPECT_FALSE(writer.Write(dir.Path(), std::vector<ItemRow>{})) << "a directory is not writable as a file";

    // A device that refuses the data must not be reported as written.
    struct stat info {};
    if (::stat("/dev/full", &info) == 0) {
        EXPECT_FALSE(writer.Write("/dev/full", {kWorkedRow1}));
        EXPECT_EQ(writer.ErrorMessage(), "Error; Text file could not be opened for writing.");
    }
    ASSERT_TRUE(writer.Write(path, std::vector<ItemRow>{}));
    EXPECT_TRUE(writer.ErrorMessage().empty()) << "a success clears the last failure";

    ItemList list;
    list.AddItemRow({"Yes", "a", "No", "NA", "NA", "No", "NA", "1"});
    ASSERT_TRUE(writer.Write(path, list));
    EXPECT_EQ(ReadFile(path),
              "\r\n\r\n-CreateTrialItem\r\n\t-SendEventString \"a\"\r\n\t-SetDelay 1\r\n\r\n\r\n");
}
