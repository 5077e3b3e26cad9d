#include "app/core/ComluxCommandSender.h"

#include "comlux/ComluxClient.h"

namespace sequora {

bool ComluxCommandSender::SendCommand(const std::string& command, std::string& answer) {
    // Asked before sending: a failed exchange may itself close the connection, and only this
    // tells "never connected" from "lost on the way".
    const bool wasConnected = mClient.IsConnected();
    if (mClient.SendCommand(command, answer)) return true;
    if (!wasConnected) {
        mLastFailure = SendFailure::NotConnected;
    } else {
        mLastFailure = mClient.IsConnected() ? SendFailure::AnswerUnreadable : SendFailure::ConnectionLost;
    }
    return false;
}

bool ComluxCommandSender::Connected() {
    return mClient.IsConnected();
}

}  // namespace sequora
