#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/core/ItemList.h"
#include "app/core/ItemSelection.h"

using sequora::ItemList;
using sequora::ItemSelection;

namespace {

// A list of `count` rows whose "Event String" cells read "a", "b", ...
void Fill(ItemList& list, int count) {
    for (int i = 0; i < count; ++i) {
        list.AddItemRow(
            {"Yes", std::string(1, static_cast<char>('a' + i)), "No", "NA", "NA", "No", "NA", "0"});
    }
}

std::string Order(const ItemList& list) {
    std::string order;
    for (const auto& row : list.Rows()) order += row[sequora::kColNumber] + row[sequora::kColEventString];
    return order;
}

}  // namespace

TEST(ItemSelection, MovesCarryTheirNumberAndReturnTheRowToHighlight) {
    ItemList list;
    Fill(list, 3);
    ItemSelection selection(list);
    selection.Click(1);
    EXPECT_EQ(selection.MoveUp(), 0);
    EXPECT_EQ(Order(list), "2b1a3c");
    EXPECT_EQ(selection.SelectedRow(), 0);
    EXPECT_EQ(selection.MoveUp(), std::nullopt) << "top row cannot move up";
    EXPECT_EQ(selection.MoveDown(), 1);
    EXPECT_EQ(selection.MoveDown(), 2);
    EXPECT_EQ(Order(list), "1a3c2b");
    EXPECT_EQ(selection.MoveDown(), std::nullopt) << "bottom row cannot move down";
    EXPECT_EQ(selection.SelectedRow(), 2);
    EXPECT_EQ(Order(list), "1a3c2b");
}

TEST(ItemSelection, NothingHappensBeforeAnyClickOrAfterAClickBesideTheRows) {
    ItemList list;
    Fill(list, 2);
    ItemSelection selection(list);
    EXPECT_EQ(selection.SelectedRow(), -1);
    EXPECT_EQ(selection.MoveUp(), std::nullopt);
    EXPECT_EQ(selection.MoveDown(), std::nullopt);
    EXPECT_FALSE(selection.RemoveCurrent());
    selection.Click(5);
    EXPECT_EQ(selection.SelectedRow(), -1);
    EXPECT_EQ(selection.MoveDown(), std::nullopt);
    EXPECT_EQ(Order(list), "1a2b");
}

TEST(ItemSelection, RemoveCurrentRemovesOnceAndForgetsTheRow) {
    ItemList list;
    Fill(list, 3);
    ItemSelection selection(list);
    selection.Click(0);
    EXPECT_TRUE(selection.RemoveCurrent());
    EXPECT_FALSE(selection.RemoveCurrent());
    EXPECT_EQ(Order(list), "2b3c");
    EXPECT_EQ(selection.SelectedRow(), -1);

    // A remembered row that vanished (the list shrank behind it) is simply forgotten.
    selection.Click(1);
    list.RemoveRow(1);
    EXPECT_EQ(selection.MoveUp(), std::nullopt);
    EXPECT_FALSE(selection.RemoveCurrent());
    EXPECT_EQ(selection.SelectedRow(), -1);
    EXPECT_EQ(Order(list), "2b");
}

TEST(ItemSelection, RemoveAllForgetsTheRememberedRow) {
    ItemList list;
    Fill(list, 3);
    ItemSelection selection(list);
    selection.Click(2);
    selection.RemoveAll();
    EXPECT_EQ(list.RowCount(), 0);
    Fill(list, 3);
    EXPECT_EQ(selection.MoveUp(), std::nullopt);
    EXPECT_FALSE(selection.RemoveCurrent());
    EXPECT_EQ(list.RowCount(), 3);
}
