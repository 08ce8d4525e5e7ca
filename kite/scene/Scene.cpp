#include "kite/scene/Scene.h"

#include "kite/foundation/Create.h"

namespace kite {

Scene* Scene::create() { return createAutoreleased<Scene>(); }

}  // namespace kite
