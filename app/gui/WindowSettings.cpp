#include "app/gui/WindowSettings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace sequora::gui {

namespace {

const char kOrganisation[] = "Sequora";
const char kApplication[] = "Sequora";
const char kJournalsFolderName[] = "journals";

const char kServerNameKey[] = "connection/serverName";
const char kLastFolderKey[] = "files/lastFolder";
const char kTrialCountKey[] = "run/trialCount";
const char kControlPortKey[] = "control/port";
constexpr int kHighestPort = 65535;
const char kRunContinuouslyKey[] = "run/runContinuously";
const char kGeometryKey[] = "window/geometry";
const char kJournalFolderKey[] = "journal/folder";
const char kWriteJournalsKey[] = "journal/enabled";

}  // namespace

WindowSettings::WindowSettings(const QString& path)
    : mSettings(path.isEmpty() ? std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                             kOrganisation, kApplication)
                               : std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

WindowSettings::~WindowSettings() = default;

RememberedState WindowSettings::Load() const {
    RememberedState state;
    state.serverName = mSettings->value(kServerNameKey).toString();
    state.lastFolder = mSettings->value(kLastFolderKey).toString();
    bool numeric = false;
    const int trials = mSettings->value(kTrialCountKey, state.trialCount).toInt(&numeric);
    if (numeric) state.trialCount = trials;
    const int port = mSettings->value(kControlPortKey, -1).toInt(&numeric);
    if (numeric && port >= 0 && port <= kHighestPort) state.controlPort = port;
    state.runContinuously = mSettings->value(kRunContinuouslyKey, false).toBool();
    state.geometry = mSettings->value(kGeometryKey).toByteArray();
    state.journalFolder = mSettings->value(kJournalFolderKey, DefaultJournalFolder()).toString();
    state.writeJournals = mSettings->value(kWriteJournalsKey, true).toBool();
    return state;
}

void WindowSettings::Save(const RememberedState& state) {
    mSettings->setValue(kServerNameKey, state.serverName);
    mSettings->setValue(kLastFolderKey, state.lastFolder);
    mSettings->setValue(kTrialCountKey, state.trialCount);
    mSettings->setValue(kRunContinuouslyKey, state.runContinuously);
    mSettings->setValue(kGeometryKey, state.geometry);
    mSettings->setValue(kJournalFolderKey, state.journalFolder);
    mSettings->setValue(kWriteJournalsKey, state.writeJournals);
    mSettings->sync();
}

void WindowSettings::SaveLastFolder(const QString& folder) {
    mSettings->setValue(kLastFolderKey, folder);
    mSettings->sync();
}

QString WindowSettings::DefaultJournalFolder() {
    // The generic data folder, not the application's: it does not depend on the
    // application object's name (tests run under their own).
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return QDir(data).filePath(QString::fromLatin1(kApplication) + QLatin1Char('/') +
                               QString::fromLatin1(kJournalsFolderName));
}

}  // namespace sequora::gui
