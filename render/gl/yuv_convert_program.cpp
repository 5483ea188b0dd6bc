#include "render/gl/yuv_convert_program.h"

#include <cstring>

#include "frame/i420_video_frame.h"
#include "gpu/default_programs.h"
#include "gpu/gl_check.h"
#include "gpu/gl_texture.h"

namespace kelvo {
namespace video {

const char* const kYUVConvertFragmentShader =
    "#version 330 core\n"
    "precision mediump float;\n"
    "uniform sampler2D yTex;\n"
    "uniform sampler2D uTex;\n"
    "uniform sampler2D vTex;\n"
    "uniform mat3 colorMatrix;\n"
    "uniform  highp float rangeOffset;\n"
    "uniform highp float chromaOffset;\n"
    "in vec2 vTextureCoord;\n"
    "out vec4 FragColor;\n"
    "void main() {\n"
    "    vec2 tc = vTextureCoord;\n"
    "    float y = clamp(texture(yTex, tc).r - rangeOffset, -rangeOffset, 1.0);\n"
    "    float cb = clamp(texture(uTex, tc).r - chromaOffset, -0.5, 0.5);\n"
    "    float cr = clamp(texture(vTex, tc).r - chromaOffset, -0.5, 0.5);\n"
    "    FragColor = vec4(colorMatrix * vec3(y, cb, cr), 1.0);\n"
    "}\n";

YUVConvertProgram::YUVConvertProgram()
    : GLProgram(kDefaultVertexShader, kYUVConvertFragmentShader),
      yTexture_(std::make_shared<GLTexture>()), uTexture_(std::make_shared<GLTexture>()),
      vTexture_(std::make_shared<GLTexture>()) {}

YUVConvertProgram::~YUVConvertProgram() {
    yTexture_->recycle();
    uTexture_->recycle();
    vTexture_->recycle();
    width_ = height_ = alignedWidth_ = 0;
}

bool YUVConvertProgram::allocateStorage(int width, int height, int alignedWidth) {
    const unsigned failuresBefore = glFailureCount();
    yTexture_->Load(nullptr, 0, alignedWidth, height, GL_RED);
    // Every chroma row of the frame, the last of an odd height included: a
    // frame one row high would otherwise get chroma textures with no rows.
    const int chromaRows = (height + 1) / 2;
    uTexture_->Load(nullptr, 0, alignedWidth / 2, chromaRows, GL_RED);
    vTexture_->Load(nullptr, 0, alignedWidth / 2, chromaRows, GL_RED);
    glBindTexture(GL_TEXTURE_2D, 0);
    if (glFailureCount() != failuresBefore) {
        // No storage at this size: the next frame tries again.
        texturesReady_ = 0;
        width_ = height_ = alignedWidth_ = 0;
        return false;
    }
    texturesReady_ = 1;
    width_ = width;
    height_ = height;
    alignedWidth_ = alignedWidth;
    ++storageAllocations_;
    return true;
}

bool YUVConvertProgram::UpdateTextures(const std::shared_ptr<I420VideoFrame>& frame) {
    if (!frame) {
        return false;
    }
    frame->padRowEnds();

    const int w = frame->width();
    const int h = frame->height();
    const int strideY = frame->stride(0);
    if (w < 1 || h < 1 || strideY < w) {
        return false;
    }
    const int aligned = (strideY + 15) / 16 * 16;
    const int chromaWidth = aligned / 2;
    // An odd width has one chroma column more than half of it; the texture
    // samples it at the right edge, so it must be uploaded too.
    const int chromaColumns = (w + 1) / 2;
    const int chromaRows = (h + 1) / 2;
    // A plane uploaded straight from the frame is read as whole texture rows.
    auto rowBytes = [](int stride, int textureWidth, int columns) {
        return stride == textureWidth ? textureWidth : columns;
    };
    // An upload reads rows - 1 whole strides plus the last row.
    if (!frame->planeHolds(0, rowBytes(strideY, aligned, w), h) ||
        !frame->planeHolds(1, rowBytes(frame->stride(1), chromaWidth, chromaColumns), chromaRows) ||
        !frame->planeHolds(2, rowBytes(frame->stride(2), chromaWidth, chromaColumns), chromaRows)) {
        return false;
    }

    // The texture width follows the stride, so a new stride at the same size
    // needs new storage as well.
    if ((w != width_ || h != height_ || aligned != alignedWidth_) &&
        !allocateStorage(w, h, aligned)) {
        return false;
    }

    checkGLError("UpdateTextures begin");
    matrix_ = &yuvMatrixFor(frame->colorMatrix, frame->colorRange);
    setUniformMatrix3fv("colorMatrix", matrix_->decode, true);
    setUniform1f("rangeOffset", matrix_->lumaOffset);
    setUniform1f("chromaOffset", matrix_->chromaOffset);

    SetUniformTexture("yTex", yTexture_);
    uploadPlane(aligned, w, h, strideY, frame->buffer(0), GL_RED);
    SetUniformTexture("uTex", uTexture_);
    uploadPlane(chromaWidth, chromaColumns, chromaRows, frame->stride(1), frame->buffer(1), GL_RED);
    SetUniformTexture("vTex", vTexture_);
    uploadPlane(chromaWidth, chromaColumns, chromaRows, frame->stride(2), frame->buffer(2), GL_RED);
    if (!checkGLAllocation("UpdateTextures end")) {
        return false;
    }

    const float edge = static_cast<float>(w) / static_cast<float>(aligned);
    quadTexCoords[2] = edge;
    quadTexCoords[6] = edge;
    return true;
}

void YUVConvertProgram::uploadPlane(int textureWidth, int columns, int rows, int stride,
                                    const uint8_t* src, GLenum format) {
    if (rows <= 0 || textureWidth <= 0) {
        return;
    }
    if (stride == textureWidth) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, stride, rows, format, GL_UNSIGNED_BYTE, src);
        return;
    }
    const size_t needed = static_cast<size_t>(textureWidth) * static_cast<size_t>(rows);
    if (staging_.size() < needed) {
        staging_.resize(needed);
    }
    uint8_t* dst = staging_.data();
    for (int row = 0; row < rows; ++row) {
        if (columns > 0) {
            std::memcpy(dst, src, static_cast<size_t>(columns));
            if (columns < textureWidth) {
                dst[columns] = dst[columns - 1];
            }
        }
        dst += textureWidth;
        src += stride;
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, textureWidth, rows, format, GL_UNSIGNED_BYTE,
                    staging_.data());
}

void YUVConvertProgram::draw() {
    if (!texturesReady_ || width_ == 0 || height_ == 0) {
        return;
    }
    SetUniformTexture("yTex", yTexture_);
    SetUniformTexture("uTex", uTexture_);
    SetUniformTexture("vTex", vTexture_);
    GLProgram::draw();
    vTexture_->unbind(textureUnits["vTex"]);
    uTexture_->unbind(textureUnits["uTex"]);
    yTexture_->unbind(textureUnits["yTex"]);
    glActiveTexture(GL_TEXTURE0);
}

}  // namespace video
}  // namespace kelvo
