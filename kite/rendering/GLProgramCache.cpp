// The built-in program table and the registry of programs by name.
#include "kite/rendering/GLProgramCache.h"

#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/shaders/Shaders2D.h"
#include "kite/rendering/shaders/Shaders3D.h"
#include "kite/rendering/shaders/ShadersLabel.h"

#include <cstdio>
#include <new>

namespace kite {
namespace {

GLProgramCache* sharedCache = nullptr;

// Each source is its pieces joined in order; the lit programs get the
// light-count defines before both.
struct BuiltinProgram {
    const char* name;
    const char* vertex[3];
    const char* fragment[2];
    bool lit;
};

const BuiltinProgram& builtin(int type) {
    using namespace shaders;
    static const BuiltinProgram table[GLProgramCache::kShaderType_MAX] = {
        {GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR, {positionTextureColorVert}, {positionTextureColorFrag}, false},
        {GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP,
         {positionTextureColorNoMVPVert},
         {positionTextureColorFrag},
         false},
        {GLProgram::SHADER_NAME_POSITION_TEXTURE_ALPHA_TEST,
         {positionTextureColorVert},
         {positionTextureColorAlphaTestFrag},
         false},
        {GLProgram::SHADER_NAME_POSITION_TEXTURE_ALPHA_TEST_NO_MV,
         {positionTextureColorNoMVPVert},
         {positionTextureColorAlphaTestFrag},
         false},
        {GLProgram::SHADER_NAME_POSITION_COLOR, {positionColorVert}, {positionColorFrag}, false},
        {GLProgram::SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE,
         {positionColorTextureAsPointsizeVert},
         {positionColorFrag},
         false},
        {GLProgram::SHADER_NAME_POSITION_COLOR_NO_MVP, {positionColorNoMVPVert}, {positionColorFrag}, false},
        {GLProgram::SHADER_NAME_POSITION_TEXTURE, {positionTextureVert}, {positionTextureFrag}, false},
        {GLProgram::SHADER_NAME_POSITION_TEXTURE_U_COLOR, {positionTextureVert}, {positionTextureUColorFrag}, false},
        {GLProgram::SHADER_NAME_POSITION_TEXTURE_A8_COLOR,
         {positionTextureColorVert},
         {positionTextureA8ColorFrag},
         false},
        {GLProgram::SHADER_NAME_POSITION_U_COLOR, {positionUColorVert}, {positionUColorFrag}, false},
        {GLProgram::SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR,
         {positionLengthTextureColorVert},
         {positionLengthTextureColorFrag},
         false},
        {GLProgram::SHADER_NAME_LABEL_DISTANCEFIELD_NORMAL,
         {positionTextureColorVert},
         {labelDistanceFieldNormalFrag},
         false},
        {GLProgram::SHADER_NAME_LABEL_DISTANCEFIELD_GLOW,
         {positionTextureColorVert},
         {labelDistanceFieldGlowFrag},
         false},
        {GLProgram::SHADER_NAME_LABEL_NORMAL, {positionTextureColorVert}, {labelNormalFrag}, false},
        {GLProgram::SHADER_NAME_LABEL_OUTLINE, {positionTextureColorVert}, {labelOutlineFrag}, false},
        {GLProgram::SHADER_3D_POSITION, {position3DVert}, {color3DFrag}, false},
        {GLProgram::SHADER_3D_POSITION_TEXTURE, {position3DVert}, {colorTexture3DFrag}, false},
        {GLProgram::SHADER_3D_SKINPOSITION_TEXTURE,
         {skinningPalette, skinPositionTexture3DVert},
         {colorTexture3DFrag},
         false},
        {GLProgram::SHADER_3D_POSITION_NORMAL,
         {lightVertexDeclarations, positionNormalTexture3DVert},
         {lightFragmentDeclarations, colorNormal3DFrag},
         true},
        {GLProgram::SHADER_3D_POSITION_NORMAL_TEXTURE,
         {lightVertexDeclarations, positionNormalTexture3DVert},
         {lightFragmentDeclarations, colorNormalTexture3DFrag},
         true},
        {GLProgram::SHADER_3D_SKINPOSITION_NORMAL_TEXTURE,
         {skinningPalette, lightVertexDeclarations, skinPositionNormalTexture3DVert},
         {lightFragmentDeclarations, colorNormalTexture3DFrag},
         true},
    };
    return table[type];
}

}  // namespace

GLProgramCache* GLProgramCache::getInstance() {
    if (!sharedCache) {
        sharedCache = new (std::nothrow) GLProgramCache();
        if (sharedCache && !sharedCache->init()) {
            delete sharedCache;
            sharedCache = nullptr;
        }
    }
    return sharedCache;
}

void GLProgramCache::destroyInstance() {
    if (sharedCache) {
        GLProgramCache* old = sharedCache;
        sharedCache = nullptr;
        old->release();
    }
}

GLProgramCache::~GLProgramCache() {
    for (auto& entry : programs_) entry.second->release();
}

bool GLProgramCache::init() { return true; }

const char* GLProgramCache::nameOfType(int type) {
    return type >= 0 && type < kShaderType_MAX ? builtin(type).name : nullptr;
}

void GLProgramCache::loadDefaultGLPrograms() {
    for (int type = 0; type < kShaderType_MAX; ++type) {
        builtinsMade_.set(static_cast<std::size_t>(type));
        GLProgram* program = new (std::nothrow) GLProgram();
        if (!program) continue;
        loadDefaultGLProgram(program, type);
        // The creation reference becomes the cache's.
        auto it = programs_.find(builtin(type).name);
        if (it != programs_.end()) {
            it->second->release();
            it->second = program;
        } else {
            programs_.emplace(builtin(type).name, program);
        }
    }
}

void GLProgramCache::loadDefaultGLProgram(GLProgram* program, int type) { buildBuiltin(program, type); }

void GLProgramCache::buildBuiltin(GLProgram* program, int type) const {
    if (!program || type < 0 || type >= kShaderType_MAX) return;
    const BuiltinProgram& source = builtin(type);
    std::string vertex = source.lit ? getShaderMacrosForLight() : std::string();
    std::string fragment = vertex;
    for (const char* piece : source.vertex)
        if (piece) vertex += piece;
    for (const char* piece : source.fragment)
        if (piece) fragment += piece;
    // A program that fails is registered anyway; its compile or link log is in the log.
    program->initWithByteArrays(vertex.c_str(), fragment.c_str());
    if (type == kShaderType_Position_uColor) program->bindAttribLocation("aVertex", GLProgram::VERTEX_ATTRIB_POSITION);
    // Its coordinate attribute is not a predefined name; draw nodes feed it at
    // the texture-coordinate location, so it is pinned there.
    if (type == kShaderType_PositionLengthTexureColor)
        program->bindAttribLocation("a_texcoord", GLProgram::VERTEX_ATTRIB_TEX_COORD);
    program->link();
    program->updateUniforms();
}

GLProgram* GLProgramCache::getGLProgram(const std::string& name) const {
    auto it = programs_.find(name);
    return it == programs_.end() ? makeBuiltinOnFirstUse(name) : it->second;
}

// Compiling every built-in at once took a fifth of the game's start-up, and a program uses few
// of them: each is compiled when first asked for. One made before and removed since stays away.
GLProgram* GLProgramCache::makeBuiltinOnFirstUse(const std::string& name) const {
    const int type = builtinTypeNamed(name);
    if (type < 0 || builtinsMade_.test(static_cast<std::size_t>(type))) return nullptr;
    builtinsMade_.set(static_cast<std::size_t>(type));
    GLProgram* program = new (std::nothrow) GLProgram();
    if (!program) return nullptr;
    buildBuiltin(program, type);
    programs_.emplace(name, program);  // the creation reference becomes the cache's
    return program;
}

int GLProgramCache::builtinTypeNamed(const std::string& name) {
    for (int type = 0; type < kShaderType_MAX; ++type)
        if (name == builtin(type).name) return type;
    return -1;
}

void GLProgramCache::addGLProgram(GLProgram* program, const std::string& name) {
    if (program) program->retain();
    // A program registered under a built-in's name takes the built-in's place for good.
    if (const int type = builtinTypeNamed(name); type >= 0) builtinsMade_.set(static_cast<std::size_t>(type));
    auto it = programs_.find(name);
    if (it != programs_.end()) {
        it->second->release();
        if (program)
            it->second = program;
        else
            programs_.erase(it);
    } else if (program) {
        programs_.emplace(name, program);
    }
}

std::string GLProgramCache::getShaderMacrosForLight() const {
    Configuration* configuration = Configuration::getInstance();
    char text[256];
    std::snprintf(text, sizeof(text),
                  "\n#define MAX_DIRECTIONAL_LIGHT_NUM %d \n"
                  "\n#define MAX_POINT_LIGHT_NUM %d \n"
                  "\n#define MAX_SPOT_LIGHT_NUM %d \n",
                  configuration->getMaxSupportDirLightInShader(), configuration->getMaxSupportPointLightInShader(),
                  configuration->getMaxSupportSpotLightInShader());
    return text;
}

}  // namespace kite
