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

const std::string kTool = KELVO_ENHANCE_PATH;

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

TEST_F(EnhanceCli, BadUsageExitsWithStatus2) {
    for (const char* args :
         {"--frobnicate", "--demo --effects sparkle", "--demo --param nokey", "--demo --frames 0",
          "--demo --range studio", "--demo extra-argument", "--input", "--demo -e 105",
          "--demo -i x.y4m", "--demo --backend metal", "--demo --threads -1",
          "--demo --threads two"}) {
        const CommandResult r = run(kTool + " " + args);
        EXPECT_EQ(r.status, 2) << args << ": " << r.output;
    }
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
// clip (mean luma about 105) is a dark scene to automatic low light, which
// lifts it by some 35 levels once asked for; the default effects must not.
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
    EXPECT_GT(lastFrameMean("-e lowlight"), input + 20.0);
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

TEST_F(EnhanceCli, BadInputGivesOneLineErrors) {
    const std::string frame(16 * 16 * 3 / 2, '\x80');
    writeFile("truncated.y4m", "YUV4MPEG2 W16 H16 F25:1 C420jpeg\nFRAME\n" + frame.substr(10));
    writeFile("c444.y4m", "YUV4MPEG2 W16 H16 F25:1 C444\nFRAME\n" + std::string(16 * 16 * 3, 'a'));
    writeFile("notvideo.y4m", "hello world\n");
    writeFile("params.json", "{\"beauty_effect_option\": {\"enable\": 1,}");
    struct Row {
        std::string args;
        std::string message;
    } rows[] = {
        {"-i " + dir + "/truncated.y4m", "truncated Y4M frame"},
        {"-i " + dir + "/c444.y4m", "unsupported colourspace"},
        {"-i " + dir + "/notvideo.y4m", "not a Y4M stream"},
        {"-i " + dir + "/missing.y4m", "cannot open"},
        {"--demo -n 1 --params " + dir + "/params.json", "bad JSON"},
    };
    for (const Row& row : rows) {
        const CommandResult r = run(kTool + " --no-progress " + row.args);
        EXPECT_EQ(r.status, row.message == "bad JSON" ? 2 : 1) << row.args << ": " << r.output;
        EXPECT_NE(r.output.find(row.message), std::string::npos) << row.args << ": " << r.output;
        EXPECT_EQ(r.output.find("Sanitizer"), std::string::npos) << r.output;
    }
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
