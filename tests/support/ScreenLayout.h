// The layout rules every screen of the game keeps, checked on a report of the nodes it shows
// (kite/scene/NodeReport.h): by the game's own tests in-process and by the screen tour on the real executable.
//
// The rules look at the screen the player can touch: the topmost dialog layer (or the whole screen
// when none is open).
//  - Placed on a panel: whatever sits on a picture (a sprite with children) lies inside it, 8 points from its
//    edges.
//  - Controls (menu items that take taps, edit boxes) never overlap each other.
//  - A label overlaps no other label (two lines may share the room one keeps below its letters) and no control
//    it does not belong to: belonging, it is part of the control, or the screen puts it there on purpose (the
//    top bar's counts on the props, the diamond count on the shop button, the phone field's text on its box).
//    The props' count badges sit on the props on purpose too.
//  - A picture hides no label or control: drawn over one, it is see-through where that one is; drawn under a
//    control, it lies wholly under it or not under it at all.
#pragma once
#include <string>
#include <vector>

namespace stargrid::test {

struct ScreenNode {
    int depth = 0;
    std::string type;  // the C++ class
    float left = 0, bottom = 0, right = 0, top = 0;
    std::string kind;    // "item", "label", "sprite" or "node"
    std::string detail;  // a sprite's file, a label's text
    int parent = -1;
    int end = 0;  // one past the last node of its subtree

    float width() const { return right - left; }
    float height() const { return top - bottom; }
    // The picture's file from the resources folder on ("Menu/btn_start.png"), or the full detail.
    std::string file() const;
    std::string describe() const;
};

class Screen {
public:
    static Screen parse(const std::string& report);
    static Screen read(const std::string& path);

    const std::vector<ScreenNode>& nodes() const { return nodes_; }
    bool empty() const { return nodes_.empty(); }
    // The first node of that class, or -1.
    int find(const std::string& type) const;
    // The first shown sprite of that file (from the resources folder on), or -1.
    int findPicture(const std::string& file) const;
    // Node indexes of the tappable items whose picture is that file.
    std::vector<int> controlsShowing(const std::string& file) const;
    bool contains(int ancestor, int node) const;
    // The topmost dialog layer, or the root.
    int activeLayer() const;
    // Every broken rule, one sentence each.
    std::vector<std::string> problems() const;
    // Whether a picture has opaque pixels over the area (a table view is opaque throughout).
    bool opaqueOver(int picture, const ScreenNode& area) const;

private:
    const ScreenNode& at(int i) const { return nodes_[static_cast<std::size_t>(i)]; }
    bool isControl(int i) const;
    bool isLabel(int i) const;
    bool isPicture(int i) const;
    bool insideControl(int i) const;
    // A label or picture that is part of the control or that the screen puts on it on purpose.
    bool belongsTo(int node, int control) const;
    // The box clipped by the table views above the node; false when nothing of it shows.
    bool shownBox(int i, ScreenNode& box) const;
    std::string controlName(int i) const;

    void checkPanels(int scope, std::vector<std::string>& out) const;
    void checkControls(const std::vector<int>& controls, std::vector<std::string>& out) const;
    void checkLabels(const std::vector<int>& labels, const std::vector<int>& controls,
                     std::vector<std::string>& out) const;
    void checkPictures(int scope, const std::vector<int>& covered, std::vector<std::string>& out) const;

    std::vector<ScreenNode> nodes_;
};

// The overlap of two boxes, in square points (0 when they only touch).
float overlapArea(const ScreenNode& a, const ScreenNode& b);

}  // namespace stargrid::test
