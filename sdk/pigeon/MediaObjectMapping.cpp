// How the seven media objects map onto the exchange's flat media fields.
#include "sdk/pigeon/MediaObjectMapping.h"

#include "sdk/pigeon/ExchangeKeys.h"

namespace pigeon {

std::optional<PGMediaInternalMessage> flattenMediaObject(const PGMediaObject& object) {
    PGMediaInternalMessage flat;
    if (auto image = dynamic_cast<const PGImageObject*>(&object)) {
        flat.objectType = exchange::kImageObject;
        flat.mediaUrl = image->imageUrl;
        flat.fileData = image->imageData;
    } else if (auto music = dynamic_cast<const PGMusicObject*>(&object)) {
        flat.objectType = exchange::kMusicObject;
        flat.mediaUrl = music->musicUrl;
        flat.mediaLowBandUrl = music->musicLowBandUrl;
        flat.mediaDataUrl = music->musicDataUrl;
        flat.mediaLowBandDataUrl = music->musicLowBandDataUrl;
    } else if (auto video = dynamic_cast<const PGVideoObject*>(&object)) {
        flat.objectType = exchange::kVideoObject;
        flat.mediaUrl = video->videoUrl;
        flat.mediaLowBandUrl = video->videoLowBandUrl;
    } else if (auto webpage = dynamic_cast<const PGWebpageObject*>(&object)) {
        flat.objectType = exchange::kWebpageObject;
        flat.mediaUrl = webpage->webpageUrl;
    } else if (auto file = dynamic_cast<const PGFileObject*>(&object)) {
        flat.objectType = exchange::kFileObject;
        flat.fileExt = file->fileExtension;
        flat.fileData = file->fileData;
    } else if (auto extension = dynamic_cast<const PGAppExtendObject*>(&object)) {
        flat.objectType = exchange::kAppExtendObject;
        flat.mediaUrl = extension->url;
        flat.extInfo = extension->extInfo;
        flat.fileData = extension->fileData;
    } else if (auto emoticon = dynamic_cast<const PGEmoticonObject*>(&object)) {
        flat.objectType = exchange::kEmoticonObject;
        flat.fileData = emoticon->emoticonData;
    } else {
        return std::nullopt;
    }
    return flat;
}

std::shared_ptr<PGMediaObject> buildMediaObject(const PGMediaInternalMessage& flat) {
    switch (flat.objectType) {
        case exchange::kImageObject: {
            auto image = PGImageObject::object();
            image->imageUrl = flat.mediaUrl;
            image->imageData = flat.fileData;
            return image;
        }
        case exchange::kMusicObject: {
            auto music = PGMusicObject::object();
            music->musicUrl = flat.mediaUrl;
            music->musicLowBandUrl = flat.mediaLowBandUrl;
            music->musicDataUrl = flat.mediaDataUrl;
            music->musicLowBandDataUrl = flat.mediaLowBandDataUrl;
            return music;
        }
        case exchange::kVideoObject: {
            auto video = PGVideoObject::object();
            video->videoUrl = flat.mediaUrl;
            video->videoLowBandUrl = flat.mediaLowBandUrl;
            return video;
        }
        case exchange::kWebpageObject: {
            auto webpage = PGWebpageObject::object();
            webpage->webpageUrl = flat.mediaUrl;
            return webpage;
        }
        case exchange::kFileObject: {
            auto file = PGFileObject::object();
            file->fileExtension = flat.fileExt;
            file->fileData = flat.fileData;
            return file;
        }
        case exchange::kAppExtendObject: {
            auto extension = PGAppExtendObject::object();
            extension->url = flat.mediaUrl;
            extension->extInfo = flat.extInfo;
            extension->fileData = flat.fileData;
            return extension;
        }
        case exchange::kEmoticonObject: {
            auto emoticon = PGEmoticonObject::object();
            emoticon->emoticonData = flat.fileData;
            return emoticon;
        }
        default: return nullptr;
    }
}

}  // namespace pigeon
