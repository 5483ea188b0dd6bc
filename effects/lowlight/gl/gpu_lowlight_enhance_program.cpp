#include "effects/lowlight/gl/gpu_lowlight_enhance_program.h"

#include "effects/lowlight/lowlight_model.h"

namespace kelvo {
namespace video {

const char* const kLowlightEnhanceVertexShader = R"(#version 330
layout(location = 0) in vec3 attPosition;
layout(location = 1) in vec2 attUV;
uniform float widthOffset;
uniform float heightOffset;
out vec2 vTextureCoord;
out vec2 textureShift_1;
out vec2 textureShift_2;
out vec2 textureShift_3;
out vec2 textureShift_4;
out vec2 textureShift_5;
out vec2 textureShift_6;
out vec2 textureShift_7;
out vec2 textureShift_8;

void main() {
    gl_Position = vec4(attPosition, 1.0);
    vTextureCoord = attUV;
    textureShift_1 = attUV + vec2(widthOffset, heightOffset);
    textureShift_2 = attUV + vec2(-widthOffset, -heightOffset);
    textureShift_3 = attUV + vec2(-widthOffset, heightOffset);
    textureShift_4 = attUV + vec2(widthOffset, -heightOffset);
    textureShift_5 = attUV + vec2(widthOffset, 0.0);
    textureShift_6 = attUV + vec2(-widthOffset, 0.0);
    textureShift_7 = attUV + vec2(0.0, heightOffset);
    textureShift_8 = attUV + vec2(0.0, -heightOffset);
}
)";

const char* const kLowlightEnhanceFragmentShader = R"(#version 330 core
precision mediump float;
in highp vec2 vTextureCoord;
in highp vec2 textureShift_1;
in highp vec2 textureShift_2;
in highp vec2 textureShift_3;
in highp vec2 textureShift_4;
in highp vec2 textureShift_5;
in highp vec2 textureShift_6;
in highp vec2 textureShift_7;
in highp vec2 textureShift_8;
out vec4 FragColor;
uniform sampler2D srcImageTex;
uniform  highp float logMean;
uniform highp float strength;
uniform highp float sharpen;
uniform highp float quiet;

void main() {
    vec3 rgb = texture(srcImageTex, vTextureCoord).rgb;
    float y = clamp(lumaRed * rgb.r + lumaGreen * rgb.g + lumaBlue * rgb.b, 0.0, 1.0);

    float yNew = y;
    if (y < knee) {
        float k = logMean / logMeanScale;
        yNew = log(1.0 + y / k) / log(1.0 + knee / k) * knee;
    }
    float gain = (y > blackLuma) ? yNew / y : 0.0;
    // The adaptive lift: the gain that share of the way from none.
    if (strength < 1.0) {
        gain = 1.0 + strength * (gain - 1.0);
    }
    vec3 lifted = clamp(0.5 * (gain * (rgb + y) + (rgb - y)), 0.0, 1.0);

    float sum = texture(srcImageTex, textureShift_1).g;
    sum += texture(srcImageTex, textureShift_2).g;
    sum += texture(srcImageTex, textureShift_3).g;
    sum += texture(srcImageTex, textureShift_4).g;
    sum += texture(srcImageTex, textureShift_5).g;
    sum += texture(srcImageTex, textureShift_6).g;
    sum += texture(srcImageTex, textureShift_7).g;
    sum += texture(srcImageTex, textureShift_8).g;
    sum = (sum + rgb.g) * boxWeight;

    float tempSharp;
    float dif_value = rgb.g - sum;
    if (dif_value < threshold_L) {
        tempSharp = weight_L;
    } else if (dif_value <= threshold_M) {
        tempSharp = weight_M;
    } else {
        tempSharp = weight_H;
    }
    // The adaptive lift's sharpening (the quiet weight is the low band's
    // otherwise).
    if (sharpen < 1.0 || quiet != weight_L) {
        tempSharp *= sharpen;
        if (dif_value < threshold_L && dif_value > -threshold_L) {
            tempSharp = quiet;
        }
    }

    float hPass = rgb.g - sum + 0.5;
    float flag = step(0.5, hPass);
    vec3 tmpColor = 2.0 * hPass + lifted - 1.0;
    vec3 sharpColor = mix(max(vec3(0.0), tmpColor), min(vec3(1.0), tmpColor), flag);

    FragColor = vec4(mix(lifted, sharpColor, tempSharp), 1.0);
}
)";

GPULowlightEnhanceProgram::GPULowlightEnhanceProgram()
    : UVQuadProgram(kLowlightEnhanceVertexShader,
                    withLowlightConstants(kLowlightEnhanceFragmentShader).c_str()) {}

void GPULowlightEnhanceProgram::setSrcTexture(const std::shared_ptr<TextureBase>& texture) {
    if (texture) {
        SetUniformTexture("srcImageTex", texture);
    }
}

void GPULowlightEnhanceProgram::setOffset(float width, float height) {
    setUniform1f("widthOffset", width);
    setUniform1f("heightOffset", height);
}

void GPULowlightEnhanceProgram::setShape(const LowlightShape& shape) {
    setUniform1f("strength", shape.strength);
    setUniform1f("sharpen", shape.sharpen);
    setUniform1f("quiet", shape.quiet);
}

void GPULowlightEnhanceProgram::setLogMean(float value) {
    if (value > 0.0f) {
        setUniform1f("logMean", value);
    }
}

}  // namespace video
}  // namespace kelvo
