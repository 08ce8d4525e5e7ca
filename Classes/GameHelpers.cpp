#include "Classes/GameHelpers.h"

#include <regex.h>

#include <algorithm>
#include <array>
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

namespace {

constexpr const char* kWordTable = "Xml/ChineseWords.xml";
constexpr const char* kBase64Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

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

int base64Digit(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
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
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t count = std::min<std::size_t>(3, bytes.size() - i);
        unsigned group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            text += k <= count ? kBase64Alphabet[(group >> (18 - 6 * k)) & 0x3f] : '=';
    }
    return text;
}

std::string base64Decode(const std::string& text) {
    std::string bytes;
    unsigned group = 0;
    int digits = 0;
    for (char c : text) {
        if (c == '=') break;
        const int digit = base64Digit(c);
        if (digit < 0) {
            kite::log("base64Decode: decoding stops at a character outside the alphabet (code %d)",
                      static_cast<unsigned char>(c));
            break;
        }
        group = (group << 6) | static_cast<unsigned>(digit);
        if (++digits == 4) {
            bytes += static_cast<char>((group >> 16) & 0xff);
            bytes += static_cast<char>((group >> 8) & 0xff);
            bytes += static_cast<char>(group & 0xff);
            group = 0;
            digits = 0;
        }
    }
    // A last group of two or three digits carries one or two bytes.
    if (digits >= 2) {
        group <<= 6 * (4 - digits);
        bytes += static_cast<char>((group >> 16) & 0xff);
        if (digits == 3) bytes += static_cast<char>((group >> 8) & 0xff);
    }
    return bytes;
}
