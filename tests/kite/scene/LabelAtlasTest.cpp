// Grid-of-cells text: label atlases and character-map labels drawing their cells from a generated sheet.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SceneDrawSupport.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/FontAtlas.h"
#include "kite/scene/FontCharMap.h"
#include "kite/scene/Label.h"
#include "kite/scene/LabelAtlas.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

const Pixel kBlack{0, 0, 0, 255};
const Pixel kCells[] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 0, 255}};

// Four 4 x 4 cells in a row: red '0', green '1', blue '2', yellow '3'.
RefPtr<Texture2D> cellSheet() {
    return test::textureFrom(16, 4, [](int x, int) { return kCells[x / 4]; });
}

class LabelAtlasTest : public test::SceneDrawTest {};

TEST_F(LabelAtlasTest, EachByteDrawsItsCell) {
    auto sheet = cellSheet();
    LabelAtlas* label = LabelAtlas::create("10", sheet.get(), 4, 4, '0');
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->getContentSize(), Size(8, 4));
    EXPECT_EQ(drawFrame(label), 1);
    EXPECT_THAT(readPixel(1, 1), PixelNear(kCells[1], 1));
    EXPECT_THAT(readPixel(6, 2), PixelNear(kCells[0], 1));
    EXPECT_THAT(readPixel(9, 2), PixelNear(kBlack, 0));
    EXPECT_EQ(label->description(), "<LabelAtlas | Tag = -1, Label = '10'>");
}

TEST_F(LabelAtlasTest, LongerTextGrowsTheAtlasAndShorterDrawsOnlyItsLength) {
    auto sheet = cellSheet();
    LabelAtlas* label = LabelAtlas::create("1", sheet.get(), 4, 4, '0');
    ASSERT_NE(label, nullptr);
    label->setString("0123");
    EXPECT_GE(label->getTextureAtlas()->getCapacity(), 4);
    drawFrame(label);
    EXPECT_THAT(readPixel(13, 1), PixelNear(kCells[3], 1));
    label->setString("2");
    EXPECT_EQ(label->getQuadsToDraw(), 1);
    drawFrame(label);
    EXPECT_THAT(readPixel(1, 1), PixelNear(kCells[2], 1));
    EXPECT_THAT(readPixel(13, 1), PixelNear(kBlack, 0));
}

TEST_F(LabelAtlasTest, CharactersOutsideTheGridStayBlank) {
    auto sheet = cellSheet();
    // ' ' lies below '0' and wraps to a cell far past the sheet; '9' is past its last cell.
    LabelAtlas* label = LabelAtlas::create(" 9", sheet.get(), 4, 4, '0');
    ASSERT_NE(label, nullptr);
    drawFrame(label);
    EXPECT_THAT(readPixel(1, 1), PixelNear(kBlack, 0));
    EXPECT_THAT(readPixel(5, 1), PixelNear(kBlack, 0));
}

TEST_F(LabelAtlasTest, ColourTintsEveryCell) {
    auto sheet = cellSheet();
    LabelAtlas* label = LabelAtlas::create("3", sheet.get(), 4, 4, '0');
    ASSERT_NE(label, nullptr);
    label->setColor(Color3B(255, 0, 0));
    drawFrame(label);
    EXPECT_THAT(readPixel(1, 1), PixelNear((Pixel{255, 0, 0, 255}), 1));
}

TEST_F(LabelAtlasTest, CharacterMapLabelDrawsCellsAsLetters) {
    auto sheet = cellSheet();
    Label* label = Label::createWithCharMap(sheet.get(), 4, 4, '0');
    ASSERT_NE(label, nullptr);
    label->setAnchorPoint(Vec2::ZERO);
    label->setString("3\n21");
    EXPECT_EQ(label->getContentSize(), Size(8, 8));
    EXPECT_EQ(drawFrame(label), 1);
    EXPECT_THAT(readPixel(1, 6), PixelNear(kCells[3], 1));
    EXPECT_THAT(readPixel(1, 1), PixelNear(kCells[2], 1));
    EXPECT_THAT(readPixel(6, 1), PixelNear(kCells[1], 1));
    EXPECT_THAT(readPixel(6, 6), PixelNear(kBlack, 0));
}

TEST_F(LabelAtlasTest, CharacterMapDefinesOneLetterPerCell) {
    auto sheet = test::textureFrom(160, 32, [](int, int) { return kCells[0]; });
    FontCharMap* font = FontCharMap::create(sheet.get(), 16, 32, 'A');
    ASSERT_NE(font, nullptr);
    RefPtr<FontAtlas> atlas(font->createFontAtlas());
    atlas->release();  // the creation reference; the holder keeps one
    FontLetterDefinition def;
    EXPECT_TRUE(atlas->getLetterDefinitionForChar(u'J', def));
    EXPECT_EQ(def.U, 144.0f);
    EXPECT_EQ(def.xAdvance, 16);
    EXPECT_FALSE(atlas->getLetterDefinitionForChar(u'K', def));
    EXPECT_EQ(atlas->getCommonLineHeight(), 32.0f);
}

TEST_F(LabelAtlasTest, CharacterMapPropertyListsNeedEveryKeyAndACell) {
    test::TemporaryFolder folder("charmap");
    ASSERT_TRUE(folder.made());
    std::vector<std::uint8_t> rgba(16 * 4 * 4, 255);
    test::writePNG(folder.path() + "/cells.png", 16, 4, rgba);
    auto plist = [](const std::string& entries) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>" + entries +
               "</dict></plist>\n";
    };
    const std::string texture = "<key>textureFilename</key><string>cells.png</string>";
    const std::string full =
        folder.put("full.plist",
                   plist(texture + "<key>itemWidth</key><integer>4</integer><key>itemHeight</key><integer>4</integer>"
                                   "<key>firstChar</key><integer>48</integer>"));
    const std::string missing = folder.put(
        "missing.plist",
        plist(texture + "<key>itemWidth</key><integer>4</integer><key>firstChar</key><integer>48</integer>"));
    const std::string empty =
        folder.put("empty.plist",
                   plist(texture + "<key>itemWidth</key><integer>0</integer><key>itemHeight</key><integer>4</integer>"
                                   "<key>firstChar</key><integer>48</integer>"));
    EXPECT_NE(Label::createWithCharMap(full), nullptr);
    EXPECT_EQ(Label::createWithCharMap(missing), nullptr);
    EXPECT_EQ(Label::createWithCharMap(empty), nullptr);
    EXPECT_EQ(Label::createWithCharMap(folder.path() + "/cells.png", 0, 4, '0'), nullptr);
}

}  // namespace
}  // namespace kite
