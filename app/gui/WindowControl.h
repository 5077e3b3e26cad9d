#pragma once

#include <functional>
#include <string>

#include "app/core/ControlServer.h"
#include "app/core/RunControl.h"
#include "app/gui/WindowThreadInvoker.h"

namespace sequora::gui {

/// The window's side of the control API. The model is always kept up to date by the window;
/// the server runs only when asked (--control PORT or the control/port setting). Every
/// request that changes something is carried over to the window thread and takes the same
/// path as the window's own buttons.
///
/// Threads: the server's threads call the actions, which wait on the window thread through
/// the invoker; the window thread feeds the model and must Close this before it stops
/// answering the invoker's work (shutting the invoker down first releases waiting requests).
class WindowControl {
public:
    /// What the window does, on its own thread; each returns its refusal, empty when done.
    struct Actions {
        std::function<std::string(const StartRequest&)> start;
        std::function<std::string()> pauseContinue;
        std::function<std::string()> stop;
        std::function<std::string(const std::string& path)> open;
    };

    /// `invoker` must outlive this.
    WindowControl(WindowThreadInvoker& invoker, Actions actions);
    ~WindowControl();
    WindowControl(const WindowControl&) = delete;
    WindowControl& operator=(const WindowControl&) = delete;

    /// The model the window feeds (status, events).
    RunControl& Model() { return mModel; }
    /// Serves the API on 127.0.0.1:`port` (0: any free port); false with the reason.
    bool Serve(int port, std::string& reason);
    /// The port served on, 0 when not serving.
    int Port() const { return mServer.Port(); }
    /// Ends the event streams and stops the server.
    void Close();

private:
    std::string OnWindowThread(const std::function<std::string()>& act);

    WindowThreadInvoker& mInvoker;
    const Actions mActions;  // called on the window thread only
    RunControl mModel;
    ControlServer mServer{mModel};
};

}  // namespace sequora::gui
