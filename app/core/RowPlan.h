#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/ItemCells.h"
#include "app/core/ItemList.h"
#include "app/core/RandomDraw.h"

namespace sequora {

/// What the cell words of a row mean, in one place: which actions a row takes, the command
/// texts they become and the delay after them. A run plans each row once (PlanRow) and plays
/// the plan; the Add Item form and the .cfg writer ask the same rules.

/// True when the row posts its event string ("Send EV" is exactly "Yes").
inline bool SendsEvent(const ItemRow& row) {
    return row[kColSendEvent] == cell_words::kYes;
}
/// True when the row sets or resets a TTL bit ("Set Bit" is exactly "Yes").
inline bool SetsBit(const ItemRow& row) {
    return row[kColSetBit] == cell_words::kYes;
}
/// True when the row's bit state is "On" (anything else resets the bit).
inline bool BitStateOn(const ItemRow& row) {
    return row[kColBitState] == cell_words::kOn;
}
/// True when the row sends its server command ("Send Cmd" is exactly "Yes").
inline bool SendsCommand(const ItemRow& row) {
    return row[kColSendCommand] == cell_words::kYes;
}

/// The "Delay" text of a random delay range, "Random: <min>-<max>".
std::string RandomDelayText(int delayMin, int delayMax);
/// True when a "Delay" cell holds a random range rather than a fixed number.
bool IsRandomDelay(const std::string& delayCell);

/// The bounds of a "Random: <min>-<max>" delay.
struct DelayRange {
    int minimum = 0;
    int maximum = 0;

    bool operator==(const DelayRange&) const = default;
};

/// A row's TTL bit command (row_rules::BitCommand).
struct BitPlan {
    int bit = 0;      ///< the bit number as the row gives it
    bool on = false;  ///< set (true) or reset
    int mask = 0;     ///< what the command carries; 0 (sets nothing) for a negative bit

    bool operator==(const BitPlan&) const = default;
};

/// A row's wait after its commands: a fixed number of milliseconds, or a range drawn from at
/// every turn.
struct DelayPlan {
    std::optional<DelayRange> range;  ///< set for a random delay
    int fixedMs = 0;                  ///< the wait of a fixed delay, never negative

    bool operator==(const DelayPlan&) const = default;
};

/// What one row does when its turn comes, in order: post the event, send the bit command, send
/// the command (or one of its pieces), then wait. The texts of the first two are made as they
/// are sent, so that a plan costs about what its row does.
struct RowPlan {
    std::optional<std::string> eventText;  ///< the event posted (row_rules::PostEventCommand)
    std::optional<BitPlan> bit;
    /// The command cut at every "|": empty when the row sends none, one piece sent as it is,
    /// or several, of which each turn draws one.
    std::vector<std::string> commandPieces;
    DelayPlan delay;

    bool operator==(const RowPlan&) const = default;
};

/// The plan of a row. Every text plans: a word other than the exact "Yes" or "On" reads as
/// "No" or "Off", a number is read up to its first other character.
RowPlan PlanRow(const ItemRow& row);

/// The command a turn of the row sends: its one piece, or piece (draw mod pieces) drawing from
/// `random` only when there is a choice. The plan must send a command.
const std::string& CommandToSend(const RowPlan& plan, RandomDraw& random);

/// The wait of one turn in milliseconds: the fixed delay, or one drawn from the range.
long long DelayMs(const DelayPlan& delay, RandomDraw& random);

/// The plans of the rows a run plays: the row count and every row's plan are taken once, as the
/// run starts; a row the list changed since it was planned is read and planned again when its
/// turn comes, so that an edit applies from the row's next turn while an unchanged list is
/// never read again.
/// Threads: the run's worker only; the list locks itself.
class ListPlan {
public:
    /// Plans the rows of `items`, giving up (with the rest unplanned) once `stopped` is set.
    /// `items` must outlive the plan.
    ListPlan(const ItemList& items, const std::atomic<bool>& stopped);

    /// The number of rows as the plan was made.
    int RowCount() const { return static_cast<int>(mRows.size()); }
    /// The plan of `row` as the list stands now; null when the row is no longer in the list.
    const RowPlan* Current(int row);

private:
    static constexpr std::uint64_t kNeverRead = UINT64_MAX;
    struct PlannedRow {
        RowPlan plan;
        std::uint64_t revision = kNeverRead;  // the list's revision when the row was read
    };

    const ItemList& mItems;         // the rows come from here; it locks itself
    std::vector<PlannedRow> mRows;  // one per row as the plan was made; the worker's own
};

/// The single rules PlanRow is made of, for the callers that need one of them alone.
namespace row_rules {

/// The leading decimal number of a text: leading white space and one sign allowed,
/// reading stops at the first other character, no digits give 0. Values beyond the
/// 32-bit range saturate instead of wrapping.
int DecimalValue(const std::string& text);

/// The post-event command for an event text, e.g. ` -PostEvent "Tone on" 0 0`.
std::string PostEventCommand(const std::string& eventText);

/// "-SetDIOPortBits AcqSystem1 0 <mask>" when setting, "-ResetDIOPortBits ..." otherwise.
std::string BitCommand(bool setBit, int mask);

/// The pieces of a command cell cut at every "|", empty pieces kept.
std::vector<std::string> CommandPieces(const std::string& command);

/// The range when the cell contains "Random:", nullopt for a fixed delay.
std::optional<DelayRange> RandomDelayRange(const std::string& delayCell);

/// The delay drawn from a range with draw r: minimum + (11 r) rem (maximum - minimum),
/// the remainder truncated towards zero; the minimum when the range is empty.
/// Never negative.
long long RandomDelay(const DelayRange& range, int draw);

}  // namespace row_rules
}  // namespace sequora
