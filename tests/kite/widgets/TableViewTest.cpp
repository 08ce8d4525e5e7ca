// The table view with a data source of coloured rows: which cells show, recycling, touches on cells, reloads.
#include "kite/widgets/TableView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kite/scene/Layer.h"
#include "tests/kite/widgets/WidgetTestSupport.h"
#include "tests/support/LogCapture.h"

namespace kite {
namespace {

using extension::ScrollView;
using extension::TableView;
using extension::TableViewCell;
using extension::TableViewDataSource;
using extension::TableViewDelegate;
using test::Pixel;
using testing::ElementsAre;

constexpr int kFillTag = 1;

// Rows 50 points high, each filled with a colour of its index; records what the table tells it.
struct Rows : TableViewDataSource, TableViewDelegate {
    Size tableCellSizeForIndex(TableView*, ssize_t) override { return cellSize; }
    TableViewCell* tableCellAtIndex(TableView* table, ssize_t index) override {
        TableViewCell* cell = table->dequeueCell();
        if (!cell) {
            cell = TableViewCell::create();
            // A 2-point gap after each cell tells neighbours apart.
            const float w = cellSize.width - (cellSize.width < 330 ? 2 : 0);
            const float h = cellSize.height - (cellSize.height < 330 ? 2 : 0);
            cell->addChild(LayerColor::create(Color4B(0, 0, 0, 255), w, h), 0, kFillTag);
            ++made;
        }
        cell->getChildByTag(kFillTag)->setColor(colorOf(index));
        return cell;
    }
    ssize_t numberOfCellsInTableView(TableView*) override { return count; }

    void scrollViewDidScroll(ScrollView* view) override {
        mostUsed = std::max(mostUsed, static_cast<TableView*>(view)->getUsedCellCount());
    }
    void tableCellTouched(TableView*, TableViewCell* cell) override { note("touched", cell); }
    void tableCellHighlight(TableView*, TableViewCell* cell) override { note("highlight", cell); }
    void tableCellUnhighlight(TableView*, TableViewCell* cell) override { note("unhighlight", cell); }
    void tableCellWillRecycle(TableView*, TableViewCell* cell) override { note("recycle", cell); }
    void note(const char* what, TableViewCell* cell) { events.push_back(what + std::to_string(cell->getIndex())); }

    Color3B colorOf(ssize_t index) const {
        const auto step = static_cast<uint8_t>(20 + 20 * index);
        return blueRows ? Color3B(0, step, 255) : Color3B(step, 255, 0);
    }
    Pixel pixelOf(ssize_t index) const {
        const Color3B c = colorOf(index);
        return Pixel{c.r, c.g, c.b, 255};
    }

    Size cellSize{330, 50};
    ssize_t count = 10;
    bool blueRows = false;
    int made = 0;
    std::size_t mostUsed = 0;
    std::vector<std::string> events;
};

class TableViewTest : public test::WidgetTest {
protected:
    // As the leaderboard makes it: 330 x 330, top-down, at (35, 35), reloaded once added.
    TableView* makeTable(TableViewDataSource* source) {
        TableView* table = TableView::create(source, Size(330, 330));
        table->setPosition(35, 35);
        table->setVerticalFillOrder(TableView::VerticalFillOrder::TOP_DOWN);
        table->setDelegate(&rows);
        scene->addChild(table);
        table->reloadData();
        rows.events.clear();
        return table;
    }
    // Which cells are in view, in index order.
    std::vector<ssize_t> shown(TableView* table, ssize_t upTo = 10) {
        std::vector<ssize_t> result;
        for (ssize_t i = 0; i < upTo; ++i)
            if (table->cellAtIndex(i)) result.push_back(i);
        return result;
    }

    Rows rows;
};

TEST_F(TableViewTest, TenRowsInA330PointViewShowCellsZeroToSixFromTheTop) {
    TableView* table = makeTable(&rows);
    frame();
    saveFrame();
    EXPECT_THAT(shown(table), ElementsAre(0, 1, 2, 3, 4, 5, 6));
    EXPECT_EQ(table->getContentSize(), Size(330, 500));
    EXPECT_EQ(rows.made, 7);
    // Cell 0 fills the top 50 points of the view (y 315 to 365), cell 6 reaches below the view.
    EXPECT_EQ(readPixel(200, 340), rows.pixelOf(0));
    EXPECT_EQ(readPixel(200, 290), rows.pixelOf(1));
    EXPECT_EQ(readPixel(200, 50), rows.pixelOf(6));
    EXPECT_EQ(readPixel(200, 30), (Pixel{0, 0, 0, 255}));  // clipped
}

TEST_F(TableViewTest, ScrollingRecyclesCellsAndKeepsNoMoreThanFitPlusOne) {
    TableView* table = makeTable(&rows);
    // Up to the end of the table: the container rises by 170 points.
    drag(Vec2(200, 60), Vec2(0, 16), 12);
    frames(80);
    saveFrame();
    EXPECT_THAT(shown(table), ElementsAre(3, 4, 5, 6, 7, 8, 9));
    EXPECT_LE(rows.mostUsed, 8u);
    EXPECT_LE(rows.made, 8);
    EXPECT_THAT(rows.events, testing::IsSupersetOf({"recycle0", "recycle1", "recycle2"}));
    EXPECT_EQ(readPixel(200, 340), rows.pixelOf(3));
    EXPECT_EQ(readPixel(200, 50), rows.pixelOf(9));
}

TEST_F(TableViewTest, TouchingACellReportsItsIndexAndABoundaryBelongsToTheLowerCell) {
    TableView* table = makeTable(&rows);
    frame();
    touchDown(200, 240);  // inside cell 2
    touchUp(200, 240);
    EXPECT_THAT(rows.events, ElementsAre("highlight2", "unhighlight2", "touched2"));

    rows.events.clear();
    touchDown(200, 265);  // between cells 1 and 2
    touchUp(200, 265);
    EXPECT_THAT(rows.events, ElementsAre("highlight1", "unhighlight1", "touched1"));
    EXPECT_EQ(table->getContentOffset(), Vec2(0, -170));
}

TEST_F(TableViewTest, DraggingFromACellCancelsItsTap) {
    makeTable(&rows);
    drag(Vec2(200, 240), Vec2(0, 20), 3);
    EXPECT_THAT(rows.events, testing::IsSupersetOf({"highlight2", "unhighlight2"}));
    EXPECT_THAT(rows.events, testing::Not(testing::Contains(testing::StartsWith("touched"))));
}

TEST_F(TableViewTest, ReloadAfterTheDataChangesRecyclesEveryCellAndShowsTheNewOnes) {
    TableView* table = makeTable(&rows);
    frame();
    rows.count = 3;
    rows.blueRows = true;
    table->reloadData();
    frame();
    saveFrame();
    EXPECT_THAT(rows.events,
                ElementsAre("recycle0", "recycle1", "recycle2", "recycle3", "recycle4", "recycle5", "recycle6"));
    EXPECT_THAT(shown(table), ElementsAre(0, 1, 2));
    EXPECT_EQ(table->getUsedCellCount(), 3u);
    EXPECT_EQ(rows.made, 7);  // all three came from the free queue
    EXPECT_EQ(readPixel(200, 340), rows.pixelOf(0));
    EXPECT_EQ(readPixel(200, 240), rows.pixelOf(2));
    EXPECT_EQ(readPixel(200, 190), (Pixel{0, 0, 0, 255}));
}

TEST_F(TableViewTest, BottomUpTablePutsCellZeroAtTheBottomAndShowsTheTopFirst) {
    TableView* table = TableView::create(&rows, Size(330, 330));
    table->setPosition(35, 35);
    scene->addChild(table);
    table->reloadData();
    frame();
    EXPECT_EQ(table->getVerticalFillOrder(), TableView::VerticalFillOrder::BOTTOM_UP);
    EXPECT_THAT(shown(table), ElementsAre(3, 4, 5, 6, 7, 8, 9));
    EXPECT_EQ(readPixel(200, 340), rows.pixelOf(9));
    EXPECT_EQ(readPixel(200, 50), rows.pixelOf(3));
}

TEST_F(TableViewTest, HorizontalTableLaysCellsOutFromTheLeft) {
    rows.cellSize = Size(60, 330);
    TableView* table = TableView::create(&rows, Size(330, 330));
    table->setPosition(35, 35);
    table->setDirection(ScrollView::Direction::HORIZONTAL);
    scene->addChild(table);
    table->reloadData();
    frame();
    EXPECT_EQ(table->getContentSize(), Size(600, 330));
    EXPECT_THAT(shown(table), ElementsAre(0, 1, 2, 3, 4, 5));
    EXPECT_EQ(readPixel(60, 200), rows.pixelOf(0));
    EXPECT_EQ(readPixel(120, 200), rows.pixelOf(1));

    table->setContentOffset(Vec2(-200, 0));
    frame();
    EXPECT_THAT(shown(table), ElementsAre(3, 4, 5, 6, 7, 8));
    EXPECT_EQ(readPixel(40, 200), rows.pixelOf(3));
}

TEST_F(TableViewTest, NegativeAndHugeCountsAreClamped) {
    rows.count = -5;
    TableView* table = makeTable(&rows);
    EXPECT_EQ(table->getUsedCellCount(), 0u);
    EXPECT_EQ(table->getContentSize(), Size::ZERO);
    EXPECT_EQ(table->dequeueCell(), nullptr);

    rows.count = ssize_t{1} << 40;
    {
        test::LogCapture capture;
        table->reloadData();
        EXPECT_THAT(capture.text(), testing::HasSubstr("TableView: 1099511627776 cells asked for, 1048576 shown\n"));
    }
    frame();
    EXPECT_THAT(shown(table), ElementsAre(0, 1, 2, 3, 4, 5, 6));
    EXPECT_EQ(table->getContentSize().height, 50.0f * TableView::MAX_CELLS);
}

// Hands out one cell it keeps for every index, never taking one from the free queue.
struct OneCell : TableViewDataSource {
    TableViewCell* tableCellAtIndex(TableView*, ssize_t) override { return cell.get(); }
    Size cellSizeForTable(TableView*) override { return Size(330, 50); }
    ssize_t numberOfCellsInTableView(TableView*) override { return 10; }
    RefPtr<TableViewCell> cell = TableViewCell::create();
};

TEST_F(TableViewTest, ACellHandedOutAgainIsNeverInUseTwiceNorQueued) {
    OneCell source;
    TableView* table = makeTable(&source);
    frame();
    EXPECT_EQ(table->getUsedCellCount(), 1u);
    EXPECT_EQ(table->getFreedCellCount(), 0u);
    EXPECT_EQ(table->dequeueCell(), nullptr);
    EXPECT_EQ(source.cell->getParent(), table->getContainer());
}

}  // namespace
}  // namespace kite
