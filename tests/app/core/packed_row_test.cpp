#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/core/ItemList.h"
#include "app/core/PackedRow.h"

using sequora::ItemList;
using sequora::ItemRow;
using sequora::PackedRow;

namespace {

const ItemRow kMixed = {"12",
                        "Yes",
                        std::string("tab\there \0 \xe4\0", 13),
                        "No",
                        "007",
                        "Off",
                        "",
                        std::string(300, 'c'),
                        "123456789012345678"};

}  // namespace

TEST(PackedRow, KeepsEveryTextAsItWas) {
    const std::vector<ItemRow> rows = {
        kMixed,
        {"1", "No", "NA", "No", "NA", "NA", "No", "NA", "0"},
        {"0", "-0", "+5", "1234567890123456789", "99999999999999999999", "yes", " Yes", "NA ", "Random: 1-2"},
        {"", "", "", "", "", "", "", "", ""},
    };
    for (const ItemRow& row : rows) {
        const PackedRow packed(row);
        EXPECT_EQ(packed.Unpack(), row);
        for (int column = 0; column < sequora::kColumnCount; ++column)
            EXPECT_EQ(packed.Cell(column), row[column]);
    }
    EXPECT_EQ(PackedRow().Unpack(), ItemRow{});
    EXPECT_EQ(PackedRow(kMixed).Cell(-1), "");
    EXPECT_EQ(PackedRow(kMixed).Cell(sequora::kColumnCount), "");
}

TEST(PackedRow, SettingOneCellLeavesTheOthers) {
    PackedRow packed(kMixed);
    ItemRow expected = kMixed;
    // Each change moves the cells after it: shorter, longer, word, number, long text.
    const std::vector<std::pair<int, std::string>> changes = {
        {7, "short"}, {2, std::string(200, 'x')},   {0, "NA"},  {4, "3"},
        {8, ""},      {1, std::string(20000, 'y')}, {4, "007"},
    };
    for (const auto& [column, text] : changes) {
        packed.SetCell(column, text);
        expected[column] = text;
        EXPECT_EQ(packed.Unpack(), expected) << "column " << column;
    }
    packed.SetCell(sequora::kColumnCount, "ignored");
    EXPECT_EQ(packed.Unpack(), expected);
    EXPECT_EQ(packed, PackedRow(expected)) << "equal texts pack alike";
}

TEST(ItemList, SetsSeveralCellsOfARowAtOnceAndCopiesRows) {
    ItemList list;
    int changes = 0;
    list.SetChangeObserver([&changes](const sequora::ItemListChange&) { ++changes; });
    list.AddItemRow({"No", "NA", "No", "NA", "NA", "No", "NA", "0"});
    list.SetCellTexts(0, {{sequora::kColSendEvent, "Yes"}, {sequora::kColEventString, "e"}, {99, "x"}});
    list.SetCellTexts(1, {{sequora::kColSendEvent, "Yes"}});
    EXPECT_EQ(changes, 2) << "one notice per change, none for a row outside the list";

    const ItemRow row = {"1", "Yes", "e", "No", "NA", "NA", "No", "NA", "0"};
    EXPECT_EQ(list.Row(0), row);
    EXPECT_EQ(list.Row(1), ItemRow{});
    EXPECT_EQ(list.Rows(), std::vector<ItemRow>{row});
    ASSERT_EQ(list.PackedRows().size(), 1u);
    EXPECT_EQ(list.PackedRows()[0].Unpack(), row);
}
