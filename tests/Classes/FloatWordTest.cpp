// The floating words of the play screen: a word that floats in and out has left when its callback runs.
#include "Classes/FloatWord.h"

#include <gtest/gtest.h>

#include <vector>

#include "PlayTestSupport.h"

namespace {

using game::test::PlayScreenTest;

class FloatWordTest : public PlayScreenTest {
protected:
    void SetUp() override {
        PlayScreenTest::SetUp();
        startScene();
    }
    FloatWord* addWord() {
        FloatWord* word = FloatWord::create("x", 50, kite::Vec2(480, 400));
        if (word) layer->addChild(word);
        return word;
    }
};

TEST_F(FloatWordTest, FloatInOutHasLeftTheScreenWhenItsCallbackRuns) {
    FloatWord* word = addWord();
    ASSERT_NE(word, nullptr);
    std::vector<bool> shownAtCallback;
    word->floatInOut(0.1f, 0.1f, [&] { shownAtCallback.push_back(word->getParent() != nullptr); });
    seconds(0.6f);
    EXPECT_EQ(shownAtCallback, std::vector<bool>{false});
}

}  // namespace
