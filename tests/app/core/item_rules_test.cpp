#include <gtest/gtest.h>
#include <string>

#include "app/core/AddItemRules.h"
#include "app/core/IntegerField.h"
#include "app/core/ItemList.h"

using sequora::BuildItemCells;
using sequora::ItemCells;
using sequora::ItemForm;
using sequora::ReadIntegerField;

TEST(ItemIntegerField, ReadsALeadingDecimalNumber) {
    EXPECT_EQ(ReadIntegerField("42"), 42);
    EXPECT_EQ(ReadIntegerField("  \t-17 ms"), -17);
    EXPECT_EQ(ReadIntegerField("+8"), 8);
    EXPECT_EQ(ReadIntegerField("007x"), 7);
    EXPECT_EQ(ReadIntegerField("1e3"), 1);
    EXPECT_EQ(ReadIntegerField("2147483647"), 2147483647);
    EXPECT_EQ(ReadIntegerField("-2147483648"), -2147483647 - 1);
}

TEST(ItemIntegerField, RejectsTextWithoutANumberAtItsStart) {
    for (const char* text : {"", "   ", "abc", "x1", "-", "+ 5", "--5"}) {
        EXPECT_EQ(ReadIntegerField(text), std::nullopt) << '"' << text << '"';
    }
}

TEST(ItemIntegerField, RejectsNumbersBeyondThirtyTwoBitsInsteadOfWrapping) {
    EXPECT_EQ(ReadIntegerField("2147483648"), std::nullopt);
    EXPECT_EQ(ReadIntegerField("-2147483649"), std::nullopt);
    EXPECT_EQ(ReadIntegerField("99999999999999999999999"), std::nullopt);
}

TEST(ItemIntegerField, LooksAtTheFirstSixtyThreeCharactersOnly) {
    EXPECT_EQ(ReadIntegerField(std::string(61, ' ') + "12"), 12);
    EXPECT_EQ(ReadIntegerField(std::string(62, ' ') + "12"), 1);
    EXPECT_EQ(ReadIntegerField(std::string(63, ' ') + "12"), std::nullopt);
}

TEST(ItemAddRules, DefaultsWhenNoBoxIsChecked) {
    const auto outcome = BuildItemCells(ItemForm{});
    ASSERT_TRUE(outcome.cells);
    EXPECT_EQ(*outcome.cells, (ItemCells{"No", "NA", "No", "NA", "NA", "No", "NA", "0"}));
    EXPECT_TRUE(outcome.refusal.empty());

    // Fields of unchecked boxes are not taken.
    ItemForm form;
    form.eventString = "ignored";
    form.bitNumber = 9;
    form.command = "-StartRecording";
    form.delayMin = 300;
    form.delayMax = 100;
    form.delayMs = -20;
    EXPECT_EQ(*BuildItemCells(form).cells, (ItemCells{"No", "NA", "No", "NA", "NA", "No", "NA", "-20"}));
}

TEST(ItemAddRules, CheckedBoxesTakeTheirFields) {
    ItemForm form;
    form.sendEvent = true;
    form.eventString = "";
    form.setBit = true;
    form.bitNumber = -3;
    form.bitStateIndex = 0;
    form.sendCommand = true;
    form.command = "-StartAcquisition|-StopAcquisition";
    form.delayMs = 250;
    EXPECT_EQ(*BuildItemCells(form).cells,
              (ItemCells{"Yes", "", "Yes", "-3", "On", "Yes", "-StartAcquisition|-StopAcquisition", "250"}));
    form.bitStateIndex = 1;
    EXPECT_EQ((*BuildItemCells(form).cells)[sequora::kColBitState - 1], "Off");
    form.bitStateIndex = -1;
    EXPECT_EQ((*BuildItemCells(form).cells)[sequora::kColBitState - 1], "NA");
}

TEST(ItemAddRules, RandomDelayRange) {
    ItemForm form;
    form.useRandomDelay = true;
    form.delayMs = 999;
    form.delayMin = 100;
    form.delayMax = 100;
    EXPECT_EQ((*BuildItemCells(form).cells)[7], "Random: 100-100");
    form.delayMin = -5;
    form.delayMax = 10;
    EXPECT_EQ((*BuildItemCells(form).cells)[7], "Random: -5-10");
    form.delayMin = 200;
    form.delayMax = 100;
    const auto refused = BuildItemCells(form);
    EXPECT_FALSE(refused.cells);
    EXPECT_EQ(refused.refusal,
              "Error, unable to add item, the delay range min value is greater than the max value");
}

TEST(ItemList, NumbersRowsByCountAndKeepsNumbersOnRemoval) {
    sequora::ItemList list;
    const ItemCells cells = *BuildItemCells(ItemForm{}).cells;
    for (int i = 0; i < 3; ++i) list.AddItemRow(cells);
    ASSERT_TRUE(list.RemoveRow(0));
    EXPECT_EQ(list.CellText(0, sequora::kColNumber), "2");
    EXPECT_EQ(list.CellText(1, sequora::kColNumber), "3");
    list.AddItemRow(cells);
    EXPECT_EQ(list.CellText(2, sequora::kColNumber), "3");
    EXPECT_EQ(list.CellText(3, sequora::kColNumber), "");
    EXPECT_EQ(list.CellText(0, sequora::kColumnCount), "");
}
