// Small user-defaults stores: values survive a reload, a damaged file is set aside, one out of reach is kept.
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/AppNotifications.h"
#include "platform/UserFolders.h"
#include "support/ForkedRun.h"
#include "support/TemporaryFolder.h"

namespace {

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
        setenv("XDG_DATA_HOME", (data_.path() + "/fresh/share").c_str(), 1);
    }
    kite::test::TemporaryFolder folder_{"defaults"};
    kite::test::TemporaryFolder data_{"defaults-data"};
};

TEST_F(UserDefaultsTest, ValuesAreSavedAtOnceAndReadBack) {
    platform::UserDefaults& defaults = platform::UserDefaults::named("test-store");
    EXPECT_EQ(defaults.integer("count"), 0);
    ASSERT_TRUE(defaults.set("count", platform::PlistValue::integer(7)));
    ASSERT_TRUE(defaults.set("name", "seven"));
    defaults.reload();
    EXPECT_EQ(defaults.integer("count"), 7);
    EXPECT_EQ(*defaults.value("name")->asString(), "seven");
    EXPECT_EQ(defaults.integer("name"), 0);  // not an integer
    ASSERT_TRUE(defaults.remove("name"));
    defaults.reload();
    EXPECT_FALSE(defaults.value("name"));
}

TEST_F(UserDefaultsTest, TheStoreAndItsFolderAreTheOwnersOnly) {
    // As an older version left them: open to others.
    const std::string folder = folder_.path() + "/stargrid";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    std::ofstream(folder + "/pigeon-defaults.plist") << "<plist><dict/></plist>";
    ASSERT_EQ(::chmod((folder + "/pigeon-defaults.plist").c_str(), 0644), 0);

    platform::UserDefaults& defaults = platform::UserDefaults::named("pigeon-defaults");
    defaults.reload();
    ASSERT_TRUE(defaults.set("OpenUDID", "0123456789abcdef0123456789abcdef01234567"));
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat((folder + "/pigeon-defaults.plist").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(platform::documentsFolder(), std::string(std::getenv("XDG_DATA_HOME")) + "/stargrid");
    for (const char* made : {"/fresh", "/fresh/share", "/fresh/share/stargrid"}) {
        ASSERT_EQ(::stat((data_.path() + made).c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_mode & 0777, 0700u) << made;
    }
}

TEST_F(UserDefaultsTest, EveryDamagedStoreIsSetAsideInACopyOfItsOwnAndTheStoreStartsEmpty) {
    const std::string path = platform::configFolder() + "/damaged-store.plist";
    platform::UserDefaults& defaults = platform::UserDefaults::named("damaged-store");
    const std::string large =
        "<plist><dict><key>big</key><string>" + std::string(1u << 20, 'x') + "</string></dict></plist>";
    const std::string damages[] = {"<plist><dict><key>a</key>", "<plist><array/></plist>", large};
    for (const std::string& damage : damages) {
        std::ofstream(path) << damage;
        defaults.reload();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(defaults.value("a"));
        EXPECT_FALSE(defaults.value("big"));
        ASSERT_TRUE(defaults.set("a", platform::PlistValue::integer(1)));
        testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(kite::test::readWholeFile(path + ".damaged"), damages[0]);
    EXPECT_EQ(kite::test::readWholeFile(path + ".damaged.1"), damages[1]);
    EXPECT_TRUE(kite::test::readWholeFile(path + ".damaged.2") == large) << "past 1 MiB: set aside, not read";
    defaults.reload();
    EXPECT_EQ(defaults.integer("a"), 1);
}

TEST_F(UserDefaultsTest, AStoreThatCannotBeReadOrSetAsideIsLeftAsItIsAndSetsFail) {
    const std::string folder = platform::configFolder();
    const std::string path = folder + "/kept-store.plist";
    const std::string stored = "<plist><dict><key>OpenUDID</key><string>device</string></dict></plist>";
    platform::UserDefaults& defaults = platform::UserDefaults::named("kept-store");
    auto isA = [&path](mode_t type) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 && (info.st_mode & S_IFMT) == type;
    };
    auto holds = [&path](const std::string& bytes) {
        ::chmod(path.c_str(), 0600);
        return kite::test::readWholeFile(path) == bytes;
    };
    struct Case {
        const char* name;
        std::function<void()> make;
        std::string line;
        std::function<bool()> intact;
    };
    const Case cases[] = {
        {"unreadable",
         [&] {
             std::ofstream(path) << stored;
             ::chmod(path.c_str(), 0);
         },
         "cannot read " + path + ": Permission denied; it is left as it is and nothing is saved to it",
         [&] { return holds(stored); }},
        {"a FIFO", [&] { ::mkfifo(path.c_str(), 0600); },
         "cannot read " + path + ": not a regular file (a FIFO); it is left as it is and nothing is saved to it",
         [&] { return isA(S_IFIFO); }},
        {"a folder", [&] { ::mkdir(path.c_str(), 0700); },
         "cannot read " + path + ": a folder; it is left as it is and nothing is saved to it",
         [&] { return isA(S_IFDIR); }},
        {"damaged after 100 copies",
         [&] {
             std::ofstream(path) << "<plist><array/></plist>";
             std::ofstream(path + ".damaged") << "0";
             for (int copy = 1; copy < 100; ++copy) std::ofstream(path + ".damaged." + std::to_string(copy)) << copy;
         },
         path + " is damaged (not a dictionary) and cannot be set aside (File exists); it is left as it is and "
                "nothing is saved to it",
         [&] { return holds("<plist><array/></plist>") && !std::filesystem::exists(path + ".damaged.100"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        ASSERT_TRUE(std::filesystem::create_directories(folder));
        c.make();
        const kite::test::ForkedOutcome outcome = kite::test::runForked([&defaults] {
            kite::test::ModesBind modes;
            defaults.reload();
            const bool read = defaults.value("OpenUDID").has_value();
            const bool set = defaults.set("OpenUDID", "replaced");
            const bool removed = defaults.remove("OpenUDID");
            return modes.bound() && !read && !set && !removed ? 0 : 1;
        });
        EXPECT_TRUE(outcome.exited) << "blocked";
        EXPECT_EQ(outcome.status, 0) << "read, saved or removed";
        EXPECT_EQ(outcome.output, "UserDefaults: " + c.line + "\n");
        EXPECT_TRUE(c.intact()) << "replaced or moved";
    }
}

TEST_F(UserDefaultsTest, AValueItsLoaderWouldRefuseIsNeitherSavedNorKept) {
    platform::UserDefaults& defaults = platform::UserDefaults::named("limited-store");
    ASSERT_TRUE(defaults.set("count", platform::PlistValue::integer(7)));
    // With the store's dictionary, one value past what its loader takes.
    const platform::PlistValue tooMany(platform::PlistValue::Array(65535, platform::PlistValue::integer(1)));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(defaults.set("count", tooMany));
    EXPECT_FALSE(defaults.set("more", tooMany));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("UserDefaults: cannot save " + platform::configFolder() +
                       "/limited-store.plist: more values than allowed"),
              std::string::npos)
        << log;
    EXPECT_EQ(defaults.integer("count"), 7);
    EXPECT_FALSE(defaults.value("more"));
    defaults.reload();
    EXPECT_EQ(defaults.integer("count"), 7);
}

TEST_F(UserDefaultsTest, AKeyOrTextThatIsNotUtf8IsNeitherSavedNorKept) {
    using platform::PlistValue;
    platform::UserDefaults& defaults = platform::UserDefaults::named("text-store");
    ASSERT_TRUE(defaults.set("name", "kept"));
    const std::string path = platform::configFolder() + "/text-store.plist";
    const std::string saved = kite::test::readWholeFile(path);
    struct Case {
        const char* key;
        PlistValue value;
        const char* reason;
    };
    const Case cases[] = {
        {"name", PlistValue("cut \xe6\x98"), "a string that is not UTF-8"},
        {"bad \xff key", PlistValue("x"), "a key that is not UTF-8"},
        {"list", PlistValue(PlistValue::Array{PlistValue("ok"), PlistValue("\xc0\xaf")}), "a string that is not UTF-8"},
        {"map", PlistValue(PlistValue::Dictionary{{"\xed\xa0\x80", PlistValue::integer(1)}}),
         "a key that is not UTF-8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(defaults.set(c.key, c.value));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "UserDefaults: cannot save " + path + ": " + c.reason + "\n");
        EXPECT_EQ(kite::test::readWholeFile(path), saved);
    }
    EXPECT_EQ(*defaults.value("name")->asString(), "kept");
    for (const char* key : {"bad \xff key", "list", "map"}) EXPECT_FALSE(defaults.value(key)) << key;
    defaults.reload();
    EXPECT_EQ(*defaults.value("name")->asString(), "kept");
}

TEST_F(UserDefaultsTest, AnOpenStoreIsNarrowedToItsOwnerWhenRead) {
    const std::string folder = folder_.path() + "/stargrid";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string path = folder + "/read-store.plist";
    std::ofstream(path) << "<plist><dict><key>a</key><integer>3</integer></dict></plist>";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);  // as an older version may have left it
    platform::UserDefaults& defaults = platform::UserDefaults::named("read-store");
    EXPECT_EQ(defaults.integer("a"), 3);  // a run that only reads
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(UserDefaultsTest, AStoreThatIsALinkIsReadAndItsTargetsModeLeftAlone) {
    const std::string folder = folder_.path() + "/stargrid";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string target = folder_.path() + "/elsewhere.plist";
    std::ofstream(target) << "<plist><dict><key>a</key><integer>3</integer></dict></plist>";
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(target.c_str(), (folder + "/linked-store.plist").c_str()), 0);
    platform::UserDefaults& defaults = platform::UserDefaults::named("linked-store");
    EXPECT_EQ(defaults.integer("a"), 3);
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST(AppNotifications, ObserversOfANameAreCalledInOrderUntilRemoved) {
    std::vector<int> calls;
    const auto first =
        platform::addAppObserver(platform::AppNotification::DidEnterBackground, [&] { calls.push_back(1); });
    const auto second =
        platform::addAppObserver(platform::AppNotification::DidEnterBackground, [&] { calls.push_back(2); });
    const auto other = platform::addAppObserver(platform::AppNotification::WillTerminate, [&] { calls.push_back(3); });
    platform::postAppNotification(platform::AppNotification::DidEnterBackground);
    platform::removeAppObserver(first);
    platform::postAppNotification(platform::AppNotification::DidEnterBackground);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 2}));
    platform::removeAppObserver(second);
    platform::removeAppObserver(other);
}

}  // namespace
