// The screens that the menu and its popups open, in one place.
#pragma once

namespace kite {
class Node;
}

class MenuLayer;

namespace MenuScreens {

// Leaves the menu for play: the HTTP client goes first, then the stored game goes on (or the
// requested new one starts) in a new play scene.
void startGame();

// Each adds its dialog to the owner at z-order 2.
void openLogin(kite::Node* owner, int origin);
void openRanked(kite::Node* owner);
void openSale(kite::Node* owner);
void openHelp(kite::Node* owner);
void openShop(kite::Node* owner);
void openInfo(MenuLayer* menu);
// The share dialog carries the tag the bind-now button looks for.
void openShare(MenuLayer* menu);
constexpr int kShareDialogTag = 6666;
// Kind 1: the activity page; kind 0: the user agreement (the account dialogs open it too).
void openWebPage(kite::Node* owner, int kind);

}  // namespace MenuScreens
