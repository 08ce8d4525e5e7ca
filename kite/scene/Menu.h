// A layer of menu items that turns one finger's touch into selecting and activating an item.
#pragma once
#include <initializer_list>
#include <string>

#include "kite/foundation/Vector.h"
#include "kite/scene/Layer.h"
#include "kite/scene/MenuItem.h"

namespace kite {

class Menu : public Layer {
public:
    enum class State { WAITING = 0, TRACKING_TOUCH = 1 };

    static Menu* create();
    // The items run up to the first null.
    template <class... Items>
    static Menu* create(MenuItem* first, Items... rest) {
        return createWithArray(collect({first, static_cast<MenuItem*>(rest)...}));
    }
    static Menu* createWithArray(const Vector<MenuItem*>& items);

    Menu() = default;

    bool init() override;
    // Centred on the window, full-window size; item i is added with local z i.
    bool initWithArray(const Vector<MenuItem*>& items);
    std::string description() const override;

    using Layer::addChild;
    // Forgets the selected item when it leaves, so a tracked touch never reaches a removed item.
    void removeChild(Node* child, bool cleanup = true) override;
    void removeAllChildrenWithCleanup(bool cleanup) override;
    void onExit() override;
    void setOpacityModifyRGB(bool) override {}
    bool isOpacityModifyRGB() const override { return false; }

    bool onTouchBegan(Touch* touch, Event* event) override;
    void onTouchMoved(Touch* touch, Event* event) override;
    void onTouchEnded(Touch* touch, Event* event) override;
    void onTouchCancelled(Touch* touch, Event* event) override;

    virtual bool isEnabled() const { return enabled; }
    virtual void setEnabled(bool value) { enabled = value; }

    // The items side by side in child order, the row centred on the menu's origin.
    void alignItemsHorizontallyWithPadding(float padding);

    State getState() const { return state; }
    MenuItem* getSelectedItem() const { return selectedItem; }

protected:
    // The top-most enabled, visible item under the touch, or null.
    MenuItem* getItemForTouch(Touch* touch);

private:
    static Vector<MenuItem*> collect(std::initializer_list<MenuItem*> items);

    bool enabled = false;
    State state = State::WAITING;
    MenuItem* selectedItem = nullptr;  // a child; not retained
};

}  // namespace kite
