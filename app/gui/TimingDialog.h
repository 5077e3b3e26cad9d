#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/TimingSummary.h"

class QLabel;

namespace sequora::gui {

/// One measure's histogram on a logarithmic time axis from 1 µs to 1 s, with its median,
/// p99 and max marked by lines and written beside them.
class TimingChart : public QWidget {
    Q_OBJECT
public:
    TimingChart(const TimingSamples& samples, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Mark {
        long long micros;
        QString text;  // "median 0.006 ms"
        QColor color;
    };
    double AxisFraction(long long micros) const;

    std::vector<long long> mBins;  // counts per bin, see LogHistogram
    std::vector<Mark> mMarks;      // none when there are no samples
};

/// The run timing report of one journal: a caption naming the run (seed, server, file,
/// start), histograms of command lateness and delay overshoot, and each measure's figures.
class TimingDialog : public QDialog {
    Q_OBJECT
public:
    /// `journalPath` is named when the journal is cut short; `journal` must be readable.
    TimingDialog(const SavedJournal& journal, const QString& journalPath, QWidget* parent = nullptr);

    /// The caption: "seed 42 · server rig · file /lists/a.cfg · started 2026-12-09T22:10:00.123+01:00".
    QString Caption() const;
    /// A measure's figures as written under its chart: "median 0.05 ms · p99 0.099 ms ·
    /// max 0.1 ms · 101 commands" (or "none" without samples). Measures: "lateness", "answer",
    /// "overshoot".
    QString Figures(const QString& measure) const;

private:
    QLabel* AddMeasure(const QString& title, const TimingSamples& samples, const char* unit, bool chart);

    QLabel* mCaption = nullptr;
    QLabel* mLateness = nullptr;
    QLabel* mAnswer = nullptr;
    QLabel* mOvershoot = nullptr;
};

/// Reads the journal and shows its timing dialog until it is closed, or with `screenshotPath`
/// renders it there without showing it. Returns the exit status: 0 shown or written, 2 when
/// the journal cannot be read or there is nothing to show it on, 1 when the picture cannot be
/// written. Messages go to `err` as one line each.
/// The line said when the timing is to be shown and there is no screen to show it on.
std::string NoDisplayLine(const std::string& journalPath);

int ShowJournalTiming(const std::string& journalPath, const std::string& screenshotPath, std::ostream& err);

}  // namespace sequora::gui
