/* The C interface from C99: strided and separate planes against the C++
 * processFrame on a tight buffer, errors as values, rejections as data with
 * the engine's texts, the log callback outside the engine's lock, the effect
 * names, the settings schema against the effects' descriptors. */
#define _POSIX_C_SOURCE 200112L
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cpp_reference.h"
#include "kelvo/kelvo.h"

static int failures = 0;

#define CHECK(cond, ...)                                               \
    do {                                                               \
        if (!(cond)) {                                                 \
            ++failures;                                                \
            fprintf(stderr, "%s:%d: %s: ", __FILE__, __LINE__, #cond); \
            fprintf(stderr, __VA_ARGS__);                              \
            fprintf(stderr, "\n");                                     \
        }                                                              \
    } while (0)

static const char kConfig[] = "{\"backend\":\"cpu\",\"threads\":1}";
static const reference_setting kSettings[] = {
    {"beauty_effect_option", "{\"enable\":1,\"smoothness\":0.9,\"lightness\":0.6,\"redness\":0.5}"},
    {"color_enhance_option", "{\"enable\":1,\"strength\":0.8}"},
};
static const int kEffects[] = {KELVO_EFFECT_COLOR, KELVO_EFFECT_BEAUTY};
enum { kPad = 13, kPadByte = 0xA5 };

static const char kGpuConfig[] = "{\"backend\":\"gpu\"}";

static kelvo_engine* make_engine_on(const char* config) {
    kelvo_engine* engine = NULL;
    size_t i;
    CHECK(kelvo_create(config, &engine) == KELVO_OK, "%s", kelvo_last_error());
    if (!engine) return NULL;
    CHECK(kelvo_set_effects(engine, kEffects, 2) == KELVO_OK, "%s", kelvo_last_error());
    for (i = 0; i < sizeof kSettings / sizeof kSettings[0]; ++i)
        CHECK(kelvo_set_parameter(engine, kSettings[i].key, kSettings[i].json, NULL) == KELVO_OK,
              "%s", kelvo_last_error());
    return engine;
}

static kelvo_engine* make_engine(void) { return make_engine_on(kConfig); }

/* True when this build and machine give a GL engine. */
static int have_gpu(void) {
    kelvo_engine* engine = NULL;
    if (kelvo_create(kGpuConfig, &engine) != KELVO_OK) return 0;
    kelvo_destroy(engine);
    return 1;
}

/* Planes of a format: count, bytes per row and rows of each. */
static int layout(int format, int w, int h, int row_bytes[3], int rows[3]) {
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    row_bytes[0] = w;
    rows[0] = h;
    row_bytes[1] = row_bytes[2] = cw;
    rows[1] = rows[2] = format == KELVO_FORMAT_I422 ? h : ch;
    if (format == KELVO_FORMAT_NV12 || format == KELVO_FORMAT_NV21) {
        row_bytes[1] = 2 * cw;
        return 2;
    }
    if (format >= KELVO_FORMAT_RGBA) {
        row_bytes[0] = 4 * w;
        return 1;
    }
    return 3;
}

static void swap_red_blue(uint8_t* p, int pixels) {
    int i;
    for (i = 0; i < pixels; ++i, p += 4) {
        const uint8_t t = p[0];
        p[0] = p[2];
        p[2] = t;
    }
}

/* Each format through the C interface with padded rows and planes apart
 * gives the bytes of the C++ processFrame on a tight buffer of the same
 * picture (R, G, B, A: of B, G, R, A after the byte swap), and leaves the
 * padding alone; on the backend `config` chooses. */
static void test_strided_planes_match_tight_buffer(const char* config) {
    static const struct {
        int format;
        int library_format; /* processFrame's id */
        int swap;           /* R and B exchanged for the reference */
    } rows[] = {
        {KELVO_FORMAT_I420, 1, 0}, {KELVO_FORMAT_I422, 2, 0}, {KELVO_FORMAT_NV21, 3, 0},
        {KELVO_FORMAT_NV12, 4, 0}, {KELVO_FORMAT_YV12, 5, 0}, {KELVO_FORMAT_RGBA, 7, 1},
        {KELVO_FORMAT_BGRA, 7, 0}, {KELVO_FORMAT_ARGB, 8, 0}, {KELVO_FORMAT_ABGR, 6, 0},
    };
    const int w = 67, h = 45;
    size_t r;
    for (r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
        int row_bytes[3], plane_rows[3], p, y, size = 0, changed = 0, result;
        const int planes = layout(rows[r].format, w, h, row_bytes, plane_rows);
        uint8_t *tight, *input, *at;
        kelvo_frame frame;
        kelvo_engine* engine = make_engine_on(config);
        for (p = 0; p < planes; ++p) size += row_bytes[p] * plane_rows[p];
        tight = malloc((size_t)size);
        input = malloc((size_t)size);
        for (y = 0; y < size; ++y) tight[y] = (uint8_t)(60 + (y % 97) + ((y * 7919) % 23));
        memcpy(input, tight, (size_t)size);

        memset(&frame, 0, sizeof frame);
        frame.size = sizeof frame;
        frame.format = rows[r].format;
        frame.width = w;
        frame.height = h;
        frame.color_matrix = KELVO_MATRIX_BT709;
        frame.color_range = KELVO_RANGE_LIMITED;
        frame.has_timestamp = 1;
        frame.timestamp_us = 40000;
        for (p = 0, at = tight; p < planes; at += row_bytes[p] * plane_rows[p], ++p) {
            frame.strides[p] = row_bytes[p] + kPad;
            frame.planes[p] = malloc((size_t)frame.strides[p] * plane_rows[p]);
            memset(frame.planes[p], kPadByte, (size_t)frame.strides[p] * plane_rows[p]);
            for (y = 0; y < plane_rows[p]; ++y)
                memcpy(frame.planes[p] + y * frame.strides[p], at + y * row_bytes[p],
                       (size_t)row_bytes[p]);
        }
        result = kelvo_process(engine, &frame);
        CHECK(result == KELVO_OK, "%s format %d: %d %s", config, rows[r].format, result,
              kelvo_last_error());

        if (rows[r].swap) swap_red_blue(tight, w * h);
        result = reference_process(config, kSettings, 2, kEffects, 2, rows[r].library_format, w, h,
                                   tight, size, KELVO_MATRIX_BT709, KELVO_RANGE_LIMITED);
        CHECK(result == 0, "format %d: reference %d", rows[r].format, result);
        if (rows[r].swap) swap_red_blue(tight, w * h);
        CHECK(memcmp(tight, input, (size_t)size) != 0, "format %d: nothing processed",
              rows[r].format);

        for (p = 0, at = tight; p < planes; at += row_bytes[p] * plane_rows[p], ++p) {
            for (y = 0; y < plane_rows[p]; ++y) {
                const uint8_t* row = frame.planes[p] + y * frame.strides[p];
                int x;
                if (memcmp(row, at + y * row_bytes[p], (size_t)row_bytes[p]) != 0) ++changed;
                for (x = row_bytes[p]; x < frame.strides[p]; ++x)
                    if (row[x] != kPadByte) ++changed;
            }
            free(frame.planes[p]);
        }
        CHECK(changed == 0, "%s format %d: %d rows differ from the tight buffer's", config,
              rows[r].format, changed);
        free(tight);
        free(input);
        kelvo_destroy(engine);
    }
}

/* Every refusal is a code and a message, and leaves the pixels alone. */
/* A w x h I420 picture in three tight planes, colour codes left to the
 * library. */
static void tight_i420(kelvo_frame* frame, uint8_t* y, uint8_t* u, uint8_t* v, int w, int h) {
    memset(frame, 0, sizeof *frame);
    frame->size = sizeof *frame;
    frame->format = KELVO_FORMAT_I420;
    frame->width = w;
    frame->height = h;
    frame->planes[0] = y;
    frame->planes[1] = u;
    frame->planes[2] = v;
    frame->strides[0] = w;
    frame->strides[1] = frame->strides[2] = w / 2;
    frame->color_matrix = KELVO_MATRIX_UNSPECIFIED;
    frame->color_range = KELVO_RANGE_UNSPECIFIED;
}

static void test_errors_are_values(void) {
    enum { kW = 8, kH = 6 };
    static uint8_t y[kW * kH], u[kW * kH / 4], v[kW * kH / 4];
    static const struct {
        const char* what;
        int field; /* which field to spoil */
        int value;
        int expected;
        const char* message;
    } rows[] = {
        {"struct size", 0, 0, KELVO_ERR_INVALID_ARGUMENT, "size"},
        {"no frame", 1, 0, KELVO_ERR_INVALID_ARGUMENT, "frame is NULL"},
        {"no engine", 2, 0, KELVO_ERR_INVALID_ARGUMENT, "engine is NULL"},
        {"no luma plane", 3, 0, KELVO_ERR_INVALID_ARGUMENT, "plane"},
        {"short luma stride", 4, kW - 1, KELVO_ERR_INVALID_ARGUMENT, "stride"},
        {"short chroma stride", 5, kW / 2 - 1, KELVO_ERR_INVALID_ARGUMENT, "stride"},
        {"unknown format", 6, 6, KELVO_ERR_INVALID_ARGUMENT, "format 6"},
        {"no width", 7, 0, KELVO_ERR_INVALID_ARGUMENT, "size"},
        {"no effect enabled", 8, 0, KELVO_ERR_NO_EFFECT, "enabled"},
    };
    size_t r;
    kelvo_engine* engine = make_engine();
    kelvo_engine* idle = NULL;
    kelvo_rejections bad;
    CHECK(kelvo_create(kConfig, &idle) == KELVO_OK, "%s", kelvo_last_error());
    CHECK(kelvo_set_effects(idle, kEffects, 2) == KELVO_OK, "%s", kelvo_last_error());
    memset(y, 40, sizeof y);
    for (r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
        kelvo_frame frame;
        kelvo_engine* target = engine;
        const kelvo_frame* given = &frame;
        int result;
        tight_i420(&frame, y, u, v, kW, kH);
        switch (rows[r].field) {
            case 0:
                frame.size = sizeof frame - 1;
                break;
            case 1:
                given = NULL;
                break;
            case 2:
                target = NULL;
                break;
            case 3:
                frame.planes[0] = NULL;
                break;
            case 4:
                frame.strides[0] = rows[r].value;
                break;
            case 5:
                frame.strides[1] = rows[r].value;
                break;
            case 6:
                frame.format = rows[r].value;
                break;
            case 7:
                frame.width = rows[r].value;
                break;
            case 8:
                target = idle;
                break;
        }
        result = kelvo_process(target, given);
        CHECK(result == rows[r].expected, "%s: %d", rows[r].what, result);
        CHECK(strstr(kelvo_last_error(), rows[r].message) != NULL, "%s: message \"%s\"",
              rows[r].what, kelvo_last_error());
        CHECK(y[0] == 40 && y[kW * kH - 1] == 40, "%s: pixels changed", rows[r].what);
    }

    kelvo_destroy(idle);
    idle = engine;
    CHECK(kelvo_create("{\"backend\":\"warp\"}", &idle) == KELVO_ERR_INVALID_ARGUMENT && !idle,
          "unknown backend");
    CHECK(strstr(kelvo_last_error(), "init fail") != NULL, "\"%s\"", kelvo_last_error());
    CHECK(kelvo_create(NULL, NULL) == KELVO_ERR_INVALID_ARGUMENT, "no place for the engine");
    CHECK(kelvo_set_effects_by_name(engine, "denoise,sparkle") == KELVO_ERR_INVALID_ARGUMENT,
          "unknown name");
    CHECK(strstr(kelvo_last_error(), "'sparkle'") != NULL, "\"%s\"", kelvo_last_error());
    CHECK(kelvo_set_effects(engine, NULL, 0) == KELVO_ERR_INVALID_ARGUMENT, "no effects");
    memset(&bad, 0, sizeof bad);
    bad.size = sizeof bad + 8;
    bad.item_size = sizeof(kelvo_rejection);
    CHECK(kelvo_set_parameter(engine, "beauty_effect_option", "{}", &bad) ==
              KELVO_ERR_INVALID_ARGUMENT,
          "rejections of unknown size");
    CHECK(kelvo_set_parameter(engine, "beauty_effect_option", "{", NULL) == KELVO_ERR_INVALID_JSON,
          "broken JSON");
    CHECK(strstr(kelvo_last_error(), "json") != NULL, "\"%s\"", kelvo_last_error());
    CHECK(kelvo_set_effects_by_name(engine, " denoise , colour,,beauty") == KELVO_OK, "%s",
          kelvo_last_error());
    CHECK(kelvo_last_error()[0] == '\0', "a success clears the message");
    kelvo_destroy(engine);
}

/* Refused members come back as data, valid ones are applied. */
static void test_rejections_are_data(void) {
    kelvo_rejection items[1];
    kelvo_rejections out;
    kelvo_engine* engine = NULL;
    CHECK(kelvo_create(kConfig, &engine) == KELVO_OK, "%s", kelvo_last_error());
    CHECK(kelvo_set_effects(engine, kEffects + 1, 1) == KELVO_OK, "%s", kelvo_last_error());
    memset(&out, 0, sizeof out);
    out.size = sizeof out;
    out.item_size = sizeof items[0];
    out.items = items;
    out.capacity = 1;
    CHECK(kelvo_set_parameter(engine, "beauty_effect_option",
                              "{\"enable\":1,\"smoothness\":2,\"sparkle\":1}", &out) == KELVO_OK,
          "%s", kelvo_last_error());
    CHECK(out.count == 2, "%u rejections", (unsigned)out.count);
    CHECK(strcmp(items[0].member, "smoothness") == 0, "member \"%s\"", items[0].member);
    {
        char expected[sizeof items[0].text];
        reference_rejection_text("beauty_effect_option",
                                 "{\"enable\":1,\"smoothness\":2,\"sparkle\":1}", 0, expected,
                                 sizeof expected);
        CHECK(expected[0] != '\0' && strcmp(items[0].text, expected) == 0,
              "text \"%s\", the engine's \"%s\"", items[0].text, expected);
    }

    out.capacity = 0;
    CHECK(kelvo_set_parameter(engine, "sparkle_option", "{}", &out) == KELVO_OK, "%s",
          kelvo_last_error());
    CHECK(out.count == 1, "%u rejections of an unknown key", (unsigned)out.count);
    out.capacity = 1;
    CHECK(kelvo_set_parameter(engine, "beauty_effect_option", "{\"sparkle\":1}", &out) == KELVO_OK,
          "%s", kelvo_last_error());
    CHECK(out.count == 1 && strcmp(items[0].member, "sparkle") == 0, "member \"%s\"",
          items[0].member);
    {
        /* "enable":1 was applied: a frame processes. */
        static uint8_t rgba[4 * 4 * 4];
        kelvo_frame frame;
        memset(&frame, 0, sizeof frame);
        frame.size = sizeof frame;
        frame.format = KELVO_FORMAT_RGBA;
        frame.width = frame.height = 4;
        frame.planes[0] = rgba;
        frame.strides[0] = 16;
        CHECK(kelvo_process(engine, &frame) == KELVO_OK, "%s", kelvo_last_error());
    }
    kelvo_destroy(engine);
}

struct callback_state {
    kelvo_engine* engine;
    int calls;
    int answered;
    char backend[8];
};

static void on_log(void* user, int level, const char* message) {
    struct callback_state* state = (struct callback_state*)user;
    (void)level;
    (void)message;
    ++state->calls;
    if (kelvo_get_info(state->engine, "backend", state->backend, sizeof state->backend, NULL) ==
        KELVO_OK)
        ++state->answered;
}

/* The callback runs once the engine is free: it can call the engine. A call
 * from the callback does not overwrite the message of the failed call. */
static void test_log_callback_outside_lock(void) {
    struct callback_state state;
    size_t length = 0;
    char version[32];
    memset(&state, 0, sizeof state);
    CHECK(kelvo_create(kConfig, &state.engine) == KELVO_OK, "%s", kelvo_last_error());
    CHECK(kelvo_set_log_callback(state.engine, on_log, &state) == KELVO_OK, "%s",
          kelvo_last_error());
    CHECK(kelvo_set_parameter(state.engine, "beauty_effect_option", "{\"smoothness\":2}", NULL) ==
              KELVO_OK,
          "%s", kelvo_last_error());
    CHECK(state.calls >= 2 && state.answered == state.calls, "%d calls, %d answered", state.calls,
          state.answered);
    CHECK(strcmp(state.backend, "cpu") == 0, "backend \"%s\"", state.backend);
    CHECK(kelvo_set_parameter(state.engine, "beauty_effect_option", "{", NULL) ==
              KELVO_ERR_INVALID_JSON,
          "broken JSON");
    CHECK(strstr(kelvo_last_error(), "json") != NULL, "\"%s\"", kelvo_last_error());

    CHECK(kelvo_get_info(state.engine, "version", version, 2, &length) == KELVO_OK, "%s",
          kelvo_last_error());
    CHECK(length == strlen(kelvo_version()) && strlen(version) == 1, "cut to the capacity");
    kelvo_destroy(state.engine);
}

/* The automatic modes count the frames' timestamps, not the wall clock: a
 * dark scene ends after ten seconds of bright stream time however fast the
 * frames come, and not while the stream's clock stands still. */
static void test_timestamps_drive_automatic_modes(void) {
    static const struct {
        int64_t bright_step_us;
        const char* dark_after;
    } rows[] = {{1000000, "0"}, {0, "1"}};
    enum { kW = 32, kH = 32 };
    static uint8_t y[kW * kH], u[kW * kH / 4], v[kW * kH / 4];
    const int lowlight = KELVO_EFFECT_LOWLIGHT;
    size_t r;
    for (r = 0; r < sizeof rows / sizeof rows[0]; ++r) {
        kelvo_engine* engine = NULL;
        kelvo_frame frame;
        char dark[4] = "";
        int i;
        CHECK(kelvo_create(kConfig, &engine) == KELVO_OK, "%s", kelvo_last_error());
        CHECK(kelvo_set_effects(engine, &lowlight, 1) == KELVO_OK, "%s", kelvo_last_error());
        CHECK(kelvo_set_parameter(engine, "lowlight_enhance_option", "{\"enable\":1,\"mode\":0}",
                                  NULL) == KELVO_OK,
              "%s", kelvo_last_error());
        tight_i420(&frame, y, u, v, kW, kH);
        frame.has_timestamp = 1;
        for (i = 0; i < 80; ++i) {
            const int bright = i >= 20;
            memset(y, bright ? 200 : 20, sizeof y);
            memset(u, 128, sizeof u);
            memset(v, 128, sizeof v);
            if (i > 0) frame.timestamp_us += bright ? rows[r].bright_step_us : 1000000;
            CHECK(kelvo_process(engine, &frame) == KELVO_OK, "frame %d: %s", i, kelvo_last_error());
            if (i == 19) {
                kelvo_get_info(engine, "dark_scene", dark, sizeof dark, NULL);
                CHECK(strcmp(dark, "1") == 0, "dark frames: dark_scene \"%s\"", dark);
            }
        }
        kelvo_get_info(engine, "dark_scene", dark, sizeof dark, NULL);
        CHECK(strcmp(dark, rows[r].dark_after) == 0, "step %ld us: dark_scene \"%s\"",
              (long)rows[r].bright_step_us, dark);
        kelvo_destroy(engine);
    }
}

struct shared_engine {
    kelvo_engine* engine;
    int failed;
};

static void* process_frames(void* arg) {
    struct shared_engine* shared = (struct shared_engine*)arg;
    static uint8_t rgba[16 * 8 * 4];
    kelvo_frame frame;
    int i;
    memset(&frame, 0, sizeof frame);
    frame.size = sizeof frame;
    frame.format = KELVO_FORMAT_RGBA;
    frame.width = 16;
    frame.height = 8;
    frame.planes[0] = rgba;
    frame.strides[0] = 16 * 4;
    frame.color_matrix = KELVO_MATRIX_UNSPECIFIED;
    frame.color_range = KELVO_RANGE_UNSPECIFIED;
    for (i = 0; i < 50; ++i)
        if (kelvo_process(shared->engine, &frame) != KELVO_OK) ++shared->failed;
    return NULL;
}

/* Calls on one engine from two threads at once are serialised: frames on
 * one thread, settings and questions on the other, all succeed. */
static void test_one_engine_two_threads(void) {
    struct shared_engine shared;
    pthread_t thread;
    int i, failed = 0;
    shared.engine = make_engine();
    shared.failed = 0;
    CHECK(pthread_create(&thread, NULL, process_frames, &shared) == 0, "no thread");
    for (i = 0; i < 50; ++i) {
        char text[16];
        if (kelvo_set_parameter(shared.engine, "beauty_effect_option",
                                i % 2 ? "{\"smoothness\":0.3}" : "{\"smoothness\":0.7}",
                                NULL) != KELVO_OK)
            ++failed;
        if (kelvo_get_info(shared.engine, "noisy", text, sizeof text, NULL) != KELVO_OK) ++failed;
    }
    pthread_join(thread, NULL);
    CHECK(failed == 0 && shared.failed == 0, "%d and %d calls failed", failed, shared.failed);
    kelvo_destroy(shared.engine);
}

/* The schema is JSON naming what the descriptors name, with their values;
 * the same text on every call. */
static void test_settings_schema(void) {
    const char* schema = kelvo_settings_schema();
    char difference[256];
    CHECK(schema != NULL && schema[0] == '{', "%s", kelvo_last_error());
    if (!schema) return;
    CHECK(reference_check_schema(schema, difference, sizeof difference) == 0, "%s", difference);
    CHECK(kelvo_settings_schema() == schema, "built once");
}

/* The library's names are the integrations' names. */
static void test_names_agree_with_integrations(void) {
    static const char* names[] = {"beauty",   "color",       "colour", "denoise", "lowlight",
                                  "101",      "102",         "103",    "104",     "105",
                                  "Beauty",   "bright",      "",       "0",       "low light",
                                  " colour ", "beauty,color"};
    size_t i;
    for (i = 0; i < sizeof names / sizeof names[0]; ++i)
        CHECK(kelvo_effect_id(names[i]) == reference_effect_id(names[i]), "\"%s\": %d, %d",
              names[i], kelvo_effect_id(names[i]), reference_effect_id(names[i]));
}

int main(void) {
    test_strided_planes_match_tight_buffer(kConfig);
    if (have_gpu())
        test_strided_planes_match_tight_buffer(kGpuConfig);
    else
        printf("no GL engine here: strided planes checked on the CPU backend only\n");
    test_errors_are_values();
    test_rejections_are_data();
    test_log_callback_outside_lock();
    test_timestamps_drive_automatic_modes();
    test_one_engine_two_threads();
    test_names_agree_with_integrations();
    test_settings_schema();
    if (failures)
        fprintf(stderr, "%d checks failed\n", failures);
    else
        printf("C interface: all checks passed\n");
    return failures ? 1 : 0;
}
