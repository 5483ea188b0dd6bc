// kelvo_enhance_gpu_filter: the engine on synchronous sources (game and
// window capture, images, scenes), whose pictures live in OBS's OpenGL
// context. In video_render the filter's input is drawn into a texrender,
// processed by an engine that runs in OBS's own context (processTexture),
// and the result copied into an OBS texture and drawn. libobs-opengl caches
// its bindings, so nothing here may leave GL state changed behind its back:
// the engine puts back what it found, and the copy puts back the bindings
// and switches it touches. Both textures are plain RGBA8 (GS_RGBA is sRGB
// in OBS), so the engine reads the bytes the source drew, undecoded.
#include <epoxy/gl.h>
#include <graphics/vec4.h>
#include <obs-module.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine_session.h"
#include "filter_settings.h"
#include "filters.h"

namespace kelvo {
namespace obs {
namespace {

class GpuFilter {
public:
    GpuFilter(obs_data_t* settings, obs_source_t* context)
        : context_(context), session_(context, true) {
        update(settings);
    }

    ~GpuFilter() {
        obs_enter_graphics();
        session_.release();
        if (fbos_[0]) glDeleteFramebuffers(2, fbos_);
        gs_texrender_destroy(input_);
        gs_texture_destroy(output_);
        obs_leave_graphics();
    }

    void update(obs_data_t* data) {
        std::vector<std::string> errors;
        std::lock_guard<std::mutex> lock(mutex_);
        auto next = std::make_shared<FilterConfig>(config_ ? *config_ : FilterConfig());
        readSettings(data, next.get(), &errors);
        // In OBS's context the engine always renders with GL.
        next->backend = "gpu";
        config_ = std::move(next);
        for (const std::string& e : errors)
            blog(LOG_WARNING, "[kelvo-obs: '%s'] %s", obs_source_get_name(context_), e.c_str());
    }

    // On the graphics thread, OBS's context current.
    void render() {
        obs_source_t* target = obs_filter_get_target(context_);
        const uint32_t w = obs_source_get_base_width(target),
                       h = obs_source_get_base_height(target);
        std::shared_ptr<const FilterConfig> config;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            config = config_;
        }
        if (config != applied_) {
            applied_ = config;
            engine_ = session_.apply(*config);
        }
        if (!engine_ || w == 0 || h == 0) {
            obs_source_skip_video_filter(context_);
            return;
        }
        if (!input_) input_ = gs_texrender_create(GS_RGBA_UNORM, GS_ZS_NONE);
        gs_texrender_reset(input_);
        if (!gs_texrender_begin(input_, w, h)) {
            obs_source_skip_video_filter(context_);
            return;
        }
        vec4 clear;
        vec4_zero(&clear);
        gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
        gs_ortho(0.0f, static_cast<float>(w), 0.0f, static_cast<float>(h), -100.0f, 100.0f);
        gs_blend_state_push();
        gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
        if (obs_source_process_filter_begin(context_, GS_RGBA_UNORM, OBS_NO_DIRECT_RENDERING))
            obs_source_process_filter_end(context_, obs_get_base_effect(OBS_EFFECT_DEFAULT), w, h);
        gs_blend_state_pop();
        gs_texrender_end(input_);

        gs_texture_t* in = gs_texrender_get_texture(input_);
        gs_texture_t* shown = in;
        int out = 0;
        const int r = engine_->processTexture(
            video::kTexture2D, static_cast<int>(w), static_cast<int>(h),
            static_cast<int>(*static_cast<GLuint*>(gs_texture_get_obj(in))), &out);
        session_.noteResult(r);
        if (r == video::kResultOk) {
            if (!output_ || gs_texture_get_width(output_) != w ||
                gs_texture_get_height(output_) != h) {
                gs_texture_destroy(output_);
                output_ = gs_texture_create(w, h, GS_RGBA_UNORM, 1, nullptr, GS_RENDER_TARGET);
            }
            if (output_) {
                copy(static_cast<GLuint>(out), *static_cast<GLuint*>(gs_texture_get_obj(output_)),
                     w, h);
                shown = output_;
            }
        }
        gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
        gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), shown);
        while (gs_effect_loop(effect, "Draw")) gs_draw_sprite(shown, 0, w, h);
    }

private:
    // A blit from the engine's texture into ours. glCopyImageSubData would
    // bind nothing, but Mesa refuses it between the engine's unsized RGBA
    // and a sized format.
    void copy(GLuint from, GLuint to, uint32_t w, uint32_t h) {
        GLint read = 0, draw = 0;
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
        const GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST),
                        srgb = glIsEnabled(GL_FRAMEBUFFER_SRGB);
        if (!fbos_[0]) glGenFramebuffers(2, fbos_);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, fbos_[0]);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, from, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbos_[1]);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, to, 0);
        // A scissor would clip the blit, sRGB writes would encode it.
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_FRAMEBUFFER_SRGB);
        const GLint x = static_cast<GLint>(w), y = static_cast<GLint>(h);
        glBlitFramebuffer(0, 0, x, y, 0, 0, x, y, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        if (scissor) glEnable(GL_SCISSOR_TEST);
        if (srgb) glEnable(GL_FRAMEBUFFER_SRGB);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(draw));
    }

    obs_source_t* context_;
    std::mutex mutex_;
    std::shared_ptr<const FilterConfig> config_;  // the latest settings, under mutex_

    // Graphics thread only.
    EngineSession session_;
    std::shared_ptr<const FilterConfig> applied_;
    video::IVideoProcessEngine* engine_ = nullptr;
    gs_texrender_t* input_ = nullptr;
    gs_texture_t* output_ = nullptr;
    GLuint fbos_[2] = {0, 0};  // read and draw side of the copy
};

const char* getName(void*) { return obs_module_text("KelvoEnhanceGpuFilter"); }

void getDefaults(obs_data_t* settings) { setDefaults(settings, DefaultBackend::kGpu); }

obs_properties_t* getProperties(void*) { return makeProperties(false); }

void videoRender(void* data, gs_effect_t*) {
    try {
        static_cast<GpuFilter*>(data)->render();
    } catch (const std::exception& e) {
        blog(LOG_WARNING, "[kelvo-obs] %s: the picture passes through", e.what());
    }
}

}  // namespace

obs_source_info gpuFilterInfo() {
    obs_source_info info = {};
    info.id = "kelvo_enhance_gpu_filter";
    info.type = OBS_SOURCE_TYPE_FILTER;
    info.output_flags = OBS_SOURCE_VIDEO;
    info.get_name = getName;
    info.create = createFilter<GpuFilter>;
    info.destroy = destroyFilter<GpuFilter>;
    info.update = updateFilter<GpuFilter>;
    info.get_defaults = getDefaults;
    info.get_properties = getProperties;
    info.video_render = videoRender;
    return info;
}

}  // namespace obs
}  // namespace kelvo
