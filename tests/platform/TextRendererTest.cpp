// System-font text: names through fontconfig, CJK characters from the fallback font, wrapping, alignment,
// stroke padding, premultiplied pixels and the size limit.
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "platform/TextLayout.h"
#include "platform/TextRenderer.h"

namespace platform {
namespace {

TextRequest request(const std::string& text, const std::string& font = "Helvetica Neue", int size = 22) {
    TextRequest r;
    r.text = text;
    r.fontName = font;
    r.fontSize = size;
    return r;
}

TextBitmap render(const TextRequest& r, int maxSide = 4096) {
    TextBitmap bitmap;
    std::string error;
    EXPECT_TRUE(TextRenderer::instance().render(r, maxSide, bitmap, error)) << error;
    return bitmap;
}

std::uint8_t alphaAt(const TextBitmap& b, int x, int y) {
    return b.rgba[(static_cast<std::size_t>(y) * b.width + x) * 4 + 3];
}

// The alpha of columns [x0, x1) of every row.
std::vector<std::uint8_t> columns(const TextBitmap& b, int x0, int x1) {
    std::vector<std::uint8_t> out;
    for (int y = 0; y < b.height; ++y)
        for (int x = x0; x < x1; ++x) out.push_back(x < b.width ? alphaAt(b, x, y) : 0);
    return out;
}

int inkIn(const TextBitmap& b, int x0, int x1) {
    const std::vector<std::uint8_t> cells = columns(b, x0, x1);
    return static_cast<int>(std::count_if(cells.begin(), cells.end(), [](std::uint8_t a) { return a > 128; }));
}

TEST(TextRendererTest, ChineseTextInALatinFontTakesRealGlyphsFromTheCjkFont) {
    const std::string text = "我当前排名：";
    const TextBitmap mixed = render(request(text));
    const TextBitmap cjk = render(request(text, "WenQuanYi Micro Hei"));
    ASSERT_GT(mixed.width, 0);
    EXPECT_EQ(mixed.width, cjk.width);
    EXPECT_EQ(mixed.height, std::max(cjk.height, mixed.height));
    // Six full-width cells of 22 pixels, each inked (the colon lightly), each the CJK font's own glyph.
    EXPECT_NEAR(mixed.width, 6 * 22, 2);
    const TextBitmap missing = render(request("\xee\x80\x80", "WenQuanYi Micro Hei"));  // U+E000: no glyph
    for (int cell = 0; cell < 6; ++cell) {
        EXPECT_GT(inkIn(mixed, cell * 22, cell * 22 + 22), cell == 5 ? 4 : 40) << "cell " << cell;
        const TextBitmap single = render(request(text.substr(static_cast<std::size_t>(cell) * 3, 3)));
        EXPECT_NE(columns(single, 0, 22), columns(missing, 0, 22)) << "cell " << cell << " is a missing-glyph box";
    }
}

TEST(TextRendererTest, MixedLatinAndChineseKeepsTheLatinFontForLatinLetters) {
    const TextBitmap latin = render(request("Score "));
    const TextBitmap mixed = render(request("Score 分数"));
    EXPECT_NEAR(mixed.width, latin.width + 2 * 22, 3);
    EXPECT_GT(inkIn(mixed, latin.width, latin.width + 22), 40);
    EXPECT_GT(inkIn(mixed, latin.width + 22, latin.width + 44), 40);
    EXPECT_GT(inkIn(mixed, 0, latin.width), 60);
}

TEST(TextRendererTest, TextWrapsAtTheBoxWidthAndAlignsInIt) {
    TextRequest r = request("one two three four", "DejaVu Sans", 16);
    const TextBitmap line = render(r);
    r.boxWidth = 80;
    const TextBitmap wrapped = render(r);
    EXPECT_EQ(wrapped.width, 80);
    EXPECT_GE(wrapped.height, 3 * line.height);
    // Chinese breaks between characters without spaces.
    TextRequest cjk = request("我当前排名我当前排名", "WenQuanYi Micro Hei", 20);
    cjk.boxWidth = 100;
    const TextBitmap cjkWrapped = render(cjk);
    const TextBitmap cjkLine = render(request("我", "WenQuanYi Micro Hei", 20));
    EXPECT_EQ(cjkWrapped.height, 2 * cjkLine.height);

    TextRequest right = request("ab", "DejaVu Sans", 16);
    right.boxWidth = 100;
    right.horizontal = TextHorizontalAlign::Right;
    const TextBitmap aligned = render(right);
    EXPECT_EQ(inkIn(aligned, 0, 70), 0);
    EXPECT_GT(inkIn(aligned, 80, 100), 10);

    TextRequest bottom = request("ab", "DejaVu Sans", 16);
    bottom.boxHeight = 60;
    bottom.vertical = TextVerticalAlign::Bottom;
    const TextBitmap low = render(bottom);
    ASSERT_EQ(low.height, 60);
    int topInk = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < low.width; ++x) topInk += alphaAt(low, x, y) > 0;
    EXPECT_EQ(topInk, 0);
}

TEST(TextRendererTest, AStrokePadsBothSidesAndPaintsAroundTheFill) {
    TextRequest r = request("H", "DejaVu Sans", 30);
    r.boxWidth = 200;
    const TextBitmap plain = render(r);
    r.stroke = true;
    r.strokeSize = 1.5f;
    r.fill = {1, 1, 1, 1};
    r.strokeColor = {1, 0, 0, 1};
    const TextBitmap stroked = render(r);
    EXPECT_EQ(stroked.width, plain.width + 4);
    EXPECT_EQ(stroked.height, plain.height + 4);
    r.strokeSize = 4.0f;
    const TextBitmap thick = render(r);
    EXPECT_EQ(thick.width, plain.width + 8);
    int red = 0, white = 0;
    for (std::size_t i = 0; i < thick.rgba.size(); i += 4) {
        const std::uint8_t* p = &thick.rgba[i];
        if (p[3] > 250 && p[0] > 250 && p[1] < 5) ++red;
        if (p[3] > 250 && p[1] > 250) ++white;
    }
    EXPECT_GT(red, 30);
    EXPECT_GT(white, 30);
}

TEST(TextRendererTest, PixelsArePremultiplied) {
    TextRequest r = request("W", "DejaVu Sans", 30);
    r.fill = {1.0f, 0.5f, 0.0f, 0.5f};
    const TextBitmap bitmap = render(r);
    int inked = 0;
    for (std::size_t i = 0; i < bitmap.rgba.size(); i += 4) {
        const std::uint8_t* p = &bitmap.rgba[i];
        ASSERT_LE(p[0], p[3]);
        ASSERT_LE(p[1], p[3]);
        if (p[3] > 0) ++inked;
    }
    EXPECT_GT(inked, 50);
    EXPECT_LE(*std::max_element(bitmap.rgba.begin(), bitmap.rgba.end()), 129);
}

TEST(TextRendererTest, AFamilyPreparedOnAnotherThreadDrawsAsOneNeverPrepared) {
    const TextBitmap before = render(request("提示 Hello", "DejaVu Serif", 18));
    bool prepared = false;
    std::thread([&] { prepared = TextRenderer::instance().prepare("DejaVu Sans Mono"); }).join();
    EXPECT_TRUE(prepared);
    const TextBitmap mono = render(request("提示 Hello", "DejaVu Sans Mono", 18));
    EXPECT_GT(inkIn(mono, 0, mono.width), 0);
    // Preparing one family changes nothing for another.
    const TextBitmap after = render(request("提示 Hello", "DejaVu Serif", 18));
    EXPECT_EQ(after.rgba, before.rgba);
}

TEST(TextRendererTest, EmptyTextAndTooLargeBitmapsFailWithAReason) {
    TextBitmap bitmap;
    std::string error;
    EXPECT_FALSE(TextRenderer::instance().render(request(""), 4096, bitmap, error));
    EXPECT_FALSE(error.empty());
    TextRequest huge = request("wide text", "DejaVu Sans", 40);
    huge.boxHeight = 70000;  // would not fit 16 bits
    error.clear();
    EXPECT_FALSE(TextRenderer::instance().render(huge, 16384, bitmap, error));
    EXPECT_NE(error.find("larger than 16384"), std::string::npos) << error;
    EXPECT_TRUE(bitmap.rgba.empty());
    EXPECT_FALSE(TextRenderer::instance().render(request("x", "DejaVu Sans", 100000), 16384, bitmap, error));
    EXPECT_NE(error.find("font size"), std::string::npos) << error;
}

TEST(TextRendererTest, CarriageReturnsEndALineAsALineFeedDoes) {
    // The game's messages break their lines with "\r\n"; a lone "\r" breaks one too. Neither draws a glyph.
    const TextBitmap feed = render(request("当前无网络，请连接\n您的网络！"));
    const TextBitmap crlf = render(request("当前无网络，请连接\r\n您的网络！"));
    const TextBitmap cr = render(request("当前无网络，请连接\r您的网络！"));
    ASSERT_GT(feed.width, 0);
    EXPECT_EQ(crlf.width, feed.width);
    EXPECT_EQ(crlf.height, feed.height);
    EXPECT_EQ(crlf.rgba, feed.rgba);
    EXPECT_EQ(cr.rgba, feed.rgba);
    // Two line breaks in a row still give an empty line between.
    EXPECT_EQ(render(request("ab\r\n\r\ncd")).rgba, render(request("ab\n\ncd")).rgba);
}

TEST(TextRendererTest, MalformedUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(decodeUtf8("a\xff"
                         "b\xe6\x88"),
              U"a\uFFFDb\uFFFD\uFFFD");
    EXPECT_EQ(decodeUtf8("\xe6\x88\x91"), U"\u6211");
    TextBitmap bitmap;
    std::string error;
    EXPECT_TRUE(TextRenderer::instance().render(request("ok\xff\xfe"), 4096, bitmap, error)) << error;
}

}  // namespace
}  // namespace platform
