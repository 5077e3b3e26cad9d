#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/ServerSession.h"
#include "comlux/ComluxClient.h"

class QStatusBar;

namespace sequora::gui {

class DialogControls;
class ElidingLabel;
class Prompter;
class WindowThreadInvoker;

/// The connection panel: the server field's lock, the Connect/Cancel/Disconnect button, the
/// connection text of the status bar, the watch on an idle connection and the server's
/// objects and types fetched on connecting. Everything the window does with the
/// connection goes through here; the rest of the window hears of it only through Hooks.
/// The window thread never waits for the network here: connecting, disconnecting and
/// the checks go through the session's worker, and their ends come back as queued calls.
///
/// Owns the client (and so its log file and its reading thread), the session on it (and
/// so its worker), the idle watch's timer, the status text, and the thread that waits for
/// a run's end before a Disconnect that stopped it. Borrows the controls, the prompter and
/// the invoker, which the client's reading thread uses until the client is gone, so they
/// must outlive this; so must whatever the hooks call. The run's command sender borrows
/// the client: the window destroys the run panel before this, and calls
/// DropPendingDisconnect (joining the waiting thread) before destroying either. The
/// session goes before the client: its destruction cuts an attempt short and joins its
/// worker, whose completions are then dropped.
///
/// Threads: the window thread, except the client's reading thread (the session's worker
/// while connecting, or a run's worker), which shows its messages through
/// ShowClientMessage, and the waiting thread, which only waits for the run
/// (Hooks::waitForRun) and posts the end of the Disconnect back to the window thread.
class ConnectionPanel : public QObject {
    Q_OBJECT
public:
    /// What the panel asks of the rest of the window, each on the window thread unless
    /// said otherwise; all of them must outlive the panel.
    struct Hooks {
        std::function<void()> readForm;           ///< reads the form before the button acts
        std::function<void()> showForm;           ///< shows the form again after it
        std::function<std::string()> serverName;  ///< the server field's value as last read
        std::function<bool()> runUnderWay;        ///< a run plays or is paused
        std::function<void()> stopRun;            ///< asks the run to stop
        std::function<void()> waitForRun;         ///< waits for the run's workers (waiting thread)
        /// The connection was made or closed (also when lost); the controls already show it.
        std::function<void(bool connected)> connectionChanged;
        /// A Disconnect began or stopped waiting for the run's end.
        std::function<void()> pendingChanged;
        /// A connection attempt to the server began.
        std::function<void(const std::string& server)> connecting;
        /// A connection attempt ended, made, failed or cancelled; the controls show it.
        std::function<void()> connectEnded;
    };

    ConnectionPanel(const DialogControls& controls, Prompter& prompter, WindowThreadInvoker& invoker,
                    Hooks hooks);
    /// Joins the waiting thread if DropPendingDisconnect has not.
    ~ConnectionPanel() override;

    /// Puts the connection text into the status bar.
    void AddStatusText(QStatusBar* statusBar);
    /// Opens the client log; a log that cannot be opened is not reported.
    void OpenLogFile(const std::string& path);

    /// The Connect/Cancel/Disconnect button: starts connecting, abandons the attempt under
    /// way, disconnects, or asks whether to stop the run and then disconnect.
    void ConnectOrDisconnect();
    /// Abandons the attempt under way (Escape); false when there was none.
    bool CancelConnect();
    /// Closes the connection without waiting for it.
    void Disconnect();
    /// Abandons an attempt and closes the connection before returning (the window closes).
    void DisconnectNow();
    /// A run ended because a send failed: the connection is marked lost with `reason` when
    /// the client finds it gone.
    void RunLostConnection(const std::string& reason);
    /// Shows the controls of the connection state (at start, not connected).
    void ShowState();

    /// Between a Disconnect that stopped a run and the run's end.
    bool DisconnectPending() const { return mDisconnectPending; }
    /// Forgets a pending Disconnect (the window is closing) after the run's end.
    void DropPendingDisconnect();

    /// The connection to the server.
    comlux::ComluxClient& Client() { return mClient; }
    /// Between a successful Connect and the next Disconnect.
    bool Connected() const { return mSession.Connected(); }
    /// While a connection attempt is under way.
    bool Connecting() const { return mSession.Connecting(); }
    /// While an attempt, a disconnect or a check is under way on the session's worker.
    bool Busy() const { return Connecting() || mStepsUnderWay > 0; }
    const std::vector<std::string>& ObjectNames() const { return mSession.ObjectNames(); }
    const std::vector<std::string>& ObjectTypes() const { return mSession.ObjectTypes(); }
    /// The status bar's connection text, whole.
    QString StatusText() const;

private:
    void Connect();
    void ConnectEnded(const ServerSession::ConnectOutcome& outcome);
    void StopRunThenDisconnect();
    void FinishDisconnectAfterRun();
    void CheckIdleConnection();
    void CheckConnection(const std::function<void()>& lost);
    void SetConnectedControls(bool connected);
    void LoseConnection(const std::string& reason);
    void ShowClientMessage(const std::string& text);

    const DialogControls& mControls;
    Prompter& mPrompter;
    WindowThreadInvoker& mInvoker;
    const Hooks mHooks;
    ElidingLabel* mStatus = nullptr;  // the status bar's child

    // Written by the window thread around its own client calls; read by a reading thread
    // that wants to show a box and must not wait for a window that waits for the client.
    std::atomic<bool> mInClientCall{false};
    // After what its reading thread calls (mInClientCall, the borrowed prompter and invoker).
    comlux::ComluxClient mClient;
    // Its completions are queued to this panel's (the window's) thread.
    ServerSession mSession{mClient, [this](std::function<void()> task) {
                               QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
                           }};
    // Checks an idle connection for a server that closed it (window thread).
    QTimer mWatchTimer;
    // The server port of the last connection made (window thread).
    int mCommandPort = 0;
    // Disconnects and checks handed to the session and not yet ended (window thread).
    int mStepsUnderWay = 0;
    // Counts the connections made and closed, so that a check's late answer about an earlier
    // connection is ignored (window thread).
    unsigned mConnectionNumber = 0;
    // Set from a Disconnect that stopped a run until its resets are done and the connection
    // closed (window thread); the thread that waits for the run's workers meanwhile.
    bool mDisconnectPending = false;
    std::thread mRunEndWaiter;
};

}  // namespace sequora::gui
