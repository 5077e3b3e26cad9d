// The pure halves of reading from the server: answer headers, record numbers and cutting a
// stream of bytes into whole records, without sockets.
#include <climits>
#include <cstdint>
#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <numeric>
#include <span>
#include <string>
#include <vector>

#include "comlux/internal/AnswerNumbers.h"
#include "comlux/internal/CommandFrame.h"
#include "comlux/internal/RecordDecoders.h"
#include "comlux/internal/RecordIntake.h"

namespace {

using comlux::CommandFrame;
using Fault = CommandFrame::Fault;

std::vector<unsigned char> Bytes(std::size_t size,
                                 std::initializer_list<std::pair<std::size_t, unsigned char>> set) {
    std::vector<unsigned char> bytes(size, 0x55);
    for (const auto& [at, value] : set) bytes[at] = value;
    return bytes;
}

TEST(RecordDecoders, ChannelNumbersAreSignedLittleEndianThirtyTwoBitsAtOffsetEight) {
    EXPECT_EQ(comlux::DecodeChannelNumber(Bytes(12, {{8, 0x01}, {9, 0x02}, {10, 0x03}, {11, 0x04}})),
              0x04030201);
    EXPECT_EQ(comlux::DecodeChannelNumber(Bytes(12, {{8, 0xFE}, {9, 0xFF}, {10, 0xFF}, {11, 0xFF}})), -2);
    EXPECT_EQ(comlux::DecodeChannelNumber(Bytes(12, {{8, 0x00}, {9, 0x00}, {10, 0x00}, {11, 0x80}})),
              INT32_MIN);
    // The field must be there whole: twelve bytes do, eleven do not.
    EXPECT_EQ(comlux::DecodeChannelNumber(Bytes(11, {})), std::nullopt);
}

TEST(RecordDecoders, TrackerIdsAreUnsignedLittleEndianSixteenBitsAtOffsetTwo) {
    EXPECT_EQ(comlux::DecodeTrackerId(Bytes(4, {{2, 0x01}, {3, 0x02}})), 0x0201);
    EXPECT_EQ(comlux::DecodeTrackerId(Bytes(4, {{2, 0xFE}, {3, 0xFF}})), 65534);
    EXPECT_EQ(comlux::DecodeTrackerId(Bytes(3, {})), std::nullopt);
}

TEST(RecordDecoders, EveryKindHasItsRowAndOnlyEventsGoWithoutANumber) {
    for (std::size_t i = 0; i < comlux::kStreamRecordRows.size(); ++i) {
        const comlux::StreamRecordRow& row = comlux::kStreamRecordRows[i];
        EXPECT_EQ(static_cast<std::size_t>(row.kind), i);
        const bool event = row.kind == comlux::StreamKind::Event;
        EXPECT_EQ(row.decode == nullptr, event);
        EXPECT_EQ(row.invalidNumber.empty(), event);
    }
    EXPECT_EQ(comlux::RecordRowOf(comlux::StreamKind::VideoTracker).decode, &comlux::DecodeTrackerId);
}

// Copies at most `bytes.size()` bytes into the intake's free pieces, as one receive call would.
std::size_t Receive(comlux::RecordIntake& intake, std::span<const unsigned char> bytes) {
    std::size_t count = 0;
    for (const iovec& piece : intake.FreeSpace()) {
        const std::size_t n = std::min(piece.iov_len, bytes.size() - count);
        std::memcpy(piece.iov_base, bytes.data() + count, n);
        count += n;
    }
    intake.Received(count);
    return count;
}

// Every kind's size: back to back (16-byte multiples) and in padded slots (CSC, video, event).
TEST(RecordIntake, HandsOutEveryKindsRecordsWholeInOrderAndAlignedHoweverTheBytesArrive) {
    for (const comlux::StreamKindInfo& kind : comlux::kStreamKinds) {
        const auto size = static_cast<std::size_t>(kind.recordSize);
        std::vector<unsigned char> stream(size * 40);
        std::iota(stream.begin(), stream.end(), static_cast<unsigned char>(0));
        // Pieces of one byte, a record less or more one, several records, all at once.
        for (const std::size_t piece : {std::size_t{1}, size - 1, size + 1, size * 7 + 3, stream.size()}) {
            // A buffer of a few records, so that records wrap round it many times.
            comlux::RecordIntake intake(size, size * 5 + 100);
            ASSERT_TRUE(intake.IsAllocated());
            std::vector<unsigned char> out;
            for (std::size_t at = 0; at < stream.size();) {
                at += Receive(intake, std::span(stream).subspan(at, std::min(piece, stream.size() - at)));
                for (auto record = intake.NextRecord(); !record.empty(); record = intake.NextRecord()) {
                    ASSERT_EQ(record.size(), size);
                    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(record.data()) % 16, 0u) << kind.kindWord;
                    out.insert(out.end(), record.begin(), record.end());
                }
                EXPECT_LT(intake.Held(), size);
            }
            EXPECT_EQ(out, stream) << kind.kindWord << " in pieces of " << piece;
            EXPECT_EQ(intake.Held(), 0u);
        }
    }
}

TEST(RecordIntake, APartialRecordWaitsAndMovesToTheFrontOfTheBuffer) {
    comlux::RecordIntake intake(4, 48);  // three slots of 16 bytes, four used in each
    const unsigned char first[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(Receive(intake, first), 10u);
    EXPECT_THAT(intake.NextRecord(), testing::ElementsAre(1, 2, 3, 4));
    EXPECT_THAT(intake.NextRecord(), testing::ElementsAre(5, 6, 7, 8));
    EXPECT_TRUE(intake.NextRecord().empty());
    EXPECT_EQ(intake.Held(), 2u);
    const unsigned char rest[] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22};
    EXPECT_EQ(Receive(intake, rest), 10u);  // the two held bytes moved to the front
    EXPECT_THAT(intake.NextRecord(), testing::ElementsAre(9, 10, 11, 12));
}

std::vector<unsigned char> Header(std::int32_t version, std::uint32_t code) {
    std::vector<unsigned char> bytes(8);
    CommandFrame::WriteField(bytes.data(), static_cast<std::uint32_t>(version));
    CommandFrame::WriteField(bytes.data() + 4, code);
    return bytes;
}

TEST(AnswerHeader, VersionMustBeOneAndTheValidationCodeExact) {
    EXPECT_EQ(CommandFrame::CheckAnswerStart(Header(1, 0xA5A5A5A5u).data()), Fault::None);
    EXPECT_EQ(CommandFrame::CheckAnswerStart(Header(0, 0xA5A5A5A5u).data()), Fault::InvalidVersion);
    EXPECT_EQ(CommandFrame::CheckAnswerStart(Header(INT32_MIN, 0xA5A5A5A5u).data()), Fault::InvalidVersion);
    EXPECT_EQ(CommandFrame::CheckAnswerStart(Header(2, 0xA5A5A5A5u).data()), Fault::UnsupportedVersion);
    EXPECT_EQ(CommandFrame::CheckAnswerStart(Header(1, 0xA5A5A5A4u).data()), Fault::BadValidationCode);
    EXPECT_EQ(CommandFrame::CheckAnswerStart(Header(1, 0x25A5A5A5u).data()), Fault::BadValidationCode);
    EXPECT_EQ(CommandFrame::StartFaultMessage(Fault::UnsupportedVersion, 513),
              "Error, this Version of Brontavix Network Communication is not Supported, please update to the "
              "latest version of the software.  Version #513");
}

TEST(AnswerHeader, LengthRunsFromOneToSixteenMebibytes) {
    EXPECT_EQ(CommandFrame::CheckAnswerLength(0), Fault::BadLength);
    EXPECT_EQ(CommandFrame::CheckAnswerLength(-1), Fault::BadLength);
    EXPECT_EQ(CommandFrame::CheckAnswerLength(1), Fault::None);
    EXPECT_EQ(CommandFrame::CheckAnswerLength(16 * 1024 * 1024), Fault::None);
    EXPECT_EQ(CommandFrame::CheckAnswerLength(16 * 1024 * 1024 + 1), Fault::BadLength);
}

TEST(AnswerNumbers, ReadsSignedBlankSeparatedIntegersAndStopsAtTheFirstThatIsNone) {
    struct Case {
        std::string answer;
        std::vector<int> read;  // the three values after reading, each starting at 99
    };
    const Case cases[] = {
        {"0 26105 7", {0, 26105, 7}},
        {"+0 +26105", {0, 26105, 99}},
        {"  -1\t+2\n3", {-1, 2, 3}},
        {"0 x 5", {0, 99, 99}},
        {"+ 5", {99, 99, 99}},
        {"-", {99, 99, 99}},
        {"99999999999 -99999999999", {INT_MAX, INT_MIN, 99}},
        {"", {99, 99, 99}},
    };
    for (const Case& c : cases) {
        int values[3] = {99, 99, 99};
        int* const targets[] = {&values[0], &values[1], &values[2]};
        comlux::ReadAnswerIntegers(c.answer, targets);
        EXPECT_EQ(std::vector<int>(std::begin(values), std::end(values)), c.read) << c.answer;
    }
    EXPECT_EQ(comlux::LeadingInteger("+12 rest"), 12);
    EXPECT_EQ(comlux::LeadingInteger(" -3"), -3);
    EXPECT_EQ(comlux::LeadingInteger("+"), 0);
    EXPECT_EQ(comlux::LeadingInteger("abc"), 0);
}

}  // namespace
