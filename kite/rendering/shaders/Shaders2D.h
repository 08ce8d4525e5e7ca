// Sources of the built-in 2D programs (positions, colours, textures, points).
#pragma once

namespace kite {
namespace shaders {

// Position, texture coordinate and colour through the model-view-projection matrix.
inline constexpr const char* positionTextureColorVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
varying mediump vec2 v_texCoord;
#else
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
#endif

void main()
{
    gl_Position = KT_MVPMatrix * a_position;
    v_fragmentColor = a_color;
    v_texCoord = a_texCoord;
}
)";

// The same with positions already in world space: projection only.
inline constexpr const char* positionTextureColorNoMVPVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
varying mediump vec2 v_texCoord;
#else
varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
#endif

void main()
{
    gl_Position = KT_PMatrix * a_position;
    v_fragmentColor = a_color;
    v_texCoord = a_texCoord;
}
)";

inline constexpr const char* positionTextureColorFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;

void main()
{
    gl_FragColor = v_fragmentColor * texture2D(KT_Texture0, v_texCoord);
}
)";

// Texels whose alpha is at or below the threshold are dropped.
inline constexpr const char* positionTextureColorAlphaTestFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform float KT_alpha_value;

void main()
{
    vec4 texColor = texture2D(KT_Texture0, v_texCoord);
    if (texColor.a <= KT_alpha_value)
        discard;
    gl_FragColor = texColor * v_fragmentColor;
}
)";

inline constexpr const char* positionColorVert = R"(
attribute vec4 a_position;
attribute vec4 a_color;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
#else
varying vec4 v_fragmentColor;
#endif

void main()
{
    gl_Position = KT_MVPMatrix * a_position;
    v_fragmentColor = a_color;
}
)";

// The first texture coordinate carries the point size.
inline constexpr const char* positionColorTextureAsPointsizeVert = R"(
attribute vec4 a_position;
attribute vec4 a_color;
attribute vec2 a_texCoord;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
#else
varying vec4 v_fragmentColor;
#endif

void main()
{
    gl_Position = KT_MVPMatrix * a_position;
    gl_PointSize = a_texCoord.x;
    v_fragmentColor = a_color;
}
)";

inline constexpr const char* positionColorNoMVPVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;
attribute vec4 a_color;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
#else
varying vec4 v_fragmentColor;
#endif

void main()
{
    gl_Position = KT_PMatrix * a_position;
    v_fragmentColor = a_color;
}
)";

inline constexpr const char* positionColorFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;

void main()
{
    gl_FragColor = v_fragmentColor;
}
)";

inline constexpr const char* positionTextureVert = R"(
attribute vec4 a_position;
attribute vec2 a_texCoord;

#ifdef GL_ES
varying mediump vec2 v_texCoord;
#else
varying vec2 v_texCoord;
#endif

void main()
{
    gl_Position = KT_MVPMatrix * a_position;
    v_texCoord = a_texCoord;
}
)";

inline constexpr const char* positionTextureFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec2 v_texCoord;

void main()
{
    gl_FragColor = texture2D(KT_Texture0, v_texCoord);
}
)";

inline constexpr const char* positionTextureUColorFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

uniform vec4 u_color;
varying vec2 v_texCoord;

void main()
{
    gl_FragColor = texture2D(KT_Texture0, v_texCoord) * u_color;
}
)";

// Alpha-only textures: the colour's rgb with the texel's alpha.
inline constexpr const char* positionTextureA8ColorFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;

void main()
{
    gl_FragColor = vec4(v_fragmentColor.rgb, v_fragmentColor.a * texture2D(KT_Texture0, v_texCoord).a);
}
)";

// One colour and point size for every vertex, from uniforms.
inline constexpr const char* positionUColorVert = R"(
attribute vec4 a_position;
uniform vec4 u_color;
uniform float u_pointSize;

#ifdef GL_ES
varying lowp vec4 v_fragmentColor;
#else
varying vec4 v_fragmentColor;
#endif

void main()
{
    gl_Position = KT_MVPMatrix * a_position;
    gl_PointSize = u_pointSize;
    v_fragmentColor = u_color;
}
)";

inline constexpr const char* positionUColorFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;

void main()
{
    gl_FragColor = v_fragmentColor;
}
)";

// Antialiased dots and lines: the coordinate's length masks the shape.
inline constexpr const char* positionLengthTextureColorVert = R"(
#ifdef GL_ES
attribute mediump vec4 a_position;
attribute mediump vec2 a_texcoord;
attribute mediump vec4 a_color;

varying mediump vec4 v_color;
varying mediump vec2 v_texcoord;
#else
attribute vec4 a_position;
attribute vec2 a_texcoord;
attribute vec4 a_color;

varying vec4 v_color;
varying vec2 v_texcoord;
#endif

void main()
{
    v_color = vec4(a_color.rgb * a_color.a, a_color.a);
    v_texcoord = a_texcoord;
    gl_Position = KT_MVPMatrix * a_position;
}
)";

inline constexpr const char* positionLengthTextureColorFrag = R"(
#ifdef GL_ES
precision lowp float;
varying mediump vec4 v_color;
varying mediump vec2 v_texcoord;
#else
varying vec4 v_color;
varying vec2 v_texcoord;
#endif

void main()
{
    gl_FragColor = v_color * step(0.0, 1.0 - length(v_texcoord));
}
)";

}  // namespace shaders
}  // namespace kite
