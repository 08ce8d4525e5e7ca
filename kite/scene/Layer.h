// Layers: the full-screen node that receives touches, keys and acceleration; colour and gradient fills.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "kite/foundation/math/Color.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/ktTypes.h"
#include "kite/scene/EventKeyboard.h"
#include "kite/scene/Node.h"
#include "kite/scene/Protocols.h"

namespace kite {

class Acceleration;
class Event;
class EventListener;
class EventListenerAcceleration;
class EventListenerKeyboard;
class Touch;

class Layer : public Node {
public:
    // How touches reach the layer.
    enum class TouchMode { ALL_AT_ONCE = 0, ONE_BY_ONE = 1 };

    static Layer* create();

    Layer();
    ~Layer() override;

    // Content size = the director's window size.
    bool init() override;
    std::string description() const override;

    // Hooks the layer's listeners call; subclasses override them.
    virtual bool onTouchBegan(Touch* touch, Event* event);
    virtual void onTouchMoved(Touch* touch, Event* event);
    virtual void onTouchEnded(Touch* touch, Event* event);
    virtual void onTouchCancelled(Touch* touch, Event* event);
    virtual void onTouchesBegan(const std::vector<Touch*>& touches, Event* event);
    virtual void onTouchesMoved(const std::vector<Touch*>& touches, Event* event);
    virtual void onTouchesEnded(const std::vector<Touch*>& touches, Event* event);
    virtual void onTouchesCancelled(const std::vector<Touch*>& touches, Event* event);
    virtual void onAcceleration(Acceleration* acceleration, Event* event);
    virtual void onKeyPressed(EventKeyboard::KeyCode keyCode, Event* event);
    virtual void onKeyReleased(EventKeyboard::KeyCode keyCode, Event* event);

    virtual bool isTouchEnabled() const { return touchEnabled; }
    virtual void setTouchEnabled(bool enabled);
    virtual void setTouchMode(TouchMode mode);
    virtual TouchMode getTouchMode() const { return touchMode; }
    virtual void setSwallowsTouches(bool swallows);
    virtual bool isSwallowsTouches() const { return swallowsTouches; }
    virtual bool isAccelerometerEnabled() const { return accelerometerEnabled; }
    // Switches the device's accelerometer too (one for all layers) and listens to its samples.
    virtual void setAccelerometerEnabled(bool enabled);
    // Passed to the device's accelerometer only while enabled and running.
    virtual void setAccelerometerInterval(double seconds);
    virtual bool isKeyboardEnabled() const { return keyboardEnabled; }
    virtual void setKeyboardEnabled(bool enabled);
    virtual bool isKeypadEnabled() const { return keyboardEnabled; }
    virtual void setKeypadEnabled(bool enabled) { setKeyboardEnabled(enabled); }

    EventListener* getTouchListener() const { return touchListener; }
    EventListenerKeyboard* getKeyboardListener() const { return keyboardListener; }
    EventListenerAcceleration* getAccelerationListener() const { return accelerationListener; }

protected:
    bool touchEnabled = false;
    bool accelerometerEnabled = false;
    bool keyboardEnabled = false;
    // Not retained: the event dispatcher holds them.
    EventListener* touchListener = nullptr;
    EventListenerKeyboard* keyboardListener = nullptr;
    EventListenerAcceleration* accelerationListener = nullptr;
    TouchMode touchMode = TouchMode::ALL_AT_ONCE;
    bool swallowsTouches = true;
};

// A layer that fills its content rectangle with one colour.
class LayerColor : public Layer, public BlendProtocol {
public:
    static LayerColor* create();
    static LayerColor* create(const Color4B& color);
    static LayerColor* create(const Color4B& color, float width, float height);

    LayerColor() = default;

    bool init() override;
    virtual bool initWithColor(const Color4B& color);
    virtual bool initWithColor(const Color4B& color, float width, float height);
    std::string description() const override;

    void setContentSize(const Size& size) override;
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;
    void updateColor() override;

    void setBlendFunc(const BlendFunc& blendFunc) override { blendFunc_ = blendFunc; }
    const BlendFunc& getBlendFunc() const override { return blendFunc_; }

    // Corner positions (node space) and colours: (0, 0), (w, 0), (0, h), (w, h).
    const Vec2* getSquareVertices() const { return squareVertices_; }
    const Color4F* getSquareColors() const { return squareColors_; }

protected:
    void onDraw(const Mat4& transform, uint32_t flags);

    BlendFunc blendFunc_ = BlendFunc::ALPHA_PREMULTIPLIED;
    Vec2 squareVertices_[4];
    Color4F squareColors_[4];
    CustomCommand customCommand_;
    Vec3 noMVPVertices_[4];
};

// A layer that fills its content rectangle with a two-colour linear gradient.
class LayerGradient : public LayerColor {
public:
    static LayerGradient* create();
    static LayerGradient* create(const Color4B& start, const Color4B& end);
    static LayerGradient* create(const Color4B& start, const Color4B& end, const Vec2& along);

    LayerGradient() = default;

    bool init() override;
    virtual bool initWithColor(const Color4B& start, const Color4B& end);
    virtual bool initWithColor(const Color4B& start, const Color4B& end, const Vec2& along);
    using LayerColor::initWithColor;
    std::string description() const override;
    void updateColor() override;

    // The start colour is the node's own colour.
    void setStartColor(const Color3B& color) { setColor(color); }
    const Color3B& getStartColor() const { return realColor; }
    void setEndColor(const Color3B& color);
    const Color3B& getEndColor() const { return endColor_; }
    void setStartOpacity(uint8_t opacity);
    uint8_t getStartOpacity() const { return startOpacity_; }
    void setEndOpacity(uint8_t opacity);
    uint8_t getEndOpacity() const { return endOpacity_; }
    void setVector(const Vec2& along);
    const Vec2& getVector() const { return alongVector_; }
    void setCompressedInterpolation(bool compressed);
    bool isCompressedInterpolation() const { return compressedInterpolation_; }

private:
    Color3B startColor_ = Color3B::BLACK;
    Color3B endColor_ = Color3B::BLACK;
    uint8_t startOpacity_ = 255;
    uint8_t endOpacity_ = 255;
    Vec2 alongVector_ = Vec2(0.0f, -1.0f);
    bool compressedInterpolation_ = true;
};

}  // namespace kite
