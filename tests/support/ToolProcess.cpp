#include "tests/support/ToolProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace testsupport {

ToolProcess::ToolProcess(const std::string& tool, const TempDir& dir, const std::vector<std::string>& args)
    : mOutPath(dir.File("out.txt")), mErrPath(dir.File("err.txt")) {
    const std::string executable = tool.starts_with("/") ? tool : std::string(SEQUORA_BIN_DIR) + "/" + tool;
    std::vector<std::string> argv{executable};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, mOutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, mErrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&mPid, executable.c_str(), &actions, nullptr, pointers.data(), environ) != 0) mPid = -1;
    posix_spawn_file_actions_destroy(&actions);
}

ToolProcess::~ToolProcess() {
    if (mPid > 0 && !mReaped) {
        kill(mPid, SIGKILL);
        waitpid(mPid, nullptr, 0);
    }
}

void ToolProcess::Signal(int signal) const {
    kill(mPid, signal);
}

int ToolProcess::Wait(std::chrono::milliseconds limit) {
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

std::string ToolProcess::Out() const {
    return ReadFile(mOutPath);
}

bool ToolProcess::WaitForOutput(std::size_t bytes, std::chrono::milliseconds limit) const {
    const auto until = std::chrono::steady_clock::now() + limit;
    struct stat status {};
    while (stat(mOutPath.c_str(), &status) != 0 || static_cast<std::size_t>(status.st_size) < bytes) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<std::string> ToolProcess::ErrLines() const {
    return ReadLines(mErrPath);
}

}  // namespace testsupport
