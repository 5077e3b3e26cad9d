#include "tests/support/RunnerProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace testsupport {

namespace {

const std::string kRunner = std::string(SEQUORA_BIN_DIR) + "/sequora-run";

}  // namespace

RunnerProcess::RunnerProcess(const TempDir& dir, const std::vector<std::string>& args)
    : mOutPath(dir.File("out.txt")), mErrPath(dir.File("err.txt")) {
    std::vector<std::string> argv{kRunner};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, mOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, mErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&mPid, kRunner.c_str(), &actions, nullptr, pointers.data(), environ) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

RunnerProcess::~RunnerProcess() {
    if (mPid > 0 && !mReaped) {
        kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
    }
}

void RunnerProcess::Signal(int signal) const {
    kill(mPid, signal);
}

int RunnerProcess::Wait(std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (waitpid(mPid, &status, WNOHANG) == mPid) {
            mReaped = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (std::chrono::steady_clock::now() >= until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::string RunnerProcess::Out() const {
    return ReadFile(mOutPath);
}

std::vector<std::string> RunnerProcess::ErrLines() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(mErrPath));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace testsupport
