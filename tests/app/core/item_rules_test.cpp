#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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
    form.bitNumber = 31;
    form.bitStateIndex = 0;
    form.sendCommand = true;
    form.command = "-StartAcquisition|-StopAcquisition";
    form.delayMs = 250;
    EXPECT_EQ(*BuildItemCells(form).cells,
              (ItemCells{"Yes", "", "Yes", "31", "On", "Yes", "-StartAcquisition|-StopAcquisition", "250"}));
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

TEST(ItemAddRules, BitNumberMustNameABitOfThePortWhenTheBitIsSet) {
    ItemForm form;
    form.setBit = true;
    for (int bit : {-1, 32, 99, -2147483647 - 1}) {
        form.bitNumber = bit;
        const auto refused = BuildItemCells(form);
        EXPECT_FALSE(refused.cells) << bit;
        EXPECT_EQ(refused.refusal, "Enter a bit number from 0 to 31.");
        EXPECT_EQ(refused.field, sequora::RefusedField::BitNumber);
    }
    form.bitNumber = 0;
    EXPECT_EQ((*BuildItemCells(form).cells)[sequora::kColBitNumber - 1], "0");
    // Unused, the field may hold anything.
    form.setBit = false;
    form.bitNumber = 99;
    EXPECT_TRUE(BuildItemCells(form).cells);
}

TEST(ItemAddRules, TypedBitStateSelectsTheEntryItNamesOrNone) {
    EXPECT_EQ(sequora::BitStateEntry("On"), 0);
    EXPECT_EQ(sequora::BitStateEntry("off"), 1);
    EXPECT_EQ(sequora::BitStateEntry("OFF"), 1);
    for (const char* other : {"", "NA", "Of", "On ", "1", "Offf"}) {
        EXPECT_EQ(sequora::BitStateEntry(other), -1) << '"' << other << '"';
    }
}

// A row made by Add Item, loaded into the form and added again, comes back unchanged.
TEST(ItemAddRules, RowLoadedIntoTheFormAddsTheSameCellsAgain) {
    auto formOf = [](const sequora::RowForm& loaded) {
        ItemForm form;
        form.sendEvent = loaded.sendEvent;
        form.eventString = loaded.eventString.value_or("");
        form.setBit = loaded.setBit;
        form.bitNumber = loaded.bitNumber ? *ReadIntegerField(*loaded.bitNumber) : 0;
        form.bitStateIndex = loaded.bitStateIndex;
        form.sendCommand = loaded.sendCommand;
        form.command = loaded.command.value_or("");
        form.useRandomDelay = loaded.useRandomDelay;
        form.delayMs = loaded.delayMs ? *ReadIntegerField(*loaded.delayMs) : 0;
        form.delayMin = loaded.delayMin ? *ReadIntegerField(*loaded.delayMin) : 0;
        form.delayMax = loaded.delayMax ? *ReadIntegerField(*loaded.delayMax) : 0;
        return form;
    };
    const std::vector<ItemCells> rows{
        {"No", "NA", "No", "NA", "NA", "No", "NA", "0"},
        {"Yes", "Tone on", "Yes", "3", "On", "No", "NA", "-20"},
        {"No", "NA", "Yes", "31", "Off", "Yes", "-StartRecording|-StopRecording", "Random: -5-10"},
        {"Yes", "", "Yes", "0", "NA", "Yes", "", "Random: 100-100"},
    };
    for (const ItemCells& cells : rows) {
        sequora::ItemRow row;
        row[0] = "7";
        std::copy(cells.begin(), cells.end(), row.begin() + 1);
        const auto again = BuildItemCells(formOf(sequora::FormFromRow(row)));
        ASSERT_TRUE(again.cells) << again.refusal;
        EXPECT_EQ(*again.cells, cells);
    }
}

TEST(ItemAddRules, UnusedFieldsOfALoadedRowAreLeftAsTheFormHasThem) {
    const auto loaded = sequora::FormFromRow({"1", "No", "NA", "No", "NA", "NA", "No", "NA", "250"});
    EXPECT_FALSE(loaded.eventString);
    EXPECT_FALSE(loaded.bitNumber);
    EXPECT_FALSE(loaded.command);
    EXPECT_FALSE(loaded.delayMin);
    EXPECT_EQ(loaded.delayMs, "250");
    // A hand-written range loads as the numbers the runner reads from it.
    const auto odd = sequora::FormFromRow({"1", "No", "NA", "No", "NA", "NA", "No", "NA", "Random: 5 - 9"});
    EXPECT_TRUE(odd.useRandomDelay);
    EXPECT_EQ(odd.delayMin, "5");
    EXPECT_EQ(odd.delayMax, "9");
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

TEST(ItemList, WholeRowsGoBackWhereTheyWereWithTheirNumbers) {
    sequora::ItemList list;
    const ItemCells cells = *BuildItemCells(ItemForm{}).cells;
    for (int i = 0; i < 3; ++i) list.AddItemRow(cells);
    const sequora::ItemRow middle = list.Row(1);
    ASSERT_TRUE(list.RemoveRow(1));
    EXPECT_FALSE(list.InsertRow(3, middle));
    EXPECT_FALSE(list.InsertRow(-1, middle));
    ASSERT_TRUE(list.InsertRow(1, middle));
    EXPECT_EQ(list.CellText(1, sequora::kColNumber), "2");
    EXPECT_EQ(list.CellText(2, sequora::kColNumber), "3");
    EXPECT_EQ(list.Row(3), sequora::ItemRow{});

    sequora::ItemRow changed = middle;
    changed[sequora::kColDelay] = "9";
    EXPECT_FALSE(list.ReplaceRow(3, changed));
    ASSERT_TRUE(list.ReplaceRow(1, changed));
    EXPECT_EQ(list.CellText(1, sequora::kColDelay), "9");
    list.SetRows({changed});
    EXPECT_EQ(list.Rows(), std::vector<sequora::ItemRow>{changed});
}

TEST(ItemAddRules, FieldsTheRunnerWouldNotHonourAsWrittenAreRefusedNamingTheField) {
    for (const char* typed : {"-5", "2.5", "", "1e3", "2147483648", " 7x"}) {
        EXPECT_EQ(
            sequora::DelayRefusal("Delay (ms)", typed),
            std::string("Delay (ms): enter a whole number of milliseconds from 0 to 2147483647, not \"") +
                typed + "\".");
    }
    for (const char* typed : {"0", "250", "2147483647", " 40 "})
        EXPECT_EQ(sequora::DelayRefusal("Min", typed), std::nullopt) << typed;
    EXPECT_EQ(sequora::BitStateRefusal("NA"), "Bit state: choose On or Off, not \"NA\".");
    EXPECT_EQ(sequora::BitStateRefusal("off"), std::nullopt);
}
