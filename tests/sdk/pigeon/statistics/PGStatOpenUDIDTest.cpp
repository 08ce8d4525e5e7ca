// The shared device identifier: made once, shared through slot pasteboards, opted out on request.
#include "sdk/pigeon/statistics/PGStatOpenUDID.h"

#include <filesystem>
#include <fstream>

#include "StatTestSupport.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"
#include "support/BinaryPlistBuilder.h"

namespace pigeon {
namespace test {
namespace {

class PGStatOpenUDIDTest : public StatTest {};

TEST_F(PGStatOpenUDIDTest, FirstRunMakesAnIdentifierAndWritesSlotZero) {
    PGStatOpenUDID::Error error;
    const std::string id = PGStatOpenUDID::valueWithError(&error);
    ASSERT_EQ(id.size(), 40u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(error.code, 0);
    EXPECT_EQ(error.description, "OpenUDID succesfully retrieved");
    const std::optional<platform::Pasteboard> slot = platform::Pasteboard::named("org.OpenUDID.slot.0", false);
    ASSERT_TRUE(slot);
    const platform::PlistValue::Dictionary dict = PGStatOpenUDID::_getDictFromPasteboard(*slot);
    ASSERT_TRUE(dict.count("OpenUDID"));
    EXPECT_EQ(*dict.at("OpenUDID").asString(), id);
    EXPECT_EQ(*dict.at("OpenUDID_slot").asString(), "org.OpenUDID.slot.0");
    EXPECT_EQ(PGStatOpenUDID::valueWithError(&error), id);
    EXPECT_EQ(error.description, "OpenUDID in cache from first call");
    const std::optional<platform::PlistValue> record = PGStatOpenUDID::defaults().value("OpenUDID");
    ASSERT_TRUE(record && record->asDictionary());
    EXPECT_EQ(*record->asDictionary()->at("OpenUDID").asString(), id);
}

TEST_F(PGStatOpenUDIDTest, AnotherApplicationsIdentifierIsAdopted) {
    // This application as on its first run (the module may have made its record already).
    PGStatOpenUDID::defaults().remove("OpenUDID");
    std::optional<platform::Pasteboard> slot = platform::Pasteboard::named("org.OpenUDID.slot.0", true);
    ASSERT_TRUE(slot);
    const std::string other(40, 'a');
    PGStatOpenUDID::_setDict({{"OpenUDID", other}, {"OpenUDID_appUID", "OTHER-APP"}}, *slot);
    EXPECT_EQ(PGStatOpenUDID::value(), other);
    // This application took the next free slot.
    EXPECT_TRUE(platform::Pasteboard::named("org.OpenUDID.slot.1", false));
}

TEST_F(PGStatOpenUDIDTest, UnreadableSlotCountsAsFree) {
    std::optional<platform::Pasteboard> slot = platform::Pasteboard::named("org.OpenUDID.slot.0", true);
    slot->setString("org.OpenUDID", "not a property list");
    const std::string id = PGStatOpenUDID::value();
    EXPECT_EQ(id.size(), 40u);
    EXPECT_EQ(*PGStatOpenUDID::_getDictFromPasteboard(*platform::Pasteboard::named("org.OpenUDID.slot.0", false))
                   .at("OpenUDID")
                   .asString(),
              id);
}

TEST_F(PGStatOpenUDIDTest, OptingOutAnswersZerosUntilOptingIn) {
    const std::string id = PGStatOpenUDID::value();
    PGStatOpenUDID::setOptOut(true);
    PGStatOpenUDID::Error error;
    EXPECT_EQ(PGStatOpenUDID::valueWithError(&error), std::string(40, '0'));
    EXPECT_EQ(error.code, 1);
    const std::string ownId = *PGStatOpenUDID::defaults().value("OpenUDID_appUID")->asString();
    EXPECT_EQ(error.description,
              "Application with unique id " + ownId + " is opted-out from OpenUDID as of 2023-11-14 22:13:20 +0000");
    PGStatOpenUDID::setOptOut(false);
    EXPECT_EQ(PGStatOpenUDID::value(), id);
}

TEST_F(PGStatOpenUDIDTest, SlotsAndTheDeviceTokenOutliveTheSession) {
    const std::string id = PGStatOpenUDID::value();
    PGStatHelper::getInstance().saveMid("device-token-1");
    // Logging out empties the runtime folder.
    std::filesystem::remove_all(platform::Pasteboard::folder());
    const std::optional<platform::Pasteboard> slot = platform::Pasteboard::named("org.OpenUDID.slot.0", false);
    ASSERT_TRUE(slot);
    EXPECT_TRUE(slot->isPersistent());
    EXPECT_EQ(*PGStatOpenUDID::_getDictFromPasteboard(*slot).at("OpenUDID").asString(), id);
    EXPECT_EQ(PGStatHelper::getInstance().getMid(), "device-token-1");
}

TEST_F(PGStatOpenUDIDTest, ASlotWhoseSharedObjectsDecodePastTheBudgetCountsAsFree) {
    // This application as on its first run, and another program's slot 1: under 4 KB naming an
    // identifier, with 62,500 copies of 3,300 bytes beside it.
    PGStatOpenUDID::defaults().remove("OpenUDID");
    kite::test::BinaryPlistBuilder file;
    const std::size_t padding = kite::test::addSharedFanOut(file, 3300, 250);
    const std::string other(40, 'b');
    const std::size_t record =
        file.dictionary({file.ascii("OpenUDID"), file.ascii("OpenUDID_appUID"), file.ascii("padding")},
                        {file.ascii(other), file.ascii("OTHER-APP"), padding});
    const std::size_t item = file.dictionary({file.ascii("propertyList")}, {record});
    const auto bytes = file.build(file.dictionary({file.ascii("org.OpenUDID")}, {item}));
    std::filesystem::create_directories(platform::Pasteboard::folder());
    std::ofstream(platform::Pasteboard::folder() + "/named.org.OpenUDID.slot.1", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    testing::internal::CaptureStderr();
    const std::string id = PGStatOpenUDID::value();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Pasteboard: \"org.OpenUDID.slot.1\" is damaged (decodes to more than "), std::string::npos)
        << log;
    EXPECT_EQ(id.size(), 40u);
    EXPECT_NE(id, other) << "the refused slot names no identifier";
    const std::optional<platform::Pasteboard> own = platform::Pasteboard::named("org.OpenUDID.slot.0", false);
    ASSERT_TRUE(own);
    EXPECT_EQ(*PGStatOpenUDID::_getDictFromPasteboard(*own).at("OpenUDID").asString(), id);
}

}  // namespace
}  // namespace test
}  // namespace pigeon
