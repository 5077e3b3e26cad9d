#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ostream>
#include <string>
#include <vector>

#include "app/core/ItemList.h"
#include "app/core/PackedRow.h"

namespace sequora {
void PrintTo(const ItemListChange& change, std::ostream* out) {
    *out << "{first " << change.first << ", removed " << change.removed << ", inserted " << change.inserted
         << "}";
}
}  // namespace sequora

namespace {

using sequora::ItemList;
using sequora::ItemListChange;
using sequora::PackedRow;

// A list whose rows carry their delays "10", "20", ... so that each can be told apart.
class ItemListChangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 5; ++i)
            list.AddItemRow({"No", "NA", "No", "NA", "NA", "No", "NA", std::to_string(i * 10)});
        list.SetChangeObserver([this](const ItemListChange& change) { changes.push_back(change); });
    }
    std::vector<std::string> Delays() const {
        std::vector<std::string> delays;
        for (const auto& row : list.Rows()) delays.push_back(row[sequora::kColDelay]);
        return delays;
    }
    static std::vector<std::string> DelaysOf(const std::vector<PackedRow>& rows) {
        std::vector<std::string> delays;
        delays.reserve(rows.size());
        for (const auto& row : rows) delays.push_back(row.Cell(sequora::kColDelay));
        return delays;
    }

    ItemList list;
    std::vector<ItemListChange> changes;
};

using ::testing::ElementsAre;

TEST_F(ItemListChangeTest, EveryChangeSaysWhichRowsItReplacedByHowMany) {
    const auto revision = list.Revision();
    list.AddItemRow({"No", "NA", "No", "NA", "NA", "No", "NA", "60"});
    list.SetCellText(2, sequora::kColDelay, "35");
    list.SwapRows(4, 1);
    list.RemoveRow(0);
    list.InsertRow(2, list.Row(0));
    list.ReplaceRow(1, list.Row(0));
    list.SetRows({list.Row(0), list.Row(1)});
    list.RemoveAll();
    EXPECT_THAT(changes,
                ElementsAre(ItemListChange{5, 0, 1}, ItemListChange{2, 1, 1}, ItemListChange{1, 4, 4},
                            ItemListChange{0, 1, 0}, ItemListChange{2, 0, 1}, ItemListChange{1, 1, 1},
                            ItemListChange{0, 6, 2}, ItemListChange{0, 2, 0}));
    EXPECT_EQ(list.Revision(), revision + changes.size()) << "a plan made from the rows must see each change";
}

TEST_F(ItemListChangeTest, SpliceTakesRowsOutAndPutsOthersInTheirPlace) {
    // Out of the middle with nothing in their place: the rows after them move up intact.
    const std::vector<PackedRow> middle = list.Splice(1, 2, {});
    EXPECT_THAT(DelaysOf(middle), ElementsAre("20", "30"));
    EXPECT_THAT(Delays(), ElementsAre("10", "40", "50"));

    // Back in, before row 1, nothing taken: the list is whole again.
    EXPECT_TRUE(list.Splice(1, 0, middle).empty());
    EXPECT_THAT(Delays(), ElementsAre("10", "20", "30", "40", "50"));

    // One row for two, a range cut at the end, and an append past the end.
    EXPECT_THAT(DelaysOf(list.Splice(3, 2, {middle[0]})), ElementsAre("40", "50"));
    EXPECT_THAT(DelaysOf(list.Splice(2, 99, {})), ElementsAre("30", "20"));
    EXPECT_TRUE(list.Splice(7, 1, {middle[1]}).empty());
    EXPECT_THAT(Delays(), ElementsAre("10", "20", "30"));
    EXPECT_EQ(list.Row(2)[sequora::kColNumber], "3") << "rows keep their own # texts";

    EXPECT_THAT(changes,
                ElementsAre(ItemListChange{1, 2, 0}, ItemListChange{1, 0, 2}, ItemListChange{3, 2, 1},
                            ItemListChange{2, 2, 0}, ItemListChange{2, 0, 1}));
}

}  // namespace
