// Shared by the game's tests: a private preferences store, the committed resources, clean progress, a fixed seed.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Classes/GameData.h"
#include "Classes/GameRandom.h"
#include "Classes/QKSingleton.h"
#include "kite/audio/linux/SimpleAudioEngine.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/UserDefault.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "support/DirectorShutdown.h"
#include "support/GLTest.h"
#include "support/TemporaryFolder.h"

namespace game::test {

// The progress singleton back to how a fresh process finds it.
inline void resetProgress() {
    GameData* data = GameData::getInstance();
    data->level = data->currentScore = data->highestScore = data->levelNumber = data->targetScore = 0;
    data->freshBoard = data->newGameRequested = false;
    data->pendingGameTag.clear();
    data->fallingStarCount = 0;
    QKSingleton::getInstance()->inGame = false;
}

// The first child of the node of the type, or null.
template <class T>
T* childOf(kite::Node* node) {
    for (kite::Node* child : node->getChildren())
        if (auto* found = dynamic_cast<T*>(child)) return found;
    return nullptr;
}

// Points the store and the bundle where a test wants them, and puts them back.
class GameEnvironment {
public:
    GameEnvironment() : folder_("stargrid-game") {
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "STARGRID_RESOURCES"}) {
            const char* value = std::getenv(name);
            saved_.emplace_back(name, value ? value : "");
        }
        setenv("XDG_CONFIG_HOME", (folder_.path() + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (folder_.path() + "/cache").c_str(), 1);
        setenv("XDG_DATA_HOME", (folder_.path() + "/data").c_str(), 1);
        setenv("STARGRID_RESOURCES", STARGRID_SOURCE_DIR "/Resources", 1);
        kite::UserDefault::destroyInstance();
        kite::FileUtils::destroyInstance();
        resetProgress();
        setFixedSeedForTesting(20261207u);
    }
    ~GameEnvironment() {
        // The game's sounds leave no audio device open for OpenAL's exit clean-up.
        kite::audio::SimpleAudioEngine::end();
        kite::PoolManager::getInstance()->getCurrentPool()->clear();
        kite::UserDefault::destroyInstance();
        kite::FileUtils::destroyInstance();
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
        setFixedSeedForTesting(std::nullopt);
    }
    const std::string& root() const { return folder_.path(); }
    std::string storePath() const { return folder_.path() + "/config/stargrid/UserDefaults.plist"; }

private:
    kite::test::TemporaryFolder folder_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

// A test with its own store and the game's resources, without GL.
class GameStoreTest : public ::testing::Test {
protected:
    GameEnvironment environment;
    kite::UserDefault* store() { return kite::UserDefault::getInstance(); }
};

// A test that loads the game's textures: a GL context and the director.
class GameGLTest : public kite::test::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        environment = std::make_unique<GameEnvironment>();
        kite::Director::getInstance();
    }
    void TearDown() override {
        // The director's caches (shader programs above all) hold names made in this test's context;
        // a later test drawing in a window of its own would use them where they mean nothing.
        kite::test::shutDownDirector();
        environment.reset();
        GLTest::TearDown();
    }
    kite::UserDefault* store() { return kite::UserDefault::getInstance(); }
    std::unique_ptr<GameEnvironment> environment;
};

// The textures in the cache of at least 128 x 128 pixels, by the picture's name under Resources/.
inline std::vector<std::string> largePicturesInTheCache() {
    std::vector<std::string> names;
    std::istringstream dump(kite::Director::getInstance()->getTextureCache()->dumpDebugInfo());
    for (std::string line; std::getline(dump, line);) {
        const std::size_t close = line.find('"', 1);
        unsigned long id = 0, rc = 0, width = 0, height = 0;
        if (line[0] != '"' || close == std::string::npos ||
            std::sscanf(line.c_str() + close + 1, " rc=%lu id=%lu %lu x %lu", &rc, &id, &width, &height) != 4)
            continue;
        const std::string key = line.substr(1, close - 1);
        const std::size_t resources = key.find("/Resources/");
        if (width * height >= 128 * 128 && resources != std::string::npos)
            names.push_back(key.substr(resources + std::strlen("/Resources/")));
    }
    return names;
}

}  // namespace game::test
