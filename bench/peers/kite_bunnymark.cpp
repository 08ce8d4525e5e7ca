// The sprite storm as a program of its own, drawn the way a game of this engine draws it: Sprite
// nodes of one texture in a scene, under the director's default camera and projection, moved by an
// update each frame. The peer script runs it beside the same program written for other libraries.
//
//   kite_bunnymark [--sprites N] [--width W] [--height H] [--frames F] [--projection 2d|3d]
//
// Frames follow one another without waiting (the host loop's fixed step); without --frames it runs
// until closed (the frame shim ends it after the frames it measures).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "bench/peers/BunnyStorm.h"
#include "kite/platform/Application.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Sprite.h"
#include "platform/HostLoop.h"

namespace {

using namespace kite;

// The storm's scene: every sprite moves by its velocity each frame and bounces off the window's edges.
class StormScene : public Scene {
public:
    static StormScene* create(const bench::StormSize& size) {
        auto* scene = new StormScene();
        if (!scene->init(size)) {
            delete scene;
            return nullptr;
        }
        scene->autorelease();
        return scene;
    }

    void update(float) override {
        for (std::size_t i = 0; i < sprites_.size(); ++i) {
            bench::Bunny& bunny = bunnies_[i];
            bench::step(bunny, size_);
            sprites_[i]->setPosition(bunny.x, bunny.y);
        }
    }

private:
    bool init(const bench::StormSize& size) {
        if (!Scene::init()) return false;
        size_ = size;
        const std::vector<unsigned char> pixels = bench::bunnyPixels(true);
        Texture2D* texture = Texture2D::create();
        if (!texture->initWithData(pixels.data(), pixels.size(), Texture2D::PixelFormat::RGBA8888, bench::kBunnySize,
                                   bench::kBunnySize))
            return false;
        sprites_.reserve(static_cast<std::size_t>(size.sprites));
        bunnies_.reserve(static_cast<std::size_t>(size.sprites));
        for (int i = 0; i < size.sprites; ++i) {
            bunnies_.push_back(bench::bunnyAt(i, size));
            Sprite* sprite = Sprite::createWithTexture(texture);
            sprite->setPosition(bunnies_.back().x, bunnies_.back().y);
            addChild(sprite);
            sprites_.push_back(sprite);
        }
        scheduleUpdate();
        return true;
    }

    bench::StormSize size_;
    std::vector<Sprite*> sprites_;  // children of the scene
    std::vector<bench::Bunny> bunnies_;
};

// The program as an engine user writes one: an application whose launch makes the window's scene.
class StormApplication : public Application {
public:
    StormApplication(const bench::StormSize& size, bool projection3D) : size_(size), projection3D_(projection3D) {}

    bool didFinishLaunching() override {
        Director* director = Director::getInstance();
        GLView* view = director->getOpenGLView();
        if (!view) return false;
        view->setDesignResolutionSize(static_cast<float>(size_.width), static_cast<float>(size_.height),
                                      ResolutionPolicy::EXACT_FIT);
        director->setAnimationInterval(1.0 / 60);
        if (!projection3D_) director->setProjection(Director::Projection::_2D);
        StormScene* scene = StormScene::create(size_);
        if (!scene) return false;
        director->runWithScene(scene);
        return true;
    }
    void didEnterBackground() override { Director::getInstance()->stopAnimation(); }
    void willEnterForeground() override { Director::getInstance()->startAnimation(); }

private:
    bench::StormSize size_;
    bool projection3D_;
};

// Takes "--projection 2d|3d" out of the arguments: the director's default projection (3D) or the 2D one.
bool takeProjection(int& argc, char** argv, bool& projection3D) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--projection") != 0) continue;
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (std::strcmp(value, "2d") != 0 && std::strcmp(value, "3d") != 0) {
            std::fprintf(stderr, "kite_bunnymark: --projection needs 2d or 3d\n");
            return false;
        }
        projection3D = std::strcmp(value, "3d") == 0;
        for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
        argc -= 2;
        return true;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bench::StormSize size;
    long frames = -1;
    bool projection3D = true;
    if (!takeProjection(argc, argv, projection3D) || !bench::parseStormArguments(argc, argv, size, frames)) return 2;

    platform::HostLoop& loop = platform::HostLoop::main();
    loop.setFixedStep(true);
    GLView::setContextAttributes(GLContextAttributes{8, 8, 8, 8, 0, 0});
    GLViewImpl::convertContextAttributes();
    const Rect frame(0.0f, 0.0f, static_cast<float>(size.width), static_cast<float>(size.height));
    // Colour with alpha and no depth or stencil buffer, which sprites do not use: the window SDL2's
    // renderer and SFML open. (Mesa's llvmpipe draws into a window with a depth or stencil buffer
    // much more slowly, whether or not anything tests them.)
    constexpr unsigned kNoDepthBuffer = 0;
    auto host = KTEAGLView::viewWithFrame(frame, GLViewImpl::getPixelFormat(), kNoDepthBuffer);
    if (!host) return 1;
    GLViewImpl* view = GLViewImpl::createWithEAGLView(std::move(host));
    if (!view) return 1;
    Director* director = Director::getInstance();
    director->setGLView(view);

    platform::HostLoop::Handlers handlers;
    handlers.quit = [director] {
        director->end();
        director->mainLoop();  // shuts the director down now
    };
    handlers.afterPass = [&loop, director, frames] {
        if (frames >= 0 && director->getTotalFrames() >= static_cast<unsigned>(frames)) loop.quit();
    };
    loop.setHandlers(std::move(handlers));
    StormApplication application(size, projection3D);
    application.run();
    if (frames == 0) loop.quit();
    return loop.run();
}
