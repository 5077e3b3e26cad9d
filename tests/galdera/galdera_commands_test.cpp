// The command handlers against a context that plays the connection, so that what a real server
// can rarely be made to do (run out of ports) can be answered on purpose.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "galdera/CommandTable.h"

namespace {

/// A connection whose port requests get `port` (0: none could be had).
class FakeContext : public galdera::CommandContext {
public:
    explicit FakeContext(int port) : mPort(port) {}
    const std::vector<galdera::ServerObject>& Objects() const override { return mObjects; }
    const std::map<std::string, std::string>& Features() const override { return mFeatures; }
    int NextAvailablePort() override { return mPort; }
    bool CreateStream(const std::string&, int, const std::string&) override { return false; }
    bool OpenStream(std::size_t) override { return false; }
    bool CloseStream(std::size_t) override { return false; }

private:
    const int mPort;
    std::vector<galdera::ServerObject> mObjects;
    std::map<std::string, std::string> mFeatures;
};

std::string AnswerText(galdera::CommandContext& context, const std::string& command) {
    const std::vector<unsigned char> payload = galdera::AnswerCommand(context, command);
    return std::string(payload.begin(), payload.end());
}

TEST(GalderaCommands, PortRequestAnswersMinusOneWhenNoPortCouldBeHad) {
    FakeContext none(0);
    EXPECT_EQ(AnswerText(none, "-GetNextAvailablePortNumber"), std::string("-1\0", 3));
    FakeContext some(26090);
    EXPECT_EQ(AnswerText(some, "-GetNextAvailablePortNumber"), std::string("0 26090\0", 8));
}

}  // namespace
