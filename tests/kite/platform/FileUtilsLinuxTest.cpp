#include "kite/platform/FileUtilsLinux.h"

#include "kite/foundation/PropertyList.h"
#include "platform/UserFolders.h"
#include "support/BinaryPlistBuilder.h"
#include "support/ForkedRun.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace kite {
namespace {

// Runs the rest of a scope in another current directory.
class InDirectory {
public:
    explicit InDirectory(const std::string& path) : previous_(getcwd(nullptr, 0)) {
        EXPECT_EQ(chdir(path.c_str()), 0) << path;
    }
    ~InDirectory() {
        if (previous_ && chdir(previous_) != 0) ADD_FAILURE() << "cannot return to " << previous_;
        std::free(previous_);
    }
    InDirectory(const InDirectory&) = delete;
    InDirectory& operator=(const InDirectory&) = delete;

private:
    char* previous_;
};

class FileUtilsLinuxTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.made());
        bundle_ = root_ + "Resources/";
        ASSERT_EQ(mkdir(bundle_.c_str(), 0755), 0);
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "HOME"}) {
            const char* value = getenv(name);
            savedEnvironment_.emplace_back(name, value ? value : "");
        }
        setenv("XDG_DATA_HOME", (root_ + "data").c_str(), 1);
        files_->init();
    }
    void TearDown() override {
        FileUtils::destroyInstance();
        unsetenv("STARGRID_RESOURCES");
        for (const auto& [name, value] : savedEnvironment_) setenv(name.c_str(), value.c_str(), 1);
    }
    std::string put(const std::string& relative, const std::string& contents) {
        return folder_.put(relative, contents);
    }
    test::TemporaryFolder folder_{"fileutilslinux"};
    std::string root_ = folder_.path() + "/";
    std::string bundle_;
    std::vector<std::pair<std::string, std::string>> savedEnvironment_;
    std::unique_ptr<FileUtilsLinux> files_ = std::make_unique<FileUtilsLinux>(std::string());

    void useBundle() {
        files_ = std::make_unique<FileUtilsLinux>(bundle_);
        files_->init();
    }
};

TEST_F(FileUtilsLinuxTest, RelativeNamesAreLookedUpInTheBundle) {
    useBundle();
    std::string path = put("Resources/Font/NumberA.fnt", "font");
    EXPECT_EQ(files_->fullPathForFilename("Font/NumberA.fnt"), path);
    EXPECT_TRUE(files_->isFileExist("Font/NumberA.fnt"));
    EXPECT_FALSE(files_->isFileExist("Font/Missing.fnt"));
    EXPECT_FALSE(files_->isFileExist(""));
    EXPECT_EQ(files_->getStringFromFile("Font/NumberA.fnt"), "font");
}

TEST_F(FileUtilsLinuxTest, LookupOrderOverBundleAndAbsoluteSearchPathsWithTwoResolutions) {
    useBundle();
    put("Resources/ui/img/hd/b.png", "1");
    std::string sdInBundle = put("Resources/ui/img/sd/a.png", "2");
    std::string hdOutside = put("extra/img/hd/a.png", "3");
    std::string plainOutside = put("extra/img/c.png", "4");
    files_->setSearchPaths({"ui", root_ + "extra"});
    files_->setSearchResolutionsOrder({"hd", "sd"});
    EXPECT_EQ(files_->getSearchPaths(), (std::vector<std::string>{"ui/", root_ + "extra/", ""}));

    EXPECT_EQ(files_->fullPathForFilename("img/a.png"), sdInBundle);
    EXPECT_EQ(files_->fullPathForFilename("img/b.png"), bundle_ + "ui/img/hd/b.png");
    EXPECT_EQ(files_->fullPathForFilename("img/c.png"), plainOutside);
    std::remove(sdInBundle.c_str());
    EXPECT_EQ(files_->fullPathForFilename("img/a.png"), sdInBundle);  // cached
    files_->purgeCachedEntries();
    EXPECT_EQ(files_->fullPathForFilename("img/a.png"), hdOutside);
}

TEST_F(FileUtilsLinuxTest, RelativeDirectoriesAreFoundInTheBundleNotTheCurrentDirectory) {
    useBundle();
    put("Resources/fonts/hd/a.fnt", "x");
    put("cwd/elsewhere/b", "x");
    InDirectory cwd(root_ + "cwd");
    EXPECT_TRUE(files_->isDirectoryExist("fonts/"));
    EXPECT_FALSE(files_->isDirectoryExist("elsewhere/"));
    files_->setSearchResolutionsOrder({"hd/"});
    EXPECT_TRUE(files_->isDirectoryExist("fonts/"));
}

TEST_F(FileUtilsLinuxTest, CreatingARelativeDirectoryIsRefused) {
    useBundle();
    InDirectory cwd(root_);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(files_->createDirectory("made/here"));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("relative"), std::string::npos);
    struct stat st;
    EXPECT_NE(stat((root_ + "made").c_str(), &st), 0);
    EXPECT_NE(stat((bundle_ + "made").c_str(), &st), 0);
}

TEST_F(FileUtilsLinuxTest, TheSingletonTakesItsBundleFromTheEnvironment) {
    setenv("STARGRID_RESOURCES", bundle_.c_str(), 1);
    FileUtils::destroyInstance();
    auto* shared = dynamic_cast<FileUtilsLinux*>(FileUtils::getInstance());
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->getBundlePath(), bundle_);
    EXPECT_EQ(FileUtils::getInstance(), shared);
    EXPECT_EQ(shared->getSearchPaths(), std::vector<std::string>{""});
}

TEST_F(FileUtilsLinuxTest, AResourcesVariableNamingNoFolderIsLoggedWithTheReason) {
    put("not-a-folder", "x");
    test::LogCapture log;
    setenv("STARGRID_RESOURCES", (root_ + "missing").c_str(), 1);
    FileUtilsLinux missing;
    setenv("STARGRID_RESOURCES", (root_ + "not-a-folder").c_str(), 1);
    FileUtilsLinux file;
    setenv("STARGRID_RESOURCES", bundle_.c_str(), 1);
    FileUtilsLinux folder;
    EXPECT_EQ(missing.getBundlePath(), root_ + "missing/");
    EXPECT_EQ(folder.getBundlePath(), bundle_);
    EXPECT_EQ(
        log.lines(),
        (std::vector<std::string>{
            "FileUtils: STARGRID_RESOURCES names " + root_ + "missing which is not a folder: No such file or directory",
            "FileUtils: STARGRID_RESOURCES names " + root_ + "not-a-folder which is not a folder: Not a directory",
        }));
}

TEST_F(FileUtilsLinuxTest, TheWritablePathIsUnderTheXdgDataDirectoryUnlessOneIsSet) {
    std::string expected = root_ + "data/stargrid/";
    EXPECT_EQ(files_->getWritablePath(), expected);
    struct stat st;
    EXPECT_EQ(stat(expected.c_str(), &st), 0);
    files_->setWritablePath(root_ + "elsewhere/");
    EXPECT_EQ(files_->getWritablePath(), root_ + "elsewhere/");
    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    setenv("HOME", root_.c_str(), 1);
    EXPECT_EQ(FileUtilsLinux::userDataDirectory(), root_ + ".local/share/stargrid/");
}

TEST_F(FileUtilsLinuxTest, WhatTheGameWritesIsItsOwnersOnly) {
    // A writable folder an older version left open to others is narrowed.
    const std::string writable = root_ + "data/stargrid/";
    ASSERT_EQ(mkdir((root_ + "data").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(writable.c_str(), 0755), 0);
    EXPECT_EQ(files_->getWritablePath(), writable);
    struct stat st;
    ASSERT_EQ(stat(writable.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ASSERT_TRUE(files_->createDirectory(writable + "saves/slot/"));
    ASSERT_EQ(stat((writable + "saves").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(stat((writable + "saves/slot").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    ASSERT_TRUE(files_->writeToFile(ValueMap{{"a", Value(1)}}, writable + "saves/game.plist"));
    ASSERT_EQ(stat((writable + "saves/game.plist").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(FileUtilsLinuxTest, TheWritablePathIsNarrowedOnlyByTakingBitsAndNeverThroughALink) {
    const std::string writable = root_ + "data/stargrid/";
    ASSERT_EQ(mkdir((root_ + "data").c_str(), 0700), 0);
    ASSERT_EQ(mkdir(writable.c_str(), 0500), 0);
    EXPECT_EQ(files_->getWritablePath(), writable);
    struct stat st;
    ASSERT_EQ(stat(writable.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0500u) << "its owner closed it further";
    ASSERT_EQ(rmdir(writable.c_str()), 0);
    const std::string shared = root_ + "shared";
    ASSERT_EQ(mkdir(shared.c_str(), 0755), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0755), 0);
    ASSERT_EQ(symlink(shared.c_str(), (root_ + "data/stargrid").c_str()), 0);
    EXPECT_EQ(files_->getWritablePath(), "") << "a link in the game's folder's place is refused";
    ASSERT_EQ(stat(shared.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0755u) << "what a link points to is not the game's to change";
}

TEST_F(FileUtilsLinuxTest, AWritablePathThatCannotBeMadeIsSaidOnce) {
    const std::string file = put("data-file", "");
    setenv("XDG_DATA_HOME", file.c_str(), 1);
    testing::internal::CaptureStderr();
    for (int call = 0; call < 5; ++call) EXPECT_EQ(files_->getWritablePath(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "UserFolders: XDG_DATA_HOME names a file, not a folder: " + file + "\n");
}

TEST_F(FileUtilsLinuxTest, TheEnginesFoldersAreUnderTheSameHomeAsTheGamesOthers) {
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("XDG_DATA_HOME");
    for (const char* home : {"/", "//", "relative"}) {
        setenv("HOME", home, 1);
        const std::string expected = platform::homeFolder() + "/.config/stargrid/";
        EXPECT_NE(platform::homeFolder(), "") << home;
        EXPECT_EQ(FileUtilsLinux::userConfigDirectory(), expected) << home;
        EXPECT_EQ(FileUtilsLinux::userDataDirectory(), platform::homeFolder() + "/.local/share/stargrid/") << home;
    }
    // A user with neither HOME nor a passwd entry: nothing in a folder every user shares.
    if (getuid() != 0) GTEST_SKIP() << "switching to another user needs root";
    const test::ForkedOutcome run = test::runForked([this] {
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        if (setgid(54321) != 0 || setuid(54321) != 0) return 10;
        unsetenv("HOME");
        unsetenv("XDG_CACHE_HOME");
        unsetenv("XDG_DATA_HOME");
        const std::string config = FileUtilsLinux::userConfigDirectory();
        if (config.rfind("/tmp/", 0) == 0 || config.rfind("/.", 0) == 0) return 1;
        if (!files_->getWritablePath().empty()) return 3;
        return FileUtilsLinux::userCacheDirectory().rfind("/tmp/", 0) == 0 ? 2 : 0;
    });
    ASSERT_TRUE(run.exited);
    EXPECT_EQ(run.status, 0) << run.output;
    // What is missing is said, naming no folder the player never set.
    EXPECT_EQ(run.output,
              "UserFolders: no home folder (HOME and the passwd entry name none), and XDG_DATA_HOME is unset\n");
}

TEST_F(FileUtilsLinuxTest, PropertyListsAreWrittenAndReadBack) {
    ValueMap frames;
    frames["star.png"] = Value(ValueMap{{"rotated", Value(true)}, {"frame", Value("{{0,0},{32,32}}")}});
    ValueMap sheet{{"frames", Value(frames)}, {"format", Value(2)}, {"scale", Value(1.5)}};
    std::string path = root_ + "sheet.plist";
    ASSERT_TRUE(files_->writeToFile(sheet, path));
    ValueMap back = files_->getValueMapFromFile(path);
    EXPECT_EQ(Value(back), Value(sheet));
    EXPECT_TRUE(files_->getValueVectorFromFile(path).empty());  // a dictionary, not an array
}

TEST_F(FileUtilsLinuxTest, WritingAPropertyListReportsAFailedWrite) {
    testing::internal::CaptureStdout();
    EXPECT_FALSE(files_->writeToFile(ValueMap{{"a", Value(1)}}, root_ + "missing/dir/x.plist"));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("cannot write"), std::string::npos);
}

TEST_F(FileUtilsLinuxTest, ArraysAreReadAsValueVectors) {
    std::string path = put("list.plist", PropertyList::serialize(ValueVector{Value(1), Value("two")}));
    ValueVector list = files_->getValueVectorFromFile(path);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1], Value("two"));
    EXPECT_TRUE(files_->getValueMapFromFile(path).empty());
}

TEST_F(FileUtilsLinuxTest, ADamagedPropertyListGivesAnEmptyMapAndALogLine) {
    std::string path = put("broken.plist", "<plist><dict><key>a</key><integer>1");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(files_->getValueMapFromFile(path).empty());
    EXPECT_NE(testing::internal::GetCapturedStdout().find("broken.plist"), std::string::npos);
    EXPECT_TRUE(files_->getValueMapFromFile(root_ + "missing.plist").empty());
    EXPECT_TRUE(files_->getValueMapFromData(nullptr, 0).empty());
    std::string text = PropertyList::serialize(ValueMap{{"k", Value(false)}});
    EXPECT_EQ(files_->getValueMapFromData(text.data(), static_cast<int>(text.size())).at("k"), Value(false));
}

// A log line quotes a file's name with its control characters escaped: a newline cannot split the line, an
// escape sequence cannot reach the terminal.
TEST_F(FileUtilsLinuxTest, ALogLineQuotesAFileNameWithItsControlCharactersEscaped) {
    const std::string broken = put("broken\033[2J\n.plist", "<plist><dict><key>a</key><integer>1");
    const std::string list = put("list\033[2J.plist", "<plist><array/></plist>");
    test::LogCapture log;
    EXPECT_TRUE(files_->getValueMapFromFile(broken).empty());
    EXPECT_TRUE(files_->getValueMapFromFile(list).empty());
    const std::string text = log.text();
    EXPECT_NE(text.find("PropertyList: cannot parse " + root_ + "broken\\x1b[2J\\x0a.plist: "), std::string::npos)
        << text;
    EXPECT_NE(text.find("FileUtils: " + root_ + "list\\x1b[2J.plist is not a dictionary property list\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find('\033'), std::string::npos) << text;
}

using test::BinaryPlistBuilder;

std::string asText(const BinaryPlistBuilder::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// One value of every kind a binary list holds, as another program writes them.
struct EveryKind {
    std::vector<std::size_t> objects;
    BinaryPlistBuilder plist;
    EveryKind() {
        const std::size_t one = plist.integer(1);
        objects = {plist.ascii("star"),
                   plist.utf16(u"\u661f\u661f"),
                   one,
                   plist.integer(std::int64_t(1) << 40),
                   plist.boolean(true),
                   plist.boolean(false),
                   plist.real32(0.5f),
                   plist.real64(1.5),
                   plist.date(86400.0),
                   plist.data({1, 2, 3}),
                   plist.array({one, plist.date(0.0), plist.ascii("two")}),
                   plist.dictionary({plist.ascii("on")}, {plist.boolean(true)})};
    }
};

// What the kinds read as: dates and data have no Value, integers are 32 bits.
ValueVector everyKindAsValues() {
    return {Value("star"),
            Value("\u661f\u661f"),
            Value(1),
            Value(INT_MAX),
            Value(true),
            Value(false),
            Value(0.5f),
            Value(1.5),
            Value(ValueVector{Value(1), Value("two")}),
            Value(ValueMap{{"on", Value(true)}})};
}

BinaryPlistBuilder::Bytes binaryMapOfEveryKind() {
    EveryKind kinds;
    std::vector<std::size_t> keys;
    for (const char* key :
         {"text", "wide", "one", "huge", "yes", "no", "single", "double", "date", "data", "list", "dict"})
        keys.push_back(kinds.plist.ascii(key));
    return kinds.plist.build(kinds.plist.dictionary(keys, kinds.objects));
}

ValueMap everyKindAsMap() {
    const ValueVector values = everyKindAsValues();
    const char* keys[] = {"text", "wide", "one", "huge", "yes", "no", "single", "double", "list", "dict"};
    ValueMap map;
    for (std::size_t i = 0; i < values.size(); ++i) map[keys[i]] = values[i];
    return map;
}

TEST_F(FileUtilsLinuxTest, ABinaryDictionaryOfEveryKindIsReadFromAFileAndFromData) {
    const std::string bytes = asText(binaryMapOfEveryKind());
    const std::string path = put("every.plist", bytes);
    const ValueMap fromData = files_->getValueMapFromData(bytes.data(), static_cast<int>(bytes.size()));
    for (const ValueMap& map : {files_->getValueMapFromFile(path), fromData}) {
        EXPECT_EQ(Value(map), Value(everyKindAsMap()));
        ASSERT_EQ(map.count("single"), 1u);
        EXPECT_EQ(map.at("single").getType(), Value::Type::FLOAT);
        EXPECT_EQ(map.at("double").getType(), Value::Type::DOUBLE);
        EXPECT_EQ(map.at("one").getType(), Value::Type::INTEGER);
        EXPECT_EQ(map.at("yes").getType(), Value::Type::BOOLEAN);
    }
    EXPECT_TRUE(files_->getValueVectorFromFile(path).empty());  // a dictionary, not an array
}

TEST_F(FileUtilsLinuxTest, ABinaryArrayOfEveryKindIsReadAsAValueVector) {
    EveryKind kinds;
    const std::string path = put("every-list.plist", asText(kinds.plist.build(kinds.plist.array(kinds.objects))));
    EXPECT_EQ(Value(files_->getValueVectorFromFile(path)), Value(everyKindAsValues()));
    EXPECT_TRUE(files_->getValueMapFromFile(path).empty());  // an array, not a dictionary
}

TEST_F(FileUtilsLinuxTest, ADamagedBinaryPropertyListGivesEmptyContainersAndALogLine) {
    BinaryPlistBuilder cycle;
    cycle.array({0});
    BinaryPlistBuilder::Bytes truncated = binaryMapOfEveryKind();
    truncated.resize(truncated.size() - 9);
    BinaryPlistBuilder outside;
    outside.array({5});
    for (const BinaryPlistBuilder::Bytes& bytes : {cycle.build(0), truncated, outside.build(0)}) {
        const std::string text = asText(bytes);
        const std::string path = put("damaged.plist", text);
        test::LogCapture log;
        EXPECT_TRUE(files_->getValueMapFromFile(path).empty());
        EXPECT_TRUE(files_->getValueVectorFromFile(path).empty());
        EXPECT_TRUE(files_->getValueMapFromData(text.data(), static_cast<int>(text.size())).empty());
        EXPECT_EQ(log.count("cannot parse the binary property list"), 3u) << log.text();
        EXPECT_EQ(log.count("damaged.plist"), 2u) << log.text();
    }
}

std::string lookupFile(int version) {
    ValueMap filenames{{"a.png", Value("b.png")}};
    ValueMap metadata{{"version", Value(version)}};
    return PropertyList::serialize(ValueMap{{"metadata", Value(metadata)}, {"filenames", Value(filenames)}});
}

TEST_F(FileUtilsLinuxTest, ALookupDictionaryFileOfVersionOneRedirectsNames) {
    useBundle();
    std::string b = put("Resources/b.png", "b");
    put("Resources/lookup.plist", lookupFile(1));
    files_->loadFilenameLookupDictionaryFromFile("lookup.plist");
    EXPECT_EQ(files_->fullPathForFilename("a.png"), b);
}

TEST_F(FileUtilsLinuxTest, ALookupDictionaryFileOfVersionTwoChangesNothing) {
    useBundle();
    put("Resources/b.png", "b");
    put("Resources/lookup.plist", lookupFile(2));
    files_->loadFilenameLookupDictionaryFromFile("lookup.plist");
    EXPECT_EQ(files_->fullPathForFilename("a.png"), "");
    files_->loadFilenameLookupDictionaryFromFile("not-there.plist");
    EXPECT_EQ(files_->fullPathForFilename("a.png"), "");
}

}  // namespace
}  // namespace kite
