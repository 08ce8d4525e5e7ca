// The media message and the seven kinds of media object it can carry.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {
struct RgbaImage;
}

namespace pigeon {

using Bytes = std::vector<std::uint8_t>;

// Base of the media objects, so that a message can hold any of them. The
// exchange codec tells them apart and numbers them; they carry no rules.
struct PGMediaObject {
    virtual ~PGMediaObject() = default;
};

struct PGImageObject : PGMediaObject {
    static std::shared_ptr<PGImageObject> object() { return std::make_shared<PGImageObject>(); }
    Bytes imageData;
    std::string imageUrl;
};

struct PGMusicObject : PGMediaObject {
    static std::shared_ptr<PGMusicObject> object() { return std::make_shared<PGMusicObject>(); }
    std::string musicUrl;
    std::string musicLowBandUrl;
    std::string musicDataUrl;
    std::string musicLowBandDataUrl;
};

struct PGVideoObject : PGMediaObject {
    static std::shared_ptr<PGVideoObject> object() { return std::make_shared<PGVideoObject>(); }
    std::string videoUrl;
    std::string videoLowBandUrl;
};

struct PGWebpageObject : PGMediaObject {
    static std::shared_ptr<PGWebpageObject> object() { return std::make_shared<PGWebpageObject>(); }
    std::string webpageUrl;
};

struct PGAppExtendObject : PGMediaObject {
    static std::shared_ptr<PGAppExtendObject> object() { return std::make_shared<PGAppExtendObject>(); }
    std::string extInfo;
    Bytes fileData;
    std::string url;
};

struct PGEmoticonObject : PGMediaObject {
    static std::shared_ptr<PGEmoticonObject> object() { return std::make_shared<PGEmoticonObject>(); }
    Bytes emoticonData;
};

struct PGFileObject : PGMediaObject {
    static std::shared_ptr<PGFileObject> object() { return std::make_shared<PGFileObject>(); }
    std::string fileExtension;
    Bytes fileData;
};

// What the application shares: a title, a description and a thumbnail
// around one media object. An empty string or empty bytes means "not set".
struct PGMediaMessage {
    static std::shared_ptr<PGMediaMessage> message() { return std::make_shared<PGMediaMessage>(); }

    // Stores the image as JPEG at quality 0.6 in thumbData; a null image, or
    // one that cannot be encoded, leaves thumbData as it was.
    void setThumbImage(const platform::RgbaImage* image);

    std::string title;
    std::string description;
    Bytes thumbData;
    std::string mediaTagName;
    std::shared_ptr<PGMediaObject> mediaObject;
    std::string messageExt;
    std::string messageAction;
};

}  // namespace pigeon
