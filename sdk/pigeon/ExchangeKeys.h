// Keys, command codes and limits of the exchange dictionary, and the check of a received one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/PlistValue.h"

namespace pigeon {
namespace exchange {

using Dictionary = platform::PlistValue::Dictionary;

// Command codes, written in "command" as unsigned decimals.
enum Command : std::uint64_t {
    kMediaMessage = 1010,
    kTextMessage = 1020,
    kAuthRequest = 1030,
    kShowMessageResponse = 1070,
    kGetMessageRequest = 2000,
    kSendMessageResponseWithLocale = 2010,
    kSendMessageResponse = 2020,
    kAuthResponse = 2030,
    kLaunchRequest = 2040,
};

// Media object types, written in "objectType".
enum ObjectType : std::uint64_t {
    kImageObject = 2,
    kMusicObject = 3,
    kVideoObject = 4,
    kWebpageObject = 5,
    kFileObject = 6,
    kAppExtendObject = 7,
    kEmoticonObject = 8,
};

constexpr char kSdkVersion[] = "1.5";

// Lengths in characters (UTF-16 units, as the messenger counts them) and bytes.
constexpr std::size_t kMaxScopeLength = 1024;
constexpr std::size_t kMaxStateLength = 1024;
constexpr std::size_t kMaxTextLength = 10240;
constexpr std::size_t kMaxTitleLength = 512;
constexpr std::size_t kMaxDescriptionLength = 1024;
constexpr std::size_t kMaxThumbDataSize = 32768;
constexpr std::size_t kMaxMediaTagNameLength = 64;
constexpr std::size_t kMaxMessageExtLength = 2048;
constexpr std::size_t kMaxMessageActionLength = 2048;
constexpr std::size_t kMaxUrlLength = 10240;
constexpr std::size_t kMaxExtInfoLength = 2048;
constexpr std::size_t kMaxFileExtLength = 64;
constexpr std::size_t kMaxFileDataSize = 10485760;

// Valid UTF-8 of at most `limit` UTF-16 units.
bool fitsLength(const std::string& text, std::size_t limit);

// Whether a dictionary from another program may be read at all: every key
// this codec reads holds a value of its type (UTF-8 text or bytes) and the
// numbers parse. Logs what is wrong and answers false.
bool isAcceptableReceived(const Dictionary& dictionary);

// The value of a key when it is text / bytes, else null.
const std::string* stringAt(const Dictionary& dictionary, const char* key);
const platform::PlistValue::Data* dataAt(const Dictionary& dictionary, const char* key);

// A decimal number of the given range from text, as written by "%lu" and "%d".
std::optional<std::uint64_t> parseUnsigned(const std::string& text);
std::optional<std::int32_t> parseInt32(const std::string& text);

}  // namespace exchange
}  // namespace pigeon
