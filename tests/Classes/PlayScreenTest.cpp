// The play screen: level banners, props and their costs, the paint chooser, the tutorial, the pause and
// game-over dialogs, touches during animations, and the sounds of each event.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

#include "Classes/FloatWord.h"
#include "Classes/GameEffects.h"
#include "Classes/GameHelpers.h"
#include "Classes/GameOverLayer.h"
#include "Classes/GameScene.h"
#include "Classes/GuideLayer.h"
#include "Classes/PauseLayer.h"
#include "Classes/PropPaintLayer.h"
#include "Classes/SaleLayer.h"
#include "Classes/ServerExchange.h"
#include "Classes/TopMenu.h"
#include "PlayTestSupport.h"
#include "kite/http/HttpTestSupport.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Label.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/Touch.h"
#include "support/LogCapture.h"
#include "tools/server/GameServer.h"

namespace {

using game::test::cellsFrom;
using game::test::childOf;
using game::test::PlayScreenTest;
using game::test::SoundLog;
using game::test::storedCells;

// Five colours in stripes: every piece has a same-coloured neighbour below it.
const board::Cells kStripes = cellsFrom({"0123401234", "0123401234", "1234012340", "1234012340", "2340123401",
                                         "2340123401", "3401234012", "3401234012", "4012340123", "4012340123"});

class PlayScreen : public PlayScreenTest {
protected:
    // A resumed game on the given layout, its board in place.
    StarMatrix* playOn(const board::Cells& cells) {
        board::saveLayout(cells);
        data->freshBoard = false;
        startScene();
        return waitForBoard();
    }
    static std::string text(kite::Label* label) { return label ? label->getString() : "(none)"; }
    // A finger on the centre of a cell.
    void tapCell(int row, int column) {
        const kite::Vec2 cell = StarMatrix::cellCentre(row, column);
        const float scale = 640.0f / 480.0f;
        const float height = kite::Director::getInstance()->getWinSize().height;
        layer->onTouchBegan(touchAtPixel(cell.x * scale, (height - cell.y) * scale), nullptr);
    }
    // Taps on the pixels of the board's top edge (design y 480) and of the line between columns 8 and 9
    // (design x 432): the first is off the board, the second in column 9.
    void tapBoardEdges() {
        StarMatrix* board = playOn(kStripes);
        ASSERT_NE(board, nullptr);
        const float scale = 640.0f / 480.0f;
        const float height = kite::Director::getInstance()->getWinSize().height;
        layer->onTouchBegan(touchAtPixel(100, (height - 480) * scale), nullptr);
        EXPECT_TRUE(board->isTouchEnabled()) << "a piece of the top row was taken";
        layer->onTouchBegan(touchAtPixel(432 * scale, (height - 24) * scale), nullptr);
        settle(board);
        board::Cells expected = kStripes;
        expected[board::cellIndex(8, 9)] = expected[board::cellIndex(9, 9)] = board::kEmpty;
        board::settle(expected);
        EXPECT_EQ(data->getGameScore(), "2");
        EXPECT_EQ(board->cells(), expected) << "not column 9's pair";
    }
    // Plays the only move of a losing board; the game-over dialog once it opens.
    GameOverLayer* loseLevel(int diamonds, const board::Cells& losing = kLosing) {
        StarMatrix* board = playOn(losing);
        data->setDiamond(diamonds);
        board->onBoardTouch(StarMatrix::cellCentre(9, 0));
        for (int i = 0; i < 1200 && !childOf<GameOverLayer>(layer); ++i) frame();
        return childOf<GameOverLayer>(layer);
    }
    // A board whose only move (the pair at the bottom left) ends the level far below the target.
    static inline const board::Cells kLosing = cellsFrom({"0012341234"});
    // The same on a full board: the popped pair and the 98 pieces left account for every cell.
    static board::Cells fullLosingBoard() {
        board::Cells cells;
        for (int index = 0; index < board::kCellCount; ++index)
            cells[index] = (board::rowOf(index) + 2 * board::columnOf(index)) % board::kColourCount;
        cells[board::cellIndex(9, 1)] = cells[board::cellIndex(9, 0)];
        return cells;
    }
};

// The pictures the menu preloads for the play screen are all it shows that take long to decode, so the
// frame that builds the screen decodes none of them; once preloaded (the tutorial's with them, each
// picture found) they are in the cache.
TEST_F(PlayScreen, TheLargePicturesOfThePlayScreenAreThoseThePreloadAsksFor) {
    kite::TextureCache* cache = kite::Director::getInstance()->getTextureCache();
    ASSERT_NE(cache, nullptr);
    cache->removeAllTextures();
    ASSERT_NE(playOn(kStripes), nullptr);
    const std::vector<std::string> preloaded = GameScene::picturesToPreload(true);
    for (const std::string& shown : game::test::largePicturesInTheCache()) {
        // A font's page is named by its full path.
        const std::string asPath = "/" + shown;
        const auto names = [&](const std::string& picture) {
            return picture == shown || (picture.size() > asPath.size() &&
                                        picture.compare(picture.size() - asPath.size(), asPath.size(), asPath) == 0);
        };
        EXPECT_TRUE(std::any_of(preloaded.begin(), preloaded.end(), names)) << shown << " is not preloaded";
    }

    cache->removeAllTextures();
    QKSingleton::getInstance()->setGuideStatus(0);
    GameScene::preloadPictures();
    const auto allCached = [&] {
        for (const std::string& picture : preloaded)
            if (!cache->getTextureForKey(picture)) return false;
        return true;
    };
    for (int i = 0; i < 2000 && !allCached(); ++i) {
        frame();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(allCached());
}

TEST_F(PlayScreen, LevelStartFloatsTheBannersWithReadyGoThenLaysTheBoard) {
    SoundLog sounds;
    startScene();
    EXPECT_EQ(sounds.count("music Music/bgm.mp3"), 1);
    EXPECT_EQ(sounds.count("effect Music/readygo.mp3"), 1);
    FloatWord* banner = childOf<FloatWord>(layer);
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(text(banner->getLabel()), lookupWord("guanqia") + "1");
    EXPECT_FALSE(layer->arePropsEnabled());
    seconds(0.5f);
    std::vector<std::string> words;
    for (kite::Node* child : layer->getChildren())
        if (auto* word = dynamic_cast<FloatWord*>(child)) words.push_back(text(word->getLabel()));
    EXPECT_EQ(words, (std::vector<std::string>{lookupWord("guanqia") + "1",
                                               lookupWord("mubiao") + "1000" + lookupWord("fen")}));
    EXPECT_EQ(layer->getBoard(), nullptr);
    seconds(GameLayer::kLevelStartDelay - 0.5f + 0.05f);
    ASSERT_NE(layer->getBoard(), nullptr);
    EXPECT_EQ(childOf<FloatWord>(layer), nullptr);  // both words went
    EXPECT_TRUE(layer->arePropsEnabled());
    EXPECT_EQ(text(layer->getTopMenu()->targetLabel), "1000");
    EXPECT_EQ(text(layer->getTopMenu()->bombCountLabel), "3");
    EXPECT_EQ(text(layer->getTopMenu()->diamondLabel), "20");
}

TEST_F(PlayScreen, TutorialOpensOnFirstPlayOnlyAndClosingEndsItForGood) {
    QKSingleton::getInstance()->setGuideStatus(0);
    kite::test::LogCapture log;
    startScene();
    seconds(GameLayer::kLevelStartDelay + 0.05f);
    ASSERT_NE(layer->getBoard(), nullptr);
    EXPECT_EQ(childOf<GuideLayer>(layer), nullptr);
    seconds(GameLayer::kGuideDelay);
    GuideLayer* page = childOf<GuideLayer>(layer);
    ASSERT_NE(page, nullptr);
    // The bomb page's prop button turns to the paint page; that one's close button ends the tutorial.
    page->gameLayer->showGuidePaint();
    page->removeFromParentAndCleanup(true);
    GuideLayer* paintPage = childOf<GuideLayer>(layer);
    ASSERT_NE(paintPage, nullptr);
    EXPECT_EQ(QKSingleton::getInstance()->getGuideStatus(), 0);
    layer->finishGuide();
    paintPage->removeFromParentAndCleanup(true);
    EXPECT_EQ(QKSingleton::getInstance()->getGuideStatus(), 1);
    EXPECT_TRUE(log.contains("QKSingleton: alert \"提示\" / \"祝您游戏愉快^_^！\""));
}

TEST_F(PlayScreen, BombTogglesArmAndDisarmAndExcludeThePaint) {
    SoundLog sounds;
    StarMatrix* board = playOn(kStripes);
    ASSERT_NE(board, nullptr);
    kite::MenuItemToggle* bomb = layer->getBombToggle();
    kite::MenuItemToggle* paint = layer->getPaintToggle();
    bomb->activate();
    EXPECT_EQ(bomb->getSelectedIndex(), 1u);
    EXPECT_TRUE(board->bombMode);
    EXPECT_TRUE(layer->getPromptLabel()->isVisible());
    EXPECT_EQ(text(layer->getPromptLabel()), "选择要炸掉的贪官");
    EXPECT_EQ(sounds.count("effect Music/propselect.mp3"), 1);

    paint->activate();  // arming the paint disarms the bomb
    EXPECT_EQ(bomb->getSelectedIndex(), 0u);
    EXPECT_TRUE(board->paintMode);
    EXPECT_FALSE(board->bombMode);
    EXPECT_EQ(text(layer->getPromptLabel()), "选择需要变色的贪官");

    paint->activate();  // tapping the armed toggle again disarms it
    EXPECT_EQ(paint->getSelectedIndex(), 0u);
    EXPECT_FALSE(board->paintMode);
    EXPECT_FALSE(layer->getPromptLabel()->isVisible());
    EXPECT_EQ(data->getDiamond(), 20);  // arming charges nothing
}

TEST_F(PlayScreen, BombLandsWithItsSoundAndCharges) {
    SoundLog sounds;
    StarMatrix* board = playOn(kStripes);
    layer->getBombToggle()->activate();
    board->onBoardTouch(StarMatrix::cellCentre(9, 0));
    settle(board);
    EXPECT_EQ(data->getDiamond(), 15);
    EXPECT_EQ(data->getPropBombCount(), 2);
    EXPECT_EQ(sounds.count("effect Music/propbomb.mp3"), 1);
    EXPECT_EQ(sounds.count("effect Music/pop.mp3"), 0);
    EXPECT_EQ(board::pieceCount(storedCells()), 99);
    layer->refreshScore();
    EXPECT_EQ(text(layer->getTopMenu()->bombCountLabel), "2");
    EXPECT_EQ(text(layer->getTopMenu()->diamondLabel), "15");
}

TEST_F(PlayScreen, PropsWithoutUsesAlertAndWithoutDiamondsOpenTheSale) {
    kite::test::LogCapture log;
    playOn(kStripes);
    data->setDiamond(4);
    layer->getBombToggle()->activate();
    EXPECT_EQ(layer->getBombToggle()->getSelectedIndex(), 0u);
    EXPECT_FALSE(layer->getBoard()->bombMode);
    SaleLayer* sale = childOf<SaleLayer>(layer);
    ASSERT_NE(sale, nullptr);
    sale->menuCloseCallback();
    layer->getResetItem()->activate();
    EXPECT_NE(childOf<SaleLayer>(layer), nullptr);

    data->setDiamond(20);
    data->setPropPaintCount(0);
    layer->getPaintToggle()->activate();
    EXPECT_EQ(layer->getPaintToggle()->getSelectedIndex(), 0u);
    EXPECT_TRUE(log.contains("QKSingleton: alert \"提示\" / \"当前道具次数已用完\""));
    EXPECT_EQ(data->getDiamond(), 20);
}

TEST_F(PlayScreen, RearrangeRestsTwoSecondsEvenWhenTheBoardEnablesThePropsSooner) {
    SoundLog sounds;
    StarMatrix* board = playOn(kStripes);
    kite::MenuItemImage* reset = layer->getResetItem();
    reset->activate();
    EXPECT_EQ(sounds.count("effect Music/proprainbow.mp3"), 1);
    EXPECT_EQ(data->getDiamond(), 15);
    EXPECT_EQ(data->getPropResetCount(), 2);
    EXPECT_EQ(storedCells(), board->cells());
    EXPECT_EQ(text(layer->getPromptLabel()), "重新排列花费5颗钻石");
    EXPECT_FALSE(reset->isEnabled());
    layer->setPropsEnabled(true);
    EXPECT_FALSE(reset->isEnabled());
    EXPECT_TRUE(layer->getBombToggle()->isEnabled());
    seconds(GameLayer::kResetCooldown - 0.1f);
    EXPECT_FALSE(reset->isEnabled());
    seconds(0.2f);
    EXPECT_TRUE(reset->isEnabled());
    EXPECT_FALSE(layer->isResetCooling());
}

TEST_F(PlayScreen, PaintChooserPointsAtTheColumnAndRepaintsForAFee) {
    SoundLog sounds;
    StarMatrix* board = playOn(kStripes);
    layer->getPaintToggle()->activate();
    const kite::Vec2 rightmost = StarMatrix::cellCentre(5, 9);
    board->onBoardTouch(rightmost);
    PropPaintLayer* chooser = childOf<PropPaintLayer>(layer);
    ASSERT_NE(chooser, nullptr);
    EXPECT_FLOAT_EQ(chooser->arrow->getPosition().x, 440.0f);
    EXPECT_FLOAT_EQ(chooser->box->getPosition().y, 4 * 48 + 109.0f);
    EXPECT_FLOAT_EQ(chooser->arrow->getPosition().y, 4 * 48 + 109.0f - 68);
    chooser->placeAt(StarMatrix::cellCentre(5, 0));
    EXPECT_FLOAT_EQ(chooser->arrow->getPosition().x, 40.0f);
    chooser->placeAt(StarMatrix::cellCentre(5, 4));
    EXPECT_FLOAT_EQ(chooser->arrow->getPosition().x, 4 * 48 + 24.0f);

    // The piece's own colour still costs a use and 5 diamonds.
    const int own = kStripes[board::cellIndex(5, 9)];
    chooser->board->paintStar(own);
    chooser->removeFromParentAndCleanup(true);
    EXPECT_EQ(data->getDiamond(), 15);
    EXPECT_EQ(data->getPropPaintCount(), 2);
    EXPECT_EQ(sounds.count("effect Music/proppaint.mp3"), 1);
    EXPECT_EQ(storedCells(), kStripes);
}

TEST_F(PlayScreen, BackButtonOfTheChooserChargesNothing) {
    board::saveLayout(kStripes);
    data->freshBoard = false;
    startSceneOnDirector();
    StarMatrix* board = waitForBoard();
    ASSERT_NE(board, nullptr);
    layer->getPaintToggle()->activate();
    board->onBoardTouch(StarMatrix::cellCentre(2, 2));
    PropPaintLayer* chooser = childOf<PropPaintLayer>(layer);
    ASSERT_NE(chooser, nullptr);
    EXPECT_FALSE(board->paintMode);
    frames(10);  // popped in
    // The back button: 40 points left of the box's right edge, half way up.
    const kite::Size box = chooser->box->getContentSize();
    tapOnView(chooser->box->convertToWorldSpace(kite::Vec2(box.width - 40, box.height / 2)));
    EXPECT_EQ(childOf<PropPaintLayer>(layer), nullptr) << "the tap missed the back button";
    EXPECT_EQ(data->getDiamond(), 20);
    EXPECT_EQ(data->getPropPaintCount(), 3);
    EXPECT_EQ(storedCells(), kStripes);
}

TEST_F(PlayScreen, TapsWhilePiecesFallReachTheBoard) {
    StarMatrix* board = playOn(kStripes);
    tapCell(9, 0);  // the 4s at the bottom of column 0: the column above drops two rows
    for (int i = 0; i < 60 && !board->isTouchEnabled(); ++i) frame();
    frames(2);
    ASSERT_TRUE(board->isMoving());
    tapCell(9, 1);  // the 0s beside them, while column 0 falls
    settle(board);
    EXPECT_EQ(data->getGameScore(), "2|2");
    board::Cells expected = kStripes;
    for (int row : {8, 9})
        for (int column : {0, 1}) expected[board::cellIndex(row, column)] = board::kEmpty;
    board::settle(expected);
    EXPECT_EQ(board->cells(), expected);
    EXPECT_EQ(storedCells(), expected);
}

TEST_F(PlayScreen, TapsOnTheBoardsTopEdgeOrAColumnLineFollowTheCellBoundsOnTheTallIphone) { tapBoardEdges(); }

TEST_F(PlayScreen, TapsOnTheBoardsTopEdgeOrAColumnLineFollowTheCellBoundsOnTheShortIphone) {
    useScreen(960);
    tapBoardEdges();
}

TEST_F(PlayScreen, RearrangeCooldownEndingBetweenLevelsLeavesTheButtonOffUntilTheNextBoard) {
    // One pair: the fixed seed's new colours leave none, so the rearrange ends the level above its target.
    StarMatrix* board = playOn(cellsFrom({"00"}));
    data->currentScore = 1200;
    kite::MenuItemImage* reset = layer->getResetItem();
    reset->activate();
    ASSERT_TRUE(board->isClearingRemaining()) << "the new colours leave a pair";
    seconds(GameLayer::kResetCooldown + 0.1f);
    ASSERT_EQ(data->level, 1) << "the level has passed and the next one's banners show";
    ASSERT_NE(layer->getBoard(), nullptr);
    EXPECT_EQ(layer->getBoard(), board) << "no new board yet";
    EXPECT_FALSE(layer->isResetCooling());
    EXPECT_FALSE(reset->isEnabled());
    reset->activate();  // were it on: the old, empty board shuffled, charged and lost
    EXPECT_EQ(data->getDiamond(), 15);
    EXPECT_EQ(childOf<GameOverLayer>(layer), nullptr);
    seconds(GameLayer::kLevelStartDelay);
    ASSERT_NE(layer->getBoard(), board);
    EXPECT_TRUE(reset->isEnabled());
}

TEST_F(PlayScreen, ComboWordAndSoundsFollowTheGroupSize) {
    SoundLog sounds;
    // Column 0 holds a group of 5, column 1 of 7, column 2 of 10 (two columns of five); the rest pairs.
    const board::Cells cells = cellsFrom({"3434343434", "4343434343", "3434343434", "4343434343", "3434343434",
                                          "0121212121", "0121212121", "0121212121", "0121212121", "0121212121"});
    StarMatrix* board = playOn(cells);
    board->onBoardTouch(StarMatrix::cellCentre(9, 0));
    EXPECT_EQ(text(layer->getComboLabel()), "5" + lookupWord("lianji") + "125" + lookupWord("fen"));
    EXPECT_TRUE(layer->getComboLabel()->isVisible());
    settle(board);
    EXPECT_EQ(sounds.count("effect Music/combo_1.mp3"), 1);
    EXPECT_EQ(sounds.count("effect Music/pop.mp3"), 5);
}

TEST_F(PlayScreen, StageClearShowsOncePerLevelWithItsSound) {
    SoundLog sounds;
    StarMatrix* board = playOn(kStripes);
    data->currentScore = data->targetScore;
    board->onBoardTouch(StarMatrix::cellCentre(9, 0));
    settle(board);
    board->onBoardTouch(StarMatrix::cellCentre(9, 2));
    settle(board);
    EXPECT_EQ(sounds.count("effect Music/nextgame.mp3"), 1);
    ASSERT_NE(currentStageClear(), nullptr);
    EXPECT_EQ(currentStageClear()->getParent(), board);
    removeStageClear();
    EXPECT_EQ(currentStageClear(), nullptr);
    removeStageClear();  // an empty slot: nothing
}

TEST_F(PlayScreen, StageClearSlotOutlivesTheBoardItWasShownOn) {
    SoundLog sounds;
    {
        kite::RefPtr<kite::Node> board(kite::Node::create());
        showStageClear(board.get());
        ASSERT_NE(currentStageClear(), nullptr);
        board->cleanup();
    }  // the board is gone; the screen left without taking the picture away
    kite::PoolManager::getInstance()->getCurrentPool()->clear();
    showStageClear(nullptr);  // still filled: nothing shown, no sound
    EXPECT_EQ(sounds.count("effect Music/nextgame.mp3"), 1);
    removeStageClear();
    EXPECT_EQ(currentStageClear(), nullptr);
}

TEST_F(PlayScreen, PauseSwitchesMusicAndSoundAndVoiceFollowsBoth) {
    SoundLog sounds;
    playOn(kStripes);
    layer->onPause();
    PauseLayer* pause = childOf<PauseLayer>(layer);
    ASSERT_NE(pause, nullptr);
    QKSingleton* state = QKSingleton::getInstance();
    pause->onMusic();
    EXPECT_FALSE(state->getMusicOnOff());
    EXPECT_EQ(sounds.calls.back(), "stop music ");
    EXPECT_TRUE(state->getVoiceOnOff());
    pause->onSound();
    EXPECT_FALSE(state->getSoundOnOff());
    EXPECT_FALSE(state->getVoiceOnOff());
    QKSound::getInstance()->playPop();
    QKSound::getInstance()->playBackgroundMusic();
    EXPECT_EQ(sounds.calls.back(), "stop music ");  // both switched off: nothing plays
    pause->onMusic();
    EXPECT_EQ(sounds.calls.back(), "music Music/bgm.mp3");
    EXPECT_TRUE(state->getVoiceOnOff());
    pause->onClose();
    EXPECT_EQ(childOf<PauseLayer>(layer), nullptr);
}

TEST_F(PlayScreen, PauseTogglesShowTheStoredSwitches) {
    QKSingleton::getInstance()->setSoundOnOff(false);
    playOn(kStripes);
    layer->onPause();
    PauseLayer* pause = childOf<PauseLayer>(layer);
    ASSERT_NE(pause, nullptr);
    EXPECT_EQ(pause->musicToggle->getSelectedIndex(), 0u);
    EXPECT_EQ(pause->soundToggle->getSelectedIndex(), 1u);
}

TEST_F(PlayScreen, LostLevelOpensGameOverAndTheRetryCostsFiveDiamonds) {
    GameOverLayer* over = loseLevel(5);
    ASSERT_NE(over, nullptr);
    StarMatrix* board = layer->getBoard();
    EXPECT_FALSE(store()->getBoolForKey("isAlive"));
    EXPECT_EQ(over->board, board);
    data->setPropBombCount(0);
    over->onContinue();
    EXPECT_EQ(data->getDiamond(), 0);
    EXPECT_EQ(childOf<GameOverLayer>(layer), nullptr);
    EXPECT_TRUE(store()->getBoolForKey("isAlive"));
    EXPECT_EQ(data->currentScore, data->getStartScore());
    EXPECT_EQ(data->getPropBombCount(), 3);
    EXPECT_EQ(board::pieceCount(board->cells()), 100);
    EXPECT_EQ(storedCells(), board->cells());
}

TEST_F(PlayScreen, RetryWithoutDiamondsOpensTheSaleAndStays) {
    GameOverLayer* over = loseLevel(4);
    ASSERT_NE(over, nullptr);
    over->onContinue();
    EXPECT_NE(childOf<SaleLayer>(layer), nullptr);
    EXPECT_EQ(childOf<GameOverLayer>(layer), over);
    EXPECT_EQ(data->getDiamond(), 4);
}

TEST_F(PlayScreen, LeavingGameOverSubmitsTheScoreBeforeTheNotice) {
    kite::test::LogCapture log;
    GameOverLayer* over = loseLevel(20, fullLosingBoard());
    ASSERT_NE(over, nullptr);
    ASSERT_EQ(data->getGameScore(), "2");
    ASSERT_EQ(data->getRemainStarCount(), 98);
    stargrid_server::GameServer::Options options;
    options.echo = false;
    std::string error;
    std::unique_ptr<stargrid_server::GameServer> server = stargrid_server::GameServer::start(options, &error);
    ASSERT_TRUE(server) << error;
    QKSingleton* state = QKSingleton::getInstance();
    state->networkReachable = true;
    state->setHttpRequestURL(server->url("/game"));
    state->setCellphone(base64Encode("13812345678"));
    over->onClose();
    EXPECT_EQ(childOf<GameOverLayer>(layer), nullptr);
    ASSERT_TRUE(kite::test::stepFramesUntil([] { return ServerExchange::waitingCount() == 0; }));
    std::vector<std::string> paths;
    std::string scoreBody;
    for (const auto& entry : server->requestLog().since(0)) {
        paths.push_back(entry.path);
        if (entry.path == "/game/SubmitScore") scoreBody = entry.body;
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"/game/SubmitScore", "/game/SubmitGameover"}));
    EXPECT_NE(scoreBody.find("\"remain\":\"98\",\"score\":\"2\""), std::string::npos) << scoreBody;
    ServerExchange::destroyClient(true);
    state->setCellphone("");
}

TEST_F(PlayScreen, FloatWordCallbackRunsOnceAndTheWordLeaves) {
    startScene();
    int calls = 0;
    FloatWord* word = FloatWord::create("x", 50, kite::Vec2(480, 400));
    ASSERT_NE(word, nullptr);
    layer->addChild(word);
    word->floatInOut(0.1f, 0.1f, [&calls] { ++calls; });
    seconds(0.6f);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(word->getParent(), nullptr);
    FloatWord* out = FloatWord::create("y", 50, kite::Vec2(480, 400));
    layer->addChild(out);
    out->floatOut(0.1f, [&calls] { ++calls; });
    seconds(0.4f);
    EXPECT_EQ(calls, 2);
}

TEST_F(PlayScreen, ComboPicturesByGroupSize) {
    EXPECT_EQ(comboPictureFor(4), nullptr);
    EXPECT_STREQ(comboPictureFor(5), "Effect/combo_1.png");
    EXPECT_STREQ(comboPictureFor(6), "Effect/combo_1.png");
    EXPECT_STREQ(comboPictureFor(7), "Effect/combo_2.png");
    EXPECT_STREQ(comboPictureFor(9), "Effect/combo_2.png");
    EXPECT_STREQ(comboPictureFor(10), "Effect/combo_3.png");
    EXPECT_STREQ(QKSound::comboEffectFor(5), "Music/combo_1.mp3");
    EXPECT_STREQ(QKSound::comboEffectFor(10), "Music/combo_3.mp3");
    EXPECT_EQ(QKSound::comboEffectFor(4), nullptr);
}

}  // namespace
