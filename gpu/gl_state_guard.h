// Saving and restoring a caller's GL state around the library's GL work.
#pragma once

namespace kelvo {
namespace video {

// Scoped guard for work in a GL context that belongs to the caller: the
// constructor records the state the library's passes touch or depend on and
// sets the GL defaults the passes assume (no blending, culling, depth,
// stencil or scissor test, full colour mask, filled polygons, default pixel
// store, no pixel buffers bound); the destructor puts every recorded value
// back. Covered: current program, active texture unit and the 2D texture
// bound on the first kTextureUnits units, draw and read framebuffers,
// renderbuffer, viewport, vertex array, array buffer, pixel pack and unpack
// buffers, clear colour, colour mask, polygon mode, the enables above and
// pack/unpack alignment, row length and skips.
//
// Needs the caller's context current for its whole life, on one thread.
// Objects the library deletes while the guard lives are not re-bound: a
// caller never had them bound.
class GLStateGuard {
public:
    // Units the library's programs sample from (samplers get units 0, 1, ...
    // per program; no program has more).
    static constexpr int kTextureUnits = 8;
    static constexpr int kPixelStores = 9;

    GLStateGuard();
    ~GLStateGuard();
    GLStateGuard(const GLStateGuard&) = delete;
    GLStateGuard& operator=(const GLStateGuard&) = delete;

private:
    int program;
    int activeTexture;
    int textures[kTextureUnits];
    int drawFramebuffer;
    int readFramebuffer;
    int renderbuffer;
    int viewport[4];
    int vertexArray;
    int arrayBuffer;
    int pixelPackBuffer;
    int pixelUnpackBuffer;
    float clearColor[4];
    unsigned char colorMask[4];
    int polygonMode[2];
    bool blend, cullFace, depthTest, stencilTest, scissorTest;
    int pixelStore[kPixelStores];  // pack then unpack parameters, in table order
};

}  // namespace video
}  // namespace kelvo
