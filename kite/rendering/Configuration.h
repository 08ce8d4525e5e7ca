// Process-wide build facts, settings and GPU capabilities.
#pragma once
#include "kite/foundation/Ref.h"
#include "kite/foundation/Value.h"

#include <string>

namespace kite {

class Configuration : public Ref {
public:
    static Configuration* getInstance();
    static void destroyInstance();

    // Writes the build keys.
    bool init();

    // Queries the current GL context; may run again for a new context.
    void gatherGPUInfo();
    // The extension tests of gatherGPUInfo over a given extension string
    // (null counts as empty).
    void updateExtensionSupport(const char* extensions);

    // The whole value map as text, as a map value describes itself.
    std::string getInfo() const;
    // The stored value, or the default when the key is absent.
    Value getValue(const std::string& key, const Value& defaultValue = Value::Null) const;
    // Stores (or replaces) a value; settings the director reads at start-up go here.
    void setValue(const std::string& key, const Value& value);

    int getMaxTextureSize() const { return maxTextureSize_; }
    int getMaxTextureUnits() const { return maxTextureUnits_; }
    int getMaxSamplesAllowed() const { return maxSamplesAllowed_; }
    bool supportsNPOT() const { return supportsNPOT_; }
    bool supportsPVRTC() const { return supportsPVRTC_; }
    bool supportsETC() const { return false; }  // the ETC1 flag is only recorded
    bool supportsS3TC() const { return supportsS3TC_; }
    bool supportsATITC() const { return supportsATITC_; }
    bool supportsBGRA8888() const { return supportsBGRA8888_; }
    bool supportsDiscardFramebuffer() const { return supportsDiscardFramebuffer_; }
    bool supportsVertexArrayObject() const { return supportsVertexArrayObject_; }
    // 32-bit element indices (GL_OES_element_index_uint); off while the extensions are switched off.
    bool supportsElementIndexUint() const { return supportsElementIndexUint_; }

    int getMaxSupportDirLightInShader() const { return maxDirLightInShader_; }
    int getMaxSupportPointLightInShader() const { return maxPointLightInShader_; }
    int getMaxSupportSpotLightInShader() const { return maxSpotLightInShader_; }

    ~Configuration() override;

protected:
    Configuration() = default;

private:
    bool checkForGLExtension(const std::string& searchName) const;

    int maxTextureSize_ = 0;
    bool supportsPVRTC_ = false;
    bool supportsETC1_ = false;
    bool supportsS3TC_ = false;
    bool supportsATITC_ = false;
    bool supportsNPOT_ = false;
    bool supportsBGRA8888_ = false;
    bool supportsDiscardFramebuffer_ = false;
    bool supportsVertexArrayObject_ = false;
    bool supportsElementIndexUint_ = false;
    int maxSamplesAllowed_ = 0;
    int maxTextureUnits_ = 0;
    std::string glExtensions_;  // a copy: the driver's string lives only as long as its context
    int maxDirLightInShader_ = 1;
    int maxPointLightInShader_ = 1;
    int maxSpotLightInShader_ = 1;
    ValueMap valueDict_;
};

}  // namespace kite
