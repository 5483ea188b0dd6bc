/* The kelvo video-processing library for C and for other languages' bindings.
 *
 * C99, beside the C++ interface of video_process_engine.h and the same
 * engine behind it: create an engine from a JSON config, select effects,
 * tune them with JSON parameter documents, and process frames described by
 * planes and strides, in place.
 *
 * Results: every function that can fail returns a KELVO_* result code (0
 * success, negative failure). kelvo_last_error() gives the message of the
 * last failed call on the calling thread. No C++ exception and no abort
 * leaves a kelvo_ function.
 *
 * Structs: every struct passed in starts with `size`, which the caller sets
 * to sizeof the struct it was compiled with, so that later versions can add
 * members at the end; a size the library does not know is refused
 * (KELVO_ERR_INVALID_ARGUMENT).
 *
 * Threads: every function may be called from any thread. Different engines
 * are independent and run in parallel. Calls on one engine may also be made
 * from several threads at once; the library serialises them (a frame, a
 * parameter document, an effect selection and kelvo_get_info each wait for
 * the call before them). kelvo_destroy must not overlap any other call on the
 * same engine. The log callback is called on the thread of the call that
 * logged, after that call has let go of the engine, so it may take its own
 * locks (a binding's interpreter lock) and may call the engine again.
 */
#ifndef KELVO_KELVO_H
#define KELVO_KELVO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(KELVO_VIDEO_BUILDING)
#define KELVO_API __declspec(dllexport)
#elif defined(_WIN32)
#define KELVO_API __declspec(dllimport)
#else
#define KELVO_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes; the engine's, with the same values. */
enum {
    KELVO_OK = 0,
    KELVO_ERR_FAILED = -1,           /* processing or allocation failed */
    KELVO_ERR_NOT_INITIALIZED = -3,  /* the engine could not be set up */
    KELVO_ERR_NO_EFFECT = -4,        /* no selected effect is enabled */
    KELVO_ERR_INVALID_ARGUMENT = -6, /* bad argument, struct, format or size */
    KELVO_ERR_INVALID_JSON = -7      /* a parameter document is not JSON */
};

/* Public effect ids. */
enum {
    KELVO_EFFECT_BEAUTY = 101,
    KELVO_EFFECT_COLOR = 102,
    KELVO_EFFECT_DENOISE = 103,
    KELVO_EFFECT_LOWLIGHT = 104
};

/* Pixel formats of kelvo_frame. Planar formats give their planes in the
 * order named (YV12: Y, V, U); NV12 and NV21 have a luma plane and one
 * interleaved chroma plane. Packed formats are named by their byte order in
 * memory (as numpy, OpenCV and WebCodecs name them) and use plane 0; their
 * alpha bytes are left as they are. */
enum {
    KELVO_FORMAT_I420 = 1,
    KELVO_FORMAT_I422 = 2,
    KELVO_FORMAT_NV21 = 3,
    KELVO_FORMAT_NV12 = 4,
    KELVO_FORMAT_YV12 = 5,
    KELVO_FORMAT_RGBA = 10, /* bytes R, G, B, A */
    KELVO_FORMAT_BGRA = 11, /* bytes B, G, R, A (the C++ interface's ARGB, 7) */
    KELVO_FORMAT_ARGB = 12, /* bytes A, R, G, B (the C++ interface's BGRA, 8) */
    KELVO_FORMAT_ABGR = 13  /* bytes A, B, G, R (the C++ interface's RGBA, 6; always
                               converted as BT.601 limited range) */
};

/* Colour matrix and range codes (those of video_process_engine.h). */
enum {
    KELVO_MATRIX_UNSPECIFIED = -1, /* BT.601 (SMPTE 170M) */
    KELVO_MATRIX_BT709 = 1,
    KELVO_MATRIX_BT470BG = 3,
    KELVO_MATRIX_SMPTE170M = 4,
    KELVO_MATRIX_BT2020_NCL = 7
};
enum {
    KELVO_RANGE_UNSPECIFIED = -1, /* full range */
    KELVO_RANGE_LIMITED = 0,
    KELVO_RANGE_FULL = 1
};

/* Log levels of the log callback. */
enum { KELVO_LOG_INFO = 0, KELVO_LOG_ERROR = 1, KELVO_LOG_DETAIL = 2 };

typedef struct kelvo_engine kelvo_engine;

/* One picture, processed in place. */
typedef struct kelvo_frame {
    size_t size; /* sizeof(kelvo_frame) */
    int format;  /* KELVO_FORMAT_* */
    int width;   /* 1..16384 */
    int height;  /* 1..16384 */
    uint8_t* planes[3];
    /* Bytes from one row of a plane to the next; at least the row's bytes
     * (rows may be padded). Planes may lie anywhere, apart or together. */
    int strides[3];
    int color_matrix; /* KELVO_MATRIX_* or another code of the C++ header */
    int color_range;  /* KELVO_RANGE_* */
    /* Non-zero: timestamp_us is the frame's stream time in microseconds, and
     * the automatic modes count time by it, so a file gives the same output
     * at any processing speed. Zero: they count the wall clock. Keep to one
     * of the two for the life of an engine. */
    int has_timestamp;
    int64_t timestamp_us;
} kelvo_frame;

/* One member a parameter document had refused. */
typedef struct kelvo_rejection {
    /* The member's name ("smoothness"), or "" when the whole document or its
     * key was refused. */
    char member[64];
    /* The library's text ("beauty_effect_option.smoothness = 2 (accepted:
     * number in [0, 1])"), cut to fit. */
    char text[256];
} kelvo_rejection;

/* What kelvo_set_parameter refused. */
typedef struct kelvo_rejections {
    size_t size;            /* sizeof(kelvo_rejections) */
    size_t item_size;       /* sizeof(kelvo_rejection) */
    kelvo_rejection* items; /* the caller's array; may be NULL with capacity 0 */
    size_t capacity;        /* elements in items */
    size_t count;           /* out: members refused (those past capacity are not stored) */
} kelvo_rejections;

/* The library's version, "major.minor.patch"; static text. */
KELVO_API const char* kelvo_version(void);

/* The message of the last kelvo_ call on this thread that failed, "" when
 * the last call succeeded; valid until the thread's next kelvo_ call. */
KELVO_API const char* kelvo_last_error(void);

/* The settings schema: every option key of kelvo_set_parameter with its
 * effect's id and name, and every member with its type, range, defaults, the
 * names the GStreamer element and the OBS filter give it and the text of a
 * rejection, as a JSON object (docs/c_api.md). Static UTF-8 text, the same
 * for every call and valid while the library is loaded; NULL only when it
 * could not be built (out of memory), with kelvo_last_error set. */
KELVO_API const char* kelvo_settings_schema(void);

/* Creates an engine and initialises it from `config`, a JSON object (NULL,
 * "" and "{}" mean the defaults): "backend" ("auto", "gpu", "cpu") and
 * "threads" (0 automatic). On success *engine is the new engine; on failure
 * it is NULL. */
KELVO_API int kelvo_create(const char* config, kelvo_engine** engine);

/* Releases the engine and frees it. NULL does nothing. */
KELVO_API void kelvo_destroy(kelvo_engine* engine);

/* Receives the engine's log lines (NULL: none). Lines logged during a call
 * are delivered in order when the call has let go of the engine, on its
 * thread, before it returns. The lines kelvo_create logged go to the first
 * callback set, during this call. */
typedef void (*kelvo_log_fn)(void* user, int level, const char* message);
KELVO_API int kelvo_set_log_callback(kelvo_engine* engine, kelvo_log_fn callback, void* user);

/* Selects effects by id (KELVO_EFFECT_*), in chain order. */
KELVO_API int kelvo_set_effects(kelvo_engine* engine, const int* ids, size_t count);

/* Selects effects by the names the command-line tool takes: a comma-separated
 * list of "denoise", "lowlight", "color" ("colour"), "beauty" or the ids
 * 101-104. */
KELVO_API int kelvo_set_effects_by_name(kelvo_engine* engine, const char* names);

/* The id of one effect name as kelvo_set_effects_by_name reads it, or 0 for
 * a name it does not know. */
KELVO_API int kelvo_effect_id(const char* name);

/* Applies a JSON parameter document to one option key
 * ("beauty_effect_option", ...). Valid members are applied and remembered as
 * with the C++ setParameter; each refused member is reported in
 * `rejections` (may be NULL), and the call still returns KELVO_OK when the
 * document was JSON. */
KELVO_API int kelvo_set_parameter(kelvo_engine* engine, const char* key, const char* json,
                                  kelvo_rejections* rejections);

/* Copies the engine fact `key` ("version", "backend", "renderer",
 * "dark_scene", "noisy"; "" for others) into `text`, NUL-terminated, cut to
 * `capacity` bytes. *length (may be NULL) gets the whole fact's length. */
KELVO_API int kelvo_get_info(kelvo_engine* engine, const char* key, char* text, size_t capacity,
                             size_t* length);

/* Processes the frame in place. On any result but KELVO_OK its pixels are
 * as they came. */
KELVO_API int kelvo_process(kelvo_engine* engine, const kelvo_frame* frame);

/* The brightness statistics the engine measured on the last frame given to
 * kelvo_process, for callers that report them per frame. */
typedef struct kelvo_frame_stats {
    size_t size;        /* sizeof(kelvo_frame_stats) */
    int valid;          /* out: non-zero when that frame was measured */
    uint32_t mean;      /* mean luma */
    double log_mean;    /* geometric mean of luma / 255 + 0.001 */
    double dark_share;  /* share of luma below 100 */
    int median;
    int low_percentile; /* the 5 % point */
    double deviation;   /* standard deviation of luma */
} kelvo_frame_stats;
KELVO_API int kelvo_get_frame_stats(kelvo_engine* engine, kelvo_frame_stats* stats);

#ifdef __cplusplus
}
#endif

#endif /* KELVO_KELVO_H */
