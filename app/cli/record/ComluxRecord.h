#pragma once

#include <functional>
#include <ostream>

#include "app/cli/record/FdOutput.h"
#include "app/cli/record/RecorderCommandLine.h"
#include "app/cli/record/StopRequest.h"
#include "comlux/ComluxClient.h"

namespace sequora::record {

/// Exit statuses of comlux-record.
inline constexpr int kExitDone = 0;          ///< recorded with every requested stream open
inline constexpr int kExitNoConnection = 1;  ///< the connection failed, a requested stream could not
                                             ///< be opened, or a stop came before recording began
inline constexpr int kExitBadUsage = 2;      ///< bad usage, or the output cannot be written
inline constexpr int kExitNoStream = 3;      ///< an unknown object, or one of a type without a stream

/// How long the server has to connect a stream after it was asked to.
inline constexpr auto kStreamConnectLimit = std::chrono::seconds(5);

/// Where the record lines go.
struct RecordOutput {
    std::ostream& lines;
    /// Names the output in messages ("standard output", or the file).
    std::string name;
    /// The descriptor writer behind `lines`, when there is one: it says why a write failed, and
    /// lets a stalled write be given up at the stop. Null for other streams.
    FdOutput* fd = nullptr;
};

/// Records the streams of options.objects through `client`, which is not connected yet:
/// connects as Sequora does, opens the streams, makes sure the server connected each of them,
/// writes one line per record to `output` until `waitForStop` returns (or a write fails), closes
/// the streams and the connection, then writes the count of each object's records to `err`.
/// Messages go to `err`, one line each. A `stop` request abandons the start-up at whatever point
/// it has reached (a connection attempt, an answer awaited) and ends the recording; `waitForStop`
/// must return soon after one. Returns the exit status.
int RecordStreams(const RecorderOptions& options, comlux::ComluxClient& client, const RecordOutput& output,
                  std::ostream& err, StopRequest& stop, const std::function<void()>& waitForStop);

}  // namespace sequora::record
