#include "app/core/RowPlan.h"

#include <climits>
#include <cstdint>

#include "cmdfile/TextTools.h"

namespace sequora {

namespace row_rules {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int ParseDecimal(const std::string& text, std::size_t pos) {
    while (pos < text.size() && cmdfile::text::IsBlank(text[pos])) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it cannot fit any more.
    std::int64_t magnitude = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        if (magnitude <= std::int64_t{INT_MAX} + 1) magnitude = magnitude * 10 + (text[pos] - '0');
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// The TTL mask of a bit number: 2^b cut to a signed 32-bit value (0 for negative b,
// -2147483648 for b of 31 and above).
int BitMask(int bitNumber) {
    if (bitNumber < 0) return 0;
    // 2^31 and beyond do not fit a signed 32-bit value; the cut yields the lowest value.
    if (bitNumber > 30) return INT_MIN;
    return 1 << bitNumber;
}

// The fixed delay of a cell; a negative value waits 0.
int FixedDelay(const std::string& delayCell) {
    const int delay = DecimalValue(delayCell);
    return delay < 0 ? 0 : delay;
}

}  // namespace

int DecimalValue(const std::string& text) {
    return ParseDecimal(text, 0);
}

std::string PostEventCommand(const std::string& eventText) {
    return " -PostEvent \"" + eventText + "\" 0 0";
}

std::string BitCommand(bool setBit, int mask) {
    return std::string(setBit ? "-SetDIOPortBits" : "-ResetDIOPortBits") + " AcqSystem1 0 " +
           std::to_string(mask);
}

std::vector<std::string> CommandPieces(const std::string& command) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t bar = command.find('|', start);
        if (bar == std::string::npos) {
            pieces.push_back(command.substr(start));
            return pieces;
        }
        pieces.push_back(command.substr(start, bar - start));
        start = bar + 1;
    }
}

std::optional<DelayRange> RandomDelayRange(const std::string& delayCell) {
    if (!IsRandomDelay(delayCell)) return std::nullopt;
    const std::size_t blank = delayCell.find(' ');
    const std::string bounds = blank == std::string::npos ? delayCell : delayCell.substr(blank + 1);
    // The minimum is read from before the first "-", so a negative minimum reads as 0
    // and its digits become the maximum.
    const std::size_t dash = bounds.find('-');
    DelayRange range;
    range.minimum = DecimalValue(bounds.substr(0, dash));
    range.maximum = dash == std::string::npos ? 0 : ParseDecimal(bounds, dash + 1);
    return range;
}

long long RandomDelay(const DelayRange& range, int draw) {
    const long long span = static_cast<long long>(range.maximum) - range.minimum;
    long long delay = range.minimum;
    if (span != 0) delay += (11LL * draw) % span;
    return delay < 0 ? 0 : delay;
}

}  // namespace row_rules

using namespace row_rules;

std::string RandomDelayText(int delayMin, int delayMax) {
    return std::string(cell_words::kRandomMarker) + " " + std::to_string(delayMin) + "-" +
           std::to_string(delayMax);
}

bool IsRandomDelay(const std::string& delayCell) {
    return delayCell.find(cell_words::kRandomMarker) != std::string::npos;
}

RowPlan PlanRow(const ItemRow& row) {
    RowPlan plan;
    if (SendsEvent(row)) plan.eventText = row[kColEventString];
    if (SetsBit(row)) {
        BitPlan bit;
        bit.bit = DecimalValue(row[kColBitNumber]);
        bit.on = BitStateOn(row);
        bit.mask = BitMask(bit.bit);
        plan.bit = bit;
    }
    if (SendsCommand(row)) plan.commandPieces = CommandPieces(row[kColCommand]);
    plan.delay.range = RandomDelayRange(row[kColDelay]);
    if (!plan.delay.range) plan.delay.fixedMs = FixedDelay(row[kColDelay]);
    return plan;
}

const std::string& CommandToSend(const RowPlan& plan, RandomDraw& random) {
    const std::vector<std::string>& pieces = plan.commandPieces;
    if (pieces.size() == 1) return pieces.front();
    return pieces[static_cast<std::size_t>(random.Next()) % pieces.size()];
}

long long DelayMs(const DelayPlan& delay, RandomDraw& random) {
    return delay.range ? RandomDelay(*delay.range, random.Next()) : delay.fixedMs;
}

ListPlan::ListPlan(const ItemList& items, const std::atomic<bool>& stopped) : mItems(items) {
    // The revision is taken first: a change made while the rows are read leaves them stale.
    const std::uint64_t revision = mItems.Revision();
    mRows.resize(static_cast<std::size_t>(mItems.RowCount()));
    for (std::size_t row = 0; row < mRows.size() && !stopped; ++row) {
        mRows[row].plan = PlanRow(mItems.Row(static_cast<int>(row)));
        mRows[row].revision = revision;
    }
}

const RowPlan* ListPlan::Current(int row) {
    if (row < 0 || row >= RowCount()) return nullptr;
    PlannedRow& planned = mRows[static_cast<std::size_t>(row)];
    const std::uint64_t revision = mItems.Revision();
    if (planned.revision == revision) return &planned.plan;
    // The list changed since the row was read: the row as it stands now, if it still exists.
    if (row >= mItems.RowCount()) return nullptr;
    planned.plan = PlanRow(mItems.Row(row));
    planned.revision = revision;
    return &planned.plan;
}

}  // namespace sequora
