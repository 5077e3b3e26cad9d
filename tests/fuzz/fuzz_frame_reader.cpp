// Reads arbitrary bytes as a run of answers on the command channel, with the checks the channel
// makes on every answer's header, in memory: every header is judged consistently, no answer is
// taken that the checks refuse, and no byte past the input is touched.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "comlux/internal/CommandFrame.h"

using comlux::CommandFrame;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (size - at >= CommandFrame::kHeaderSize) {
        const unsigned char* header = data + at;
        const auto version = static_cast<std::int32_t>(CommandFrame::ReadField(header));
        const CommandFrame::Fault start = CommandFrame::CheckAnswerStart(header);
        const bool startGood = version == CommandFrame::kVersion &&
                               CommandFrame::ReadField(header + 4) == CommandFrame::kValidationCode;
        if ((start == CommandFrame::Fault::None) != startGood) std::abort();
        if (start != CommandFrame::Fault::None) {
            // The user is told, and for a newer version which one arrived.
            const std::string message = CommandFrame::StartFaultMessage(start, version);
            if (message.empty()) std::abort();
            if (start == CommandFrame::Fault::UnsupportedVersion &&
                !message.ends_with("Version #" + std::to_string(version)))
                std::abort();
            return 0;  // the channel shuts down: nothing after a bad header is read
        }
        const auto length = static_cast<std::int32_t>(CommandFrame::ReadField(header + 8));
        const bool lengthGood = length > 0 && length <= CommandFrame::kMaxPayloadLength;
        if ((CommandFrame::CheckAnswerLength(length) == CommandFrame::Fault::None) != lengthGood)
            std::abort();
        if (!lengthGood) return 0;
        at += CommandFrame::kHeaderSize;
        if (size - at < static_cast<std::size_t>(length)) return 0;  // the rest has not arrived
        // The payload read as text ends at its first NUL, within the payload.
        const std::string payload(reinterpret_cast<const char*>(data + at), static_cast<std::size_t>(length));
        if (payload.substr(0, payload.find('\0')).size() > payload.size()) std::abort();
        at += static_cast<std::size_t>(length);
    }
    return 0;
}
