// Shared by the game's benchmarks: the GL stage with the game's resources and a preferences store of its own.
#pragma once
#include <stdlib.h>

#include <benchmark/benchmark.h>

#include "Classes/GameData.h"
#include "Classes/GameRandom.h"
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

constexpr int kGameViewport = 480;

inline void openGameViewport(GLStage& made) { openGameStage(made, kGameViewport); }

// The benchmark's game stage (opened at its first use, kGameViewport pixels square) with a new
// game dealt from a fixed seed; null, and the benchmark skipped, without a GL context.
inline GLStage* stageWithNewGame(benchmark::State& state) {
    GLStage& stage = sharedStage<GLStage, openGameViewport>();
    if (!stage.renderer) {
        state.SkipWithError("no GL context");
        return nullptr;
    }
    game::setFixedSeedForTesting(1u);
    GameData::getInstance()->newGame();
    return &stage;
}

}  // namespace bench
