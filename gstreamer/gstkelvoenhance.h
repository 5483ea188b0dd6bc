// kelvoenhance: a GstVideoFilter that runs frames in place through one kelvo
// video process engine per element instance.
#pragma once

#include <gst/video/gstvideofilter.h>

G_BEGIN_DECLS

#define GST_TYPE_KELVO_ENHANCE (gst_kelvo_enhance_get_type())
G_DECLARE_FINAL_TYPE(GstKelvoEnhance, gst_kelvo_enhance, GST, KELVO_ENHANCE, GstVideoFilter)

GST_ELEMENT_REGISTER_DECLARE(kelvoenhance);

G_END_DECLS
