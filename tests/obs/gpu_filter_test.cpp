// The GPU filter on a synchronous source, rendered in OBS's own context and
// read back through a texrender, against processTexture called directly in
// the same context on the same picture.
#include <epoxy/gl.h>
#include <graphics/vec4.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "kelvo/video_process_engine.h"
#include "obs_runtime.h"

namespace {

using namespace kelvo::video;
using kelvo_obs_test::ObsRuntime;

const uint32_t kW = 96, kH = 64;

// RGBA bytes of the test picture: a face-like warm patch high up on a cool
// ramp that brightens downwards, so that upside down is far from it.
std::vector<uint8_t> picture() {
    std::vector<uint8_t> p(kW * kH * 4);
    for (uint32_t y = 0; y < kH; ++y)
        for (uint32_t x = 0; x < kW; ++x) {
            uint8_t* px = &p[(y * kW + x) * 4];
            const int dx = static_cast<int>(x) - 48, dy = static_cast<int>(y) - 16;
            const bool skin = dx * dx + dy * dy < 196;
            px[0] = static_cast<uint8_t>(skin ? 200 + (x * 7 + y * 3) % 30 : 40 + x);
            px[1] = static_cast<uint8_t>(skin ? 140 + (x * 5 + y * 11) % 25 : 20 + 3 * y);
            px[2] = static_cast<uint8_t>(skin ? 110 + (x * 3) % 20 : 150 + (x + y) % 60);
            px[3] = 255;
        }
    return p;
}

void drawTexture(gs_texture_t* tex) {
    gs_effect_t* effect = obs_get_base_effect(OBS_EFFECT_DEFAULT);
    gs_effect_set_texture(gs_effect_get_param_by_name(effect, "image"), tex);
    while (gs_effect_loop(effect, "Draw")) gs_draw_sprite(tex, 0, kW, kH);
}

// A synchronous source drawing the picture.
struct PictureSource {
    gs_texture_t* texture;
};

obs_source_info pictureSourceInfo() {
    obs_source_info info = {};
    info.id = "kelvo_test_picture";
    info.type = OBS_SOURCE_TYPE_INPUT;
    // Draws with an effect of its own, outside OBS's default one.
    info.output_flags = OBS_SOURCE_VIDEO | OBS_SOURCE_CUSTOM_DRAW;
    info.get_name = [](void*) { return "Test picture"; };
    info.create = [](obs_data_t*, obs_source_t*) -> void* {
        const std::vector<uint8_t> p = picture();
        const uint8_t* planes[] = {p.data()};
        obs_enter_graphics();
        auto* s = new PictureSource{gs_texture_create(kW, kH, GS_RGBA, 1, planes, 0)};
        obs_leave_graphics();
        return s;
    };
    info.destroy = [](void* data) {
        auto* s = static_cast<PictureSource*>(data);
        obs_enter_graphics();
        gs_texture_destroy(s->texture);
        obs_leave_graphics();
        delete s;
    };
    info.get_width = [](void*) { return kW; };
    info.get_height = [](void*) { return kH; };
    info.video_render = [](void* data, gs_effect_t*) {
        drawTexture(static_cast<PictureSource*>(data)->texture);
    };
    return info;
}

// Draws into a fresh texrender and reads the bytes back (graphics entered).
template <typename Draw>
std::vector<uint8_t> renderAndRead(Draw draw) {
    gs_texrender_t* target = gs_texrender_create(GS_RGBA, GS_ZS_NONE);
    EXPECT_TRUE(gs_texrender_begin(target, kW, kH));
    vec4 clear;
    vec4_zero(&clear);
    gs_clear(GS_CLEAR_COLOR, &clear, 0.0f, 0);
    gs_ortho(0.0f, static_cast<float>(kW), 0.0f, static_cast<float>(kH), -100.0f, 100.0f);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_ZERO);
    draw();
    gs_blend_state_pop();
    gs_texrender_end(target);
    gs_stagesurf_t* stage = gs_stagesurface_create(kW, kH, GS_RGBA);
    gs_stage_texture(stage, gs_texrender_get_texture(target));
    uint8_t* data = nullptr;
    uint32_t linesize = 0;
    std::vector<uint8_t> bytes;
    if (gs_stagesurface_map(stage, &data, &linesize)) {
        for (uint32_t y = 0; y < kH; ++y)
            bytes.insert(bytes.end(), data + y * linesize, data + y * linesize + kW * 4);
        gs_stagesurface_unmap(stage);
    }
    gs_stagesurface_destroy(stage);
    gs_texrender_destroy(target);
    return bytes;
}

using ObsGpuFilter = ObsRuntime;

TEST_F(ObsGpuFilter, SameBytesAsProcessTextureInOBSContext) {
    const obs_source_info info = pictureSourceInfo();
    obs_register_source(&info);
    obs_source_t* source = obs_source_create_private("kelvo_test_picture", "picture", nullptr);
    ASSERT_NE(source, nullptr);
    obs_data_t* settings = obs_data_create_from_json(R"({"effects":"color,beauty"})");
    obs_source_t* filter =
        obs_source_create_private("kelvo_enhance_gpu_filter", "enhance", settings);
    obs_data_release(settings);
    ASSERT_NE(filter, nullptr);
    obs_source_filter_add(source, filter);
    // Drawn in obs_enter_graphics before OBS's graphics thread has run its
    // first frames, sources come out blank.
    waitTicks();
    waitTicks();

    obs_enter_graphics();
    std::vector<std::vector<uint8_t>> filtered, direct;
    for (int n = 0; n < 2; ++n)
        filtered.push_back(renderAndRead([&] { obs_source_video_render(source); }));

    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(true));
    ASSERT_EQ(engine->init(R"({"backend":"gpu"})"), 0);
    engine->setVideoEffects({kEffectColorEnhance, kEffectBeauty});
    engine->setParameter("video_denoiser_option", R"({"enable":0,"mode":0})");
    engine->setParameter("lowlight_enhance_option", R"({"enable":0,"mode":0})");
    engine->setParameter("color_enhance_option", R"({"enable":1})");
    engine->setParameter("beauty_effect_option", R"({"enable":1})");
    const std::vector<uint8_t> p = picture();
    const uint8_t* planes[] = {p.data()};
    gs_texture_t* in = gs_texture_create(kW, kH, GS_RGBA_UNORM, 1, planes, 0);
    for (int n = 0; n < 2; ++n) {
        int out = 0;
        ASSERT_EQ(engine->processTexture(
                      kTexture2D, kW, kH,
                      static_cast<int>(*static_cast<GLuint*>(gs_texture_get_obj(in))), &out),
                  0);
        GLint bound = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        std::vector<uint8_t> bytes(kW * kH * 4);
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(out));
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
        direct.push_back(bytes);
    }
    engine->release();
    gs_texture_destroy(in);
    obs_leave_graphics();

    for (int n = 0; n < 2; ++n) {
        ASSERT_EQ(filtered[n].size(), direct[n].size());
        EXPECT_NE(direct[n], p) << "the effects change nothing: the test shows nothing";
        EXPECT_TRUE(filtered[n] == direct[n]) << "frame " << n;
        // OBS's textures are top-down: the picture must come back upright.
        long upright = 0, flipped = 0;
        for (size_t i = 0; i < p.size(); ++i) {
            const size_t row = i / (kW * 4), col = i % (kW * 4);
            upright += std::abs(filtered[n][i] - p[i]);
            flipped += std::abs(filtered[n][i] - p[(kH - 1 - row) * kW * 4 + col]);
        }
        EXPECT_LT(upright, flipped / 2);
    }
    // libobs-opengl reports any GL error its next call finds, such as one
    // left by state changed behind its back.
    EXPECT_TRUE(warnings().empty());
    obs_source_filter_remove(source, filter);
    obs_source_release(filter);
    obs_source_release(source);
}

}  // namespace
