#include "platform/Pasteboard.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "platform/PlistXml.h"
#include "support/BinaryPlistBuilder.h"
#include "support/ForkedRun.h"
#include "support/TemporaryFolder.h"

using kite::test::BinaryPlistBuilder;
using platform::Pasteboard;
using platform::PlistValue;

namespace {

class PasteboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.made());
        ASSERT_TRUE(data_.made());
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
    }
    kite::test::TemporaryFolder runtime_{"stargrid-runtime"};
    kite::test::TemporaryFolder data_{"stargrid-data"};
};

Pasteboard::Data bytesOf(const std::string& text) { return Pasteboard::Data(text.begin(), text.end()); }

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : 0;
}

std::string firstBytes(const std::string& path, std::size_t count) {
    std::ifstream file(path, std::ios::binary);
    std::string bytes(count, '\0');
    file.read(bytes.data(), std::streamsize(count));
    return bytes.substr(0, std::size_t(file.gcount()));
}

}  // namespace

TEST_F(PasteboardTest, ItemsReadBackByTypeAndKind) {
    Pasteboard general = Pasteboard::general();
    EXPECT_FALSE(general.data("content"));

    ASSERT_TRUE(general.setString("text", "星 & stars"));
    EXPECT_EQ(general.string("text"), "星 & stars");
    EXPECT_EQ(general.data("text"), bytesOf("星 & stars"));
    EXPECT_FALSE(general.data("content"));

    const PlistValue list(PlistValue::Dictionary{{"version", PlistValue("1.5")}});
    ASSERT_TRUE(general.setPropertyList("content", list));
    EXPECT_EQ(general.propertyList("content"), list);
    EXPECT_FALSE(general.string("text")) << "a new item replaces the old ones";

    ASSERT_TRUE(general.setData("content", *general.data("content")));
    EXPECT_EQ(general.propertyList("content"), list) << "data holding a property list reads as one";
}

TEST_F(PasteboardTest, NamedPasteboardsAreMadeOnlyWhenAsked) {
    EXPECT_FALSE(Pasteboard::named("pigeon_data", false));
    auto made = Pasteboard::named("pigeon_data", true);
    ASSERT_TRUE(made);
    ASSERT_TRUE(made->setData("content", bytesOf("x")));

    auto again = Pasteboard::named("pigeon_data", false);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->data("content"), bytesOf("x"));
    EXPECT_FALSE(Pasteboard::general().data("content"));

    auto general = Pasteboard::named("general", true);
    ASSERT_TRUE(general);
    general->setData("content", bytesOf("named"));
    EXPECT_FALSE(Pasteboard::general().data("content")) << "a pasteboard named general is not the general one";

    auto odd = Pasteboard::named("../../escape/..", true);
    ASSERT_TRUE(odd);
    EXPECT_TRUE(odd->setData("content", bytesOf("kept inside")));
    EXPECT_FALSE(std::ifstream(runtime_.path() + "/escape"));
}

TEST_F(PasteboardTest, TakingLeavesEmptyDataSoOnlyOneReaderGetsTheItem) {
    Pasteboard general = Pasteboard::general();
    ASSERT_TRUE(general.setData("content", bytesOf("once")));

    std::atomic<int> delivered{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 8; ++i) {
        readers.emplace_back([&delivered] {
            Pasteboard mine = Pasteboard::general();
            auto taken = mine.takeData("content");
            if (taken && !taken->empty()) ++delivered;
        });
    }
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(delivered.load(), 1);
    EXPECT_EQ(general.data("content"), Pasteboard::Data{});
}

TEST_F(PasteboardTest, AnItemTheReaderRefusesStays) {
    Pasteboard general = Pasteboard::general();
    ASSERT_TRUE(general.setData("content", bytesOf("unparsable")));
    auto taken = general.takeData("content", [](const Pasteboard::Data&) { return false; });
    EXPECT_EQ(taken, bytesOf("unparsable"));
    EXPECT_EQ(general.data("content"), bytesOf("unparsable"));
}

TEST_F(PasteboardTest, ADamagedFileReadsAsEmptyAndIsReplacedByTheNextWrite) {
    Pasteboard general = Pasteboard::general();
    const std::string file = Pasteboard::folder() + "/general";
    const std::string damaged[] = {
        "garbage",
        "<plist><array/></plist>",
        "<plist><dict><key>content</key><string>not wrapped</string></dict></plist>",
        "<plist><dict><key>content</key><dict><key>strange</key><true/></dict></dict></plist>",
        "<plist><dict><key>content</key><dict><key>data</key><string>x</string></dict></dict></plist>",
    };
    for (const std::string& text : damaged) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        EXPECT_FALSE(general.data("content")) << text;
        EXPECT_FALSE(general.takeData("content")) << text;
    }
    ASSERT_TRUE(general.setData("content", bytesOf("fresh")));
    EXPECT_EQ(general.data("content"), bytesOf("fresh"));
}

TEST_F(PasteboardTest, PersistentPasteboardsLiveInTheDataFolderAndOutliveTheSession) {
    auto record = Pasteboard::named("pigeon_register", true);
    ASSERT_TRUE(record);
    ASSERT_TRUE(record->setString("content", "first launch"));
    EXPECT_FALSE(record->isPersistent());
    ASSERT_TRUE(record->setPersistent(true));
    EXPECT_TRUE(record->isPersistent());

    const std::string folder = data_.path() + "/stargrid/pasteboards";
    EXPECT_EQ(Pasteboard::persistentFolder(), folder);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(folder + "/named.pigeon_register"), 0600u);
    EXPECT_FALSE(std::filesystem::exists(Pasteboard::folder() + "/named.pigeon_register"));

    // The session's folder is emptied at logout; a persistent pasteboard stays.
    std::filesystem::remove_all(Pasteboard::folder());
    auto later = Pasteboard::named("pigeon_register", false);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->string("content"), "first launch");
    ASSERT_TRUE(later->setString("content", "second launch"));
    EXPECT_EQ(Pasteboard::named("pigeon_register", false)->string("content"), "second launch");

    ASSERT_TRUE(later->setPersistent(false));
    EXPECT_FALSE(std::filesystem::exists(folder + "/named.pigeon_register"));
    EXPECT_EQ(Pasteboard::named("pigeon_register", false)->string("content"), "second launch");
    EXPECT_EQ(modeOf(Pasteboard::folder() + "/named.pigeon_register"), 0600u);
}

TEST_F(PasteboardTest, FilesAreBinaryListsAndTheOlderTextFormStillReads) {
    Pasteboard general = Pasteboard::general();
    const std::string text("line\rbreak\0kept", 15);
    ASSERT_TRUE(general.setString("text", text));
    const std::string file = Pasteboard::folder() + "/general";
    EXPECT_EQ(firstBytes(file, 8), "bplist00");
    EXPECT_EQ(general.string("text"), text);

    std::ofstream(file, std::ios::binary | std::ios::trunc)
        << "<plist><dict><key>content</key><dict><key>string</key><string>older</string></dict></dict></plist>";
    EXPECT_EQ(general.string("content"), "older");
}

namespace {

// Under 4 KB that decode to 62,500 copies of 3,300 bytes.
BinaryPlistBuilder::Bytes fanOutList() {
    BinaryPlistBuilder plist;
    return plist.build(kite::test::addSharedFanOut(plist, 3300, 250));
}

}  // namespace

TEST_F(PasteboardTest, AFileWhoseSharedObjectsDecodePastTheBudgetReadsAsEmptyWithALogLine) {
    BinaryPlistBuilder file;
    const std::size_t list = kite::test::addSharedFanOut(file, 3300, 250);
    const std::size_t item = file.dictionary({file.ascii("propertyList")}, {list});
    const BinaryPlistBuilder::Bytes bytes = file.build(file.dictionary({file.ascii("org.OpenUDID")}, {item}));
    std::ofstream(Pasteboard::folder() + "/named.org.OpenUDID.slot.1", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const auto slot = Pasteboard::named("org.OpenUDID.slot.1", false);
    ASSERT_TRUE(slot);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(slot->propertyList("org.OpenUDID"));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Pasteboard: \"org.OpenUDID.slot.1\" is damaged (decodes to more than "), std::string::npos)
        << log;
}

TEST_F(PasteboardTest, DataWhoseSharedObjectsDecodePastTheBudgetIsNoPropertyListButStaysData) {
    Pasteboard general = Pasteboard::general();
    const BinaryPlistBuilder::Bytes list = fanOutList();
    ASSERT_TRUE(general.setData("content", list));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(general.propertyList("content"));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Pasteboard: the \"content\" item of \"general\" is not a property list (decodes to more than "),
              std::string::npos)
        << log;
    EXPECT_EQ(general.data("content"), list);
}

TEST_F(PasteboardTest, AListWhoseTextRepeatsReadsBackAsWritten) {
    // 10 MB of text, which the file holds once.
    Pasteboard general = Pasteboard::general();
    const PlistValue list(PlistValue::Array(10000, PlistValue(std::string(1000, 'r'))));
    ASSERT_TRUE(general.setPropertyList("content", list));
    EXPECT_EQ(general.propertyList("content"), list);
}

TEST_F(PasteboardTest, WhatWouldNotReadBackIsNotWrittenAndTheItemBeforeStays) {
    Pasteboard general = Pasteboard::general();
    ASSERT_TRUE(general.setString("text", "kept"));
    // With the file's own two dictionaries, one value past what a reader takes.
    const PlistValue list(PlistValue::Array(65534, PlistValue::integer(1)));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(general.setPropertyList("content", list));
    EXPECT_FALSE(general.setData("content", Pasteboard::Data((32u << 20) + 1)));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Pasteboard: cannot write \"general\": more values than allowed\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Pasteboard: cannot write \"general\": decodes to more than "), std::string::npos) << log;
    EXPECT_EQ(general.string("text"), "kept");
}

TEST_F(PasteboardTest, AnOpenSessionFolderIsNarrowedToItsOwnerAtItsFirstUse) {
    // As another program, or an older version, may have left it.
    const std::string folder = runtime_.path() + "/stargrid-pasteboards";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    EXPECT_FALSE(Pasteboard::general().string("text"));
    EXPECT_EQ(modeOf(folder), 0700u);
}

TEST_F(PasteboardTest, AMissingRuntimeFolderIsSaidOnceAndEveryCallStillFails) {
    const std::string runtime = runtime_.path() + "/gone";
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    testing::internal::CaptureStderr();
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_FALSE(Pasteboard::general().setString("text", "lost"));
        EXPECT_FALSE(Pasteboard::named("pigeon_data", true));
        EXPECT_FALSE(Pasteboard::general().takeData("content"));
        EXPECT_FALSE(Pasteboard::general().string("text"));
    }
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log,
              "UserFolders: the runtime folder " + runtime +
                  " is refused: No such file or directory; point XDG_RUNTIME_DIR at a folder of your own, mode "
                  "0700\n"
                  "Pasteboard: the session's pasteboards have no folder, as the runtime folder is refused; pasteboard "
                  "calls fail\n");
}

TEST_F(PasteboardTest, WithoutARuntimeFolderTheSessionsPasteboardsLiveInThePlayersCacheFolder) {
    unsetenv("XDG_RUNTIME_DIR");
    kite::test::TemporaryFolder cache("stargrid-cache");
    setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    EXPECT_EQ(Pasteboard::folder(), cache.path() + "/stargrid/runtime/stargrid-pasteboards");
    ASSERT_TRUE(Pasteboard::general().setString("text", "mine"));
    EXPECT_EQ(modeOf(Pasteboard::folder()), 0700u);
    EXPECT_EQ(Pasteboard::general().string("text"), "mine");
}

TEST_F(PasteboardTest, AFolderThatIsNotThePlayersOwnIsRefusedAndNothingInItIsRead) {
    const std::string session = runtime_.path() + "/stargrid-pasteboards";
    const std::string persistent = data_.path() + "/stargrid/pasteboards";
    kite::test::TemporaryFolder elsewhere("stargrid-elsewhere");
    struct Case {
        const char* name;
        std::string folder;
        std::function<void()> make;
        std::string reason;
    };
    // Another user's folder is made here by chown: the tests run as root.
    auto othersFolder = [](const std::string& folder) {
        std::filesystem::create_directories(folder);
        ::chmod(folder.c_str(), 0777);
        ::chown(folder.c_str(), 54321, 54321);
    };
    const Case cases[] = {
        {"another user's session folder", session, [&] { othersFolder(session); }, "it belongs to user 54321"},
        {"a link as the session folder", session, [&] { ::symlink(elsewhere.path().c_str(), session.c_str()); },
         "it is a link"},
        {"another user's persistent folder", persistent, [&] { othersFolder(persistent); }, "it belongs to user 54321"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        // What another user planted: an identifier the SDK would take as the device's.
        BinaryPlistBuilder file;
        const std::size_t item = file.dictionary({file.ascii("string")}, {file.ascii("planted")});
        const BinaryPlistBuilder::Bytes bytes = file.build(file.dictionary({file.ascii("text")}, {item}));
        for (const char* planted : {"/general", "/named.pigeon_register"}) {
            std::ofstream(c.folder + planted, std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        const kite::test::ForkedOutcome outcome = kite::test::runForked([] {
            auto named = Pasteboard::named("pigeon_register", false);
            const bool read = Pasteboard::general().string("text") == std::string("planted") ||
                              (named && named->string("text") == std::string("planted"));
            Pasteboard::general().setString("text", "mine");
            if (named) named->setString("text", "mine");
            if (auto board = Pasteboard::named("made", true)) board->setPersistent(true);
            return read ? 1 : 0;
        });
        EXPECT_EQ(outcome.status, 0) << "read what was planted";
        EXPECT_NE(outcome.output.find("Pasteboard: the folder " + c.folder + " is refused: " + c.reason +
                                      "; pasteboard calls fail\n"),
                  std::string::npos)
            << outcome.output;
        EXPECT_EQ(outcome.output.find("the folder " + c.folder + " is refused"),
                  outcome.output.rfind("the folder " + c.folder + " is refused"))
            << "said more than once";
        // Nothing in it was changed, moved or added.
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(c.folder)) {
            found.push_back(entry.path().filename());
            EXPECT_TRUE(kite::test::readWholeFile(entry.path()) == std::string(bytes.begin(), bytes.end()))
                << entry.path();
        }
        std::sort(found.begin(), found.end());
        EXPECT_EQ(found, (std::vector<std::string>{"general", "named.pigeon_register"}));
        for (const std::string& name : found) std::filesystem::remove(c.folder + "/" + name);
        std::filesystem::remove(c.folder);
        std::filesystem::remove_all(session);
    }
}

TEST_F(PasteboardTest, ALockAnotherProgramHoldsFailsTheCallAfterAShortWait) {
    Pasteboard general = Pasteboard::general();
    ASSERT_TRUE(general.setString("text", "before"));
    const std::string lock = Pasteboard::folder() + "/general.lock";
    const int held = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const kite::test::ForkedOutcome outcome = kite::test::runForked([] {
        Pasteboard general = Pasteboard::general();
        const bool changed = general.setString("text", "after") || general.takeData("text");
        return changed ? 1 : 0;
    });
    ::close(held);
    EXPECT_TRUE(outcome.exited) << "waited for the lock";
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, "Pasteboard: cannot lock \"general\": " + lock +
                                  " is locked by another program\n"
                                  "Pasteboard: cannot lock \"general\": " +
                                  lock + " is locked by another program\n");
    EXPECT_EQ(general.string("text"), "before");
    ASSERT_TRUE(general.setString("text", "after"));  // free again
}

TEST_F(PasteboardTest, ALockFileThatIsALinkIsNotFollowed) {
    kite::test::TemporaryFolder elsewhere("stargrid-elsewhere");
    const std::string target = elsewhere.path() + "/made-by-the-game";
    const std::string lock = Pasteboard::folder() + "/named.pigeon_register.lock";
    ASSERT_EQ(::symlink(target.c_str(), lock.c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Pasteboard::named("pigeon_register", true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Pasteboard: cannot lock \"pigeon_register\": " + lock + ": it is a link\n");
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PasteboardTest, AnItemIsReadOnlyFromARegularFileWithinTheReadersLimit) {
    const std::string fifo = Pasteboard::folder() + "/general";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    kite::test::ForkedOutcome outcome =
        kite::test::runForked([] { return Pasteboard::general().string("text") ? 1 : 0; });
    EXPECT_TRUE(outcome.exited) << "waited on the FIFO";
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, "Pasteboard: cannot read \"general\" (" + fifo + "): not a regular file (a FIFO)\n");
    ASSERT_EQ(::unlink(fifo.c_str()), 0);

    // Past the property-list readers' limit: refused before it is read whole (a sparse file).
    const std::string large = Pasteboard::folder() + "/named.org.OpenUDID.slot.0";
    const std::size_t limit = platform::maxBinaryBytes(platform::PlistLimits());
    std::ofstream(large).close();
    ASSERT_EQ(::truncate(large.c_str(), off_t(limit + 1)), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Pasteboard::named("org.OpenUDID.slot.0", false)->propertyList("org.OpenUDID"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Pasteboard: \"org.OpenUDID.slot.0\" (" + large +
                                                          ") is larger than " + std::to_string(limit) +
                                                          " bytes; it is not read\n");
}
