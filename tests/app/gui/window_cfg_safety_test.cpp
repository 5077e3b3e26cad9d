#include <chrono>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "tests/app/gui/GuiTestSupport.h"

namespace guitest {
namespace {

using ::testing::ElementsAre;

// Two rows, then a line that ends the reading, then a row never read.
const std::string kPartial = "-c\n-SetDelay 1\n-c\n-SetDelay 2\nTrial 3\n-c\n";

using WindowCfgSafetyTest = WindowTest;

TEST_F(WindowCfgSafetyTest, APartlyReadFileIsReportedOnceAndNotSavedOver) {
    const std::string path = dir.File("protocol.cfg");
    testsupport::WriteFile(path, kPartial);
    prompter->QueueFile(QString::fromStdString(path));
    Click(kIdOpenCfg);
    WaitForLoad();
    EXPECT_THAT(
        prompter->Messages(),
        ElementsAre("Reading stopped at line 5 of protocol.cfg: the line begins with neither -, %, # nor "
                    "//. 2 items were loaded."));
    EXPECT_EQ(window->Items().RowCount(), 2);

    prompter->QueueFile(QString::fromStdString(path));
    Click(kIdSaveCfg);
    EXPECT_EQ(
        prompter->Messages().back(),
        "protocol.cfg was read only in part: saving over it would lose what was not read. Save the list "
        "under another name.");
    EXPECT_EQ(testsupport::ReadFile(path), kPartial);

    // Under another name the rows are saved; once the file reads whole it may be saved over.
    const std::string copy = dir.File("copy.cfg");
    prompter->QueueFile(QString::fromStdString(copy));
    Click(kIdSaveCfg);
    EXPECT_EQ(prompter->Messages().size(), 2u);
    testsupport::WriteFile(path, testsupport::ReadFile(copy));
    prompter->QueueFile(QString::fromStdString(path));
    Click(kIdOpenCfg);
    WaitForLoad();
    prompter->QueueFile(QString::fromStdString(path));
    Click(kIdSaveCfg);
    EXPECT_EQ(prompter->Messages().size(), 2u);
    EXPECT_EQ(window->Items().RowCount(), 4);
    sequora::ItemList saved;
    EXPECT_TRUE(sequora::CfgSetup(saved, std::chrono::milliseconds(0)).Load(path).Whole());
    EXPECT_EQ(saved.RowCount(), 4);
}

TEST_F(WindowCfgSafetyTest, ARowThatWouldNotReadBackIsRefusedAndNothingIsWritten) {
    Click(kIdAddItem);
    Click(kIdSendEvent);
    Type(kIdEventString, "trial #3");
    Click(kIdAddItem);
    const std::string path = dir.File("protocol.cfg");
    testsupport::WriteFile(path, "old");
    prompter->QueueFile(QString::fromStdString(path));
    Click(kIdSaveCfg);
    EXPECT_THAT(prompter->Messages(),
                ElementsAre("Row 2 (item #2) cannot be saved: its -SendEventString line "
                            "would not read back as it stands. Nothing was written."));
    EXPECT_EQ(testsupport::ReadFile(path), "old");
}

TEST_F(WindowCfgSafetyTest, ASaveThatFailsPartWayIsReported) {
    Click(kIdAddItem);
    prompter->QueueFile(QStringLiteral("/dev/full"));
    Click(kIdSaveCfg);
    EXPECT_THAT(prompter->Messages(), ElementsAre("Error; Text file could not be written."));
}

TEST_F(WindowCfgSafetyTest, ASaveIntoAFolderThatTakesNoNewFileRewritesTheWritableFileInPlace) {
    const std::string folder = dir.File("locked");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/protocol.cfg";
    testsupport::WriteFile(path, "older and longer content to be replaced entirely\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    Click(kIdAddItem);
    prompter->QueueFile(QString::fromStdString(path));

    // Root writes into read-only folders; the save is then made as an ordinary user.
    const auto save = [&] {
        Click(kIdSaveCfg);
        return prompter->Messages().empty() && !window->HasUnsavedChanges();
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
        EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save failed, 2: no ordinary user";
    }
    EXPECT_EQ(testsupport::ReadFile(path), sequora::CfgWriter::FormatText(window->Items().Rows()));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    ::chmod(folder.c_str(), 0755);
}

}  // namespace
}  // namespace guitest
