// The shaders: the classic pipeline emulated per vertex and per pixel, the copy of the kept layer, and
// the program of each pipeline variant, built on first use and kept.
#include "device/gl_device_local.h"

namespace gldevice {

// The fixed-function pipeline, per vertex. Matrices arrive as the game writes them (row vectors,
// m[row][column]) and GL reads them column-major, so every matrix is seen here transposed and the
// usual column-vector products `M * v` compute the game's `v x M`. Lighting runs in world space,
// which equals the classic view-space lighting for the rigid view matrices the game uses.
//
// The switches of the classic pipeline (vertex layout, lighting, the light, specular highlights,
// vertex colours, the texture stage) are compile-time macros: each combination the game uses gets its
// own small program. A software rasteriser runs every branch of a shader whatever a uniform says, so
// one shader testing the switches at run time cost about a third of a full play frame.
extern const char* const VertexShaderSource = R"(
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec4 aColour;
layout(location = 3) in vec4 aSpecular;
layout(location = 4) in vec2 aTexCoord;
layout(location = 5) in vec4 aWorld0;
layout(location = 6) in vec4 aWorld1;
layout(location = 7) in vec4 aWorld2;
layout(location = 8) in vec4 aWorld3;

uniform mat4 uViewProjection;
uniform vec3 uEye;
uniform vec2 uViewportSize;
uniform vec3 uAmbient;
uniform vec4 uMaterialDiffuse;
uniform vec4 uMaterialAmbient;
uniform vec4 uMaterialSpecular;
uniform vec4 uMaterialEmissive;
uniform float uMaterialPower;
uniform vec3 uToLight;
uniform vec4 uLightDiffuse;
uniform vec4 uLightSpecular;
uniform vec4 uLightAmbient;

out vec4 vDiffuse;
out vec4 vSpecular;
out vec2 vTexCoord;

void main() {
    vTexCoord = aTexCoord;
    vSpecular = vec4(0.0);
#if LAYOUT == LAYOUT_SCREEN
    // Pixel (x, y) of the classic pipeline, y downwards, lies at window (x + 0.5, height - y - 0.5).
    float w = aPosition.w > 0.0 ? 1.0 / aPosition.w : 1.0;
    vec2 ndc = vec2((aPosition.x + 0.5) / uViewportSize.x * 2.0 - 1.0,
                    1.0 - (aPosition.y + 0.5) / uViewportSize.y * 2.0);
    gl_Position = vec4(ndc * w, (aPosition.z * 2.0 - 1.0) * w, w);
    vDiffuse = aColour;
#if SPECULAR
    vSpecular = vec4(aSpecular.rgb, 0.0);
#endif
#else
    mat4 world = mat4(aWorld0, aWorld1, aWorld2, aWorld3);
    vec4 worldPosition = world * vec4(aPosition.xyz, 1.0);
    vec4 clip = uViewProjection * worldPosition;
    // Depth 0..w of the classic clip space into GL's -w..w.
    gl_Position = vec4(clip.xy, clip.z * 2.0 - clip.w, clip.w);
#if LAYOUT == LAYOUT_QUAD
    vec4 colour = aColour;
#else
    vec4 colour = vec4(1.0);
#endif
#if !LIGHTING
    vDiffuse = colour;
#else
#if COLOUR_VERTEX
    vec4 diffuseSource = colour;
    vec4 ambientSource = colour;
#else
    vec4 diffuseSource = uMaterialDiffuse;
    vec4 ambientSource = uMaterialAmbient;
#endif
    vec3 normal = vec3(0.0);
#if LAYOUT == LAYOUT_MESH
    // The inverse transpose of the world's linear part, up to a positive factor: its cofactor matrix
    // (columns b x c, c x a, a x b) with the determinant's sign.
    mat3 linear = mat3(world);
    vec3 bc = cross(linear[1], linear[2]);
    float determinant = dot(linear[0], bc);
    mat3 normalMatrix = abs(determinant) > 1e-20
        ? mat3(bc, cross(linear[2], linear[0]), cross(linear[0], linear[1])) * sign(determinant)
        : linear;
    vec3 n = normalMatrix * aNormal;
    float length2 = dot(n, n);
    normal = length2 > 0.0 ? n * inversesqrt(length2) : vec3(0.0);
#endif
    vec3 lit = uMaterialEmissive.rgb + uAmbient * ambientSource.rgb;
#if LIGHT_ENABLED
    lit += uLightAmbient.rgb * ambientSource.rgb;
    float nDotL = dot(normal, uToLight);
    // Straight-line code: the lit and unlit sides cost the same on a vector processor anyway.
    float facing = nDotL > 0.0 ? 1.0 : 0.0;
    lit += max(nDotL, 0.0) * uLightDiffuse.rgb * diffuseSource.rgb;
#if SPECULAR
    vec3 toEye = uEye - worldPosition.xyz;
    float eyeLength2 = dot(toEye, toEye);
    toEye = eyeLength2 > 0.0 ? toEye * inversesqrt(eyeLength2) : vec3(0.0);
    vec3 halfway = uToLight + toEye;
    float halfLength2 = dot(halfway, halfway);
    halfway = halfLength2 > 0.0 ? halfway * inversesqrt(halfLength2) : uToLight;
    float nDotH = max(dot(normal, halfway), 0.0);
    float strength = uMaterialPower > 0.0 ? (nDotH > 0.0 ? pow(nDotH, uMaterialPower) : 0.0) : 1.0;
    vSpecular = vec4(clamp(facing * strength * uLightSpecular.rgb * uMaterialSpecular.rgb, 0.0, 1.0), 0.0);
#endif
#endif
    vDiffuse = vec4(clamp(lit, 0.0, 1.0), clamp(diffuseSource.a, 0.0, 1.0));
#endif
#endif
}
)";

// Texture stage 0: colour and alpha operations on the texture and the interpolated diffuse colour,
// then the specular colour added on top, as the classic pipeline does after texturing. COLOUR_ARG1
// and the like name `texel` or `vDiffuse`.
extern const char* const FragmentShaderSource = R"(
in vec4 vDiffuse;
in vec4 vSpecular;
in vec2 vTexCoord;

uniform sampler2D uTexture;

out vec4 fragColour;

void main() {
#if TEXTURE
    vec4 texel = texture(uTexture, vTexCoord);
#else
    vec4 texel = vec4(1.0);
#endif
#if COLOUR_OP == OP_SELECT_ARG1
    vec3 colour = COLOUR_ARG1.rgb;
#elif COLOUR_OP == OP_SELECT_ARG2
    vec3 colour = COLOUR_ARG2.rgb;
#elif COLOUR_OP == OP_MODULATE
    vec3 colour = COLOUR_ARG1.rgb * COLOUR_ARG2.rgb;
#else
    vec3 colour = vDiffuse.rgb;
#endif
#if ALPHA_OP == OP_SELECT_ARG1
    float alpha = ALPHA_ARG1.a;
#elif ALPHA_OP == OP_SELECT_ARG2
    float alpha = ALPHA_ARG2.a;
#elif ALPHA_OP == OP_MODULATE
    float alpha = ALPHA_ARG1.a * ALPHA_ARG2.a;
#else
    float alpha = vDiffuse.a;
#endif
#if SPECULAR
    colour = min(colour + vSpecular.rgb, vec3(1.0));
#endif
#if OPAQUE_ALPHA
    alpha = 1.0;
#endif
    fragColour = vec4(colour, alpha);
}
)";

// Draws a kept layer back: each pixel the layer drew, with its colour and depth, through the layer's own
// depth test; nothing where it did not draw (left at the cleared depth, 1). uRect is the layer's extent in
// normalised device coordinates (left, bottom, right, top), uOrigin the window position of the target's
// first pixel (the picture may lie inside a larger back buffer).
extern const char* const LayerVertexShaderSource = R"(#version 330 core
uniform vec4 uRect;
void main() {
    gl_Position = vec4((gl_VertexID & 1) != 0 ? uRect.z : uRect.x, (gl_VertexID & 2) != 0 ? uRect.w : uRect.y, 0.0, 1.0);
}
)";
extern const char* const LayerFragmentShaderSource = R"(#version 330 core
uniform sampler2D uLayerColour;
uniform sampler2D uLayerDepth;
uniform ivec2 uOrigin;
out vec4 fragColour;
void main() {
    ivec2 pixel = ivec2(gl_FragCoord.xy) - uOrigin;
    float depth = texelFetch(uLayerDepth, pixel, 0).r;
    if (depth >= 1.0) discard;
    fragColour = vec4(texelFetch(uLayerColour, pixel, 0).rgb, 1.0);
    gl_FragDepth = depth;
}
)";

// Puts the scene's own, smaller target into the picture: uRect (normalised device coordinates, which are
// the same for the picture and the target) is the part to copy. Linear filtering scales it up. The
// texture coordinates come from the vertices, not from the window position, which lets a software
// renderer take its fast path for plain textured rectangles.
extern const char* const SceneCopyVertexShaderSource = R"(#version 330 core
uniform vec4 uRect;
out vec2 vTexCoord;
void main() {
    vec2 corner = vec2((gl_VertexID & 1) != 0 ? uRect.z : uRect.x, (gl_VertexID & 2) != 0 ? uRect.w : uRect.y);
    vTexCoord = corner * 0.5 + 0.5;
    gl_Position = vec4(corner, 0.0, 1.0);
}
)";
extern const char* const SceneCopyFragmentShaderSource = R"(#version 330 core
uniform sampler2D uScene;
in vec2 vTexCoord;
out vec4 fragColour;
void main() {
    fragColour = texture(uScene, vTexCoord);
}
)";

GLuint CompileShader(GLenum kind, const std::string& preamble, const char* source, std::string& error) {
    GLuint shader = glCreateShader(kind);
    const char* parts[] = {preamble.c_str(), source};
    glShaderSource(shader, 2, parts, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        error = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader: " + log;
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// The linked program of the two sources, or 0 with the reason.
GLuint BuildProgram(const std::string& preamble, const char* vertexSource, const char* fragmentSource,
                    std::string& error) {
    const GLuint vertexShader = CompileShader(GL_VERTEX_SHADER, preamble, vertexSource, error);
    const GLuint fragmentShader =
        vertexShader ? CompileShader(GL_FRAGMENT_SHADER, preamble, fragmentSource, error) : 0;
    GLuint name = 0;
    if (vertexShader && fragmentShader) {
        name = glCreateProgram();
        glAttachShader(name, vertexShader);
        glAttachShader(name, fragmentShader);
        glLinkProgram(name);
        GLint linked = GL_FALSE;
        glGetProgramiv(name, GL_LINK_STATUS, &linked);
        if (!linked) {
            char log[2048] = {};
            glGetProgramInfoLog(name, sizeof log, nullptr, log);
            error = std::string("shader program: ") + log;
            glDeleteProgram(name);
            name = 0;
        }
    }
    if (vertexShader) glDeleteShader(vertexShader);
    if (fragmentShader) glDeleteShader(fragmentShader);
    return name;
}

ShaderVariant Device::CurrentVariant(Layout layout) const {
    auto rs = [this](RenderState state) { return renderStates[int(state)]; };
    auto stage = [this](TextureStageState state) { return stageStates[int(state)]; };
    ShaderVariant variant;
    variant.layout = layout;
    const bool specularEnable = rs(RenderState::SpecularEnable) != 0;
    if (layout == LayoutScreen) {
        variant.specular = specularEnable;
    } else if (rs(RenderState::Lighting) != 0) {
        variant.lighting = true;
        variant.lightEnabled = lightEnabled;
        variant.specular = specularEnable && lightEnabled;
        variant.colourVertex = layout == LayoutQuad && rs(RenderState::ColourVertex) != 0;
    }
    variant.texture = boundTexture != nullptr;
    variant.opaqueAlpha = rs(RenderState::AlphaBlendEnable) == 0;
    // Arguments an operation does not read are left out of the key, so they share one program.
    variant.colourOp = stage(TextureStageState::ColourOp);
    if (variant.colourOp == OpSelectArg1 || variant.colourOp == OpModulate)
        variant.colourArg1Texture = stage(TextureStageState::ColourArg1) == ArgTexture;
    if (variant.colourOp == OpSelectArg2 || variant.colourOp == OpModulate)
        variant.colourArg2Texture = stage(TextureStageState::ColourArg2) == ArgTexture;
    variant.alphaOp = stage(TextureStageState::AlphaOp);
    if (variant.alphaOp == OpSelectArg1 || variant.alphaOp == OpModulate)
        variant.alphaArg1Texture = stage(TextureStageState::AlphaArg1) == ArgTexture;
    if (variant.alphaOp == OpSelectArg2 || variant.alphaOp == OpModulate)
        variant.alphaArg2Texture = stage(TextureStageState::AlphaArg2) == ArgTexture;
    return variant;
}

ShaderProgram* Device::UseProgram(const ShaderVariant& variant, std::string* error) {
    auto [entry, added] = programs.try_emplace(variant.Key());
    ShaderProgram& variantProgram = entry->second;
    if (added) {
        std::string message;
        variantProgram.name =
            BuildProgram(variant.Preamble(), VertexShaderSource, FragmentShaderSource, message);
        if (variantProgram.name) {
            const GLuint name = variantProgram.name;
            auto at = [name](const char* uniform) { return glGetUniformLocation(name, uniform); };
            variantProgram.uniforms = {at("uViewProjection"),   at("uEye"),
                                       at("uViewportSize"),     at("uAmbient"),
                                       at("uMaterialDiffuse"),  at("uMaterialAmbient"),
                                       at("uMaterialSpecular"), at("uMaterialEmissive"),
                                       at("uMaterialPower"),    at("uToLight"),
                                       at("uLightDiffuse"),     at("uLightSpecular"),
                                       at("uLightAmbient")};
            glUseProgram(name);
            glUniform1i(glGetUniformLocation(name, "uTexture"), 0);
            program = &variantProgram;
        } else if (error) {
            *error = message;
        }
    }
    if (!variantProgram.name) return nullptr;
    if (program != &variantProgram) {
        glUseProgram(variantProgram.name);
        program = &variantProgram;
    }
    return program;
}

}  // namespace gldevice
