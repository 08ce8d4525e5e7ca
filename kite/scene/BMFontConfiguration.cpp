#include "kite/scene/BMFontConfiguration.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "kite/foundation/Data.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "platform/PrintableText.h"

namespace {
// A table that cannot grow refuses the new entry instead of ending the process.
bool hashAddFailed = false;
}  // namespace

#define HASH_NONFATAL_OOM 1
#define uthash_nonfatal_oom(obj) (hashAddFailed = true)
#include <uthash.h>

namespace kite {

struct BMFontConfiguration::FontDefEntry {
    std::uint32_t key;
    BMFontDef fontDef;
    UT_hash_handle hh;
};

struct BMFontConfiguration::KerningEntry {
    std::uint32_t key;  // (first << 16) | (second & 0xFFFF)
    int amount;
    UT_hash_handle hh;
};

namespace {

// Text lines are read into a buffer of this size; longer lines are cut.
constexpr std::size_t kLineBufferSize = 512;

// The binary form's fields are 16 bits: no description places a character past this pixel of its image.
constexpr float kLastTexturePixel = 65535.0f;

std::uint32_t kerningKey(std::uint32_t first, std::uint32_t second) { return (first << 16) | (second & 0xFFFF); }

// The text after `key`, searched from `cursor`; null when the key is missing.
const char* valueAfter(const char* cursor, const char* key) {
    if (!cursor) return nullptr;
    const char* found = std::strstr(cursor, key);
    return found ? found + std::strlen(key) : nullptr;
}

// Reads an integer after the key; advances the cursor past it. False when missing or not a number.
bool readLong(const char*& cursor, const char* key, long& out) {
    const char* value = valueAfter(cursor, key);
    if (!value) return false;
    char* end = nullptr;
    out = std::strtol(value, &end, 10);
    if (end == value) return false;
    cursor = end;
    return true;
}

// A number that is not finite is read (so that the caller can name it) but reported in `finite`.
bool readFloat(const char*& cursor, const char* key, float& out, bool& finite) {
    const char* value = valueAfter(cursor, key);
    if (!value) return false;
    char* end = nullptr;
    out = strtofPoint(value, &end);  // a description reads the same under any locale
    if (end == value) return false;
    finite = finite && std::isfinite(out);
    cursor = end;
    return true;
}

// The rectangle lies on a texture: from pixel 0 to at most the last pixel any texture can have.
bool onAnyTexture(const Rect& r) {
    return r.origin.x >= 0.0f && r.origin.y >= 0.0f && r.size.width >= 0.0f && r.size.height >= 0.0f &&
           r.origin.x + r.size.width <= kLastTexturePixel && r.origin.y + r.size.height <= kLastTexturePixel;
}

bool readShort(const char*& cursor, const char* key, std::int16_t& out) {
    long value = 0;
    if (!readLong(cursor, key, value) || value < INT16_MIN || value > INT16_MAX) return false;
    out = static_cast<std::int16_t>(value);
    return true;
}

bool startsWith(const char* line, const char* prefix) { return std::strncmp(line, prefix, std::strlen(prefix)) == 0; }

std::uint32_t readLE(const unsigned char* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

}  // namespace

BMFontConfiguration* BMFontConfiguration::create(const std::string& fntFile) {
    auto* config = new (std::nothrow) BMFontConfiguration();
    if (config && config->initWithFNTfile(fntFile)) {
        config->autorelease();
        return config;
    }
    delete config;
    return nullptr;
}

BMFontConfiguration::BMFontConfiguration() = default;

BMFontConfiguration::~BMFontConfiguration() {
    purgeTables();
    _atlasName.clear();
}

void BMFontConfiguration::purgeTables() {
    FontDefEntry *def = nullptr, *nextDef = nullptr;
    HASH_ITER(hh, _fontDefDictionary, def, nextDef) {
        HASH_DEL(_fontDefDictionary, def);
        delete def;
    }
    KerningEntry *kerning = nullptr, *nextKerning = nullptr;
    HASH_ITER(hh, _kerningDictionary, kerning, nextKerning) {
        HASH_DEL(_kerningDictionary, kerning);
        delete kerning;
    }
}

std::string BMFontConfiguration::description() const {
    return StringUtils::format("<BMFontConfiguration | Glphys:%d Kernings:%d | Image = %s>",
                               static_cast<int>(HASH_COUNT(_fontDefDictionary)),
                               static_cast<int>(HASH_COUNT(_kerningDictionary)), _atlasName.c_str());
}

bool BMFontConfiguration::initWithFNTfile(const std::string& fntFile) {
    Data data = FileUtils::getInstance()->getDataFromFile(fntFile);
    if (data.isNull()) {
        log("BMFontConfiguration: cannot read %s", platform::printableText(fntFile).c_str());
        return false;
    }
    const unsigned char* bytes = data.getBytes();
    const auto size = static_cast<std::size_t>(data.getSize());
    _characterSet = std::make_unique<std::set<unsigned int>>();
    const bool binary = size >= 3 && std::memcmp(bytes, "BMF", 3) == 0;
    const bool parsed = binary ? parseBinaryConfigFile(bytes, size, fntFile)
                               : parseConfigFile(std::string(reinterpret_cast<const char*>(bytes), size), fntFile);
    if (!parsed || _characterSet->empty()) {
        log("BMFontConfiguration: %s defines no characters", platform::printableText(fntFile).c_str());
        return false;
    }
    return true;
}

bool BMFontConfiguration::parseConfigFile(const std::string& contents, const std::string& fntFile) {
    if (contents.empty() || contents[0] == '\0') {
        log("BMFontConfiguration: %s is not a font description", platform::printableText(fntFile).c_str());
        return false;
    }
    if (!_characterSet) _characterSet = std::make_unique<std::set<unsigned int>>();
    std::size_t start = 0;
    char line[kLineBufferSize];
    while (start < contents.size()) {
        std::size_t end = contents.find('\n', start);
        if (end == std::string::npos) end = contents.size();  // a last line without a line feed counts too
        const std::size_t length = std::min(end - start, kLineBufferSize - 1);
        std::memcpy(line, contents.data() + start, length);
        line[length] = '\0';
        start = end + 1;

        if (startsWith(line, "info face")) {
            parseInfoArguments(line);
        } else if (startsWith(line, "common lineHeight")) {
            parseCommonArguments(line);
        } else if (startsWith(line, "page id")) {
            parseImageFileName(line, fntFile);
        } else if (startsWith(line, "chars c")) {
            // The count is not needed: the table grows as characters come.
        } else if (startsWith(line, "char")) {
            parseCharacterDefinition(line);
        } else if (startsWith(line, "kerning first")) {
            parseKerningEntry(line);
        }
    }
    return true;
}

void BMFontConfiguration::parseInfoArguments(const char* line) {
    const char* cursor = valueAfter(line, "padding=");
    if (!cursor) return;
    long sides[4] = {0, 0, 0, 0};  // top, right, bottom, left
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *cursor++ != ',') return;
        char* end = nullptr;
        sides[i] = std::strtol(cursor, &end, 10);
        if (end == cursor) return;
        if (sides[i] < INT16_MIN || sides[i] > INT16_MAX) {
            log("BMFontConfiguration: padding out of range");
            return;
        }
        cursor = end;
    }
    _padding.top = static_cast<int>(sides[0]);
    _padding.right = static_cast<int>(sides[1]);
    _padding.bottom = static_cast<int>(sides[2]);
    _padding.left = static_cast<int>(sides[3]);
}

void BMFontConfiguration::parseCommonArguments(const char* line) {
    const char* cursor = line;
    long height = 0;
    if (!readLong(cursor, "lineHeight=", height) || height < 0 || height > INT16_MAX) {
        log("BMFontConfiguration: line height missing or out of range");
        return;
    }
    _commonHeight = static_cast<int>(height);
}

void BMFontConfiguration::parseImageFileName(const char* line, const std::string& fntFile) {
    const char* open = std::strchr(line, '"');
    const char* close = open ? std::strchr(open + 1, '"') : nullptr;
    if (!close) {
        log("BMFontConfiguration: page line without a quoted file name");
        return;
    }
    const std::string fileName(open + 1, close);
    _atlasName = FileUtils::getInstance()->fullPathFromRelativeFile(fileName, fntFile);
}

void BMFontConfiguration::parseCharacterDefinition(const char* line) {
    const char* cursor = line;
    BMFontDef def;
    long id = 0;
    bool finite = true;
    const bool complete =
        readLong(cursor, "id=", id) && readFloat(cursor, "x=", def.rect.origin.x, finite) &&
        readFloat(cursor, "y=", def.rect.origin.y, finite) && readFloat(cursor, "width=", def.rect.size.width, finite) &&
        readFloat(cursor, "height=", def.rect.size.height, finite) && readShort(cursor, "xoffset=", def.xOffset) &&
        readShort(cursor, "yoffset=", def.yOffset) && readShort(cursor, "xadvance=", def.xAdvance);
    if (!complete || id < 0 || id > static_cast<long>(UINT32_MAX)) {
        log("BMFontConfiguration: malformed character line skipped");
        return;
    }
    def.charID = static_cast<std::uint32_t>(id);
    if (!finite) {
        log("BMFontConfiguration: character %u has a number that is not finite; skipped", def.charID);
        return;
    }
    addCharacter(def);
}

void BMFontConfiguration::parseKerningEntry(const char* line) {
    const char* cursor = line;
    long first = 0, second = 0, amount = 0;
    if (!readLong(cursor, "first=", first) || !readLong(cursor, "second=", second) ||
        !readLong(cursor, "amount=", amount)) {
        log("BMFontConfiguration: malformed kerning line skipped");
        return;
    }
    const long lastId = static_cast<long>(UINT32_MAX);
    if (first < 0 || first > lastId || second < 0 || second > lastId || amount < INT16_MIN || amount > INT16_MAX) {
        log("BMFontConfiguration: kerning pair out of range skipped");
        return;
    }
    addKerning(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(second), static_cast<int>(amount));
}

void BMFontConfiguration::addCharacter(const BMFontDef& def) {
    if (!onAnyTexture(def.rect)) {
        log("BMFontConfiguration: character %u lies outside any texture (%g, %g, %g x %g); skipped", def.charID,
            static_cast<double>(def.rect.origin.x), static_cast<double>(def.rect.origin.y),
            static_cast<double>(def.rect.size.width), static_cast<double>(def.rect.size.height));
        return;
    }
    FontDefEntry* entry = nullptr;
    const std::uint32_t key = def.charID;
    HASH_FIND(hh, _fontDefDictionary, &key, sizeof(key), entry);
    if (entry) {
        entry->fontDef = def;
    } else {
        entry = new (std::nothrow) FontDefEntry{key, def, {}};
        if (!entry) return;
        hashAddFailed = false;
        HASH_ADD(hh, _fontDefDictionary, key, sizeof(entry->key), entry);
        if (hashAddFailed) {
            delete entry;
            if (!tableFull_) log("BMFontConfiguration: out of memory, characters dropped");
            tableFull_ = true;
            return;
        }
    }
    _characterSet->insert(def.charID);
}

void BMFontConfiguration::addKerning(std::uint32_t first, std::uint32_t second, int amount) {
    const std::uint32_t key = kerningKey(first, second);
    KerningEntry* entry = nullptr;
    HASH_FIND(hh, _kerningDictionary, &key, sizeof(key), entry);
    if (entry) {
        entry->amount = amount;
        return;
    }
    entry = new (std::nothrow) KerningEntry{key, amount, {}};
    if (!entry) return;
    hashAddFailed = false;
    HASH_ADD(hh, _kerningDictionary, key, sizeof(entry->key), entry);
    if (hashAddFailed) delete entry;
}

const BMFontDef* BMFontConfiguration::getFontDef(std::uint32_t charID) const {
    FontDefEntry* entry = nullptr;
    HASH_FIND(hh, _fontDefDictionary, &charID, sizeof(charID), entry);
    return entry ? &entry->fontDef : nullptr;
}

const BMFontConfiguration::FontDefEntry* BMFontConfiguration::nextFontDef(const FontDefEntry* entry) {
    return static_cast<const FontDefEntry*>(entry->hh.next);
}

const BMFontDef& BMFontConfiguration::fontDefOf(const FontDefEntry* entry) { return entry->fontDef; }

int BMFontConfiguration::getKerningAmount(std::uint32_t first, std::uint32_t second) const {
    if (!_kerningDictionary) return 0;
    const std::uint32_t key = kerningKey(first, second);
    KerningEntry* entry = nullptr;
    HASH_FIND(hh, _kerningDictionary, &key, sizeof(key), entry);
    return entry ? entry->amount : 0;
}

// ---- binary form

bool BMFontConfiguration::parseBinaryConfigFile(const unsigned char* data, std::size_t size,
                                                const std::string& fntFile) {
    if (!_characterSet) _characterSet = std::make_unique<std::set<unsigned int>>();
    std::size_t offset = 4;  // "BMF" and the version
    while (offset < size) {
        if (size - offset < 5) {
            log("BMFontConfiguration: %s ends inside a block header", platform::printableText(fntFile).c_str());
            break;
        }
        const int type = data[offset];
        const std::uint32_t blockSize = readLE(data + offset + 1, 4);
        offset += 5;
        if (blockSize > size - offset) {
            log("BMFontConfiguration: block %d of %s runs past the end of the file", type,
                platform::printableText(fntFile).c_str());
            break;
        }
        if (!parseBinaryBlock(type, data + offset, blockSize, fntFile)) break;
        offset += blockSize;
    }
    return true;
}

bool BMFontConfiguration::parseBinaryBlock(int type, const unsigned char* block, std::size_t size,
                                           const std::string& fntFile) {
    switch (type) {
        case 1:  // info
            if (size >= 11) {
                _padding.top = block[7];
                _padding.right = block[8];
                _padding.bottom = block[9];
                _padding.left = block[10];
            }
            return true;
        case 2:  // common
            if (size >= 2) _commonHeight = static_cast<int>(readLE(block, 2));
            return true;
        case 3: {  // pages: the first zero-terminated name
            const void* zero = std::memchr(block, '\0', size);
            if (!zero) {
                log("BMFontConfiguration: page name without an end in %s", platform::printableText(fntFile).c_str());
                return false;
            }
            const std::string fileName(reinterpret_cast<const char*>(block));
            _atlasName = FileUtils::getInstance()->fullPathFromRelativeFile(fileName, fntFile);
            return true;
        }
        case 4:  // chars, 20 bytes each
            for (std::size_t at = 0; at + 20 <= size; at += 20) {
                const unsigned char* record = block + at;
                BMFontDef def;
                def.charID = readLE(record, 4);
                def.rect = Rect(static_cast<float>(readLE(record + 4, 2)), static_cast<float>(readLE(record + 6, 2)),
                                static_cast<float>(readLE(record + 8, 2)), static_cast<float>(readLE(record + 10, 2)));
                def.xOffset = static_cast<std::int16_t>(readLE(record + 12, 2));
                def.yOffset = static_cast<std::int16_t>(readLE(record + 14, 2));
                def.xAdvance = static_cast<std::int16_t>(readLE(record + 16, 2));
                addCharacter(def);
            }
            return true;
        case 5:  // kerning pairs, 10 bytes each
            for (std::size_t at = 0; at + 10 <= size; at += 10) {
                const unsigned char* record = block + at;
                addKerning(readLE(record, 4), readLE(record + 4, 4), static_cast<std::int16_t>(readLE(record + 8, 2)));
            }
            return true;
        default: return true;
    }
}

// ---- the cache of parsed files

namespace {

std::unordered_map<std::string, BMFontConfiguration*>*& configurationCache() {
    static std::unordered_map<std::string, BMFontConfiguration*>* cache = nullptr;
    return cache;
}

}  // namespace

BMFontConfiguration* FNTConfigLoadFile(const std::string& fntFile) {
    auto*& cache = configurationCache();
    if (!cache) {
        cache = new (std::nothrow) std::unordered_map<std::string, BMFontConfiguration*>();
        if (!cache) return nullptr;
        cache->max_load_factor(1.0f);
    }
    auto it = cache->find(fntFile);
    if (it != cache->end()) return it->second;
    BMFontConfiguration* config = BMFontConfiguration::create(fntFile);
    if (!config) return nullptr;
    config->retain();
    (*cache)[fntFile] = config;
    return config;
}

void FNTConfigRemoveCache() {
    auto*& cache = configurationCache();
    if (!cache) return;
    for (auto& entry : *cache) entry.second->release();
    delete cache;
    cache = nullptr;
}

}  // namespace kite
