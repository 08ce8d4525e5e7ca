#include "kite/rendering/TextureCache.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Scheduler.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/Texture2D.h"
#include "support/GLTest.h"
#include "support/NoThreads.h"
#include "support/TestImages.h"

namespace kite {
namespace {

using namespace testdata;

class TextureCacheTest : public test::GLTest {
protected:
    void SetUp() override {
        test::GLTest::SetUp();
        if (HasFatalFailure()) return;
        char folder[] = "/tmp/stargrid-textures-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = std::string(folder) + "/";
        FileUtils* files = FileUtils::getInstance();
        savedSearchPaths_ = files->getSearchPaths();
        files->setSearchPaths({folder_});
        pool_ = std::make_unique<AutoreleasePool>("texture cache test");
        scheduler_ = RefPtr<Scheduler>(new Scheduler());
        scheduler_->release();
        cache_ = RefPtr<TextureCache>(new TextureCache());
        cache_->release();
        cache_->setScheduler(scheduler_.get());
    }

    void TearDown() override {
        if (cache_) cache_->stopLoadingThread();
        cache_.reset();
        scheduler_.reset();
        pool_.reset();
        for (const std::string& file : written_) std::remove(file.c_str());
        if (!folder_.empty()) {
            rmdir(folder_.c_str());
            FileUtils::getInstance()->setSearchPaths(savedSearchPaths_);
            FileUtils::getInstance()->purgeCachedEntries();
        }
        test::GLTest::TearDown();
    }

    std::string writeFile(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_ + name;
        std::FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
        written_.push_back(path);
        return path;
    }

    std::string writePng(const std::string& name, int width = 4, int height = 2) {
        return writeFile(name, encodePng(width, height, Bytes(width * height * 4, 200), {}));
    }

    bool completionScheduled() const {
        return scheduler_->isScheduled(schedule_selector(&TextureCache::addImageAsyncCallBack), cache_.get());
    }

    // Runs frames until the condition holds, at most for two seconds of real time.
    template <class Condition>
    bool runFramesUntil(Condition done, int* frames = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            scheduler_->update(1.0f / 60);
            if (frames) ++*frames;
            std::this_thread::yield();
        }
        return done();
    }

    std::string folder_;
    std::vector<std::string> savedSearchPaths_;
    std::vector<std::string> written_;
    std::unique_ptr<AutoreleasePool> pool_;
    RefPtr<Scheduler> scheduler_;
    RefPtr<TextureCache> cache_;
};

// Holds the loading thread when it reaches one file, until the test lets it go.
class LoadingGate {
public:
    explicit LoadingGate(std::string heldPath) : heldPath_(std::move(heldPath)) {}
    ~LoadingGate() { open(); }

    void operator()(const std::string& path) {
        if (path != heldPath_) return;
        std::unique_lock<std::mutex> lock(mutex_);
        reached_ = true;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(5), [this] { return open_; });
    }
    // Whether the thread reached the held file within two seconds.
    bool waitUntilReached() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(2), [this] { return reached_; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    const std::string heldPath_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool open_ = false;
};

TEST_F(TextureCacheTest, AFileIsDecodedOnceAndFoundByItsRelativeName) {
    const std::string full = writePng("ship.png", 4, 2);
    Texture2D* texture = cache_->addImage("ship.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->getPixelsWide(), 4);
    EXPECT_NE(texture->getName(), 0u);
    EXPECT_EQ(cache_->addImage(full), texture);
    EXPECT_EQ(cache_->getTextureForKey("ship.png"), texture);
    EXPECT_EQ(cache_->getTextureForKey(full), texture);
    EXPECT_EQ(texture->getReferenceCount(), 1u);
    EXPECT_EQ(cache_->description(), "<TextureCache | Number of textures = 1>");
}

TEST_F(TextureCacheTest, MissingAndUndecodableFilesGiveNull) {
    EXPECT_EQ(cache_->addImage("nowhere.png"), nullptr);
    writeFile("junk.png", Bytes(40, 0x5A));
    EXPECT_EQ(cache_->addImage("junk.png"), nullptr);
    EXPECT_EQ(cache_->description(), "<TextureCache | Number of textures = 0>");
}

TEST_F(TextureCacheTest, ImagesAreStoredUnderTheCallersKey) {
    RefPtr<Image> image = decode(encodePng(2, 2, Bytes(16, 90), {}));
    ASSERT_TRUE(image);
    Texture2D* texture = cache_->addImage(image.get(), "generated");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(cache_->addImage(image.get(), "generated"), texture);
    EXPECT_EQ(cache_->getTextureForKey("generated"), texture);
    pool_->clear();
    EXPECT_EQ(texture->getReferenceCount(), 1u);
}

TEST_F(TextureCacheTest, RemovingReleasesTheCachesReference) {
    writePng("a.png");
    writePng("b.png");
    RefPtr<Texture2D> a(cache_->addImage("a.png"));
    ASSERT_TRUE(a);
    ASSERT_NE(cache_->addImage("b.png"), nullptr);
    cache_->removeTextureForKey("a.png");
    EXPECT_EQ(a->getReferenceCount(), 1u);
    EXPECT_EQ(cache_->getTextureForKey("a.png"), nullptr);
    cache_->removeAllTextures();
    EXPECT_EQ(cache_->getTextureForKey("b.png"), nullptr);
}

TEST_F(TextureCacheTest, DumpListsEveryTextureAndTheTotal) {
    EXPECT_EQ(cache_->dumpDebugInfo(), "TextureCache dumpDebugInfo: 0 textures, for 0 KB (0.00 MB)\n");
    const std::string full = writePng("big.png", 64, 32);
    Texture2D* texture = cache_->addImage("big.png");
    ASSERT_NE(texture, nullptr);
    const std::string expected =
        "\"" + full + "\" rc=1 id=" + std::to_string(texture->getName()) +
        " 64 x 32 @ 32 bpp => 8 KB\nTextureCache dumpDebugInfo: 1 textures, for 8 KB (0.01 MB)\n";
    EXPECT_EQ(cache_->dumpDebugInfo(), expected);
}

TEST_F(TextureCacheTest, TwoRequestsForOneFileShareOneTextureInRequestOrder) {
    writePng("tile.png");
    std::vector<std::pair<int, Texture2D*>> calls;
    cache_->addImageAsync("tile.png", [&](Texture2D* t) { calls.push_back({1, t}); });
    cache_->addImageAsync("tile.png", [&](Texture2D* t) { calls.push_back({2, t}); });
    EXPECT_TRUE(completionScheduled());
    ASSERT_TRUE(runFramesUntil([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls[0].first, 1);
    EXPECT_EQ(calls[1].first, 2);
    ASSERT_NE(calls[0].second, nullptr);
    EXPECT_EQ(calls[0].second, calls[1].second);
    EXPECT_EQ(cache_->getTextureForKey("tile.png"), calls[0].second);
    EXPECT_FALSE(completionScheduled());
}

TEST_F(TextureCacheTest, CachedFileCallsBackAtOnceWithoutScheduling) {
    writePng("ready.png");
    Texture2D* texture = cache_->addImage("ready.png");
    Texture2D* delivered = nullptr;
    cache_->addImageAsync("ready.png", [&](Texture2D* t) { delivered = t; });
    EXPECT_EQ(delivered, texture);
    EXPECT_FALSE(completionScheduled());
}

// In a process that may start no thread, a picture asked for ahead is answered at once, as a cached one is.
using TextureCacheDeathTest = TextureCacheTest;
TEST_F(TextureCacheDeathTest, WithoutTheLoadingThreadAPictureIsAnsweredAtOnce) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to become a user held to the limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    writePng("alone.png", 4, 2);
    EXPECT_EXIT(
        {
            chmod(folder_.c_str(), 0755);
            if (!test::startNoMoreThreads()) std::_Exit(2);
            Texture2D* delivered = nullptr;
            bool answered = false;
            cache_->addImageAsync("alone.png", [&](Texture2D* texture) {
                delivered = texture;
                answered = true;
            });
            std::fprintf(stderr, "answered %s, %dx%d, completion step %s\n", answered ? "at once" : "later",
                         delivered ? delivered->getPixelsWide() : 0, delivered ? delivered->getPixelsHigh() : 0,
                         completionScheduled() ? "scheduled" : "none");
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "answered at once, 4x2, completion step none\n$");
}

TEST_F(TextureCacheTest, OneDecodedImageBecomesATexturePerFrame) {
    writePng("one.png");
    writePng("two.png");
    std::vector<int> frames;
    int frame = 0;
    cache_->addImageAsync("one.png", [&](Texture2D*) { frames.push_back(frame); });
    cache_->addImageAsync("two.png", [&](Texture2D*) { frames.push_back(frame); });
    ASSERT_TRUE(runFramesUntil([&] { return frames.size() == 2; }, &frame));
    EXPECT_LT(frames[0], frames[1]);
    EXPECT_FALSE(completionScheduled());
    // A later request schedules the completion step again.
    writePng("three.png");
    bool done = false;
    cache_->addImageAsync("three.png", [&](Texture2D*) { done = true; });
    EXPECT_TRUE(completionScheduled());
    ASSERT_TRUE(runFramesUntil([&] { return done; }));
}

TEST_F(TextureCacheTest, UndecodableFileCallsBackWithNullAndEndsTheCompletionStep) {
    writeFile("broken.png", Bytes(30, 1));
    std::vector<Texture2D*> delivered;
    cache_->addImageAsync("broken.png", [&](Texture2D* t) { delivered.push_back(t); });
    EXPECT_TRUE(runFramesUntil([&] { return !completionScheduled(); }));
    EXPECT_EQ(delivered, std::vector<Texture2D*>{nullptr});
    EXPECT_EQ(cache_->getTextureForKey("broken.png"), nullptr);
}

TEST_F(TextureCacheTest, ImageThatCannotBeUploadedGivesNullAndCachesNothing) {
    const int tooWide = Configuration::getInstance()->getMaxTextureSize() * 2;
    RefPtr<Image> image(new Image());
    image->release();
    ASSERT_TRUE(image->initWithRawData(Bytes(static_cast<std::size_t>(tooWide) * 4, 9).data(), tooWide * 4, tooWide, 1,
                                       8, false));
    EXPECT_EQ(cache_->addImage(image.get(), "wide"), nullptr);
    EXPECT_EQ(cache_->getTextureForKey("wide"), nullptr);
    EXPECT_EQ(cache_->description(), "<TextureCache | Number of textures = 0>");
}

TEST_F(TextureCacheTest, StoppedLoadingThreadStartsAgainOnTheNextRequest) {
    writePng("again.png");
    bool first = false, second = false;
    cache_->addImageAsync("again.png", [&](Texture2D*) { first = true; });
    ASSERT_TRUE(runFramesUntil([&] { return first; }));
    cache_->stopLoadingThread();
    cache_->removeAllTextures();
    cache_->addImageAsync("again.png", [&](Texture2D*) { second = true; });
    EXPECT_TRUE(runFramesUntil([&] { return second; }));
}

TEST_F(TextureCacheTest, StoppingDropsPendingRequestsAndEndsTheCompletionStep) {
    writePng("decoded.png");
    const std::string held = writePng("held.png");
    auto gate = std::make_shared<LoadingGate>(held);
    cache_->setLoadingHookForTesting([gate](const std::string& path) { (*gate)(path); });
    int calls = 0;
    cache_->addImageAsync("decoded.png", [&](Texture2D*) { ++calls; });
    cache_->addImageAsync("held.png", [&](Texture2D*) { ++calls; });
    ASSERT_TRUE(gate->waitUntilReached());
    gate->open();
    cache_->stopLoadingThread();  // before any frame completed either request
    EXPECT_FALSE(completionScheduled());
    scheduler_->update(1.0f / 60);
    EXPECT_EQ(calls, 0);
    // The next request starts over and, once complete, ends the step again.
    writePng("later.png");
    bool done = false;
    cache_->addImageAsync("later.png", [&](Texture2D*) { done = true; });
    EXPECT_TRUE(completionScheduled());
    ASSERT_TRUE(runFramesUntil([&] { return done; }));
    EXPECT_FALSE(completionScheduled());
}

TEST_F(TextureCacheTest, UnbindingDropsTheCallbackOfADecodedImageButNotOfAWaitingRequest) {
    writePng("decoded.png");
    writePng("other.png");
    const std::string waiting = writePng("waiting.png");
    auto gate = std::make_shared<LoadingGate>(waiting);
    cache_->setLoadingHookForTesting([gate](const std::string& path) { (*gate)(path); });
    std::vector<std::string> called;
    cache_->addImageAsync("decoded.png", [&](Texture2D*) { called.push_back("decoded"); });
    cache_->addImageAsync("other.png", [&](Texture2D*) { called.push_back("other"); });
    cache_->addImageAsync("waiting.png", [&](Texture2D*) { called.push_back("waiting"); });
    // The thread takes requests in order: once it holds the last, the first two wait for their frames.
    ASSERT_TRUE(gate->waitUntilReached());
    cache_->unbindImageAsync("decoded.png");
    cache_->unbindImageAsync("waiting.png");
    gate->open();
    ASSERT_TRUE(runFramesUntil([&] { return !completionScheduled(); }));
    EXPECT_EQ(called, (std::vector<std::string>{"other", "waiting"}));
    // Only the callback is gone: the texture was still made and cached.
    EXPECT_NE(cache_->getTextureForKey("decoded.png"), nullptr);
}

TEST_F(TextureCacheTest, AFileDecodedAheadIsNotDecodedAgainWhenAskedForAtOnce) {
    writePng("ahead.png", 2, 2);
    const std::string later = writePng("later.png");
    auto gate = std::make_shared<LoadingGate>(later);
    cache_->setLoadingHookForTesting([gate](const std::string& path) { (*gate)(path); });
    Texture2D* answered = nullptr;
    cache_->addImageAsync("ahead.png", [&](Texture2D* t) { answered = t; });
    cache_->addImageAsync("later.png", nullptr);
    // Once the thread holds the second request, the first one's image is decoded and waits for its frame.
    ASSERT_TRUE(gate->waitUntilReached());
    // The file changes on disk: a texture from the decode made ahead is still the old size.
    writePng("ahead.png", 4, 4);
    Texture2D* texture = cache_->addImage("ahead.png");
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->getPixelsWide(), 2);
    // The request made ahead is answered with that same texture.
    gate->open();
    ASSERT_TRUE(runFramesUntil([&] { return !completionScheduled(); }));
    EXPECT_EQ(answered, texture);
}

TEST_F(TextureCacheTest, UnbindingAllDropsEveryDecodedCallbackOnly) {
    writePng("first.png");
    writePng("second.png");
    const std::string waiting = writePng("third.png");
    auto gate = std::make_shared<LoadingGate>(waiting);
    cache_->setLoadingHookForTesting([gate](const std::string& path) { (*gate)(path); });
    std::vector<std::string> called;
    cache_->addImageAsync("first.png", [&](Texture2D*) { called.push_back("first"); });
    cache_->addImageAsync("second.png", [&](Texture2D*) { called.push_back("second"); });
    cache_->addImageAsync("third.png", [&](Texture2D*) { called.push_back("third"); });
    ASSERT_TRUE(gate->waitUntilReached());
    cache_->unbindAllImageAsync();
    gate->open();
    ASSERT_TRUE(runFramesUntil([&] { return !completionScheduled(); }));
    EXPECT_EQ(called, (std::vector<std::string>{"third"}));
    EXPECT_NE(cache_->getTextureForKey("first.png"), nullptr);
    EXPECT_NE(cache_->getTextureForKey("second.png"), nullptr);
}

}  // namespace
}  // namespace kite
