#include <gtest/gtest.h>

#include "app/core/LogLocation.h"

using sequora::DefaultLogFilePath;
using sequora::LogFolderFor;
using sequora::LogPlace;

namespace {

TEST(LogLocation, BuildTreeProgramsKeepTheirLogBesideThemselves) {
    EXPECT_EQ(DefaultLogFilePath(), std::string(SEQUORA_BIN_DIR) + "/Sequora Comlux Client Log File.txt");
}

TEST(LogLocation, InstalledOrUnwritableProgramsLogIntoTheStateFolder) {
    struct Case {
        LogPlace place;
        std::string folder;
    };
    const Case cases[] = {
        {{"/home/ann/sequora/build/bin", true, "", "/home/ann"}, "/home/ann/sequora/build/bin/"},
        {{"/usr/bin", true, "", "/root"}, "/root/.local/state/Sequora/"},
        {{"/usr/local/bin", true, "/var/state", "/root"}, "/var/state/Sequora/"},
        {{"/opt/sequora/bin", false, "/home/ann/st/", "/home/ann"}, "/home/ann/st/Sequora/"},
        {{"/opt", true, "", "/home/ann"}, "/home/ann/.local/state/Sequora/"},
        {{"/optical/bin", true, "", "/home/ann"}, "/optical/bin/"},
        {{"/usrdata/bin", true, "", "/home/ann"}, "/usrdata/bin/"},
        {{"/srv/tools", false, "", "/home/ann"}, "/home/ann/.local/state/Sequora/"},
        {{"/srv/tools", false, "relative/state", "/home/ann"}, "/home/ann/.local/state/Sequora/"},
        {{"", false, "", "/home/ann"}, "/home/ann/.local/state/Sequora/"},
        {{"/usr/bin", false, "", ""}, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LogFolderFor(c.place), c.folder)
            << c.place.executableFolder << " writable " << c.place.folderWritable << " state '"
            << c.place.stateHome << "' home '" << c.place.home << "'";
    }
}

}  // namespace
