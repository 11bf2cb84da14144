#include "platform/ui/listview.h"

#include <gtest/gtest.h>

#include <QTreeWidget>
#include <QWidget>

namespace {

class ListViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        lv.Create(&form);
        lv.AddColumnHeader("Address", 1764, ui::Align::Left);
        lv.AddColumnHeader("Module", 4410, ui::Align::Center);
        lv.AddColumnHeader("Value", 2822, ui::Align::Right);
    }
    QWidget form;
    ui::ListView lv;
};

TEST_F(ListViewTest, ColumnHeadersCountFromOne) {
    EXPECT_EQ(lv.ColumnHeaderCount(), 3);
    EXPECT_EQ(lv.ColumnHeaderText(1), "Address");
    EXPECT_EQ(lv.ColumnHeaderText(3), "Value");
    EXPECT_EQ(lv.ColumnHeaderAlignment(3), ui::Align::Right);
    EXPECT_EQ(static_cast<QTreeWidget*>(lv.widget())->columnWidth(1), 294);  // 4410 twips
    EXPECT_THROW(lv.ColumnHeaderText(0), rt::RuntimeError);
    EXPECT_THROW(lv.ColumnHeaderText(4), rt::RuntimeError);
}

TEST_F(ListViewTest, RowsKeepTheirOrderAndSubItems) {
    auto a = lv.AddItem("000 [000]");
    a.SetSubItem(1, "KB-560");
    auto b = lv.AddItem("001 [001]");
    b.SetSubItem(2, "ON");
    EXPECT_EQ(lv.ListItemCount(), 2);
    EXPECT_EQ(lv.ListItems(1).Text(), "000 [000]");
    EXPECT_EQ(lv.ListItems(2).SubItem(2), "ON");
    EXPECT_EQ(lv.ListItems(2).SubItem(1), "");
    EXPECT_EQ(b.Index(), 2);
    EXPECT_THROW(lv.ListItems(0), rt::RuntimeError);
    EXPECT_THROW(lv.ListItems(3), rt::RuntimeError);
    // Sub-items stop at the last column.
    EXPECT_THROW(a.SetSubItem(3, "x"), rt::RuntimeError);
    EXPECT_THROW(a.SubItem(0), rt::RuntimeError);
}

TEST_F(ListViewTest, FindItemMatchesTheWholeItemTextOnly) {
    lv.AddItem("012 [00C]");
    lv.AddItem("128 [080]");
    auto found = lv.FindItem("128 [080]");
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->Index(), 2);
    EXPECT_FALSE(lv.FindItem("128").has_value());
    EXPECT_FALSE(lv.FindItem("28 [080]").has_value());
    // Found after the rows moved: by text, never by position.
    lv.ClearItems();
    lv.AddItem("128 [080]");
    EXPECT_EQ(lv.FindItem("128 [080]")->Index(), 1);
}

TEST_F(ListViewTest, SelectionAndClearing) {
    EXPECT_FALSE(lv.SelectedItem().has_value());
    lv.AddItem("a");
    auto b = lv.AddItem("b");
    b.SetSelected(true);
    ASSERT_TRUE(lv.SelectedItem().has_value());
    EXPECT_EQ(lv.SelectedItem()->Text(), "b");
    lv.ClearItems();
    EXPECT_EQ(lv.ListItemCount(), 0);
    EXPECT_FALSE(lv.SelectedItem().has_value());
    EXPECT_EQ(lv.ColumnHeaderCount(), 3);  // headers stay
}

TEST_F(ListViewTest, DoubleClickOnARowRaisesDblClick) {
    int clicks = 0;
    lv.DblClick = [&] { ++clicks; };
    lv.AddItem("a");
    auto* tree = static_cast<QTreeWidget*>(lv.widget());
    emit tree->itemDoubleClicked(tree->topLevelItem(0), 0);
    EXPECT_EQ(clicks, 1);
}

}  // namespace

// Rows kept aside (deferred rows) answer through their handles exactly as
// rows placed at once; a handle kept over a clearing raises an error
// instead of reaching a row that is gone.
TEST_F(ListViewTest, HandlesOfRowsKeptAsideWorkLikeThoseOfPlacedRows) {
    for (const bool deferred : {false, true}) {
        SCOPED_TRACE(deferred ? "deferred" : "placed at once");
        lv.ClearItems();
        lv.SetDeferredRows(deferred);
        lv.AddItem("first");
        auto second = lv.AddItem("second");
        second.SetSubItem(2, "7");
        auto third = lv.AddItem("third");
        EXPECT_EQ(third.Index(), 3);
        EXPECT_EQ(second.SubItem(2), "7");
        third.SetSelected(true);
        EXPECT_TRUE(lv.SelectedItem() == third);
        EXPECT_TRUE(lv.ListItems(2) == second);
        auto* tree = static_cast<QTreeWidget*>(lv.widget());
        EXPECT_EQ(tree->topLevelItem(2)->textAlignment(2), int(Qt::AlignRight | Qt::AlignVCenter));

        auto kept = lv.AddItem("kept");
        lv.ClearItems();
        if (deferred) {
            EXPECT_THROW(kept.Text(), rt::RuntimeError);
        }
        lv.SetDeferredRows(false);
    }
}
