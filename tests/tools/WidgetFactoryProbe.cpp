// Creates the widget types by name only: the program names no widget class, so it shows that the
// registrations survive static linking. Prints what it made; exits 1 when a type is missing.
#include <cstdio>

#include "kite/foundation/ObjectFactory.h"
#include "kite/scene/Node.h"

int main() {
    int missing = 0;
    for (const char* type : {"Widget", "Layout"}) {
        kite::Ref* object = kite::ObjectFactory::getInstance()->createObject(type);
        auto* node = dynamic_cast<kite::Node*>(object);
        std::printf("%s -> %s\n", type, node ? node->description().c_str() : "nothing");
        if (!node) ++missing;
    }
    return missing == 0 ? 0 : 1;
}
