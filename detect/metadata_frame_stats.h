// The brightness record is public: callers read it in onDetectionResult.
#pragma once

#include "kelvo/metadata_frame_stats.h"
