#include "Classes/PropPaintLayer.h"

#include "Classes/DialogParts.h"
#include "Classes/StarMatrix.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace {

constexpr const char* kButtonImages[5] = {"Star/star_blue.png", "Star/star_green.png", "Star/star_yellow.png",
                                          "Star/star_red.png", "Star/star_purple.png"};

}  // namespace

PropPaintLayer* PropPaintLayer::create() { return kite::createAutoreleased<PropPaintLayer>(); }

bool PropPaintLayer::init() {
    if (!Layer::init()) return false;
    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->setSwallowTouches(true);
    listener->onTouchBegan = [this](kite::Touch* touch, kite::Event* event) { return onTouchBegan(touch, event); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, this);

    box = dialog::addCentred(this, "Scene/prop_paint_box.png", 0);
    arrow = dialog::addCentred(this, "Scene/prop_paint_arrow.png", 0);
    if (!box || !arrow) return false;
    const kite::Size size = box->getContentSize();
    dialog::addButton(box, "Scene/prop_paint_back.png", kite::Vec2(size.width - 40, size.height / 2), 1,
                      [this] { removeFromParentAndCleanup(true); });

    kite::Menu* colours = kite::Menu::create();
    if (!colours) return false;
    for (int button = 0; button < 5; ++button) {
        const int colour = kButtonColours[button];
        kite::MenuItemImage* item = kite::MenuItemImage::create(kButtonImages[button], kButtonImages[button],
                                                                [this, colour](kite::Ref*) { choose(colour); });
        if (item) colours->addChild(item);
    }
    colours->alignItemsHorizontallyWithPadding(28);
    colours->setPosition(size.width / 2 - 32, size.height / 2);
    box->addChild(colours, 1);
    return true;
}

bool PropPaintLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void PropPaintLayer::choose(int colour) {
    if (board) board->paintStar(colour);
    removeFromParentAndCleanup(true);
}

void PropPaintLayer::placeAt(const kite::Vec2& point) {
    const float cell = StarMatrix::kCellSize;
    const float w = kite::Director::getInstance()->getVisibleSize().width;
    box->setPosition(w / 2, static_cast<int>(point.y / cell) * cell + 109);
    float arrowX = static_cast<int>(point.x / cell) * cell + cell / 2;
    if (point.x > 432) arrowX = 440;
    if (point.x < 48) arrowX = 40;
    arrow->setPosition(arrowX, box->getPosition().y - 68);
}
