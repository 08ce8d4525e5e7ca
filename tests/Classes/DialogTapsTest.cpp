// A finger on the play screen's dialogs reaches the button drawn where it lands: the paint chooser's back
// button charges nothing, and the pause dialog's switches switch without leaving the game.
#include <gtest/gtest.h>

#include "BoardTestSupport.h"
#include "Classes/GameData.h"
#include "Classes/GameLayer.h"
#include "Classes/PauseLayer.h"
#include "Classes/PropPaintLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/StarMatrix.h"
#include "ServerTestSupport.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace {

using game::test::childOf;
using game::test::DrawnServerGameTest;

class DialogTapsTest : public DrawnServerGameTest {
protected:
    void SetUp() override {
        QKSingleton* state = QKSingleton::getInstance();
        state->tallScreen = true;
        DrawnServerGameTest::SetUp();
        state->setGuideStatus(1);
        state->setMusicOnOff(true);
        state->setSoundOnOff(true);
        data->newGame();
        data->setDiamond(20);
        board::saveLayout(stripes());
        data->freshBoard = false;
        play = GameLayer::create();
        scene->addChild(play);
        for (int i = 0; i < 600 && !(play->getBoard() && !play->getBoard()->isMoving()); ++i) frames(1);
        ASSERT_NE(play->getBoard(), nullptr);
    }
    void TearDown() override {
        DrawnServerGameTest::TearDown();
        QKSingleton::getInstance()->tallScreen = false;
    }

    // Pairs down every column: every piece has a neighbour of its colour.
    static board::Cells stripes() {
        board::Cells cells;
        for (int index = 0; index < board::kCellCount; ++index)
            cells[index] = (board::columnOf(index) + board::rowOf(index) / 2) % board::kColourCount;
        return cells;
    }

    // A finger down and up at a point of the screen (design points from the bottom left).
    void tapAt(const kite::Vec2& world) {
        intptr_t id = 9;
        float x = world.x;
        float y = static_cast<float>(frameHeight()) - world.y;
        director->getOpenGLView()->handleTouchesBegin(1, &id, &x, &y);
        frames(1);
        director->getOpenGLView()->handleTouchesEnd(1, &id, &x, &y);
        frames(2);
    }
    // A point of a sprite, from its bottom-left corner, on the screen.
    static kite::Vec2 on(kite::Sprite* sprite, float x, float y) {
        return sprite->convertToWorldSpace(kite::Vec2(x, y));
    }

    GameData* data = GameData::getInstance();
    GameLayer* play = nullptr;
};

TEST_F(DialogTapsTest, BackInThePaintChooserChargesNothingAndPaintsNothing) {
    const board::Cells before = game::test::storedCells();
    tapAt(play->getPaintToggle()->convertToWorldSpace(kite::Vec2(35, 33)));
    ASSERT_EQ(play->getPaintToggle()->getSelectedIndex(), 1u);
    tapAt(StarMatrix::cellCentre(5, 4));
    PropPaintLayer* chooser = childOf<PropPaintLayer>(play);
    ASSERT_NE(chooser, nullptr);
    frames(10);
    // The back button sits 40 points left of the box's right edge, half way up.
    const kite::Size box = chooser->box->getContentSize();
    tapAt(on(chooser->box, box.width - 40, box.height / 2));
    frames(30);
    EXPECT_EQ(childOf<PropPaintLayer>(play), nullptr);
    EXPECT_EQ(data->getDiamond(), 20);
    EXPECT_EQ(data->getPropPaintCount(), 3);
    EXPECT_EQ(game::test::storedCells(), before);
}

TEST_F(DialogTapsTest, EachPauseSwitchTogglesAndTheGameGoesOn) {
    data->currentScore = 140;
    const kite::Scene* running = director->getRunningScene();
    tapAt(kite::Vec2(480 - 49, 852 - 100));
    kite::RefPtr<PauseLayer> pause(childOf<PauseLayer>(play));
    ASSERT_NE(pause.get(), nullptr);
    frames(15);
    QKSingleton* state = QKSingleton::getInstance();
    // The music switch 75 points left of the dialog's middle, 135 above its bottom; the sound switch as far right.
    const float middle = pause->background->getContentSize().width / 2;
    tapAt(on(pause->background, middle - 75, 135));
    EXPECT_FALSE(state->getMusicOnOff());
    EXPECT_TRUE(state->getSoundOnOff());
    tapAt(on(pause->background, middle + 75, 135));
    EXPECT_FALSE(state->getSoundOnOff());
    EXPECT_FALSE(state->getVoiceOnOff());
    frames(30);
    EXPECT_EQ(director->getRunningScene(), running);
    EXPECT_EQ(childOf<PauseLayer>(play), pause.get());
    EXPECT_EQ(data->currentScore, 140);
    EXPECT_EQ(pause->musicToggle->getSelectedIndex(), 1u);
    EXPECT_EQ(pause->soundToggle->getSelectedIndex(), 1u);
}

}  // namespace
