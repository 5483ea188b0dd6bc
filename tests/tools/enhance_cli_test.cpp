// kelvo-enhance run as a user runs it: in ffmpeg pipes, on files, with bad
// input and bad options.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "enhance_settings.h"
#include "y4m.h"

namespace kelvo {
namespace enhance {
namespace {

struct CommandResult {
    int status;          // exit status, or -1 when the program did not exit normally
    std::string output;  // standard error and standard output, merged
};

CommandResult run(const std::string& command) {
    CommandResult result{-1, ""};
    FILE* pipe = popen(("( " + command + " ) 2>&1").c_str(), "r");
    if (!pipe) return result;
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), pipe)) > 0) result.output.append(chunk, n);
    const int status = pclose(pipe);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

const std::string kTool = KELVO_TEST_EMULATOR KELVO_ENHANCE_PATH;

class EnhanceCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kelvo-enhance-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { run("rm -rf " + dir); }
    static bool haveFfmpeg() { return run("command -v ffmpeg").status == 0; }

    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    }
    std::string dir;
};

TEST_F(EnhanceCli, HelpDocumentsTheOptions) {
    const CommandResult r = run(kTool + " --help");
    EXPECT_EQ(r.status, 0);
    for (const char* option :
         {"--input", "--output", "--effects", "--param", "--params", "--range", "--matrix",
          "--snapshot", "--progress", "--backend", "--threads", "yuv4mpegpipe"})
        EXPECT_NE(r.output.find(option), std::string::npos) << option;
    // Every matrix name the tool takes is one the help names.
    for (const char* matrix : {"rgb", "bt709", "fcc", "bt470bg", "bt601", "smpte170m", "smpte240m",
                               "ycgco", "bt2020", "bt2020nc", "bt2020c"}) {
        EXPECT_NE(r.output.find(matrix), std::string::npos) << matrix;
        const CommandResult run1 =
            run(kTool + " --demo --size 16x16 -n 1 --no-progress --matrix " + matrix);
        EXPECT_EQ(run1.status, 0) << matrix << ": " << run1.output;
    }
}

// Bad usage exits with 2; where the mistake has a fix, the message names it
// (an enumerated option lists every accepted value).
TEST_F(EnhanceCli, BadUsageExitsWithStatus2AndNamesTheFix) {
    struct Row {
        const char* args;
        std::vector<const char*> fix;
    } rows[] = {
        {"--frobnicate", {}},
        {"--demo --effects sparkle", {"beauty", "color", "denoise", "lowlight", "101-104"}},
        {"--demo --param nokey", {"KEY=JSON"}},
        {"--demo --frames 0", {}},
        {"--demo --range studio", {"limited", "full"}},
        {"--demo --matrix rec709",
         {"bt601", "smpte170m", "bt709", "bt2020", "bt2020nc", "bt2020c", "fcc", "bt470bg",
          "smpte240m", "ycgco", "rgb", "0-9"}},
        {"--demo --backend metal", {"auto", "gpu", "cpu"}},
        {"in.y4m out.y4m", {"-i IN.y4m", "-o OUT.y4m"}},
        {"--input", {}},
        {"--demo -e 105", {"101-104"}},
        {"--demo -i x.y4m", {}},
        {"--demo --threads -1", {}},
        {"--demo --threads two", {}},
        {"--demo -n 1 -p beauty_option={}", {"beauty_effect_option", "environment"}},
    };
    for (const Row& row : rows) {
        const CommandResult r = run(kTool + " " + row.args);
        EXPECT_EQ(r.status, 2) << row.args << ": " << r.output;
        for (const char* fix : row.fix)
            EXPECT_NE(r.output.find(fix), std::string::npos) << row.args << ": " << r.output;
    }
}

// With no -o the frames are processed (a dry run for -v, --stats, --snapshot)
// and a one-line note says where the output went.
TEST_F(EnhanceCli, WithoutOutputANoteNamesTheOption) {
    const CommandResult r = run(kTool + " --demo --size 16x16 -n 1 --no-progress");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("no --output"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("-o FILE"), std::string::npos) << r.output;
    EXPECT_EQ(run(kTool + " --demo --size 16x16 -n 1 --no-progress -o /dev/null")
                  .output.find("no --output"),
              std::string::npos);
}

// In a pipe a forgotten -i must fail loudly instead of feeding made-up frames.
TEST_F(EnhanceCli, WithoutInputOrDemoNothingIsWritten) {
    const CommandResult r = run(kTool + " --no-progress -o - </dev/null");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("--input"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("--demo"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("YUV4MPEG2"), std::string::npos) << r.output;
}

// Every document is checked before the first byte of output, with the
// engine's own verdict naming key, member and accepted range.
TEST_F(EnhanceCli, RejectedParametersStopBeforeAnyOutput) {
    struct Row {
        const char* param;
        const char* message;
    } rows[] = {
        {"beauty_effect_option={enable:1}", "invalid JSON"},
        {"beauty_effect_option={\"smoothness\":7}", "beauty_effect_option.smoothness"},
        {"beauty_effect_option={\"smoothnes\":0.5}", "beauty_effect_option.smoothnes"},
        {"color_enhance_option={\"enable\":true}", "color_enhance_option.enable"},
        {"beauty_option={\"enable\":1}", "beauty_option"},
    };
    for (const Row& row : rows) {
        const CommandResult r =
            run(kTool + " --no-progress --demo -n 1 -o - --param '" + row.param + "'");
        EXPECT_EQ(r.status, 2) << row.param << ": " << r.output;
        EXPECT_NE(r.output.find(row.message), std::string::npos) << row.param << ": " << r.output;
        EXPECT_EQ(r.output.find("YUV4MPEG2"), std::string::npos) << row.param << ": " << r.output;
    }
    const CommandResult range =
        run(kTool + " --demo -n 1 --param 'beauty_effect_option={\"smoothness\":7}'");
    EXPECT_NE(range.output.find("[0, 1]"), std::string::npos) << range.output;
}

TEST_F(EnhanceCli, WarnsAboutInterlacedInputAndNamesTheSizeLimit) {
    const std::string frame(16 * 16 * 3 / 2, '\x80');
    writeFile("top.y4m", "YUV4MPEG2 W16 H16 F25:1 It C420jpeg\nFRAME\n" + frame);
    writeFile("huge.y4m", "YUV4MPEG2 W20000 H16 F25:1 C420jpeg\n");
    const CommandResult top =
        run(kTool + " --no-progress -i " + dir + "/top.y4m -o " + dir + "/o.y4m");
    EXPECT_EQ(top.status, 0) << top.output;
    EXPECT_NE(top.output.find("processed as progressive"), std::string::npos) << top.output;
    const CommandResult huge = run(kTool + " --no-progress -i " + dir + "/huge.y4m");
    EXPECT_EQ(huge.status, 1) << huge.output;
    EXPECT_NE(huge.output.find("16384"), std::string::npos) << huge.output;
}

// A partial document keeps what the defaults enabled, and effects may be
// named by id: either way the picture changes.
TEST_F(EnhanceCli, PartialDocumentAndEffectIdsChangeThePicture) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_EQ(
        run("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=5 -frames:v 1 -pix_fmt yuv420p "
            "-f yuv4mpegpipe " +
            dir + "/in.y4m")
            .status,
        0);
    auto firstFrame = [](const std::string& path) {
        std::vector<uint8_t> planes;
        FILE* in = std::fopen(path.c_str(), "rb");
        if (!in) return planes;
        Y4MReader reader(in);
        std::string error;
        if (reader.open(&error)) reader.readFrame(&planes, &error);
        std::fclose(in);
        return planes;
    };
    const std::vector<uint8_t> input = firstFrame(dir + "/in.y4m");
    ASSERT_FALSE(input.empty());
    for (const char* args :
         {"-e beauty -p 'beauty_effect_option={\"smoothness\":1.0}'", "-e 102"}) {
        const CommandResult r =
            run(kTool + " --no-progress -i " + dir + "/in.y4m -o " + dir + "/out.y4m " + args);
        ASSERT_EQ(r.status, 0) << args << ": " << r.output;
        EXPECT_TRUE(firstFrame(dir + "/out.y4m") != input) << args << ": output equals input";
    }
}

// The defaults leave a normally lit picture's exposure alone. The built-in
// clip (mean luma about 105) is a dark scene to automatic low light, whose
// specified lift raises it by some 35 levels; the default effects must not,
// nor low light's adaptive lift where the library has one.
TEST_F(EnhanceCli, DefaultEffectsKeepTheExposure) {
    auto lastFrameMean = [this](const std::string& args) {
        const std::string out = dir + "/mean.y4m";
        const CommandResult r =
            run(kTool + " --no-progress --demo --size 160x90 -n 20 -o " + out + " " + args);
        EXPECT_EQ(r.status, 0) << args << ": " << r.output;
        std::vector<uint8_t> planes, last;
        std::string error;
        FILE* in = std::fopen(out.c_str(), "rb");
        if (!in) return -1.0;
        Y4MReader reader(in);
        if (reader.open(&error))
            while (reader.readFrame(&planes, &error)) last = planes;
        std::fclose(in);
        double sum = 0;
        for (int i = 0; i < 160 * 90 && !last.empty(); ++i) sum += last[i];
        return sum / (160 * 90);
    };
    const double input = lastFrameMean("-e color -p 'color_enhance_option={\"enable\":0}'");
    EXPECT_NEAR(lastFrameMean(""), input, 6.0);
    // Where low light has its adaptive lift, the tool starts from it, and the
    // specified lift is the one asked for with adaptive 0.
    const bool adaptive =
        kelvo::integration::findSetting("lowlight_enhance_option", "adaptive") != nullptr;
    EXPECT_GT(lastFrameMean(adaptive ? "-e lowlight -p 'lowlight_enhance_option={\"adaptive\":0}'"
                                     : "-e lowlight"),
              input + 20.0);
    if (adaptive) {
        EXPECT_NEAR(lastFrameMean("-e lowlight"), input, 6.0);
    }
}

TEST_F(EnhanceCli, StatsGiveOneJsonLinePerFrame) {
    const CommandResult r =
        run(kTool + " --no-progress --demo --size 64x48 -n 3 -e lowlight,beauty --stats " + dir +
            "/stats.jsonl");
    ASSERT_EQ(r.status, 0) << r.output;
    std::ifstream in(dir + "/stats.jsonl");
    std::string line;
    int frames = 0;
    while (std::getline(in, line)) {
        EXPECT_NE(line.find("\"frame\":" + std::to_string(frames)), std::string::npos) << line;
        for (const char* field :
             {"\"mean\":", "\"log_mean\":", "\"dark_share\":", "\"median\":", "\"low_percentile\":",
              "\"deviation\":", "\"dark_scene\":", "\"noisy\":", "\"result\":0", "\"ms\":"})
            EXPECT_NE(line.find(field), std::string::npos) << field << " in " << line;
        EXPECT_EQ(line.find("null"), std::string::npos) << line;
        ++frames;
    }
    EXPECT_EQ(frames, 3);
}

// Input that is not what the tool reads is told apart by its first bytes;
// the message names what it is and the ffmpeg command that fixes it.
TEST_F(EnhanceCli, BadInputGivesOneLineErrorsThatNameTheFix) {
    const std::string frame(16 * 16 * 3 / 2, '\x80');
    const std::string pipe = "-pix_fmt yuv420p -f yuv4mpegpipe - | kelvo-enhance -i - -o -";
    writeFile("truncated.y4m", "YUV4MPEG2 W16 H16 F25:1 C420jpeg\nFRAME\n" + frame.substr(10));
    writeFile("c444.y4m", "YUV4MPEG2 W16 H16 F25:1 C444\nFRAME\n" + std::string(16 * 16 * 3, 'a'));
    writeFile("p10.y4m", "YUV4MPEG2 W16 H16 F25:1 C420p10 XYSCSS=420P10\nFRAME\n" + frame);
    writeFile("raw.yuv", std::string(5000, '\x10'));
    writeFile("notvideo.y4m", "hello world\n");
    writeFile("image.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    writeFile("clip.avi", "RIFF\x10\0\0\0AVI LIST");
    writeFile("in.mp4", std::string("\0\0\0\x20"
                                    "ftypisom\0\0\x02\0",
                                    16));
    writeFile("clip.mkv", "\x1a\x45\xdf\xa3\x9f\x42\x86\x81\x01");
    writeFile("empty.y4m", "");
    writeFile("params.json", "{\"beauty_effect_option\": {\"enable\": 1,}");
    struct Row {
        std::string args;
        std::vector<std::string> message;
        int status;
    } rows[] = {
        {"-i " + dir + "/truncated.y4m", {"truncated Y4M frame"}, 1},
        {"-i " + dir + "/c444.y4m", {"unsupported colourspace '444'", pipe}, 1},
        {"-i " + dir + "/p10.y4m", {"unsupported colourspace '420p10'", pipe}, 1},
        // What a 10-bit or RGB source gives: ffmpeg refuses it and writes nothing.
        {"-i - < " + dir + "/empty.y4m", {"empty input", "10-bit and RGB", pipe}, 1},
        {"-i " + dir + "/raw.yuv", {"not a Y4M stream", "-f rawvideo -pix_fmt yuv420p -s"}, 1},
        {"-i " + dir + "/notvideo.y4m", {"not a Y4M stream", pipe}, 1},
        {"-i " + dir + "/image.png", {"a PNG image", "ffmpeg -i " + dir + "/image.png " + pipe}, 1},
        {"-i " + dir + "/clip.avi", {"a RIFF file", pipe}, 1},
        {"-i " + dir + "/in.mp4",
         {"an MP4 or MOV file", "ffmpeg -i " + dir + "/in.mp4 " + pipe},
         1},
        {"-i - < " + dir + "/in.mp4", {"the input is an MP4 or MOV file", pipe}, 1},
        {"-i " + dir + "/clip.mkv", {"a Matroska or WebM file", pipe}, 1},
        {"-i " + dir + "/missing.y4m", {"cannot open"}, 1},
        {"--demo -n 1 --params " + dir + "/params.json", {"bad JSON"}, 2},
    };
    for (const Row& row : rows) {
        const CommandResult r = run(kTool + " --no-progress " + row.args);
        EXPECT_EQ(r.status, row.status) << row.args << ": " << r.output;
        for (const std::string& part : row.message)
            EXPECT_NE(r.output.find(part), std::string::npos) << row.args << ": " << r.output;
        EXPECT_EQ(r.output.find("Sanitizer"), std::string::npos) << r.output;
    }
}

// The ffmpeg pipes that go wrong as a user writes them: without -pix_fmt a
// 10-bit or RGB source reaches the tool as nothing; the help's own pipe works.
TEST_F(EnhanceCli, FfmpegWithoutPixFmtGetsTheFixAndTheHelpPipeWorks) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string source =
        "ffmpeg -v quiet -nostdin -f lavfi -i testsrc2=size=64x48:rate=5 "
        "-frames:v 2 ";
    for (const char* format : {"yuv420p10le", "rgb24"}) {
        const CommandResult r = run(source + "-pix_fmt " + format + " -f yuv4mpegpipe - | " +
                                    kTool + " --no-progress -i - -o /dev/null");
        EXPECT_EQ(r.status, 1) << format << ": " << r.output;
        EXPECT_NE(r.output.find("-pix_fmt yuv420p -f yuv4mpegpipe"), std::string::npos)
            << format << ": " << r.output;
    }
    ASSERT_EQ(run(source + "-pix_fmt yuv420p10le -c:v ffv1 " + dir + "/in.mkv").status, 0);
    const std::string help = run(kTool + " --help").output;
    const size_t at = help.find("  ffmpeg -i in.mp4");
    ASSERT_NE(at, std::string::npos) << help;
    // The help's two lines, joined, with this test's files and tool.
    std::string pipe = help.substr(at + 2, help.find("out.mp4", at) + 7 - at - 2);
    pipe.replace(pipe.find("\n"), pipe.find("ffmpeg -f") - pipe.find("\n"), " ");
    pipe.replace(pipe.find("kelvo-enhance"), 13, kTool + " --no-progress");
    pipe.replace(pipe.find("in.mp4"), 6, dir + "/in.mkv");
    pipe.replace(pipe.find("out.mp4"), 7, "-f null -");
    const CommandResult r = run("ffmpeg() { command ffmpeg -v error -nostdin \"$@\"; }; " + pipe);
    EXPECT_EQ(r.status, 0) << pipe << ": " << r.output;
}

// Frames are read ahead and written behind on threads of their own: a stream
// cut off mid-way still fails with the frame's number, after every frame
// before it was written whole, as a run over those frames alone writes them.
TEST_F(EnhanceCli, AStreamCutOffMidWayKeepsTheFramesBeforeIt) {
    const std::string header = "YUV4MPEG2 W16 H16 F25:1 C420jpeg\n";
    std::string frames;
    for (int n = 0; n < 5; ++n) {
        std::string planes(16 * 16 * 3 / 2, static_cast<char>(60 + 25 * n));
        for (size_t i = 0; i < planes.size(); i += 7) planes[i] = static_cast<char>(i * 13 + n);
        frames += "FRAME\n" + planes;
    }
    writeFile("whole.y4m", header + frames);
    writeFile("cut.y4m", header + frames + "FRAME\n" + std::string(100, 'x'));
    const std::string args = " --no-progress -e beauty,color,denoise --backend cpu --threads 1 -i ";
    ASSERT_EQ(run(kTool + args + dir + "/whole.y4m -o " + dir + "/whole.out").status, 0);
    const CommandResult cut =
        run("cat " + dir + "/cut.y4m | " + kTool + args + "- -o - >" + dir + "/cut.out");
    EXPECT_EQ(cut.status, 1) << cut.output;
    EXPECT_NE(cut.output.find("truncated Y4M frame (100 of 384 bytes) at frame 5"),
              std::string::npos)
        << cut.output;
    auto bytes = [this](const std::string& name) {
        std::ifstream in(dir + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(bytes("cut.out").size(), bytes("whole.out").size());
    EXPECT_TRUE(bytes("cut.out") == bytes("whole.out"));

    const CommandResult full = run(kTool + args + dir + "/whole.y4m -o /dev/full");
    EXPECT_EQ(full.status, 1) << full.output;
    EXPECT_NE(full.output.find("cannot write the output"), std::string::npos) << full.output;
}

TEST_F(EnhanceCli, BuiltInClipWritesY4MAndASideBySideSnapshot) {
    const CommandResult r =
        run(kTool + " --no-progress --demo --size 96x64 -n 3 --snapshot-frame 2 -s " + dir +
            "/snap.png -o " + dir + "/out.y4m");
    ASSERT_EQ(r.status, 0) << r.output;
    FILE* in = std::fopen((dir + "/out.y4m").c_str(), "rb");
    ASSERT_NE(in, nullptr);
    Y4MReader reader(in);
    std::string error;
    ASSERT_TRUE(reader.open(&error)) << error;
    EXPECT_EQ(reader.header().width, 96);
    EXPECT_EQ(reader.header().height, 64);
    std::vector<uint8_t> planes;
    int frames = 0;
    while (reader.readFrame(&planes, &error)) ++frames;
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(frames, 3);
    std::fclose(in);

    // PNG signature, then IHDR with width 2 × 96 and height 64.
    std::ifstream png(dir + "/snap.png", std::ios::binary);
    std::string head(24, '\0');
    ASSERT_TRUE(png.read(&head[0], 24));
    EXPECT_EQ(head.substr(1, 3), "PNG");
    EXPECT_EQ(static_cast<unsigned char>(head[19]), 192);
    EXPECT_EQ(static_cast<unsigned char>(head[23]), 64);
}

TEST_F(EnhanceCli, BackendOptionsReachTheEngine) {
    const CommandResult r =
        run(kTool + " --no-progress --demo --size 64x48 -n 2 --backend cpu --threads 2 -v");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("CPU backend, 2 threads"), std::string::npos) << r.output;
}

TEST_F(EnhanceCli, SitsInAnFfmpegPipe) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const std::string source =
        "ffmpeg -v error -f lavfi -i testsrc2=size=160x120:rate=10 -frames:v 6 -pix_fmt yuv420p "
        "-f yuv4mpegpipe -";
    const CommandResult r =
        run(source + " | " + kTool +
            " --no-progress -i - -o - --param 'beauty_effect_option={\"enable\":1,"
            "\"smoothness\":0.8}' | ffmpeg -v error -f yuv4mpegpipe -i - -f framemd5 " +
            dir + "/out.md5");
    ASSERT_EQ(r.status, 0) << r.output;
    std::ifstream md5(dir + "/out.md5");
    std::stringstream text;
    text << md5.rdbuf();
    int frames = 0;
    std::string line;
    while (std::getline(text, line))
        if (!line.empty() && line[0] != '#') ++frames;
    EXPECT_EQ(frames, 6);
}

// The dark-scene verdict lets go 10 s and 50 frames after the last dark
// frame, counted in the clip's own time: the same frame at any processing
// speed (the tool runs these clips far faster than their frame rate).
TEST_F(EnhanceCli, DarkSceneVerdictEndsAtTheFrameTheClipsTimeSays) {
    const struct {
        const char* rate;
        int frames;
        int firstLit;  // the first frame judged not dark
    } rows[] = {
        {"F10:1", 140, 129},        // 10 s after frame 29
        {"F1:1", 90, 80},           // 50 lit frames after it
        {"F30000:1001", 340, 329},  // 10 s in whole milliseconds of 1001/30 ms frames
    };
    for (const auto& row : rows) {
        std::string clip = std::string("YUV4MPEG2 W64 H48 ") + row.rate + " C420jpeg\n";
        for (int f = 0; f < row.frames; ++f)
            clip += "FRAME\n" + std::string(64 * 48, f < 30 ? '\x28' : '\xb4') +
                    std::string(2 * 32 * 24, '\x80');
        writeFile("clip.y4m", clip);
        const CommandResult r = run(kTool + " --no-progress -e lowlight -i " + dir +
                                    "/clip.y4m --stats " + dir + "/stats.jsonl");
        ASSERT_EQ(r.status, 0) << r.output;
        std::ifstream in(dir + "/stats.jsonl");
        std::string line;
        int frame = 0, firstLit = -1;
        bool darkAtLastDarkFrame = false;
        for (; std::getline(in, line); ++frame) {
            const bool dark = line.find("\"dark_scene\":true") != std::string::npos;
            if (frame == 29) darkAtLastDarkFrame = dark;
            if (frame > 29 && !dark && firstLit < 0) firstLit = frame;
        }
        EXPECT_EQ(frame, row.frames) << row.rate;
        EXPECT_TRUE(darkAtLastDarkFrame) << row.rate;
        EXPECT_EQ(firstLit, row.firstLit) << row.rate;
    }
}

TEST_F(EnhanceCli, ReadsFourTwoTwoFromAFileMadeByFfmpeg) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    ASSERT_EQ(run("ffmpeg -v error -f lavfi -i testsrc2=size=120x90:rate=5 -frames:v 3 "
                  "-pix_fmt yuv422p -f yuv4mpegpipe " +
                  dir + "/in.y4m")
                  .status,
              0);
    const CommandResult r =
        run(kTool + " --no-progress -e beauty,color -i " + dir + "/in.y4m -o " + dir +
            "/out.y4m && ffmpeg -v error -i " + dir + "/out.y4m -f null -");
    EXPECT_EQ(r.status, 0) << r.output;
    const CommandResult probe =
        run("ffprobe -v error -show_entries stream=pix_fmt,width,height -of csv=p=0 " + dir +
            "/out.y4m");
    EXPECT_NE(probe.output.find("120,90,yuv422p"), std::string::npos) << probe.output;
}

}  // namespace
}  // namespace enhance
}  // namespace kelvo
