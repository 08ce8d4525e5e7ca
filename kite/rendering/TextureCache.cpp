#include "kite/rendering/TextureCache.h"

#include <cstdio>
#include <new>
#include <system_error>
#include <utility>

#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/Texture2D.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

std::string fullPathOf(const std::string& path) {
    FileUtils* files = FileUtils::getInstance();
    return files ? files->fullPathForFilename(path) : std::string();
}

}  // namespace

TextureCache::TextureCache() { textures_.max_load_factor(1.0f); }

TextureCache::~TextureCache() {
    // The thread must have been stopped; a running one is stopped here rather than left
    // behind, and before the texture map it reads goes.
    if (loadingThread_) {
        if (loadingThread_->joinable()) joinLoadingThread();  // the scheduler may be gone by now
        delete loadingThread_;
    }
    for (auto& entry : textures_) entry.second->release();
    textures_.clear();
}

std::string TextureCache::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<TextureCache | Number of textures = %d>", static_cast<int>(textures_.size()));
    return text;
}

bool TextureCache::isCached(const std::string& fullpath) const {
    std::lock_guard<std::mutex> lock(texturesMutex_);
    return textures_.count(fullpath) > 0;
}

void TextureCache::store(const std::string& key, Texture2D* texture) {
    std::lock_guard<std::mutex> lock(texturesMutex_);
    textures_[key] = texture;
}

Texture2D* TextureCache::addImage(const std::string& path) {
    const std::string fullpath = fullPathOf(path);
    if (fullpath.empty()) return nullptr;
    auto found = textures_.find(fullpath);
    if (found != textures_.end()) return found->second;

    Image* image = takeDecoded(fullpath);
    if (!image) {
        image = new (std::nothrow) Image();
        if (!image) return nullptr;
        if (!image->initWithImageFile(fullpath)) {
            image->release();
            return nullptr;
        }
    }
    Texture2D* texture = uploadAndStore(image, fullpath);
    image->release();
    return texture;
}

Image* TextureCache::takeDecoded(const std::string& fullpath) {
    std::unique_lock<std::mutex> lock(imageInfoMutex_);
    if (!imageInfoQueue_) return nullptr;
    // A decode of the file under way ends sooner than a new one would.
    decodedCondition_.wait(lock, [&] { return decoding_ != fullpath; });
    for (ImageInfo* info : *imageInfoQueue_) {
        if (info->image && info->asyncStruct->filename == fullpath) {
            // Its request is answered with the texture made from it, found in the cache.
            Image* image = info->image;
            info->image = nullptr;
            return image;
        }
    }
    return nullptr;
}

Texture2D* TextureCache::uploadAndStore(Image* image, const std::string& key) {
    Texture2D* texture = new (std::nothrow) Texture2D();
    if (!texture) return nullptr;
    if (!texture->initWithImage(image)) {
        // A texture without pixels is no texture: nothing is cached under the key.
        log("TextureCache: cannot upload \"%s\"", platform::printableText(key).c_str());
        texture->release();
        return nullptr;
    }
    store(key, texture);  // the creation reference is the cache's
    return texture;
}

Texture2D* TextureCache::uploadAndStoreAutoreleased(Image* image, const std::string& key) {
    Texture2D* texture = uploadAndStore(image, key);
    if (texture) {
        texture->retain();
        texture->autorelease();
    }
    return texture;
}

Texture2D* TextureCache::addImage(Image* image, const std::string& key) {
    if (!image) return nullptr;
    auto found = textures_.find(key);
    if (found != textures_.end()) return found->second;
    return uploadAndStoreAutoreleased(image, key);
}

void TextureCache::addImageAsync(const std::string& path, const std::function<void(Texture2D*)>& callback) {
    const std::string fullpath = fullPathOf(path);
    auto found = textures_.find(fullpath);
    if (found != textures_.end() && found->second) {
        if (callback) callback(found->second);
        return;
    }
    if (!asyncStructQueue_) {
        if (loadingThread_) {
            // A thread stopped earlier; a new one takes over.
            if (loadingThread_->joinable()) loadingThread_->join();
            delete loadingThread_;
        }
        asyncStructQueue_ = new std::deque<AsyncStruct*>();
        imageInfoQueue_ = new std::deque<ImageInfo*>();
        needQuit_ = false;
        try {
            loadingThread_ = new std::thread(&TextureCache::loadImages, this);
        } catch (const std::system_error& error) {
            // Without the loading thread a preload does nothing (the picture loads when it is first asked
            // for), and a caller waiting for it is answered now, as for a picture already cached.
            loadingThread_ = nullptr;
            delete asyncStructQueue_;
            delete imageInfoQueue_;
            asyncStructQueue_ = nullptr;
            imageInfoQueue_ = nullptr;
            static bool said = false;
            if (!std::exchange(said, true))
                log("TextureCache: cannot start the loading thread (%s); pictures load when they are drawn",
                    error.what());
            if (callback) callback(addImage(path));
            return;
        }
    }
    if (asyncRefCount_ == 0 && scheduler_) {
        scheduler_->scheduleSelector(schedule_selector(&TextureCache::addImageAsyncCallBack), this, 0.0f,
                                     kRepeatForever, 0.0f, false);
    }
    ++asyncRefCount_;
    auto* request = new AsyncStruct{fullpath, callback};
    {
        std::lock_guard<std::mutex> lock(asyncStructQueueMutex_);
        asyncStructQueue_->push_back(request);
    }
    sleepCondition_.notify_one();
}

void TextureCache::loadImages() {
    for (;;) {
        AsyncStruct* request = nullptr;
        {
            std::unique_lock<std::mutex> lock(asyncStructQueueMutex_);
            // Waiting on a predicate under the queue's lock: a request or a quit
            // that arrives before the wait is never missed.
            sleepCondition_.wait(lock, [this] { return needQuit_ || !asyncStructQueue_->empty(); });
            if (asyncStructQueue_->empty()) break;  // quitting with nothing left
            request = asyncStructQueue_->front();
            asyncStructQueue_->pop_front();
        }
        if (loadingHook_) loadingHook_(request->filename);
        bool decode = !isCached(request->filename);
        if (decode) {
            std::lock_guard<std::mutex> lock(imageInfoMutex_);
            for (const ImageInfo* info : *imageInfoQueue_) {
                if (info->asyncStruct->filename == request->filename) {
                    decode = false;
                    break;
                }
            }
        }
        auto* info = new ImageInfo();
        info->asyncStruct = request;
        if (decode) {
            {
                std::lock_guard<std::mutex> lock(imageInfoMutex_);
                decoding_ = request->filename;
            }
            Image* image = new (std::nothrow) Image();
            if (image && image->initWithImageFileThreadSafe(request->filename)) {
                info->image = image;
            } else {
                if (image) image->release();
                info->failed = true;
            }
        }
        {
            std::lock_guard<std::mutex> lock(imageInfoMutex_);
            imageInfoQueue_->push_back(info);
            decoding_.clear();
        }
        decodedCondition_.notify_all();
    }
    std::lock_guard<std::mutex> lock(asyncStructQueueMutex_);
    for (AsyncStruct* request : *asyncStructQueue_) delete request;
    delete asyncStructQueue_;
    asyncStructQueue_ = nullptr;
    std::lock_guard<std::mutex> infoLock(imageInfoMutex_);
    for (ImageInfo* info : *imageInfoQueue_) {
        if (info->image) info->image->release();
        delete info->asyncStruct;
        delete info;
    }
    delete imageInfoQueue_;
    imageInfoQueue_ = nullptr;
}

void TextureCache::addImageAsyncCallBack(float /*dt*/) {
    ImageInfo* info = nullptr;
    {
        std::lock_guard<std::mutex> lock(imageInfoMutex_);
        if (!imageInfoQueue_ || imageInfoQueue_->empty()) return;
        info = imageInfoQueue_->front();
        imageInfoQueue_->pop_front();
    }
    AsyncStruct* request = info->asyncStruct;
    Texture2D* texture = nullptr;
    if (info->failed) {
        log("TextureCache: cannot load \"%s\"", platform::printableText(request->filename).c_str());
    } else {
        auto cached = textures_.find(request->filename);
        if (cached != textures_.end()) {
            texture = cached->second;  // loaded in the meantime, synchronously
        } else if (info->image) {
            texture = uploadAndStoreAutoreleased(info->image, request->filename);
        }
    }
    // A failed load still answers its caller, with null.
    if (request->callback) request->callback(texture);
    if (info->image) info->image->release();
    delete request;
    delete info;
    // A failed request is finished too, so the step ends when nothing is pending.
    if (--asyncRefCount_ == 0 && scheduler_) {
        scheduler_->unscheduleSelector(schedule_selector(&TextureCache::addImageAsyncCallBack), this);
    }
}

void TextureCache::unbindImageAsync(const std::string& filename) {
    std::lock_guard<std::mutex> lock(imageInfoMutex_);
    if (!imageInfoQueue_) return;
    const std::string fullpath = fullPathOf(filename);
    for (ImageInfo* info : *imageInfoQueue_) {
        if (info->asyncStruct->filename == fullpath) {
            info->asyncStruct->callback = nullptr;
            return;
        }
    }
}

void TextureCache::unbindAllImageAsync() {
    std::lock_guard<std::mutex> lock(imageInfoMutex_);
    if (!imageInfoQueue_) return;
    for (ImageInfo* info : *imageInfoQueue_) info->asyncStruct->callback = nullptr;
}

std::string TextureCache::findKey(const std::string& key) const {
    if (textures_.count(key)) return key;
    const std::string fullpath = fullPathOf(key);
    return textures_.count(fullpath) ? fullpath : std::string();
}

Texture2D* TextureCache::getTextureForKey(const std::string& key) const {
    const std::string found = findKey(key);
    if (found.empty()) return nullptr;
    return textures_.at(found);
}

std::string TextureCache::getKeyOfTexture(const Texture2D* texture) const {
    for (const auto& [key, cached] : textures_)
        if (cached == texture) return key;
    return "";
}

void TextureCache::removeTextureForKey(const std::string& key) {
    const std::string found = findKey(key);
    if (found.empty()) return;
    Texture2D* texture = nullptr;
    {
        std::lock_guard<std::mutex> lock(texturesMutex_);
        auto it = textures_.find(found);
        texture = it->second;
        textures_.erase(it);
    }
    texture->release();
}

void TextureCache::removeAllTextures() {
    std::unordered_map<std::string, Texture2D*> removed;
    {
        std::lock_guard<std::mutex> lock(texturesMutex_);
        removed.swap(textures_);
    }
    for (auto& entry : removed) entry.second->release();
}

void TextureCache::stopLoadingThread() {
    joinLoadingThread();
    // The thread dropped what it had not handed over: nothing is pending any more, and the
    // completion step has nothing left to finish.
    if (asyncRefCount_ > 0) {
        asyncRefCount_ = 0;
        if (scheduler_) scheduler_->unscheduleSelector(schedule_selector(&TextureCache::addImageAsyncCallBack), this);
    }
}

void TextureCache::joinLoadingThread() {
    {
        std::lock_guard<std::mutex> lock(asyncStructQueueMutex_);
        needQuit_ = true;
    }
    sleepCondition_.notify_one();
    if (loadingThread_ && loadingThread_->joinable()) loadingThread_->join();
}

std::string TextureCache::dumpDebugInfo() const {
    std::string text;
    unsigned long totalBytes = 0;
    char line[4095];
    for (const auto& entry : textures_) {
        const Texture2D* texture = entry.second;
        const unsigned long bpp = texture->getBitsPerPixelForFormat();
        const unsigned long bytes =
            static_cast<unsigned long>(texture->getPixelsWide()) * texture->getPixelsHigh() * bpp / 8;
        totalBytes += bytes;
        std::snprintf(
            line, sizeof line, "\"%s\" rc=%lu id=%lu %lu x %lu @ %ld bpp => %lu KB\n",
            platform::printableText(entry.first).c_str(), static_cast<unsigned long>(texture->getReferenceCount()),
            static_cast<unsigned long>(texture->getName()), static_cast<unsigned long>(texture->getPixelsWide()),
            static_cast<unsigned long>(texture->getPixelsHigh()), static_cast<long>(bpp), bytes / 1024);
        text += line;
    }
    std::snprintf(line, sizeof line, "TextureCache dumpDebugInfo: %ld textures, for %lu KB (%.2f MB)\n",
                  static_cast<long>(textures_.size()), totalBytes / 1024, totalBytes * 9.536743e-7);
    text += line;
    return text;
}

}  // namespace kite
