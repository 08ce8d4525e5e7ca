// The diamond counts the player sees (the shop's, the top bar's) and the approved payments that wait for one:
// the buyer of such a payment has been told once a frame that draws a count showing its diamonds, with nothing
// drawn over it, is on the screen, and the payment is finished in the next frame. One the game ends before that
// stays in the ledger, untold, for the next start to tell.
#pragma once
#include <string>

namespace kite {
class Label;
}

namespace diamondCount {

// The payment's diamonds are credited: it waits for a count that shows them.
void awaitShown(const std::string& transactionIdentifier);
// From the visit of the screen that holds the count: one with text is drawn in this frame while it and every
// node above it are visible, and seen unless a picture, colour layer or text drawn after it in this frame lies
// over it (the shade or the frame of a dialog opened over its screen).
void labelDrawn(const kite::Label* count);
// A count reading `shown` is drawn in this frame: when that is the diamonds there are, it shows every credit
// so far, and the payments waiting are finished in the next frame.
void countDrawn(const std::string& shown);

}  // namespace diamondCount
