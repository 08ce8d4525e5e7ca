// System-font labels, textures made from text, and the text field, probed by their pixels.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SceneDrawSupport.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/IMEDispatcher.h"
#include "kite/scene/Label.h"
#include "kite/scene/TextFieldTTF.h"

namespace kite {
namespace {

using test::Pixel;

class SystemFontLabelTest : public test::SceneDrawTest {
protected:
    int frameWidth() const override { return 200; }
    int frameHeight() const override { return 80; }

    Label* labelAt(const std::string& text, const std::string& font, float size, float x, float y) {
        Label* label = Label::createWithSystemFont(text, font, size);
        label->setAnchorPoint(Vec2::ZERO);
        label->setPosition(x, y);
        return label;
    }

    // Pixels brighter than `level` (red channel) in the frame rectangle [x0, x1) x [y0, y1).
    int inkIn(int x0, int y0, int x1, int y1, int level = 128) const {
        int count = 0;
        for (int y = std::max(0, y0); y < std::min(y1, frameHeight()); ++y)
            for (int x = std::max(0, x0); x < std::min(x1, frameWidth()); ++x) count += readPixel(x, y).r > level;
        return count;
    }
    int inkOutside(int x0, int y0, int x1, int y1) const {
        return inkIn(0, 0, frameWidth(), frameHeight()) - inkIn(x0, y0, x1, y1);
    }
};

TEST_F(SystemFontLabelTest, ChineseRankCaptionDrawsARealGlyphInEveryCell) {
    Label* label = labelAt("我当前排名：", "Helvetica Neue", 22, 10, 30);
    const Size size = label->getContentSize();
    EXPECT_EQ(label->getLabelType(), Label::LabelType::STRING_TEXTURE);
    EXPECT_NEAR(size.width, 6 * 22, 2);
    EXPECT_GE(size.height, 22);
    EXPECT_LE(size.height, 40);
    drawFrame(label);
    saveFrame();
    const int top = 30 + static_cast<int>(size.height);
    for (int cell = 0; cell < 5; ++cell)
        EXPECT_GT(inkIn(10 + 22 * cell, 30, 10 + 22 * (cell + 1), top), 40) << "cell " << cell;
    EXPECT_GT(inkIn(10 + 22 * 5, 30, 10 + 22 * 6, top), 2);  // the full-width colon
    EXPECT_EQ(inkOutside(10, 30, 10 + static_cast<int>(size.width) + 1, top + 1), 0);
}

TEST_F(SystemFontLabelTest, MixedLatinAndChineseStaysInItsBox) {
    Label* label = labelAt("Rank 排名 12", "Helvetica Neue", 18, 5, 20);
    const Size size = label->getContentSize();
    drawFrame(label);
    saveFrame();
    const int right = 5 + static_cast<int>(size.width);
    const int top = 20 + static_cast<int>(size.height);
    EXPECT_GT(inkIn(5, 20, right, top), 200);
    EXPECT_EQ(inkOutside(5, 20, right + 1, top + 1), 0);
    // The two Chinese characters sit between the Latin word and the digits, each inked.
    const int chineseLeft = right - 2 * 18 - static_cast<int>(size.width * 0.25);
    EXPECT_GT(inkIn(chineseLeft, 20, chineseLeft + 36, top), 60);
}

TEST_F(SystemFontLabelTest, AnEmptyTextIsAnEmptyLabelWithoutTexture) {
    Label* label = labelAt("", "Helvetica Neue", 22, 0, 0);
    EXPECT_EQ(label->getContentSize(), Size::ZERO);
    EXPECT_EQ(drawFrame(label), 0);
    EXPECT_TRUE(label->getChildren().empty());
    Texture2D* texture = Texture2D::create();
    EXPECT_FALSE(texture->initWithString("", FontDefinition()));
    EXPECT_EQ(texture->getName(), 0u);
}

TEST_F(SystemFontLabelTest, ABoxWidensTheBitmapAndAStrokePadsIt) {
    FontDefinition def;
    def._fontName = "fonts/Helvetica Neue.ttf";  // a path names the font by its bare name
    def._fontSize = 20;
    def._dimensions = Size(200, 0);
    Texture2D* texture = Texture2D::create();
    ASSERT_TRUE(texture->initWithString("one line", def));
    EXPECT_EQ(texture->getPixelsWide(), 200);
    EXPECT_TRUE(texture->hasPremultipliedAlpha());
    const int high = texture->getPixelsHigh();
    def._stroke._strokeEnabled = true;
    def._stroke._strokeSize = 1.5f;
    Texture2D* stroked = Texture2D::create();
    ASSERT_TRUE(stroked->initWithString("one line", def));
    EXPECT_EQ(stroked->getPixelsWide(), 204);
    EXPECT_EQ(stroked->getPixelsHigh(), high + 4);
}

TEST_F(SystemFontLabelTest, ATextColourChangeRedrawsTheText) {
    Label* label = labelAt("HH", "DejaVu Sans", 30, 10, 10);
    label->setTextColor(Color4B(0, 255, 0, 255));
    drawFrame(label);
    int green = 0;
    for (int x = 10; x < 60; ++x) green += readPixel(x, 25).g > 200 && readPixel(x, 25).r < 40;
    EXPECT_GT(green, 4);
}

TEST_F(SystemFontLabelTest, ASecondShadowRecoloursAndMovesTheShadowAlreadyDrawn) {
    Label* label = labelAt("HH", "DejaVu Sans", 30, 10, 10);
    label->enableShadow(Color4B(0, 0, 255, 255), Size(60, 0));
    drawFrame(label);
    label->enableShadow(Color4B(255, 0, 0, 128), Size(100, 0));
    drawFrame(label);
    saveFrame();
    const int right = 10 + static_cast<int>(label->getContentSize().width);
    int blue = 0, halfRed = 0;
    for (int y = 10; y < 50; ++y) {
        for (int x = right; x < frameWidth(); ++x) {
            const Pixel p = readPixel(x, y);
            blue += p.b > 60;
            halfRed += p.r > 100 && p.r < 150 && p.g < 30 && x >= 110;
        }
    }
    EXPECT_EQ(blue, 0);
    EXPECT_GT(halfRed, 20);
}

// ---- text field

class TextFieldTest : public SystemFontLabelTest {};

TEST_F(TextFieldTest, ThePlaceholderShowsInGreyUntilTextIsTyped) {
    TextFieldTTF* field = TextFieldTTF::textFieldWithPlaceHolder("HHHH", "DejaVu Sans", 30);
    ASSERT_NE(field, nullptr);
    field->setAnchorPoint(Vec2::ZERO);
    field->setPosition(10, 10);
    field->setTextColor(Color4B(255, 0, 0, 255));  // takes effect with the first character
    drawFrame(field);
    EXPECT_GT(inkIn(10, 10, 100, 50, 100), 20);
    bool grey = false;
    for (int x = 10; x < 100 && !grey; ++x) grey = readPixel(x, 25) == Pixel{127, 127, 127, 255};
    EXPECT_TRUE(grey);

    field->insertText("HH", 2);
    drawFrame(field);
    int red = 0;
    for (int x = 10; x < 100; ++x) red += readPixel(x, 25).r > 200 && readPixel(x, 25).g < 40;
    EXPECT_GT(red, 4);
    EXPECT_EQ(field->getString(), "HH");
}

TEST_F(TextFieldTest, InsertingStopsAtALineFeedAndDeletingTakesOneCharacter) {
    TextFieldTTF* field = TextFieldTTF::textFieldWithPlaceHolder("", "Helvetica Neue", 20);
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(field->attachWithIME());
    field->insertText("ab\ncd", 5);
    EXPECT_EQ(field->getString(), "ab");
    EXPECT_FALSE(IMEDispatcher::sharedDispatcher()->hasOwner());  // the line feed ended the entry
    field->setString("名\xc3\xa9");
    field->deleteBackward();
    EXPECT_EQ(field->getString(), "名");
    field->deleteBackward();
    EXPECT_EQ(field->getString(), "");
    EXPECT_EQ(field->getCharCount(), 0);
    EXPECT_EQ(field->getTextColor(), Color4B(127, 127, 127, 255));
    field->deleteBackward();  // nothing left: nothing happens
    EXPECT_EQ(field->getString(), "");
}

TEST_F(TextFieldTest, APasswordFieldShowsOneMarkPerByteOfItsText) {
    TextFieldTTF* field = TextFieldTTF::textFieldWithPlaceHolder("", "DejaVu Sans", 20);
    ASSERT_NE(field, nullptr);
    field->setSecureTextEntry(true);
    const std::string mark = "\xe2\x80\xa2";
    field->setString("abc");
    EXPECT_EQ(field->Label::getString(), mark + mark + mark);
    field->setString("a名");  // a three-byte character shows three marks
    EXPECT_EQ(field->getString(), "a名");
    EXPECT_EQ(field->getCharCount(), 2);
    EXPECT_EQ(field->Label::getString(), mark + mark + mark + mark);
    field->setSecureTextEntry(false);
    EXPECT_EQ(field->Label::getString(), "a名");
}

class VetoingDelegate : public TextFieldDelegate {
public:
    bool onTextFieldInsertText(TextFieldTTF*, const char*, std::size_t) override { return true; }
    bool onTextFieldDetachWithIME(TextFieldTTF*) override { return true; }
};

TEST_F(TextFieldTest, ADelegateCanVetoTyping) {
    TextFieldTTF* field = TextFieldTTF::textFieldWithPlaceHolder("", "DejaVu Sans", 20);
    ASSERT_NE(field, nullptr);
    VetoingDelegate veto;
    field->setDelegate(&veto);
    ASSERT_TRUE(field->attachWithIME());
    field->insertText("abc\n", 4);
    EXPECT_EQ(field->getString(), "");
    EXPECT_FALSE(field->detachWithIME());
    field->setDelegate(nullptr);
    EXPECT_TRUE(field->detachWithIME());
}

}  // namespace
}  // namespace kite
