#include "kite/foundation/UserDefault.h"

#include "UserDefaultTestSupport.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/PropertyList.h"
#include "kite/platform/PreferencesStoreLinux.h"
#include "platform/AtomicFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kite {
namespace {

class UserDefaultTest : public test::UserDefaultFixture {};

TEST_F(UserDefaultTest, AnUnknownKeyGivesTheDefaultAndCreatesNothing) {
    UserDefault* store = UserDefault::getInstance();
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->getIntegerForKey("level", 4), 4);
    EXPECT_EQ(store->getIntegerForKey("level"), 0);
    EXPECT_FALSE(store->getBoolForKey("sound"));
    EXPECT_TRUE(store->getBoolForKey("sound", true));
    EXPECT_EQ(store->getStringForKey("name", "x"), "x");
    EXPECT_EQ(UserDefault::getLegacyFilePath(), legacyPath_);
    store->flush();
    EXPECT_FALSE(exists(storePath_));
    EXPECT_FALSE(exists(legacyPath_));
}

TEST_F(UserDefaultTest, ValuesSurviveDestroyingAndRecreatingTheStore) {
    UserDefault* store = UserDefault::getInstance();
    store->setBoolForKey("musicOnOff", true);
    store->setIntegerForKey("diamond", 20);
    store->setIntegerForKey("negative", -5);
    store->setStringForKey("cellphone", "MTM4MDAwMDAwMDA=");
    store->setStringForKey("cjk", "星星");
    UserDefault::destroyInstance();

    store = UserDefault::getInstance();
    EXPECT_TRUE(store->getBoolForKey("musicOnOff"));
    EXPECT_EQ(store->getIntegerForKey("diamond"), 20);
    EXPECT_EQ(store->getIntegerForKey("negative"), -5);
    EXPECT_EQ(store->getStringForKey("cellphone"), "MTM4MDAwMDAwMDA=");
    EXPECT_EQ(store->getStringForKey("cjk"), "星星");

    ValueMap disk = onDisk();
    EXPECT_EQ(disk.at("musicOnOff"), Value(true));
    EXPECT_EQ(disk.at("diamond"), Value(20));
}

TEST_F(UserDefaultTest, ChangesReachTheDiskAtTheEndOfTheFrameOrOnFlush) {
    UserDefault* store = UserDefault::getInstance();
    store->setIntegerForKey("currentLevel", 3);
    EXPECT_FALSE(exists(storePath_));
    // The end of the frame hands the values to the writer thread; flush only waits for it.
    std::atomic<int> writes{0};
    std::atomic<bool> offMainThread{false};
    const std::thread::id mainThread = std::this_thread::get_id();
    platform::setAtomicWriteHookForTesting([&](const std::string&) {
        ++writes;
        offMainThread = std::this_thread::get_id() != mainThread;
    });
    UserDefault::saveIfDirty();
    store->flush();
    platform::setAtomicWriteHookForTesting(nullptr);
    EXPECT_EQ(writes, 1);
    EXPECT_TRUE(offMainThread);
    EXPECT_EQ(onDisk().at("currentLevel"), Value(3));
    store->setIntegerForKey("currentLevel", 4);
    store->flush();
    EXPECT_EQ(onDisk().at("currentLevel"), Value(4));
}

TEST_F(UserDefaultTest, SavingWithoutAStoreOrWithoutChangesDoesNothing) {
    UserDefault::saveIfDirty();
    UserDefault* store = UserDefault::getInstance();
    store->setIntegerForKey("a", 1);
    store->flush();
    struct stat before;
    ASSERT_EQ(stat(storePath_.c_str(), &before), 0);
    ASSERT_EQ(unlink(storePath_.c_str()), 0);
    store->setIntegerForKey("a", 1);  // the same value is no change
    UserDefault::saveIfDirty();
    EXPECT_FALSE(exists(storePath_));
}

TEST_F(UserDefaultTest, AKilledGameLosesOnlyTheFrameThatWasNotSaved) {
    int status = inChild([] {
        UserDefault* store = UserDefault::getInstance();
        store->setIntegerForKey("score", 100);
        UserDefault::saveIfDirty();  // end of frame 1
        store->setIntegerForKey("score", 200);
        store->setIntegerForKey("unsaved", 1);
        // killed during frame 2
    });
    ASSERT_EQ(status, 0);
    UserDefault* store = UserDefault::getInstance();
    EXPECT_EQ(store->getIntegerForKey("score"), 100);
    EXPECT_EQ(store->getIntegerForKey("unsaved", -1), -1);
}

// Runs only as the child of ANormalExitSavesPendingChanges. It is a fresh process of this
// binary: a plain fork of a process that has drawn would run the GL driver's exit handlers,
// which wait for driver threads the fork did not copy.
TEST(UserDefaultExitChild, SetsAKeyAndExitsNormally) {
    if (!std::getenv("STARGRID_USERDEFAULT_EXIT_CHILD"))
        GTEST_SKIP() << "runs in the child of ANormalExitSavesPendingChanges";
    UserDefault::getInstance()->setStringForKey("k", "v");
    std::exit(0);
}

TEST_F(UserDefaultTest, ANormalExitSavesPendingChanges) {
    pid_t child = fork();
    if (child == 0) {
        setenv("STARGRID_USERDEFAULT_EXIT_CHILD", "1", 1);
        execl("/proc/self/exe", "kite_platform_tests", "--gtest_filter=UserDefaultExitChild.*",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = -1;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(UserDefault::getInstance()->getStringForKey("k"), "v");
}

TEST_F(UserDefaultTest, ACrashBetweenWriteAndRenameLeavesThePreviousFileIntact) {
    UserDefault* store = UserDefault::getInstance();
    store->setIntegerForKey("diamond", 20);
    store->flush();
    const std::string before = read(storePath_);

    int status = inChild([] {
        platform::setAtomicWriteHookForTesting([](const std::string&) { _exit(9); });
        UserDefault* s = UserDefault::getInstance();
        s->setIntegerForKey("diamond", 999);
        s->flush();
    });
    EXPECT_EQ(status, 9);
    EXPECT_EQ(read(storePath_), before);
    UserDefault::destroyInstance();
    EXPECT_EQ(UserDefault::getInstance()->getIntegerForKey("diamond"), 20);
    // The killed save's temporary file is cleared away on the next start.
    std::string listing = root_ + "/config/stargrid";
    EXPECT_EQ(std::system(("test -z \"$(ls '" + listing + "' | grep tmp)\"").c_str()), 0);
}

TEST_F(UserDefaultTest, AnOpenCacheFolderIsNarrowedAtStart) {
    const std::string cache = root_ + "/cache/stargrid";
    ASSERT_EQ(std::system(("mkdir -p '" + cache + "'").c_str()), 0);
    ASSERT_EQ(chmod(cache.c_str(), 0755), 0);
    UserDefault::getInstance();
    struct stat info {};
    ASSERT_EQ(stat(cache.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(UserDefaultTest, AnOpenStoreFileIsNarrowedToItsOwnerWhenLoaded) {
    ASSERT_EQ(std::system(("mkdir -p '" + root_ + "/config/stargrid'").c_str()), 0);
    std::ofstream(storePath_) << "<plist><dict><key>level</key><integer>4</integer></dict></plist>";
    ASSERT_EQ(chmod(storePath_.c_str(), 0644), 0);  // as an older version may have left it
    UserDefault* store = UserDefault::getInstance();
    EXPECT_EQ(store->getIntegerForKey("level"), 4);  // a run that changes nothing
    UserDefault::destroyInstance();
    struct stat info {};
    ASSERT_EQ(stat(storePath_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UserDefaultTest, LegacyValuesMigrateOnceAndLeaveTheLegacyFile) {
    writeLegacy("<level>7</level><sound>true</sound><flag>1</flag><name>Star Player</name><other>x</other>");
    UserDefault* store = UserDefault::getInstance();
    EXPECT_EQ(store->getIntegerForKey("level", 3), 7);
    EXPECT_EQ(read(legacyPath_).find("<level>"), std::string::npos);
    EXPECT_NE(read(legacyPath_).find("<other>"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(stat(legacyPath_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the rewritten legacy file is the owner's only";
    EXPECT_EQ(onDisk().at("level"), Value(7));  // stored and flushed
    EXPECT_EQ(store->getIntegerForKey("level", 3), 7);

    EXPECT_TRUE(store->getBoolForKey("sound"));
    EXPECT_FALSE(store->getBoolForKey("flag", true));  // only "true" is true
    EXPECT_EQ(store->getStringForKey("name"), "Star Player");

    // Once moved, a newer value is never overwritten by the legacy one.
    store->setIntegerForKey("level", 9);
    UserDefault::destroyInstance();
    EXPECT_EQ(UserDefault::getInstance()->getIntegerForKey("level"), 9);
}

TEST_F(UserDefaultTest, ALegacyElementWithoutTextIsDroppedAndTheStoreAnswers) {
    writeLegacy("<level/><keep>1</keep>");
    UserDefault* store = UserDefault::getInstance();
    EXPECT_EQ(store->getIntegerForKey("level", 3), 3);
    EXPECT_EQ(read(legacyPath_).find("level"), std::string::npos);
    store->setIntegerForKey("level", 5);
    writeLegacy("<level>9</level><keep>1</keep>");
    EXPECT_EQ(store->getIntegerForKey("level", 3), 5);  // the store's own value is newer
}

TEST_F(UserDefaultTest, AnEmptyLegacyRootDeletesTheLegacyFile) {
    writeLegacy("");
    EXPECT_EQ(UserDefault::getInstance()->getIntegerForKey("anything", 2), 2);
    EXPECT_FALSE(exists(legacyPath_));
}

TEST_F(UserDefaultTest, WritingAKeyRemovesItFromTheLegacyFileFirst) {
    writeLegacy("<sound>true</sound><level>7</level>");
    UserDefault* store = UserDefault::getInstance();
    store->setBoolForKey("sound", false);
    EXPECT_EQ(read(legacyPath_).find("sound"), std::string::npos);
    EXPECT_FALSE(store->getBoolForKey("sound", true));
}

TEST_F(UserDefaultTest, ADamagedLegacyFileIsLoggedAndLeftAlone) {
    writeLegacy("");
    std::ofstream(legacyPath_) << "<<<not xml";
    testing::internal::CaptureStdout();
    EXPECT_EQ(UserDefault::getInstance()->getIntegerForKey("level", 1), 1);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("read root node error"), std::string::npos);
    EXPECT_TRUE(exists(legacyPath_));
}

TEST_F(UserDefaultTest, KeysStoredWithAnotherTypeAreConverted) {
    UserDefault* store = UserDefault::getInstance();
    store->setIntegerForKey("n", 5);
    EXPECT_TRUE(store->getBoolForKey("n"));
    EXPECT_EQ(store->getStringForKey("n"), "5");
    store->setIntegerForKey("zero", 0);
    EXPECT_FALSE(store->getBoolForKey("zero", true));
    store->setBoolForKey("b", true);
    EXPECT_EQ(store->getIntegerForKey("b"), 1);
    EXPECT_EQ(store->getStringForKey("b"), "1");
    store->setStringForKey("s", "12abc");
    EXPECT_EQ(store->getIntegerForKey("s"), 12);
    EXPECT_TRUE(store->getBoolForKey("s"));
    store->setStringForKey("yes", "YES");
    EXPECT_TRUE(store->getBoolForKey("yes"));
    store->setStringForKey("no", "false");
    EXPECT_FALSE(store->getBoolForKey("no", true));
    EXPECT_EQ(store->getIntegerForKey("no", 7), 0);
    store->setStringForKey("huge", "99999999999");
    EXPECT_EQ(store->getIntegerForKey("huge"), 2147483647);
}

TEST_F(UserDefaultTest, ADamagedStoreFileIsMovedAsideTheOwnersOnlyAndTheStoreStartsEmpty) {
    ASSERT_EQ(std::system(("mkdir -p '" + root_ + "/config/stargrid'").c_str()), 0);
    std::ofstream(storePath_) << "<plist><dict><key>a</key>";
    ASSERT_EQ(chmod(storePath_.c_str(), 0644), 0);  // as an older version may have left it
    testing::internal::CaptureStdout();
    UserDefault* store = UserDefault::getInstance();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("damaged"), std::string::npos);
    EXPECT_EQ(store->getIntegerForKey("a", 3), 3);
    EXPECT_EQ(read(storePath_ + ".damaged"), "<plist><dict><key>a</key>");
    struct stat aside {};
    ASSERT_EQ(stat((storePath_ + ".damaged").c_str(), &aside), 0);
    EXPECT_EQ(aside.st_mode & 0777, 0600u);
}

TEST_F(UserDefaultTest, WhiteSpaceStringsAndKeysSurviveASave) {
    UserDefault* store = UserDefault::getInstance();
    store->setStringForKey("", "empty key");
    store->setStringForKey(" ", "one space");
    store->setStringForKey("blank", "   ");
    store->setStringForKey("tab", "\t");
    store->setStringForKey("newline", "\n");
    UserDefault::destroyInstance();

    store = UserDefault::getInstance();
    EXPECT_EQ(store->getStringForKey(""), "empty key");
    EXPECT_EQ(store->getStringForKey(" "), "one space");
    EXPECT_EQ(store->getStringForKey("blank"), "   ");
    EXPECT_EQ(store->getStringForKey("tab"), "\t");
    EXPECT_EQ(store->getStringForKey("newline"), "\n");
}

TEST_F(UserDefaultTest, AStringHoldingNulIsRefusedAtSet) {
    UserDefault* store = UserDefault::getInstance();
    store->setStringForKey("name", "kept");
    testing::internal::CaptureStdout();
    store->setStringForKey("name", std::string("a\0b", 3));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("NUL"), std::string::npos);
    EXPECT_EQ(store->getStringForKey("name"), "kept");
    store->flush();
    EXPECT_EQ(read(storePath_).find("&#x0;"), std::string::npos);
}

TEST_F(UserDefaultTest, OneUnreadableValueSkipsOnlyItsKey) {
    ASSERT_EQ(std::system(("mkdir -p '" + root_ + "/config/stargrid'").c_str()), 0);
    std::ofstream(storePath_) << "<plist><dict><key>bad</key><integer>12a</integer>"
                                 "<key>good</key><integer>7</integer></dict></plist>";
    testing::internal::CaptureStdout();
    UserDefault* store = UserDefault::getInstance();
    EXPECT_NE(testing::internal::GetCapturedStdout().find("bad integer '12a'"), std::string::npos);
    EXPECT_EQ(store->getIntegerForKey("good"), 7);
    EXPECT_EQ(store->getIntegerForKey("bad", -1), -1);
    EXPECT_FALSE(exists(storePath_ + ".damaged"));
}

TEST_F(UserDefaultTest, ASecondDamagedStoreNeverReplacesTheFirstCopy) {
    ASSERT_EQ(std::system(("mkdir -p '" + root_ + "/config/stargrid'").c_str()), 0);
    for (const char* damage : {"first", "second", "third"}) {
        std::ofstream(storePath_) << damage;
        testing::internal::CaptureStdout();
        PreferencesStoreLinux store(storePath_);
        testing::internal::GetCapturedStdout();
    }
    EXPECT_EQ(read(storePath_ + ".damaged"), "first");
    EXPECT_EQ(read(storePath_ + ".damaged.1"), "second");
    EXPECT_EQ(read(storePath_ + ".damaged.2"), "third");
    EXPECT_FALSE(exists(storePath_));
}

TEST_F(UserDefaultTest, AStoreFileThatCannotBeReadIsNeverReplaced) {
    // A directory where the file should be: it opens, but reading it fails.
    ASSERT_EQ(std::system(("mkdir -p '" + storePath_ + "'").c_str()), 0);
    testing::internal::CaptureStdout();
    PreferencesStoreLinux store(storePath_);
    store.setInteger("a", 1);
    EXPECT_FALSE(store.flushPending());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("cannot read"), std::string::npos);
    struct stat info {};
    ASSERT_EQ(::stat(storePath_.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_FALSE(exists(storePath_ + ".damaged"));
}

TEST_F(UserDefaultTest, AFailedSaveIsReportedAndRetried) {
    // A file where the configuration directory should be.
    std::ofstream(root_ + "/blocked") << "x";
    PreferencesStoreLinux store(root_ + "/blocked/stargrid/UserDefaults.plist");
    store.setInteger("a", 1);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(store.flushPending());
    EXPECT_FALSE(store.flushPending());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("cannot save"), std::string::npos);
    EXPECT_EQ(out.find("cannot save"), out.rfind("cannot save"));  // logged once
    EXPECT_TRUE(store.hasPendingChanges());

    PreferencesStoreLinux movable(root_ + "/later/UserDefaults.plist");
    movable.setInteger("a", 1);
    EXPECT_TRUE(movable.flushPending());
    EXPECT_FALSE(movable.hasPendingChanges());
}

}  // namespace
}  // namespace kite
