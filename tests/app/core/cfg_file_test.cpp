#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemList.h"
#include "app/core/PartlyReadFiles.h"
#include "tests/support/TempDir.h"

using sequora::CfgLoadResult;
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
    CfgSetup(list, std::chrono::milliseconds(0)).LoadText(content);
    return list.Rows();
}

// The names in a directory.
std::vector<std::string> Names(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// Lets this process write files of at most `bytes` bytes while it lives: a larger write
// fails (EFBIG) as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &mOld);
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = mOld;
        limited.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mOldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit mOld{};
    void (*mOldHandler)(int) = nullptr;
};

std::vector<ItemRow> ManyRows(int count) {
    std::vector<ItemRow> rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) rows.push_back(Numbered(kWorkedRow2, i + 1));
    return rows;
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
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"old.cfg"}) << "no temporary file stays behind";

    EXPECT_FALSE(writer.Write(dir.File("no/such/dir.cfg"), std::vector<ItemRow>{}));
    EXPECT_EQ(writer.ErrorMessage(), "Error; Text file could not be opened for writing.");
    EXPECT_FALSE(writer.ErrorReason().empty());
    EXPECT_FALSE(writer.Write(dir.Path(), std::vector<ItemRow>{})) << "a directory is not writable as a file";
    EXPECT_EQ(writer.ErrorMessage(), "Error; Text file could not be opened for writing.");

    // A device that refuses the data must not be reported as written.
    struct stat info {};
    if (::stat("/dev/full", &info) == 0) {
        EXPECT_FALSE(writer.Write("/dev/full", {kWorkedRow1}));
        EXPECT_EQ(writer.ErrorMessage(), "Error; Text file could not be written.");
        EXPECT_EQ(writer.ErrorReason(), "No space left on device");
    }
    ASSERT_TRUE(writer.Write(path, std::vector<ItemRow>{}));
    EXPECT_TRUE(writer.ErrorMessage().empty()) << "a success clears the last failure";

    ItemList list;
    list.AddItemRow({"Yes", "a", "No", "NA", "NA", "No", "NA", "1"});
    ASSERT_TRUE(writer.Write(path, list));
    EXPECT_EQ(ReadFile(path),
              "\r\n\r\n-CreateTrialItem\r\n\t-SendEventString \"a\"\r\n\t-SetDelay 1\r\n\r\n\r\n");
}

TEST(CfgFile, ASaveThatFailsHalfWayLeavesTheOldFileAsItWas) {
    TempDir dir;
    const std::string path = dir.File("protocol.cfg");
    const std::string old = CfgWriter::FormatText({kWorkedRow1});
    WriteFile(path, old);
    CfgWriter writer;
    {
        // The new text (about 50 kB) does not fit under the limit; the old one does.
        FileSizeLimit limit(4096);
        EXPECT_FALSE(writer.Write(path, ManyRows(1000)));
        EXPECT_FALSE(writer.Write(dir.File("new.cfg"), ManyRows(1000)));
    }
    EXPECT_EQ(writer.ErrorMessage(), "Error; Text file could not be written. No file was created.");
    EXPECT_EQ(writer.ErrorReason(), "File too large");
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"protocol.cfg"});

    {
        FileSizeLimit limit(4096);
        EXPECT_FALSE(writer.Write(path, ManyRows(1000)));
    }
    EXPECT_EQ(writer.ErrorMessage(),
              "Error; Text file could not be written. The existing file was left unchanged.");

    ASSERT_TRUE(writer.Write(path, ManyRows(1000)));
    EXPECT_EQ(ReadFile(path), CfgWriter::FormatText(ManyRows(1000)));
}

TEST(CfgFile, ASaveKeepsTheReplacedFilesPermissionsAndSymbolicLinks) {
    TempDir dir;
    const std::string target = dir.File("real.cfg");
    const std::string link = dir.File("link.cfg");
    WriteFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real.cfg", link.c_str()), 0);

    CfgWriter writer;
    ASSERT_TRUE(writer.Write(link, {kWorkedRow1}));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFile(target), CfgWriter::FormatText({kWorkedRow1}));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST(CfgFile, ASaveIntoAReadOnlyFolderChangesNothing) {
    TempDir dir;
    const std::string folder = dir.File("locked");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/protocol.cfg";
    WriteFile(path, "old");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);

    // Root writes into read-only folders; the save is then tried as an ordinary user.
    const auto save = [&path] {
        CfgWriter writer;
        return !writer.Write(path, {kWorkedRow1}) &&
               writer.ErrorMessage() == "Error; Text file could not be opened for writing." &&
               writer.ErrorReason() == "Permission denied";
    };
    if (::geteuid() != 0) {
        EXPECT_TRUE(save());
    } else {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(!dropped ? 2 : save() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save did not fail as expected, 2: no ordinary user";
    }
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(Names(folder), std::vector<std::string>{"protocol.cfg"});
    ::chmod(folder.c_str(), 0755);
}

TEST(CfgFile, RowsThatWouldNotReadBackAreRefusedNamingTheRow) {
    TempDir dir;
    const std::string path = dir.File("protocol.cfg");
    WriteFile(path, "old");
    CfgWriter writer;

    // "\t-SendCommand \"" and the closing quote take 16 characters of the 999.
    ItemRow longest = kWorkedRow2;
    longest[sequora::kColCommand] = std::string(983, 'c');
    ASSERT_TRUE(writer.Write(path, {kWorkedRow1, longest}));
    EXPECT_EQ(Loaded(ReadFile(path)), (std::vector<ItemRow>{kWorkedRow1, longest}));

    WriteFile(path, "old");
    ItemRow tooLong = longest;
    tooLong[sequora::kColNumber] = "7";
    tooLong[sequora::kColCommand] += "c";
    EXPECT_FALSE(writer.Write(path, {kWorkedRow1, tooLong}));
    EXPECT_EQ(writer.ErrorMessage(),
              "Row 2 (item #7) cannot be saved: its -SendCommand line would be longer than 999 characters. "
              "Nothing was written.");
    EXPECT_EQ(writer.ErrorReason(), "");
    EXPECT_EQ(ReadFile(path), "old");

    // Texts that a saved file would give back cut, split or not at all.
    struct Case {
        int column;
        std::string text;
        std::string keyword;
    };
    const Case cases[] = {
        {sequora::kColEventString, "trial #3", "-SendEventString"},
        {sequora::kColEventString, "say \"hi\"", "-SendEventString"},
        {sequora::kColCommand, "-a // b", "-SendCommand"},
        {sequora::kColCommand, "two\nlines", "-SendCommand"},
        {sequora::kColBitState, "NA", "-SendTTLBit"},
        {sequora::kColBitNumber, "3 4", "-SendTTLBit"},
        {sequora::kColDelay, "5 ms", "-SetDelay"},
        {sequora::kColDelay, "about Random: 1-2", "-SetDelay"},
        {sequora::kColSendEvent, "yes", "-SendEventString"},
    };
    for (const Case& c : cases) {
        ItemRow row = {"1", "Yes", "e", "Yes", "3", "On", "Yes", "c", "5"};
        row[c.column] = c.text;
        EXPECT_FALSE(writer.Write(path, {row})) << c.text;
        EXPECT_EQ(writer.ErrorMessage(), "Row 1 (item #1) cannot be saved: its " + c.keyword +
                                             " line would not read back as it stands. Nothing was written.");
        EXPECT_EQ(CfgWriter::FindRefusedRow({kWorkedRow1, row})->row, 2u);
    }
    EXPECT_EQ(ReadFile(path), "old");
}

TEST(CfgFile, ACommandMadeLongByVariablesLoadsButIsNotSaved) {
    const std::string half(495, 'v');
    ItemList list;
    const CfgLoadResult result = CfgSetup(list, std::chrono::milliseconds(0))
                                     .LoadText("%c = " + half + "\n-c\n-SendCommand \"%c%c\"\n-c\n");
    EXPECT_TRUE(result.Whole());
    ASSERT_EQ(list.RowCount(), 2);
    EXPECT_EQ(list.CellText(0, sequora::kColCommand), half + half);
    const auto refusal = CfgWriter::FindRefusedRow(list.Rows());
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->row, 1u);
    EXPECT_TRUE(refusal->tooLong);
}

TEST(CfgFile, LoadSaysWhereItStoppedAndKeepsTheRowsBefore) {
    TempDir dir;
    const std::string path = dir.File("protocol.cfg");
    std::string text;
    for (int i = 0; i < 37; ++i) text += "-c\n\t-SetDelay 5\n";
    for (int line = 75; line < 412; ++line) text += "# note\n";
    text += "-" + std::string(1000, 'x') + "\n-c\n";
    WriteFile(path, text);

    ItemList list;
    list.AddItemRow(sequora::BlankItemCells());
    const CfgLoadResult result = CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
    EXPECT_EQ(result.end, CfgLoadResult::End::Stopped);
    EXPECT_TRUE(result.Partial());
    EXPECT_EQ(result.line, 412u);
    EXPECT_EQ(result.itemsLoaded, 37);
    EXPECT_EQ(result.StopMessage(path),
              "Reading stopped at line 412 of protocol.cfg: the line is longer than 999 characters. "
              "37 items were loaded.");
    ASSERT_EQ(list.RowCount(), 38);
    EXPECT_EQ(list.CellText(37, sequora::kColDelay), "5");

    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"-c\n-SetDelay 5\nTrial 1\n-c\n",
         "Reading stopped at line 3 of x.cfg: the line begins with neither -, %, # nor //. 1 item was "
         "loaded."},
        {"\r\r-CreateTrialItem\r\t-SetDelay 5\r\r\r-CreateTrialItem\r\t-SetDelay 6\r",
         "Reading stopped at line 1 of x.cfg: the line begins with a carriage return that is not followed by "
         "a line feed. 0 items were loaded."},
        {"%d = 4\n-c\n-c\n%d /= 0\n-c\n",
         "Reading stopped at line 4 of x.cfg: the variable line divides by zero. 2 items were loaded."},
        {"-c\n%e = %f\n",
         "Reading stopped at line 2 of x.cfg: the variable %f is not defined. 1 item was loaded."},
        {std::string("-c\n-c\n-SendCommand \"-LogMessage a") + '\0' + "b 1\"\n-c\n",
         "Reading stopped at line 3 of x.cfg: the line holds a NUL byte. 2 items were loaded."},
    };
    for (const Case& c : cases) {
        ItemList rows;
        const CfgLoadResult stopped = CfgSetup(rows, std::chrono::milliseconds(0)).LoadText(c.text);
        EXPECT_EQ(stopped.StopMessage("/some/folder/x.cfg"), c.message);
        EXPECT_EQ(rows.RowCount(), stopped.itemsLoaded);
    }

    const CfgLoadResult whole = CfgSetup(list, std::chrono::milliseconds(0)).LoadText(kWorkedExample);
    EXPECT_TRUE(whole.Whole());
    EXPECT_FALSE(whole.Partial());
    EXPECT_EQ(whole.itemsLoaded, 2);
}

TEST(CfgFile, AFileThatCannotBeOpenedChangesNothingAndSaysWhy) {
    TempDir dir;
    ItemList list;
    for (const std::string& path : {dir.File("missing.cfg"), dir.Path()}) {
        const CfgLoadResult result = CfgSetup(list, std::chrono::milliseconds(0)).Load(path);
        EXPECT_EQ(result.end, CfgLoadResult::End::Unopened);
        EXPECT_FALSE(result.Whole());
        EXPECT_FALSE(result.Partial());
        EXPECT_FALSE(result.reason.empty());
    }
    EXPECT_EQ(list.RowCount(), 0);
}

TEST(CfgFile, ALoadReportsItsProgressAndStopsWhenCancelled) {
    TempDir dir;
    const std::string path = dir.File("big.cfg");
    const std::string text = CfgWriter::FormatText(ManyRows(5000));
    WriteFile(path, text);

    std::vector<std::uint64_t> reported;
    ItemList list;
    const CfgLoadResult whole =
        CfgSetup(list, std::chrono::milliseconds(0)).Load(path, [&](std::uint64_t done, std::uint64_t total) {
            EXPECT_EQ(total, text.size());
            reported.push_back(done);
        });
    EXPECT_TRUE(whole.Whole());
    EXPECT_EQ(list.RowCount(), 5000);
    ASSERT_GT(reported.size(), 100u);
    EXPECT_LE(reported.size(), 1002u);
    EXPECT_TRUE(std::is_sorted(reported.begin(), reported.end()));
    EXPECT_EQ(reported.back(), text.size());

    std::atomic<bool> cancel{false};
    ItemList partial;
    const CfgLoadResult cancelled =
        CfgSetup(partial, std::chrono::milliseconds(0))
            .Load(
                path, [&](std::uint64_t, std::uint64_t) { cancel = true; }, &cancel);
    EXPECT_EQ(cancelled.end, CfgLoadResult::End::Cancelled);
    EXPECT_TRUE(cancelled.Partial());
    EXPECT_GT(cancelled.itemsLoaded, 0);
    EXPECT_LT(cancelled.itemsLoaded, 100);
    EXPECT_EQ(partial.RowCount(), cancelled.itemsLoaded);
    EXPECT_EQ(cancelled.StopMessage(path), "Reading stopped at line " + std::to_string(cancelled.line) +
                                               " of big.cfg: the load was cancelled. " +
                                               std::to_string(cancelled.itemsLoaded) + " items were loaded.");
}

TEST(CfgFile, ALoadCanBeDrivenOneCommandLineAtATime) {
    ItemList list;
    CfgSetup setup(list, std::chrono::milliseconds(0));
    ASSERT_TRUE(setup.BeginText(kWorkedExample));
    EXPECT_EQ(setup.Result().end, CfgLoadResult::End::Reading);
    EXPECT_TRUE(setup.Step());  // -CreateTrialItem
    EXPECT_TRUE(setup.Step());  // -SendEventString
    EXPECT_EQ(list.RowCount(), 1);
    EXPECT_EQ(list.CellText(0, sequora::kColEventString), "Stimulus On");
    EXPECT_EQ(setup.Result().itemsLoaded, 1);
    EXPECT_LT(setup.BytesRead(), setup.FileBytes());
    setup.Cancel();
    EXPECT_FALSE(setup.Step());
    EXPECT_EQ(setup.Result().end, CfgLoadResult::End::Cancelled);
    EXPECT_EQ(setup.Result().line, 4u);
    EXPECT_EQ(list.RowCount(), 1);

    EXPECT_FALSE(setup.Begin("/nonexistent/x.cfg"));
    EXPECT_EQ(setup.Result().end, CfgLoadResult::End::Unopened);
    EXPECT_EQ(setup.Result().reason, "No such file or directory");
    EXPECT_FALSE(setup.Step());
}

TEST(CfgFile, PartlyReadFilesAreKnownByAnyNameUntilReadWhole) {
    TempDir dir;
    const std::string path = dir.File("protocol.cfg");
    WriteFile(path, "-c\nTrial\n");
    ASSERT_EQ(::symlink("protocol.cfg", dir.File("link.cfg").c_str()), 0);
    sequora::PartlyReadFiles files;
    ItemList list;
    files.Note(path, CfgSetup(list, std::chrono::milliseconds(0)).Load(path));
    files.Note(dir.File("missing.cfg"),
               CfgSetup(list, std::chrono::milliseconds(0)).Load(dir.File("missing.cfg")));
    for (const std::string& name : {path, dir.File("link.cfg"), dir.Path() + "/./protocol.cfg"}) {
        EXPECT_TRUE(files.Holds(name)) << name;
    }
    EXPECT_FALSE(files.Holds(dir.File("missing.cfg"))) << "a file never opened was not read in part";
    EXPECT_FALSE(files.Holds(dir.File("other.cfg")));

    // Replaced by a new file of the same name, it is still the file that was read in part...
    const std::string replacement = dir.File("replacement.cfg");
    WriteFile(replacement, "-c\n");
    ASSERT_EQ(::rename(replacement.c_str(), path.c_str()), 0);
    EXPECT_TRUE(files.Holds(path));
    // ...until it is read whole.
    files.Note(dir.File("link.cfg"), CfgSetup(list, std::chrono::milliseconds(0)).Load(dir.File("link.cfg")));
    EXPECT_FALSE(files.Holds(path));
}
