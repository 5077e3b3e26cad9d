#include "app/gui/JournalFiles.h"

#include <filesystem>
#include <system_error>

namespace sequora::gui {

namespace {

const char kJournalExtension[] = ".tsv";

}  // namespace

std::string NewJournalPath(const std::string& folder, std::time_t start) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!std::filesystem::is_directory(folder, error)) return {};

    std::tm local{};
    localtime_r(&start, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    const std::filesystem::path base = std::filesystem::path(folder) / stamp;
    std::filesystem::path path = base.string() + kJournalExtension;
    // Any entry of the name is taken, a link included, even one that leads nowhere: a new
    // journal never writes through a name that something else already holds.
    const auto taken = [&error](const std::filesystem::path& candidate) {
        return std::filesystem::symlink_status(candidate, error).type() !=
               std::filesystem::file_type::not_found;
    };
    for (int number = 2; taken(path); ++number) {
        path = base.string() + "-" + std::to_string(number) + kJournalExtension;
    }
    return path.string();
}

}  // namespace sequora::gui
