// Textures made from image files, keyed by full path, with decoding on a background thread.
#pragma once
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

#include "kite/foundation/Ref.h"

namespace kite {

class Image;
class Scheduler;
class Texture2D;

class TextureCache : public Ref {
public:
    struct AsyncStruct {
        std::string filename;  // full path
        std::function<void(Texture2D*)> callback;
    };

    struct ImageInfo {
        AsyncStruct* asyncStruct = nullptr;
        Image* image = nullptr;  // null when the path was cached or already being decoded
        bool failed = false;     // the file could not be decoded: called back with null
    };

    TextureCache();
    ~TextureCache() override;

    // The scheduler that runs the completion step once per frame (the director's). Not retained.
    void setScheduler(Scheduler* scheduler) { scheduler_ = scheduler; }

    virtual std::string description() const;

    // The texture of a file, decoded and uploaded on first use; null when the file is
    // missing, cannot be decoded or cannot be uploaded. A file asked for asynchronously before
    // is not decoded again: the decoded image waiting for its frame is uploaded, and a decode
    // under way is waited for.
    Texture2D* addImage(const std::string& path);
    // The texture cached under key, or a new one made from the image and stored under it;
    // null when the image cannot be uploaded.
    Texture2D* addImage(Image* image, const std::string& key);

    // Decodes on the loading thread; the callback runs on the main thread, one image per
    // frame, with the texture, or with null when the file cannot be decoded or uploaded.
    virtual void addImageAsync(const std::string& path, const std::function<void(Texture2D*)>& callback);
    // Drops the callback of the first decoded image of that file still waiting for its frame.
    virtual void unbindImageAsync(const std::string& filename);
    virtual void unbindAllImageAsync();

    Texture2D* getTextureForKey(const std::string& key) const;
    // The key a texture is cached under (its full path for a file); empty when it is not cached.
    std::string getKeyOfTexture(const Texture2D* texture) const;
    void removeTextureForKey(const std::string& key);
    void removeAllTextures();

    // Ends and joins the loading thread (the director calls it before releasing the cache);
    // requests not completed yet are dropped without a callback.
    void stopLoadingThread();

    std::string dumpDebugInfo() const;

    // True from the first asynchronous request until the loading thread is stopped.
    bool isLoadingThreadRunning() const { return loadingThread_ && loadingThread_->joinable(); }
    // Tests only: called on the loading thread with each request's full path before it is
    // looked at, so a test can hold the thread there. Set it before the first request.
    void setLoadingHookForTesting(std::function<void(const std::string&)> hook) { loadingHook_ = std::move(hook); }

    // The completion step, scheduled while requests are pending.
    void addImageAsyncCallBack(float dt);

private:
    void loadImages();
    // Asks the loading thread to end and waits for it.
    void joinLoadingThread();
    bool isCached(const std::string& fullpath) const;
    // The image the loading thread decoded from the file, taken from its request (which is then
    // answered from the cache); null when there is none.
    Image* takeDecoded(const std::string& fullpath);
    void store(const std::string& key, Texture2D* texture);
    // A texture made from the image and cached under the key, holding only the cache's
    // reference; null, and nothing cached, when the upload fails.
    Texture2D* uploadAndStore(Image* image, const std::string& key);
    // The same with one more reference, handed to the autorelease pool.
    Texture2D* uploadAndStoreAutoreleased(Image* image, const std::string& key);
    std::string findKey(const std::string& key) const;

    Scheduler* scheduler_ = nullptr;
    std::function<void(const std::string&)> loadingHook_;
    std::thread* loadingThread_ = nullptr;
    std::deque<AsyncStruct*>* asyncStructQueue_ = nullptr;
    std::deque<ImageInfo*>* imageInfoQueue_ = nullptr;
    // Guards the request queue and the quit flag; the loading thread sleeps on it.
    std::mutex asyncStructQueueMutex_;
    std::condition_variable sleepCondition_;
    std::mutex imageInfoMutex_;  // guards the decoded images and decoding_
    std::condition_variable decodedCondition_;
    std::string decoding_;  // the file the loading thread is decoding now
    bool needQuit_ = false;
    int asyncRefCount_ = 0;
    // Changed on the main thread only; the loading thread tests for a path under the lock.
    mutable std::mutex texturesMutex_;
    std::unordered_map<std::string, Texture2D*> textures_;
};

}  // namespace kite
