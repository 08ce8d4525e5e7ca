// What the messenger SDK's tests share: a runtime folder of their own for the
// pasteboards, a fixed system version, and small sample values.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/ImageCodec.h"
#include "platform/Pasteboard.h"
#include "sdk/pigeon/InternalMessages.h"
#include "sdk/pigeon/MediaObjectMapping.h"
#include "sdk/pigeon/PGApi.h"
#include "sdk/pigeon/PigeonApiUtil.h"
#include "support/SchemeHandlers.h"
#include "support/TemporaryFolder.h"

namespace pigeon {
namespace test {

class PigeonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.made());
        // Scheme handlers are looked up in the test's own XDG folders only.
        kite::test::SchemeHandlers::instance();
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        // Persistent pasteboards live in the data folder, which the binary's tests share.
        forgetPersistentPasteboards();
        useSystemVersion("7.0");
    }
    void TearDown() override {
        useSystemVersion("7.0");
        forgetPersistentPasteboards();
    }

    static void forgetPersistentPasteboards() {
        std::error_code ignored;
        std::filesystem::remove_all(platform::Pasteboard::persistentFolder(), ignored);
    }

    static void useSystemVersion(const char* version) {
        setenv("STARGRID_SYSTEM_VERSION", version, 1);
        PigeonApiUtil::resetCachesForTesting();
    }

    kite::test::TemporaryFolder runtime_{"stargrid-pigeon"};
};

// Keeps what the API entry delivers.
class RecordingDelegate : public PGApiDelegate {
public:
    void onReq(const std::shared_ptr<BaseReq>& request) override { requests.push_back(request); }
    void onResp(const std::shared_ptr<BaseResp>& response) override { responses.push_back(response); }
    template <typename T>
    std::shared_ptr<T> lastResponse() const {
        return responses.empty() ? nullptr : std::dynamic_pointer_cast<T>(responses.back());
    }
    std::vector<std::shared_ptr<BaseReq>> requests;
    std::vector<std::shared_ptr<BaseResp>> responses;
};

inline Bytes sampleJpeg() {
    platform::RgbaImage image;
    image.width = 8;
    image.height = 8;
    image.pixels.assign(8 * 8 * 4, 200);
    return *platform::encodeJpeg(image, 0.6f);
}

inline auto tied(const PGMediaInternalMessage& m) {
    return std::tie(m.title, m.description, m.thumbData, m.mediaTagName, m.objectType, m.extInfo, m.fileExt, m.fileData,
                    m.mediaUrl, m.mediaLowBandUrl, m.mediaDataUrl, m.mediaLowBandDataUrl, m.messageExt,
                    m.messageAction);
}

// Every field of a message and of its object, flattened so that two can be compared.
inline PGMediaInternalMessage flattened(const PGMediaMessage& message) {
    PGMediaInternalMessage flat;
    if (message.mediaObject) flat = flattenMediaObject(*message.mediaObject).value_or(flat);
    flat.title = message.title;
    flat.description = message.description;
    flat.thumbData = message.thumbData;
    flat.mediaTagName = message.mediaTagName;
    flat.messageExt = message.messageExt;
    flat.messageAction = message.messageAction;
    return flat;
}

inline bool sameMessage(const PGMediaMessage& a, const PGMediaMessage& b) {
    return tied(flattened(a)) == tied(flattened(b));
}

}  // namespace test
}  // namespace pigeon
