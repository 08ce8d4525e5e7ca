#include "Classes/GameRandom.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "kite/foundation/Log.h"
#include "platform/PrintableText.h"

namespace game {

namespace {

struct SeedSource {
    std::optional<unsigned int> fixed;
    unsigned int readings = 0;
};

std::optional<unsigned int> seedFromEnvironment() {
    const char* text = std::getenv("STARGRID_SEED");
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || errno != 0 || value > 0xffffffffUL) {
        kite::log("GameRandom: STARGRID_SEED is not a whole number: %s; seeding from the clock",
                  platform::printableText(text).c_str());
        return std::nullopt;
    }
    return static_cast<unsigned int>(value);
}

SeedSource& source() {
    static SeedSource seeds{seedFromEnvironment(), 0};
    return seeds;
}

}  // namespace

unsigned int randomSeed() {
    SeedSource& seeds = source();
    if (!seeds.fixed) return static_cast<unsigned int>(std::time(nullptr));
    return *seeds.fixed + seeds.readings++;
}

void seedRandom() { std::srand(randomSeed()); }

void setFixedSeedForTesting(std::optional<unsigned int> seed) {
    SeedSource& seeds = source();
    seeds.fixed = seed ? seed : seedFromEnvironment();
    seeds.readings = 0;
}

}  // namespace game
