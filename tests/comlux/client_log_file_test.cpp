#include <gtest/gtest.h>
#include <thread>

#include "comlux/ClientLogFile.h"
#include "tests/support/TempDir.h"

using comlux::ClientLogFile;
using comlux::LocalTime;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

LocalTime At(int h, int m, int s, int ms) {
    return LocalTime{2026, 3, 7, h, m, s, ms};
}

}  // namespace

TEST(ClientLogFile, BannerEntriesAndClosingLineAreWrittenWithCrLf) {
    TempDir dir;
    const std::string path = dir.File("log.txt");
    ClientLogFile log;
    log.SetClock([] { return At(7, 4, 9, 5); });
    ASSERT_EQ(log.OpenLogFile(path), 0);
    EXPECT_EQ(log.WriteEntry(comlux::Error, "A::B() - failed"), 0);
    EXPECT_EQ(log.WriteEntry(comlux::Notice, "A::B() - fine"), 0);
    EXPECT_EQ(log.CloseLogFile(), 0);

    const std::string expected = "Comlux Log File Opened - File Name:  " + path +
                                 "\r\n"
                                 "Time Opened: (m/d/y)  3/7/2026 at time 7:4:9.5\r\n"
                                 "Comlux Version 1.21\r\r\n\r\n"
                                 "-* ERROR *-  07:04:09.005 - A::B() - failed\r\n"
                                 "-* NOTICE *-  07:04:09.005 - A::B() - fine\r\n"
                                 "Log File Closed - End of File\r\r\n\r\n";
    EXPECT_EQ(ReadFile(path), expected);
}

TEST(ClientLogFile, TimeFieldsAtTheEndOfTheDay) {
    const LocalTime t = At(23, 59, 59, 999);
    EXPECT_EQ(ClientLogFile::FormatEntryTime(t), "23:59:59.999");
    EXPECT_EQ(ClientLogFile::FormatBannerTime(t), "Time Opened: (m/d/y)  3/7/2026 at time 23:59:59.999");
}

TEST(ClientLogFile, LevelsOutsideTheTableAreUnknown) {
    EXPECT_STREQ(ClientLogFile::LevelPrefix(0), "-* FATAL *- ");
    EXPECT_STREQ(ClientLogFile::LevelPrefix(4), "-* DATA *- ");
    for (int level : {5, 100, -1}) EXPECT_STREQ(ClientLogFile::LevelPrefix(level), "-* UNKNOWN *- ");
}

TEST(ClientLogFile, ClosedLogDropsEntriesAndRefusesToClose) {
    TempDir dir;
    ClientLogFile log;
    EXPECT_EQ(log.WriteEntry(comlux::Error, "dropped"), -1);
    EXPECT_EQ(log.WriteText("dropped"), -1);
    EXPECT_EQ(log.CloseLogFile(), -1);
    ASSERT_EQ(log.OpenLogFile(dir.File("log.txt")), 0);
    ASSERT_EQ(log.CloseLogFile(), 0);
    const std::string closed = ReadFile(dir.File("log.txt"));
    EXPECT_EQ(log.WriteEntry(comlux::Error, "after close"), -1);
    EXPECT_EQ(log.CloseLogFile(), -1);
    EXPECT_EQ(ReadFile(dir.File("log.txt")), closed);
}

TEST(ClientLogFile, OpeningReplacesAnExistingFileAndClosesThePreviousOne) {
    TempDir dir;
    testsupport::WriteFile(dir.File("a.txt"), "old contents that must go\n");
    ClientLogFile log;
    ASSERT_EQ(log.OpenLogFile(dir.File("a.txt")), 0);
    ASSERT_EQ(log.OpenLogFile(dir.File("b.txt")), 0);
    const std::string first = ReadFile(dir.File("a.txt"));
    EXPECT_EQ(first.find("old contents"), std::string::npos);
    EXPECT_TRUE(first.ends_with("Log File Closed - End of File\r\r\n\r\n"));
    EXPECT_EQ(ReadFile(dir.File("b.txt")).rfind("Comlux Log File Opened", 0), 0u);
}

TEST(ClientLogFile, UnopenableFileLeavesTheLogClosed) {
    ClientLogFile log;
    EXPECT_EQ(log.OpenLogFile("/nonexistent-dir/x/log.txt"), -1);
    EXPECT_EQ(log.WriteEntry(comlux::Notice, "x"), -1);
}

TEST(ClientLogFile, ConcurrentWritersProduceWholeLines) {
    TempDir dir;
    ClientLogFile log;
    ASSERT_EQ(log.OpenLogFile(dir.File("log.txt")), 0);
    const std::string a(300, 'a'), b(300, 'b');
    auto writer = [&log](const std::string& text) {
        for (int i = 0; i < 200; ++i) log.WriteEntry(comlux::Notice, text);
    };
    std::thread t1(writer, a), t2(writer, b);
    t1.join();
    t2.join();
    log.CloseLogFile();

    const std::string content = ReadFile(dir.File("log.txt"));
    int as = 0, bs = 0;
    std::size_t pos = 0;
    while ((pos = content.find("-* NOTICE *- ", pos)) != std::string::npos) {
        const std::size_t end = content.find("\r\n", pos);
        const std::string line = content.substr(pos, end - pos);
        const std::string message = line.substr(line.find(" - ") + 3);
        if (message == a)
            ++as;
        else if (message == b)
            ++bs;
        else
            ADD_FAILURE() << "torn line: " << line.substr(0, 60);
        pos = end;
    }
    EXPECT_EQ(as, 200);
    EXPECT_EQ(bs, 200);
}

TEST(ClientLogFile, ASecondProgramReplacingTheFileLeavesNoHoleAndLosesNoLaterLine) {
    TempDir dir;
    const std::string path = dir.File("shared.txt");
    ClientLogFile first;
    ClientLogFile second;  // another program started from the same folder
    first.SetClock([] { return At(9, 0, 0, 0); });
    second.SetClock([] { return At(9, 0, 0, 1); });
    ASSERT_EQ(first.OpenLogFile(path), 0);
    for (int i = 0; i < 50; ++i) first.WriteEntry(comlux::Notice, "first before " + std::to_string(i));
    ASSERT_EQ(second.OpenLogFile(path), 0);
    second.WriteEntry(comlux::Notice, "second");
    first.WriteEntry(comlux::Notice, "first after");
    second.WriteEntry(comlux::Notice, "second again");

    const std::string content = ReadFile(path);
    EXPECT_EQ(content.find('\0'), std::string::npos);
    EXPECT_EQ(content.rfind("Comlux Log File Opened", 0), 0u);  // the second program's banner
    EXPECT_TRUE(
        content.ends_with("-* NOTICE *-  09:00:00.000 - first after\r\n"
                          "-* NOTICE *-  09:00:00.001 - second again\r\n"));
    EXPECT_EQ(content.find("first before"), std::string::npos);
}
