#include "app/gui/StatusTexts.h"

#include <cstdio>

namespace sequora::gui::status_texts {

std::string ConnectedTo(const std::string& server, int commandPort) {
    return "Connected to " + server + " (command port " + std::to_string(commandPort) + ")";
}

std::string ConnectingTo(const std::string& server) {
    return "Connecting to " + server + "\u2026";
}

std::string ConnectionLost(const std::string& reason) {
    return "Connection lost: " + reason;
}

std::string Loading(const std::string& fileName, int percent, int items) {
    return "Loading " + fileName + "\u2026 " + std::to_string(percent) + "% (" + std::to_string(items) +
           (items == 1 ? " item)" : " items)");
}

std::string Elapsed(std::chrono::nanoseconds span) {
    const long long seconds = std::chrono::duration_cast<std::chrono::seconds>(span).count();
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return text;
}

}  // namespace sequora::gui::status_texts
