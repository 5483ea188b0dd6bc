// Counts the GL object names the code under test creates and deletes, by
// putting counting wrappers around the real entry points in libepoxy's
// dispatch pointers (epoxy_glGenTextures, ...). Nothing is mocked: every call
// still reaches the driver.
#pragma once

#include <epoxy/gl.h>

#include <cstddef>
#include <mutex>
#include <set>
#include <string>

namespace kelvo {
namespace video {

enum class GLObjectKind { Texture, Framebuffer, Program, Shader, Buffer, VertexArray };
constexpr int kGLObjectKinds = 6;

// Watches glGen/glDelete of textures, framebuffers, buffers and vertex
// arrays, and glCreate/glDelete of programs and shaders.
//
// Construct it with a GL context current on the calling thread (the entry
// points are resolved once through it) and before any other thread calls GL;
// destroy it when no other thread calls GL any more. One counter at a time.
// The counts themselves are thread-safe.
class GLObjectCounter {
public:
    GLObjectCounter();
    ~GLObjectCounter();
    GLObjectCounter(const GLObjectCounter&) = delete;
    GLObjectCounter& operator=(const GLObjectCounter&) = delete;

    // Names created while counting.
    size_t created(GLObjectKind kind) const;
    // Names created while counting and not deleted since.
    size_t live(GLObjectKind kind) const;
    // Deletions of non-zero names that were not live: names created before
    // counting began (a caller's), or deleted twice.
    size_t strayDeletes(GLObjectKind kind) const;
    // One line per kind with live names or stray deletions, naming them.
    std::string describe() const;

    static const char* kindName(GLObjectKind kind);

    // Used by the wrappers.
    void onCreate(GLObjectKind kind, GLuint name);
    void onDelete(GLObjectKind kind, GLuint name);

private:
    struct Names {
        std::set<GLuint> live;
        std::set<GLuint> stray;
        size_t created = 0;
        size_t strayDeletes = 0;
    };
    mutable std::mutex mutex_;
    Names names_[kGLObjectKinds];
};

}  // namespace video
}  // namespace kelvo
