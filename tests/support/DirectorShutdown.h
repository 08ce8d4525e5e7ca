// Shuts the shared director down the way the game does, between tests.
#pragma once
#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/Director.h"

namespace kite::test {

// end() only asks; the next main-loop pass purges. Then the frame's leftovers go.
inline void shutDownDirector() {
    Director::getInstance()->end();
    Director::getInstance()->mainLoop();
    PoolManager::getInstance()->getCurrentPool()->clear();
}

}  // namespace kite::test
