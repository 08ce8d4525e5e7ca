// One row of the leaderboard as the server sends it, every field a text.
#pragma once
#include <string>

#include "kite/foundation/Ref.h"

namespace Json {
class Value;
}

class EntityRanked : public kite::Ref {
public:
    static EntityRanked* create();
    bool init() { return true; }

    // Copies the four text members of a row object, each cut to a length a label can show; false
    // (the row left empty) when the row is not an object of four texts.
    bool readRow(const Json::Value& row);

    std::string oneself;    // "1" for the player's own row
    std::string cellphone;  // shown as received
    std::string ranked;     // "0": not ranked
    std::string score;

    static constexpr std::size_t kMaxIdentity = 20;  // characters
    static constexpr std::size_t kMaxNumber = 10;
};
