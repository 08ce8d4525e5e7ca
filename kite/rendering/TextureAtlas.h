// Quads that all sample one texture, mirrored in GL buffers and drawn in one call.
#pragma once
#include <GLES2/gl2.h>
#include <sys/types.h>

#include <string>

#include "kite/foundation/Ref.h"
#include "kite/rendering/ktTypes.h"

namespace kite {

class Texture2D;

class TextureAtlas : public Ref {
public:
    // Largest capacity that 16-bit indices can address (four vertices a quad).
    static constexpr ssize_t MAX_CAPACITY = 65536 / 4;

    static TextureAtlas* createWithTexture(Texture2D* texture, ssize_t capacity);

    TextureAtlas() = default;
    ~TextureAtlas() override;

    // False (and an empty atlas) when the memory cannot be had or the capacity
    // is beyond what 16-bit indices address.
    bool initWithTexture(Texture2D* texture, ssize_t capacity);

    void updateQuad(const PosColorTexQuad* quad, ssize_t index);
    void insertQuad(const PosColorTexQuad* quad, ssize_t index);
    void removeQuadAtIndex(ssize_t index);
    void removeAllQuads() { totalQuads_ = 0; }
    void increaseTotalQuadsWith(ssize_t amount) { totalQuads_ += amount; }
    bool resizeCapacity(ssize_t newCapacity);

    void drawQuads() { drawNumberOfQuads(totalQuads_, 0); }
    void drawNumberOfQuads(ssize_t numberOfQuads, ssize_t start);

    ssize_t getTotalQuads() const { return totalQuads_; }
    ssize_t getCapacity() const { return capacity_; }
    Texture2D* getTexture() const { return texture_; }
    void setTexture(Texture2D* texture);
    // Marks the atlas dirty: the caller edits the quads in place.
    PosColorTexQuad* getQuads() {
        dirty_ = true;
        return quads_;
    }
    bool isDirty() const { return dirty_; }
    void setDirty(bool dirty) { dirty_ = dirty; }

    virtual std::string description() const;

private:
    TextureAtlas(const TextureAtlas&) = delete;
    TextureAtlas& operator=(const TextureAtlas&) = delete;

    void setupIndices();
    void setupBuffers();
    void uploadBuffers();
    void freeStorage();

    GLushort* indices_ = nullptr;
    GLuint vaoName_ = 0;
    GLuint buffersVBO_[2] = {0, 0};
    bool dirty_ = false;
    ssize_t totalQuads_ = 0;
    ssize_t capacity_ = 0;
    Texture2D* texture_ = nullptr;
    PosColorTexQuad* quads_ = nullptr;
    bool usesVAO_ = false;  // decided when the buffers are made
};

}  // namespace kite
