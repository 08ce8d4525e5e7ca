// Intrusive reference counting: the base of every shared engine object.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>

namespace kite {

class Ref;

// Hook through which objects would notify a script engine. None is ever
// installed here; the interface exists so that the notification paths are real.
class ScriptEngine {
public:
    struct NodeEventData {
        void* node = nullptr;
        int* action = nullptr;
    };
    struct Event {
        int type = 0;  // 0 = node event
        void* data = nullptr;
    };

    virtual ~ScriptEngine() = default;
    virtual int getScriptType() = 0;
    virtual void removeScriptObject(Ref* object) = 0;
    virtual int sendEvent(Event* event) = 0;
    virtual void setCalledFromScript(bool called) = 0;
    virtual bool isCalledFromScript() = 0;
};

class ScriptEngineManager {
public:
    static ScriptEngineManager* getInstance();
    static void destroyInstance();

    ScriptEngine* getScriptEngine() const { return engine_; }
    void setScriptEngine(ScriptEngine* engine);

    // Node-event hooks; each needs an installed engine.
    static bool sendNodeEventOrClearScriptCall(Ref* node, int action);
    static bool sendNodeEventUnlessScriptCall(Ref* node, int action);
    static int sendNodeEvent(Ref* node, int action);

private:
    ScriptEngineManager() = default;
    ~ScriptEngineManager();

    ScriptEngine* engine_ = nullptr;
};

class Ref {
public:
    virtual ~Ref();

    // Engine objects come from the small-object pool: objects of one size lie together.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept;
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void* block, std::size_t size) noexcept;
    static void operator delete(void*, void*) noexcept {}
    // Over-aligned kinds keep the heap's aligned forms.
    static void* operator new(std::size_t size, std::align_val_t alignment) { return ::operator new(size, alignment); }
    static void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
        return ::operator new(size, alignment, std::nothrow);
    }
    static void operator delete(void* block, std::size_t, std::align_val_t alignment) noexcept {
        ::operator delete(block, alignment);
    }

    void retain() { ++referenceCount_; }
    void release();
    Ref* autorelease();

    unsigned int getReferenceCount() const { return referenceCount_; }
    unsigned int getObjectId() const { return objectId_; }

    // The pointer first: the int then packs with the counts below, and a subclass's first
    // small members fill the tail instead of padding.
    void* scriptObject_ = nullptr;
    int scriptId_ = 0;

protected:
    Ref();
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;

private:
    unsigned int referenceCount_;
    unsigned int objectId_;
};

// A strong reference held by a local owner: retains on acquire, releases on
// destruction, so ownership does not depend on autorelease timing.
template <typename T>
class RefPtr {
public:
    RefPtr() = default;
    RefPtr(T* object) : object_(object) {  // NOLINT: implicit by design
        if (object_) object_->retain();
    }
    RefPtr(const RefPtr& other) : RefPtr(other.object_) {}
    RefPtr(RefPtr&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
    ~RefPtr() { reset(); }

    RefPtr& operator=(RefPtr other) noexcept {
        T* old = object_;
        object_ = other.object_;
        other.object_ = old;
        return *this;
    }

    void reset() {
        if (object_) {
            T* old = object_;
            object_ = nullptr;
            old->release();
        }
    }
    T* get() const { return object_; }
    T* operator->() const { return object_; }
    T& operator*() const { return *object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

}  // namespace kite
