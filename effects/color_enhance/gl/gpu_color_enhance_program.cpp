#include "effects/color_enhance/gl/gpu_color_enhance_program.h"

#include "effects/color_enhance/color_enhance_model.h"
#include "gpu/default_programs.h"

namespace kelvo {
namespace video {

const char* const kColorEnhanceFragmentShader = R"(#version 330 core
precision mediump float;
in vec2 vTextureCoord;
out vec4 FragColor;
uniform sampler2D srcImageTex;
uniform sampler2D skinLutTex;
uniform float colorStep;
uniform float suppressCoef;
uniform float a;
uniform float uniformThreshold;
uniform float gamma;
uniform float maxRange;

vec3 rgb2xyz709(vec3 c) {
    vec3 tmp;
    tmp.x = (c.r <= srgbDecodeKnee) ? c.r * srgbDecodeSlope
                                        : pow(c.r * srgbDecodeScale + srgbDecodeOffset, srgbDecodeGamma);
    tmp.y = (c.g <= srgbDecodeKnee) ? c.g * srgbDecodeSlope
                                        : pow(c.g * srgbDecodeScale + srgbDecodeOffset, srgbDecodeGamma);
    tmp.z = (c.b <= srgbDecodeKnee) ? c.b * srgbDecodeSlope
                                        : pow(c.b * srgbDecodeScale + srgbDecodeOffset, srgbDecodeGamma);
    mat3 myMat = mat3(xyzFromRgb0, xyzFromRgb1, xyzFromRgb2,
                      xyzFromRgb3, xyzFromRgb4, xyzFromRgb5,
                      xyzFromRgb6, xyzFromRgb7, xyzFromRgb8);
    return (xyzScale * tmp) * myMat;
}

vec3 xyz2lab(vec3 c) {
    vec3 n = c * vec3(labWhiteInverseX, labWhiteInverseY, labWhiteInverseZ);
    vec3 v;
    v.x = (n.x > labKnee) ? pow(n.x, labCubeRoot) : labSlope * n.x + labOffset;
    v.y = (n.y > labKnee) ? pow(n.y, labCubeRoot) : labSlope * n.y + labOffset;
    v.z = (n.z > labKnee) ? pow(n.z, labCubeRoot) : labSlope * n.z + labOffset;
    return vec3(labLightnessScale * v.y - labLightnessOffset, labAScale * (v.x - v.y),
                labBScale * (v.y - v.z));
}

vec3 rgb2lab709(vec3 c) {
    vec3 lab = xyz2lab(rgb2xyz709(c));
    return vec3(lab.x * labPackLightness, labPackCentre + labPackAb * lab.y,
                labPackCentre + labPackAb * lab.z);
}

vec3 lab2xyz(vec3 c) {
    vec3 f;
    f.y = labInverseLightness * c.x + labOffset;
    f.x = labInverseA * c.y + f.y;
    f.z = f.y - labInverseB * c.z;
    vec3 c3 = f * f * f;
    vec3 lin = f * labInverseSlope - labInverseOffset;
    vec3 xyz = vec3((f.x > labInverseKnee) ? c3.x : lin.x,
                    (f.y > labInverseKnee) ? c3.y : lin.y,
                    (f.z > labInverseKnee) ? c3.z : lin.z);
    return xyz * vec3(labWhiteX, labWhiteY, labWhiteZ);
}

vec3 xyz2rgb709(vec3 c) {
    mat3 myMat = mat3(rgbFromXyz0, rgbFromXyz1, rgbFromXyz2,
                      rgbFromXyz3, rgbFromXyz4, rgbFromXyz5,
                      rgbFromXyz6, rgbFromXyz7, rgbFromXyz8);
    vec3 v = (c * xyzUnscale) * myMat;
    vec3 r;
    r.x = (v.x <= srgbEncodeKnee) ? srgbEncodeSlope * v.x
                                    : srgbEncodeScale * pow(v.x, srgbEncodeExponent) - srgbEncodeOffset;
    r.y = (v.y <= srgbEncodeKnee) ? srgbEncodeSlope * v.y
                                    : srgbEncodeScale * pow(v.y, srgbEncodeExponent) - srgbEncodeOffset;
    r.z = (v.z <= srgbEncodeKnee) ? srgbEncodeSlope * v.z
                                    : srgbEncodeScale * pow(v.z, srgbEncodeExponent) - srgbEncodeOffset;
    return r;
}

vec3 lab2rgb709(vec3 c) {
    return xyz2rgb709(lab2xyz(vec3(labUnpackLightness * c.x, labUnpackAb * c.y - labAbLimit,
                                   labUnpackAb * c.z - labAbLimit)));
}

void main() {
    vec3 rgb = texture(srcImageTex, vTextureCoord).rgb;

    float blueColor = rgb.b * lutTopLevel;
    vec2 quad1;
    quad1.y = floor(floor(blueColor) * lutTileSize);
    quad1.x = floor(blueColor) - quad1.y * lutTilesPerRow;
    vec2 quad2;
    quad2.y = floor(ceil(blueColor) * lutTileSize);
    quad2.x = ceil(blueColor) - quad2.y * lutTilesPerRow;
    vec2 texPos1 = quad1 * lutTileSize + skinLutTexelCentre + skinLutTileSpan * rgb.rg;
    vec2 texPos2 = quad2 * lutTileSize + skinLutTexelCentre + skinLutTileSpan * rgb.rg;

    vec3 lab = clamp(rgb2lab709(rgb), 0.0, 1.0);
    float skinWeight = mix(texture(skinLutTex, texPos1).r, texture(skinLutTex, texPos2).r,
                           fract(blueColor));

    vec2 ab = lab.gb * labStepScale - labStepCentre;
    float c = sqrt(ab.r * ab.r + ab.g * ab.g);
    float u = clamp(c / maxRange, 0.0, 1.0);
    float deltaValue = mix((1.0 - u) * u, a * pow(u, gamma), step(u, uniformThreshold));
    float cNew = c + deltaValue * colorStep * (1.0 - skinWeight * suppressCoef);

    float cScale = 1.0;
    if (c != 0.0) {
        // A zero component allows any scale; keep the quotient finite.
        vec2 abScaleMax = labAbLimit / max(abs(ab), vec2(labAbFloor));
        cScale = clamp(clamp(abScaleMax.r, 0.0, abScaleMax.g), 0.0, cNew / c);
    }
    ab *= cScale;
    lab.gb = clamp(labStepRepack * ab + labStepRepackCentre, 0.0, 1.0);

    FragColor = vec4(clamp(lab2rgb709(lab), 0.0, 1.0), 1.0);
}
)";

GPUColorEnhanceProgram::GPUColorEnhanceProgram()
    : GLProgram(kDefaultVertexShader,
                withColorEnhanceConstants(kColorEnhanceFragmentShader).c_str()) {}

void GPUColorEnhanceProgram::setColorStep(float strength) {
    setUniform1f("colorStep", strength * kColorEnhanceStepScale);
}

void GPUColorEnhanceProgram::setSuppressCoef(float value) { setUniform1f("suppressCoef", value); }

void GPUColorEnhanceProgram::setCurve(float threshold, float gamma, float gain) {
    setUniform1f("uniformThreshold", threshold);
    setUniform1f("gamma", gamma);
    setUniform1f("a", gain);
}

void GPUColorEnhanceProgram::setMaxRange(float value) { setUniform1f("maxRange", value); }

void GPUColorEnhanceProgram::setSrcTexture(const std::shared_ptr<TextureBase>& texture) {
    if (texture) {
        SetUniformTexture("srcImageTex", texture);
    }
}

void GPUColorEnhanceProgram::setSkinLut(const std::shared_ptr<TextureBase>& table) {
    if (table) {
        SetUniformTexture("skinLutTex", table);
    }
}

}  // namespace video
}  // namespace kelvo
