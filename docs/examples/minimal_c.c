/* One padded I420 frame through the C interface. Build:
 *   cc -std=c99 minimal_c.c $(pkg-config --cflags --libs kelvo_video_process) */
#include <kelvo/kelvo.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static void on_log(void* user, int level, const char* message) {
    (void)user;
    if (level == KELVO_LOG_ERROR) fprintf(stderr, "kelvo: %s\n", message);
}

int main(void) {
    enum { W = 640, H = 360, STRIDE = 704 }; /* luma rows padded to 704 bytes */
    const int effects[] = {KELVO_EFFECT_COLOR, KELVO_EFFECT_BEAUTY};
    kelvo_engine* engine = NULL;
    kelvo_rejection refused[4];
    kelvo_rejections rejections;
    kelvo_frame frame;
    char backend[16];
    size_t i;
    int result;

    if (kelvo_create(NULL, &engine) != KELVO_OK) {
        fprintf(stderr, "kelvo_create: %s\n", kelvo_last_error());
        return 1;
    }
    kelvo_set_log_callback(engine, on_log, NULL);
    kelvo_set_effects(engine, effects, 2);

    memset(&rejections, 0, sizeof rejections);
    rejections.size = sizeof rejections;
    rejections.item_size = sizeof refused[0];
    rejections.items = refused;
    rejections.capacity = 4;
    kelvo_set_parameter(engine, "beauty_effect_option",
                        "{\"enable\":1,\"smoothness\":0.6,\"lightness\":1.5}", &rejections);
    for (i = 0; i < rejections.count && i < rejections.capacity; ++i)
        printf("refused %s: %s\n", refused[i].member, refused[i].text);
    kelvo_set_parameter(engine, "color_enhance_option", "{\"enable\":1,\"strength\":0.5}", NULL);

    memset(&frame, 0, sizeof frame);
    frame.size = sizeof frame;
    frame.format = KELVO_FORMAT_I420;
    frame.width = W;
    frame.height = H;
    frame.strides[0] = STRIDE;
    frame.strides[1] = frame.strides[2] = STRIDE / 2;
    frame.planes[0] = malloc((size_t)STRIDE * H);
    frame.planes[1] = malloc((size_t)STRIDE / 2 * H / 2);
    frame.planes[2] = malloc((size_t)STRIDE / 2 * H / 2);
    if (!frame.planes[0] || !frame.planes[1] || !frame.planes[2]) return 1;
    memset(frame.planes[0], 150, (size_t)STRIDE * H);
    memset(frame.planes[1], 110, (size_t)STRIDE / 2 * H / 2);
    memset(frame.planes[2], 150, (size_t)STRIDE / 2 * H / 2);
    frame.color_matrix = KELVO_MATRIX_BT709;
    frame.color_range = KELVO_RANGE_LIMITED;
    frame.has_timestamp = 1;
    frame.timestamp_us = 0; /* the stream's time of this frame */

    result = kelvo_process(engine, &frame);
    kelvo_get_info(engine, "backend", backend, sizeof backend, NULL);
    printf("kelvo %s on %s: %s\n", kelvo_version(), backend,
           result == KELVO_OK ? "processed" : kelvo_last_error());

    for (i = 0; i < 3; ++i) free(frame.planes[i]);
    kelvo_destroy(engine);
    return result == KELVO_OK ? 0 : 1;
}
