#include "tests/support/ScriptedPeer.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace testsupport {

namespace {

constexpr std::chrono::milliseconds kStepTimeout{5000};

void PutField(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

}  // namespace

std::string Frame(std::string_view payload, std::int32_t version, std::uint32_t validation,
                  std::optional<std::int32_t> length) {
    std::string out;
    PutField(out, static_cast<std::uint32_t>(version));
    PutField(out, validation);
    PutField(out, static_cast<std::uint32_t>(length.value_or(static_cast<std::int32_t>(payload.size()))));
    out += payload;
    return out;
}

std::string TextFrame(std::string_view text) {
    std::string payload(text);
    payload += '\0';
    return Frame(payload);
}

ScriptedPeer::ScriptedPeer() {
    Accept();
}

ScriptedPeer::~ScriptedPeer() {
    if (mThread.joinable()) mThread.join();
}

ScriptedPeer& ScriptedPeer::Accept() {
    mSteps.push_back([this] {
        mConnection = mListener.Accept(kStepTimeout);
        return mConnection.IsOpen();
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::ReadFrame() {
    mSteps.push_back([this] {
        std::string command;
        return ReadOneFrame(command);
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Send(std::string bytes, std::size_t pieceSize) {
    mSteps.push_back([this, bytes = std::move(bytes), pieceSize] {
        const std::size_t piece = pieceSize == 0 ? bytes.size() : pieceSize;
        for (std::size_t at = 0; at < bytes.size(); at += piece) {
            const std::size_t size = std::min(piece, bytes.size() - at);
            if (!mConnection.SendAll(bytes.data() + at, size)) return false;
            // Separate segments: the client must put the answer together from several reads.
            if (pieceSize != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Pause(std::chrono::milliseconds duration) {
    mSteps.push_back([duration] {
        std::this_thread::sleep_for(duration);
        return true;
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Answer(std::string text) {
    return AnswerWith([text = std::move(text)](const std::string&) { return text; });
}

ScriptedPeer& ScriptedPeer::AnswerWith(std::function<std::string(const std::string&)> answer) {
    mSteps.push_back([this, answer = std::move(answer)] {
        std::string command;
        if (!ReadOneFrame(command)) return false;
        return mConnection.SendAll(TextFrame(answer(command)));
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::ExpectClose() {
    mSteps.push_back([this] {
        if (!mConnection.DrainUntilClosed(kStepTimeout)) return false;
        std::lock_guard guard(mLock);
        mSawClose = true;
        return true;
    });
    return *this;
}

ScriptedPeer& ScriptedPeer::Close() {
    mSteps.push_back([this] {
        mConnection.Close();
        return true;
    });
    return *this;
}

void ScriptedPeer::Start() {
    mThread = std::thread([this] { Run(); });
}

bool ScriptedPeer::Finish() {
    if (mThread.joinable()) mThread.join();
    return mResult;
}

void ScriptedPeer::Run() {
    if (!mListener.IsListening()) return;
    for (const Step& step : mSteps) {
        if (!step()) return;
    }
    mResult = true;
}

bool ScriptedPeer::ReadOneFrame(std::string& command) {
    char header[12];
    if (!mConnection.ReadExact(header, sizeof header, kStepTimeout)) return false;
    std::uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length << 8 | static_cast<unsigned char>(header[8 + i]);
    if (length > (1u << 20)) return false;
    std::string payload(length, '\0');
    if (!mConnection.ReadExact(payload.data(), length, kStepTimeout)) return false;
    command = payload.substr(0, payload.find('\0'));
    std::lock_guard guard(mLock);
    mFrames.push_back(std::string(header, sizeof header) + payload);
    mCommands.push_back(command);
    return true;
}

std::vector<std::string> ScriptedPeer::Frames() const {
    std::lock_guard guard(mLock);
    return mFrames;
}

std::vector<std::string> ScriptedPeer::Commands() const {
    std::lock_guard guard(mLock);
    return mCommands;
}

bool ScriptedPeer::SawClose() const {
    std::lock_guard guard(mLock);
    return mSawClose;
}

}  // namespace testsupport
