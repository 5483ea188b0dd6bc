// Planar Y'CbCr to RGB: uploads an I420 frame into three GL_RED textures and
// converts it in one full-screen pass.
#pragma once

#include <epoxy/gl.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "frame/yuv_matrix.h"
#include "gpu/gl_program.h"

namespace kelvo {
namespace video {

class I420VideoFrame;
class GLTexture;

// The fragment shader text (samplers yTex, uTex, vTex; uniforms colorMatrix,
// rangeOffset, chromaOffset: the YUVMatrix of the frame's colour codes).
extern const char* const kYUVConvertFragmentShader;

// A GLProgram that owns three plane textures: Y at aligned width x height,
// U and V at aligned width / 2 x (height + 1) / 2, where the aligned width is the
// luma stride rounded up to 16. Rows whose stride differs from the texture
// width are repacked through a staging buffer that grows to the largest
// upload seen and is kept until destruction.
//
// Construction, use and destruction need the GL context current; not
// thread-safe.
class YUVConvertProgram : public GLProgram {
public:
    YUVConvertProgram();
    ~YUVConvertProgram() override;

    // Pads the frame's row ends, (re)allocates the textures when the width,
    // height or aligned width changed, uploads the three planes and points
    // the quad's right edge at width / aligned width. False, with nothing
    // uploaded, for a null frame, a size below 1x1, or planes that do not
    // hold the rows the upload reads; false too when storage or upload
    // failed in GL (counted by glFailureCount).
    bool UpdateTextures(const std::shared_ptr<I420VideoFrame>& frame);

    // Draws into the bound framebuffer once textures hold a frame; otherwise
    // does nothing. Leaves texture units 0..2 unbound and unit 0 active.
    void draw() override;

    // For diagnostics and tests.
    int texturesReady() const { return texturesReady_; }
    int textureWidth() const { return alignedWidth_; }
    float rightEdgeTexCoord() const { return quadTexCoords[2]; }
    float rangeOffset() const { return matrix_ ? matrix_->lumaOffset : 0.0f; }
    const float* colorMatrix() const { return matrix_ ? matrix_->decode : nullptr; }
    // Bytes the staging buffer holds; 0 until a plane needed repacking.
    size_t stagingCapacity() const { return staging_.size(); }
    // How often texture storage was (re)allocated.
    int storageAllocations() const { return storageAllocations_; }

private:
    // Uploads `rows` rows of `columns` bytes, `stride` apart, into the bound
    // texture of width textureWidth; repacks when stride differs, repeating
    // the last visible byte once to the right.
    void uploadPlane(int textureWidth, int columns, int rows, int stride, const uint8_t* src,
                     GLenum format);
    // False, with no size kept, when a texture got no storage.
    bool allocateStorage(int width, int height, int alignedWidth);

    std::shared_ptr<GLTexture> yTexture_;
    std::shared_ptr<GLTexture> uTexture_;
    std::shared_ptr<GLTexture> vTexture_;
    int texturesReady_ = 0;
    int width_ = 0;
    int height_ = 0;
    int alignedWidth_ = 0;
    std::vector<uint8_t> staging_;
    // The conversion of the last upload (yuvMatrixFor of its colour codes).
    const YUVMatrix* matrix_ = nullptr;
    int storageAllocations_ = 0;
};

}  // namespace video
}  // namespace kelvo
