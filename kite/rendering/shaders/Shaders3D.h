// Sources of the built-in 3D programs (plain, textured, skinned, lit); shared pieces are joined before compiling.
#pragma once

namespace kite {
namespace shaders {

inline constexpr const char* position3DVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;

#ifdef GL_ES
varying mediump vec2 TextureCoordOut;
#else
varying vec2 TextureCoordOut;
#endif

void main()
{
    gl_Position = KT_MVPMatrix * a_position;
    TextureCoordOut = vec2(a_texCoord.x, 1.0 - a_texCoord.y);
}
)";

inline constexpr const char* color3DFrag = R"(
#ifdef GL_ES
varying mediump vec2 TextureCoordOut;
#else
varying vec2 TextureCoordOut;
#endif
uniform vec4 u_color;

void main()
{
    gl_FragColor = u_color;
}
)";

inline constexpr const char* colorTexture3DFrag = R"(
#ifdef GL_ES
varying mediump vec2 TextureCoordOut;
#else
varying vec2 TextureCoordOut;
#endif
uniform vec4 u_color;

void main()
{
    gl_FragColor = texture2D(KT_Texture0, TextureCoordOut) * u_color;
}
)";

// Linear blend skinning over a palette of 60 joints, three vec4 rows each,
// with up to four weights per vertex.
inline constexpr const char* skinningPalette = R"(
const int SKINNING_JOINT_COUNT = 60;
uniform vec4 u_matrixPalette[SKINNING_JOINT_COUNT * 3];

attribute vec4 a_blendWeight;
attribute vec4 a_blendIndex;

vec4 row1;
vec4 row2;
vec4 row3;

void blendPalette()
{
    float weight = a_blendWeight.x;
    int index = int(a_blendIndex.x) * 3;
    row1 = u_matrixPalette[index] * weight;
    row2 = u_matrixPalette[index + 1] * weight;
    row3 = u_matrixPalette[index + 2] * weight;

    weight = a_blendWeight.y;
    if (weight > 0.0) {
        index = int(a_blendIndex.y) * 3;
        row1 += u_matrixPalette[index] * weight;
        row2 += u_matrixPalette[index + 1] * weight;
        row3 += u_matrixPalette[index + 2] * weight;

        weight = a_blendWeight.z;
        if (weight > 0.0) {
            index = int(a_blendIndex.z) * 3;
            row1 += u_matrixPalette[index] * weight;
            row2 += u_matrixPalette[index + 1] * weight;
            row3 += u_matrixPalette[index + 2] * weight;

            weight = a_blendWeight.w;
            if (weight > 0.0) {
                index = int(a_blendIndex.w) * 3;
                row1 += u_matrixPalette[index] * weight;
                row2 += u_matrixPalette[index + 1] * weight;
                row3 += u_matrixPalette[index + 2] * weight;
            }
        }
    }
}

vec4 skinPosition(vec4 position)
{
    return vec4(dot(position, row1), dot(position, row2), dot(position, row3), position.w);
}

vec3 skinDirection(vec3 direction)
{
    vec4 d = vec4(direction, 0.0);
    return vec3(dot(d, row1), dot(d, row2), dot(d, row3));
}
)";

// Needs skinningPalette first.
inline constexpr const char* skinPositionTexture3DVert = R"(
attribute vec3 a_position;
attribute vec2 a_texCoord;

#ifdef GL_ES
varying mediump vec2 TextureCoordOut;
#else
varying vec2 TextureCoordOut;
#endif

void main()
{
    blendPalette();
    gl_Position = KT_MVPMatrix * skinPosition(vec4(a_position, 1.0));
    TextureCoordOut = vec2(a_texCoord.x, 1.0 - a_texCoord.y);
}
)";

// Light vectors per vertex; each light kind only when its count is above 0.
inline constexpr const char* lightVertexDeclarations = R"(
#if (MAX_POINT_LIGHT_NUM > 0)
uniform vec3 u_PointLightSourcePosition[MAX_POINT_LIGHT_NUM];
varying vec3 v_vertexToPointLightDirection[MAX_POINT_LIGHT_NUM];
#endif
#if (MAX_SPOT_LIGHT_NUM > 0)
uniform vec3 u_SpotLightSourcePosition[MAX_SPOT_LIGHT_NUM];
varying vec3 v_vertexToSpotLightDirection[MAX_SPOT_LIGHT_NUM];
#endif
varying vec3 v_normal;

#ifdef GL_ES
varying mediump vec2 TextureCoordOut;
#else
varying vec2 TextureCoordOut;
#endif

void passLightVectors(vec4 eyePosition)
{
#if (MAX_POINT_LIGHT_NUM > 0)
    for (int i = 0; i < MAX_POINT_LIGHT_NUM; ++i)
        v_vertexToPointLightDirection[i] = u_PointLightSourcePosition[i] - eyePosition.xyz;
#endif
#if (MAX_SPOT_LIGHT_NUM > 0)
    for (int i = 0; i < MAX_SPOT_LIGHT_NUM; ++i)
        v_vertexToSpotLightDirection[i] = u_SpotLightSourcePosition[i] - eyePosition.xyz;
#endif
}
)";

// Needs the light macros and lightVertexDeclarations first.
inline constexpr const char* positionNormalTexture3DVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec3 a_normal;

void main()
{
    vec4 eyePosition = KT_MVMatrix * a_position;
    passLightVectors(eyePosition);
    v_normal = KT_NormalMatrix * a_normal;
    TextureCoordOut = vec2(a_texCoord.x, 1.0 - a_texCoord.y);
    gl_Position = KT_PMatrix * eyePosition;
}
)";

// Needs the light macros, skinningPalette and lightVertexDeclarations first.
inline constexpr const char* skinPositionNormalTexture3DVert = R"(
attribute vec3 a_position;
attribute vec2 a_texCoord;
attribute vec3 a_normal;

void main()
{
    blendPalette();
    vec4 eyePosition = KT_MVMatrix * skinPosition(vec4(a_position, 1.0));
    passLightVectors(eyePosition);
    v_normal = KT_NormalMatrix * skinDirection(a_normal);
    TextureCoordOut = vec2(a_texCoord.x, 1.0 - a_texCoord.y);
    gl_Position = KT_PMatrix * eyePosition;
}
)";

// The combined colour of the ambient, directional, point and spot lights.
inline constexpr const char* lightFragmentDeclarations = R"(
#if (MAX_DIRECTIONAL_LIGHT_NUM > 0)
uniform vec3 u_DirLightSourceColor[MAX_DIRECTIONAL_LIGHT_NUM];
uniform vec3 u_DirLightSourceDirection[MAX_DIRECTIONAL_LIGHT_NUM];
#endif
#if (MAX_POINT_LIGHT_NUM > 0)
uniform vec3 u_PointLightSourceColor[MAX_POINT_LIGHT_NUM];
uniform float u_PointLightSourceRangeInverse[MAX_POINT_LIGHT_NUM];
varying vec3 v_vertexToPointLightDirection[MAX_POINT_LIGHT_NUM];
#endif
#if (MAX_SPOT_LIGHT_NUM > 0)
uniform vec3 u_SpotLightSourceColor[MAX_SPOT_LIGHT_NUM];
uniform vec3 u_SpotLightSourceDirection[MAX_SPOT_LIGHT_NUM];
uniform float u_SpotLightSourceInnerAngleCos[MAX_SPOT_LIGHT_NUM];
uniform float u_SpotLightSourceOuterAngleCos[MAX_SPOT_LIGHT_NUM];
uniform float u_SpotLightSourceRangeInverse[MAX_SPOT_LIGHT_NUM];
varying vec3 v_vertexToSpotLightDirection[MAX_SPOT_LIGHT_NUM];
#endif
uniform vec3 u_AmbientLightSourceColor;
uniform vec4 u_color;
varying vec3 v_normal;

#ifdef GL_ES
varying mediump vec2 TextureCoordOut;
#else
varying vec2 TextureCoordOut;
#endif

vec3 lightContribution(vec3 normal, vec3 toLight, vec3 lightColor, float attenuation)
{
    return lightColor * max(dot(normal, toLight), 0.0) * attenuation;
}

vec4 combinedLightColor()
{
    vec3 normal = normalize(v_normal);
    vec3 color = u_AmbientLightSourceColor;
#if (MAX_DIRECTIONAL_LIGHT_NUM > 0)
    for (int i = 0; i < MAX_DIRECTIONAL_LIGHT_NUM; ++i)
        color += lightContribution(normal, -normalize(u_DirLightSourceDirection[i]), u_DirLightSourceColor[i], 1.0);
#endif
#if (MAX_POINT_LIGHT_NUM > 0)
    for (int i = 0; i < MAX_POINT_LIGHT_NUM; ++i) {
        vec3 scaled = v_vertexToPointLightDirection[i] * u_PointLightSourceRangeInverse[i];
        float attenuation = clamp(1.0 - dot(scaled, scaled), 0.0, 1.0);
        color += lightContribution(normal, normalize(v_vertexToPointLightDirection[i]),
                                   u_PointLightSourceColor[i], attenuation);
    }
#endif
#if (MAX_SPOT_LIGHT_NUM > 0)
    for (int i = 0; i < MAX_SPOT_LIGHT_NUM; ++i) {
        vec3 scaled = v_vertexToSpotLightDirection[i] * u_SpotLightSourceRangeInverse[i];
        float attenuation = clamp(1.0 - dot(scaled, scaled), 0.0, 1.0);
        vec3 toLight = normalize(v_vertexToSpotLightDirection[i]);
        float angleCos = dot(normalize(u_SpotLightSourceDirection[i]), -toLight);
        attenuation *= smoothstep(u_SpotLightSourceOuterAngleCos[i], u_SpotLightSourceInnerAngleCos[i], angleCos);
        color += lightContribution(normal, toLight, u_SpotLightSourceColor[i], attenuation);
    }
#endif
    return vec4(color, 1.0);
}
)";

// Needs the light macros and lightFragmentDeclarations first.
inline constexpr const char* colorNormal3DFrag = R"(
void main()
{
    gl_FragColor = u_color * combinedLightColor();
}
)";

// Needs the light macros and lightFragmentDeclarations first.
inline constexpr const char* colorNormalTexture3DFrag = R"(
void main()
{
    gl_FragColor = texture2D(KT_Texture0, TextureCoordOut) * u_color * combinedLightColor();
}
)";

}  // namespace shaders
}  // namespace kite
