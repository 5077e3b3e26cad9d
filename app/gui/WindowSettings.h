#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class QSettings;

namespace sequora::gui {

/// What the window remembers between starts.
struct RememberedState {
    QString serverName;              ///< the server field; empty for the computer's name
    QString lastFolder;              ///< folder of the last .cfg file opened or saved
    int trialCount = 1;              ///< the trial-count field
    bool runContinuously = false;    ///< the Run Continuously check box
    QByteArray geometry;             ///< the window's size and place (QWidget::saveGeometry)
    QString journalFolder;           ///< where run journals go
    bool writeJournals = true;       ///< whether every run writes a journal
    std::optional<int> controlPort;  ///< control/port: serve the control API there (read only)
};

/// The window's settings, kept with QSettings in an INI file: by default the user's
/// (~/.config/Sequora/Sequora.ini), or a given file (tests use a temporary one).
class WindowSettings {
public:
    /// Uses `path`, or the user's settings file when it is empty.
    explicit WindowSettings(const QString& path = {});
    ~WindowSettings();
    WindowSettings(const WindowSettings&) = delete;
    WindowSettings& operator=(const WindowSettings&) = delete;

    /// The remembered state, with defaults for whatever was never saved.
    RememberedState Load() const;
    /// Saves the whole state.
    void Save(const RememberedState& state);
    /// Saves the last folder alone (as soon as a file dialog names one).
    void SaveLastFolder(const QString& folder);

    /// The default journal folder: "journals" in the user's data folder
    /// (~/.local/share/Sequora/journals unless XDG_DATA_HOME says otherwise).
    static QString DefaultJournalFolder();

private:
    std::unique_ptr<QSettings> mSettings;
};

}  // namespace sequora::gui
