// The legacy "UserDefault.xml": it never overrides the store, a rewrite that fails loses nothing and
// is said once, and only a regular file within its limit is read.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "UserDefaultTestSupport.h"
#include "support/ForkedRun.h"

namespace kite {
namespace {

class UserDefaultLegacyTest : public test::UserDefaultFixture {
protected:
    // Runs the step in a child whose log lines come with its output; with the legacy folder closed to
    // writing, which binds the child though the tests run as root.
    test::ForkedOutcome inChildWithTheLegacyFolderClosed(const std::function<int()>& step) {
        const std::string folder = root_ + "/cache/stargrid";
        EXPECT_EQ(::chmod(folder.c_str(), 0500), 0);
        test::ForkedOutcome outcome = test::runForked([&step] {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
            test::ModesBind modes;
            return modes.bound() ? step() : 99;
        });
        ::chmod(folder.c_str(), 0700);
        return outcome;
    }
};

TEST_F(UserDefaultLegacyTest, AKeyTheStoreHoldsIsNeverTakenFromTheLegacyFileThoughItCannotBeRewritten) {
    UserDefault::getInstance()->setIntegerForKey("diamond", 20);
    UserDefault::destroyInstance();
    writeLegacy("<diamond>5</diamond><other>x</other>");
    const std::string legacy = read(legacyPath_);

    const test::ForkedOutcome outcome = inChildWithTheLegacyFolderClosed([] {
        UserDefault* store = UserDefault::getInstance();
        // A purchase, as the shop credits it: read, add, store; read again as the top bar does.
        store->setIntegerForKey("diamond", store->getIntegerForKey("diamond") + 140);
        int seen = 0;
        for (int read = 0; read < 10; ++read) seen = store->getIntegerForKey("diamond");
        store->flush();
        return seen == 160 ? 0 : 1;
    });
    ASSERT_NE(outcome.status, 99) << "file modes do not bind this test";
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(onDisk().at("diamond"), Value(160));
    EXPECT_EQ(read(legacyPath_), legacy);  // nothing lost from it either
    EXPECT_EQ(count(outcome.output, "UserDefault: cannot rewrite " + legacyPath_ + ": Permission denied"), 1u)
        << outcome.output;
    EXPECT_EQ(count(outcome.output, "cannot rewrite"), 1u) << outcome.output;
}

TEST_F(UserDefaultLegacyTest, AKeyMovedFromTheLegacyFileIsRecordedAndNeverTakenAgain) {
    writeLegacy("<level>7</level><other>x</other>");
    const std::string legacy = read(legacyPath_);
    const test::ForkedOutcome outcome = inChildWithTheLegacyFolderClosed([] {
        UserDefault* store = UserDefault::getInstance();
        int seen = 0;
        for (int read = 0; read < 10; ++read) seen = store->getIntegerForKey("level");
        return seen == 7 ? 0 : 1;
    });
    ASSERT_NE(outcome.status, 99) << "file modes do not bind this test";
    EXPECT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(onDisk().at("level"), Value(7));
    EXPECT_EQ(read(legacyPath_), legacy);
    EXPECT_EQ(count(outcome.output, "cannot rewrite"), 1u) << outcome.output;

    // The store lost its value since (a value that could not be read is skipped at load): the record
    // of the move keeps the older legacy value out all the same.
    ValueMap values = onDisk();
    values.erase("level");
    ASSERT_TRUE(platform::writeFileAtomically(storePath_, PropertyList::serialize(values)));
    EXPECT_EQ(UserDefault::getInstance()->getIntegerForKey("level", 3), 3);
    EXPECT_EQ(read(legacyPath_), legacy);
}

TEST_F(UserDefaultLegacyTest, OnlyARegularLegacyFileWithinItsLimitIsReadAndEachProblemIsSaidOnceNamingIt) {
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        std::string reason;
    };
    const Case cases[] = {
        {"a FIFO", [](const std::string& path) { ::mkfifo(path.c_str(), 0600); }, "not a regular file (a FIFO)"},
        {"a folder", [](const std::string& path) { ::mkdir(path.c_str(), 0700); }, "a folder"},
        {"past its limit",
         [](const std::string& path) {
             std::ofstream(path) << "<?xml version=\"1.0\"?>\n<userDefaultRoot><level>7</level><pad>"
                                 << std::string(2u << 20, 'p') << "</pad></userDefaultRoot>\n";
         },
         "larger than 1 MiB"},
        {"empty", [](const std::string& path) { std::ofstream{path}; }, "it is empty"},
        {"not XML", [](const std::string& path) { std::ofstream(path) << "<<<not xml"; }, "read root node error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeLegacy("");
        ::unlink(legacyPath_.c_str());
        c.make(legacyPath_);
        const test::ForkedOutcome outcome = test::runForked([] {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
            int seen = 0;
            for (int read = 0; read < 5; ++read) seen += UserDefault::getInstance()->getIntegerForKey("level", 1);
            return seen == 5 ? 0 : 1;
        });
        EXPECT_TRUE(outcome.exited) << "stopped on the legacy file: " << outcome.output;
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        EXPECT_EQ(count(outcome.output, legacyPath_), 1u) << outcome.output;
        EXPECT_NE(outcome.output.find(c.reason), std::string::npos) << outcome.output;
        struct stat info {};
        EXPECT_EQ(::lstat(legacyPath_.c_str(), &info), 0) << "left where it was";
        std::filesystem::remove_all(legacyPath_);
    }
}

}  // namespace
}  // namespace kite
