#include "app/core/PackedRow.h"

#include <array>
#include <cstdint>

namespace sequora {

namespace {

// The texts a cell holds most often, each stored as its index.
constexpr std::array<std::string_view, 7> kWords{cell_words::kYes,
                                                 cell_words::kNo,
                                                 cell_words::kNotApplicable,
                                                 cell_words::kOn,
                                                 cell_words::kOff,
                                                 "0",
                                                 ""};
// A decimal number without sign or leading zero follows as a base-128 value...
constexpr unsigned char kNumberTag = kWords.size();
// ...and any other text as its base-128 length and its bytes.
constexpr unsigned char kTextTag = kNumberTag + 1;
// Numbers of up to 18 digits fit in 64 bits.
constexpr std::size_t kMaxNumberDigits = 18;

std::uint64_t ReadBase128(std::string_view bytes, std::size_t& pos) {
    std::uint64_t value = 0;
    for (int shift = 0;; shift += 7) {
        const auto byte = static_cast<unsigned char>(bytes[pos++]);
        value |= static_cast<std::uint64_t>(byte & 0x7f) << shift;
        if ((byte & 0x80) == 0) return value;
    }
}

// The value of a decimal number written without sign and leading zero, else -1.
std::int64_t PlainNumber(std::string_view text) {
    if (text.empty() || text.size() > kMaxNumberDigits || text[0] == '0') return -1;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The encoding of a cell without the bytes of its text: the tag and, for a number or a
// text, the base-128 value or length. At most 1 + 10 bytes.
struct CellHead {
    char bytes[11];
    std::size_t size = 0;
    bool withText = false;  // the text's bytes follow the head
};

void PutBase128(CellHead& head, std::uint64_t value) {
    while (value >= 0x80) {
        head.bytes[head.size++] = static_cast<char>((value & 0x7f) | 0x80);
        value >>= 7;
    }
    head.bytes[head.size++] = static_cast<char>(value);
}

CellHead HeadOf(std::string_view text) {
    CellHead head;
    for (std::size_t i = 0; i < kWords.size(); ++i) {
        if (text == kWords[i]) {
            head.bytes[head.size++] = static_cast<char>(i);
            return head;
        }
    }
    if (const std::int64_t number = PlainNumber(text); number > 0) {
        head.bytes[head.size++] = static_cast<char>(kNumberTag);
        PutBase128(head, static_cast<std::uint64_t>(number));
        return head;
    }
    head.bytes[head.size++] = static_cast<char>(kTextTag);
    PutBase128(head, text.size());
    head.withText = true;
    return head;
}

void AppendCell(std::string& out, std::string_view text) {
    const CellHead head = HeadOf(text);
    out.append(head.bytes, head.size);
    if (head.withText) out.append(text);
}

std::string DecodeCell(std::string_view bytes, std::size_t pos) {
    const auto tag = static_cast<unsigned char>(bytes[pos++]);
    if (tag < kWords.size()) return std::string(kWords[tag]);
    const std::uint64_t value = ReadBase128(bytes, pos);
    if (tag == kNumberTag) return std::to_string(value);
    return std::string(bytes.substr(pos, value));
}

bool InRange(int column) {
    return column >= 0 && column < kColumnCount;
}

}  // namespace

PackedRow::PackedRow() : mBytes(kColumnCount, static_cast<char>(kWords.size() - 1)) {}

PackedRow::PackedRow(const ItemRow& row) {
    for (const std::string& cell : row) AppendCell(mBytes, cell);
}

PackedRow::PackedRow(std::string_view number, const ItemCells& cells) {
    AppendCell(mBytes, number);
    for (const std::string& cell : cells) AppendCell(mBytes, cell);
}

ItemRow PackedRow::Unpack() const {
    ItemRow row;
    std::size_t pos = 0;
    for (std::string& cell : row) {
        cell = DecodeCell(mBytes, pos);
        pos = CellEnd(pos);
    }
    return row;
}

std::string PackedRow::Cell(int column) const {
    if (!InRange(column)) return {};
    return DecodeCell(mBytes, CellStart(column));
}

void PackedRow::SetCell(int column, std::string_view text) {
    if (!InRange(column)) return;
    const std::size_t start = CellStart(column);
    const CellHead head = HeadOf(text);
    // Head and text go in place of the old cell without a string of their own.
    mBytes.replace(start, CellEnd(start) - start, head.bytes, head.size);
    if (head.withText) mBytes.insert(start + head.size, text);
}

std::size_t PackedRow::CellStart(int column) const {
    std::size_t pos = 0;
    for (int i = 0; i < column; ++i) pos = CellEnd(pos);
    return pos;
}

std::size_t PackedRow::CellEnd(std::size_t start) const {
    std::size_t pos = start;
    const auto tag = static_cast<unsigned char>(mBytes[pos++]);
    if (tag < kWords.size()) return pos;
    const std::uint64_t value = ReadBase128(mBytes, pos);
    return tag == kNumberTag ? pos : pos + value;
}

}  // namespace sequora
