// Labels from a bitmap font made by the test: letters at their pixels, kerning, wrapping, the nine alignments,
// letter sprites, batching, and failures that leave the label in its reset state.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "BitmapFontSupport.h"
#include "SceneDrawSupport.h"
#include "kite/scene/FontAtlasCache.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"
#include "support/LogCapture.h"

namespace kite {
namespace {

using test::glyphColor;
using test::kAdvance;
using test::kCellHeight;
using test::kCellWidth;
using test::kLineHeight;
using test::kYOffset;
using test::Pixel;
using test::PixelNear;

const Pixel kBlack{0, 0, 0, 255};

class LabelTest : public test::SceneDrawTest {
protected:
    int frameWidth() const override { return 160; }
    int frameHeight() const override { return 64; }

    void SetUp() override {
        test::SceneDrawTest::SetUp();
        ASSERT_TRUE(folder_.made());
        test::glyphImagePNG(folder_, "cells.png");
        textFont_ = folder_.put("cells.fnt", test::fntText("cells.png", {{'1', '2', -3}}));
    }

    // A label whose bottom-left corner is at (x, y) of the frame.
    Label* labelAt(const std::string& text, float x, float y) {
        Label* label = Label::createWithBMFont(textFont_, text);
        if (!label) return nullptr;
        label->setAnchorPoint(Vec2::ZERO);
        label->setPosition(x, y);
        return label;
    }

    // The glyph drawn at the centre of the cell whose top-left corner is (left, top) in frame pixels.
    char glyphAt(float left, float top) const {
        return test::glyphOfColor(readPixel(static_cast<int>(left + kCellWidth / 2), static_cast<int>(top - 5)));
    }

    test::TemporaryFolder folder_{"label-test"};
    std::string textFont_;
};

TEST_F(LabelTest, DigitsShowAtTheirPixels) {
    Label* label = labelAt("1234567890", 4, 20);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getContentSize(), Size(10 * kAdvance - 3, kLineHeight));
    EXPECT_EQ(drawFrame(label), 1);
    const float top = 20 + kLineHeight - kYOffset;
    const std::string digits = "1234567890";
    for (int i = 0; i < 10; ++i) {
        // '2' follows '1' by the pair's kerning.
        const float left = 4 + kAdvance * i - (i >= 1 ? 3 : 0);
        EXPECT_EQ(glyphAt(left, top), digits[i]) << "letter " << i;
    }
    // The glyph's own edges: one transparent row above the cell top, black below its bottom.
    EXPECT_THAT(readPixel(5, static_cast<int>(top) + 1), PixelNear(kBlack, 0));
    EXPECT_THAT(readPixel(5, static_cast<int>(top) - 1), PixelNear(glyphColor('1'), 3));
    EXPECT_THAT(readPixel(5, static_cast<int>(top) - kCellHeight - 1), PixelNear(kBlack, 0));
}

TEST_F(LabelTest, KerningMovesTheSecondLetterOfThePair) {
    Label* plain = labelAt("21", 0, 40);
    Label* kerned = labelAt("12", 0, 10);
    ASSERT_TRUE(plain && kerned);
    Node* root = Node::create();
    root->addChild(plain);
    root->addChild(kerned);
    drawFrame(root);
    EXPECT_EQ(glyphAt(0, 40 + 11), '2');
    EXPECT_EQ(glyphAt(kAdvance, 40 + 11), '1');
    EXPECT_EQ(glyphAt(0, 10 + 11), '1');
    // The right edge of '2' is 3 pixels nearer: its last column lies at 9 - 3 + 7.
    EXPECT_THAT(readPixel(kAdvance - 3 + kCellWidth - 1, 15), PixelNear(glyphColor('2'), 3));
    EXPECT_THAT(readPixel(kAdvance - 3 + kCellWidth, 15), PixelNear(kBlack, 0));
    EXPECT_EQ(kerned->getContentSize().width, 2 * kAdvance - 3);
}

TEST_F(LabelTest, TextWrapsAtTheMaximumLineWidth) {
    Label* label = labelAt("ab cd", 10, 10);
    ASSERT_NE(label, nullptr);
    label->setMaxLineWidth(20);
    drawFrame(label);
    EXPECT_EQ(label->getStringNumLines(), 2);
    const float firstTop = 10 + 2 * kLineHeight - kYOffset;
    EXPECT_EQ(glyphAt(10, firstTop), 'a');
    EXPECT_EQ(glyphAt(10 + kAdvance, firstTop), 'b');
    EXPECT_EQ(glyphAt(10, firstTop - kLineHeight), 'c');
    EXPECT_EQ(glyphAt(10 + kAdvance, firstTop - kLineHeight), 'd');
    EXPECT_EQ(label->getContentSize().height, 2 * kLineHeight);
}

TEST_F(LabelTest, AWordWiderThanTheLineKeepsALineOfItsOwn) {
    Label* label = labelAt("12 3", 0, 0);
    ASSERT_NE(label, nullptr);
    label->setMaxLineWidth(10);
    drawFrame(label);
    EXPECT_EQ(label->getStringNumLines(), 2);
    EXPECT_EQ(glyphAt(0, 2 * kLineHeight - kYOffset), '1');
    EXPECT_EQ(glyphAt(0, kLineHeight - kYOffset), '3');
}

TEST_F(LabelTest, BreakingWithoutSpacesSplitsWords) {
    Label* label = labelAt("123", 0, 0);
    ASSERT_NE(label, nullptr);
    label->setLineBreakWithoutSpace(true);
    label->setMaxLineWidth(10);
    drawFrame(label);
    EXPECT_EQ(label->getStringNumLines(), 3);
    EXPECT_EQ(glyphAt(0, 3 * kLineHeight - kYOffset), '1');
    EXPECT_EQ(glyphAt(0, 2 * kLineHeight - kYOffset), '2');
    EXPECT_EQ(glyphAt(0, kLineHeight - kYOffset), '3');
}

TEST_F(LabelTest, NineAlignmentsPlaceLinesInTheirBox) {
    const TextHAlignment hs[] = {TextHAlignment::LEFT, TextHAlignment::CENTER, TextHAlignment::RIGHT};
    const TextVAlignment vs[] = {TextVAlignment::TOP, TextVAlignment::CENTER, TextVAlignment::BOTTOM};
    // Box 60 x 40 at the origin; lines "12" (17 wide to the last glyph's edge) and "3" (8 wide).
    const float firstShift[] = {0.0f, 30.0f - 8.5f, 60.0f - 17.0f};
    const float secondShift[] = {0.0f, 30.0f - 4.0f, 60.0f - 8.0f};
    const float tops[] = {40.0f, (40.0f + 24.0f) / 2, 24.0f};
    for (int h = 0; h < 3; ++h) {
        for (int v = 0; v < 3; ++v) {
            Label* label = labelAt("21\n3", 0, 0);
            ASSERT_NE(label, nullptr);
            label->setDimensions(60, 40);
            label->setAlignment(hs[h], vs[v]);
            drawFrame(label);
            EXPECT_EQ(label->getContentSize(), Size(60, 40));
            const float top = tops[v] - kYOffset;
            EXPECT_EQ(glyphAt(firstShift[h], top), '2') << "h " << h << " v " << v;
            EXPECT_EQ(glyphAt(firstShift[h] + kAdvance, top), '1') << "h " << h << " v " << v;
            EXPECT_EQ(glyphAt(secondShift[h], top - kLineHeight), '3') << "h " << h << " v " << v;
        }
    }
}

TEST_F(LabelTest, AMissingLetterIsLoggedAndTheNextTakesItsPlace) {
    test::LogCapture log;
    Label* label = labelAt("1x3", 0, 20);
    ASSERT_NE(label, nullptr);
    drawFrame(label);
    EXPECT_EQ(log.count("WARNING: can't find letter definition in font file for letter: x"), 1u);
    const float top = 20 + kLineHeight - kYOffset;
    EXPECT_EQ(glyphAt(0, top), '1');
    EXPECT_EQ(glyphAt(kAdvance, top), '3');
    EXPECT_THAT(readPixel(2 * kAdvance + 4, static_cast<int>(top) - 5), PixelNear(kBlack, 0));
}

TEST_F(LabelTest, CJKTextBreaksBetweenAnyTwoCharactersAndALatinWordAfterItStartsAWord) {
    // U+540D shares the cell of '1'.
    const std::string font =
        folder_.put("cjk.fnt", test::fntText("cells.png") + "char id=21517 x=" +
                                   std::to_string(test::glyphIndex('1') * kCellWidth) +
                                   " y=0 width=8 height=10 xoffset=0 yoffset=1 xadvance=9 page=0 chnl=15\n");
    const float firstTop = 2 * kLineHeight - kYOffset;
    Label* run = Label::createWithBMFont(font, "\u540d\u540d\u540d");
    ASSERT_NE(run, nullptr);
    run->setAnchorPoint(Vec2::ZERO);
    run->setMaxLineWidth(20);  // two letters fit: the second ends at 17
    drawFrame(run);
    EXPECT_EQ(run->getStringNumLines(), 2);
    EXPECT_EQ(glyphAt(0, firstTop), '1');
    EXPECT_EQ(glyphAt(kAdvance, firstTop), '1');
    EXPECT_EQ(glyphAt(0, firstTop - kLineHeight), '1');

    Label* mixed = Label::createWithBMFont(font, "\u540d" "ab");
    ASSERT_NE(mixed, nullptr);
    mixed->setAnchorPoint(Vec2::ZERO);
    mixed->setMaxLineWidth(20);
    drawFrame(mixed);
    EXPECT_EQ(mixed->getStringNumLines(), 2);
    EXPECT_EQ(glyphAt(0, firstTop), '1');
    EXPECT_THAT(readPixel(kAdvance + 4, static_cast<int>(firstTop) - 5), PixelNear(kBlack, 0));
    EXPECT_EQ(glyphAt(0, firstTop - kLineHeight), 'a');
    EXPECT_EQ(glyphAt(kAdvance, firstTop - kLineHeight), 'b');
}

TEST_F(LabelTest, LinesBelowTheBoxAreDropped) {
    Label* label = labelAt("1\n2\n3", 0, 0);
    ASSERT_NE(label, nullptr);
    label->setDimensions(0, 2.5f * kLineHeight);
    drawFrame(label);
    EXPECT_NE(label->getLetter(0), nullptr);
    EXPECT_NE(label->getLetter(2), nullptr);
    EXPECT_EQ(label->getLetter(4), nullptr);
}

TEST_F(LabelTest, LetterSpritesCanBeColouredAndMoved) {
    Label* label = labelAt("123", 0, 0);
    ASSERT_NE(label, nullptr);
    Sprite* second = label->getLetter(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(label->getLetter(1), second);
    second->setColor(Color3B(0, 0, 0));
    drawFrame(label);
    EXPECT_THAT(readPixel(kAdvance + 4, 5), PixelNear(kBlack, 0));
    EXPECT_EQ(glyphAt(0, kLineHeight - kYOffset), '1');

    second->setColor(Color3B::WHITE);
    second->setPosition(second->getPosition() + Vec2(0, 30));
    drawFrame(label);
    EXPECT_THAT(readPixel(kAdvance + 4, 5), PixelNear(kBlack, 0));
    EXPECT_EQ(glyphAt(kAdvance - 3, kLineHeight - kYOffset + 30), '2');
}

TEST_F(LabelTest, LettersPastANewTextLoseTheirSprites) {
    Label* label = labelAt("123", 0, 0);
    ASSERT_NE(label, nullptr);
    ASSERT_NE(label->getLetter(2), nullptr);
    Sprite* first = label->getLetter(0);
    label->setString("1");
    label->getContentSize();
    EXPECT_EQ(label->getChildByTag(2), nullptr);
    EXPECT_EQ(label->getLetter(2), nullptr);
    EXPECT_EQ(label->getLetter(0), first);
    // Under another font the sprite shows the new font's letter.
    ASSERT_TRUE(label->setBMFontFilePath(folder_.put("again.fnt", test::fntText("cells.png"))));
    drawFrame(label);
    EXPECT_EQ(label->getLetter(0), first);
    EXPECT_EQ(glyphAt(0, kLineHeight - kYOffset), '1');
}

TEST_F(LabelTest, LabelsOfOneFontDrawInOneCall) {
    Node* root = Node::create();
    for (int i = 0; i < 5; ++i) {
        Label* label = labelAt("0123", 0, 12.0f * i);
        ASSERT_NE(label, nullptr);
        root->addChild(label);
    }
    EXPECT_EQ(drawFrame(root), 1);
}

TEST_F(LabelTest, ColourAndOpacityTintTheLetters) {
    Label* label = labelAt("0", 0, 0);
    ASSERT_NE(label, nullptr);
    label->setColor(Color3B(255, 0, 0));
    drawFrame(label);
    EXPECT_THAT(readPixel(4, 5), PixelNear((Pixel{glyphColor('0').r, 0, 0, 255}), 2));
}

TEST_F(LabelTest, OpacityFadesTheLetters) {
    Label* label = labelAt("0", 0, 0);
    ASSERT_NE(label, nullptr);
    label->setOpacity(128);
    drawFrame(label);
    const Pixel full = glyphColor('0');
    const auto half = [](std::uint8_t c) { return static_cast<std::uint8_t>(c * 128 / 255); };
    EXPECT_THAT(readPixel(4, 5), PixelNear((Pixel{half(full.r), half(full.g), half(full.b), 255}), 3));
}

TEST_F(LabelTest, PixelMetricsBecomePointsAtContentScaleTwo) {
    services_->setContentScale(2.0f);
    const std::string font = folder_.put("scaled.fnt", test::fntText("cells.png"));
    Label* label = Label::createWithBMFont(font, "0000");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getContentSize(), Size(4 * kAdvance / 2.0f, kLineHeight / 2.0f));
    EXPECT_EQ(label->getCommonLineHeight(), kLineHeight / 2.0f);
    EXPECT_EQ(label->getLetter(1)->getContentSize(), Size(kCellWidth / 2.0f, kCellHeight / 2.0f));
}

TEST_F(LabelTest, ShadowDrawsBehindAtItsOffset) {
    Label* label = labelAt("0", 10, 10);
    ASSERT_NE(label, nullptr);
    label->enableShadow(Color4B(0, 0, 255, 255), Size(20, 0), 5);
    drawFrame(label);
    EXPECT_THAT(readPixel(14, 15), PixelNear(glyphColor('0'), 3));
    EXPECT_THAT(readPixel(34, 15), PixelNear((Pixel{0, 0, 100, 255}), 2));
}

TEST_F(LabelTest, SettingTheSameStringKeepsTheLayout) {
    Label* label = labelAt("12", 0, 0);
    ASSERT_NE(label, nullptr);
    label->getContentSize();
    Sprite* letter = label->getLetter(0);
    letter->setPosition(50, 50);
    label->setString("12");
    label->getContentSize();
    EXPECT_EQ(letter->getPosition(), Vec2(50, 50));
}

TEST_F(LabelTest, CarriageReturnsEndALineAsALineFeedDoes) {
    Label* fed = labelAt("21\n3", 0, 0);
    ASSERT_NE(fed, nullptr);
    for (const char* text : {"21\r\n3", "21\r3"}) {
        Label* label = labelAt(text, 0, 0);
        ASSERT_NE(label, nullptr);
        drawFrame(label);
        EXPECT_EQ(label->getStringNumLines(), 2) << text;
        EXPECT_EQ(label->getContentSize(), fed->getContentSize()) << text;
        EXPECT_EQ(glyphAt(0, 2 * kLineHeight - kYOffset), '2') << text;
        EXPECT_EQ(glyphAt(0, kLineHeight - kYOffset), '3') << text;
    }
}

TEST_F(LabelTest, EmptyTextHasNoSizeAndTrailingLineFeedNoLine) {
    Label* label = labelAt("", 0, 0);
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getContentSize(), Size::ZERO);
    EXPECT_EQ(drawFrame(label), 0);
    label->setString("12\n");
    EXPECT_EQ(label->getStringNumLines(), 1);
    EXPECT_EQ(label->getContentSize().height, kLineHeight);
}

TEST_F(LabelTest, AMissingImageFailsTheFontAndTheLabelResets) {
    const std::string broken = folder_.put("broken.fnt", test::fntText("absent.png"));
    EXPECT_EQ(Label::createWithBMFont(broken, "1"), nullptr);
    Label* label = Label::create();
    EXPECT_FALSE(label->setBMFontFilePath(broken));
    EXPECT_EQ(label->getLabelType(), Label::LabelType::STRING_TEXTURE);
    EXPECT_EQ(label->getSystemFontName(), "Helvetica");
    EXPECT_EQ(label->getLetter(0), nullptr);
}

TEST_F(LabelTest, LabelsOfOneFileShareOneAtlasUntilTheLastGoes) {
    const std::size_t before = FontAtlasCache::size();
    RefPtr<Label> first(Label::createWithBMFont(textFont_, "1"));
    RefPtr<Label> second(Label::createWithBMFont(textFont_, "2"));
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->getFontAtlas(), second->getFontAtlas());
    EXPECT_EQ(FontAtlasCache::size(), before + 1);
    PoolManager::getInstance()->getCurrentPool()->clear();
    first.reset();
    EXPECT_EQ(FontAtlasCache::size(), before + 1);
    second.reset();
    EXPECT_EQ(FontAtlasCache::size(), before);
}

TEST_F(LabelTest, ALabelWithAnotherImageOffsetOnTheSameFileDrawsFromItsOwnOffset) {
    Node* root = Node::create();
    Label* plain = labelAt("1", 4, 20);
    // This one's glyphs start a cell further right on the image: its '1' shows the '2' cell.
    Label* shifted = Label::createWithBMFont(textFont_, "1", TextHAlignment::LEFT, 0, Vec2(kCellWidth, 0));
    ASSERT_TRUE(plain && shifted);
    EXPECT_NE(plain->getFontAtlas(), shifted->getFontAtlas());
    shifted->setAnchorPoint(Vec2::ZERO);
    shifted->setPosition(40, 20);
    root->addChild(plain);
    root->addChild(shifted);
    drawFrame(root);
    const float top = 20 + kLineHeight - kYOffset;
    EXPECT_EQ(glyphAt(4, top), '1');
    EXPECT_EQ(glyphAt(40, top), '2');
}

TEST_F(LabelTest, GlowAndTrueTypeAreRefusedByBitmapLabels) {
    Label* label = labelAt("1", 0, 0);
    ASSERT_NE(label, nullptr);
    label->enableGlow(Color4B(255, 0, 0, 255));
    EXPECT_EQ(label->getLabelEffect(), LabelEffect::NORMAL);
    label->enableOutline(Color4B(255, 0, 0, 255));
    EXPECT_EQ(label->getLabelEffect(), LabelEffect::NORMAL);
    EXPECT_EQ(Label::createWithTTF(TTFConfig{"fonts/any.ttf", 20}, "1"), nullptr);
}

TEST_F(LabelTest, DescriptionShowsTheText) {
    Label* label = labelAt("12", 0, 0);
    ASSERT_NE(label, nullptr);
    label->setTag(7);
    label->getContentSize();
    EXPECT_EQ(label->description(), "<Label | Tag = 7, Label = '12'>");
}

}  // namespace
}  // namespace kite
