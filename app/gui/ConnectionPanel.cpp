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

void ConnectionPanel::Connect() {
    std::vector<std::string> failures;
    mWatch.BeforeConnecting();
    {
        ClientCallScope scope(mInClientCall);
        mSession.Connect(mHooks.serverName(),
                         [&failures](const std::string& text) { failures.push_back(text); });
    }
    SetConnectedControls(Connected());
    if (Connected() && mWatch.Connected(mClient.GetCommandPort())) mWatchTimer.start();
    // Shown once the client is free again, so that a box of another thread can open.
    for (const std::string& failure : failures) mPrompter.ShowMessage(FromLocal(failure));
    // The requests after the connect found the connection gone: nothing is connected.
    if (Connected() && !mClient.IsConnected()) LoseConnection(status_texts::kConnectRequestsFailed);
}

void ConnectionPanel::Disconnect() {
    mWatchTimer.stop();
    mWatch.Forget();
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
    // A run notices a closed connection at its next command; an idle window by looking.
    if (!Connected() || mHooks.runUnderWay() || mInClientCall) return;
    if (mWatch.PeerClosed()) LoseConnection(status_texts::kServerClosedConnection);
}

void ConnectionPanel::RunLostConnection(const std::string& reason) {
    if (Connected() && !mClient.IsConnected()) LoseConnection(reason);
}

void ConnectionPanel::SetConnectedControls(bool connected) {
    mControls.SetReadOnly(kIdServerName, connected);
    mControls.As<QPushButton>(kIdConnect)
        ->setText(QString::fromLatin1(connected ? kDisconnectCaption : kConnectCaption));
    mHooks.connectionChanged(connected);
    mStatus->SetFullText(
        FromLocal(connected ? status_texts::ConnectedTo(mHooks.serverName(), mClient.GetCommandPort())
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
        [this, message](WindowThreadInvoker::Finish finish) {
            mPrompter.ShowMessage(message);
            finish();
        },
        [this] { return mInClientCall.load(); });
    if (!shown) std::cerr << text << std::endl;
}

}  // namespace sequora::gui
