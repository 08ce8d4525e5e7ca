// What rendering reads of the director's frame (matrix stacks, counters, renderer, window, camera, lights), installed
// by the director.
#pragma once
#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/Size.h"
#include "kite/rendering/SceneLight.h"

#include <vector>

namespace kite {

class Renderer;

// The director fills this in when it starts and clears it when it goes. Until
// then rendering sees identity matrices, frame 0, a 1/60 s interval, no renderer
// to reach, no window to test against, content scale 1, no other camera than
// the default one, depth 0 and no lights.
struct DirectorFrameServices {
    // Top of a matrix stack: 0 model-view, 1 projection, 2 texture.
    const Mat4& (*getMatrix)(int stack) = nullptr;
    void (*resetMatrixStacks)() = nullptr;
    unsigned int (*getTotalFrames)() = nullptr;
    double (*getAnimationInterval)() = nullptr;
    Renderer* (*getRenderer)() = nullptr;
    // The window size in points.
    Size (*getWinSize)() = nullptr;
    float (*getContentScaleFactor)() = nullptr;
    // True while a camera other than the running scene's default one is visited.
    bool (*isVisitingNonDefaultCamera)() = nullptr;
    // A transform's depth in the visiting camera's view.
    float (*getDepthInView)(const Mat4& transform) = nullptr;
    // The running scene's lights.
    const std::vector<SceneLight>& (*getSceneLights)() = nullptr;
};

void setDirectorFrameServices(const DirectorFrameServices& services);
const DirectorFrameServices& getDirectorFrameServices();

const Mat4& getDirectorMatrix(int stack);
void resetDirectorMatrixStacks();
unsigned int getDirectorTotalFrames();
double getDirectorAnimationInterval();
Renderer* frameRenderer();
float frameContentScaleFactor();
float frameDepthInView(const Mat4& transform);
const std::vector<SceneLight>& frameSceneLights();

}  // namespace kite
