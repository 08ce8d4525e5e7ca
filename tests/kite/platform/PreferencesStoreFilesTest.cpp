// The preferences store's file as it may be found: not a regular file, past its limit, damaged where it
// cannot be set aside, a link; and saves that fail on a full disk, said once and made when room comes back.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UserDefaultTestSupport.h"
#include "kite/platform/PreferencesStoreLinux.h"
#include "support/ForkedRun.h"
#include "support/SmallDisk.h"

namespace kite {
namespace {

class PreferencesStoreFilesTest : public test::UserDefaultFixture {
protected:
    void SetUp() override {
        UserDefaultFixture::SetUp();
        ASSERT_EQ(std::system(("mkdir -p '" + root_ + "/config/stargrid'").c_str()), 0);
    }
    static unsigned modeOf(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
    }
    // A store on the file, set and saved in a child (a FIFO must not stop the test); its log lines.
    static test::ForkedOutcome setAndSave(const std::string& path, const std::string& value) {
        return test::runForked([&] {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
            PreferencesStoreLinux store(path);
            store.setString("name", value);
            return store.flushPending() ? 0 : 1;
        });
    }
};

TEST_F(PreferencesStoreFilesTest, AStoreThatIsNotARegularFileIsLeftAsItIsWithItsReason) {
    ASSERT_EQ(::mkfifo(storePath_.c_str(), 0600), 0);
    const test::ForkedOutcome outcome = setAndSave(storePath_, "x");
    ASSERT_TRUE(outcome.exited) << "stopped on the FIFO";
    EXPECT_EQ(outcome.status, 1) << "nothing is saved over it";
    EXPECT_NE(outcome.output.find("UserDefault: cannot read " + storePath_ + ": not a regular file (a FIFO)"),
              std::string::npos)
        << outcome.output;
    struct stat info {};
    ASSERT_EQ(::lstat(storePath_.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST_F(PreferencesStoreFilesTest, AStorePastItsLimitIsSetAsideUnreadAndNoSaveGrowsPastIt) {
    const std::string huge = "<plist><dict><key>name</key><string>" + std::string(2u << 20, 'n') +
                             "</string><key>level</key><integer>4</integer></dict></plist>";
    std::ofstream(storePath_) << huge;
    testing::internal::CaptureStdout();
    {
        PreferencesStoreLinux store(storePath_);
        int level = 0;
        EXPECT_FALSE(store.getInteger("level", level));
        store.setInteger("level", 5);
        EXPECT_TRUE(store.flushPending());
        store.setString("name", std::string(2u << 20, 'm'));
        EXPECT_FALSE(store.flushPending());
    }
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(storePath_ + " is larger than 1 MiB; moved to " + storePath_ + ".damaged"), std::string::npos)
        << out;
    EXPECT_NE(out.find("cannot save " + storePath_ + ": File too large"), std::string::npos) << out;
    EXPECT_TRUE(read(storePath_ + ".damaged") == huge) << "the set-aside copy holds the file as it was";
    EXPECT_EQ(onDisk().at("level"), Value(5));  // the last save that fitted
    EXPECT_EQ(onDisk().count("name"), 0u);
}

TEST_F(PreferencesStoreFilesTest, ADamagedStoreThatCannotBeSetAsideIsNeverSavedOver) {
    const std::string damaged = "<plist><dict><key>a</key>";
    struct Case {
        const char* name;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"100 copies already",
         [this] {
             for (int copy = 0; copy < 100; ++copy)
                 std::ofstream(storePath_ + ".damaged" + (copy ? "." + std::to_string(copy) : std::string()));
         }},
        {"no hard links and no rename that refuses to replace",
         [] { platform::refuseHardLinksForTesting(EPERM, EPERM); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(storePath_) << damaged;
        c.make();
        const test::ForkedOutcome outcome = setAndSave(storePath_, "x");
        platform::refuseHardLinksForTesting(0);
        EXPECT_EQ(outcome.status, 1) << outcome.output;
        EXPECT_NE(outcome.output.find(storePath_ + " is damaged and cannot be set aside"), std::string::npos)
            << outcome.output;
        EXPECT_EQ(read(storePath_), damaged);
        ASSERT_EQ(std::system(("rm -f '" + storePath_ + "'*").c_str()), 0);
    }
    // Where only hard links are missing, it is set aside all the same.
    std::ofstream(storePath_) << damaged;
    platform::refuseHardLinksForTesting(EPERM);
    const test::ForkedOutcome outcome = setAndSave(storePath_, "x");
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(read(storePath_ + ".damaged"), damaged);
}

TEST_F(PreferencesStoreFilesTest, ModesAreNarrowedOnlyOnTheStoresOwnFileAndFolderNeverThroughALink) {
    const std::string target = root_ + "/elsewhere.plist";
    std::ofstream(target) << "<plist><dict><key>level</key><integer>4</integer></dict></plist>";
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(target.c_str(), storePath_.c_str()), 0);
    const std::string folder = root_ + "/shared-cache";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((root_ + "/cache").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(folder.c_str(), (root_ + "/cache/stargrid").c_str()), 0);

    EXPECT_EQ(UserDefault::getInstance()->getIntegerForKey("level"), 4);  // read through the link
    UserDefault::destroyInstance();
    EXPECT_EQ(modeOf(target), 0644u);
    EXPECT_EQ(modeOf(folder), 0755u);
}

TEST_F(PreferencesStoreFilesTest, SavesThatFailOnAFullDiskAreReportedOnceAndMadeWhenRoomComesBack) {
    const std::string config = root_ + "/config";
    const test::ForkedOutcome outcome = test::runForked([&] {
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        if (!test::SmallDisk::mount(config)) return 98;
        test::SmallDisk disk(config);
        if (!disk.fill()) return 97;
        std::vector<std::string> reports;
        UserDefault::setSaveStateListener([&reports](bool saved, const std::string& reason) {
            reports.push_back(saved ? "saved" : "not saved: " + reason);
        });
        UserDefault* store = UserDefault::getInstance();
        for (int frame = 0; frame < 10; ++frame) {  // a score at every frame, saved at its end
            store->setIntegerForKey("currentScore", frame);
            UserDefault::saveIfDirty();
        }
        const bool savedWhileFull = store->flush();
        disk.makeRoom();
        UserDefault::saveIfDirty();
        const bool savedWithRoom = store->flush();
        for (const std::string& report : reports) std::fprintf(stderr, "report: %s\n", report.c_str());
        return !savedWhileFull && savedWithRoom ? 0 : 1;
    });
    ASSERT_NE(outcome.status, 98) << "no file system of its own can be mounted here";
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    const std::string reports = "report: not saved: No space left on device\nreport: saved\n";
    EXPECT_NE(outcome.output.find(reports), std::string::npos) << outcome.output;
    EXPECT_EQ(count(outcome.output, "report:"), 2u) << "once each";
    EXPECT_EQ(count(outcome.output, "cannot save"), 1u) << outcome.output;
    EXPECT_NE(outcome.output.find("UserDefault: " + storePath_ + " is saved again"), std::string::npos);
}

TEST_F(PreferencesStoreFilesTest, AStoreThatCannotBeReadReportsItsChangesUnsavedOnce) {
    ASSERT_EQ(::mkdir(storePath_.c_str(), 0700), 0);
    std::vector<std::string> reports;
    UserDefault::setSaveStateListener([&reports](bool saved, const std::string& reason) {
        reports.push_back(saved ? "saved" : "not saved: " + reason);
    });
    testing::internal::CaptureStdout();
    UserDefault* store = UserDefault::getInstance();
    for (int frame = 0; frame < 5; ++frame) {
        store->setIntegerForKey("currentScore", frame);
        UserDefault::saveIfDirty();
    }
    EXPECT_FALSE(store->flush());
    UserDefault::destroyInstance();  // the last write is not reported
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(reports, std::vector<std::string>{"not saved: cannot read " + storePath_ + ": a folder"});
}

}  // namespace
}  // namespace kite
