#include "app/gui/WindowControl.h"

namespace sequora::gui {

namespace {

const char kWindowClosing[] = "The window is closing.";

}  // namespace

WindowControl::WindowControl(WindowThreadInvoker& invoker, Actions actions)
    : mInvoker(invoker),
      mActions(std::move(actions)),
      mModel(ControlActions{
          [this](const StartRequest& request) {
              return OnWindowThread([&] { return mActions.start(request); });
          },
          [this] { return OnWindowThread(mActions.pauseContinue); },
          [this] { return OnWindowThread(mActions.stop); },
          [this](const std::string& path) { return OnWindowThread([&] { return mActions.open(path); }); }}) {}

WindowControl::~WindowControl() {
    Close();
}

bool WindowControl::Serve(int port, std::string& reason) {
    ControlServerOptions options;
    options.port = port;
    return mServer.Start(options, reason);
}

void WindowControl::Close() {
    mServer.Stop();
}

std::string WindowControl::OnWindowThread(const std::function<std::string()>& act) {
    std::string refusal = kWindowClosing;
    mInvoker.Call([&](const WindowThreadInvoker::Finish& finish) {
        refusal = act();
        finish();
    });
    return refusal;
}

}  // namespace sequora::gui
