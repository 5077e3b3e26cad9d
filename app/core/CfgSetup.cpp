#include "app/core/CfgSetup.h"

#include <cstdint>
#include <string_view>
#include <thread>

#include "app/core/CfgKeywords.h"
#include "cmdfile/TextTools.h"

namespace sequora {

namespace {

using cmdfile::text::FoldAscii;
// The word at `index` (0 is the keyword).
using cmdfile::text::WordAt;

// The text between the first double quote and the next one; up to the end of the line when
// the closing quote is missing, the whole line when there is no quote at all.
std::string_view QuotedText(std::string_view line) {
    const std::size_t open = line.find('"');
    if (open == std::string_view::npos) return line;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string_view::npos) return line.substr(open + 1);
    return line.substr(open + 1, close - open - 1);
}

// The share of the file read, in thousandths.
std::uint64_t Thousandths(std::uint64_t done, std::uint64_t total) {
    return total == 0 ? 0 : done / (total / 1000 + 1);
}

}  // namespace

CfgSetup::CfgSetup(ItemList& list, std::chrono::milliseconds pausePerLine)
    : mList(list),
      mPausePerLine(pausePerLine),
      mCommands({
          {cfg_keywords::kCreateTrialItem, [this](const std::string& line) { CreateTrialItem(line); }},
          {cfg_keywords::kSendEventString, [this](const std::string& line) { SendEventString(line); }},
          {cfg_keywords::kSendTtlBit, [this](const std::string& line) { SendTtlBit(line); }},
          {cfg_keywords::kSendCommand, [this](const std::string& line) { SendCommand(line); }},
          {cfg_keywords::kSetDelay, [this](const std::string& line) { SetDelay(line); }},
      }) {
    mReader.SetDelivery(cmdfile::FormatCmdLine::LineKind::Command, true);
}

CfgLoadResult CfgSetup::Load(const std::string& path, const Progress& progress,
                             const std::atomic<bool>* cancel) {
    if (!Begin(path)) return mResult;
    std::uint64_t reported = 0;
    for (;;) {
        if (cancel && cancel->load()) Cancel();
        if (!Step()) break;
        if (progress) {
            if (const std::uint64_t now = Thousandths(BytesRead(), FileBytes()); now != reported) {
                reported = now;
                progress(BytesRead(), FileBytes());
            }
        }
    }
    if (progress) progress(BytesRead(), FileBytes());
    return mResult;
}

CfgLoadResult CfgSetup::LoadText(std::string_view text) {
    BeginText(text);
    while (Step()) {}
    return mResult;
}

bool CfgSetup::Begin(const std::string& path) {
    mResult = CfgLoadResult{};
    mReading = false;
    if (mReader.OpenFile(path) != 0) {
        mResult.reason = mReader.OpenError();
        return false;
    }
    Started();
    return true;
}

bool CfgSetup::BeginText(std::string_view text) {
    mResult = CfgLoadResult{};
    mReader.OpenText(text);
    Started();
    return true;
}

void CfgSetup::Started() {
    mReading = true;
    mResult.end = CfgLoadResult::End::Reading;
}

bool CfgSetup::Step() {
    if (!mReading) return false;
    if (mReader.GetNextLine(mLine) != 0) {
        Ended();
        return false;
    }
    if (mLine.find('\0') != std::string::npos) {
        // A text would reach the server cut short at the NUL: the line is not what it seems.
        StopAt(kNulReason);
        return false;
    }
    if (mPausePerLine.count() > 0) std::this_thread::sleep_for(mPausePerLine);
    mCommands.Dispatch(mLine);
    return true;
}

void CfgSetup::Cancel() {
    if (!mReading) return;
    mReading = false;
    mResult.end = CfgLoadResult::End::Cancelled;
    mResult.line = mReader.LinesRead();
    mResult.reason = kCancelledReason;
}

void CfgSetup::StopAt(const char* reason) {
    mReading = false;
    mResult.end = CfgLoadResult::End::Stopped;
    mResult.line = mReader.LinesRead();
    mResult.reason = reason;
}

void CfgSetup::Ended() {
    mReading = false;
    const cmdfile::FormatCmdLine::Stop& stop = mReader.StopInfo();
    mResult.end = stop.WholeInput() ? CfgLoadResult::End::Whole : CfgLoadResult::End::Stopped;
    mResult.line = stop.line;
    if (!stop.WholeInput()) mResult.reason = stop.Describe();
}

int CfgSetup::CreateTrialItem(const std::string&) {
    mList.AddItemRow(BlankItemCells());
    ++mResult.itemsLoaded;
    return 0;
}

int CfgSetup::SendEventString(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    mList.SetCellTexts(last, {{kColSendEvent, cell_words::kYes}, {kColEventString, QuotedText(line)}});
    return 0;
}

int CfgSetup::SendTtlBit(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    const std::string state = FoldAscii(WordAt(line, 2));
    if (state != "on" && state != "off") return -1;
    mList.SetCellTexts(last, {{kColSetBit, cell_words::kYes},
                              {kColBitNumber, WordAt(line, 1)},
                              {kColBitState, state == "on" ? cell_words::kOn : cell_words::kOff}});
    return 0;
}

int CfgSetup::SendCommand(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    mList.SetCellTexts(last, {{kColSendCommand, cell_words::kYes}, {kColCommand, QuotedText(line)}});
    return 0;
}

int CfgSetup::SetDelay(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    const std::size_t random = line.find(cell_words::kRandomMarker);
    const std::string_view delay =
        random != std::string::npos ? std::string_view(line).substr(random) : WordAt(line, 1);
    mList.SetCellTexts(last, {{kColDelay, delay}});
    return 0;
}

}  // namespace sequora
