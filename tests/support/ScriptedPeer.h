#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/support/Loopback.h"

namespace testsupport {

/// A frame as the command channel puts it on the wire; `length` overrides the length field.
std::string Frame(std::string_view payload, std::int32_t version = 1, std::uint32_t validation = 0xA5A5A5A5u,
                  std::optional<std::int32_t> length = std::nullopt);
/// A well-formed answer frame carrying the text and its terminating NUL.
std::string TextFrame(std::string_view text);

/// A scripted TCP peer on 127.0.0.1 (port chosen by the system). The steps are queued first
/// and run in order on the peer's own thread after Start(); every blocking step gives up after
/// a few seconds so a broken client fails the test instead of hanging it.
class ScriptedPeer {
public:
    ScriptedPeer();
    /// Closes the sockets and joins the thread.
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    /// The listening port.
    int Port() const { return mListener.Port(); }

    /// Accepts the next connection (the script starts with one implicitly).
    ScriptedPeer& Accept();
    /// Reads one whole frame and records its bytes.
    ScriptedPeer& ReadFrame();
    /// Sends the bytes in pieces of `pieceSize` bytes (0: all at once), pausing between pieces.
    ScriptedPeer& Send(std::string bytes, std::size_t pieceSize = 0);
    /// Waits before the next step.
    ScriptedPeer& Pause(std::chrono::milliseconds duration);
    /// Reads one frame and answers it with a text frame.
    ScriptedPeer& Answer(std::string text);
    /// Reads one frame and answers it with the text computed from the command received.
    ScriptedPeer& AnswerWith(std::function<std::string(const std::string& command)> answer);
    /// Reads until the client closes the connection; records whether it did.
    ScriptedPeer& ExpectClose();
    /// Closes the current connection.
    ScriptedPeer& Close();

    /// Starts running the script.
    void Start();
    /// Waits for the script to end; true when every step succeeded.
    bool Finish();

    /// Raw bytes of every frame read, in order.
    std::vector<std::string> Frames() const;
    /// The text of every command read (payload up to its NUL), in order.
    std::vector<std::string> Commands() const;
    /// True when ExpectClose saw the client close the connection.
    bool SawClose() const;

private:
    using Step = std::function<bool()>;
    bool ReadOneFrame(std::string& command);
    void Run();

    LoopbackListener mListener;      // opened by the constructor, then only read
    LoopbackConnection mConnection;  // peer thread only
    std::vector<Step> mSteps;
    std::thread mThread;
    bool mResult = false;      // written by the peer thread, read after join
    mutable std::mutex mLock;  // guards the three members below
    std::vector<std::string> mFrames;
    std::vector<std::string> mCommands;
    bool mSawClose = false;
};

}  // namespace testsupport
