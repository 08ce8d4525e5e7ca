// The leaderboard's table cells: built once with tagged children, then re-dressed by tag when
// the table view hands a cell back for another row.
#include <string>

#include "Classes/RankedLayer.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"
#include "kite/widgets/TableViewCell.h"

namespace {

using kite::extension::TableViewCell;

enum CellTag {
    kUserBack = 10,
    kSelfBack = 11,
    kMedalFirst = 20,
    kRankText = 23,
    kHeadFirst = 30,
    kHeadLast = 34,
    kIdentity = 40,
    kScore = 41,
};

const kite::Color3B kUserColour(26, 90, 174);
const kite::Color3B kSelfColour(178, 90, 32);

void addSprite(TableViewCell* cell, const std::string& file, float x, float y, int tag) {
    kite::Sprite* sprite = kite::Sprite::create(file);
    if (!sprite) return;
    sprite->setPosition(x, y);
    cell->addChild(sprite, 0, tag);
}

void addLabel(TableViewCell* cell, const char* font, float size, float x, float y, int tag, bool leftAligned) {
    kite::Label* label = kite::Label::createWithSystemFont("", font, size);
    if (!label) return;
    if (leftAligned) label->setAnchorPoint(kite::Vec2(0, 0.5f));
    label->setPosition(x, y);
    cell->addChild(label, 0, tag);
}

TableViewCell* buildCell() {
    TableViewCell* cell = TableViewCell::create();
    if (!cell) return nullptr;
    addSprite(cell, "Menu/Ranked/ranked_cell_user.png", 167, 47, kUserBack);
    addSprite(cell, "Menu/Ranked/ranked_cell_self.png", 167, 47, kSelfBack);
    for (int medal = 0; medal < 3; ++medal)
        addSprite(cell, "Menu/Ranked/icon_ranked_" + std::to_string(medal + 1) + ".png", 40, 47, kMedalFirst + medal);
    addLabel(cell, "Helvetica", 40, 40, 47, kRankText, false);
    if (auto* rank = dynamic_cast<kite::Label*>(cell->getChildByTag(kRankText))) rank->setColor(kUserColour);
    for (int head = 0; head < 5; ++head)
        addSprite(cell, "Menu/Ranked/icon_head_" + std::to_string(head + 1) + ".png", 102, 45, kHeadFirst + head);
    addLabel(cell, "Helvetica", 24, 145, 62, kIdentity, true);
    addLabel(cell, "Helvetica", 32, 145, 32, kScore, true);
    return cell;
}

void show(TableViewCell* cell, int tag, bool visible) {
    if (kite::Node* child = cell->getChildByTag(tag)) child->setVisible(visible);
}

void setText(TableViewCell* cell, int tag, const std::string& text, const kite::Color3B* colour) {
    auto* label = dynamic_cast<kite::Label*>(cell->getChildByTag(tag));
    if (!label) return;
    label->setString(text);
    if (colour) label->setColor(*colour);
}

// Head icons: one each for the first three, one to index 49, one from 50 on.
int headFor(ssize_t index) {
    if (index < 3) return kHeadFirst + static_cast<int>(index);
    return index < 50 ? kHeadFirst + 3 : kHeadLast;
}

void dress(TableViewCell* cell, ssize_t index, const EntityRanked& row) {
    const bool other = row.oneself == "0";
    show(cell, kUserBack, other);
    show(cell, kSelfBack, !other);
    for (int medal = 0; medal < 3; ++medal) show(cell, kMedalFirst + medal, index == medal);
    show(cell, kRankText, index >= 3);
    if (index >= 3) setText(cell, kRankText, row.ranked, nullptr);
    for (int head = kHeadFirst; head <= kHeadLast; ++head) show(cell, head, head == headFor(index));
    const kite::Color3B& colour = other ? kUserColour : kSelfColour;
    setText(cell, kIdentity, row.cellphone, &colour);
    setText(cell, kScore, row.score, &colour);
}

}  // namespace

kite::Size RankedLayer::tableCellSizeForIndex(kite::extension::TableView*, ssize_t) { return kite::Size(330, 94); }

ssize_t RankedLayer::numberOfCellsInTableView(kite::extension::TableView*) { return static_cast<ssize_t>(rows.size()); }

TableViewCell* RankedLayer::tableCellAtIndex(kite::extension::TableView* table, ssize_t index) {
    TableViewCell* cell = table->dequeueCell();
    if (!cell) cell = buildCell();
    if (cell && index >= 0 && static_cast<std::size_t>(index) < rows.size()) dress(cell, index, *rows.at(index));
    return cell;
}
