#include "kite/scene/MenuItem.h"

#include <cstdio>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Sprite.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

constexpr int kScriptMenuClickedEvent = 1;

std::string& defaultFontName() {
    static std::string name = "Marker Felt";
    return name;
}

// Sets a node's visibility when it exists.
void show(Node* node, bool visible) {
    if (node) node->setVisible(visible);
}

}  // namespace

// ---- MenuItem

MenuItem* MenuItem::create(const ktMenuCallback& callback) {
    auto* item = new (std::nothrow) MenuItem();
    if (!item) return nullptr;
    item->initWithCallback(callback);
    item->autorelease();
    return item;
}

bool MenuItem::initWithCallback(const ktMenuCallback& c) {
    setAnchorPoint(Vec2(0.5f, 0.5f));
    callback = c;
    enabled = true;
    isSelectedFlag = false;
    return true;
}

void MenuItem::activate() {
    if (!enabled) return;
    if (callback) callback(this);
    if (currentScriptType() != 0) {
        if (ScriptEngine* engine = ScriptEngineManager::getInstance()->getScriptEngine()) {
            ScriptEngine::Event event;
            event.type = kScriptMenuClickedEvent;
            event.data = this;
            engine->sendEvent(&event);
        }
    }
}

Rect MenuItem::rect() const {
    return Rect(position.x - contentSize.width * anchorPoint.x, position.y - contentSize.height * anchorPoint.y,
                contentSize.width, contentSize.height);
}

const std::string& MenuItem::getDefaultFontName() { return defaultFontName(); }

void MenuItem::setDefaultFontName(const std::string& name) { defaultFontName() = name; }

std::string MenuItem::description() const {
    char text[48];
    std::snprintf(text, sizeof text, "<MenuItem | tag = %d>", tag);
    return text;
}

// ---- MenuItemSprite

MenuItemSprite* MenuItemSprite::create(Node* normal, Node* selectedNode, Node* disabled,
                                       const ktMenuCallback& callback) {
    auto* item = new (std::nothrow) MenuItemSprite();
    if (item && item->initWithNormalSprite(normal, selectedNode, disabled, callback)) {
        item->autorelease();
        return item;
    }
    delete item;
    return nullptr;
}

bool MenuItemSprite::initWithNormalSprite(Node* normal, Node* selectedNode, Node* disabled, const ktMenuCallback& c) {
    initWithCallback(c);
    setNormalImage(normal);
    setSelectedImage(selectedNode);
    setDisabledImage(disabled);
    if (normalImage) setContentSize(normalImage->getContentSize());
    setCascadeColorEnabled(true);
    setCascadeOpacityEnabled(true);
    return true;
}

void MenuItemSprite::replaceImage(Node*& slot, Node* image, int childTag) {
    if (image) {
        addChild(image, 0, childTag);
        image->setAnchorPoint(Vec2(0.0f, 0.0f));
    }
    if (slot) removeChild(slot, true);
    slot = image;
}

void MenuItemSprite::setNormalImage(Node* image) {
    if (image == normalImage) return;
    if (!image) {
        log("MenuItemSprite: the normal image cannot be taken away");
        return;
    }
    replaceImage(normalImage, image, NORMAL_TAG);
    setContentSize(image->getContentSize());
    updateImagesVisibility();
}

void MenuItemSprite::setSelectedImage(Node* image) {
    if (image == normalImage || image == selectedImage) return;
    replaceImage(selectedImage, image, SELECTED_TAG);
    updateImagesVisibility();
}

void MenuItemSprite::setDisabledImage(Node* image) {
    if (image == normalImage || image == disabledImage) return;
    replaceImage(disabledImage, image, DISABLED_TAG);
    updateImagesVisibility();
}

void MenuItemSprite::selected() {
    MenuItem::selected();
    if (!normalImage) return;
    show(disabledImage, false);
    show(normalImage, selectedImage == nullptr);
    show(selectedImage, true);
}

void MenuItemSprite::unselected() {
    MenuItem::unselected();
    if (!normalImage) return;
    show(normalImage, true);
    show(selectedImage, false);
    show(disabledImage, false);
}

void MenuItemSprite::setEnabled(bool value) {
    if (enabled == value) return;
    MenuItem::setEnabled(value);
    updateImagesVisibility();
}

void MenuItemSprite::updateImagesVisibility() {
    const bool showDisabled = !enabled && disabledImage;
    show(normalImage, !showDisabled);
    show(selectedImage, false);
    show(disabledImage, showDisabled);
}

// ---- MenuItemImage

MenuItemImage* MenuItemImage::create() { return createAutoreleased<MenuItemImage>(); }

MenuItemImage* MenuItemImage::create(const std::string& normalFile, const std::string& selectedFile,
                                     const ktMenuCallback& callback) {
    return create(normalFile, selectedFile, std::string(), callback);
}

MenuItemImage* MenuItemImage::create(const std::string& normalFile, const std::string& selectedFile,
                                     const std::string& disabledFile, const ktMenuCallback& callback) {
    auto* item = new (std::nothrow) MenuItemImage();
    if (item && item->initWithNormalImage(normalFile, selectedFile, disabledFile, callback)) {
        item->autorelease();
        return item;
    }
    delete item;
    return nullptr;
}

bool MenuItemImage::init() {
    initWithCallback(nullptr);
    setCascadeColorEnabled(true);
    setCascadeOpacityEnabled(true);
    return true;
}

bool MenuItemImage::initWithNormalImage(const std::string& normalFile, const std::string& selectedFile,
                                        const std::string& disabledFile, const ktMenuCallback& c) {
    Node* images[3] = {nullptr, nullptr, nullptr};
    const std::string* files[3] = {&normalFile, &selectedFile, &disabledFile};
    for (int i = 0; i < 3; ++i) {
        if (files[i]->empty()) continue;
        images[i] = Sprite::create(*files[i]);
        if (!images[i]) log("MenuItemImage: cannot load the image \"%s\"", platform::printableText(*files[i]).c_str());
    }
    return initWithNormalSprite(images[0], images[1], images[2], c);
}

// ---- MenuItemToggle

MenuItemToggle* MenuItemToggle::createWithCallback(const ktMenuCallback& callback,
                                                   const std::vector<MenuItem*>& items) {
    auto* toggle = new (std::nothrow) MenuItemToggle();
    if (toggle && toggle->initWithCallback(callback, items)) {
        toggle->autorelease();
        return toggle;
    }
    delete toggle;
    return nullptr;
}

bool MenuItemToggle::initWithCallback(const ktMenuCallback& c, const std::vector<MenuItem*>& items) {
    MenuItem::initWithCallback(c);
    for (MenuItem* item : items) {
        if (!item) break;
        subItems.pushBack(item);
    }
    selectedIndex = NO_SELECTION;
    setSelectedIndex(0);
    return true;
}

MenuItem* MenuItemToggle::getSelectedItem() const {
    return selectedIndex < subItems.size() ? subItems.at(selectedIndex) : nullptr;
}

void MenuItemToggle::setSelectedIndex(unsigned int index) {
    if (index == selectedIndex || subItems.empty()) return;
    if (index >= subItems.size()) {
        log("MenuItemToggle: no sub-item %u among %zu", index, subItems.size());
        return;
    }
    selectedIndex = index;
    if (Node* current = getChildByTag(CURRENT_ITEM_TAG)) current->removeFromParentAndCleanup(false);
    MenuItem* item = subItems.at(index);
    addChild(item, 0, CURRENT_ITEM_TAG);
    const Size& size = item->getContentSize();
    setContentSize(size);
    item->setPosition(size.width / 2, size.height / 2);
}

void MenuItemToggle::activate() {
    if (enabled && !subItems.empty()) {
        setSelectedIndex(static_cast<unsigned int>((selectedIndex + 1) % subItems.size()));
    }
    MenuItem::activate();
}

void MenuItemToggle::selected() {
    MenuItem::selected();
    if (MenuItem* item = getSelectedItem()) item->selected();
}

void MenuItemToggle::unselected() {
    MenuItem::unselected();
    if (MenuItem* item = getSelectedItem()) item->unselected();
}

void MenuItemToggle::setEnabled(bool value) {
    if (enabled == value) return;
    MenuItem::setEnabled(value);
    for (MenuItem* item : subItems) item->setEnabled(value);
}

}  // namespace kite
