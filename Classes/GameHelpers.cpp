#include "Classes/GameHelpers.h"

#include <regex.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#include "Classes/GameRandom.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Value.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Animation.h"
#include "kite/scene/SpriteFrame.h"
#include "kite/scene/SpriteFrameCache.h"
#include "platform/Base64.h"

namespace {

constexpr const char* kWordTable = "Xml/ChineseWords.xml";

struct WordTable {
    bool loaded = false;
    kite::ValueMap words;
};

WordTable& wordTable() {
    static WordTable table;
    return table;
}

void loadWordTable(WordTable& table) {
    table.loaded = true;
    table.words.clear();
    kite::ValueVector root = kite::FileUtils::getInstance()->getValueVectorFromFile(kWordTable);
    if (root.empty() || root.front().getType() != kite::Value::Type::MAP) {
        kite::log("lookupWord: the word table \"%s\" is missing or holds no dictionary", kWordTable);
        return;
    }
    table.words = root.front().asValueMap();
}

bool isBase64Digit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

}  // namespace

std::string lookupWord(const std::string& key) {
    WordTable& table = wordTable();
    if (!table.loaded) loadWordTable(table);
    auto found = table.words.find(key);
    return found == table.words.end() ? std::string() : found->second.asString();
}

void reloadWordTable() { loadWordTable(wordTable()); }

kite::Animate* createFrameAnimation(const std::string& name, const std::string& prefix, float delay) {
    kite::SpriteFrameCache* cache = kite::SpriteFrameCache::getInstance();
    const std::string sheet = prefix + name + ".plist";
    cache->addSpriteFramesWithFile(sheet, prefix + name + ".pvr.ktz");
    kite::Vector<kite::SpriteFrame*> frames;
    for (int index = 0;; ++index) {
        kite::SpriteFrame* frame = cache->getSpriteFrameByName(name + std::to_string(index) + ".png");
        if (!frame) break;
        frames.pushBack(frame);
    }
    kite::Animation* animation = frames.empty() ? nullptr : kite::Animation::createWithSpriteFrames(frames, delay, 1);
    cache->removeSpriteFramesFromFile(sheet);
    if (!animation) {
        kite::log("createFrameAnimation: the sheet \"%s\" holds no frame %s0.png", sheet.c_str(), name.c_str());
        return nullptr;
    }
    return kite::Animate::create(animation);
}

kite::Animate* createFrameAnimation(const std::string& name, const std::string& prefix) {
    return createFrameAnimation(name, prefix, 0.1f);
}

std::string dateString() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%d%d%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return text;
}

int stringToInt(const std::string& text) {
    std::istringstream stream(text);
    int value = 0;
    stream >> value;
    return stream.fail() ? 0 : value;
}

std::string intToString(int value) { return std::to_string(value); }

void splitString(const std::string& text, const std::string& separator, std::vector<std::string>& pieces) {
    if (separator.empty()) {
        if (!text.empty()) pieces.push_back(text);
        return;
    }
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
}

std::string makeGuid() {
    game::seedRandom();
    std::array<int, 7> draws;
    for (int& draw : draws) draw = std::rand();
    char text[64];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%04X%04X%04X}", static_cast<unsigned>(draws[0]),
                  draws[1] & 0xffff, draws[2] & 0xffff, draws[3] & 0xffff, draws[4] & 0xffff, draws[5] & 0xffff,
                  draws[6] & 0xffff);
    return text;
}

bool regexMatch(const std::string& pattern, const std::string& text) {
    regex_t compiled;
    if (int status = regcomp(&compiled, pattern.c_str(), REG_EXTENDED | REG_NOSUB); status != 0) {
        char message[256];
        regerror(status, &compiled, message, sizeof message);
        kite::log("err:%s", message);
        return false;
    }
    const int status = regexec(&compiled, text.c_str(), 0, nullptr, 0);
    if (status == REG_NOMATCH) {
        kite::log("no match");
    } else if (status != 0) {
        char message[256];
        regerror(status, &compiled, message, sizeof message);
        kite::log("err:%s", message);
    }
    regfree(&compiled);
    return status == 0;
}

std::string base64Encode(const std::string& bytes) {
    return platform::base64Encode(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string base64Decode(const std::string& text) {
    std::string::size_type end = 0;
    while (end < text.size() && isBase64Digit(text[end])) ++end;
    if (end < text.size() && text[end] != '=')
        kite::log("base64Decode: decoding stops at a character outside the alphabet (code %d)",
                  static_cast<unsigned char>(text[end]));
    // A lone last digit carries no whole byte.
    if (end % 4 == 1) --end;
    const std::optional<std::vector<std::uint8_t>> bytes = platform::base64Decode(text.substr(0, end));
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}
