#include "kite/rendering/GLStateCache.h"

#include "kite/rendering/Configuration.h"
#include "tests/support/GLTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Every call that reaches "GL", in order.
std::vector<std::string> calls;

void record(const std::string& call) { calls.push_back(call); }

GLStateCache::GLCalls recorders() {
    GLStateCache::GLCalls r;
    r.useProgram = [](GLuint p) { record("useProgram " + std::to_string(p)); };
    r.deleteProgram = [](GLuint p) { record("deleteProgram " + std::to_string(p)); };
    r.enable = [](GLenum c) { record(c == GL_BLEND ? "enable blend" : "enable " + std::to_string(c)); };
    r.disable = [](GLenum c) { record(c == GL_BLEND ? "disable blend" : "disable " + std::to_string(c)); };
    r.blendFunc = [](GLenum s, GLenum d) { record("blendFunc " + std::to_string(s) + " " + std::to_string(d)); };
    r.activeTexture = [](GLenum u) { record("activeTexture " + std::to_string(u - GL_TEXTURE0)); };
    r.bindTexture = [](GLenum, GLuint t) { record("bindTexture " + std::to_string(t)); };
    r.deleteTextures = [](GLsizei, const GLuint* t) { record("deleteTexture " + std::to_string(*t)); };
    r.bindVertexArray = [](GLuint v) { record("bindVertexArray " + std::to_string(v)); };
    r.enableVertexAttribArray = [](GLuint i) { record("enableAttrib " + std::to_string(i)); };
    r.disableVertexAttribArray = [](GLuint i) { record("disableAttrib " + std::to_string(i)); };
    return r;
}

// Recorders need no context, but the configuration (asked by bindVAO) is
// gathered from the real one.
class GLStateCacheTest : public test::GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        calls.clear();
        GLStateCache::setGLCalls(recorders());
    }
};

TEST_F(GLStateCacheTest, SameProgramIsUsedOnce) {
    GLStateCache::useProgram(3);
    GLStateCache::useProgram(3);
    GLStateCache::useProgram(4);
    EXPECT_THAT(calls, ElementsAre("useProgram 3", "useProgram 4"));
}

TEST_F(GLStateCacheTest, InvalidateForgetsTheCurrentProgram) {
    GLStateCache::useProgram(3);
    GLStateCache::invalidate();
    GLStateCache::useProgram(3);
    EXPECT_THAT(calls, ElementsAre("useProgram 3", "useProgram 3"));
}

TEST_F(GLStateCacheTest, DeletingTheCurrentProgramForgetsIt) {
    GLStateCache::useProgram(3);
    GLStateCache::deleteProgram(3);
    GLStateCache::useProgram(3);
    EXPECT_THAT(calls, ElementsAre("useProgram 3", "deleteProgram 3", "useProgram 3"));
}

TEST_F(GLStateCacheTest, BlendOneZeroDisablesBlendingOnce) {
    GLStateCache::blendFunc(GL_ONE, GL_ZERO);
    GLStateCache::blendFunc(GL_ONE, GL_ZERO);
    EXPECT_THAT(calls, ElementsAre("disable blend"));
}

TEST_F(GLStateCacheTest, BlendPairIsSentOnlyWhenItChanges) {
    GLStateCache::blendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    GLStateCache::blendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    GLStateCache::blendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const std::string premultiplied = "blendFunc 1 " + std::to_string(GL_ONE_MINUS_SRC_ALPHA);
    const std::string straight =
        "blendFunc " + std::to_string(GL_SRC_ALPHA) + " " + std::to_string(GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_THAT(calls, ElementsAre("enable blend", premultiplied, "enable blend", straight));
}

TEST_F(GLStateCacheTest, SetBlendingIsNeverCached) {
    GLStateCache::setBlending(GL_ONE, GL_ZERO);
    GLStateCache::setBlending(GL_ONE, GL_ZERO);
    EXPECT_THAT(calls, ElementsAre("disable blend", "disable blend"));
}

TEST_F(GLStateCacheTest, TextureBindActivatesItsUnitOnlyWhenAnotherIsActive) {
    GLStateCache::bindTexture2DN(1, 4);
    calls.clear();
    GLStateCache::bindTexture2D(5);
    GLStateCache::bindTexture2D(5);
    GLStateCache::bindTexture2D(6);
    EXPECT_THAT(calls, ElementsAre("activeTexture 0", "bindTexture 5", "bindTexture 6"));
}

TEST_F(GLStateCacheTest, DeletedTextureIsBoundAgainOnEveryUnitThatHeldIt) {
    GLStateCache::bindTexture2DN(0, 5);
    GLStateCache::bindTexture2DN(2, 5);
    GLStateCache::deleteTexture(5);
    calls.clear();
    GLStateCache::bindTexture2DN(2, 5);
    GLStateCache::bindTexture2DN(0, 5);
    EXPECT_THAT(calls, ElementsAre("bindTexture 5", "activeTexture 0", "bindTexture 5"));
}

TEST_F(GLStateCacheTest, TextureUnitsAreRememberedSeparately) {
    GLStateCache::bindTexture2DN(1, 7);
    GLStateCache::bindTexture2DN(0, 7);
    GLStateCache::bindTexture2DN(1, 7);
    EXPECT_THAT(calls, ElementsAre("activeTexture 1", "bindTexture 7", "activeTexture 0", "bindTexture 7"));
}

TEST_F(GLStateCacheTest, OnlyChangedAttributeArraysAreSwitched) {
    GLStateCache::enableVertexAttribs(3);
    calls.clear();
    GLStateCache::enableVertexAttribs(7);
    GLStateCache::enableVertexAttribs(7);
    GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POSITION);
    // No vertex array object was bound, so unbinding one sends nothing either.
    EXPECT_THAT(calls, ElementsAre("enableAttrib 2", "disableAttrib 1", "disableAttrib 2"));
}

TEST_F(GLStateCacheTest, InvalidateForgetsEnabledAttributeArrays) {
    GLStateCache::enableVertexAttribs(1);
    GLStateCache::invalidate();
    calls.clear();
    GLStateCache::enableVertexAttribs(1);
    EXPECT_THAT(calls, ElementsAre("enableAttrib 0"));
}

TEST_F(GLStateCacheTest, VertexArrayBindingIsSkippedWhenUnchanged) {
    ASSERT_TRUE(Configuration::getInstance()->supportsVertexArrayObject());
    GLStateCache::bindVAO(9);
    GLStateCache::bindVAO(9);
    GLStateCache::enableVertexAttribs(0);  // unbinds the array first
    GLStateCache::bindVAO(0);
    EXPECT_THAT(calls, ElementsAre("bindVertexArray 9", "bindVertexArray 0"));
}

TEST_F(GLStateCacheTest, WithoutVertexArrayObjectsBindingNeverReachesGL) {
    setGLExtensionsEnabled(false);
    ASSERT_FALSE(Configuration::getInstance()->supportsVertexArrayObject());
    GLStateCache::bindVAO(9);
    GLStateCache::bindVAO(0);
    GLStateCache::enableVertexAttribs(0);
    EXPECT_THAT(calls, IsEmpty());
}

TEST_F(GLStateCacheTest, InvalidateKeepsTheActiveTextureUnit) {
    GLStateCache::bindTexture2DN(3, 5);
    GLStateCache::invalidate();
    calls.clear();
    GLStateCache::bindTexture2DN(3, 5);
    EXPECT_THAT(calls, ElementsAre("bindTexture 5"));
}

}  // namespace
}  // namespace kite
