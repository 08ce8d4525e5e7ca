#include "Classes/EntityRanked.h"

#include <json/value.h>

#include "kite/foundation/Create.h"

namespace {

// The first characters of a UTF-8 text, never cutting one in two.
std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t characters = 0; end < text.size() && characters < count; ++characters) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    }
    return text.substr(0, end);
}

}  // namespace

EntityRanked* EntityRanked::create() { return kite::createAutoreleased<EntityRanked>(); }

bool EntityRanked::readRow(const Json::Value& row) {
    if (!row.isObject()) return false;
    for (const char* member : {"oneself", "cellphone", "ranked", "score"}) {
        if (!row[member].isString()) return false;
    }
    oneself = firstCharacters(row["oneself"].asString(), kMaxNumber);
    cellphone = firstCharacters(row["cellphone"].asString(), kMaxIdentity);
    ranked = firstCharacters(row["ranked"].asString(), kMaxNumber);
    score = firstCharacters(row["score"].asString(), kMaxNumber);
    return true;
}
