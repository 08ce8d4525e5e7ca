#include "Classes/SavedLayout.h"

#include <climits>
#include <cstdio>

#include "kite/foundation/Log.h"
#include "kite/foundation/UserDefault.h"

namespace board {

namespace {

constexpr int kMissing = INT_MIN;

struct Key {
    char text[16];
};

Key keyFor(int index) {
    Key key;
    std::snprintf(key.text, sizeof key.text, "colorKey%d", index);
    return key;
}

}  // namespace

void saveCellColour(int index, int colour) {
    kite::UserDefault::getInstance()->setIntegerForKey(keyFor(index).text, colour);
}

void saveLayout(const Cells& cells) {
    for (int index = 0; index < kCellCount; ++index) saveCellColour(index, cells[index]);
}

bool savedLayoutIsEmpty() {
    kite::UserDefault* store = kite::UserDefault::getInstance();
    for (int index = 0; index < kCellCount; ++index)
        if (store->getIntegerForKey(keyFor(index).text, kMissing) != kEmpty) return false;
    return true;
}

std::optional<Cells> loadLayout() {
    kite::UserDefault* store = kite::UserDefault::getInstance();
    Cells cells;
    for (int index = 0; index < kCellCount; ++index) {
        const int colour = store->getIntegerForKey(keyFor(index).text, kMissing);
        if (colour == kMissing || (colour != kEmpty && !isColour(colour))) {
            if (colour == kMissing)
                kite::log("StarMatrix: the saved layout has no colorKey%d", index);
            else
                kite::log("StarMatrix: the saved layout holds colour %d at colorKey%d", colour, index);
            return std::nullopt;
        }
        cells[index] = colour;
    }
    if (noPairLeft(cells)) {
        kite::log("StarMatrix: the saved layout has no pair left to play");
        return std::nullopt;
    }
    return cells;
}

}  // namespace board
