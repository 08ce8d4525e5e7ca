// Menus: a finger on the headless view selects, re-targets and activates items; images follow the state.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SceneDrawSupport.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Sprite.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace kite {
namespace {

using test::kBlack;
using test::kBlue;
using test::kGreen;
using test::kRed;
using test::Pixel;
using test::PixelNear;

class MenuTest : public test::DirectorDrawTest {
protected:
    void SetUp() override {
        DirectorDrawTest::SetUp();
        if (!director) return;
        director->getEventDispatcher()->setEnabled(true);
        red = test::solidTexture(255, 0, 0, 255, 20, 20);
        green = test::solidTexture(0, 255, 0, 255, 20, 20);
        blue = test::solidTexture(0, 0, 255, 255, 20, 20);
        scene = Scene::create();
        director->runWithScene(scene);
    }

    // A 20 x 20 item in red, green while selected, blue while disabled; its name goes to fired on activation.
    MenuItemSprite* item(const std::string& itemName) {
        MenuItemSprite* result = MenuItemSprite::create(square(red.get()), square(green.get()), square(blue.get()),
                                                        [this, itemName](Ref*) { fired.push_back(itemName); });
        result->setName(itemName);
        return result;
    }
    static Sprite* square(Texture2D* texture) { return Sprite::createWithTexture(texture); }
    // The menu sits at the middle of the 96 x 64 window: its origin is (48, 32).
    Menu* showMenu(std::initializer_list<MenuItem*> items) {
        Vector<MenuItem*> list;
        for (MenuItem* i : items) list.pushBack(i);
        Menu* menu = Menu::createWithArray(list);
        scene->addChild(menu);
        director->mainLoop();
        return menu;
    }
    void frame() { director->mainLoop(); }

    RefPtr<Texture2D> red, green, blue;
    Scene* scene = nullptr;
    std::vector<std::string> fired;
};

TEST_F(MenuTest, TapShowsTheSelectedImageWhileHeldAndActivatesOnReleaseInside) {
    showMenu({item("play")});
    EXPECT_THAT(readPixel(48, 32), PixelNear(kRed, 0));
    EXPECT_THAT(readPixel(37, 32), PixelNear(kBlack, 0));

    touchDown(40, 25);
    frame();
    EXPECT_THAT(readPixel(48, 32), PixelNear(kGreen, 0));
    EXPECT_THAT(fired, IsEmpty());

    touchUp(41, 26);
    frame();
    EXPECT_THAT(readPixel(48, 32), PixelNear(kRed, 0));
    EXPECT_THAT(fired, ElementsAre("play"));
}

TEST_F(MenuTest, AnItemWithoutANormalImageShowsOnlyItsDisabledImage) {
    MenuItemSprite* bare = MenuItemSprite::create(nullptr, square(green.get()), square(blue.get()));
    ASSERT_NE(bare, nullptr);
    showMenu({bare});  // its images start at the item's position, the window's middle
    EXPECT_THAT(readPixel(58, 42), PixelNear(kBlack, 0));
    bare->selected();
    frame();
    EXPECT_THAT(readPixel(58, 42), PixelNear(kBlack, 0));
    bare->setEnabled(false);
    frame();
    EXPECT_THAT(readPixel(58, 42), PixelNear(kBlue, 0));
}

TEST_F(MenuTest, ReleaseOutsideActivatesNothing) {
    Menu* menu = showMenu({item("play")});
    touchDown(48, 32);
    touchMove(80, 60);
    EXPECT_EQ(menu->getSelectedItem(), nullptr);
    frame();
    EXPECT_THAT(readPixel(48, 32), PixelNear(kRed, 0));
    touchUp(80, 60);
    EXPECT_THAT(fired, IsEmpty());
    EXPECT_EQ(menu->getState(), Menu::State::WAITING);
}

TEST_F(MenuTest, MovingToAnotherItemRetargetsAndOnlyThatOneActivates) {
    MenuItemSprite* left = item("left");
    MenuItemSprite* right = item("right");
    Menu* menu = showMenu({left, right});
    menu->alignItemsHorizontallyWithPadding(10);
    EXPECT_EQ(left->getPosition(), Vec2(-15, 0));
    EXPECT_EQ(right->getPosition(), Vec2(15, 0));

    touchDown(33, 32);
    EXPECT_TRUE(left->isSelected());
    touchMove(63, 32);
    EXPECT_FALSE(left->isSelected());
    EXPECT_TRUE(right->isSelected());
    touchUp(63, 32);
    EXPECT_THAT(fired, ElementsAre("right"));
}

TEST_F(MenuTest, CancelledTouchUnselectsWithoutActivating) {
    MenuItemSprite* play = item("play");
    showMenu({play});
    touchDown(48, 32);
    touchCancel(48, 32);
    EXPECT_FALSE(play->isSelected());
    EXPECT_THAT(fired, IsEmpty());
}

TEST_F(MenuTest, DisabledItemShowsItsDisabledImageAndIgnoresTouches) {
    MenuItemSprite* play = item("play");
    Menu* menu = showMenu({play});
    play->setEnabled(false);
    frame();
    EXPECT_THAT(readPixel(48, 32), PixelNear(kBlue, 0));
    touchDown(48, 32);
    touchUp(48, 32);
    EXPECT_THAT(fired, IsEmpty());
    EXPECT_FALSE(play->isSelected());

    play->setEnabled(true);
    menu->setEnabled(false);  // a disabled menu ignores touches on enabled items
    touchDown(48, 32);
    touchUp(48, 32);
    EXPECT_THAT(fired, IsEmpty());
}

TEST_F(MenuTest, HiddenAncestorOrItemTakesNoTouch) {
    Node* holder = Node::create();
    scene->addChild(holder);
    MenuItemSprite* play = item("play");
    Menu* menu = Menu::create(play, nullptr);
    holder->addChild(menu);
    holder->setVisible(false);
    touchDown(48, 32);
    touchUp(48, 32);
    holder->setVisible(true);
    play->setVisible(false);
    touchDown(48, 32);
    touchUp(48, 32);
    EXPECT_THAT(fired, IsEmpty());
}

TEST_F(MenuTest, OverlappingItemsGiveTheTouchToTheOneDrawnOnTop) {
    MenuItemSprite* below = item("below");
    MenuItemSprite* above = item("above");
    showMenu({below, above});
    touchDown(48, 32);
    touchUp(48, 32);
    EXPECT_THAT(fired, ElementsAre("above"));
}

TEST_F(MenuTest, RemovingTheTrackedItemForgetsIt) {
    MenuItemSprite* play = item("play");
    Menu* menu = showMenu({play});
    touchDown(48, 32);
    menu->removeChild(play, true);
    EXPECT_EQ(menu->getSelectedItem(), nullptr);
    touchUp(48, 32);
    EXPECT_THAT(fired, IsEmpty());

    MenuItemSprite* again = item("again");
    menu->addChild(again);
    touchDown(48, 32);
    menu->removeAllChildren();
    touchUp(48, 32);
    EXPECT_THAT(fired, IsEmpty());
    EXPECT_EQ(menu->getState(), Menu::State::WAITING);
}

TEST_F(MenuTest, CallbackMayRemoveTheWholeMenu) {
    MenuItemSprite* quit = MenuItemSprite::create(square(red.get()), nullptr, nullptr, [this](Ref* sender) {
        fired.push_back(static_cast<Node*>(sender)->description());
        scene->removeAllChildren();
    });
    quit->setTag(3);
    showMenu({quit});
    touchDown(48, 32);
    touchUp(48, 32);
    EXPECT_THAT(fired, ElementsAre("<MenuItem | tag = 3>"));
    frame();
    EXPECT_THAT(readPixel(48, 32), PixelNear(kBlack, 0));
}

TEST(MenuItemToggle, CyclesThroughItsItemsAndTheCallbackSeesTheNewIndex) {
    std::vector<unsigned int> seen;
    MenuItemToggle* toggle = MenuItemToggle::createWithCallback(
        [&](Ref* sender) { seen.push_back(static_cast<MenuItemToggle*>(sender)->getSelectedIndex()); },
        MenuItem::create(), MenuItem::create(), MenuItem::create(), nullptr);
    ASSERT_NE(toggle, nullptr);
    EXPECT_EQ(toggle->getSelectedIndex(), 0u);
    for (int i = 0; i < 3; ++i) toggle->activate();
    EXPECT_THAT(seen, ElementsAre(1u, 2u, 0u));
    EXPECT_EQ(toggle->getChildByTag(MenuItemToggle::CURRENT_ITEM_TAG), toggle->getSubItems().at(0));

    toggle->setEnabled(false);
    toggle->activate();
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_FALSE(toggle->getSubItems().at(2)->isEnabled());
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(MenuItemToggle, IndexPastItsItemsIsRefused) {
    test::LogCapture logs;
    MenuItemToggle* toggle =
        MenuItemToggle::createWithCallback(nullptr, MenuItem::create(), MenuItem::create(), nullptr);
    toggle->setSelectedIndex(5);
    EXPECT_EQ(toggle->getSelectedIndex(), 0u);
    EXPECT_EQ(toggle->getChildrenCount(), 1u);
    EXPECT_THAT(logs.text(), HasSubstr("MenuItemToggle: no sub-item 5 among 2"));
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(MenuItemSprite, AnItemMayGoWithoutANormalImageButKeepsOneItHas) {
    test::LogCapture logs;
    MenuItemSprite* bare = MenuItemSprite::create(nullptr, Node::create());
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->getNormalImage(), nullptr);
    EXPECT_EQ(bare->getContentSize(), Size::ZERO);
    MenuItemSprite* item = MenuItemSprite::create(Node::create(), nullptr);
    Node* normal = item->getNormalImage();
    item->setNormalImage(nullptr);
    EXPECT_EQ(item->getNormalImage(), normal);
    item->setSelectedImage(normal);  // the normal image cannot be the selected one too
    EXPECT_EQ(item->getSelectedImage(), nullptr);
    EXPECT_THAT(logs.text(), HasSubstr("MenuItemSprite: the normal image cannot be taken away"));
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(MenuItemSprite, TheMenuItemsDefaultFontNameIsMarkerFelt) {
    EXPECT_EQ(MenuItem::getDefaultFontName(), "Marker Felt");
}

class MenuItemImageTest : public test::GLTest {};

TEST_F(MenuItemImageTest, AnEmptyOrUnloadableNormalFileGivesAnItemWithoutNormalImage) {
    test::LogCapture logs;
    test::TemporaryFolder folder("menu-item-image");
    const std::string path = folder.path() + "/pressed.png";
    ASSERT_TRUE(test::writePNG(path, 4, 2, std::vector<std::uint8_t>(4 * 2 * 4, 200)));
    for (const std::string normal : {"", "/no/such/image.png"}) {
        MenuItemImage* item = MenuItemImage::create(normal, path);
        ASSERT_NE(item, nullptr) << normal;
        EXPECT_EQ(item->getNormalImage(), nullptr);
        ASSERT_NE(item->getSelectedImage(), nullptr);
        EXPECT_EQ(item->getContentSize(), Size::ZERO);
    }
    EXPECT_THAT(logs.text(), HasSubstr("MenuItemImage: cannot load the image \"/no/such/image.png\""));
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST_F(MenuItemImageTest, WithoutASelectedFileTheNormalImageStaysWhileSelected) {
    test::TemporaryFolder folder("menu-item-image");
    const std::string path = folder.path() + "/button.png";
    ASSERT_TRUE(test::writePNG(path, 4, 2, std::vector<std::uint8_t>(4 * 2 * 4, 200)));
    MenuItemImage* item = MenuItemImage::create(path, "");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->getContentSize(), Size(4, 2));
    item->selected();
    EXPECT_TRUE(item->getNormalImage()->isVisible());
    EXPECT_EQ(item->getSelectedImage(), nullptr);
    EXPECT_EQ(Menu::create()->description(), "<Menu | Tag = -1>");
    PoolManager::getInstance()->getCurrentPool()->clear();
}

}  // namespace
}  // namespace kite
