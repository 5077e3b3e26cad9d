#include "app/gui/ConnectionPanel.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <chrono>
#include <iostream>
#include <utility>

#include "app/gui/DialogControls.h"
#include "app/gui/DialogTemplate.h"
#include "app/gui/ElidingLabel.h"
#include "app/gui/LocalText.h"
#include "app/gui/Prompter.h"
#include "app/gui/StatusTexts.h"
#include "app/gui/WindowThreadInvoker.h"

namespace sequora::gui {

namespace {

const char kStopRunToDisconnectQuestion[] = "Stop the run and disconnect?";
// How often an idle connection is checked for a server that closed it.
constexpr std::chrono::milliseconds kConnectionCheckInterval{250};

const char kConnectCaption[] = "Connect";
const char kDisconnectCaption[] = "Disconnect";

// Marks the window thread as busy with the client for as long as it lives.
class ClientCallScope {
public:
    explicit ClientCallScope(std::atomic<bool>& flag) : mFlag(flag) { mFlag = true; }
    ~ClientCallScope() { mFlag = false; }
    ClientCallScope(const ClientCallScope&) = delete;
    ClientCallScope& operator=(const ClientCallScope&) = delete;

private:
    std::atomic<bool>& mFlag;
};

}  // namespace

ConnectionPanel::ConnectionPanel(const DialogControls& controls, Prompter& prompter,
                                 WindowThreadInvoker& invoker, Hooks hooks)
    : mControls(controls), mPrompter(prompter), mInvoker(invoker), mHooks(std::move(hooks)) {
    mClient.SetMessageHandler([this](const std::string& text) { ShowClientMessage(text); });
    mWatchTimer.setInterval(kConnectionCheckInterval);
    connect(&mWatchTimer, &QTimer::timeout, this, &ConnectionPanel::CheckIdleConnection);
    connect(mControls.As<QPushButton>(kIdConnect), &QPushButton::clicked, this,
            &ConnectionPanel::ConnectOrDisconnect);
}

ConnectionPanel::~ConnectionPanel() {
    DropPendingDisconnect();
}

void ConnectionPanel::AddStatusText(QStatusBar* statusBar) {
    mStatus = new ElidingLabel(Qt::ElideRight, statusBar);
    statusBar->addWidget(mStatus);
}

void ConnectionPanel::OpenLogFile(const std::string& path) {
    mClient.OpenLogFile(path);
}

QString ConnectionPanel::StatusText() const {
    return mStatus->FullText();
}

void ConnectionPanel::ShowState() {
    SetConnectedControls(Connected());
}

void ConnectionPanel::ConnectOrDisconnect() {
    if (mDisconnectPending) return;
    if (CancelConnect()) return;
    mHooks.readForm();
    if (!Connected()) {
        Connect();
    } else if (!mHooks.runUnderWay()) {
        Disconnect();
    } else if (mPrompter.AskStopRunAndDisconnect(QString::fromLatin1(kStopRunToDisconnectQuestion))) {
        StopRunThenDisconnect();
    }
    mHooks.showForm();
}

bool ConnectionPanel::CancelConnect() {
    // The attempt's completion, Cancelled, shows the window disconnected.
    return mSession.Cancel();
}

void ConnectionPanel::Connect() {
    const std::string server = mHooks.serverName();
    if (!mSession.ConnectAsync(
            server, [this](const ServerSession::ConnectOutcome& outcome) { ConnectEnded(outcome); })) {
        return;
    }
    mControls.SetReadOnly(kIdServerName, true);
    mControls.As<QPushButton>(kIdConnect)->setText(QString::fromLatin1(status_texts::kCancelConnect));
    mStatus->SetFullText(FromLocal(status_texts::ConnectingTo(server)));
    mHooks.connecting(server);
}

void ConnectionPanel::ConnectEnded(const ServerSession::ConnectOutcome& outcome) {
    ++mConnectionNumber;
    const bool connected = outcome.result == ServerSession::ConnectResult::Connected;
    mCommandPort = outcome.commandPort;
    SetConnectedControls(connected);
    if (connected) mWatchTimer.start();
    for (const std::string& message : outcome.messages) mPrompter.ShowMessage(FromLocal(message));
    // The requests after the connect found the connection gone: nothing is connected.
    if (connected && outcome.closedDuringRequests && Connected())
        LoseConnection(status_texts::kConnectRequestsFailed);
    mHooks.connectEnded();
}

void ConnectionPanel::Disconnect() {
    mWatchTimer.stop();
    ++mConnectionNumber;
    ++mStepsUnderWay;
    mSession.DisconnectAsync([this] { --mStepsUnderWay; });
    SetConnectedControls(false);
}

void ConnectionPanel::DisconnectNow() {
    mWatchTimer.stop();
    ++mConnectionNumber;
    mSession.Cancel();
    {
        ClientCallScope scope(mInClientCall);
        mSession.Disconnect();
    }
    SetConnectedControls(false);
}

void ConnectionPanel::StopRunThenDisconnect() {
    // The run turns off the bits it set while the connection is still there: the
    // connection closes once every worker has ended. Connect and Start wait meanwhile.
    mDisconnectPending = true;
    mHooks.stopRun();
    mHooks.pendingChanged();
    mRunEndWaiter = std::thread([this] {
        mHooks.waitForRun();
        QMetaObject::invokeMethod(
            this, [this] { FinishDisconnectAfterRun(); }, Qt::QueuedConnection);
    });
}

void ConnectionPanel::FinishDisconnectAfterRun() {
    if (!std::exchange(mDisconnectPending, false)) return;
    mRunEndWaiter.join();
    if (Connected()) Disconnect();
    mHooks.pendingChanged();
}

void ConnectionPanel::DropPendingDisconnect() {
    // A Disconnect waiting for the run is overtaken by the close.
    if (mRunEndWaiter.joinable()) mRunEndWaiter.join();
    mDisconnectPending = false;
}

void ConnectionPanel::CheckIdleConnection() {
    // A run notices a closed connection at its next command; an idle window by looking,
    // one check at a time.
    if (!Connected() || mHooks.runUnderWay() || mStepsUnderWay > 0) return;
    CheckConnection([this] {
        if (!mHooks.runUnderWay()) LoseConnection(status_texts::kServerClosedConnection);
    });
}

void ConnectionPanel::RunLostConnection(const std::string& reason) {
    if (Connected()) CheckConnection([this, reason] { LoseConnection(reason); });
}

void ConnectionPanel::CheckConnection(const std::function<void()>& lost) {
    ++mStepsUnderWay;
    mSession.CheckConnectionAsync([this, lost, number = mConnectionNumber](bool up) {
        --mStepsUnderWay;
        // Only about the connection the check was asked for.
        if (!up && Connected() && number == mConnectionNumber) lost();
    });
}

void ConnectionPanel::SetConnectedControls(bool connected) {
    mControls.SetReadOnly(kIdServerName, connected);
    mControls.As<QPushButton>(kIdConnect)
        ->setText(QString::fromLatin1(connected ? kDisconnectCaption : kConnectCaption));
    mHooks.connectionChanged(connected);
    mStatus->SetFullText(FromLocal(connected ? status_texts::ConnectedTo(mHooks.serverName(), mCommandPort)
                                             : status_texts::kNotConnected));
}

void ConnectionPanel::LoseConnection(const std::string& reason) {
    // As after Disconnect, but the status bar says why.
    Disconnect();
    mStatus->SetFullText(FromLocal(status_texts::ConnectionLost(reason)));
}

void ConnectionPanel::ShowClientMessage(const std::string& text) {
    if (mInvoker.OnWindowThread()) {
        mPrompter.ShowMessage(FromLocal(text));
        return;
    }
    // The reading thread holds the client while it waits for OK. The box is modal so that
    // no click reaches the client meanwhile; and if the window thread is itself waiting
    // for the client, the box could never open, so the text goes to stderr instead.
    const QString message = FromLocal(text);
    const bool shown = mInvoker.Call(
        [this, message](const WindowThreadInvoker::Finish& finish) {
            mPrompter.ShowMessage(message);
            finish();
        },
        [this] { return mInClientCall.load(); });
    if (!shown) std::cerr << text << std::endl;
}

}  // namespace sequora::gui
