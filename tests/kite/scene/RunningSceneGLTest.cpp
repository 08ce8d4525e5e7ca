// Whole frames of a running scene through the host view: drawing leaves GL clean.
#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/Label.h"
#include "kite/scene/Layer.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteBatchNode.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"

namespace kite {
namespace {

RefPtr<Texture2D> checkerTexture() {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {static_cast<std::uint8_t>(i * 16), 200, 40, 255});
    RefPtr<Texture2D> texture(Texture2D::create());
    texture->initWithData(pixels.data(), static_cast<ssize_t>(pixels.size()), Texture2D::PixelFormat::RGBA8888, 4, 4);
    return texture;
}

TEST(RunningScene, FramesWithSpritesLabelsAndALayerLeaveNoGLErrorPending) {
    platform::Clock::setFixed(1000.0);
    // Programs and cached GL state of earlier tests belong to another context: they go first.
    test::shutDownDirector();
    GLViewImpl* view = GLViewImpl::create("frames");
    ASSERT_NE(view, nullptr);
    GLStateCache::invalidate();
    Director* director = Director::getInstance();
    director->setGLView(view);

    RefPtr<Texture2D> texture = checkerTexture();
    Scene* scene = Scene::create();
    scene->addChild(LayerColor::create(Color4B(30, 60, 90, 255)));
    for (int i = 0; i < 3; ++i) {
        Sprite* sprite = Sprite::createWithTexture(texture.get());
        sprite->setPosition(40.0f + 30.0f * i, 80.0f);
        sprite->setScale(6.0f);
        sprite->setOpacity(static_cast<std::uint8_t>(120 + 60 * i));
        scene->addChild(sprite, i);
    }
    SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture.get());
    for (int i = 0; i < 5; ++i) {
        Sprite* sprite = Sprite::createWithTexture(texture.get());
        sprite->setPosition(20.0f + 12.0f * i, 200.0f);
        batch->addChild(sprite);
    }
    scene->addChild(batch, 5);
    Label* digits = Label::createWithCharMap(texture.get(), 2, 2, '0');
    ASSERT_NE(digits, nullptr);
    digits->setString("0123");
    digits->setPosition(60.0f, 300.0f);
    scene->addChild(digits, 6);
    director->runWithScene(scene);

    // What the scene's drawing leaves: errors are taken before it starts and read once it
    // is drawn, before the view presents the frame.
    std::vector<GLenum> errors;
    EventDispatcher* events = director->getEventDispatcher();
    events->addCustomEventListener(Director::EVENT_AFTER_UPDATE, [](EventCustom*) {
        while (glGetError() != GL_NO_ERROR) {}
    });
    events->addCustomEventListener(Director::EVENT_AFTER_DRAW, [&](EventCustom*) { errors.push_back(glGetError()); });
    for (int frame = 0; frame < 6; ++frame) {
        platform::Clock::advance(1.0 / 60);
        director->mainLoop();
    }
    EXPECT_EQ(errors, std::vector<GLenum>(6, GL_NO_ERROR));

    test::shutDownDirector();
    platform::Clock::useRealTime();
}

}  // namespace
}  // namespace kite
