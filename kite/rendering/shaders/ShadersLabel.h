// Sources of the built-in label programs (plain, outlined and distance-field text).
#pragma once

namespace kite {
namespace shaders {

// Distance-field text: the field sits in the texture's alpha.
inline constexpr const char* labelDistanceFieldNormalFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform vec4 u_textColor;

void main()
{
    float dist = texture2D(KT_Texture0, v_texCoord).a;
    float width = 0.04;
    float alpha = smoothstep(0.5 - width, 0.5 + width, dist) * u_textColor.a;
    gl_FragColor = v_fragmentColor * vec4(u_textColor.rgb, alpha);
}
)";

// Distance-field text with a glow fading from the effect colour into the text colour.
inline constexpr const char* labelDistanceFieldGlowFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform vec4 u_effectColor;
uniform vec4 u_textColor;

void main()
{
    float dist = texture2D(KT_Texture0, v_texCoord).a;
    float width = 0.04;
    float alpha = smoothstep(0.5 - width, 0.5 + width, dist);
    float mu = smoothstep(0.5, 1.0, sqrt(dist));
    vec4 color = u_effectColor * (1.0 - alpha) + u_textColor * alpha;
    gl_FragColor = v_fragmentColor * vec4(color.rgb, max(alpha, mu) * color.a);
}
)";

inline constexpr const char* labelNormalFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform vec4 u_textColor;

void main()
{
    gl_FragColor = v_fragmentColor * vec4(u_textColor.rgb, u_textColor.a * texture2D(KT_Texture0, v_texCoord).a);
}
)";

// Outlined text: alpha holds the glyph, red the glyph grown by the outline.
inline constexpr const char* labelOutlineFrag = R"(
#ifdef GL_ES
precision lowp float;
#endif

varying vec4 v_fragmentColor;
varying vec2 v_texCoord;
uniform vec4 u_effectColor;
uniform vec4 u_textColor;

void main()
{
    vec4 texel = texture2D(KT_Texture0, v_texCoord);
    float fontAlpha = texel.a;
    float outlineAlpha = texel.r;
    if (outlineAlpha > 0.0) {
        vec4 color = u_textColor * fontAlpha + u_effectColor * (1.0 - fontAlpha);
        gl_FragColor = v_fragmentColor * vec4(color.rgb, max(fontAlpha, outlineAlpha) * color.a);
    } else {
        discard;
    }
}
)";

}  // namespace shaders
}  // namespace kite
