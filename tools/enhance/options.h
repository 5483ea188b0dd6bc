// Command line of kelvo-enhance.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kelvo {
namespace enhance {

struct Options {
    std::string input;         // "" none, "-" standard input, else a file
    bool demo = false;         // the built-in clip instead of an input
    std::string output;        // "" none, "-" standard output, else a file
    std::vector<int> effects;  // effect identifiers, in the order given
    // (key, JSON text) in the order given; later ones win.
    std::vector<std::pair<std::string, std::string>> params;
    int colorRange = -2;       // -2: from the input (limited when not stated)
    int colorMatrix = -1;      // engine code; -1 lets the engine choose
    std::string snapshotPath;  // before|after PNG, side by side
    int snapshotFrame = 0;
    int maxFrames = -1;  // -1: all (built-in clip: 60)
    int clipWidth = 640;
    int clipHeight = 360;
    double clipNoise = 6.0;
    int progress = -1;             // -1 auto (terminal), 0 off, 1 on
    std::string statsPath;         // "" none, "-" standard error, else a file: JSON lines
    std::string backend = "auto";  // auto | gpu | cpu
    int threads = 0;               // CPU backend threads; 0 automatic
    bool verbose = false;
    bool help = false;
};

// Parses argv. Returns false with a one-line `error` for bad usage.
bool parseOptions(int argc, char** argv, Options* options, std::string* error);

// The engine's init text for the backend options.
std::string engineConfig(const Options& options);

// Reads a JSON file whose root object maps option keys to parameter objects
// and appends (key, member text) pairs. False with `error` on a bad file.
bool loadParamFile(const std::string& path,
                   std::vector<std::pair<std::string, std::string>>* params, std::string* error);

extern const char kUsage[];

}  // namespace enhance
}  // namespace kelvo
