// The board layout kept in the preferences store under "colorKey0" to "colorKey99".
#pragma once
#include <optional>

#include "Classes/BoardRules.h"

namespace board {

void saveLayout(const Cells& cells);
void saveCellColour(int index, int colour);

// True when every cell is stored empty: a new game's layout until its first board is laid out.
bool savedLayoutIsEmpty();

// The stored layout, or nothing (with a log line) when a key is missing, a
// colour is outside -1..4 or no pair is left to play.
std::optional<Cells> loadLayout();

}  // namespace board
