#include "platform/StoredFile.h"

#include "support/ForkedRun.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace platform {
namespace {

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

struct ReadOutcome {
    StoredFileRead result;
    int error;
    std::string reason;
    std::string bytes;
};

// Reads in a child process, so a read that blocks fails the test instead of stopping it.
ReadOutcome readInChild(const std::string& path) {
    const kite::test::ForkedOutcome child = kite::test::runForked([&path] {
        std::string bytes, reason;
        const StoredFileRead result = readStoredFile(path, bytes, 1 << 16, &reason);
        const int error = errno;
        std::fprintf(stderr, "%d\n%d\n%s\n%s", static_cast<int>(result), error, reason.c_str(), bytes.c_str());
        return 0;
    });
    if (!child.exited) return {StoredFileRead::Read, -1, "the read blocked until the child was ended", ""};
    const std::string& report = child.output;
    ReadOutcome outcome{};
    std::size_t first = report.find('\n'), second = report.find('\n', first + 1), third = report.find('\n', second + 1);
    outcome.result = static_cast<StoredFileRead>(std::stoi(report.substr(0, first)));
    outcome.error = std::stoi(report.substr(first + 1, second - first - 1));
    outcome.reason = report.substr(second + 1, third - second - 1);
    outcome.bytes = report.substr(third + 1);
    return outcome;
}

class StoredFileTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.made()); }
    void TearDown() override { refuseHardLinksForTesting(0); }
    std::string at(const std::string& name) const { return folder.path() + "/" + name; }

    kite::test::TemporaryFolder folder{"stargrid-stored"};
};

TEST_F(StoredFileTest, OnlyARegularFileIsReadAndAnythingElseIsNamedWithoutWaiting) {
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(at("folder").c_str(), 0700), 0);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", at("socket").c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    folder.put("file", "stored bytes");
    ASSERT_EQ(::symlink(at("file").c_str(), at("link").c_str()), 0);

    struct Case {
        const char* name;
        StoredFileRead result;
        int error;
        std::string reason;
        std::string bytes;
    };
    const Case cases[] = {
        {"fifo", StoredFileRead::Failed, EINVAL, "not a regular file (a FIFO)", ""},
        {"folder", StoredFileRead::Failed, EISDIR, "a folder", ""},
        {"socket", StoredFileRead::Failed, EINVAL, "not a regular file (a socket)", ""},
        {"file", StoredFileRead::Read, -1, "", "stored bytes"},
        {"link", StoredFileRead::Read, -1, "", "stored bytes"},  // a link to a regular file is read
        {"missing", StoredFileRead::Missing, -1, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReadOutcome outcome = readInChild(at(c.name));
        EXPECT_EQ(outcome.result, c.result) << outcome.reason;
        EXPECT_EQ(outcome.reason, c.reason);
        EXPECT_EQ(outcome.bytes, c.bytes);
        if (c.error >= 0) {
            EXPECT_EQ(outcome.error, c.error);
        }
    }
    ::close(listener);

    // A device is not read either, however much it would give.
    std::string bytes, reason;
    EXPECT_EQ(readStoredFile("/dev/zero", bytes, 1 << 16, &reason), StoredFileRead::Failed);
    EXPECT_EQ(reason, "not a regular file (a device)");
    EXPECT_TRUE(bytes.empty());
}

TEST_F(StoredFileTest, AFileLargerThanTheLimitIsReadOnlyToOneBytePastIt) {
    const std::string large = folder.put("large", std::string(100000, 'x'));
    std::string bytes;
    EXPECT_EQ(readStoredFile(large, bytes, 10), StoredFileRead::Read);
    EXPECT_EQ(bytes.size(), 11u);
    bytes.clear();
    EXPECT_EQ(readStoredFile(large, bytes, 100000), StoredFileRead::Read);
    EXPECT_EQ(bytes.size(), 100000u);
}

TEST_F(StoredFileTest, ModesAreNarrowedOnlyOnRegularFilesAndFoldersAndNeverThroughALink) {
    const std::string target = folder.put("target", "someone else's");
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(target.c_str(), at("link").c_str()), 0);
    EXPECT_TRUE(narrowMode(at("link"), 0600));
    EXPECT_EQ(modeOf(target), 0644u) << "changed through the link";

    EXPECT_TRUE(narrowMode(target, 0600));
    EXPECT_EQ(modeOf(target), 0600u);

    ASSERT_EQ(::mkdir(at("kept").c_str(), 0500), 0);
    EXPECT_TRUE(narrowMode(at("kept"), 0700));
    EXPECT_EQ(modeOf(at("kept")), 0500u) << "bits are only taken, never given";
    ASSERT_EQ(::mkdir(at("open").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(at("open").c_str(), 0777), 0);
    EXPECT_TRUE(narrowMode(at("open"), 0700));
    EXPECT_EQ(modeOf(at("open")), 0700u);

    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(at("fifo").c_str(), 0666), 0);
    EXPECT_TRUE(narrowMode(at("fifo"), 0600));
    EXPECT_EQ(modeOf(at("fifo")), 0666u);
}

TEST_F(StoredFileTest, ADamagedFileIsSetAsideWhereHardLinksAreMissingWithoutReplacingACopy) {
    struct Setup {
        const char* name;
        int linkError;
        int renameError;
    };
    // No hard links (FAT, exFAT, some FUSE folders): a rename that refuses to replace, or, where
    // that is not there either, a rename made once the name is seen free.
    const Setup setups[] = {{"EPERM", EPERM, 0},
                            {"EOPNOTSUPP", EOPNOTSUPP, 0},
                            {"EXDEV", EXDEV, 0},
                            {"EMLINK", EMLINK, 0},
                            {"no renameat2", EPERM, EINVAL}};
    for (const Setup& setup : setups) {
        SCOPED_TRACE(setup.name);
        refuseHardLinksForTesting(setup.linkError, setup.renameError);
        const std::string store = folder.put(std::string("store-") + setup.name, "first");
        ASSERT_EQ(::chmod(store.c_str(), 0644), 0);
        EXPECT_EQ(setDamagedFileAside(store), store + ".damaged");
        folder.put(std::string("store-") + setup.name, "second");
        EXPECT_EQ(setDamagedFileAside(store), store + ".damaged.1");
        EXPECT_FALSE(exists(store));
        EXPECT_EQ(kite::test::readWholeFile(store + ".damaged"), "first");
        EXPECT_EQ(kite::test::readWholeFile(store + ".damaged.1"), "second");
        EXPECT_EQ(modeOf(store + ".damaged"), 0600u);
    }
}

TEST_F(StoredFileTest, AfterAHundredCopiesTheFileIsKeptAndFailureReported) {
    for (const int linkError : {0, EPERM}) {
        SCOPED_TRACE(linkError);
        refuseHardLinksForTesting(linkError);
        const std::string store = folder.put("store" + std::to_string(linkError), "the hundred and first");
        folder.put("store" + std::to_string(linkError) + ".damaged", "0");
        for (int copy = 1; copy < 100; ++copy)
            folder.put("store" + std::to_string(linkError) + ".damaged." + std::to_string(copy), std::to_string(copy));
        errno = 0;
        EXPECT_EQ(setDamagedFileAside(store), std::nullopt);
        EXPECT_EQ(errno, EEXIST);
        EXPECT_EQ(kite::test::readWholeFile(store), "the hundred and first");
        EXPECT_EQ(kite::test::readWholeFile(store + ".damaged.99"), "99");
    }
}

TEST_F(StoredFileTest, ALinkSetAsideMovesTheLinkAndLeavesItsTargetAlone) {
    const std::string target = folder.put("target", "not ours");
    ASSERT_EQ(::chmod(target.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(target.c_str(), at("store").c_str()), 0);
    EXPECT_EQ(setDamagedFileAside(at("store")), at("store.damaged"));
    EXPECT_EQ(modeOf(target), 0644u);
    EXPECT_EQ(kite::test::readWholeFile(target), "not ours");
}

}  // namespace
}  // namespace platform
