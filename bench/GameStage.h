// Shared by the game's benchmarks: the GL stage with the game's resources and a preferences store of its own.
#pragma once
#include <stdlib.h>

#include "bench/GLStage.h"
#include "kite/scene/Director.h"

namespace bench {

inline void openGameStage(GLStage& made, int size) {
    openGLStage(made, size);
    if (!made.renderer) return;
    setenv("STARGRID_RESOURCES", STARGRID_SOURCE_DIR "/Resources", 0);
    // The board saves its layout: into a store of its own, not the user's.
    static char folder[] = "/tmp/stargrid-bench-XXXXXX";
    if (mkdtemp(folder)) setenv("XDG_CONFIG_HOME", folder, 1);
    kite::Director::getInstance();
    installFrameServices(made, size);
}

}  // namespace bench
