#include "detect/brightness_detect_impl.h"

#include "detect/brightness_stats.h"

namespace kelvo {
namespace video {

namespace {

// 1000 * ln(v / 255 + 0.001), rounded up. Entry 119 lies 0.0005 above -760
// and is stored as -760, as in the table the log averages were tuned with.
const int32_t kLogTable[256] = {
    -6907, -5314, -4728, -4361, -4093, -3882, -3707, -3559, -3430, -3316, -3213, -3120, -3035,
    -2956, -2884, -2816, -2752, -2693, -2636, -2583, -2532, -2484, -2438, -2394, -2352, -2312,
    -2273, -2236, -2199, -2165, -2131, -2099, -2067, -2037, -2007, -1978, -1950, -1923, -1896,
    -1871, -1846, -1821, -1797, -1774, -1751, -1728, -1707, -1685, -1664, -1644, -1624, -1604,
    -1585, -1566, -1547, -1529, -1511, -1493, -1476, -1459, -1442, -1426, -1410, -1394, -1378,
    -1362, -1347, -1332, -1318, -1303, -1289, -1274, -1261, -1247, -1233, -1220, -1207, -1194,
    -1181, -1168, -1156, -1143, -1131, -1119, -1107, -1095, -1083, -1072, -1061, -1049, -1038,
    -1027, -1016, -1005, -995,  -984,  -974,  -963,  -953,  -943,  -933,  -923,  -913,  -904,
    -894,  -884,  -875,  -866,  -856,  -847,  -838,  -829,  -820,  -811,  -802,  -794,  -785,
    -776,  -768,  -760,  -751,  -743,  -735,  -727,  -718,  -710,  -702,  -695,  -687,  -679,
    -671,  -664,  -656,  -648,  -641,  -634,  -626,  -619,  -612,  -604,  -597,  -590,  -583,
    -576,  -569,  -562,  -555,  -549,  -542,  -535,  -528,  -522,  -515,  -509,  -502,  -496,
    -489,  -483,  -477,  -470,  -464,  -458,  -452,  -445,  -439,  -433,  -427,  -421,  -415,
    -409,  -403,  -398,  -392,  -386,  -380,  -375,  -369,  -363,  -358,  -352,  -346,  -341,
    -335,  -330,  -324,  -319,  -314,  -308,  -303,  -298,  -292,  -287,  -282,  -277,  -272,
    -266,  -261,  -256,  -251,  -246,  -241,  -236,  -231,  -226,  -221,  -217,  -212,  -207,
    -202,  -197,  -192,  -188,  -183,  -178,  -174,  -169,  -164,  -160,  -155,  -151,  -146,
    -141,  -137,  -132,  -128,  -124,  -119,  -115,  -110,  -106,  -102,  -97,   -93,   -89,
    -84,   -80,   -76,   -72,   -67,   -63,   -59,   -55,   -51,   -47,   -43,   -38,   -34,
    -30,   -26,   -22,   -18,   -14,   -10,   -6,    -2,    1,
};

int StepShiftForPixels(int64_t pixels) {
    if (pixels >= 640 * 480) return 3;
    if (pixels >= 352 * 288) return 2;
    if (pixels >= 176 * 144) return 1;
    return 0;
}

}  // namespace

BrightnessDetectImpl::BrightnessDetectImpl()
    : IDetectBase(kDetectionFrameBrightness, kDetectorFrameBrightness),
      stats_(std::make_shared<MetaDataFrameStats>()) {}

const int32_t* BrightnessDetectImpl::logTable() { return kLogTable; }

std::shared_ptr<IMetaDataInfo> BrightnessDetectImpl::metadata() { return stats_; }

int BrightnessDetectImpl::detect(int dataKind, int width, int height, const uint8_t* data,
                                 int size) {
    if (!enabled_) return kDetectDisabled;
    if (!data || !stats_ || dataKind != 1 || width <= 0 || height <= 0 || size <= 0) {
        return kDetectInvalidData;
    }
    const int64_t pixels = static_cast<int64_t>(width) * height;
    const int shift = StepShiftForPixels(pixels);
    const int step = 1 << shift;
    // The caller's size need not cover width * height (a mislabelled buffer);
    // refuse rather than read past it.
    const int64_t lastSample =
        static_cast<int64_t>((height - 1) & ~(step - 1)) * width + ((width - 1) & ~(step - 1));
    if (lastSample >= size) return kDetectInvalidData;

    computeBrightnessStats(data, width, height, shift, BrightnessPass::kFast, *stats_);
    return kDetectOk;
}

}  // namespace video
}  // namespace kelvo
