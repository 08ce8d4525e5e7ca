// Every resource the game's code names is in Resources/ and loads; so does everything the generator made. Every
// picture has a drawing of its own in the generator, and what is committed is what the generator draws.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "Classes/GameHelpers.h"
#include "GameTestSupport.h"
#include "kite/rendering/Image.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Label.h"
#include "platform/SoundFile.h"
#include "support/TemporaryFolder.h"

namespace {

namespace fs = std::filesystem;
using game::test::GameGLTest;

const fs::path kResources = fs::path(STARGRID_SOURCE_DIR) / "Resources";

// Quoted resource paths in the game's sources ("Folder/name.ext").
std::set<std::string> pathsNamedInSources() {
    const std::regex quoted("\"([A-Za-z]+/[A-Za-z0-9_/]+\\.(png|fnt|xml|plist|mp3))\"");
    std::set<std::string> paths;
    for (const auto& entry : fs::directory_iterator(fs::path(STARGRID_SOURCE_DIR) / "Classes")) {
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        const std::string source = text.str();
        for (std::sregex_iterator it(source.begin(), source.end(), quoted), end; it != end; ++it)
            paths.insert((*it)[1]);
    }
    return paths;
}

std::vector<std::string> generatedFiles(const std::string& extension) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(kResources))
        if (entry.is_regular_file() && entry.path().extension() == extension)
            files.push_back(fs::relative(entry.path(), kResources).string());
    return files;
}

class ResourcesTest : public GameGLTest {};

TEST_F(ResourcesTest, EveryPathTheGameNamesExists) {
    const std::set<std::string> named = pathsNamedInSources();
    EXPECT_THAT(named, ::testing::Contains("Star/star_purple.png"));
    for (const std::string& path : named) EXPECT_TRUE(fs::is_regular_file(kResources / path)) << path;
}

TEST_F(ResourcesTest, ImagesDecode) {
    const std::vector<std::string> images = generatedFiles(".png");
    EXPECT_GE(images.size(), 110u);
    for (const std::string& path : images) {
        kite::Image image;
        EXPECT_TRUE(image.initWithImageFile(path)) << path;
    }
}

TEST_F(ResourcesTest, BitmapFontsLoadWithTheCaptionsTheyShow) {
    for (const char* font : {"Font/NumberA.fnt", "Font/NumberB.fnt", "Font/NumberC.fnt"})
        EXPECT_NE(kite::Label::createWithBMFont(font, "0123456789"), nullptr) << font;
    const std::string caption = lookupWord("guanqia") + "12" + lookupWord("lianji") + lookupWord("jiangli");
    for (const char* font : {"Font/NumberD.fnt", "Font/NumberE.fnt", "Font/NumberF.fnt"}) {
        kite::Label* label = kite::Label::createWithBMFont(font, caption);
        ASSERT_NE(label, nullptr) << font;
        EXPECT_GT(label->getContentSize().width, 100.0f) << font;
    }
}

TEST_F(ResourcesTest, SoundsDecodeAsMP3) {
    const std::vector<std::string> sounds = generatedFiles(".mp3");
    EXPECT_EQ(sounds.size(), 11u);
    for (const std::string& path : sounds) {
        std::ifstream in(kResources / path, std::ios::binary);
        char header[3] = {};
        in.read(header, 3);
        // An MPEG frame sync, or an ID3 tag before it.
        const bool mpeg = (static_cast<unsigned char>(header[0]) == 0xff && (header[1] & 0xe0) == 0xe0) ||
                          std::string(header, 3) == "ID3";
        EXPECT_TRUE(mpeg) << path;
        const platform::DecodeResult decoded = platform::decodeSoundFile((kResources / path).string());
        EXPECT_TRUE(decoded.ok) << path << ": " << decoded.error;
        EXPECT_EQ(decoded.sound.bitsPerSample, 16) << path;
    }
}

// Runs the generator (on the system Python, where Pillow lives) and answers its exit status and output.
std::pair<int, std::string> generator(const std::string& args, const kite::test::TemporaryFolder& folder) {
    const std::string out = folder.path() + "/generator.txt";
    const std::string command =
        "/usr/bin/python3 " STARGRID_SOURCE_DIR "/tools/make_assets.py " + args + " >" + out + " 2>&1";
    const int status = std::system(command.c_str());
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

TEST(GeneratorTest, EveryPictureTheGameNamesHasADrawingOfItsOwn) {
    kite::test::TemporaryFolder folder("generator-check");
    ASSERT_TRUE(folder.made());
    EXPECT_EQ(generator("--check", folder), std::make_pair(0, std::string()));
    // A picture the game names without a drawing stops the generator: there is no drawing to fall back on.
    fs::copy(fs::path(STARGRID_SOURCE_DIR) / "Classes", fs::path(folder.path()) / "Classes");
    std::ofstream(fs::path(folder.path()) / "Classes" / "Extra.cpp")
        << "const char* const kExtra = \"Menu/btn_new.png\";\n";
    const auto [status, output] = generator("--check --root " + folder.path(), folder);
    EXPECT_NE(status, 0);
    EXPECT_THAT(output, ::testing::HasSubstr("no drawing for ['Menu/btn_new.png']"));
}

// A name given that has no drawing is quoted with its control characters escaped.
TEST(GeneratorTest, AnUnknownNameIsQuotedWithItsControlCharactersEscaped) {
    kite::test::TemporaryFolder folder("generator-name");
    ASSERT_TRUE(folder.made());
    const auto [status, output] = generator("--only \"$(printf 'Menu/\\033[2J\\nx.png')\"", folder);
    EXPECT_NE(status, 0);
    EXPECT_EQ(output, "make_assets: no drawing for Menu/\\x1b[2J\\x0ax.png\n");
}

TEST(GeneratorTest, TheCommittedResourcesAreWhatTheGeneratorMakes) {
    kite::test::TemporaryFolder folder("generator-out");
    ASSERT_TRUE(folder.made());
    const auto [status, output] = generator("--out " + folder.path() + "/Resources", folder);
    ASSERT_EQ(status, 0) << output;
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(folder.path()) / "Resources")) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), fs::path(folder.path()) / "Resources");
        std::ifstream made(entry.path(), std::ios::binary), committed(kResources / relative, std::ios::binary);
        std::stringstream a, b;
        a << made.rdbuf();
        b << committed.rdbuf();
        EXPECT_TRUE(a.str() == b.str()) << relative << " differs from what tools/make_assets.py makes";
        ++compared;
    }
    EXPECT_GE(compared, 130);
}

// Seconds of a decoded 16-bit sound.
double seconds(const platform::PcmSound& sound) {
    return static_cast<double>(sound.data.size()) / (2.0 * sound.channels * sound.sampleRate);
}

TEST_F(ResourcesTest, EffectsAreShortAndTheirOwnAndTheMusicIsALongerLoop) {
    std::map<std::string, std::vector<std::uint8_t>> effects;
    double music = 0;
    for (const std::string& path : generatedFiles(".mp3")) {
        const platform::DecodeResult decoded = platform::decodeSoundFile((kResources / path).string());
        ASSERT_TRUE(decoded.ok) << path;
        if (path == "Music/bgm.mp3") {
            music = seconds(decoded.sound);
            continue;
        }
        EXPECT_LT(seconds(decoded.sound), 2.5) << path;
        for (const auto& [other, samples] : effects) EXPECT_NE(samples, decoded.sound.data) << path << " is " << other;
        effects[path] = decoded.sound.data;
    }
    EXPECT_EQ(effects.size(), 10u);
    EXPECT_GT(music, 15.0);
}

TEST_F(ResourcesTest, FingerSheetGivesAFrameAnimation) {
    kite::Animate* animate = createFrameAnimation("finger_anim", "Guide/");
    ASSERT_NE(animate, nullptr);
    EXPECT_FLOAT_EQ(animate->getDuration(), 0.4f);  // four frames of 0.1 s
}

}  // namespace
