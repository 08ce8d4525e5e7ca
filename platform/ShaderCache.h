// The GL driver's disk cache of compiled shaders: kept off a folder that has no room or cannot be written.
#pragma once
#include <string>

namespace platform {

// Mesa keeps its shader cache in files it maps into memory, so a cache on a file system that fills up
// kills the process (SIGBUS) at a shader compile, and it loads whatever compiled shaders it finds there.
// Before the GL driver loads, a cache folder (MESA_SHADER_CACHE_DIR, else XDG_CACHE_HOME, else ~/.cache)
// with less than kShaderCacheRoom free, one that cannot be written, or one another user could put files
// in (another user's but root's, or open to others: for a folder not there yet, the closest one above it
// that is) turns the cache off for this run (MESA_SHADER_CACHE_DISABLE=true), with one line naming the
// folder and why. A cache the user turned off or on stays so. Once a process; call it
// before other threads read the environment.
void prepareShaderCache();

constexpr unsigned long long kShaderCacheRoom = 8ull << 20;

// Where the driver keeps its cache: the folder that holds its mesa_shader_cache folders. Empty when no
// home is known.
std::string shaderCacheFolder();

}  // namespace platform
