#include "effects/beauty/gl/gpu_beauty_programs.h"

#include "effects/beauty/beauty_model.h"

namespace kelvo {
namespace video {

const char* const kBeautyBlurVertexShader = R"(#version 330
layout(location = 0) in vec3 attPosition;
layout(location = 1) in vec2 attUV;
uniform float texBlurWidthOffset;
uniform float texBlurHeightOffset;
out vec2 textureCoord;
out vec4 texBlurShift1;
out vec4 texBlurShift2;
out vec4 texBlurShift3;
out vec4 texBlurShift4;
void main()
{
    gl_Position = vec4(attPosition, 1.0);
    textureCoord = attUV;
    vec2 singleStepOffset = vec2(texBlurWidthOffset, texBlurHeightOffset) * blurStep;
    texBlurShift1 = vec4(attUV - singleStepOffset, attUV + singleStepOffset);
    texBlurShift2 = vec4(attUV - 2.0 * singleStepOffset, attUV + 2.0 * singleStepOffset);
    texBlurShift3 = vec4(attUV - 3.0 * singleStepOffset, attUV + 3.0 * singleStepOffset);
    texBlurShift4 = vec4(attUV - 4.0 * singleStepOffset, attUV + 4.0 * singleStepOffset);
}
)";

const char* const kBeautySoften1FragmentShader = R"(#version 330
uniform sampler2D srcImageTex;
in highp vec2 textureCoord;
in highp vec4 texBlurShift1;
in highp vec4 texBlurShift2;
in highp vec4 texBlurShift3;
in highp vec4 texBlurShift4;
out vec4 FragColor;
void main()
{
    mediump vec3 sum = texture(srcImageTex, textureCoord).rgb;
    sum += texture(srcImageTex, texBlurShift1.xy).rgb;
    sum += texture(srcImageTex, texBlurShift1.zw).rgb;
    sum += texture(srcImageTex, texBlurShift2.xy).rgb;
    sum += texture(srcImageTex, texBlurShift2.zw).rgb;
    sum += texture(srcImageTex, texBlurShift3.xy).rgb;
    sum += texture(srcImageTex, texBlurShift3.zw).rgb;
    sum += texture(srcImageTex, texBlurShift4.xy).rgb;
    sum += texture(srcImageTex, texBlurShift4.zw).rgb;
    FragColor = vec4(sum * boxWeight, 1.0);
}
)";

const char* const kBeautySoften2FragmentShader = R"(#version 330
uniform sampler2D srcImageTex;
uniform sampler2D blurImageTex;
in highp vec2 textureCoord;
in highp vec4 texBlurShift1;
in highp vec4 texBlurShift2;
in highp vec4 texBlurShift3;
in highp vec4 texBlurShift4;
out vec4 FragColor;
void main()
{
    mediump vec3 sum = texture(blurImageTex, textureCoord).rgb;
    sum += texture(blurImageTex, texBlurShift1.xy).rgb;
    sum += texture(blurImageTex, texBlurShift1.zw).rgb;
    sum += texture(blurImageTex, texBlurShift2.xy).rgb;
    sum += texture(blurImageTex, texBlurShift2.zw).rgb;
    sum += texture(blurImageTex, texBlurShift3.xy).rgb;
    sum += texture(blurImageTex, texBlurShift3.zw).rgb;
    sum += texture(blurImageTex, texBlurShift4.xy).rgb;
    sum += texture(blurImageTex, texBlurShift4.zw).rgb;
    mediump vec3 meanColor = sum * boxWeight;
    lowp vec3 inColor = texture(srcImageTex, textureCoord).rgb;
    highp vec3 diffColor = (inColor - meanColor) * departureGain;
    diffColor = min(diffColor * diffColor, 1.0);
    FragColor = vec4(meanColor, (diffColor.r + diffColor.g + diffColor.b) * channelShare);
}
)";

const char* const kBeautyEdgeSoftenFragmentShader = R"(#version 330
uniform sampler2D varImageTex;
in highp vec2 textureCoord;
in highp vec4 texBlurShift1;
in highp vec4 texBlurShift2;
in highp vec4 texBlurShift3;
in highp vec4 texBlurShift4;
out vec4 FragColor;
void main()
{
    lowp vec4 color = texture(varImageTex, textureCoord);
    mediump float sum = color.a;
    sum += texture(varImageTex, texBlurShift1.xy).a;
    sum += texture(varImageTex, texBlurShift1.zw).a;
    sum += texture(varImageTex, texBlurShift2.xy).a;
    sum += texture(varImageTex, texBlurShift2.zw).a;
    sum += texture(varImageTex, texBlurShift3.xy).a;
    sum += texture(varImageTex, texBlurShift3.zw).a;
    sum += texture(varImageTex, texBlurShift4.xy).a;
    sum += texture(varImageTex, texBlurShift4.zw).a;
    FragColor = vec4(color.rgb, sum * boxWeight);
}
)";

const char* const kBeautyMixVertexShader = R"(#version 330
layout(location = 0) in vec3 attPosition;
layout(location = 1) in vec2 attUV;
uniform float widthOffset;
uniform float heightOffset;
out vec2 textureCoord;
out vec2 textureShift_1;
out vec2 textureShift_2;
out vec2 textureShift_3;
out vec2 textureShift_4;
out vec2 textureShift_5;
out vec2 textureShift_6;
out vec2 textureShift_7;
out vec2 textureShift_8;
void main()
{
    gl_Position = vec4(attPosition, 1.0);
    textureCoord = attUV;
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

const char* const kBeautyMixFragmentShader = R"(#version 330
precision mediump float;
in highp vec2 textureCoord;
in highp vec2 textureShift_1;
in highp vec2 textureShift_2;
in highp vec2 textureShift_3;
in highp vec2 textureShift_4;
in highp vec2 textureShift_5;
in highp vec2 textureShift_6;
in highp vec2 textureShift_7;
in highp vec2 textureShift_8;
uniform sampler2D srcImageTex;
uniform sampler2D blurImageTex;
uniform sampler2D whitenImageTex;
uniform sampler2D ruddyImageTex;
uniform lowp float blurAlpha;
uniform lowp float sharpen;
uniform lowp float lightStrength;
uniform lowp float whiteDegree;
uniform lowp float ruddyDegree;
uniform lowp int noiseLevel;
uniform  vec4 frequencyRangeValue;
uniform  vec4 frequencyRangeBlur;
uniform lowp int enableLut;
out vec4 FragColor;
lowp float  skinColor = 0.0;

vec4 shader_soften_mix(vec4 inColor)
{
    lowp vec4 preColor = texture(blurImageTex, textureCoord);
    lowp vec3 meanColor = preColor.rgb;
    mediump float p = clamp((min(inColor.r, meanColor.r - redFloorOffset) - redRampStart) * redRampGain, 0.0, 1.0);
    mediump float kMin = (1.0 - preColor.a / (preColor.a + theta)) * p * blurAlpha;
    if (kMin > 1.0 - frequencyRangeValue.x) {
        kMin *= frequencyRangeBlur.x;
    } else if (kMin > 1.0 - frequencyRangeValue.y) {
        kMin *= frequencyRangeBlur.y;
    } else if (kMin > 1.0 - frequencyRangeValue.z) {
        kMin *= frequencyRangeBlur.z;
    } else {
        kMin *= frequencyRangeBlur.w;
    }
    if (noiseLevel < 1 && lightStrength >= lightCut) {
        kMin *= skinColor;
    }
    lowp vec3 smoothColor = mix(inColor.rgb, meanColor, kMin);

    mediump float sum = (texture(srcImageTex, textureShift_1).g
                       + texture(srcImageTex, textureShift_2).g
                       + texture(srcImageTex, textureShift_3).g
                       + texture(srcImageTex, textureShift_4).g
                       + texture(srcImageTex, textureShift_5).g
                       + texture(srcImageTex, textureShift_6).g
                       + texture(srcImageTex, textureShift_7).g
                       + texture(srcImageTex, textureShift_8).g
                       + inColor.g) * boxWeight;
    float weight_L = sharpenWeightLow * sharpen;
    float weight_M = sharpenWeightMid * sharpen;
    float weight_H = sharpenWeightHigh * sharpen;
    float dif_value = inColor.g - sum;
    float tempSharp;
    if (dif_value < threshold_L) {
        tempSharp = sharpen < sharpenSkinCut ? weight_L * (1.0 - skinColor) : weight_L;
    } else if (dif_value <= threshold_M) {
        tempSharp = weight_M;
    } else {
        tempSharp = weight_H;
    }
    float hPass = inColor.g - sum + 0.5;
    float flag = step(0.5, hPass);
    vec3 tmpColor = 2.0 * hPass + smoothColor - 1.0;
    vec3 sharpColor = mix(max(vec3(0.0), tmpColor), min(vec3(1.0), tmpColor), flag);
    vec3 epmColor = mix(smoothColor, sharpColor, tempSharp);
    return vec4(epmColor, 1.0);
}

vec4 shader_lut_mix(vec4 textureColor, sampler2D lut, float uniAlpha)
{
    float blueColor = textureColor.b * lutTopLevel;
    vec2 quad1;
    quad1.y = floor(floor(blueColor) / lutTilesPerRow);
    quad1.x = floor(blueColor) - (quad1.y * lutTilesPerRow);
    vec2 quad2;
    quad2.y = floor(ceil(blueColor) / lutTilesPerRow);
    quad2.x = ceil(blueColor) - (quad2.y * lutTilesPerRow);
    vec2 texPos1;
    texPos1.x = (quad1.x * lutTileSize) + lutTexelCentre + (lutTileSpan * textureColor.r);
    texPos1.y = (quad1.y * lutTileSize) + lutTexelCentre + (lutTileSpan * textureColor.g);
    vec2 texPos2;
    texPos2.x = (quad2.x * lutTileSize) + lutTexelCentre + (lutTileSpan * textureColor.r);
    texPos2.y = (quad2.y * lutTileSize) + lutTexelCentre + (lutTileSpan * textureColor.g);
    lowp vec4 newColor1 = texture(lut, texPos1);
    lowp vec4 newColor2 = texture(lut, texPos2);
    lowp vec4 newColor = mix(newColor1, newColor2, fract(blueColor));
    return mix(textureColor, vec4(newColor.rgb, textureColor.w), uniAlpha);
}

void main()
{
    mediump vec4 tempColor = texture(srcImageTex, textureCoord);
    mediump float r = tempColor.r;
    mediump float g = tempColor.g;
    mediump float b = tempColor.b;
    if (lightStrength > lightCut) {
        if (r > skinMinRed && g > skinMinGreen && b > skinMinBlue
            && max(max(r, g), b) - min(min(r, g), b) > skinSpread
            && abs(r - g) > skinSpread && r > g && r > b) {
            skinColor = 1.0;
        }
    } else {
        if (r > brightSkinMinRed && g > brightSkinMinGreen && b > brightSkinMinBlue
            && abs(r - g) <= skinSpread && r > b && g > b) {
            skinColor = 1.0;
        }
    }
    tempColor = shader_soften_mix(tempColor);
    if (enableLut > 0) {
        tempColor = shader_lut_mix(tempColor, ruddyImageTex, ruddyDegree);
        tempColor = shader_lut_mix(tempColor, whitenImageTex, whiteDegree);
    }
    FragColor = tempColor;
}
)";

namespace {

bool inUnitRange(float x) { return kBeautyUnitRange.contains(x); }

}  // namespace

GPUBeautySoften1Program::GPUBeautySoften1Program()
    : GPUBeautyBlurProgram(withBeautyConstants(kBeautyBlurVertexShader).c_str(),
                           withBeautyConstants(kBeautySoften1FragmentShader).c_str()) {}

void GPUBeautyBlurProgram::setTexBlurOffset(float width, float height) {
    setUniform1f("texBlurWidthOffset", width);
    setUniform1f("texBlurHeightOffset", height);
}

void GPUBeautySoften1Program::setSrcTexture(const std::shared_ptr<GLTexture>& src) {
    if (src) SetUniformTexture("srcImageTex", src);
}

GPUBeautySoften2Program::GPUBeautySoften2Program()
    : GPUBeautyBlurProgram(withBeautyConstants(kBeautyBlurVertexShader).c_str(),
                           withBeautyConstants(kBeautySoften2FragmentShader).c_str()) {}

void GPUBeautySoften2Program::setSoftenTextures(const std::shared_ptr<GLTexture>& src,
                                                const std::shared_ptr<GLTexture>& blur) {
    if (src) SetUniformTexture("srcImageTex", src);
    if (blur) SetUniformTexture("blurImageTex", blur);
}

GPUBeautyEdgeSoftenProgram::GPUBeautyEdgeSoftenProgram()
    : GPUBeautyBlurProgram(withBeautyConstants(kBeautyBlurVertexShader).c_str(),
                           withBeautyConstants(kBeautyEdgeSoftenFragmentShader).c_str()) {}

void GPUBeautyEdgeSoftenProgram::setVarTexture(const std::shared_ptr<GLTexture>& var) {
    if (var) SetUniformTexture("varImageTex", var);
}

GPUBeautyMixAllProgram::GPUBeautyMixAllProgram()
    : UVQuadProgram(withBeautyConstants(kBeautyMixVertexShader).c_str(),
                    withBeautyConstants(kBeautyMixFragmentShader).c_str()) {}

GPUBeautyMixAllProgram::GPUBeautyMixAllProgram(const char* vertex, const char* fragment)
    : UVQuadProgram(vertex, fragment) {}

namespace {

// The selective mix's own steps; declarations, sharpening and table
// gradings are the classic mix's, cut from its source (its main, with
// the pixel skin test, is left out).
const char* const kSelectiveSmoothing = R"(
mediump float ramp(mediump float x, float start, float gain)
{
    return clamp((x - start) * gain, 0.0, 1.0);
}

vec4 shader_soften_mix(vec4 inColor)
{
    lowp vec4 preColor = texture(blurImageTex, textureCoord);
    lowp vec3 meanColor = preColor.rgb;
    mediump float inverse = 1.0 / (meanColor.r + selectiveEpsilon);
    mediump float hue = (meanColor.r - meanColor.g) * inverse;
    mediump float warmth = (meanColor.r - meanColor.b) * inverse;
    mediump float yellow = (meanColor.g + meanColor.g - meanColor.r - meanColor.b) * inverse;
    skinColor = ramp(hue, hueStart, hueGain) * ramp(warmth, warmthStart, warmthGain)
              * ((1.0 - ramp(warmth, orangeStart, orangeGain))
                 * (1.0 - ramp(yellow, yellowStart, yellowGain)))
              * ramp(meanColor.r, darkStart, darkGain);
    mediump vec3 taps[9] = vec3[9](texture(srcImageTex, textureShift_1).rgb,
                                   texture(srcImageTex, textureShift_2).rgb,
                                   texture(srcImageTex, textureShift_3).rgb,
                                   texture(srcImageTex, textureShift_4).rgb,
                                   texture(srcImageTex, textureShift_5).rgb,
                                   texture(srcImageTex, textureShift_6).rgb,
                                   texture(srcImageTex, textureShift_7).rgb,
                                   texture(srcImageTex, textureShift_8).rgb,
                                   inColor.rgb);
    mediump vec3 localMean = vec3(0.0);
    for (int i = 0; i < 9; ++i) localMean += taps[i];
    localMean *= boxWeight;
    mediump float fineMean = localMean.g;
    mediump float spread = 0.0;
    for (int i = 0; i < 9; ++i) spread += (taps[i].g - fineMean) * (taps[i].g - fineMean);
    spread = spread * boxWeight / (fineMean * fineMean + fineFloor);
    mediump float offset = fineMean - meanColor.g;
    mediump float follow = ramp(abs(offset), levelStart, levelGain) * offset;
    mediump float keep = (1.0 - ramp(spread, fineStart, fineGain))
                       * (1.0 - ramp(preColor.a, edgeStart, edgeGain));
    mediump float kMin = skinColor * keep * (blurAlpha * selectiveStrength);
    // Red and blue keep the 3 x 3 mean's departure from its green: the
    // blurred mean's level, not the colour of the surfaces it reaches.
    mediump vec3 target = localMean - fineMean + (meanColor.g + follow);
    lowp vec3 smoothColor = mix(inColor.rgb, clamp(target, 0.0, 1.0), kMin);

)";

const char* const kSelectiveMain = R"(void main()
{
    mediump vec4 tempColor = texture(srcImageTex, textureCoord);
    tempColor = shader_soften_mix(tempColor);
    if (enableLut > 0) {
        tempColor = shader_lut_mix(tempColor, ruddyImageTex, ruddyDegree);
        tempColor = shader_lut_mix(tempColor, whitenImageTex, whiteDegree);
    }
    FragColor = tempColor;
}
)";

std::string selectiveMixFragmentShader() {
    const std::string mix = kBeautyMixFragmentShader;
    const size_t declared = mix.find("lowp float  skinColor");
    const size_t sharpening = mix.find("    mediump float sum = ");
    const size_t main = mix.find("void main()");
    const size_t afterDeclared = mix.find('\n', declared) + 1;
    return withBeautySelectiveConstants((mix.substr(0, afterDeclared) + kSelectiveSmoothing +
                                         mix.substr(sharpening, main - sharpening) + kSelectiveMain)
                                            .c_str());
}

}  // namespace

GPUBeautySelectiveMixProgram::GPUBeautySelectiveMixProgram()
    : GPUBeautyMixAllProgram(withBeautyConstants(kBeautyMixVertexShader).c_str(),
                             selectiveMixFragmentShader().c_str()) {}

void GPUBeautyMixAllProgram::setMixTextures(const std::shared_ptr<GLTexture>& src,
                                            const std::shared_ptr<GLTexture>& blur,
                                            const std::shared_ptr<GLTexture>& whiten,
                                            const std::shared_ptr<GLTexture>& ruddy) {
    if (src) SetUniformTexture("srcImageTex", src);
    if (blur) SetUniformTexture("blurImageTex", blur);
    if (whiten) SetUniformTexture("whitenImageTex", whiten);
    if (ruddy) SetUniformTexture("ruddyImageTex", ruddy);
}

void GPUBeautyMixAllProgram::setOffset(float width, float height) {
    setUniform1f("widthOffset", width);
    setUniform1f("heightOffset", height);
}

void GPUBeautyMixAllProgram::setBlurAlpha(float x) {
    if (inUnitRange(x)) setUniform1f("blurAlpha", x);
}

void GPUBeautyMixAllProgram::setSharpen(float x) {
    if (inUnitRange(x)) setUniform1f("sharpen", x);
}

void GPUBeautyMixAllProgram::setWhiteDegree(float x) {
    if (inUnitRange(x)) setUniform1f("whiteDegree", x);
}

void GPUBeautyMixAllProgram::setRuddyDegree(float x) {
    if (inUnitRange(x)) setUniform1f("ruddyDegree", x);
}

void GPUBeautyMixAllProgram::setContrast(float x) {
    if (kBeautyContrastRange.contains(x)) setUniform1f("contrast", x);
}

void GPUBeautyMixAllProgram::setLightStrength(float x) { setUniform1f("lightStrength", x); }

void GPUBeautyMixAllProgram::setNoiseLevel(int n) { setUniform1i("noiseLevel", n); }

void GPUBeautyMixAllProgram::setEnableLut(int n) { setUniform1i("enableLut", n); }

void GPUBeautyMixAllProgram::setFrequencyRange() {
    const float* v = kBeautyBandValue;
    const float* b = kBeautyBandBlur;
    setUniform4f("frequencyRangeValue", v[0], v[1], v[2], v[3]);
    setUniform4f("frequencyRangeBlur", b[0], b[1], b[2], b[3]);
}

}  // namespace video
}  // namespace kelvo
