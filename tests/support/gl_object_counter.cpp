#include "support/gl_object_counter.h"

#include <cassert>

namespace kelvo {
namespace video {

namespace {

GLObjectCounter* active = nullptr;

PFNGLGENTEXTURESPROC realGenTextures = nullptr;
PFNGLDELETETEXTURESPROC realDeleteTextures = nullptr;
PFNGLGENFRAMEBUFFERSPROC realGenFramebuffers = nullptr;
PFNGLDELETEFRAMEBUFFERSPROC realDeleteFramebuffers = nullptr;
PFNGLCREATEPROGRAMPROC realCreateProgram = nullptr;
PFNGLDELETEPROGRAMPROC realDeleteProgram = nullptr;
PFNGLCREATESHADERPROC realCreateShader = nullptr;
PFNGLDELETESHADERPROC realDeleteShader = nullptr;
PFNGLGENBUFFERSPROC realGenBuffers = nullptr;
PFNGLDELETEBUFFERSPROC realDeleteBuffers = nullptr;
PFNGLGENVERTEXARRAYSPROC realGenVertexArrays = nullptr;
PFNGLDELETEVERTEXARRAYSPROC realDeleteVertexArrays = nullptr;

void created(GLObjectKind kind, GLsizei n, const GLuint* names) {
    if (!names) return;
    for (GLsizei i = 0; i < n; ++i) active->onCreate(kind, names[i]);
}

void deleted(GLObjectKind kind, GLsizei n, const GLuint* names) {
    if (!names) return;
    for (GLsizei i = 0; i < n; ++i) active->onDelete(kind, names[i]);
}

void GLAPIENTRY genTextures(GLsizei n, GLuint* names) {
    realGenTextures(n, names);
    created(GLObjectKind::Texture, n, names);
}
void GLAPIENTRY deleteTextures(GLsizei n, const GLuint* names) {
    // Counted first: once deleted, the driver may hand the name out again.
    deleted(GLObjectKind::Texture, n, names);
    realDeleteTextures(n, names);
}
void GLAPIENTRY genFramebuffers(GLsizei n, GLuint* names) {
    realGenFramebuffers(n, names);
    created(GLObjectKind::Framebuffer, n, names);
}
void GLAPIENTRY deleteFramebuffers(GLsizei n, const GLuint* names) {
    deleted(GLObjectKind::Framebuffer, n, names);
    realDeleteFramebuffers(n, names);
}
GLuint GLAPIENTRY createProgram() {
    const GLuint name = realCreateProgram();
    created(GLObjectKind::Program, 1, &name);
    return name;
}
void GLAPIENTRY deleteProgram(GLuint name) {
    deleted(GLObjectKind::Program, 1, &name);
    realDeleteProgram(name);
}
GLuint GLAPIENTRY createShader(GLenum type) {
    const GLuint name = realCreateShader(type);
    created(GLObjectKind::Shader, 1, &name);
    return name;
}
void GLAPIENTRY deleteShader(GLuint name) {
    deleted(GLObjectKind::Shader, 1, &name);
    realDeleteShader(name);
}
void GLAPIENTRY genBuffers(GLsizei n, GLuint* names) {
    realGenBuffers(n, names);
    created(GLObjectKind::Buffer, n, names);
}
void GLAPIENTRY deleteBuffers(GLsizei n, const GLuint* names) {
    deleted(GLObjectKind::Buffer, n, names);
    realDeleteBuffers(n, names);
}
void GLAPIENTRY genVertexArrays(GLsizei n, GLuint* names) {
    realGenVertexArrays(n, names);
    created(GLObjectKind::VertexArray, n, names);
}
void GLAPIENTRY deleteVertexArrays(GLsizei n, const GLuint* names) {
    deleted(GLObjectKind::VertexArray, n, names);
    realDeleteVertexArrays(n, names);
}

// Epoxy's pointers start at stubs that resolve the entry on first call and
// write the real address back through the same pointer; a stub that found a
// wrapper there would call it, which would call the stub. One harmless call
// each settles them to the real addresses first.
void resolveEntryPoints() {
    GLuint none = 0;
    glGenTextures(0, &none);
    glDeleteTextures(0, &none);
    glGenFramebuffers(0, &none);
    glDeleteFramebuffers(0, &none);
    glGenBuffers(0, &none);
    glDeleteBuffers(0, &none);
    glGenVertexArrays(0, &none);
    glDeleteVertexArrays(0, &none);
    glDeleteProgram(glCreateProgram());
    glDeleteShader(glCreateShader(GL_VERTEX_SHADER));
}

template <class Entry>
void swapIn(Entry& pointer, Entry& real, Entry wrapper) {
    real = pointer;
    pointer = wrapper;
}

}  // namespace

GLObjectCounter::GLObjectCounter() {
    assert(active == nullptr);
    resolveEntryPoints();
    active = this;
    swapIn(epoxy_glGenTextures, realGenTextures, genTextures);
    swapIn(epoxy_glDeleteTextures, realDeleteTextures, deleteTextures);
    swapIn(epoxy_glGenFramebuffers, realGenFramebuffers, genFramebuffers);
    swapIn(epoxy_glDeleteFramebuffers, realDeleteFramebuffers, deleteFramebuffers);
    swapIn(epoxy_glCreateProgram, realCreateProgram, createProgram);
    swapIn(epoxy_glDeleteProgram, realDeleteProgram, deleteProgram);
    swapIn(epoxy_glCreateShader, realCreateShader, createShader);
    swapIn(epoxy_glDeleteShader, realDeleteShader, deleteShader);
    swapIn(epoxy_glGenBuffers, realGenBuffers, genBuffers);
    swapIn(epoxy_glDeleteBuffers, realDeleteBuffers, deleteBuffers);
    swapIn(epoxy_glGenVertexArrays, realGenVertexArrays, genVertexArrays);
    swapIn(epoxy_glDeleteVertexArrays, realDeleteVertexArrays, deleteVertexArrays);
}

GLObjectCounter::~GLObjectCounter() {
    epoxy_glGenTextures = realGenTextures;
    epoxy_glDeleteTextures = realDeleteTextures;
    epoxy_glGenFramebuffers = realGenFramebuffers;
    epoxy_glDeleteFramebuffers = realDeleteFramebuffers;
    epoxy_glCreateProgram = realCreateProgram;
    epoxy_glDeleteProgram = realDeleteProgram;
    epoxy_glCreateShader = realCreateShader;
    epoxy_glDeleteShader = realDeleteShader;
    epoxy_glGenBuffers = realGenBuffers;
    epoxy_glDeleteBuffers = realDeleteBuffers;
    epoxy_glGenVertexArrays = realGenVertexArrays;
    epoxy_glDeleteVertexArrays = realDeleteVertexArrays;
    active = nullptr;
}

void GLObjectCounter::onCreate(GLObjectKind kind, GLuint name) {
    if (name == 0) return;  // creation failed
    std::lock_guard<std::mutex> lock(mutex_);
    Names& names = names_[static_cast<int>(kind)];
    names.live.insert(name);
    ++names.created;
}

void GLObjectCounter::onDelete(GLObjectKind kind, GLuint name) {
    if (name == 0) return;  // deleting 0 is a no-op in GL
    std::lock_guard<std::mutex> lock(mutex_);
    Names& names = names_[static_cast<int>(kind)];
    if (names.live.erase(name) == 0) {
        names.stray.insert(name);
        ++names.strayDeletes;
    }
}

size_t GLObjectCounter::created(GLObjectKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return names_[static_cast<int>(kind)].created;
}

size_t GLObjectCounter::live(GLObjectKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return names_[static_cast<int>(kind)].live.size();
}

size_t GLObjectCounter::strayDeletes(GLObjectKind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return names_[static_cast<int>(kind)].strayDeletes;
}

const char* GLObjectCounter::kindName(GLObjectKind kind) {
    switch (kind) {
        case GLObjectKind::Texture:
            return "textures";
        case GLObjectKind::Framebuffer:
            return "framebuffers";
        case GLObjectKind::Program:
            return "programs";
        case GLObjectKind::Shader:
            return "shaders";
        case GLObjectKind::Buffer:
            return "buffers";
        case GLObjectKind::VertexArray:
            return "vertex arrays";
    }
    return "?";
}

std::string GLObjectCounter::describe() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    auto list = [](const std::set<GLuint>& names) {
        std::string out;
        for (GLuint name : names) out += " " + std::to_string(name);
        return out;
    };
    for (int k = 0; k < kGLObjectKinds; ++k) {
        const Names& names = names_[k];
        if (names.live.empty() && names.stray.empty()) continue;
        text += kindName(static_cast<GLObjectKind>(k));
        if (!names.live.empty()) text += ": live" + list(names.live);
        if (!names.stray.empty()) text += "; deleted but not live" + list(names.stray);
        text += "\n";
    }
    return text;
}

}  // namespace video
}  // namespace kelvo
