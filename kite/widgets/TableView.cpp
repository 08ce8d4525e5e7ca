#include "kite/widgets/TableView.h"

#include <algorithm>
#include <new>

#include "kite/foundation/Log.h"
#include "kite/scene/Touch.h"

namespace kite {
namespace extension {

Size TableViewDataSource::tableCellSizeForIndex(TableView* table, ssize_t) { return cellSizeForTable(table); }

TableView* TableView::create(TableViewDataSource* source, const Size& size, Node* content) {
    auto* table = new (std::nothrow) TableView();
    if (!table || !table->initWithViewSize(size, content)) {
        delete table;
        return nullptr;
    }
    table->autorelease();
    table->setDataSource(source);
    table->updateCellPositions();
    table->updateContentSize();
    return table;
}

TableView::TableView() = default;
TableView::~TableView() = default;

bool TableView::initWithViewSize(const Size& size, Node* content) {
    if (!ScrollView::initWithViewSize(size, content)) return false;
    indices.clear();
    verticalFillOrder = VerticalFillOrder::BOTTOM_UP;
    setDirection(Direction::VERTICAL);
    ScrollView::setDelegate(this);
    return true;
}

void TableView::setVerticalFillOrder(VerticalFillOrder order) {
    if (verticalFillOrder == order) return;
    verticalFillOrder = order;
    if (!cellsUsed.empty()) reloadData();
}

// ---- counts and positions -----------------------------------------------------------------

ssize_t TableView::askedCellCount() {
    const ssize_t asked = dataSource ? dataSource->numberOfCellsInTableView(this) : 0;
    return std::clamp<ssize_t>(asked, 0, MAX_CELLS);
}

ssize_t TableView::cellCount() const {
    return cellPositions.empty() ? 0 : static_cast<ssize_t>(cellPositions.size()) - 1;
}

void TableView::updateCellPositions() {
    const ssize_t asked = dataSource ? dataSource->numberOfCellsInTableView(this) : 0;
    const ssize_t count = askedCellCount();
    if (asked != count) log("TableView: %zd cells asked for, %zd shown", asked, count);
    cellPositions.assign(static_cast<std::size_t>(count) + 1, 0.0f);
    // Summed in double: long tables would drift in float.
    double position = 0.0;
    for (ssize_t i = 0; i < count; ++i) {
        cellPositions[static_cast<std::size_t>(i)] = static_cast<float>(position);
        const Size size = dataSource->tableCellSizeForIndex(this, i);
        position += direction == Direction::HORIZONTAL ? size.width : size.height;
    }
    cellPositions[static_cast<std::size_t>(count)] = static_cast<float>(position);
}

void TableView::updateContentSize() {
    Size size = Size::ZERO;
    const ssize_t count = cellCount();
    if (count > 0) {
        const float end = cellPositions[static_cast<std::size_t>(count)];
        size = direction == Direction::HORIZONTAL ? Size(end, viewSize.height) : Size(viewSize.width, end);
    }
    setContentSize(size);
    if (oldDirection != direction) {
        // A fresh table shows its start: the left end, or the top.
        if (direction == Direction::HORIZONTAL) {
            setContentOffset(Vec2::ZERO);
        } else {
            setContentOffset(Vec2(0.0f, minContainerOffset().y));
        }
        oldDirection = direction;
    }
}

Vec2 TableView::offsetFromIndex(ssize_t index) {
    const float start = cellPositions[static_cast<std::size_t>(index)];
    Vec2 offset = direction == Direction::HORIZONTAL ? Vec2(start, 0.0f) : Vec2(0.0f, start);
    if (verticalFillOrder == VerticalFillOrder::TOP_DOWN) {
        const Size cellSize = dataSource->tableCellSizeForIndex(this, index);
        offset.y = container->getContentSize().height - offset.y - cellSize.height;
    }
    return offset;
}

ssize_t TableView::searchIndex(const Vec2& offset) const {
    const float key = direction == Direction::HORIZONTAL ? offset.x : offset.y;
    ssize_t low = 0;
    ssize_t high = cellCount() - 1;
    while (high >= low) {
        const ssize_t mid = low + (high - low) / 2;
        const float start = cellPositions[static_cast<std::size_t>(mid)];
        const float end = cellPositions[static_cast<std::size_t>(mid) + 1];
        // A key on a boundary belongs to the lower cell.
        if (key >= start && key <= end) return mid;
        if (key < start) {
            high = mid - 1;
        } else {
            low = mid + 1;
        }
    }
    return low <= 0 ? 0 : -1;
}

ssize_t TableView::indexFromOffset(Vec2 offset) const {
    if (verticalFillOrder == VerticalFillOrder::TOP_DOWN) offset.y = container->getContentSize().height - offset.y;
    const ssize_t index = searchIndex(offset);
    return index > cellCount() - 1 ? -1 : index;
}

// ---- cells --------------------------------------------------------------------------------

TableViewCell* TableView::cellAtIndex(ssize_t index) {
    if (indices.count(index) == 0) return nullptr;
    for (TableViewCell* cell : cellsUsed) {
        if (cell->getIndex() == index) return cell;
    }
    return nullptr;
}

TableViewCell* TableView::dequeueCell() {
    if (cellsFreed.empty()) return nullptr;
    TableViewCell* cell = cellsFreed.front();
    cell->retain();
    cellsFreed.erase(std::size_t{0});
    cell->autorelease();
    return cell;
}

void TableView::updateCellAtIndex(ssize_t index) {
    if (index == TableViewCell::NO_INDEX || !dataSource) return;
    const ssize_t count = std::min(cellCount(), askedCellCount());
    if (count == 0 || index < 0 || index > count - 1) return;
    if (TableViewCell* shown = cellAtIndex(index)) moveCellOutOfSight(shown);
    TableViewCell* cell = dataSource->tableCellAtIndex(this, index);
    if (!cell) {
        log("TableView: the data source gave no cell for index %zd", index);
        return;
    }
    takeOutOfLists(cell);
    placeCell(index, cell);
    addCellIfNecessary(cell);
}

void TableView::placeCell(ssize_t index, TableViewCell* cell) {
    cell->setAnchorPoint(Vec2::ZERO);
    cell->setPosition(offsetFromIndex(index));
    cell->setIndex(index);
}

void TableView::addCellIfNecessary(TableViewCell* cell) {
    if (cell->getParent() != container) container->addChild(cell);
    cellsUsed.pushBack(cell);
    indices.insert(cell->getIndex());
    usedCellsDirty = true;
}

void TableView::takeOutOfLists(TableViewCell* cell) {
    RefPtr<TableViewCell> keep(cell);
    if (cellsFreed.contains(cell)) cellsFreed.eraseObject(cell, true);
    if (cellsUsed.contains(cell)) {
        indices.erase(cell->getIndex());
        cellsUsed.eraseObject(cell, true);
    }
}

void TableView::moveCellOutOfSight(TableViewCell* cell) {
    if (tableViewDelegate) tableViewDelegate->tableCellWillRecycle(this, cell);
    if (!cellsFreed.contains(cell)) cellsFreed.pushBack(cell);
    cellsUsed.eraseObject(cell);
    usedCellsDirty = true;
    indices.erase(cell->getIndex());
    cell->reset();
    if (cell->getParent() == container) container->removeChild(cell, true);
}

void TableView::reloadData() {
    oldDirection = Direction::NONE;
    for (TableViewCell* cell : cellsUsed) {
        if (tableViewDelegate) tableViewDelegate->tableCellWillRecycle(this, cell);
        if (!cellsFreed.contains(cell)) cellsFreed.pushBack(cell);
        cell->reset();
        if (cell->getParent() == container) container->removeChild(cell, true);
    }
    indices.clear();
    cellsUsed.clear();
    touchedCell = nullptr;
    updateCellPositions();
    updateContentSize();
    if (cellCount() > 0) scrollViewDidScroll(this);
}

void TableView::sortUsedCells() {
    std::stable_sort(cellsUsed.begin(), cellsUsed.end(),
                     [](TableViewCell* a, TableViewCell* b) { return a->getIndex() < b->getIndex(); });
}

void TableView::scrollViewDidScroll(ScrollView*) {
    // A count that grew since the last reload has no positions yet: show what was laid out.
    const ssize_t count = std::min(cellCount(), askedCellCount());
    if (count == 0) return;
    if (usedCellsDirty) {
        sortUsedCells();
        usedCellsDirty = false;
    }
    if (tableViewDelegate) tableViewDelegate->scrollViewDidScroll(this);

    Vec2 offset = -getContentOffset();
    const ssize_t maxIndex = std::max<ssize_t>(count - 1, 0);
    const float viewHeight = viewSize.height / container->getScaleY();
    const bool topDown = verticalFillOrder == VerticalFillOrder::TOP_DOWN;
    if (topDown) offset.y += viewHeight;
    ssize_t startIndex = indexFromOffset(offset);
    if (startIndex == -1) startIndex = count - 1;

    offset.y += topDown ? -viewHeight : viewHeight;
    offset.x += viewSize.width / container->getScaleX();
    ssize_t endIndex = indexFromOffset(offset);
    if (endIndex == -1) endIndex = count - 1;

    while (!cellsUsed.empty() && cellsUsed.front()->getIndex() < startIndex) moveCellOutOfSight(cellsUsed.front());
    while (!cellsUsed.empty()) {
        const ssize_t last = cellsUsed.back()->getIndex();
        if (last > maxIndex || last <= endIndex) break;
        moveCellOutOfSight(cellsUsed.back());
    }
    for (ssize_t i = startIndex; i <= endIndex; ++i) {
        if (indices.count(i) == 0) updateCellAtIndex(i);
    }
}

// ---- touches ------------------------------------------------------------------------------

void TableView::forgetTouchedCell() {
    if (touchedCell && tableViewDelegate) tableViewDelegate->tableCellUnhighlight(this, touchedCell);
    touchedCell = nullptr;
}

bool TableView::onTouchBegan(Touch* touch, Event* event) {
    for (Node* node = this; node; node = node->getParent()) {
        if (!node->isVisible()) return false;
    }
    const bool claimed = ScrollView::onTouchBegan(touch, event);
    if (claimed && touches.size() == 1) {
        const ssize_t index = indexFromOffset(container->convertToNodeSpace(touch->getLocation()));
        touchedCell = index == -1 ? nullptr : cellAtIndex(index);
        if (touchedCell && tableViewDelegate) tableViewDelegate->tableCellHighlight(this, touchedCell);
    } else if (touchedCell) {
        forgetTouchedCell();
    }
    return claimed;
}

void TableView::onTouchMoved(Touch* touch, Event* event) {
    ScrollView::onTouchMoved(touch, event);
    // Scrolling cancels the tap.
    if (touchedCell && isTouchMoved()) forgetTouchedCell();
}

void TableView::onTouchEnded(Touch* touch, Event* event) {
    if (!isVisible()) return;
    if (touchedCell) {
        Rect box = getBoundingBox();
        if (parent) box.origin = parent->convertToWorldSpace(box.origin);
        if (box.containsPoint(touch->getLocation()) && tableViewDelegate) {
            tableViewDelegate->tableCellUnhighlight(this, touchedCell);
            tableViewDelegate->tableCellTouched(this, touchedCell);
        }
        touchedCell = nullptr;
    }
    ScrollView::onTouchEnded(touch, event);
}

void TableView::onTouchCancelled(Touch* touch, Event* event) {
    ScrollView::onTouchCancelled(touch, event);
    forgetTouchedCell();
}

}  // namespace extension
}  // namespace kite
