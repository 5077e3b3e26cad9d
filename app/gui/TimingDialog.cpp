#include "app/gui/TimingDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <ostream>

namespace sequora::gui {

namespace {

const char kDialogTitle[] = "Run timing";
const char kLatenessTitle[] = "Command lateness (sent \u2212 due)";
const char kAnswerTitle[] = "Answer time (answered \u2212 sent)";
const char kOvershootTitle[] = "Delay overshoot (end \u2212 due end)";
const char kSeparator[] = " \u00b7 ";
const char kNoSamples[] = "none";
const char* const kAxisLabels[] = {"1 \u00b5s", "10 \u00b5s", "100 \u00b5s", "1 ms",
                                   "10 ms",     "100 ms",     "1 s"};
constexpr int kBinsPerDecade = 10;
constexpr double kTailPercent = 99;
// The chart's margins around the plot, in pixels; the top holds the marks' texts.
constexpr int kLeftMargin = 44;
constexpr int kRightMargin = 16;
constexpr int kBottomMargin = 22;
constexpr int kMarkRows = 3;
constexpr int kDialogWidthInChars = 110;

QString Text(const std::string& text) {
    return QString::fromUtf8(text.c_str());
}

QString Ms(long long micros) {
    return Text(MillisecondsText(micros)) + QStringLiteral(" ms");
}

QString FiguresText(const TimingSamples& samples, const char* unit) {
    if (samples.Count() == 0) return QString::fromUtf8(kNoSamples);
    const QString separator = QString::fromUtf8(kSeparator);
    return QStringLiteral("median ") + Ms(samples.Median()) + separator + QStringLiteral("p99 ") +
           Ms(samples.Percentile(kTailPercent)) + separator + QStringLiteral("max ") + Ms(samples.Max()) +
           separator + QString::number(samples.Count()) + QStringLiteral(" ") + QString::fromUtf8(unit);
}

QString CaptionText(const JournalHead& head) {
    const QString separator = QString::fromUtf8(kSeparator);
    return QStringLiteral("seed ") + Text(head.seed) + separator + QStringLiteral("server ") +
           Text(head.server) + separator + QStringLiteral("file ") + Text(head.file) + separator +
           QStringLiteral("started ") + Text(head.started);
}

bool CanShowWindows() {
    const QString platform = QGuiApplication::platformName();
    return platform != QStringLiteral("offscreen") && platform != QStringLiteral("minimal");
}

}  // namespace

TimingChart::TimingChart(const TimingSamples& samples, QWidget* parent)
    : QWidget(parent), mBins(LogHistogram(samples, kBinsPerDecade)) {
    if (samples.Count() == 0) return;
    mMarks = {{samples.Median(), QStringLiteral("median ") + Ms(samples.Median()), QColor(0x1f, 0x6f, 0xb4)},
              {samples.Percentile(kTailPercent),
               QStringLiteral("p99 ") + Ms(samples.Percentile(kTailPercent)), QColor(0xd9, 0x7a, 0x00)},
              {samples.Max(), QStringLiteral("max ") + Ms(samples.Max()), QColor(0xc0, 0x23, 0x23)}};
}

QSize TimingChart::sizeHint() const {
    return {640, 11 * fontMetrics().height()};
}

QSize TimingChart::minimumSizeHint() const {
    return {320, 8 * fontMetrics().height()};
}

double TimingChart::AxisFraction(long long micros) const {
    if (micros <= 1) return 0;
    return std::min(1.0, std::log10(static_cast<double>(micros)) / kHistogramDecades);
}

void TimingChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    const int lineHeight = fontMetrics().height();
    const QRect plot(kLeftMargin, kMarkRows * lineHeight + 4, width() - kLeftMargin - kRightMargin,
                     height() - kMarkRows * lineHeight - 4 - kBottomMargin);
    if (plot.width() <= 0 || plot.height() <= 0) return;

    // Bars, scaled to the fullest bin.
    const long long fullest = std::max<long long>(1, *std::max_element(mBins.begin(), mBins.end()));
    const double binWidth = static_cast<double>(plot.width()) / static_cast<double>(mBins.size());
    for (std::size_t bin = 0; bin < mBins.size(); ++bin) {
        if (mBins[bin] == 0) continue;
        const double barHeight =
            plot.height() * static_cast<double>(mBins[bin]) / static_cast<double>(fullest);
        painter.fillRect(
            QRectF(plot.left() + bin * binWidth + 0.5, plot.bottom() - barHeight, binWidth - 1.0, barHeight),
            QColor(0x7d, 0x9c, 0xc0));
    }

    // Axes: the counts' scale at the left, a tick and a label per decade beneath.
    painter.setPen(palette().text().color());
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.drawText(QRect(0, plot.top() - lineHeight / 2, kLeftMargin - 6, lineHeight),
                     Qt::AlignRight | Qt::AlignVCenter, QString::number(fullest));
    painter.drawText(QRect(0, plot.bottom() - lineHeight / 2, kLeftMargin - 6, lineHeight),
                     Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("0"));
    for (int decade = 0; decade <= kHistogramDecades; ++decade) {
        const int x = plot.left() + plot.width() * decade / kHistogramDecades;
        painter.drawLine(x, plot.bottom(), x, plot.bottom() + 4);
        const QString label = QString::fromUtf8(kAxisLabels[decade]);
        const int labelWidth = fontMetrics().horizontalAdvance(label);
        const int left = std::clamp(x - labelWidth / 2, 0, width() - labelWidth);
        painter.drawText(QRect(left, plot.bottom() + 5, labelWidth, lineHeight), Qt::AlignCenter, label);
    }

    // Each mark: a line through the plot and its text in a row of its own above, on the side
    // of the line where it fits.
    for (std::size_t i = 0; i < mMarks.size(); ++i) {
        const Mark& mark = mMarks[i];
        const int x = plot.left() + static_cast<int>(std::lround(plot.width() * AxisFraction(mark.micros)));
        const int rowTop = static_cast<int>(i) * lineHeight;
        QPen pen(mark.color, 2);
        painter.setPen(pen);
        painter.drawLine(x, rowTop + lineHeight / 2, x, plot.bottom());
        const int textWidth = fontMetrics().horizontalAdvance(mark.text);
        const int left = x + 4 + textWidth <= width() ? x + 4 : x - 4 - textWidth;
        painter.drawText(QRect(left, rowTop, textWidth, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         mark.text);
    }
}

TimingDialog::TimingDialog(const SavedJournal& journal, const QString& journalPath, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(kDialogTitle));
    auto* layout = new QVBoxLayout(this);
    mCaption = new QLabel(CaptionText(journal.head), this);
    mCaption->setWordWrap(true);
    mCaption->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(mCaption);
    if (!journal.whole) {
        auto* warning =
            new QLabel(QStringLiteral("The journal ") + journalPath + QStringLiteral(" is cut short: ") +
                           Text(journal.problem) + QStringLiteral("."),
                       this);
        warning->setWordWrap(true);
        layout->addWidget(warning);
    }
    mLateness = AddMeasure(QString::fromUtf8(kLatenessTitle), journal.timing.lateness, "commands", true);
    mOvershoot = AddMeasure(QString::fromUtf8(kOvershootTitle), journal.timing.overshoot, "delays", true);
    mAnswer = AddMeasure(QString::fromUtf8(kAnswerTitle), journal.timing.answer, "answers", false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for the axis to read, whatever the caption's length.
    resize(std::max(sizeHint().width(), kDialogWidthInChars * fontMetrics().averageCharWidth()),
           sizeHint().height());
}

QLabel* TimingDialog::AddMeasure(const QString& title, const TimingSamples& samples, const char* unit,
                                 bool chart) {
    if (layout()->count() > 1) static_cast<QVBoxLayout*>(layout())->addSpacing(fontMetrics().height() / 2);
    auto* heading = new QLabel(title, this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    layout()->addWidget(heading);
    if (chart) layout()->addWidget(new TimingChart(samples, this));
    auto* figures = new QLabel(FiguresText(samples, unit), this);
    figures->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout()->addWidget(figures);
    return figures;
}

QString TimingDialog::Caption() const {
    return mCaption->text();
}

QString TimingDialog::Figures(const QString& measure) const {
    if (measure == QStringLiteral("lateness")) return mLateness->text();
    if (measure == QStringLiteral("answer")) return mAnswer->text();
    if (measure == QStringLiteral("overshoot")) return mOvershoot->text();
    return {};
}

std::string NoDisplayLine(const std::string& journalPath) {
    return "sequora: no display to show the timing of " + journalPath + " on; give --screenshot FILE.png";
}

int ShowJournalTiming(const std::string& journalPath, const std::string& screenshotPath, std::ostream& err) {
    const SavedJournal journal = ReadSavedJournal(journalPath);
    if (!journal.readable) {
        err << "sequora: cannot read " << journalPath << ": " << journal.problem << std::endl;
        return 2;
    }
    const QString path = QString::fromLocal8Bit(journalPath.c_str());
    TimingDialog dialog(journal, path);
    if (screenshotPath.empty()) {
        if (!CanShowWindows()) {
            err << NoDisplayLine(journalPath) << std::endl;
            return 2;
        }
        dialog.exec();
        return 0;
    }
    if (!journal.whole)
        err << "sequora: the journal " << journalPath << " is cut short: " << journal.problem << std::endl;
    dialog.show();
    QApplication::processEvents();
    if (!dialog.grab().save(QString::fromLocal8Bit(screenshotPath.c_str()), "PNG")) {
        err << "sequora: cannot write " << screenshotPath << std::endl;
        return 1;
    }
    return 0;
}

}  // namespace sequora::gui
