#include "app/core/ComluxCommandSender.h"

#include "comlux/ComluxClient.h"

namespace sequora {

bool ComluxCommandSender::SendCommand(const std::string& command, std::string& answer) {
    return mClient.SendCommand(command, answer);
}

}  // namespace sequora
