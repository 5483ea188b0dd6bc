// Pictures that must not change when the code is reorganised: a fixed clip
// through each effect alone and the whole chain, on both backends, at two
// sizes and in every caller format, digested and compared with the digests
// recorded in tests/data/picture_digests.txt.
//
// A change that is meant to change pictures records new digests:
//   KELVO_RECORD_DIGESTS=1 ./kelvo_test_public --gtest_filter='PictureDigest*'
// GL digests hold for one renderer (the one named in the file); on another
// one only the CPU rows are compared.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "kelvo/video_process_engine.h"

namespace kelvo {
namespace video {
namespace {

const char kDigestFile[] = "tests/data/picture_digests.txt";

struct Format {
    int id;
    const char* name;
};
const Format kFormats[] = {{kPixelFormatI420, "i420"}, {kPixelFormatI422, "i422"},
                           {kPixelFormatNV21, "nv21"}, {kPixelFormatNV12, "nv12"},
                           {kPixelFormatYV12, "yv12"}, {kPixelFormatRGBA, "rgba"},
                           {kPixelFormatARGB, "argb"}, {kPixelFormatBGRA, "bgra"}};

struct Case {
    const char* name;
    std::vector<int> effects;
    std::vector<std::pair<const char*, const char*>> documents;
};
const Case kCases[] = {
    {"beauty", {kEffectBeauty}, {{"beauty_effect_option", R"({"enable":1,"lightness":0.6})"}}},
    {"colour", {kEffectColorEnhance}, {{"color_enhance_option", R"({"enable":1,"strength":0.8})"}}},
    {"lowlight",
     {kEffectLowLightEnhance},
     {{"lowlight_enhance_option", R"({"enable":1,"mode":1})"}}},
    {"denoise",
     {kEffectVideoDenoiser},
     {{"video_denoiser_option", R"({"enable":1,"mode":1,"level":2})"}}},
    {"chain",
     {kEffectBeauty, kEffectColorEnhance, kEffectLowLightEnhance, kEffectVideoDenoiser},
     {{"beauty_effect_option", R"({"enable":1})"},
      {"color_enhance_option", R"({"enable":1})"},
      {"lowlight_enhance_option", R"({"enable":1,"mode":1})"},
      {"video_denoiser_option", R"({"enable":1,"mode":1})"}}},
    // The integrations' order: colour enhancement straight into beauty.
    {"colour_beauty",
     {kEffectColorEnhance, kEffectBeauty},
     {{"color_enhance_option", R"({"enable":1,"strength":0.8})"},
      {"beauty_effect_option", R"({"enable":1,"lightness":0.6})"}}},
};

int frameBytes(int format, int w, int h) {
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    if (format >= kPixelFormatRGBA) return 4 * w * h;
    if (format == kPixelFormatI422) return w * h + 2 * cw * h;
    return w * h + 2 * cw * ch;
}

// Deterministic bytes with structure: gradients, a bright disc, edges and a
// little pseudo-random texture, moving a little from frame to frame.
std::vector<uint8_t> clipFrame(int format, int w, int h, int index) {
    std::vector<uint8_t> bytes(frameBytes(format, w, h));
    uint32_t state = 2463534242u + index;
    const size_t lumaEnd = format >= kPixelFormatRGBA ? bytes.size() : size_t(w) * h;
    for (size_t i = 0; i < bytes.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        int v;
        if (i < lumaEnd) {
            const int p = format >= kPixelFormatRGBA ? int(i / 4) : int(i);
            const int x = p % w, y = p / w;
            const int dx = x - w / 2 - index, dy = y - h / 2;
            v = 40 + 150 * x / w + (dx * dx + dy * dy < w * h / 12 ? 60 : 0) +
                (y > h * 3 / 4 ? -30 : 0);
            if (format >= kPixelFormatRGBA) v += 25 * int(i % 4) - 30;
        } else {
            v = 128 + int((i * 7) % 61) - 30;
        }
        v += int(state % 9) - 4;
        bytes[i] = uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
    }
    return bytes;
}

uint64_t fnv1a(uint64_t hash, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) hash = (hash ^ b) * 1099511628211ull;
    return hash;
}

std::string digestFor(const char* config, const Case& c, const Format& f, int w, int h) {
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (engine->init(config) != 0 || engine->setVideoEffects(c.effects) != 0) return "init-failed";
    for (const auto& d : c.documents) engine->setParameter(d.first, d.second);
    uint64_t hash = 14695981039346656037ull;
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> frame = clipFrame(f.id, w, h, i);
        const int result = engine->processFrame(f.id, w, h, frame.data(), int(frame.size()), -1, -1,
                                                kColorMatrixBT709, kColorRangeLimited);
        hash = fnv1a(hash * 31 + uint64_t(result + 8), frame);
    }
    engine->release();
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// Digests a platform is known not to reproduce, as KEY,KEY,... with the keys
// of the digest file; the caller that sets it says why. They are still
// computed: one that matches after all fails, so the list stays exact.
std::set<std::string> knownToDiffer() {
    std::set<std::string> keys;
    const char* list = std::getenv("KELVO_DIGESTS_KNOWN_TO_DIFFER");
    std::istringstream in(list ? list : "");
    for (std::string key; std::getline(in, key, ',');)
        if (!key.empty()) keys.insert(key);
    return keys;
}

std::string gpuRenderer() {
    std::unique_ptr<IVideoProcessEngine> engine(createVideoProcessEngine(false));
    if (engine->init(R"({"backend":"gpu"})") != 0) return "";
    std::string renderer = engine->getInfo("renderer");
    engine->release();
    return renderer;
}

TEST(PictureDigest, EveryEffectFormatAndBackendGivesTheRecordedPicture) {
    const std::string renderer = gpuRenderer();
    std::map<std::string, std::string> computed;
    const int sizes[][2] = {{64, 36}, {37, 21}};
    for (const char* backend : {"cpu", "gpu"}) {
        if (std::string(backend) == "gpu" && renderer.empty()) continue;
        const std::string config = std::string(R"({"backend":")") + backend + R"(","threads":1})";
        for (const Case& c : kCases)
            for (const Format& f : kFormats)
                for (const auto& size : sizes) {
                    std::ostringstream key;
                    key << backend << ' ' << c.name << ' ' << f.name << ' ' << size[0] << 'x'
                        << size[1];
                    computed[key.str()] = digestFor(config.c_str(), c, f, size[0], size[1]);
                }
    }

    if (std::getenv("KELVO_RECORD_DIGESTS")) {
        std::ofstream out(kDigestFile);
        out << "renderer " << renderer << "\n";
        for (const auto& entry : computed) out << entry.first << ' ' << entry.second << "\n";
        GTEST_SKIP() << "recorded " << computed.size() << " digests in " << kDigestFile;
    }

    std::ifstream in(kDigestFile);
    ASSERT_TRUE(in) << kDigestFile;
    std::string line, recordedRenderer;
    std::getline(in, line);
    ASSERT_EQ(line.rfind("renderer ", 0), 0u);
    recordedRenderer = line.substr(9);
    std::set<std::string> differing = knownToDiffer();
    int compared = 0;
    while (std::getline(in, line)) {
        const size_t last = line.rfind(' ');
        const std::string key = line.substr(0, last), digest = line.substr(last + 1);
        if (key.rfind("gpu ", 0) == 0 && renderer != recordedRenderer) continue;
        auto found = computed.find(key);
        if (found == computed.end()) continue;  // a backend this build lacks
        if (differing.erase(key)) {
            EXPECT_NE(found->second, digest) << key << " is listed as differing but matches";
            std::printf("[ digests ] %s: %s, recorded %s (known to differ)\n", key.c_str(),
                        found->second.c_str(), digest.c_str());
            continue;
        }
        EXPECT_EQ(found->second, digest) << key;
        ++compared;
    }
    for (const std::string& key : differing) ADD_FAILURE() << key << " is listed but not computed";
    std::printf("[ digests ] %d compared (renderer \"%s\", recorded on \"%s\")\n", compared,
                renderer.c_str(), recordedRenderer.c_str());
    EXPECT_GE(compared, int(computed.size()) / 2);
}

// Rows are split over the CPU backend's threads in pieces of varying size
// and order; no piece may see another's rows, so every thread count gives
// the one-thread picture. Both denoiser levels, the formats whose rows are
// copied in pieces; a frame of several block rows, odd in both sizes.
TEST(PictureDigest, TheCpuBackendGivesTheSamePictureOnAnyNumberOfThreads) {
    Case level0 = kCases[4];
    level0.documents.back().second = R"({"enable":1,"mode":1,"level":0})";
    Case level2 = kCases[4];
    level2.documents.back().second = R"({"enable":1,"mode":1,"level":2})";
    const struct {
        const Case& c;
        const Format& format;
    } rows[] = {{level0, kFormats[0]}, {level2, kFormats[0]}, {level0, kFormats[2]},
                {level0, kFormats[4]}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format.name);
        const std::string one =
            digestFor(R"({"backend":"cpu","threads":1})", row.c, row.format, 161, 99);
        for (const char* config : {R"({"backend":"cpu","threads":2})",
                                   R"({"backend":"cpu","threads":5})"})
            EXPECT_EQ(digestFor(config, row.c, row.format, 161, 99), one) << config;
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
