#include "Classes/StarMatrix.h"

#include <cstdlib>

#include "Classes/GameData.h"
#include "Classes/GameEffects.h"
#include "Classes/GameLayer.h"
#include "Classes/GameRandom.h"
#include "Classes/PlayScreenLinks.h"
#include "Classes/QKSound.h"
#include "Classes/SavedLayout.h"
#include "Classes/Star.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"

namespace {

GameData* progress() { return GameData::getInstance(); }

}  // namespace

StarMatrix* StarMatrix::create(GameLayer* layer) { return kite::createAutoreleased<StarMatrix>(layer); }

bool StarMatrix::init(GameLayer* layer) {
    if (!Node::init()) return false;
    gameLayer = layer;
    touchEnabled = true;
    bombMode = paintMode = clearRemaining = false;
    paintCell = 0;
    clearTimer = 0.0f;
    stars.fill(nullptr);
    fillBoard();
    return true;
}

kite::Vec2 StarMatrix::cellCentre(int row, int column) {
    return kite::Vec2(column * kCellSize + kCellSize / 2, (board::kRows - row) * kCellSize - kCellSize / 2);
}

board::Cells StarMatrix::cells() const {
    board::Cells colours;
    for (int index = 0; index < board::kCellCount; ++index)
        colours[index] = stars[index] ? stars[index]->getColor() : board::kEmpty;
    return colours;
}

bool StarMatrix::isMoving() const {
    for (Star* star : stars)
        if (star && star->getPosition() != star->getDesiredPosition()) return true;
    return false;
}

void StarMatrix::placeStar(int index, int colour, bool drop) {
    Star* star = Star::create(colour);
    if (!star) {
        kite::log("StarMatrix: no piece of colour %d for cell %d", colour, index);
        return;
    }
    const int row = board::rowOf(index);
    const int column = board::columnOf(index);
    const kite::Vec2 centre = cellCentre(row, column);
    star->setPosition(drop ? kite::Vec2(centre.x, centre.y + kDropHeight) : centre);
    star->setDesiredPosition(centre);
    star->row = row;
    star->col = column;
    stars[index] = star;
    addChild(star);
}

void StarMatrix::fillBoard() {
    game::seedRandom();
    GameData* data = progress();
    board::Cells colours;
    std::optional<board::Cells> saved;
    // An empty saved layout is a new game's before its first board: nothing was lost, so nothing is logged.
    if (!data->freshBoard && !board::savedLayoutIsEmpty()) {
        saved = board::loadLayout();
        if (!saved) kite::log("StarMatrix: laying out a fresh board instead of the damaged saved one");
    }
    const bool fresh = !saved;
    for (int index = 0; index < board::kCellCount; ++index) {
        colours[index] = fresh ? std::rand() % board::kColourCount : (*saved)[index];
        if (colours[index] != board::kEmpty) placeStar(index, colours[index], true);
    }
    // A damaged saved board replaced by a fresh one is still the same level: its start score stays.
    if (data->freshBoard) data->setStartScore(data->currentScore);
    data->clearGameScore();
    saveProgress();
    if (gameLayer) {
        gameLayer->refreshScore();
        gameLayer->setPropsEnabled(true);
    }
}

void StarMatrix::saveLayout() { board::saveLayout(cells()); }

void StarMatrix::saveProgress() {
    saveLayout();
    progress()->saveLevel();
    progress()->saveScore();
}

Star* StarMatrix::starAtPoint(const kite::Vec2& point) {
    const int row = board::kRows - 1 - static_cast<int>(point.y / kCellSize);
    const int column = static_cast<int>(point.x / kCellSize);
    if (row < 0 || row >= board::kRows || column < 0 || column >= board::kColumns) return nullptr;
    // A point left of or below the board truncates into row 9 or column 0.
    if (point.x < 0.0f || point.y < 0.0f) return nullptr;
    Star* star = stars[board::cellIndex(row, column)];
    if (star) star->cellIndex = board::cellIndex(row, column);
    return star;
}

void StarMatrix::onBoardTouch(const kite::Vec2& point) {
    if (noPairLeft()) return;  // the level is ending
    Star* star = starAtPoint(point);
    if (!star || !touchEnabled) {
        bombMode = paintMode = false;
        return;
    }
    GameData* data = progress();
    if (bombMode) {
        touchEnabled = false;
        data->setDiamond(data->getDiamond() - GameData::kPropCost);
        data->setPropBombCount(data->getPropBombCount() - 1);
    } else if (paintMode) {
        paintMode = false;
        paintCell = star->cellIndex;
        if (gameLayer) gameLayer->showPaintChooser(point);
        return;
    } else {
        touchEnabled = false;
        if (gameLayer) gameLayer->setPropsEnabled(false);
    }
    collectGroup(star);
    popGroup();
}

void StarMatrix::collectGroup(Star* touched) {
    selectedStars.clear();
    if (bombMode) {
        touched->selected = true;
        selectedStars.push_back(touched);
        return;
    }
    for (int index : board::collectGroup(cells(), touched->cellIndex)) {
        stars[index]->selected = true;
        selectedStars.push_back(stars[index]);
    }
}

void StarMatrix::popGroup() {
    const int n = static_cast<int>(selectedStars.size());
    if (n < 2 && !bombMode) {
        for (Star* star : selectedStars) star->selected = false;
        selectedStars.clear();
        touchEnabled = true;
        if (gameLayer) gameLayer->setPropsEnabled(true);
        return;
    }
    GameData* data = progress();
    data->currentScore += board::groupScore(n);
    if (gameLayer) {
        gameLayer->refreshScore();
        gameLayer->showComboWord(n);
    }
    showComboEffect(n, this);
    QKSound::getInstance()->playCombo(n);
    data->appendGameScore(n);
    scheduleWithInterval(kite::schedule_selector(&StarMatrix::removeNextSelected), kRemoveInterval);
}

void StarMatrix::removeNextSelected(float) {
    if (!selectedStars.empty()) {
        Star* star = selectedStars.front();
        selectedStars.pop_front();
        showStarBurst(star->getColor(), star->getPosition(), this);
        stars[board::cellIndex(star->row, star->col)] = nullptr;
        removeChild(star, true);
        if (bombMode)
            QKSound::getInstance()->playProp(0);
        else
            QKSound::getInstance()->playPop();
    }
    if (!selectedStars.empty()) return;

    unschedule(kite::schedule_selector(&StarMatrix::removeNextSelected));
    GameData* data = progress();
    data->saveHighestScore();
    touchEnabled = true;
    bombMode = false;
    if (gameLayer) gameLayer->setPropsEnabled(true);
    settleBoard();
    if (!noPairLeft()) {
        saveProgress();
    } else {
        const int left = board::pieceCount(cells());
        if (gameLayer) {
            gameLayer->setPropsEnabled(false);
            gameLayer->floatLeftStarMsg(left);
        }
        data->setRemainStarCount(left);
    }
    if (data->currentScore >= data->targetScore) showStageClear(this);
}

void StarMatrix::settleBoard() {
    board::Cells colours = cells();
    int fallen = 0;
    for (const board::CellMove& move : board::settle(colours)) {
        Star* star = stars[move.from];
        stars[move.from] = nullptr;
        stars[move.to] = star;
        star->row = board::rowOf(move.to);
        star->col = board::columnOf(move.to);
        star->setDesiredPosition(cellCentre(star->row, star->col));
        if (move.falls) {
            star->moving = true;
            ++fallen;
        }
    }
    if (fallen > 0) progress()->fallingStarCount = fallen;
}

bool StarMatrix::isFalling() const {
    for (Star* star : stars)
        if (star && (star->falling || star->getPosition().y != star->getDesiredPosition().y)) return true;
    return false;
}

void StarMatrix::tick(float dt) {
    // Only falling pieces count the shared fall down; when the last of them went before it landed
    // (popped or rebuilt on its way), nothing may go on waiting for it.
    int& fallingCount = progress()->fallingStarCount;
    if (fallingCount > 0 && !isFalling()) fallingCount = 0;
    for (Star* star : stars)
        if (star) star->updatePosition();
    if (!clearRemaining) return;
    clearTimer += dt;
    if (clearTimer > kClearInterval) {
        clearNextRemaining();
        clearTimer = 0.0f;
    }
}

void StarMatrix::clearNextRemaining() {
    for (Star*& star : stars) {
        if (!star) continue;
        showStarBurst(star->getColor(), star->getPosition(), this);
        removeChild(star, true);
        star = nullptr;
        QKSound::getInstance()->playPop();
        return;
    }
    clearRemaining = false;
    finishLevel();
}

void StarMatrix::finishLevel() {
    GameData* data = progress();
    if (data->currentScore < data->targetScore) {
        if (gameLayer) gameLayer->gameOver();
        return;
    }
    links::submitScore();
    data->setLevel(data->level + 1);
    data->freshBoard = true;
    data->resetPropCounts();
    if (gameLayer) gameLayer->nextLevel();
}

void StarMatrix::removeAllStars() {
    for (Star*& star : stars) {
        if (star) removeChild(star, true);
        star = nullptr;
    }
    clearRemaining = false;
}

void StarMatrix::rebuildAfterProp(const board::Cells& colours) {
    removeAllStars();
    // The pieces of a fall in progress are gone and the new ones are placed: nothing falls.
    progress()->fallingStarCount = 0;
    for (int index = 0; index < board::kCellCount; ++index)
        if (colours[index] != board::kEmpty) placeStar(index, colours[index], false);
    selectedStars.clear();
    GameData* data = progress();
    data->setDiamond(data->getDiamond() - GameData::kPropCost);
    if (noPairLeft()) {
        // Straight to clearing, without the left-piece messages or their bonus. The count of pieces left is
        // stored all the same: the level's score submission checks its history against it.
        data->setRemainStarCount(board::pieceCount(colours));
        clearRemaining = true;
        if (gameLayer) gameLayer->setPropsEnabled(false);
    } else {
        saveProgress();
    }
    if (gameLayer) gameLayer->refreshScore();
}

void StarMatrix::paintStar(int colour) {
    QKSound::getInstance()->playProp(1);
    bombMode = paintMode = false;
    board::Cells colours = cells();
    if (!board::isColour(colour) || colours[paintCell] == board::kEmpty) {
        kite::log("StarMatrix: no piece to paint %d at cell %d", colour, paintCell);
        return;
    }
    board::saveCellColour(paintCell, colour);
    colours[paintCell] = colour;
    GameData* data = progress();
    data->setPropPaintCount(data->getPropPaintCount() - 1);
    rebuildAfterProp(colours);
}

void StarMatrix::shuffleColours() {
    bombMode = paintMode = false;
    game::seedRandom();
    board::Cells colours = cells();
    for (int& colour : colours)
        if (colour != board::kEmpty) colour = std::rand() % board::kColourCount;
    GameData* data = progress();
    data->setPropResetCount(data->getPropResetCount() - 1);
    rebuildAfterProp(colours);
}
