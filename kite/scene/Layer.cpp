#include "kite/scene/Layer.h"

#include <cmath>
#include <cstdio>

#include "kite/foundation/Create.h"
#include "kite/platform/Device.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerAcceleration.h"
#include "kite/scene/EventListenerKeyboard.h"
#include "kite/scene/EventListenerTouch.h"

namespace kite {

// ---- Layer

Layer* Layer::create() { return createAutoreleased<Layer>(); }

Layer::Layer() {
    ignoreAnchorPointForPosition = true;
    setAnchorPoint(Vec2(0.5f, 0.5f));
}

Layer::~Layer() = default;  // the node's destructor removes the listeners bound to it

bool Layer::init() {
    setContentSize(director->getWinSize());
    return true;
}

std::string Layer::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<Layer | Tag = %d>", tag);
    return text;
}

bool Layer::onTouchBegan(Touch*, Event*) { return true; }
void Layer::onTouchMoved(Touch*, Event*) {}
void Layer::onTouchEnded(Touch*, Event*) {}
void Layer::onTouchCancelled(Touch*, Event*) {}
void Layer::onTouchesBegan(const std::vector<Touch*>&, Event*) {}
void Layer::onTouchesMoved(const std::vector<Touch*>&, Event*) {}
void Layer::onTouchesEnded(const std::vector<Touch*>&, Event*) {}
void Layer::onTouchesCancelled(const std::vector<Touch*>&, Event*) {}
void Layer::onAcceleration(Acceleration*, Event*) {}
void Layer::onKeyPressed(EventKeyboard::KeyCode, Event*) {}
void Layer::onKeyReleased(EventKeyboard::KeyCode, Event*) {}

void Layer::setTouchEnabled(bool enabled) {
    if (enabled == touchEnabled) return;
    touchEnabled = enabled;
    if (!enabled) {
        if (eventDispatcher && touchListener) eventDispatcher->removeEventListener(touchListener);
        touchListener = nullptr;
        return;
    }
    if (touchListener || !eventDispatcher) return;
    if (touchMode == TouchMode::ONE_BY_ONE) {
        EventListenerTouchOneByOne* listener = EventListenerTouchOneByOne::create();
        if (!listener) return;
        listener->setSwallowTouches(swallowsTouches);
        listener->onTouchBegan = [this](Touch* t, Event* e) { return onTouchBegan(t, e); };
        listener->onTouchMoved = [this](Touch* t, Event* e) { onTouchMoved(t, e); };
        listener->onTouchEnded = [this](Touch* t, Event* e) { onTouchEnded(t, e); };
        listener->onTouchCancelled = [this](Touch* t, Event* e) { onTouchCancelled(t, e); };
        eventDispatcher->addEventListenerWithSceneGraphPriority(listener, this);
        touchListener = listener;
    } else {
        EventListenerTouchAllAtOnce* listener = EventListenerTouchAllAtOnce::create();
        if (!listener) return;
        listener->onTouchesBegan = [this](const std::vector<Touch*>& t, Event* e) { onTouchesBegan(t, e); };
        listener->onTouchesMoved = [this](const std::vector<Touch*>& t, Event* e) { onTouchesMoved(t, e); };
        listener->onTouchesEnded = [this](const std::vector<Touch*>& t, Event* e) { onTouchesEnded(t, e); };
        listener->onTouchesCancelled = [this](const std::vector<Touch*>& t, Event* e) { onTouchesCancelled(t, e); };
        eventDispatcher->addEventListenerWithSceneGraphPriority(listener, this);
        touchListener = listener;
    }
}

void Layer::setTouchMode(TouchMode mode) {
    if (mode == touchMode) return;
    touchMode = mode;
    if (touchEnabled) {
        setTouchEnabled(false);
        setTouchEnabled(true);
    }
}

void Layer::setSwallowsTouches(bool swallows) {
    if (swallows == swallowsTouches) return;
    swallowsTouches = swallows;
    if (touchEnabled) {
        setTouchEnabled(false);
        setTouchEnabled(true);
    }
}

void Layer::setKeyboardEnabled(bool enabled) {
    if (enabled == keyboardEnabled) return;
    keyboardEnabled = enabled;
    if (eventDispatcher && keyboardListener) eventDispatcher->removeEventListener(keyboardListener);
    keyboardListener = nullptr;
    if (!enabled || !eventDispatcher) return;
    EventListenerKeyboard* listener = EventListenerKeyboard::create();
    if (!listener) return;
    listener->onKeyPressed = [this](EventKeyboard::KeyCode key, Event* e) { onKeyPressed(key, e); };
    listener->onKeyReleased = [this](EventKeyboard::KeyCode key, Event* e) { onKeyReleased(key, e); };
    eventDispatcher->addEventListenerWithSceneGraphPriority(listener, this);
    keyboardListener = listener;
}

void Layer::setAccelerometerEnabled(bool enabled) {
    if (enabled == accelerometerEnabled) return;
    accelerometerEnabled = enabled;
    Device::setAccelerometerEnabled(enabled);
    if (eventDispatcher && accelerationListener) eventDispatcher->removeEventListener(accelerationListener);
    accelerationListener = nullptr;
    if (!enabled || !eventDispatcher) return;
    EventListenerAcceleration* listener =
        EventListenerAcceleration::create([this](Acceleration* a, Event* e) { onAcceleration(a, e); });
    if (!listener) return;
    eventDispatcher->addEventListenerWithSceneGraphPriority(listener, this);
    accelerationListener = listener;
}

void Layer::setAccelerometerInterval(double seconds) {
    if (accelerometerEnabled && isRunning()) Device::setAccelerometerInterval(static_cast<float>(seconds));
}

// ---- LayerColor

LayerColor* LayerColor::create() { return createAutoreleased<LayerColor>(); }

LayerColor* LayerColor::create(const Color4B& color) {
    auto* layer = new (std::nothrow) LayerColor();
    if (layer && layer->initWithColor(color)) {
        layer->autorelease();
        return layer;
    }
    delete layer;
    return nullptr;
}

LayerColor* LayerColor::create(const Color4B& color, float width, float height) {
    auto* layer = new (std::nothrow) LayerColor();
    if (layer && layer->initWithColor(color, width, height)) {
        layer->autorelease();
        return layer;
    }
    delete layer;
    return nullptr;
}

bool LayerColor::init() {
    const Size win = director->getWinSize();
    return initWithColor(Color4B(0, 0, 0, 0), win.width, win.height);
}

bool LayerColor::initWithColor(const Color4B& color) {
    const Size win = director->getWinSize();
    return initWithColor(color, win.width, win.height);
}

bool LayerColor::initWithColor(const Color4B& color, float width, float height) {
    if (!Layer::init()) return false;
    blendFunc_ = BlendFunc::ALPHA_NON_PREMULTIPLIED;
    displayedColor = realColor = Color3B(color.r, color.g, color.b);
    displayedOpacity = realOpacity = color.a;
    for (Vec2& corner : squareVertices_) corner = Vec2::ZERO;
    updateColor();
    setContentSize(Size(width, height));
    setGLProgramState(GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_COLOR_NO_MVP));
    return true;
}

std::string LayerColor::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<LayerColor | Tag = %d>", tag);
    return text;
}

void LayerColor::setContentSize(const Size& size) {
    squareVertices_[1].x = size.width;
    squareVertices_[2].y = size.height;
    squareVertices_[3] = Vec2(size.width, size.height);
    Layer::setContentSize(size);
}

void LayerColor::updateColor() {
    const Color4F color(displayedColor.r / 255.0f, displayedColor.g / 255.0f, displayedColor.b / 255.0f,
                        displayedOpacity / 255.0f);
    for (Color4F& corner : squareColors_) corner = color;
}

void LayerColor::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    if (!renderer) return;
    customCommand_.init(globalZOrder, transform, flags);
    customCommand_.func = [this, transform, flags] { onDraw(transform, flags); };
    renderer->addCommand(&customCommand_);
    for (int i = 0; i < 4; ++i) {
        Vec4 p = modelViewTransform * Vec4(squareVertices_[i].x, squareVertices_[i].y, positionZ, 1.0f);
        noMVPVertices_[i] = Vec3(p.x / p.w, p.y / p.w, p.z / p.w);
    }
}

void LayerColor::onDraw(const Mat4& transform, uint32_t) {
    GLProgram* program = getGLProgram();
    if (!program) return;
    program->use();
    program->setUniformsForBuiltins(transform);
    GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POSITION |
                                      GLStateCache::VERTEX_ATTRIB_FLAG_COLOR);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, 0, noMVPVertices_);
    glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_FLOAT, GL_FALSE, 0, squareColors_);
    GLStateCache::blendFunc(blendFunc_.src, blendFunc_.dst);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    if (Renderer* renderer = frameRenderer()) {
        renderer->addDrawnBatches(1);
        renderer->addDrawnVertices(4);
    }
}

// ---- LayerGradient

LayerGradient* LayerGradient::create() { return createAutoreleased<LayerGradient>(); }

LayerGradient* LayerGradient::create(const Color4B& start, const Color4B& end) {
    return create(start, end, Vec2(0.0f, -1.0f));
}

LayerGradient* LayerGradient::create(const Color4B& start, const Color4B& end, const Vec2& along) {
    auto* layer = new (std::nothrow) LayerGradient();
    if (layer && layer->initWithColor(start, end, along)) {
        layer->autorelease();
        return layer;
    }
    delete layer;
    return nullptr;
}

bool LayerGradient::init() { return initWithColor(Color4B(0, 0, 0, 255), Color4B(0, 0, 0, 255)); }

bool LayerGradient::initWithColor(const Color4B& start, const Color4B& end) {
    return initWithColor(start, end, Vec2(0.0f, -1.0f));
}

bool LayerGradient::initWithColor(const Color4B& start, const Color4B& end, const Vec2& along) {
    endColor_ = Color3B(end.r, end.g, end.b);
    endOpacity_ = end.a;
    startOpacity_ = start.a;
    alongVector_ = along;
    compressedInterpolation_ = true;
    return LayerColor::initWithColor(Color4B(start.r, start.g, start.b, 255));
}

std::string LayerGradient::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<LayerGradient | Tag = %d>", tag);
    return text;
}

void LayerGradient::setEndColor(const Color3B& color) {
    endColor_ = color;
    updateColor();
}

void LayerGradient::setStartOpacity(uint8_t opacity) {
    startOpacity_ = opacity;
    updateColor();
}

void LayerGradient::setEndOpacity(uint8_t opacity) {
    endOpacity_ = opacity;
    updateColor();
}

void LayerGradient::setVector(const Vec2& along) {
    alongVector_ = along;
    updateColor();
}

void LayerGradient::setCompressedInterpolation(bool compressed) {
    compressedInterpolation_ = compressed;
    updateColor();
}

void LayerGradient::updateColor() {
    LayerColor::updateColor();
    const float h = alongVector_.length();
    if (h == 0.0f) return;
    constexpr float c = 1.4142135f;
    Vec2 u(alongVector_.x / h, alongVector_.y / h);
    if (compressedInterpolation_) {
        const float factor = c / (std::fabs(u.x) + std::fabs(u.y));
        u = Vec2(u.x * factor, u.y * factor);
    }
    const float opacity = displayedOpacity / 255.0f;
    const Color4F S(displayedColor.r / 255.0f, displayedColor.g / 255.0f, displayedColor.b / 255.0f,
                    opacity * startOpacity_ / 255.0f);
    const Color4F E(endColor_.r / 255.0f, endColor_.g / 255.0f, endColor_.b / 255.0f, opacity * endOpacity_ / 255.0f);
    const float t[4] = {(u.x + c + u.y) / 2.828427f, (c - u.x + u.y) / 2.828427f, (u.x + c - u.y) / 2.828427f,
                        (c - u.x - u.y) / 2.828427f};
    for (int i = 0; i < 4; ++i) {
        squareColors_[i] = Color4F(E.r + (S.r - E.r) * t[i], E.g + (S.g - E.g) * t[i], E.b + (S.b - E.b) * t[i],
                                   E.a + (S.a - E.a) * t[i]);
    }
}

}  // namespace kite
