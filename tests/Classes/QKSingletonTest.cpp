#include "Classes/QKSingleton.h"

#include <gtest/gtest.h>

#include "Classes/GameHelpers.h"
#include "GameTestSupport.h"

namespace {

using game::test::GameStoreTest;

class QKSingletonTest : public GameStoreTest {
protected:
    QKSingleton* state = QKSingleton::getInstance();
};

TEST_F(QKSingletonTest, PreferenceAccessorsUseTheGamesKeys) {
    state->setHttpRequestURL("http://127.0.0.1:8080/game/");
    state->setCurrentTime("2026127");
    state->setCellphone(base64Encode("13912345678"));
    state->setPassword(base64Encode("secret"));
    state->setPlayerStatus(1);
    state->setGuideStatus(1);
    state->setVoiceOnOff(true);
    state->setMusicOnOff(false);
    state->setSoundOnOff(true);
    state->setPayTier(2);
    EXPECT_EQ(store()->getStringForKey("httpRequestURL"), "http://127.0.0.1:8080/game/");
    EXPECT_EQ(store()->getStringForKey("currentTime"), "2026127");
    EXPECT_EQ(base64Decode(store()->getStringForKey("cellphone")), "13912345678");
    EXPECT_EQ(store()->getStringForKey("password"), "c2VjcmV0");
    EXPECT_EQ(store()->getIntegerForKey("playerStatus"), 1);
    EXPECT_EQ(store()->getIntegerForKey("guideStatus"), 1);
    EXPECT_TRUE(store()->getBoolForKey("voiceOnOff"));
    EXPECT_FALSE(state->getMusicOnOff());
    EXPECT_TRUE(state->getSoundOnOff());
    EXPECT_EQ(state->getPayTier(), 2);
}

TEST_F(QKSingletonTest, StoreHoldingTheAccountIsReadableByItsOwnerOnly) {
    state->setCellphone(base64Encode("13912345678"));
    store()->flush();
    struct stat st;
    ASSERT_EQ(::stat(environment.storePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

}  // namespace
