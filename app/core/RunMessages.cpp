#include "app/core/RunMessages.h"

namespace sequora::run_messages {

const char* FailureReason(SendFailure failure) {
    switch (failure) {
        case SendFailure::NotConnected: return "there is no connection to the server";
        case SendFailure::ConnectionLost: return "the connection to the server was lost";
        case SendFailure::AnswerUnreadable: return "the server's answer could not be read";
    }
    return "the connection to the server was lost";
}

const char* FailureStatus(SendFailure failure) {
    switch (failure) {
        case SendFailure::NotConnected: return "no connection";
        case SendFailure::ConnectionLost: return "connection lost";
        case SendFailure::AnswerUnreadable: return "answer unreadable";
    }
    return "connection lost";
}

const char* NotSentStatus(SendFailure failure) {
    switch (failure) {
        case SendFailure::NotConnected: return "not sent: no connection";
        case SendFailure::ConnectionLost: return "not sent: connection lost";
        case SendFailure::AnswerUnreadable: return "not sent: answer unreadable";
    }
    return "not sent: no connection";
}

std::string BitsReset(const std::vector<int>& bits) {
    std::string text = bits.size() == 1 ? "Reset bit " : "Reset bits ";
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (i > 0) text += ", ";
        text += std::to_string(bits[i]);
    }
    return text + ".";
}

std::string BitMayStillBeOn(int bit, const std::string& reason) {
    return "Bit " + std::to_string(bit) + " may still be on: " + reason + ".";
}

std::string FailedSend(SendFailure failure, long long trial, int row, const std::string& command) {
    return std::string("Run stopped: ") + FailureReason(failure) + " (trial " + std::to_string(trial) +
           ", row " + std::to_string(row) + ", \"" + command + "\").";
}

std::string JournalNotWritable(const std::string& path, const std::string& reason) {
    return "The run journal cannot be written: " + path + " (" + reason + ")";
}

}  // namespace sequora::run_messages
