#include "effects/color_enhance/gl/gpu_color_enhance_program.h"

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
    tmp.x = (c.r <= 0.04045) ? c.r * 0.077399 : pow(c.r * 0.947867 + 0.052133, 2.4);
    tmp.y = (c.g <= 0.04045) ? c.g * 0.077399 : pow(c.g * 0.947867 + 0.052133, 2.4);
    tmp.z = (c.b <= 0.04045) ? c.b * 0.077399 : pow(c.b * 0.947867 + 0.052133, 2.4);
    mat3 myMat = mat3(0.4124, 0.3576, 0.1805,
                      0.2126, 0.7152, 0.0722,
                      0.0193, 0.1192, 0.9505);
    return (100.0 * tmp) * myMat;
}

vec3 xyz2lab(vec3 c) {
    vec3 n = c * vec3(0.010521, 0.01, 0.009184);
    vec3 v;
    v.x = (n.x > 0.008856) ? pow(n.x, 0.333333) : 7.787 * n.x + 0.137931;
    v.y = (n.y > 0.008856) ? pow(n.y, 0.333333) : 7.787 * n.y + 0.137931;
    v.z = (n.z > 0.008856) ? pow(n.z, 0.333333) : 7.787 * n.z + 0.137931;
    return vec3(116.0 * v.y - 16.0, 500.0 * (v.x - v.y), 200.0 * (v.y - v.z));
}

vec3 rgb2lab709(vec3 c) {
    vec3 lab = xyz2lab(rgb2xyz709(c));
    return vec3(lab.x * 0.01, 0.5 + 0.003937 * lab.y, 0.5 + 0.003937 * lab.z);
}

vec3 lab2xyz(vec3 c) {
    vec3 f;
    f.y = 0.008621 * c.x + 0.137931;
    f.x = 0.002 * c.y + f.y;
    f.z = f.y - 0.005 * c.z;
    vec3 c3 = f * f * f;
    vec3 lin = f * 0.128419 - 0.017713;
    vec3 xyz = vec3((f.x > 0.206897) ? c3.x : lin.x,
                    (f.y > 0.206897) ? c3.y : lin.y,
                    (f.z > 0.206897) ? c3.z : lin.z);
    return xyz * vec3(95.047, 100.000, 108.883);
}

vec3 xyz2rgb709(vec3 c) {
    mat3 myMat = mat3(3.2406, -1.5372, -0.4986,
                      -0.9689, 1.8758, 0.0415,
                      0.0557, -0.2040, 1.0570);
    vec3 v = (c * 0.01) * myMat;
    vec3 r;
    r.x = (v.x <= 0.0031308) ? 12.92 * v.x : 1.055 * pow(v.x, 0.416667) - 0.055;
    r.y = (v.y <= 0.0031308) ? 12.92 * v.y : 1.055 * pow(v.y, 0.416667) - 0.055;
    r.z = (v.z <= 0.0031308) ? 12.92 * v.z : 1.055 * pow(v.z, 0.416667) - 0.055;
    return r;
}

vec3 lab2rgb709(vec3 c) {
    return xyz2rgb709(lab2xyz(vec3(100.0 * c.x, 254.0 * c.y - 127.0, 254.0 * c.z - 127.0)));
}

void main() {
    vec3 rgb = texture(srcImageTex, vTextureCoord).rgb;

    float blueColor = rgb.b * 63.0;
    vec2 quad1;
    quad1.y = floor(floor(blueColor) * 0.125);
    quad1.x = floor(blueColor) - quad1.y * 8.0;
    vec2 quad2;
    quad2.y = floor(ceil(blueColor) * 0.125);
    quad2.x = ceil(blueColor) - quad2.y * 8.0;
    vec2 texPos1 = quad1 * 0.125 + 0.0009766 + 0.123047 * rgb.rg;
    vec2 texPos2 = quad2 * 0.125 + 0.0009766 + 0.123047 * rgb.rg;

    vec3 lab = clamp(rgb2lab709(rgb), 0.0, 1.0);
    float skinWeight = mix(texture(skinLutTex, texPos1).r, texture(skinLutTex, texPos2).r,
                           fract(blueColor));

    vec2 ab = lab.gb * 255.0 - 128.0;
    float c = sqrt(ab.r * ab.r + ab.g * ab.g);
    float u = clamp(c / maxRange, 0.0, 1.0);
    float deltaValue = mix((1.0 - u) * u, a * pow(u, gamma), step(u, uniformThreshold));
    float cNew = c + deltaValue * colorStep * (1.0 - skinWeight * suppressCoef);

    float cScale = 1.0;
    if (c != 0.0) {
        // A zero component allows any scale; keep the quotient finite.
        vec2 abScaleMax = 127.0 / max(abs(ab), vec2(1e-6));
        cScale = clamp(clamp(abScaleMax.r, 0.0, abScaleMax.g), 0.0, cNew / c);
    }
    ab *= cScale;
    lab.gb = clamp(0.003922 * ab + 0.501961, 0.0, 1.0);

    FragColor = vec4(clamp(lab2rgb709(lab), 0.0, 1.0), 1.0);
}
)";

GPUColorEnhanceProgram::GPUColorEnhanceProgram()
    : GLProgram(kDefaultVertexShader, kColorEnhanceFragmentShader) {}

void GPUColorEnhanceProgram::setColorStep(float strength) {
    setUniform1f("colorStep", strength * 100.0f);
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
