// The quad particle system's own GL objects: made at the total's size, refreshed after every step, renewed when
// the total grows, given up inside a batch and deleted with the system.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "SceneDrawSupport.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/ParticleBatchNode.h"
#include "kite/scene/ParticleExamples.h"

namespace kite {
namespace {

class ParticleSystemBuffersTest : public test::SceneDrawTest {
protected:
    static void run(ParticleSystem* system, int frames) {
        for (int i = 0; i < frames; ++i) system->update(1.0f / 60.0f);
    }
    static GLint sizeOf(GLenum target, GLuint buffer) {
        GLint size = -1;
        glBindBuffer(target, buffer);
        glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
        glBindBuffer(target, 0);
        return size;
    }
    // Draws the system's live quads straight from its own buffers, as the renderer would place them.
    static void drawFromOwnBuffers(ParticleSystemQuad* system) {
        GLProgram* program =
            GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR);
        program->use();
        program->setUniformsForBuiltins(system->getNodeToParentTransform());
        GLStateCache::bindTexture2D(system->getTexture()->getName());
        GLStateCache::blendFunc(system->getBlendFunc().src, system->getBlendFunc().dst);
        GLStateCache::bindVAO(0);
        GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
        glBindBuffer(GL_ARRAY_BUFFER, system->getVertexBufferName());
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, system->getIndexBufferName());
        const auto stride = static_cast<GLsizei>(sizeof(PosColorTexVertex));
        glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
        glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_COLOR, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                              reinterpret_cast<const void*>(12));
        glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_TEX_COORD, 2, GL_FLOAT, GL_FALSE, stride,
                              reinterpret_cast<const void*>(16));
        glDrawElements(GL_TRIANGLES, system->getParticleIndex() * 6, GL_UNSIGNED_SHORT, nullptr);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
};

TEST_F(ParticleSystemBuffersTest, TheVertexBufferHoldsWhatTheLastStepDrew) {
    std::srand(21);
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(100);
    explosion->setPosition(32, 32);
    ASSERT_NE(explosion->getVertexBufferName(), 0u);
    EXPECT_EQ(sizeOf(GL_ARRAY_BUFFER, explosion->getVertexBufferName()), 100 * 96);
    EXPECT_EQ(sizeOf(GL_ELEMENT_ARRAY_BUFFER, explosion->getIndexBufferName()), 100 * 12);
    EXPECT_EQ(explosion->getVertexArrayName() != 0, Configuration::getInstance()->supportsVertexArrayObject());
    run(explosion, 20);
    drawFrame(explosion);
    const std::vector<std::uint8_t> drawn = readFrame();

    glClear(GL_COLOR_BUFFER_BIT);
    drawFromOwnBuffers(explosion);
    const std::vector<std::uint8_t> uploaded = readFrame();
    saveFrame();
    ASSERT_EQ(uploaded.size(), drawn.size());
    int lit = 0, differing = 0;
    for (std::size_t i = 0; i < drawn.size(); i += 4) {
        lit += drawn[i] != 0;
        differing += std::abs(drawn[i] - uploaded[i]) > 2;
    }
    EXPECT_GT(lit, 100);
    EXPECT_LT(differing, lit / 50);  // the same picture, but for rounding on a few edge pixels
}

TEST_F(ParticleSystemBuffersTest, GrowingTheTotalRenewsTheBuffersAtTheNewSize) {
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    const GLuint before = explosion->getVertexBufferName();
    explosion->setTotalParticles(10);  // within the allocation: the buffers stay
    EXPECT_EQ(explosion->getVertexBufferName(), before);
    explosion->setTotalParticles(40);
    EXPECT_FALSE(glIsBuffer(before));
    ASSERT_NE(explosion->getVertexBufferName(), 0u);
    EXPECT_EQ(sizeOf(GL_ARRAY_BUFFER, explosion->getVertexBufferName()), 40 * 96);
    EXPECT_EQ(sizeOf(GL_ELEMENT_ARRAY_BUFFER, explosion->getIndexBufferName()), 40 * 12);
}

TEST_F(ParticleSystemBuffersTest, ABatchTakesTheBuffersAwayAndLeavingItBringsThemBack) {
    ParticleBatchNode* batch = ParticleBatchNode::createWithTexture(defaultParticleTexture());
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(15);
    const GLuint vertices = explosion->getVertexBufferName();
    const GLuint indices = explosion->getIndexBufferName();
    batch->addChild(explosion);
    EXPECT_EQ(explosion->getVertexBufferName(), 0u);
    EXPECT_EQ(explosion->getIndexBufferName(), 0u);
    EXPECT_EQ(explosion->getVertexArrayName(), 0u);
    EXPECT_FALSE(glIsBuffer(vertices));
    EXPECT_FALSE(glIsBuffer(indices));

    RefPtr<ParticleExplosion> kept(explosion);
    batch->removeChild(explosion, true);
    ASSERT_NE(explosion->getVertexBufferName(), 0u);
    EXPECT_EQ(sizeOf(GL_ARRAY_BUFFER, explosion->getVertexBufferName()), 15 * 96);
    const GLuint last = explosion->getVertexBufferName();
    kept.reset();
    PoolManager::getInstance()->getCurrentPool()->clear();  // the system goes
    EXPECT_FALSE(glIsBuffer(last));
}

}  // namespace
}  // namespace kite
