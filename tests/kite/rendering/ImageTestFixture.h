// The fixture of the Image tests: a configuration that has gathered nothing, and GPU support set per test.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "kite/rendering/Configuration.h"
#include "kite/rendering/Image.h"

namespace kite {

// Each test starts from a configuration that has gathered nothing: no compressed format,
// no BGRA8888, only power-of-two sizes.
class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { Configuration::destroyInstance(); }
    void TearDown() override {
        Configuration::destroyInstance();
        Image::setPVRImagesHavePremultipliedAlpha(false);
    }

    // As if the GL context advertised these extensions (any size is then allowed).
    static void setSupport(bool pvrtc, bool s3tc, bool atitc, bool bgra = false) {
        std::string extensions;
        if (pvrtc) extensions += "GL_IMG_texture_compression_pvrtc ";
        if (s3tc) extensions += "GL_EXT_texture_compression_s3tc ";
        if (atitc) extensions += "GL_AMD_compressed_ATC_texture ";
        if (bgra) extensions += "GL_IMG_texture_format_BGRA8888 ";
        Configuration::getInstance()->updateExtensionSupport(extensions.c_str());
    }
};

}  // namespace kite
