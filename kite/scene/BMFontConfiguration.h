// A parsed bitmap-font description (text or binary "BMF" form): characters, kerning pairs, the glyph image.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Rect.h"

namespace kite {

struct BMFontDef {
    std::uint32_t charID = 0;
    Rect rect;  // pixels in the image
    std::int16_t xOffset = 0;
    std::int16_t yOffset = 0;
    std::int16_t xAdvance = 0;
};

struct BMFontPadding {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

class BMFontConfiguration : public Ref {
public:
    // Parses the file; null (with a log line) when it yields no characters.
    static BMFontConfiguration* create(const std::string& fntFile);

    BMFontConfiguration();
    ~BMFontConfiguration() override;

    // False when the file cannot be read or is not a description.
    bool initWithFNTfile(const std::string& fntFile);
    // The parsers, over the file's bytes; fntFile resolves the image name.
    bool parseConfigFile(const std::string& contents, const std::string& fntFile);
    bool parseBinaryConfigFile(const unsigned char* data, std::size_t size, const std::string& fntFile);

    std::string description() const;

    // Null when the character is not defined.
    const BMFontDef* getFontDef(std::uint32_t charID) const;
    // Calls visit for every character definition, in table order.
    template <class Visitor>
    void forEachFontDef(Visitor&& visit) const;
    // The stored amount for the pair, else 0.
    int getKerningAmount(std::uint32_t first, std::uint32_t second) const;
    bool hasKerning() const { return _kerningDictionary != nullptr; }

    int getCommonHeight() const { return _commonHeight; }
    const BMFontPadding& getPadding() const { return _padding; }
    const std::string& getAtlasName() const { return _atlasName; }
    void setAtlasName(const std::string& name) { _atlasName = name; }
    const std::set<unsigned int>* getCharacterSet() const { return _characterSet.get(); }

    // Implementation records of the two tables.
    struct FontDefEntry;
    struct KerningEntry;

private:
    void parseInfoArguments(const char* line);
    void parseCommonArguments(const char* line);
    void parseImageFileName(const char* line, const std::string& fntFile);
    void parseCharacterDefinition(const char* line);
    void parseKerningEntry(const char* line);
    void addCharacter(const BMFontDef& def);
    void addKerning(std::uint32_t first, std::uint32_t second, int amount);
    bool parseBinaryBlock(int type, const unsigned char* block, std::size_t size, const std::string& fntFile);
    void purgeTables();
    FontDefEntry* firstFontDef() const { return _fontDefDictionary; }
    static const FontDefEntry* nextFontDef(const FontDefEntry* entry);
    static const BMFontDef& fontDefOf(const FontDefEntry* entry);

    FontDefEntry* _fontDefDictionary = nullptr;
    int _commonHeight = 0;
    BMFontPadding _padding;
    std::string _atlasName;
    KerningEntry* _kerningDictionary = nullptr;
    std::unique_ptr<std::set<unsigned int>> _characterSet;
    bool tableFull_ = false;
};

template <class Visitor>
void BMFontConfiguration::forEachFontDef(Visitor&& visit) const {
    for (const FontDefEntry* entry = firstFontDef(); entry; entry = nextFontDef(entry)) visit(fontDefOf(entry));
}

// The cached configuration of the file, parsed on first use; null when it cannot be parsed.
BMFontConfiguration* FNTConfigLoadFile(const std::string& fntFile);
// Releases every cached configuration.
void FNTConfigRemoveCache();

}  // namespace kite
