// Menu items: the callback item, items drawn by image nodes or image files, and the toggle.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kite/foundation/Vector.h"
#include "kite/scene/Node.h"

namespace kite {

using ktMenuCallback = std::function<void(Ref*)>;

class MenuItem : public Node {
public:
    static MenuItem* create(const ktMenuCallback& callback = nullptr);

    MenuItem() = default;

    bool init() override { return initWithCallback(nullptr); }
    bool initWithCallback(const ktMenuCallback& callback);

    // Calls the callback with this item when enabled.
    virtual void activate();
    virtual void selected() { isSelectedFlag = true; }
    virtual void unselected() { isSelectedFlag = false; }
    virtual bool isEnabled() const { return enabled; }
    virtual void setEnabled(bool value) { enabled = value; }
    virtual bool isSelected() const { return isSelectedFlag; }
    void setCallback(const ktMenuCallback& c) { callback = c; }

    // The item's rectangle in its parent's space, from its content size and anchor.
    Rect rect() const;
    std::string description() const override;

    // The process-wide default font name of menu items, "Marker Felt"; nothing here draws with it.
    static const std::string& getDefaultFontName();
    static void setDefaultFontName(const std::string& name);

protected:
    bool isSelectedFlag = false;
    bool enabled = false;
    ktMenuCallback callback;
};

// Shows one of three image nodes (children tagged 1, 2 and 3) by state.
class MenuItemSprite : public MenuItem {
public:
    static constexpr int NORMAL_TAG = 1;
    static constexpr int SELECTED_TAG = 2;
    static constexpr int DISABLED_TAG = 3;

    static MenuItemSprite* create(Node* normal, Node* selected, Node* disabled = nullptr,
                                  const ktMenuCallback& callback = nullptr);

    MenuItemSprite() = default;

    // Any image may be null; the item takes the normal image's size when it has one.
    bool initWithNormalSprite(Node* normal, Node* selected, Node* disabled, const ktMenuCallback& callback);

    // Replacing the normal image by null is refused with a log line.
    void setNormalImage(Node* image);
    void setSelectedImage(Node* image);
    void setDisabledImage(Node* image);
    Node* getNormalImage() const { return normalImage; }
    Node* getSelectedImage() const { return selectedImage; }
    Node* getDisabledImage() const { return disabledImage; }

    void selected() override;
    void unselected() override;
    void setEnabled(bool value) override;

protected:
    virtual void updateImagesVisibility();
    // Swaps one of the three images: the new one becomes a child, the old one is removed.
    void replaceImage(Node*& slot, Node* image, int childTag);

    // Children of this item, held by the child list.
    Node* normalImage = nullptr;
    Node* selectedImage = nullptr;
    Node* disabledImage = nullptr;
};

// A sprite item whose images are sprites made from image files; an empty name gives no image.
class MenuItemImage : public MenuItemSprite {
public:
    static MenuItemImage* create();
    static MenuItemImage* create(const std::string& normalFile, const std::string& selectedFile,
                                 const ktMenuCallback& callback = nullptr);
    static MenuItemImage* create(const std::string& normalFile, const std::string& selectedFile,
                                 const std::string& disabledFile, const ktMenuCallback& callback = nullptr);

    MenuItemImage() = default;

    // An item with no images.
    bool init() override;
    // A named image that cannot be loaded is left out with a log line.
    bool initWithNormalImage(const std::string& normalFile, const std::string& selectedFile,
                             const std::string& disabledFile, const ktMenuCallback& callback);
};

// Cycles through its sub-items on each activation; the visible one is a child.
class MenuItemToggle : public MenuItem {
public:
    static constexpr int CURRENT_ITEM_TAG = static_cast<int>(0xc0c05001u);
    static constexpr unsigned int NO_SELECTION = 0xffffffffu;

    // The sub-items run up to the first null.
    static MenuItemToggle* createWithCallback(const ktMenuCallback& callback, const std::vector<MenuItem*>& items);
    template <class... Items>
    static MenuItemToggle* createWithCallback(const ktMenuCallback& callback, MenuItem* first, Items... rest) {
        return createWithCallback(callback, std::vector<MenuItem*>{first, static_cast<MenuItem*>(rest)...});
    }

    MenuItemToggle() = default;

    bool initWithCallback(const ktMenuCallback& callback, const std::vector<MenuItem*>& items);

    // An index past the sub-items is refused with a log line.
    void setSelectedIndex(unsigned int index);
    unsigned int getSelectedIndex() const { return selectedIndex; }
    MenuItem* getSelectedItem() const;
    const Vector<MenuItem*>& getSubItems() const { return subItems; }

    void activate() override;
    void selected() override;
    void unselected() override;
    void setEnabled(bool value) override;

protected:
    unsigned int selectedIndex = NO_SELECTION;
    Vector<MenuItem*> subItems;
};

}  // namespace kite
