#include "support/ScreenLayout.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "platform/PngFile.h"

namespace stargrid::test {

namespace {

// Layers that take every touch while they show: the player can only touch what is on them.
const char* const kDialogs[] = {"HelpLayer",      "InfoLayer",     "LoginLayer",  "ShareLayer",    "RankedLayer",
                                "ShopLayer",      "SaleLayer",     "PauseLayer",  "GameOverLayer", "GuideLayer",
                                "PropPaintLayer", "PopupBoxLayer", "WebViewLayer"};
constexpr float kPanelMargin = 8.0f;
constexpr float kSlack = 0.5f;  // rounding of the report's boxes

bool isDialog(const std::string& type) {
    return std::any_of(std::begin(kDialogs), std::end(kDialogs), [&](const char* d) { return type == d; });
}

std::string boxText(const ScreenNode& n) {
    char text[80];
    std::snprintf(text, sizeof text, "[%.1f, %.1f .. %.1f, %.1f]", static_cast<double>(n.left),
                  static_cast<double>(n.bottom), static_cast<double>(n.right), static_cast<double>(n.top));
    return text;
}

const platform::PngImage* picture(const std::string& path) {
    static std::map<std::string, std::optional<platform::PngImage>> cache;
    auto found = cache.find(path);
    if (found == cache.end()) found = cache.emplace(path, platform::readPng(path)).first;
    return found->second ? &*found->second : nullptr;
}

// A table view clips what scrolls in it; its cells do not.
bool isTable(const ScreenNode& n) {
    return n.type.find("TableView") != std::string::npos && n.type.find("Cell") == std::string::npos;
}

// Cuts the box down to the part inside the other.
void clip(ScreenNode& box, const ScreenNode& by) {
    box.left = std::max(box.left, by.left);
    box.right = std::min(box.right, by.right);
    box.bottom = std::max(box.bottom, by.bottom);
    box.top = std::min(box.top, by.top);
}

// Two lines of text, one above the other, whose line boxes meet only within the room a line keeps below its
// letters for descenders (a sixth of its height): their letters do not touch.
bool withinLeading(const ScreenNode& a, const ScreenNode& b) {
    const float depth = std::min(a.top, b.top) - std::max(a.bottom, b.bottom);
    return depth <= std::min(a.height(), b.height()) / 6 && (a.top > b.top) != (a.bottom < b.bottom);
}

}  // namespace

float overlapArea(const ScreenNode& a, const ScreenNode& b) {
    const float w = std::min(a.right, b.right) - std::max(a.left, b.left) - kSlack;
    const float h = std::min(a.top, b.top) - std::max(a.bottom, b.bottom) - kSlack;
    return w > 0 && h > 0 ? w * h : 0.0f;
}

std::string ScreenNode::file() const {
    const std::size_t at = detail.rfind("Resources/");
    return at == std::string::npos ? detail : detail.substr(at + 10);
}

std::string ScreenNode::describe() const {
    if (kind == "label") return "label \"" + detail + "\" " + boxText(*this);
    if (kind == "sprite" && !detail.empty()) return "\"" + file() + "\" " + boxText(*this);
    return type + " " + boxText(*this);
}

Screen Screen::parse(const std::string& report) {
    Screen screen;
    std::istringstream lines(report);
    std::vector<int> open;  // the last node seen at each depth
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        ScreenNode node;
        std::string depth, box;
        if (!std::getline(fields, depth, '\t') || !std::getline(fields, node.type, '\t') ||
            !std::getline(fields, box, '\t') || !std::getline(fields, node.kind, '\t'))
            continue;
        std::getline(fields, node.detail);
        node.depth = std::stoi(depth);
        std::istringstream(box) >> node.left >> node.bottom >> node.right >> node.top;
        open.resize(static_cast<std::size_t>(node.depth) + 1, -1);
        node.parent = node.depth > 0 ? open[static_cast<std::size_t>(node.depth) - 1] : -1;
        open[static_cast<std::size_t>(node.depth)] = static_cast<int>(screen.nodes_.size());
        screen.nodes_.push_back(node);
    }
    for (std::size_t i = screen.nodes_.size(); i-- > 0;) {
        ScreenNode& node = screen.nodes_[i];
        std::size_t end = i + 1;
        while (end < screen.nodes_.size() && screen.nodes_[end].depth > node.depth) ++end;
        node.end = static_cast<int>(end);
    }
    return screen;
}

Screen Screen::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return parse(text.str());
}

int Screen::find(const std::string& type) const {
    for (std::size_t i = 0; i < nodes_.size(); ++i)
        if (nodes_[i].type == type) return static_cast<int>(i);
    return -1;
}

int Screen::findPicture(const std::string& file) const {
    for (std::size_t i = 0; i < nodes_.size(); ++i)
        if (nodes_[i].kind == "sprite" && nodes_[i].file() == file) return static_cast<int>(i);
    return -1;
}

std::vector<int> Screen::controlsShowing(const std::string& file) const {
    std::vector<int> found;
    for (std::size_t i = 0; i < nodes_.size(); ++i)
        if (isControl(static_cast<int>(i)) && controlName(static_cast<int>(i)) == file)
            found.push_back(static_cast<int>(i));
    return found;
}

bool Screen::contains(int ancestor, int node) const {
    return ancestor >= 0 && node > ancestor && node < at(ancestor).end;
}

int Screen::activeLayer() const {
    int active = nodes_.empty() ? -1 : 0;
    for (std::size_t i = 0; i < nodes_.size(); ++i)
        if (isDialog(nodes_[i].type)) active = static_cast<int>(i);
    return active;
}

bool Screen::isControl(int i) const {
    const ScreenNode& n = at(i);
    return n.kind == "item" || n.type.find("EditBox") != std::string::npos;
}

bool Screen::isLabel(int i) const {
    const ScreenNode& n = at(i);
    return n.kind == "label" && !n.detail.empty() && n.width() > 0;
}

bool Screen::isPicture(int i) const {
    const ScreenNode& n = at(i);
    // The tutorial's finger points at its button on purpose.
    if (n.kind == "sprite") return !n.detail.empty() && n.file().rfind("Guide/finger_anim", 0) != 0;
    return isTable(n);
}

bool Screen::insideControl(int i) const {
    for (int p = at(i).parent; p >= 0; p = at(p).parent)
        if (isControl(p)) return true;
    return false;
}

std::string Screen::controlName(int i) const {
    for (int k = i + 1; k < at(i).end; ++k)
        if (at(k).kind == "sprite" && !at(k).detail.empty()) return at(k).file();
    return at(i).type;
}

bool Screen::belongsTo(int node, int control) const {
    if (contains(control, node)) return true;
    const std::string name = controlName(control);
    const ScreenNode& n = at(node);
    const bool onProp = name.rfind("Scene/prop_", 0) == 0;
    // The play screen's count badges and the top bar's counts sit on the props, its diamond count on the shop.
    if (n.kind == "sprite") return onProp && n.file() == "Scene/prop_count.png";
    const bool onTopBar = n.parent >= 0 && at(n.parent).type == "TopMenu";
    if (onTopBar && (onProp || name == "Scene/btn_shop.png")) return true;
    return n.type == "kite::TextFieldTTF" && name == "Common/pop_input.png";
}

bool Screen::shownBox(int i, ScreenNode& box) const {
    box = at(i);
    for (int p = box.parent; p >= 0; p = at(p).parent)
        if (isTable(at(p))) clip(box, at(p));
    return box.width() > kSlack && box.height() > kSlack;
}

// Whether the picture has opaque pixels in the area (a table view is opaque throughout).
bool Screen::opaqueOver(int i, const ScreenNode& area) const {
    const ScreenNode& p = at(i);
    const platform::PngImage* image = p.kind == "sprite" ? picture(p.detail) : nullptr;
    if (!image || p.width() <= 0 || p.height() <= 0) return true;
    const float sx = static_cast<float>(image->width) / p.width(), sy = static_cast<float>(image->height) / p.height();
    const int x0 = std::max(0, static_cast<int>((std::max(area.left, p.left) - p.left) * sx));
    const int x1 = std::min(image->width, static_cast<int>((std::min(area.right, p.right) - p.left) * sx));
    const int y0 = std::max(0, static_cast<int>((p.top - std::min(area.top, p.top)) * sy));
    const int y1 = std::min(image->height, static_cast<int>((p.top - std::max(area.bottom, p.bottom)) * sy));
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (image->rgba[(static_cast<std::size_t>(y) * image->width + x) * 4 + 3] >= 128) return true;
    return false;
}

std::vector<std::string> Screen::problems() const {
    std::vector<std::string> out;
    const int scope = activeLayer();
    if (scope < 0) return out;
    std::vector<int> controls, labels;
    for (int i = scope; i < at(scope).end; ++i) {
        ScreenNode shown;
        if (!shownBox(i, shown)) continue;
        if (isControl(i) && !insideControl(i)) controls.push_back(i);
        if (isLabel(i)) labels.push_back(i);
    }
    checkPanels(scope, out);
    checkControls(controls, out);
    checkLabels(labels, controls, out);
    std::vector<int> covered = controls;
    covered.insert(covered.end(), labels.begin(), labels.end());
    checkPictures(scope, covered, out);
    return out;
}

void Screen::checkPanels(int scope, std::vector<std::string>& out) const {
    for (int i = scope + 1; i < at(scope).end; ++i) {
        const bool placed = isControl(i) || isLabel(i) || isPicture(i);
        if (!placed || insideControl(i)) continue;
        const ScreenNode& n = at(i);
        ScreenNode shown;
        if (!shownBox(i, shown) || shown.left != n.left || shown.top != n.top || shown.right != n.right ||
            shown.bottom != n.bottom)
            continue;  // clipped by a table: the table's own box is checked
        int panel = n.parent;
        while (panel > scope && at(panel).kind != "sprite") panel = at(panel).parent;
        if (panel <= scope) continue;
        const ScreenNode& p = at(panel);
        if (n.left < p.left + kPanelMargin - kSlack || n.right > p.right - kPanelMargin + kSlack ||
            n.bottom < p.bottom + kPanelMargin - kSlack || n.top > p.top - kPanelMargin + kSlack)
            out.push_back((isControl(i) ? "control \"" + controlName(i) + "\" " + boxText(n) : n.describe()) +
                          " is not inside " + p.describe() + " with 8 points to spare");
    }
}

void Screen::checkControls(const std::vector<int>& controls, std::vector<std::string>& out) const {
    for (std::size_t a = 0; a < controls.size(); ++a)
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            const ScreenNode& x = at(controls[a]);
            const ScreenNode& y = at(controls[b]);
            if (overlapArea(x, y) > 0)
                out.push_back("controls \"" + controlName(controls[a]) + "\" " + boxText(x) + " and \"" +
                              controlName(controls[b]) + "\" " + boxText(y) + " overlap");
        }
}

void Screen::checkLabels(const std::vector<int>& labels, const std::vector<int>& controls,
                         std::vector<std::string>& out) const {
    for (std::size_t a = 0; a < labels.size(); ++a) {
        ScreenNode x;
        shownBox(labels[a], x);
        for (std::size_t b = a + 1; b < labels.size(); ++b) {
            ScreenNode y;
            shownBox(labels[b], y);
            if (overlapArea(x, y) > 0 && !withinLeading(at(labels[a]), at(labels[b])))
                out.push_back(x.describe() + " overlaps " + y.describe());
        }
        for (int control : controls)
            if (!belongsTo(labels[a], control) && overlapArea(x, at(control)) > 0)
                out.push_back(x.describe() + " overlaps the control \"" + controlName(control) + "\" " +
                              boxText(at(control)));
    }
}

void Screen::checkPictures(int scope, const std::vector<int>& covered, std::vector<std::string>& out) const {
    for (int p = scope + 1; p < at(scope).end; ++p) {
        ScreenNode pic;
        if (!isPicture(p) || insideControl(p) || !shownBox(p, pic)) continue;
        for (int x : covered) {
            if (contains(p, x) || contains(x, p) || (isControl(x) && belongsTo(p, x))) continue;
            ScreenNode target;
            shownBox(x, target);
            if (overlapArea(pic, target) <= 0) continue;
            ScreenNode area = target;
            clip(area, pic);
            if (!opaqueOver(p, area)) continue;
            const bool above = p > x;
            const bool under = pic.left <= target.left + kSlack && pic.right >= target.right - kSlack &&
                               pic.bottom <= target.bottom + kSlack && pic.top >= target.top - kSlack;
            const std::string what =
                isControl(x) ? "the control \"" + controlName(x) + "\" " + boxText(target) : target.describe();
            if (above)
                out.push_back(pic.describe() + " is drawn over " + what);
            else if (!under && isControl(x))
                out.push_back(what + " straddles the edge of " + pic.describe());
        }
    }
}

}  // namespace stargrid::test
