#include "app/cli/ConsoleObserver.h"

namespace sequora::cli {

void ConsoleObserver::Print(const std::string& text) {
    std::lock_guard guard(mLock);
    mErr << text << '\n' << std::flush;
}

void ConsoleObserver::TrialStarting(long long trial, int count) {
    std::string line = "trial " + std::to_string(trial);
    if (count > 0) line += "/" + std::to_string(count);
    Print(line);
}

}  // namespace sequora::cli
