#pragma once

#include <functional>
#include <ostream>

#include "app/cli/record/RecorderCommandLine.h"
#include "comlux/ComluxClient.h"

namespace sequora::record {

/// Exit statuses of comlux-record.
inline constexpr int kExitDone = 0;          ///< recorded until the end of --seconds or Ctrl-C
inline constexpr int kExitNoConnection = 1;  ///< the connection or the object list failed
inline constexpr int kExitBadUsage = 2;      ///< bad usage, or the output cannot be written
inline constexpr int kExitNoStream = 3;      ///< an object's stream cannot be opened

/// Records the streams of options.objects through `client`, which is not connected yet:
/// connects as Sequora does, opens the streams, writes one line per record to `out` until
/// `waitForStop` returns, closes the streams and the connection, then writes the count of each
/// object's records to `err`. Messages go to `err`, one line each. Returns the exit status.
int RecordStreams(const RecorderOptions& options, comlux::ComluxClient& client, std::ostream& out,
                  bool flushEachLine, std::ostream& err, const std::function<void()>& waitForStop);

}  // namespace sequora::record
