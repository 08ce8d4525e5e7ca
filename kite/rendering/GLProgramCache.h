// The process-wide registry of named shader programs, with the 22 built-in ones.
#pragma once
#include "kite/foundation/Ref.h"

#include <bitset>
#include <string>
#include <unordered_map>

namespace kite {

class GLProgram;

class GLProgramCache : public Ref {
public:
    // Built-in program types, in creation order.
    enum {
        kShaderType_PositionTextureColor,
        kShaderType_PositionTextureColor_noMVP,
        kShaderType_PositionTextureColorAlphaTest,
        kShaderType_PositionTextureColorAlphaTestNoMV,
        kShaderType_PositionColor,
        kShaderType_PositionColorTextureAsPointsize,
        kShaderType_PositionColor_noMVP,
        kShaderType_PositionTexture,
        kShaderType_PositionTexture_uColor,
        kShaderType_PositionTextureA8Color,
        kShaderType_Position_uColor,
        kShaderType_PositionLengthTexureColor,
        kShaderType_LabelDistanceFieldNormal,
        kShaderType_LabelDistanceFieldGlow,
        kShaderType_LabelNormal,
        kShaderType_LabelOutline,
        kShaderType_3DPosition,
        kShaderType_3DPositionTex,
        kShaderType_3DSkinPositionTex,
        kShaderType_3DPositionNormal,
        kShaderType_3DPositionNormalTex,
        kShaderType_3DSkinPositionNormalTex,
        kShaderType_MAX,
    };

    // Made on first use. A built-in program is compiled when first asked for (with a current context).
    static GLProgramCache* getInstance();
    static void destroyInstance();

    GLProgramCache() = default;
    ~GLProgramCache() override;
    bool init();

    void loadDefaultGLPrograms();
    // Compiles, links and looks up the built-ins of one built-in type into the program.
    void loadDefaultGLProgram(GLProgram* program, int type);

    // Null when no program has that name; a built-in one is compiled on its first request.
    GLProgram* getGLProgram(const std::string& name) const;
    // Registers a program (retained) under a name, releasing any program it replaces.
    void addGLProgram(GLProgram* program, const std::string& name);

    // The light-count defines put before the sources of the lit programs.
    std::string getShaderMacrosForLight() const;

    // The name a built-in type is registered under.
    static const char* nameOfType(int type);

private:
    void buildBuiltin(GLProgram* program, int type) const;
    GLProgram* makeBuiltinOnFirstUse(const std::string& name) const;
    // The built-in type registered under the name; -1 for any other name.
    static int builtinTypeNamed(const std::string& name);

    // Filled as programs are asked for, so the lookups that fill it are const.
    mutable std::unordered_map<std::string, GLProgram*> programs_;
    mutable std::bitset<kShaderType_MAX> builtinsMade_;
};

}  // namespace kite
