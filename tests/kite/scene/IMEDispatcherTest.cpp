// The input dispatcher: one keyboard owner at a time, consent to come and go, notifications to everyone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/scene/IMEDispatcher.h"

namespace kite {
namespace {

class RecordingDelegate : public IMEDelegate {
public:
    RecordingDelegate(std::string name, std::vector<std::string>& log) : name_(std::move(name)), log_(log) {}

    bool allowAttach = true;
    bool allowDetach = true;
    std::string text;

    bool canAttachWithIME() override { return allowAttach; }
    bool canDetachWithIME() override { return allowDetach; }
    void didAttachWithIME() override { log_.push_back(name_ + " attached"); }
    void didDetachWithIME() override { log_.push_back(name_ + " detached"); }
    void insertText(const char* t, std::size_t n) override { text.append(t, n); }
    void deleteBackward() override { log_.push_back(name_ + " delete"); }
    const std::string& getContentText() override { return text; }
    void keyboardWillShow(IMEKeyboardNotificationInfo& info) override {
        log_.push_back(name_ + " will show " + std::to_string(static_cast<int>(info.end.size.height)));
    }

private:
    std::string name_;
    std::vector<std::string>& log_;
};

IMEDispatcher& dispatcher() { return *IMEDispatcher::sharedDispatcher(); }

TEST(IMEDispatcherTest, OneOwnerGetsTheTextAndHandsOverWithConsent) {
    std::vector<std::string> log;
    RecordingDelegate a("a", log), b("b", log);
    dispatcher().dispatchInsertText("lost", 4);
    EXPECT_TRUE(a.attachWithIME());
    dispatcher().dispatchInsertText("hi", 2);
    dispatcher().dispatchInsertText("", 0);
    dispatcher().dispatchDeleteBackward();
    EXPECT_EQ(a.text, "hi");
    EXPECT_EQ(dispatcher().getContentText(), "hi");

    a.allowDetach = false;
    EXPECT_FALSE(b.attachWithIME());
    EXPECT_FALSE(b.detachWithIME());  // not the owner
    a.allowDetach = true;
    EXPECT_TRUE(b.attachWithIME());
    dispatcher().dispatchInsertText("yo", 2);
    EXPECT_EQ(b.text, "yo");
    EXPECT_TRUE(b.detachWithIME());
    EXPECT_FALSE(dispatcher().hasOwner());
    EXPECT_EQ(log, (std::vector<std::string>{"a attached", "a delete", "a detached", "b attached", "b detached"}));
}

TEST(IMEDispatcherTest, NotificationsReachEveryoneNewestFirstAndAGoneOwnerLeavesNone) {
    std::vector<std::string> log;
    RecordingDelegate older("older", log);
    {
        RecordingDelegate newer("newer", log);
        ASSERT_TRUE(newer.attachWithIME());
        IMEKeyboardNotificationInfo info;
        dispatcher().dispatchKeyboardWillShow(info);
    }
    EXPECT_FALSE(dispatcher().hasOwner());
    dispatcher().dispatchInsertText("x", 1);
    EXPECT_TRUE(older.text.empty());
    EXPECT_EQ(log, (std::vector<std::string>{"newer attached", "newer will show 0", "older will show 0"}));
}

}  // namespace
}  // namespace kite
