#include "app/core/CfgSetup.h"

#include <string_view>
#include <thread>

namespace sequora {

namespace {

bool IsWhite(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The word at `index` (0 is the keyword), or empty when the line has fewer words.
std::string WordAt(std::string_view line, int index) {
    std::size_t pos = 0;
    for (int i = 0;; ++i) {
        while (pos < line.size() && IsWhite(line[pos])) ++pos;
        if (pos == line.size()) return {};
        const std::size_t start = pos;
        while (pos < line.size() && !IsWhite(line[pos])) ++pos;
        if (i == index) return std::string(line.substr(start, pos - start));
    }
}

// The text between the first double quote and the next one; up to the end of the line when
// the closing quote is missing, the whole line when there is no quote at all.
std::string QuotedText(const std::string& line) {
    const std::size_t open = line.find('"');
    if (open == std::string::npos) return line;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return line.substr(open + 1);
    return line.substr(open + 1, close - open - 1);
}

std::string FoldAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

CfgSetup::CfgSetup(ItemList& list, std::chrono::milliseconds pausePerLine)
    : mList(list),
      mPausePerLine(pausePerLine),
      mCommands({
          {"-createtrialitem", [this](const std::string& line) { return CreateTrialItem(line); }},
          {"-sendeventstring", [this](const std::string& line) { return SendEventString(line); }},
          {"-sendttlbit", [this](const std::string& line) { return SendTtlBit(line); }},
          {"-sendcommand", [this](const std::string& line) { return SendCommand(line); }},
          {"-setdelay", [this](const std::string& line) { return SetDelay(line); }},
      }) {
    mReader.SetDelivery(cmdfile::FormatCmdLine::LineKind::Command, true);
}

void CfgSetup::Load(const std::string& path) {
    if (mReader.OpenFile(path) != 0) return;
    std::string line;
    while (mReader.GetNextLine(line) == 0) {
        if (mPausePerLine.count() > 0) std::this_thread::sleep_for(mPausePerLine);
        mCommands.Dispatch(line);
    }
}

int CfgSetup::CreateTrialItem(const std::string&) {
    mList.AddItemRow(BlankItemCells());
    return 0;
}

int CfgSetup::SendEventString(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    mList.SetCellText(last, kColSendEvent, cell_words::kYes);
    mList.SetCellText(last, kColEventString, QuotedText(line));
    return 0;
}

int CfgSetup::SendTtlBit(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    const std::string state = FoldAscii(WordAt(line, 2));
    if (state != "on" && state != "off") return -1;
    mList.SetCellText(last, kColSetBit, cell_words::kYes);
    mList.SetCellText(last, kColBitNumber, WordAt(line, 1));
    mList.SetCellText(last, kColBitState, state == "on" ? cell_words::kOn : cell_words::kOff);
    return 0;
}

int CfgSetup::SendCommand(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    mList.SetCellText(last, kColSendCommand, cell_words::kYes);
    mList.SetCellText(last, kColCommand, QuotedText(line));
    return 0;
}

int CfgSetup::SetDelay(const std::string& line) {
    const int last = mList.RowCount() - 1;
    if (last < 0) return -1;
    const std::size_t random = line.find(cell_words::kRandomMarker);
    mList.SetCellText(last, kColDelay, random != std::string::npos ? line.substr(random) : WordAt(line, 1));
    return 0;
}

}  // namespace sequora
