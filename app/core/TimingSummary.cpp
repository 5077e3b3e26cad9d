#include "app/core/TimingSummary.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>

#include "app/core/JournalWords.h"

namespace sequora {

using namespace journal_words;

namespace {

const char* const kCommandActions[] = {kEvent, kBit, kCommand};
const char kNoFigure[] = "-";
constexpr std::size_t kRecordFields = 8;
constexpr double kMedianPercent = 50;
constexpr double kTailPercent = 99;

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

std::optional<long long> WholeNumber(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// "12.345" (three decimals, as the journal writes times) as 12345 µs.
std::optional<long long> Micros(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    const std::size_t point = text.find('.');
    if (point == std::string_view::npos || text.size() - point != 4) return std::nullopt;
    const auto whole = WholeNumber(text.substr(0, point));
    const auto fraction = WholeNumber(text.substr(point + 1));
    if (!whole || !fraction) return std::nullopt;
    const long long micros = *whole * 1000 + *fraction;
    return negative ? -micros : micros;
}

// An empty field stands for "none" (a command never sent, a delay's answer); anything else
// must be a time.
bool OptionalMicros(std::string_view text, std::optional<long long>& micros) {
    if (text.empty()) return true;
    micros = Micros(text);
    return micros.has_value();
}

bool IsCommandAction(std::string_view action) {
    for (const char* word : kCommandActions) {
        if (action == word) return true;
    }
    return false;
}

// The text between `key` and the next field's key (or the end), in a "# started" line.
std::string HeadField(std::string_view line, std::string_view key, std::string_view nextKey, bool lastOfKey) {
    const std::size_t at = lastOfKey ? line.rfind(key) : line.find(key);
    if (at == std::string_view::npos) return {};
    const std::size_t from = at + key.size();
    const std::size_t to = nextKey.empty() ? std::string_view::npos : line.rfind(nextKey);
    if (to != std::string_view::npos && to < from) return {};
    return std::string(line.substr(from, to == std::string_view::npos ? to : to - from));
}

std::string MeasureText(const char* name, const TimingSamples& samples) {
    std::string text = std::string(name) + " median ";
    if (samples.Count() == 0) return text + kNoFigure + " p99 " + kNoFigure + " max " + kNoFigure;
    return text + MillisecondsText(samples.Median()) + " p99 " +
           MillisecondsText(samples.Percentile(kTailPercent)) + " max " + MillisecondsText(samples.Max());
}

}  // namespace

void TimingSamples::Add(long long micros) {
    ++mCounts[micros];
    ++mCount;
}

long long TimingSamples::Percentile(double percent) const {
    if (mCount == 0) return 0;
    const auto rank = static_cast<long long>(std::ceil(percent / 100.0 * static_cast<double>(mCount)));
    long long seen = 0;
    for (const auto& [value, count] : mCounts) {
        seen += count;
        if (seen >= rank) return value;
    }
    return mCounts.rbegin()->first;
}

long long TimingSamples::Max() const {
    return mCounts.empty() ? 0 : mCounts.rbegin()->first;
}

std::vector<long long> LogHistogram(const TimingSamples& samples, int binsPerDecade) {
    const int binCount = binsPerDecade * kHistogramDecades;
    std::vector<long long> bins(static_cast<std::size_t>(binCount), 0);
    for (const auto& [micros, count] : samples.Counts()) {
        int bin = 0;
        if (micros > 1) {
            bin = static_cast<int>(std::floor(std::log10(static_cast<double>(micros)) * binsPerDecade));
            bin = std::min(bin, binCount - 1);
        }
        bins[static_cast<std::size_t>(bin)] += count;
    }
    return bins;
}

std::string MillisecondsText(long long micros) {
    const bool negative = micros < 0;
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(micros) : static_cast<unsigned long long>(micros);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / 1000);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, "%03llu", magnitude % 1000);
    std::string decimals(fraction);
    while (!decimals.empty() && decimals.back() == '0') decimals.pop_back();
    if (!decimals.empty()) text += "." + decimals;
    return text;
}

std::string TimingLine(const RunTiming& timing) {
    return "# timing  " + MeasureText("lateness_ms", timing.lateness) + "  " +
           MeasureText("answer_ms", timing.answer) + "  " + MeasureText("overshoot_ms", timing.overshoot);
}

bool JournalTally::Take(std::string_view line) {
    if (line.starts_with('#')) {
        TakeComment(line);
        return true;
    }
    if (line == kColumnsLine) return true;
    return TakeRecord(line);
}

void JournalTally::TakeComment(std::string_view line) {
    if (line.rfind(kEndedPrefix, 0) == 0) {
        mEnded = std::string(line);
    } else if (line.rfind(kStartedPrefix, 0) == 0) {
        const std::string_view rest = line.substr(std::strlen(kStartedPrefix));
        const std::size_t server = rest.find("  server ");
        mHead.started = std::string(rest.substr(0, server));
        mHead.server = HeadField(rest, "  server ", "  file ", false);
        mHead.file = HeadField(rest, "  file ", "  seed ", false);
        mHead.seed = HeadField(rest, "  seed ", "  trials ", true);
        mHead.trials = HeadField(rest, "  trials ", "", true);
    }
}

bool JournalTally::TakeRecord(std::string_view line) {
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.size() != kRecordFields || !WholeNumber(fields[0]) || !WholeNumber(fields[1])) return false;
    const std::string_view action = fields[2];
    const bool delay = action == kDelay;
    if (!delay && !IsCommandAction(action)) return false;
    std::optional<long long> due, sent, answered;
    if (!OptionalMicros(fields[4], due) || !OptionalMicros(fields[5], sent) ||
        !OptionalMicros(fields[6], answered))
        return false;
    const bool ok = fields[7] == kStatusOk;
    if (delay) {
        const auto length = WholeNumber(fields[3]);
        if (!length) return false;
        // A delay cut short by Stop did not overrun: only delays waited out count.
        if (ok && due && sent) mTiming.overshoot.Add(*sent - (*due + *length * 1000));
        return true;
    }
    if (due && sent) mTiming.lateness.Add(*sent - *due);
    if (ok && sent && answered) mTiming.answer.Add(*answered - *sent);
    return true;
}

SavedJournal ReadSavedJournal(const std::string& path) {
    SavedJournal journal;
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        journal.problem = std::strerror(errno);
        return journal;
    }
    JournalTally tally;
    std::string line;
    long long number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (number == 1 && line != kTitleLine) {
            journal.problem =
                "it is no run journal (its first line is not \"" + std::string(kTitleLine) + "\")";
            return journal;
        }
        if (file.eof()) {
            journal.problem = "line " + std::to_string(number) + " is incomplete (it has no line end)";
            break;
        }
        if (!tally.Take(line)) {
            journal.problem = "line " + std::to_string(number) + " is no journal line";
            break;
        }
        journal.lineCount = number;
    }
    journal.readable = true;
    journal.head = tally.Head();
    journal.timing = tally.Timing();
    journal.ended = tally.Ended();
    if (journal.problem.empty() && journal.ended.empty()) {
        journal.problem = "it stops after line " + std::to_string(journal.lineCount) + " without its \"" +
                          std::string(kEndedPrefix, std::strlen(kEndedPrefix) - 1) + "\" line";
    }
    journal.whole = journal.problem.empty();
    return journal;
}

}  // namespace sequora
