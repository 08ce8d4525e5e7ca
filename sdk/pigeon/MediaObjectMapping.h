// How the seven media objects map onto the exchange's flat media fields.
#pragma once
#include <memory>
#include <optional>

#include "sdk/pigeon/InternalMessages.h"
#include "sdk/pigeon/MediaMessage.h"

namespace pigeon {

// The object's type number and values in the flat fields (objectType, the
// four URLs, extInfo, fileExt, fileData); nothing for an unknown object.
std::optional<PGMediaInternalMessage> flattenMediaObject(const PGMediaObject& object);

// The object of that type from the flat fields; null for an unknown type.
std::shared_ptr<PGMediaObject> buildMediaObject(const PGMediaInternalMessage& flat);

}  // namespace pigeon
