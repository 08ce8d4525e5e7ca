// What the play screen and its dialogs reach outside themselves: the menu, the shop and sale screens, the
// popup alert and the game server, in one place, so the play screen names nothing beyond it.
#pragma once
#include <string>

namespace kite {
class Node;
class Scene;
}  // namespace kite

namespace links {

// The scene the player goes back to when leaving a game.
kite::Scene* makeMenuScene();
// The shop and sale screens, opened over the given screen.
void openShop(kite::Node* screen);
void openSale(kite::Node* screen);
// The game-wide one-button alert over the running scene.
void showAlert(const std::string& title, const std::string& message);
// Score and game-over notices for the game server; skipped while it cannot be reached.
void submitScore();
void submitGameover();

}  // namespace links
