// Reading and writing XML property lists as kite::Value trees.
#pragma once
#include "kite/foundation/Value.h"

#include <cstddef>
#include <string>

namespace kite {

class PropertyList {
public:
    // Parses an XML property list. On success `root` holds its top value
    // (usually a MAP or a VECTOR). Dates and data blobs have no Value kind:
    // their dictionary entries and array elements are left out. A damaged
    // document gives false with a log line naming `source` and leaves `root`
    // NONE.
    // With BadValues::Skip, an integer or real whose text has no reading
    // ("12a") leaves out just its entry, with a log line.
    enum class BadValues { Refuse, Skip };
    static bool parse(const char* bytes, std::size_t size, Value& root, const char* source = "data",
                      BadValues badValues = BadValues::Refuse);

    // The XML text of a property list whose top value is `root`. Keys are
    // written sorted so the same map always gives the same bytes. NONE, BYTE
    // and integer-keyed maps have no property-list form and are skipped.
    // Text made only of white space is written as character references so it
    // reads back whole. NUL has no XML form: it is left out of the text.
    static std::string serialize(const Value& root);
    static std::string serialize(const ValueMap& map);
    static std::string serialize(const ValueVector& vector);

    // Deeper nesting than this is refused as hostile.
    static constexpr int kMaxDepth = 100;
};

}  // namespace kite
