#include "Classes/HelpLayer.h"

#include "Classes/DialogParts.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Sprite.h"

HelpLayer* HelpLayer::create() { return kite::createAutoreleased<HelpLayer>(); }

bool HelpLayer::init() {
    if (!Layer::init()) return false;
    DialogParts::claimTouches(this);
    DialogParts::addShade(this);
    kite::Sprite* picture = DialogParts::addPoppingBackground(this, "Menu/Help/bg_help.png", 0.7f, 1.1f);
    if (!picture) return true;
    const kite::Size size = picture->getContentSize();
    DialogParts::addButton(picture, "Common/btn_close.png", kite::Vec2(size.width - 32, size.height - 30), 1, this,
                           [this] { menuCloseCallback(); });
    return true;
}

bool HelpLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void HelpLayer::menuCloseCallback() { removeFromParent(); }
