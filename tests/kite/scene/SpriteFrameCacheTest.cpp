// Sprite sheets of formats 0 to 3 written by the test, with trimmed and rotated frames, drawn and probed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "SceneDrawSupport.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Value.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteFrame.h"
#include "kite/scene/SpriteFrameCache.h"
#include "platform/Clock.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

Pixel texel(int x, int y) {
    return Pixel{static_cast<std::uint8_t>(x * 8 + 4), static_cast<std::uint8_t>(y * 8 + 4), 200, 255};
}

// Where a frame lies in the sheet image (y from the top row) and how it shows.
struct FrameSpec {
    const char* name;
    int x, y, w, h;  // unrotated size w x h
    bool rotated;
    int offsetX, offsetY;
    int sourceW, sourceH;
};

Value str(const std::string& s) { return Value(s); }

std::string braces(int a, int b) { return "{" + std::to_string(a) + "," + std::to_string(b) + "}"; }

ValueMap frameEntry(int format, const FrameSpec& f) {
    ValueMap m;
    switch (format) {
        case 0:
            m["x"] = Value(f.x);
            m["y"] = Value(f.y);
            m["width"] = Value(f.w);
            m["height"] = Value(f.h);
            m["offsetX"] = Value(static_cast<float>(f.offsetX));
            m["offsetY"] = Value(static_cast<float>(f.offsetY));
            m["originalWidth"] = Value(-f.sourceW);  // the sign is dropped
            m["originalHeight"] = Value(f.sourceH);
            break;
        case 1:
        case 2:
            m["frame"] = str("{" + braces(f.x, f.y) + "," + braces(f.w, f.h) + "}");
            if (format == 2) m["rotated"] = Value(f.rotated);
            m["offset"] = str(braces(f.offsetX, f.offsetY));
            m["sourceSize"] = str(braces(f.sourceW, f.sourceH));
            break;
        default:
            m["spriteSize"] = str(braces(f.w, f.h));
            m["spriteOffset"] = str(braces(f.offsetX, f.offsetY));
            m["spriteSourceSize"] = str(braces(f.sourceW, f.sourceH));
            m["textureRect"] = str("{" + braces(f.x, f.y) + ",{99,99}}");  // only the origin counts
            m["textureRotated"] = Value(f.rotated);
            m["aliases"] = Value(ValueVector{str(std::string(f.name) + "-alias")});
            break;
    }
    return m;
}

class SpriteFrameCacheTest : public test::SceneDrawTest {
protected:
    int frameWidth() const override { return 96; }
    int frameHeight() const override { return 32; }

    void SetUp() override {
        test::SceneDrawTest::SetUp();
        ASSERT_TRUE(folder_.made());
        sheet_ = test::textureFrom(32, 32, texel);
        SpriteFrameCache::destroyInstance();
    }
    void TearDown() override {
        SpriteFrameCache::destroyInstance();
        test::SceneDrawTest::TearDown();
    }

    std::string writeSheet(const std::string& file, int format, const std::vector<FrameSpec>& frames,
                           bool withMetadata = true) {
        ValueMap framesMap;
        for (const FrameSpec& f : frames) framesMap[f.name] = Value(frameEntry(format, f));
        ValueMap root;
        root["frames"] = Value(framesMap);
        if (withMetadata) {
            ValueMap metadata;
            metadata["format"] = Value(format);
            root["metadata"] = Value(metadata);
        }
        const std::string path = dir_ + "/" + file;
        EXPECT_TRUE(FileUtils::getInstance()->writeToFile(root, path));
        return path;
    }

    // Draws the frame's sprite with its lower-left corner at (left, 0) and compares every pixel of
    // its untrimmed box with the sheet texel it must show, or the background.
    void expectShows(const FrameSpec& f, int left) {
        Sprite* sprite = Sprite::createWithSpriteFrameName(f.name);
        ASSERT_NE(sprite, nullptr) << f.name;
        sprite->setAnchorPoint(Vec2::ZERO);
        sprite->setPosition(static_cast<float>(left), 0);
        drawFrame(sprite);
        const int ox = f.offsetX + (f.sourceW - f.w) / 2;
        const int oy = f.offsetY + (f.sourceH - f.h) / 2;
        for (int sy = 0; sy < f.sourceH; ++sy) {
            for (int sx = 0; sx < f.sourceW; ++sx) {
                const int lx = sx - ox, ly = sy - oy;
                Pixel expected{0, 0, 0, 255};
                if (lx >= 0 && lx < f.w && ly >= 0 && ly < f.h) {
                    // Rotated frames lie turned a quarter clockwise in the sheet.
                    expected = f.rotated ? texel(f.x + ly, f.y + lx) : texel(f.x + lx, f.y + f.h - 1 - ly);
                }
                ASSERT_THAT(readPixel(left + sx, sy), PixelNear(expected, 2))
                    << f.name << " at (" << sx << ", " << sy << ")";
            }
        }
    }

    void addSheet(const std::string& path) {
        SpriteFrameCache::getInstance()->addSpriteFramesWithFile(path, sheet_.get());
    }

    test::TemporaryFolder folder_{"kite-sheets"};
    std::string dir_ = folder_.path();
    RefPtr<Texture2D> sheet_;
};

const FrameSpec kTrimmed{"trimmed", 2, 3, 6, 4, false, 1, -1, 10, 8};
const FrameSpec kPlain{"plain", 10, 2, 5, 7, false, 0, 0, 5, 7};
const FrameSpec kRotated{"rotated", 16, 4, 6, 3, true, 0, 0, 6, 3};
const FrameSpec kRotatedTrimmed{"rotated-trimmed", 20, 20, 4, 5, true, -1, 1, 8, 9};

TEST_F(SpriteFrameCacheTest, FormatZeroTrimmedFrameShowsTheSourcePixels) {
    addSheet(writeSheet("f0.plist", 0, {kTrimmed, kPlain}, false));
    expectShows(kTrimmed, 4);
    expectShows(kPlain, 40);
}

TEST_F(SpriteFrameCacheTest, FormatOneFramesAreNeverRotated) {
    FrameSpec plainAsOne = kRotated;
    plainAsOne.rotated = false;  // format 1 has no rotation flag
    addSheet(writeSheet("f1.plist", 1, {kTrimmed, plainAsOne}));
    expectShows(kTrimmed, 4);
    expectShows(plainAsOne, 40);
}

TEST_F(SpriteFrameCacheTest, FormatTwoRotatedFrameShowsTheSourcePixelsUpright) {
    addSheet(writeSheet("f2.plist", 2, {kRotated, kTrimmed}));
    expectShows(kRotated, 4);
    expectShows(kTrimmed, 40);
}

TEST_F(SpriteFrameCacheTest, FormatThreeRotatedTrimmedFrameAndItsAlias) {
    addSheet(writeSheet("f3.plist", 3, {kRotatedTrimmed, kPlain}));
    expectShows(kRotatedTrimmed, 4);
    expectShows(kPlain, 40);
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    EXPECT_EQ(cache->getSpriteFrameByName("rotated-trimmed-alias"), cache->getSpriteFrameByName("rotated-trimmed"));
    SpriteFrame* frame = cache->getSpriteFrameByName("rotated-trimmed");
    EXPECT_EQ(frame->getRectInPixels(), Rect(20, 20, 4, 5));  // size from spriteSize, not textureRect
}

TEST_F(SpriteFrameCacheTest, OriginalSizeIsTakenWithoutItsSign) {
    addSheet(writeSheet("sign.plist", 0, {{"neg", 0, 0, 4, 4, false, 0, 0, 60, 8}}));
    EXPECT_EQ(SpriteFrameCache::getInstance()->getSpriteFrameByName("neg")->getOriginalSizeInPixels(), Size(60, 8));
}

TEST_F(SpriteFrameCacheTest, SheetLoadsOnceUntilItsFramesAreRemoved) {
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    const std::string path = writeSheet("once.plist", 1, {kPlain});
    cache->addSpriteFramesWithFile(path, sheet_.get());
    SpriteFrame* first = cache->getSpriteFrameByName("plain");
    ASSERT_NE(first, nullptr);
    first->retain();
    cache->addSpriteFramesWithFile(path, sheet_.get());
    EXPECT_EQ(cache->getSpriteFrameByName("plain"), first);
    cache->removeSpriteFramesFromFile(path);
    EXPECT_EQ(cache->getSpriteFrameByName("plain"), nullptr);
    EXPECT_FALSE(cache->isSpriteFramesWithFileLoaded(path));
    cache->addSpriteFramesWithFile(path, sheet_.get());
    EXPECT_NE(cache->getSpriteFrameByName("plain"), nullptr);
    EXPECT_NE(cache->getSpriteFrameByName("plain"), first);
    first->release();
}

TEST_F(SpriteFrameCacheTest, ExistingFrameOfTheSameNameIsKept) {
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    SpriteFrame* mine = SpriteFrame::createWithTexture(sheet_.get(), Rect(0, 0, 1, 1));
    cache->addSpriteFrame(mine, "plain");
    cache->addSpriteFramesWithFile(writeSheet("keep.plist", 1, {kPlain}), sheet_.get());
    EXPECT_EQ(cache->getSpriteFrameByName("plain"), mine);
    EXPECT_TRUE(cache->removeSpriteFrameByName("plain"));
    EXPECT_FALSE(cache->removeSpriteFrameByName("plain"));
}

TEST_F(SpriteFrameCacheTest, SheetThatCannotBeReadIsNotRecordedAsLoaded) {
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    const std::string path = dir_ + "/late.plist";
    {
        FILE* broken = std::fopen(path.c_str(), "w");
        ASSERT_NE(broken, nullptr);
        std::fputs("<plist><dict><key>frames</key><dict>", broken);  // cut short
        std::fclose(broken);
    }
    cache->addSpriteFramesWithFile(path, sheet_.get());
    EXPECT_FALSE(cache->isSpriteFramesWithFileLoaded(path));
    cache->addSpriteFramesWithFile(dir_ + "/missing.plist", sheet_.get());
    EXPECT_FALSE(cache->isSpriteFramesWithFileLoaded(dir_ + "/missing.plist"));
    FileUtils::getInstance()->purgeCachedEntries();
    writeSheet("late.plist", 1, {kPlain});
    cache->addSpriteFramesWithFile(path, sheet_.get());
    EXPECT_TRUE(cache->isSpriteFramesWithFileLoaded(path));
    EXPECT_NE(cache->getSpriteFrameByName("plain"), nullptr);
}

TEST_F(SpriteFrameCacheTest, UnknownFormatAndUnknownNamesAddNothing) {
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    ValueMap sheet;
    ValueMap frames;
    frames["odd"] = Value(frameEntry(1, kPlain));
    sheet["frames"] = Value(frames);
    ValueMap metadata;
    metadata["format"] = Value(7);
    sheet["metadata"] = Value(metadata);
    cache->addSpriteFramesWithDictionary(sheet, sheet_.get());
    EXPECT_EQ(cache->getSpriteFrameByName("odd"), nullptr);
    EXPECT_EQ(cache->getSpriteFrameByName("nobody"), nullptr);
    EXPECT_EQ(cache->getSpriteFrameByName("nobody"), nullptr);
}

TEST_F(SpriteFrameCacheTest, SheetWithItsImageFileShowsTheImage) {
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const Pixel p = texel(x, y);
            rgba.insert(rgba.end(), {p.r, p.g, p.b, p.a});
        }
    const std::string image = dir_ + "/sheet.png";
    ASSERT_TRUE(test::writePNG(image, 32, 32, rgba));
    SpriteFrameCache::getInstance()->addSpriteFramesWithFile(writeSheet("file.plist", 2, {kRotated}), image);
    expectShows(kRotated, 4);
    Sprite* whole = Sprite::create(image);
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->getContentSize(), Size(32, 32));
    EXPECT_EQ(whole->getTexture(), SpriteFrameCache::getInstance()->getSpriteFrameByName("rotated")->getTexture());
    // Both come from the director's texture cache, under the image's full path.
    EXPECT_EQ(whole->getTexture(), Director::getInstance()->getTextureCache()->getTextureForKey(image));
}

TEST_F(SpriteFrameCacheTest, TextureFileThatCannotBeLoadedMakesTheLoadANoOp) {
    SpriteFrameCache* cache = SpriteFrameCache::getInstance();
    const std::string path = writeSheet("notex.plist", 1, {kPlain});
    cache->addSpriteFramesWithFile(path, std::string("no-such-texture.png"));
    EXPECT_EQ(cache->getSpriteFrameByName("plain"), nullptr);
    EXPECT_FALSE(cache->isSpriteFramesWithFileLoaded(path));
}

}  // namespace
}  // namespace kite

namespace kite {
namespace {

TEST(SpriteFrameCacheShutdown, DirectorShutdownEmptiesTheFrameAndAnimationCaches) {
    platform::Clock::setFixed(1000.0);
    SpriteFrameCache::getInstance()->addSpriteFrame(SpriteFrame::createWithTexture(nullptr, Rect(0, 0, 1, 1)), "kept");
    ASSERT_NE(SpriteFrameCache::getInstance()->getSpriteFrameByName("kept"), nullptr);
    Director::getInstance()->runWithScene(Scene::create());
    Director::getInstance()->mainLoop();
    Director::getInstance()->end();
    Director::getInstance()->mainLoop();
    EXPECT_EQ(SpriteFrameCache::getInstance()->getSpriteFrameByName("kept"), nullptr);
    PoolManager::getInstance()->getCurrentPool()->clear();
    platform::Clock::useRealTime();
}

}  // namespace
}  // namespace kite
