// The table view: a scroll view showing the cells of a data source, making only those in view and recycling the rest.
#pragma once
#include <sys/types.h>

#include <set>
#include <vector>

#include "kite/foundation/Vector.h"
#include "kite/widgets/ScrollView.h"
#include "kite/widgets/TableViewCell.h"

namespace kite {
namespace extension {

class TableView;

// What feeds a table view. Every call gets the table first.
class TableViewDataSource {
public:
    virtual ~TableViewDataSource() = default;
    // The size of one cell; by default the one size of every cell.
    virtual Size tableCellSizeForIndex(TableView* table, ssize_t index);
    virtual Size cellSizeForTable(TableView*) { return Size::ZERO; }
    // A cell for the index: one taken from the table's free queue, or a new one.
    virtual TableViewCell* tableCellAtIndex(TableView* table, ssize_t index) = 0;
    virtual ssize_t numberOfCellsInTableView(TableView* table) = 0;
};

// What watches a table view: its scrolling, and touches on its cells.
class TableViewDelegate : public ScrollViewDelegate {
public:
    virtual void tableCellTouched(TableView* table, TableViewCell* cell) = 0;
    virtual void tableCellHighlight(TableView*, TableViewCell*) {}
    virtual void tableCellUnhighlight(TableView*, TableViewCell*) {}
    virtual void tableCellWillRecycle(TableView*, TableViewCell*) {}
};

class TableView : public ScrollView, public ScrollViewDelegate {
public:
    // Where cell 0 sits in a vertical table.
    enum class VerticalFillOrder { TOP_DOWN = 0, BOTTOM_UP = 1 };

    // Counts beyond this are taken as this many cells: their positions must fit in memory.
    static constexpr ssize_t MAX_CELLS = 1 << 20;

    // Null when the view cannot be made.
    static TableView* create(TableViewDataSource* dataSource, const Size& size, Node* container = nullptr);

    TableView();
    ~TableView() override;

    bool initWithViewSize(const Size& size, Node* container = nullptr) override;

    void setVerticalFillOrder(VerticalFillOrder order);
    VerticalFillOrder getVerticalFillOrder() const { return verticalFillOrder; }
    // Neither is retained.
    void setDataSource(TableViewDataSource* source) { dataSource = source; }
    TableViewDataSource* getDataSource() const { return dataSource; }
    void setDelegate(TableViewDelegate* delegate) { tableViewDelegate = delegate; }
    TableViewDelegate* getDelegate() const { return tableViewDelegate; }

    // Recycles every cell, asks the data source again and shows the start of the table.
    void reloadData();
    // A cell from the free queue (alive until the end of the frame unless kept), or null.
    TableViewCell* dequeueCell();
    // The cell in view at the index, or null.
    TableViewCell* cellAtIndex(ssize_t index);
    // Asks the data source for the cell at the index again.
    void updateCellAtIndex(ssize_t index);

    // How many cells are in use and in the free queue now.
    std::size_t getUsedCellCount() const { return cellsUsed.size(); }
    std::size_t getFreedCellCount() const { return cellsFreed.size(); }

    // Fills the view with the cells the offset shows.
    void scrollViewDidScroll(ScrollView* view) override;
    void scrollViewDidZoom(ScrollView*) override {}

    bool onTouchBegan(Touch* touch, Event* event) override;
    void onTouchMoved(Touch* touch, Event* event) override;
    void onTouchEnded(Touch* touch, Event* event) override;
    void onTouchCancelled(Touch* touch, Event* event) override;

protected:
    // The cells the positions were laid out for, never more than the data source has now.
    ssize_t cellCount() const;
    ssize_t askedCellCount();
    ssize_t indexFromOffset(Vec2 offset) const;
    ssize_t searchIndex(const Vec2& offset) const;
    Vec2 offsetFromIndex(ssize_t index);
    void updateCellPositions();
    void updateContentSize();
    void placeCell(ssize_t index, TableViewCell* cell);
    void addCellIfNecessary(TableViewCell* cell);
    void moveCellOutOfSight(TableViewCell* cell);
    // Takes the cell out of both lists, so that it is never in use twice or queued twice.
    void takeOutOfLists(TableViewCell* cell);
    void sortUsedCells();
    void forgetTouchedCell();

    TableViewCell* touchedCell = nullptr;  // not retained
    VerticalFillOrder verticalFillOrder = VerticalFillOrder::BOTTOM_UP;
    std::set<ssize_t> indices;
    std::vector<float> cellPositions;
    Vector<TableViewCell*> cellsUsed;
    Vector<TableViewCell*> cellsFreed;
    TableViewDataSource* dataSource = nullptr;
    TableViewDelegate* tableViewDelegate = nullptr;
    Direction oldDirection = Direction::NONE;
    bool usedCellsDirty = false;
};

}  // namespace extension
}  // namespace kite
