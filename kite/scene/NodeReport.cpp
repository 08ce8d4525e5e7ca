#include "kite/scene/NodeReport.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "kite/foundation/math/AffineTransform.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"
#include "platform/AsciiText.h"

namespace kite {

namespace {

std::string className(const Node& node) {
    const char* mangled = typeid(node).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> readable(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && readable ? readable.get() : mangled;
}

// An item takes taps when it and its menu are enabled.
bool takesTaps(const MenuItem& item) {
    const auto* menu = dynamic_cast<const Menu*>(item.getParent());
    return item.isEnabled() && (!menu || menu->isEnabled());
}

std::string oneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r' && c != '\t')
            out += c;
    }
    return out;
}

// One decimal, with a point whatever the locale: reports are read by programs.
std::string oneDecimal(float value) { return platform::fixedPointText(static_cast<double>(value), 1); }

std::string kindAndDetail(Node* node) {
    if (auto* item = dynamic_cast<MenuItem*>(node)) return takesTaps(*item) ? "item\t" : "node\t";
    if (auto* label = dynamic_cast<Label*>(node)) return "label\t" + oneLine(label->getString());
    if (auto* sprite = dynamic_cast<Sprite*>(node)) {
        TextureCache* cache = Director::getInstance()->getTextureCache();
        const std::string file = cache && sprite->getTexture() ? cache->getKeyOfTexture(sprite->getTexture()) : "";
        return "sprite\t" + file;
    }
    return "node\t";
}

void report(Node* node, int depth, std::string& out) {
    if (!node->isVisible()) return;
    const auto* window = dynamic_cast<ReportsWindow*>(node);
    const Rect bounds = window ? window->getViewRect()
                               : RectApplyTransform(Rect(Vec2::ZERO, node->getContentSize()),
                                                    node->getNodeToWorldTransform());
    const std::string box = oneDecimal(bounds.getMinX()) + " " + oneDecimal(bounds.getMinY()) + " " +
                            oneDecimal(bounds.getMaxX()) + " " + oneDecimal(bounds.getMaxY());
    out += std::to_string(depth) + "\t" + className(*node) + "\t" + box + "\t" + kindAndDetail(node) + "\n";
    if (dynamic_cast<Label*>(node)) return;  // what a label holds is its own drawing of the text
    node->sortAllChildren();
    for (Node* child : node->getChildren()) report(child, depth + 1, out);
}

}  // namespace

std::string nodeReport(Node* root) {
    std::string out;
    if (root) report(root, 0, out);
    return out;
}

}  // namespace kite
