#pragma once

#include <chrono>
#include <string>

namespace sequora::gui {

/// The status bar's texts, each written here once.
namespace status_texts {

/// No connection.
inline constexpr const char kNotConnected[] = "Not connected";
/// "Connected to <server> (command port <port>)".
std::string ConnectedTo(const std::string& server, int commandPort);
/// "Connecting to <server>…" while an attempt is under way.
std::string ConnectingTo(const std::string& server);
/// The caption of the button that abandons a connection attempt.
inline constexpr const char kCancelConnect[] = "Cancel";
/// "Connection lost: <reason>".
std::string ConnectionLost(const std::string& reason);
/// The reason when the requests that follow a connect find the connection gone.
inline constexpr const char kConnectRequestsFailed[] = "no answer to the requests after connecting";
/// The reason when the server closes an idle connection.
inline constexpr const char kServerClosedConnection[] = "the server closed the connection";

/// A load under way: "Loading protocol.cfg… 37% (41200 items)", the share of the file's
/// bytes read and the items appended so far.
std::string Loading(const std::string& fileName, int percent, int items);
/// The caption of the button that cancels a load.
inline constexpr const char kCancelLoad[] = "Cancel";
/// The control API's refusals in the window's own words (the rest are app/core's).
inline constexpr const char kListBeingOpened[] = "An item list is being opened.";
inline constexpr const char kRunNotStarted[] = "The run did not start.";
/// The caption of the button that opens the last run's timing report.
inline constexpr const char kTiming[] = "Timing";

/// A time span as hours, minutes and seconds: "00:01:23" (hours grow beyond two digits).
std::string Elapsed(std::chrono::nanoseconds span);

}  // namespace status_texts
}  // namespace sequora::gui
