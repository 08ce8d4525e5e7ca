// Nine-slice geometry by pixels: corners keep their pixels, edges and centre stretch, for plain, trimmed and rotated
// frames.
#include "kite/widgets/Scale9Sprite.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteFrame.h"
#include "tests/kite/widgets/WidgetTestSupport.h"
#include "tests/support/LogCapture.h"

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;
using ui::Scale9Sprite;

// One colour per slice, rows from the top: the image's nine regions told apart.
const Pixel kPalette[3][3] = {
    {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}},
    {{255, 255, 0, 255}, {255, 0, 255, 255}, {0, 255, 255, 255}},
    {{255, 255, 255, 255}, {128, 128, 128, 255}, {255, 128, 0, 255}},
};
const Pixel kBlack{0, 0, 0, 255};

// An upright w x h image cut in thirds, each third its palette colour.
Pixel paletteAt(int x, int y, int w, int h) { return kPalette[y * 3 / h][x * 3 / w]; }

class Scale9SpriteTest : public test::WidgetTest {
protected:
    // A nine-slice sprite of the size with its bottom-left corner at (x, y).
    Scale9Sprite* place(Scale9Sprite* sprite, float x, float y, float w, float h) {
        sprite->setAnchorPoint(Vec2::ZERO);
        sprite->setPosition(x, y);
        sprite->setPreferredSize(Size(w, h));
        scene->addChild(sprite);
        return sprite;
    }

    // The sprite at (x, y) of w x h shows border-sized corners and stretched thirds. Probes stay
    // three pixels away from slice seams, where filtering mixes neighbours.
    void expectSlices(int x, int y, int w, int h, int left, int top, int right, int bottom, int row0 = 0,
                      int column0 = 0) {
        const int xs[3][2] = {{x + 1, x + left - 2}, {x + left + 3, x + w - right - 4}, {x + w - right + 1, x + w - 2}};
        const int ys[3][2] = {{y + h - 2, y + h - top + 1}, {y + h - top - 4, y + bottom + 3}, {y + bottom - 2, y + 1}};
        for (int row = row0; row < 3; ++row)
            for (int column = column0; column < 3; ++column)
                for (int px : xs[column])
                    for (int py : ys[row])
                        EXPECT_THAT(readPixel(px, py), PixelNear(kPalette[row][column], 2))
                            << "slice row " << row << " column " << column << " at " << px << ", " << py;
    }
};

TEST_F(Scale9SpriteTest, CornersKeepTheirPixelsAtAnySizeWhileEdgesAndCentreStretch) {
    RefPtr<Texture2D> image = test::textureOf(30, 30, [](int x, int y) { return paletteAt(x, y, 30, 30); });
    // Zero insets cut the image in thirds.
    place(Scale9Sprite::createWithSpriteFrame(SpriteFrame::createWithTexture(image.get(), Rect(0, 0, 30, 30))), 20, 20,
          100, 60);
    place(Scale9Sprite::createWithSpriteFrame(SpriteFrame::createWithTexture(image.get(), Rect(0, 0, 30, 30))), 150,
          100, 220, 280);
    frame();
    saveFrame();

    expectSlices(20, 20, 100, 60, 10, 10, 10, 10);
    expectSlices(150, 100, 220, 280, 10, 10, 10, 10);
    EXPECT_EQ(readPixel(18, 50), kBlack);
    EXPECT_EQ(readPixel(122, 50), kBlack);
    EXPECT_EQ(readPixel(60, 82), kBlack);
}

TEST_F(Scale9SpriteTest, CapInsetsChooseTheBordersAndColourSurvivesNewInsets) {
    RefPtr<Texture2D> image = test::textureOf(30, 30, [](int x, int y) { return paletteAt(x, y, 30, 30); });
    Scale9Sprite* sprite =
        place(Scale9Sprite::createWithSpriteFrame(SpriteFrame::createWithTexture(image.get(), Rect(0, 0, 30, 30)),
                                                  Rect(5, 5, 20, 20)),
              20, 20, 100, 100);
    frame();
    // A 5-pixel corner shows only the top-left of the red region.
    EXPECT_THAT(readPixel(22, 117), PixelNear(kPalette[0][0], 2));
    EXPECT_THAT(readPixel(70, 70), PixelNear(kPalette[1][1], 2));

    sprite->setColor(Color3B(0, 255, 255));
    sprite->setCapInsets(Rect(10, 10, 10, 10));
    EXPECT_EQ(sprite->getContentSize(), Size(100, 100));
    EXPECT_EQ(sprite->getInsetRight(), 10.0f);
    EXPECT_EQ(sprite->getInsetBottom(), 10.0f);
    frame();
    saveFrame();
    // White bottom-left through a cyan tint; the whole magenta centre turns blue.
    EXPECT_THAT(readPixel(25, 25), PixelNear(Pixel{0, 255, 255, 255}, 2));
    EXPECT_THAT(readPixel(70, 70), PixelNear(Pixel{0, 0, 255, 255}, 2));
    EXPECT_THAT(readPixel(28, 112), PixelNear(kBlack, 2));  // red times cyan
}

TEST_F(Scale9SpriteTest, TrimmedFrameKeepsTheBordersWhereTheUntrimmedImageHadThem) {
    // The untrimmed 30 x 30 image had its left third transparent; the texture holds the other
    // two thirds, and the frame records the trim: offset 5 to the right, original size 30 x 30.
    RefPtr<Texture2D> trimmed = test::textureOf(20, 30, [](int x, int y) { return paletteAt(x + 10, y, 30, 30); });
    auto* frameOfImage =
        SpriteFrame::createWithTexture(trimmed.get(), Rect(0, 0, 20, 30), false, Vec2(5, 0), Size(30, 30));
    Scale9Sprite* sprite = place(Scale9Sprite::createWithSpriteFrame(frameOfImage), 20, 20, 100, 60);
    frame();
    saveFrame();

    // The left column was trimmed away: no sprites, nothing drawn there.
    EXPECT_EQ(sprite->getProtectedChildren().size(), 6u);
    EXPECT_EQ(readPixel(25, 50), kBlack);
    EXPECT_EQ(readPixel(25, 75), kBlack);
    expectSlices(20, 20, 100, 60, 10, 10, 10, 10, 0, 1);
}

TEST_F(Scale9SpriteTest, RotatedFrameSlicesAsTheUprightImage) {
    // A 30 x 36 image stored turned a quarter clockwise: its top row is the texture's right column.
    const int w = 30, h = 36;
    RefPtr<Texture2D> turned = test::textureOf(h, w, [&](int tx, int ty) { return paletteAt(ty, h - 1 - tx, w, h); });
    auto* frameOfImage = SpriteFrame::createWithTexture(turned.get(), Rect(0, 0, w, h), true, Vec2::ZERO, Size(w, h));
    Sprite* plain = Sprite::createWithSpriteFrame(frameOfImage);
    plain->setAnchorPoint(Vec2::ZERO);
    plain->setPosition(300, 300);
    scene->addChild(plain);
    place(Scale9Sprite::createWithSpriteFrame(frameOfImage, Rect(10, 12, 10, 12)), 20, 20, 120, 90);
    frame();
    saveFrame();

    // The plain sprite shows the image upright: red at its top-left, orange at its bottom-right.
    EXPECT_THAT(readPixel(302, 334), PixelNear(kPalette[0][0], 2));
    EXPECT_THAT(readPixel(328, 302), PixelNear(kPalette[2][2], 2));
    expectSlices(20, 20, 120, 90, 10, 12, 10, 12);
}

TEST_F(Scale9SpriteTest, InsetsPastTheImageAreClampedAndAZeroWidthCentreScalesToNothing) {
    RefPtr<Texture2D> image = test::textureOf(30, 30, [](int x, int y) { return paletteAt(x, y, 30, 30); });
    Scale9Sprite* oversized =
        place(Scale9Sprite::createWithSpriteFrame(SpriteFrame::createWithTexture(image.get(), Rect(0, 0, 30, 30)),
                                                  Rect(10, 10, 100, 100)),
              20, 20, 100, 100);
    Scale9Sprite* thin =
        place(Scale9Sprite::createWithSpriteFrame(SpriteFrame::createWithTexture(image.get(), Rect(0, 0, 30, 30)),
                                                  Rect(10, 10, 0, 10)),
              200, 20, 100, 60);
    frame();
    saveFrame();

    // The centre reaches the image's right and bottom edges: no right or bottom slices.
    EXPECT_EQ(oversized->getProtectedChildren().size(), 4u);
    EXPECT_THAT(readPixel(22, 118), PixelNear(kPalette[0][0], 2));
    // Without a centre column there is nothing to stretch across: the middle stays empty.
    for (Node* slice : thin->getProtectedChildren()) {
        EXPECT_TRUE(std::isfinite(slice->getPosition().x) && std::isfinite(slice->getScaleX()));
    }
    EXPECT_THAT(readPixel(202, 22), PixelNear(kPalette[2][0], 2));
    EXPECT_EQ(readPixel(250, 50), kBlack);
}

TEST_F(Scale9SpriteTest, WithoutNineSlicingTheWholeImageIsDrawnUnstretchedInTheMiddle) {
    RefPtr<Texture2D> image = test::textureOf(30, 30, [](int x, int y) { return paletteAt(x, y, 30, 30); });
    Scale9Sprite* sprite =
        place(Scale9Sprite::createWithSpriteFrame(SpriteFrame::createWithTexture(image.get(), Rect(0, 0, 30, 30))), 20,
              20, 100, 60);
    sprite->setScale9Enabled(false);
    frame();
    EXPECT_TRUE(sprite->getProtectedChildren().empty());
    // 30 x 30 about the middle of (20, 20)-(120, 80).
    EXPECT_THAT(readPixel(56, 64), PixelNear(kPalette[0][0], 2));
    EXPECT_THAT(readPixel(84, 36), PixelNear(kPalette[2][2], 2));
    EXPECT_EQ(readPixel(22, 22), kBlack);

    // Slicing again starts from the image's own size.
    sprite->setScale9Enabled(true);
    frame();
    EXPECT_EQ(sprite->getProtectedChildren().size(), 9u);
    EXPECT_EQ(sprite->getContentSize(), Size(30, 30));
    expectSlices(20, 20, 30, 30, 10, 10, 10, 10);
}

TEST_F(Scale9SpriteTest, ImageThatCannotLoadGivesAnEmptySpriteWithALogLine) {
    Scale9Sprite* sprite = nullptr;
    {
        test::LogCapture capture;
        sprite = Scale9Sprite::create("no/such/image.png", Rect::ZERO, Rect(2, 2, 4, 4));
        EXPECT_THAT(capture.text(), testing::HasSubstr("Scale9Sprite: cannot load the image \"no/such/image.png\"\n"));
    }
    // A node without an image: it lays nothing out and draws nothing, wherever it is put.
    ASSERT_NE(sprite, nullptr);
    EXPECT_EQ(sprite->getSprite(), nullptr);
    place(sprite, 20, 20, 40, 40);
    frame();
    EXPECT_TRUE(sprite->getProtectedChildren().empty());
    EXPECT_EQ(readPixel(40, 40), kBlack);
    EXPECT_TRUE(Scale9Sprite::create("no/such/image.png") != nullptr);

    // Without arguments it is an empty node that draws nothing.
    Scale9Sprite* empty = Scale9Sprite::create();
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->getSprite(), nullptr);
    EXPECT_TRUE(empty->getProtectedChildren().empty());
}

}  // namespace
}  // namespace kite
