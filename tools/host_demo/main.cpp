// A host program for the video library's extension adapter. It loads the
// stand-in host library kelvo_rtc_sdk and then the video library with dlopen,
// as a communications host does, runs the announced load callback, lists the
// provider's extensions, creates and starts the "beauty" filter, sets its
// properties, passes a stream of I420 frames through it, prints the host log,
// stops, and unloads. It prints every step and exits with 0 when the filter
// processed frames and every host object was released again.
//
//   kelvo-host-demo [--frames N] [host library] [video library]
#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "extension/host_interface.h"
#include "tools/host/stand_in_host.h"

namespace {

using kelvo::rtc_sdk::StandInControl;
using kelvo::rtc_sdk::StandInFrame;
using kelvo::rtc_sdk::StandInHost;
using kelvo::rtc_sdk::StandInHostFunction;
using kelvo::video::ExtensionRecord;
using kelvo::video::HostFrameData;
using kelvo::video::IExtensionProvider;
using kelvo::video::IExtensionVideoFilter;
using kelvo::video::IHostVideoFrame;

constexpr int kWidth = 160;
constexpr int kHeight = 120;

// A noisy skin-toned face on a grey background, moving a little per frame.
std::vector<uint8_t> makeFrame(int index) {
    const int cw = (kWidth + 1) / 2, ch = (kHeight + 1) / 2;
    std::vector<uint8_t> frame(kWidth * kHeight + 2 * cw * ch);
    uint8_t* y = frame.data();
    uint8_t* u = y + kWidth * kHeight;
    uint8_t* v = u + cw * ch;
    unsigned seed = 12345u + static_cast<unsigned>(index);
    auto inFace = [&](int x, int row) {
        const int dx = x - kWidth / 2 - index % 8, dy = row - kHeight / 2;
        return dx * dx + dy * dy < (kHeight / 3) * (kHeight / 3);
    };
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) % 25) - 12;
            y[row * kWidth + x] = static_cast<uint8_t>((inFace(x, row) ? 150 : 90) + noise);
        }
    for (int row = 0; row < ch; ++row)
        for (int x = 0; x < cw; ++x) {
            const bool face = inFace(2 * x, 2 * row);
            u[row * cw + x] = face ? 108 : 128;
            v[row * cw + x] = face ? 152 : 128;
        }
    return frame;
}

double meanChange(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
    return sum / static_cast<double>(a.size());
}

struct Property {
    int atFrame;
    const char* key;
    const char* value;
};

// The filter is switched on after a few frames, made stronger later.
const Property kProperties[] = {
    {5, "beauty_effect_option",
     R"({"enable": 1, "smoothness": 0.5, "lightness": 0.3, "redness": 0.3, "contrast": 1, "sharpness": 0.3})"},
    {15, "color_enhance_option", R"({"enable": 1, "strength": 0.6, "skinProtect": 0.8})"},
    {25, "beauty_effect_option", R"({"enable": 1, "smoothness": 1.0, "lightness": 0.8})"},
};

const char kUsage[] =
    "usage: kelvo-host-demo [--frames N] [HOST_LIBRARY [VIDEO_LIBRARY]]\n"
    "\n"
    "Loads the stand-in host library and the video library with dlopen, as a\n"
    "communications host does, drives the \"beauty\" filter through N frames\n"
    "(default 40), prints every step and the host log, and unloads both.\n"
    "Exit status 0 when the filter processed frames and every host object was\n"
    "released again, 1 otherwise, 2 for bad usage.\n";

}  // namespace

int main(int argc, char** argv) {
    int frames = 40;
    std::vector<const char*> paths;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) {
            char* end = nullptr;
            frames = static_cast<int>(std::strtol(argv[++i], &end, 10));
            if (*end != '\0' || frames < 1) {
                std::fprintf(stderr, "kelvo-host-demo: --frames needs a positive number\n%s",
                             kUsage);
                return 2;
            }
        } else if (argv[i][0] == '-') {
            std::fprintf(stderr, "kelvo-host-demo: unknown option %s\n%s", argv[i], kUsage);
            return 2;
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() > 2) {
        std::fprintf(stderr, "kelvo-host-demo: too many arguments\n%s", kUsage);
        return 2;
    }
    // By name, found through the RUNPATH: in the build tree the build's
    // folders, installed its own private folder and the library's. An
    // installed demo never reaches into a build tree.
    const char* hostPath = paths.size() > 0 ? paths[0] : kelvo::video::kHostLibraryName;
    const char* videoPath = paths.size() > 1 ? paths[1] : KELVO_VIDEO_LIBRARY_SONAME;

    // The host's own library comes first; it stays private to the host.
    void* hostLibrary = dlopen(hostPath, RTLD_NOW | RTLD_LOCAL);
    if (!hostLibrary) {
        std::printf("cannot load host library: %s\n", dlerror());
        return 1;
    }
    auto hostOf = reinterpret_cast<StandInHostFunction>(
        dlsym(hostLibrary, kelvo::rtc_sdk::kStandInHostEntry));
    StandInHost* host = hostOf ? hostOf() : nullptr;
    if (!host) {
        std::printf("not a stand-in host library: %s\n", hostPath);
        return 1;
    }
    std::printf("host library loaded: %s\n", hostPath);
    const int objectsAtStart = host->liveObjects();

    void* videoLibrary = dlopen(videoPath, RTLD_NOW | RTLD_LOCAL);
    if (!videoLibrary) {
        std::printf("cannot load video library: %s\n", dlerror());
        return 1;
    }
    std::printf("video library loaded: %s\n", videoPath);
    for (const std::string& name : host->loadAnnouncements())
        std::printf("load callback announced by provider \"%s\"\n", name.c_str());

    std::printf("load callbacks run: %d\n", host->runLoadCallbacks());
    IExtensionProvider* provider = host->provider("kelvo");
    if (!provider) {
        std::printf("no provider \"kelvo\" registered\n");
        return 1;
    }
    ExtensionRecord records[4];
    int count = 0;
    provider->listExtensions(records, &count);
    for (int i = 0; i < count && i < 4; ++i)
        std::printf("extension: type %d, name \"%s\"\n", records[i].typeCode, records[i].name);

    IExtensionVideoFilter* filter = nullptr;
    provider->createVideoFilter(&filter, "beauty");
    if (!filter) {
        std::printf("no filter created\n");
        return 1;
    }
    int mode = -1;
    bool flag = false;
    filter->queryProcessMode(&mode, &flag);
    std::printf("filter created, process mode %d\n", mode);

    StandInControl* control = host->createControl();
    control->addRef();  // start takes one reference, the host keeps its own
    std::printf("start: %d\n", filter->start(control));

    int processed = 0;
    size_t nextProperty = 0;
    for (int i = 0; i < frames; ++i) {
        while (nextProperty < sizeof kProperties / sizeof kProperties[0] &&
               kProperties[nextProperty].atFrame == i) {
            const Property& p = kProperties[nextProperty++];
            const int r =
                filter->setProperty(p.key, p.value, static_cast<int>(std::strlen(p.value)));
            std::printf("frame %d: property %s = %s -> %d\n", i, p.key, p.value, r);
        }
        std::vector<uint8_t> pixels = makeFrame(i);
        const std::vector<uint8_t> original = pixels;
        HostFrameData description;
        description.kind = kelvo::video::kHostFramePixelBuffer;
        description.buffer = pixels.data();
        description.bufferSize = static_cast<int32_t>(pixels.size());
        description.width = kWidth;
        description.height = kHeight;
        // A camera that says nothing of its colour: the presets stand.
        description.primariesCode = description.transferCode = -1;
        description.matrixCode = description.rangeCode = -1;
        StandInFrame* frame = host->createFrame(description);
        IHostVideoFrame* out = nullptr;
        frame->addRef();  // adaptFrame takes one reference
        const int r = filter->adaptFrame(frame, &out);
        if (r == 0) ++processed;
        std::printf("frame %d: %s (%d), mean change %.2f\n", i,
                    r == 0 ? "processed" : "not processed", r, meanChange(original, pixels));
        if (out) out->release();
        frame->release();
    }

    std::printf("host log:\n");
    for (const StandInControl::LogLine& line : control->logLines())
        std::printf("  [%d] %s\n", line.level, line.text.c_str());

    std::printf("stop: %d\n", filter->stop());
    std::printf("filter released: %d\n", filter->release());
    std::printf("control references: %d\n", control->references());
    control->release();

    // The registry lets go of the provider before its code goes.
    host->releaseProviders();
    const size_t announced = host->loadAnnouncements().size();
    dlclose(videoLibrary);
    std::printf("video library unloaded; new announcements: %zu\n",
                host->loadAnnouncements().size() - announced);
    if (void* still = dlopen(videoPath, RTLD_NOW | RTLD_NOLOAD)) {
        std::printf("video library still loaded\n");
        dlclose(still);
    } else {
        std::printf("video library left the process\n");
    }
    host->reset();
    const int leaked = host->liveObjects() - objectsAtStart;
    std::printf("frames processed: %d of %d; host objects left: %d\n", processed, frames, leaked);
    // The host's own library stays, as a host's SDK does.
    return processed > 0 && leaked == 0 ? 0 : 1;
}
