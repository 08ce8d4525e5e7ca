#include "Classes/HelpLayer.h"

#include "Classes/DialogParts.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"

HelpLayer* HelpLayer::create() { return kite::createAutoreleased<HelpLayer>(); }

bool HelpLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    dialog::addShade(this, visible.width, visible.height);
    kite::Sprite* picture = dialog::addCentred(this, "Menu/Help/bg_help.png", 0);
    if (!picture) return true;
    dialog::popIn(picture, 0.7f, 1.1f);
    const kite::Size size = picture->getContentSize();
    dialog::addButton(picture, "Common/btn_close.png", kite::Vec2(size.width - 32, size.height - 30), 1,
                      [this] { menuCloseCallback(); });
    return true;
}

bool HelpLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void HelpLayer::menuCloseCallback() { removeFromParent(); }
