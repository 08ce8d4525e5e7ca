// Creates the widget types by name only: the program names no widget class, so it shows that the
// registrations survive static linking. Prints what it made; exits 1 when a type is missing.
#include <stdlib.h>

#include <cstdio>

#include "kite/foundation/ObjectFactory.h"
#include "kite/scene/Node.h"
#include "support/TemporaryFolder.h"

int main() {
    // A node starts the engine, which makes its writable folder: in a folder of the program's own.
    kite::test::TemporaryFolder home("widget-factory-probe");
    if (!home.made()) return 1;
    setenv("XDG_DATA_HOME", (home.path() + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home.path() + "/cache").c_str(), 1);
    int missing = 0;
    for (const char* type : {"Widget", "Layout"}) {
        kite::Ref* object = kite::ObjectFactory::getInstance()->createObject(type);
        auto* node = dynamic_cast<kite::Node*>(object);
        std::printf("%s -> %s\n", type, node ? node->description().c_str() : "nothing");
        if (!node) ++missing;
    }
    return missing == 0 ? 0 : 1;
}
