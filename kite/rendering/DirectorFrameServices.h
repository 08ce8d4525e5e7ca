// What the GL layer reads from the director (matrix stacks, frame count, interval), installed by the director.
#pragma once
#include "kite/foundation/math/Mat4.h"

namespace kite {

// The director fills this in when it starts and clears it when it goes; until
// then the GL layer sees identity matrices, frame 0 and a 1/60 s interval.
struct DirectorFrameServices {
    // Top of a matrix stack: 0 model-view, 1 projection, 2 texture.
    const Mat4& (*getMatrix)(int stack) = nullptr;
    void (*resetMatrixStacks)() = nullptr;
    unsigned int (*getTotalFrames)() = nullptr;
    double (*getAnimationInterval)() = nullptr;
};

void setDirectorFrameServices(const DirectorFrameServices& services);
const DirectorFrameServices& getDirectorFrameServices();

const Mat4& getDirectorMatrix(int stack);
void resetDirectorMatrixStacks();
unsigned int getDirectorTotalFrames();
double getDirectorAnimationInterval();

}  // namespace kite
