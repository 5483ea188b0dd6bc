#include "gpu/gl_state_guard.h"

#include <epoxy/gl.h>

namespace kelvo {
namespace video {

namespace {

int getInt(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

void setEnabled(GLenum capability, bool enabled) {
    if (enabled)
        glEnable(capability);
    else
        glDisable(capability);
}

// Pack and unpack parameters with their GL defaults, which the library's
// uploads and readbacks assume.
struct PixelStore {
    GLenum name;
    int initial;
};
const PixelStore kPixelStoreTable[] = {
    {GL_PACK_ALIGNMENT, 4},   {GL_PACK_ROW_LENGTH, 0},    {GL_PACK_SKIP_ROWS, 0},
    {GL_PACK_SKIP_PIXELS, 0}, {GL_UNPACK_ALIGNMENT, 4},   {GL_UNPACK_ROW_LENGTH, 0},
    {GL_UNPACK_SKIP_ROWS, 0}, {GL_UNPACK_SKIP_PIXELS, 0}, {GL_UNPACK_IMAGE_HEIGHT, 0},
};
static_assert(sizeof(kPixelStoreTable) / sizeof(kPixelStoreTable[0]) == GLStateGuard::kPixelStores,
              "one saved value per pixel-store parameter");

}  // namespace

GLStateGuard::GLStateGuard() {
    program = getInt(GL_CURRENT_PROGRAM);
    activeTexture = getInt(GL_ACTIVE_TEXTURE);
    for (int unit = 0; unit < kTextureUnits; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        textures[unit] = getInt(GL_TEXTURE_BINDING_2D);
    }
    glActiveTexture(static_cast<GLenum>(activeTexture));
    drawFramebuffer = getInt(GL_DRAW_FRAMEBUFFER_BINDING);
    readFramebuffer = getInt(GL_READ_FRAMEBUFFER_BINDING);
    renderbuffer = getInt(GL_RENDERBUFFER_BINDING);
    glGetIntegerv(GL_VIEWPORT, viewport);
    vertexArray = getInt(GL_VERTEX_ARRAY_BINDING);
    arrayBuffer = getInt(GL_ARRAY_BUFFER_BINDING);
    pixelPackBuffer = getInt(GL_PIXEL_PACK_BUFFER_BINDING);
    pixelUnpackBuffer = getInt(GL_PIXEL_UNPACK_BUFFER_BINDING);
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColor);
    glGetBooleanv(GL_COLOR_WRITEMASK, colorMask);
    glGetIntegerv(GL_POLYGON_MODE, polygonMode);
    blend = glIsEnabled(GL_BLEND);
    cullFace = glIsEnabled(GL_CULL_FACE);
    depthTest = glIsEnabled(GL_DEPTH_TEST);
    stencilTest = glIsEnabled(GL_STENCIL_TEST);
    scissorTest = glIsEnabled(GL_SCISSOR_TEST);

    // The passes draw full-screen quads and read back whole images: any of
    // these left on by the caller would change the library's pictures.
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    for (int i = 0; i < kPixelStores; ++i) {
        pixelStore[i] = getInt(kPixelStoreTable[i].name);
        glPixelStorei(kPixelStoreTable[i].name, kPixelStoreTable[i].initial);
    }
}

GLStateGuard::~GLStateGuard() {
    for (int i = 0; i < kPixelStores; ++i) glPixelStorei(kPixelStoreTable[i].name, pixelStore[i]);
    setEnabled(GL_BLEND, blend);
    setEnabled(GL_CULL_FACE, cullFace);
    setEnabled(GL_DEPTH_TEST, depthTest);
    setEnabled(GL_STENCIL_TEST, stencilTest);
    setEnabled(GL_SCISSOR_TEST, scissorTest);
    // Core profiles know only the front-and-back polygon mode.
    glPolygonMode(GL_FRONT_AND_BACK, static_cast<GLenum>(polygonMode[0]));
    glColorMask(colorMask[0], colorMask[1], colorMask[2], colorMask[3]);
    glClearColor(clearColor[0], clearColor[1], clearColor[2], clearColor[3]);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, static_cast<GLuint>(pixelUnpackBuffer));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(pixelPackBuffer));
    glBindVertexArray(static_cast<GLuint>(vertexArray));
    glBindBuffer(GL_ARRAY_BUFFER, static_cast<GLuint>(arrayBuffer));
    glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
    glBindRenderbuffer(GL_RENDERBUFFER, static_cast<GLuint>(renderbuffer));
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(drawFramebuffer));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(readFramebuffer));
    for (int unit = 0; unit < kTextureUnits; ++unit) {
        glActiveTexture(GL_TEXTURE0 + unit);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(textures[unit]));
    }
    glActiveTexture(static_cast<GLenum>(activeTexture));
    glUseProgram(static_cast<GLuint>(program));
}

}  // namespace video
}  // namespace kelvo
