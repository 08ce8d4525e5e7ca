#include "kite/rendering/Configuration.h"

#include "tests/support/GLTest.h"

#include <GLES2/gl2.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace kite {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(Configuration, BuildKeysAreThereBeforeAnyGLContext) {
    Configuration::destroyInstance();
    Configuration* configuration = Configuration::getInstance();
    EXPECT_EQ(configuration->getValue("kite.build_type").asString(), "RELEASE");
    EXPECT_EQ(configuration->getValue("kite.version").asString(), "kite 3.4");
    EXPECT_TRUE(configuration->getValue("kite.compiled_with_gl_state_cache").asBool());
    EXPECT_FALSE(configuration->getValue("kite.compiled_with_profiler", Value(true)).asBool());
    EXPECT_EQ(configuration->getValue("kite.fps", Value(60)).asInt(), 60);
    EXPECT_TRUE(configuration->getValue("kite.fps").isNull());

    const std::string info = configuration->getInfo();
    EXPECT_THAT(info, HasSubstr("kite.build_type"));
    EXPECT_THAT(info, HasSubstr("kite.compiled_with_profiler"));
    EXPECT_THAT(info, Not(HasSubstr("gl.")));
    EXPECT_FALSE(configuration->supportsVertexArrayObject());
    EXPECT_EQ(configuration->getMaxTextureSize(), 0);
    EXPECT_EQ(configuration->getMaxSupportDirLightInShader(), 1);
    EXPECT_EQ(configuration->getMaxSupportPointLightInShader(), 1);
    EXPECT_EQ(configuration->getMaxSupportSpotLightInShader(), 1);
    Configuration::destroyInstance();
}

TEST(Configuration, StoredSettingsAreReadBack) {
    Configuration* configuration = Configuration::getInstance();
    configuration->setValue("kite.display_fps", Value(true));
    EXPECT_TRUE(configuration->getValue("kite.display_fps", Value(false)).asBool());
    Configuration::destroyInstance();
}

class ConfigurationGLTest : public test::GLTest {};

TEST_F(ConfigurationGLTest, GatheringRecordsTheGPUAndLeavesNoGLErrorBehind) {
    glEnable(0x7FFF);  // a stale error, as an unknown limit query would leave
    Configuration* configuration = Configuration::getInstance();
    configuration->gatherGPUInfo();
    EXPECT_EQ(takeGLError(), static_cast<unsigned>(GL_NO_ERROR));
    EXPECT_FALSE(configuration->getValue("gl.vendor").asString().empty());
    EXPECT_FALSE(configuration->getValue("gl.renderer").asString().empty());
    EXPECT_THAT(configuration->getValue("gl.version").asString(), HasSubstr("OpenGL ES"));
    EXPECT_GT(configuration->getMaxTextureSize(), 0);
    EXPECT_EQ(configuration->getValue("gl.max_texture_size").asInt(), configuration->getMaxTextureSize());
    EXPECT_GE(configuration->getValue("gl.max_texture_units").asInt(), 8);
    EXPECT_TRUE(configuration->supportsNPOT());
    EXPECT_TRUE(configuration->getValue("gl.supports_NPOT").asBool());
    // Mesa offers OES vertex array objects, and SDL finds their functions.
    EXPECT_TRUE(configuration->supportsVertexArrayObject());
    EXPECT_TRUE(configuration->getValue("gl.supports_vertex_array_object").asBool());
}

TEST_F(ConfigurationGLTest, ExtensionTestsAreSubstringSearches) {
    Configuration* configuration = Configuration::getInstance();
    configuration->updateExtensionSupport(
        "GL_OES_vertex_array_object GL_EXT_texture_compression_s3tc GL_IMG_texture_format_BGRA8888 "
        "GL_OES_compressed_ETC1_RGB8_texture GL_AMD_compressed_ATC_texture");
    EXPECT_TRUE(configuration->supportsVertexArrayObject());
    EXPECT_TRUE(configuration->supportsS3TC());
    EXPECT_TRUE(configuration->supportsBGRA8888());
    EXPECT_TRUE(configuration->supportsATITC());
    EXPECT_FALSE(configuration->supportsPVRTC());
    EXPECT_FALSE(configuration->supportsDiscardFramebuffer());
    // ETC1 is recorded but never reported as supported.
    EXPECT_TRUE(configuration->getValue("gl.supports_ETC1").asBool());
    EXPECT_FALSE(configuration->supportsETC());
}

TEST_F(ConfigurationGLTest, NullExtensionStringMeansNoExtensions) {
    Configuration* configuration = Configuration::getInstance();
    configuration->updateExtensionSupport("GL_APPLE_vertex_array_object GL_IMG_texture_compression_pvrtc");
    EXPECT_TRUE(configuration->supportsVertexArrayObject());
    EXPECT_TRUE(configuration->supportsPVRTC());
    configuration->updateExtensionSupport(nullptr);
    EXPECT_FALSE(configuration->supportsVertexArrayObject());
    EXPECT_FALSE(configuration->supportsPVRTC());
    EXPECT_FALSE(configuration->supportsS3TC());
    EXPECT_FALSE(configuration->getValue("gl.supports_vertex_array_object").asBool());
}

TEST_F(ConfigurationGLTest, AdvertisedExtensionWithoutItsFunctionsIsNotSupported) {
    setGLExtensionsEnabled(false);
    Configuration* configuration = Configuration::getInstance();
    EXPECT_FALSE(configuration->supportsVertexArrayObject());
    configuration->updateExtensionSupport("GL_OES_vertex_array_object GL_EXT_discard_framebuffer");
    EXPECT_FALSE(configuration->supportsVertexArrayObject());
    EXPECT_FALSE(configuration->supportsDiscardFramebuffer());
}

}  // namespace
}  // namespace kite
