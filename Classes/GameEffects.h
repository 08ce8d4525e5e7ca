// The board's picture effects: the blinking combo picture of big groups and the once-per-level stage clear.
#pragma once

namespace kite {
class Node;
class Sprite;
}  // namespace kite

// The combo picture of a group size; null below 5.
const char* comboPictureFor(int groupSize);
// Blinks the group size's combo picture at the centre of the parent, then removes it.
void showComboEffect(int groupSize, kite::Node* parent);
// Shows the stage-clear picture on the parent unless it is already up.
void showStageClear(kite::Node* parent);
// Takes the stage-clear picture away; nothing when none is up.
void removeStageClear();
// The picture now up, or null.
kite::Sprite* currentStageClear();
