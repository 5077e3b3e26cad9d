// Properties of saving and loading over generated rows: what the writer accepts reads back
// as it stands, and rows such as Add Item makes are never refused.
#include <chrono>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "app/core/CfgSetup.h"
#include "app/core/CfgWriter.h"
#include "app/core/ItemList.h"
#include "app/core/RowPlan.h"
#include "tests/support/TempDir.h"

using sequora::CfgSetup;
using sequora::CfgWriter;
using sequora::ItemList;
using sequora::ItemRow;

namespace {

class RowGenerator {
public:
    explicit RowGenerator(unsigned seed) : mRandom(seed) {}

    // A row such as PlainRow makes with up to two cells of anything, leaning towards what
    // the format finds hard.
    ItemRow AnyRow() {
        ItemRow row = PlainRow();
        row[sequora::kColNumber] = Pick({"1", "x", ""});
        for (int changes = Number(0, 2); changes > 0; --changes) {
            const int column = Number(sequora::kColSendEvent, sequora::kColDelay);
            row[static_cast<std::size_t>(column)] =
                Chance(2) ? AnyText() : Pick({"Yes", "No", "yes", "", "NA", "On", "Off", "on", "5"});
        }
        return row;
    }

    // A row as Add Item makes it, with texts of any bytes that a .cfg file can carry.
    ItemRow PlainRow() {
        const bool event = Chance(2), bit = Chance(2), command = Chance(2);
        const int low = Number(-50, 500);
        return {"1",
                event ? "Yes" : "No",
                event ? PlainText() : "NA",
                bit ? "Yes" : "No",
                bit ? std::to_string(Number(-40, 40)) : "NA",
                bit ? Pick({"On", "Off"}) : "NA",
                command ? "Yes" : "No",
                command ? PlainText() : "NA",
                Chance(2) ? std::to_string(Number(-5, 100000))
                          : sequora::RandomDelayText(low, low + Number(0, 1000))};
    }

private:
    bool Chance(int oneIn) { return std::uniform_int_distribution<int>(0, oneIn - 1)(mRandom) == 0; }
    int Number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(mRandom); }
    std::string Pick(const std::vector<std::string>& words) {
        return words[static_cast<std::size_t>(Number(0, static_cast<int>(words.size()) - 1))];
    }

    // Short texts mostly, now and then one near the longest line.
    std::size_t Length() { return Chance(20) ? static_cast<std::size_t>(Number(960, 1000)) : Number(0, 12); }

    std::string FromPieces(const std::vector<std::string>& pieces) {
        std::string text;
        for (const std::size_t length = Length(); text.size() < length;) text += Pick(pieces);
        return text;
    }
    std::string AnyText() {
        return FromPieces({"a",
                           "7",
                           " ",
                           "\t",
                           "\"",
                           "#",
                           "/",
                           "//",
                           "%",
                           "%x",
                           "\r",
                           "\n",
                           std::string(1, '\0'),
                           "\xe4",
                           "\xff",
                           "-",
                           "Random:",
                           "On",
                           "Off",
                           "-c"});
    }
    std::string PlainText() {
        // No NUL: a line holding one is not read (a text would reach the server cut short).
        return FromPieces({"a", "Z", "7", " ", "\t", "%", "%x", "\r", "\xe4", "\xff", "-", "Random:", ":",
                           "|", "-StartRecording", "'"});
    }

    std::mt19937 mRandom;
};

// The rows a saved text reads back as, into an empty list.
std::vector<ItemRow> ReadBack(const std::string& text) {
    ItemList list;
    EXPECT_TRUE(CfgSetup(list, std::chrono::milliseconds(0)).LoadText(text).Whole());
    return list.Rows();
}

// The rows as a fresh load numbers them.
std::vector<ItemRow> Renumbered(std::vector<ItemRow> rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i][sequora::kColNumber] = std::to_string(i + 1);
    return rows;
}

}  // namespace

TEST(CfgRoundTrip, EveryListTheWriterAcceptsReadsBackAsItStands) {
    RowGenerator generate(20240611);
    int accepted = 0, refused = 0;
    for (int list = 0; list < 3000; ++list) {
        std::vector<ItemRow> rows;
        for (int i = list % 4; i >= 0; --i) rows.push_back(generate.AnyRow());
        if (CfgWriter::FindRefusedRow(rows)) {
            ++refused;
            continue;
        }
        ++accepted;
        ASSERT_EQ(ReadBack(CfgWriter::FormatText(rows)), Renumbered(rows)) << "list " << list;
    }
    // The generator must reach both sides for the property to say anything.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
}

TEST(CfgRoundTrip, RowsAsAddItemMakesThemAreNeverRefused) {
    RowGenerator generate(7);
    std::vector<ItemRow> rows(2000);
    for (ItemRow& row : rows) row = generate.PlainRow();
    rows = Renumbered(rows);
    // Texts near the longest line are left to the other property.
    std::erase_if(rows, [](const ItemRow& row) {
        return row[sequora::kColEventString].size() > 970 || row[sequora::kColCommand].size() > 970;
    });
    rows = Renumbered(rows);

    testsupport::TempDir dir;
    const std::string path = dir.File("plain.cfg");
    CfgWriter writer;
    ASSERT_TRUE(writer.Write(path, rows)) << writer.ErrorMessage();
    ItemList list;
    EXPECT_TRUE(CfgSetup(list, std::chrono::milliseconds(0)).Load(path).Whole());
    EXPECT_EQ(list.Rows(), rows);
}
