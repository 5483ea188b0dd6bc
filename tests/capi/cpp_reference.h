/* The C++ side the C test compares with (cpp_reference.cpp). */
#ifndef KELVO_TEST_CPP_REFERENCE_H
#define KELVO_TEST_CPP_REFERENCE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct reference_setting {
    const char* key;
    const char* json;
} reference_setting;

/* The effect id the integrations read for one name, 0 when unknown. */
int reference_effect_id(const char* name);

/* A fresh C++ engine from `config` with these effects and settings runs
 * processFrame on the tight buffer; its result, or −100.. when set-up failed. */
int reference_process(const char* config, const reference_setting* settings, int settingCount,
                      const int* effects, int effectCount, int format, int width, int height,
                      uint8_t* buffer, int size, int colorMatrix, int colorRange);

/* Compares the settings schema with the effects' descriptors: every key and
 * member, in order, with the same names, defaults and ranges. 0 when they
 * agree; otherwise 1 and the first difference in `message`. */
int reference_check_schema(const char* schema, char* message, size_t capacity);

/* The engine's text for rejection `index` of a document, without the log
 * line's prefix; "" when there is no such rejection. */
void reference_rejection_text(const char* key, const char* json, int index, char* text,
                              size_t capacity);

#ifdef __cplusplus
}
#endif

#endif
