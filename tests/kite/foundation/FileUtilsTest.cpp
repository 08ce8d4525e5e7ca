#include "kite/foundation/FileUtils.h"

#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace kite {
namespace {

// The base lookup over the real file system: relative paths are taken from
// the current directory, absolute ones as they are.
class PlainFileUtils : public FileUtils {
public:
    PlainFileUtils() { init(); }
    std::string getWritablePath() const override { return "/tmp/"; }
    std::vector<std::string> asked;

protected:
    bool isFileExistInternal(const std::string& path) const override {
        const_cast<PlainFileUtils*>(this)->asked.push_back(path);
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }
};

class FileUtilsTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder_.made()); }
    std::string put(const std::string& relative, const std::string& contents) {
        return folder_.put(relative, contents);
    }
    test::TemporaryFolder folder_{"fileutils"};
    std::string root_ = folder_.path() + "/";
    PlainFileUtils files_;
};

TEST_F(FileUtilsTest, AFreshInstanceSearchesTheEmptyPathWithTheEmptyResolution) {
    EXPECT_EQ(files_.getSearchPaths(), std::vector<std::string>{""});
    EXPECT_EQ(files_.getSearchResolutionsOrder(), std::vector<std::string>{""});
    files_.fullPathForFilename("a/b.png");
    EXPECT_EQ(files_.asked, std::vector<std::string>{"a/b.png"});
}

TEST_F(FileUtilsTest, SearchPathsGetASlashAndTheEmptyPathLast) {
    files_.setSearchPaths({"res", "/abs/dir"});
    EXPECT_EQ(files_.getSearchPaths(), (std::vector<std::string>{"res/", "/abs/dir/", ""}));
    files_.setSearchPaths({"", "res/"});
    EXPECT_EQ(files_.getSearchPaths(), (std::vector<std::string>{"", "res/"}));
}

TEST_F(FileUtilsTest, ResolutionOrderKeepsAnEmptyEntryWhereItWasGiven) {
    files_.setSearchResolutionsOrder({"hd"});
    EXPECT_EQ(files_.getSearchResolutionsOrder(), (std::vector<std::string>{"hd/", ""}));
    files_.setSearchResolutionsOrder({"", "hd"});
    EXPECT_EQ(files_.getSearchResolutionsOrder(), (std::vector<std::string>{"", "hd/"}));
    files_.addSearchResolutionsOrder("sd", true);
    EXPECT_EQ(files_.getSearchResolutionsOrder(), (std::vector<std::string>{"sd/", "", "hd/"}));
}

TEST_F(FileUtilsTest, EveryResolutionOfTheFirstSearchPathIsTriedBeforeTheSecondPath) {
    std::string inFirstSd = put("first/img/sd/star.png", "1");
    std::string inFirstPlain = put("first/img/star.png", "2");
    put("second/img/hd/star.png", "3");
    files_.setSearchPaths({root_ + "first", root_ + "second"});
    files_.setSearchResolutionsOrder({"hd", "sd"});

    EXPECT_EQ(files_.fullPathForFilename("img/star.png"), inFirstSd);
    // The answer is cached: the file going away changes nothing until a purge.
    std::remove(inFirstSd.c_str());
    EXPECT_EQ(files_.fullPathForFilename("img/star.png"), inFirstSd);
    files_.purgeCachedEntries();
    EXPECT_EQ(files_.fullPathForFilename("img/star.png"), inFirstPlain);
    std::remove(inFirstPlain.c_str());
    files_.purgeCachedEntries();
    EXPECT_EQ(files_.fullPathForFilename("img/star.png"), root_ + "second/img/hd/star.png");
    files_.purgeCachedEntries();
    EXPECT_EQ(files_.fullPathForFilename("img/missing.png"), "");
}

TEST_F(FileUtilsTest, SettingSearchPathsForgetsCachedAnswersButAddingAResolutionDoesNot) {
    put("a/x.png", "a");
    std::string inHd = put("a/hd/x.png", "hd");
    put("b/x.png", "b");
    files_.setSearchPaths({root_ + "a"});
    EXPECT_EQ(files_.fullPathForFilename("x.png"), root_ + "a/x.png");
    files_.addSearchResolutionsOrder("hd", true);
    EXPECT_EQ(files_.fullPathForFilename("x.png"), root_ + "a/x.png");
    files_.setSearchPaths({root_ + "a"});
    EXPECT_EQ(files_.fullPathForFilename("x.png"), inHd);
    files_.setSearchPaths({root_ + "b"});
    files_.setSearchResolutionsOrder({});
    EXPECT_EQ(files_.fullPathForFilename("x.png"), root_ + "b/x.png");
}

TEST_F(FileUtilsTest, TheLookupDictionaryRedirectsANameAndCachesUnderTheRequestedOne) {
    std::string b = put("b.png", "b");
    files_.setSearchPaths({root_});
    ValueMap lookup;
    lookup["a.png"] = Value("b.png");
    files_.setFilenameLookupDictionary(lookup);
    EXPECT_EQ(files_.fullPathForFilename("a.png"), b);
    std::remove(b.c_str());
    EXPECT_EQ(files_.fullPathForFilename("a.png"), b);
    EXPECT_EQ(files_.fullPathFromRelativeFile("a.png", "/some/dir/sheet.plist"), "/some/dir/b.png");
    EXPECT_EQ(files_.fullPathFromRelativeFile("c.png", "sheet.plist"), "c.png");
}

TEST_F(FileUtilsTest, EmptyAndAbsoluteNames) {
    EXPECT_FALSE(files_.isAbsolutePath(""));
    EXPECT_EQ(files_.fullPathForFilename(""), "");
    EXPECT_EQ(files_.fullPathForFilename("/not/there"), "/not/there");
    EXPECT_FALSE(files_.isFileExist("/not/there"));
    EXPECT_TRUE(files_.isFileExist(put("here", "x")));
}

TEST_F(FileUtilsTest, TextEndsAtTheFirstZeroByteButRawBytesAreWhole) {
    std::string path = put("mixed.bin", std::string("ab\0cd", 5));
    EXPECT_EQ(files_.getStringFromFile(path), "ab");
    Data data = files_.getDataFromFile(path);
    ASSERT_EQ(data.getSize(), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data.getBytes()), 5), std::string("ab\0cd", 5));
    EXPECT_TRUE(files_.getDataFromFile(root_ + "missing").isNull());
    EXPECT_TRUE(files_.getDataFromFile(put("empty", "")).isNull());
    EXPECT_TRUE(files_.getDataFromFile(root_).isNull());  // a directory is not a file
    EXPECT_EQ(files_.getStringFromFile(""), "");

    ssize_t size = -5;
    unsigned char* block = files_.getFileData(path, "rb", &size);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(size, 5);
    std::free(block);
    EXPECT_EQ(files_.getFileData(root_ + "missing", "rb", &size), nullptr);
    EXPECT_EQ(size, 0);
}

TEST_F(FileUtilsTest, FileSizesForResolvedUnresolvedAndMissingNames) {
    std::string path = put("sized", "12345");
    files_.setSearchPaths({root_});
    EXPECT_EQ(files_.getFileSize(path), 5);
    EXPECT_EQ(files_.getFileSize("sized"), 5);
    EXPECT_EQ(files_.getFileSize("unknown"), 0);
    EXPECT_EQ(files_.getFileSize(root_ + "unknown"), -1);
}

TEST_F(FileUtilsTest, DirectoriesAreCreatedRemovedAndFoundThroughSearchPaths) {
    std::string nested = root_ + "a/b/c";
    EXPECT_TRUE(files_.createDirectory(nested));
    EXPECT_TRUE(files_.isDirectoryExist(nested));
    EXPECT_TRUE(files_.createDirectory(nested));
    put("a/b/c/file", "x");

    // The resolution directory follows the whole directory name here.
    ASSERT_TRUE(files_.createDirectory(root_ + "fonts/hd"));
    files_.setSearchPaths({root_});
    files_.setSearchResolutionsOrder({"hd"});
    EXPECT_TRUE(files_.isDirectoryExist("fonts/"));
    EXPECT_FALSE(files_.isDirectoryExist("nothing/"));

    EXPECT_FALSE(files_.removeDirectory(root_ + "a"));
    EXPECT_TRUE(files_.isDirectoryExist(root_ + "a"));
    EXPECT_TRUE(files_.removeDirectory(root_ + "a/"));
    EXPECT_FALSE(files_.isDirectoryExist(root_ + "a"));
}

TEST_F(FileUtilsTest, FilesAreRenamedAndRemoved) {
    put("old", "x");
    EXPECT_TRUE(files_.renameFile(root_, "old", "new"));
    EXPECT_TRUE(files_.isFileExist(root_ + "new"));
    EXPECT_FALSE(files_.renameFile(root_, "old", "newer"));
    EXPECT_TRUE(files_.removeFile(root_ + "new"));
    EXPECT_FALSE(files_.removeFile(root_ + "new"));
}

// Writes a zip archive; with `raw`, the member is stored as given with the
// stated size and CRC, so damaged members can be made.
void writeZip(const std::string& path, const std::string& member, const std::string& contents, bool raw = false,
              unsigned long rawSize = 0, unsigned long rawCrc = 0) {
    zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
    ASSERT_NE(zip, nullptr);
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip2(zip, member.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, raw ? 0 : Z_DEFLATED,
                                   raw ? 0 : Z_DEFAULT_COMPRESSION, raw ? 1 : 0),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(zip, contents.data(), static_cast<unsigned>(contents.size())), ZIP_OK);
    if (raw) {
        ASSERT_EQ(zipCloseFileInZipRaw(zip, rawSize, rawCrc), ZIP_OK);
    } else {
        ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

std::string readMember(FileUtils& files, const std::string& zip, const std::string& member, ssize_t* size) {
    unsigned char* block = files.getFileDataFromZip(zip, member, size);
    std::string text = block ? std::string(reinterpret_cast<char*>(block), static_cast<size_t>(*size)) : "<null>";
    std::free(block);
    return text;
}

TEST_F(FileUtilsTest, ReadsOneMemberOfAZipArchive) {
    std::string zip = root_ + "pack.zip";
    std::string contents(10000, 'z');
    writeZip(zip, "dir/Member.txt", contents);
    ssize_t size = -1;
    EXPECT_EQ(readMember(files_, zip, "dir/Member.txt", &size), contents);
    EXPECT_EQ(size, 10000);
    EXPECT_EQ(readMember(files_, zip, "dir/member.txt", &size), "<null>");  // names are case-sensitive
    EXPECT_EQ(size, 0);
    EXPECT_EQ(readMember(files_, "", "dir/Member.txt", &size), "<null>");
    EXPECT_EQ(readMember(files_, root_ + "none.zip", "dir/Member.txt", &size), "<null>");
}

TEST_F(FileUtilsTest, AZipMemberThatFailsItsCrcOrReadsShortIsAnError) {
    std::string text = "stored member text";
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size()));
    std::string good = root_ + "good.zip";
    writeZip(good, "m", text, true, text.size(), crc);
    ssize_t size = 0;
    EXPECT_EQ(readMember(files_, good, "m", &size), text);

    std::string badCrc = root_ + "badcrc.zip";
    writeZip(badCrc, "m", text, true, text.size(), crc ^ 1);
    EXPECT_EQ(readMember(files_, badCrc, "m", &size), "<null>");
    EXPECT_EQ(size, 0);

    std::string shortMember = root_ + "short.zip";
    writeZip(shortMember, "m", text, true, text.size() + 100, crc);
    EXPECT_EQ(readMember(files_, shortMember, "m", &size), "<null>");
    EXPECT_EQ(size, 0);
}

TEST_F(FileUtilsTest, ATruncatedZipArchiveFailsCleanly) {
    std::string zip = root_ + "cut.zip";
    writeZip(zip, "m", std::string(5000, 'q'));
    const std::string bytes = test::readWholeFile(zip);
    for (size_t keep : {size_t(10), bytes.size() / 2, bytes.size() - 10}) {
        std::ofstream(zip, std::ios::binary | std::ios::trunc) << bytes.substr(0, keep);
        ssize_t size = 0;
        EXPECT_EQ(readMember(files_, zip, "m", &size), "<null>");
    }
}

}  // namespace
}  // namespace kite
