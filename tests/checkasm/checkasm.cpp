#include "checkasm/checkasm.h"

#include <cstdio>
#include <map>
#include <set>

namespace kelvo {
namespace video {
namespace checkasm {

namespace {

std::map<std::string, std::set<std::string>>& covered() {
    static std::map<std::string, std::set<std::string>> rows;
    return rows;
}

// Lists the covered rows once every test has run.
class CoverageList : public ::testing::Environment {
public:
    void TearDown() override {
        std::printf("checkasm: cpu flags 0x%x (detected 0x%x)\n", cpuFlags(), detectedCpuFlags());
        if (covered().empty()) std::printf("checkasm: no instruction-set rows in this run\n");
        for (const auto& [row, levels] : covered()) {
            std::string list;
            for (const std::string& level : levels) list += " " + level;
            std::printf("checkasm: %-40s%s\n", row.c_str(), list.c_str());
        }
    }
};

const auto* const kList = ::testing::AddGlobalTestEnvironment(new CoverageList);

}  // namespace

std::vector<CpuLevel> fastLevels() {
    std::vector<CpuLevel> levels;
    for (const CpuLevel& level : kCpuLevels) {
        if (level.flags != 0 && (cpuFlags() & level.flags) == level.flags) levels.push_back(level);
    }
    return levels;
}

void cover(const char* family, const char* row, const char* level) {
    covered()[std::string(family) + "." + row].insert(level);
}

// The mask's spellings, and the cap never exceeding what it names.
TEST(CpuMask, NamesLevelsNumbersAndFallsBackToPortable) {
    constexpr CpuFlags kAll = kCpuFlagSSE2 | kCpuFlagAVX2 | kCpuFlagNEON | kCpuFlagSIMD128;
    const struct {
        const char* text;
        CpuFlags cap;
    } rows[] = {
        {nullptr, kAll},
        {"", kAll},
        {"c", 0},
        {"C", 0},
        {"0", 0},
        {"none", 0},
        {"sse2", kCpuFlagSSE2},
        {"AVX2", kCpuFlagSSE2 | kCpuFlagAVX2},
        {"neon", kCpuFlagNEON},
        {"SIMD128", kCpuFlagSIMD128},
        {"0x1", kCpuFlagSSE2},
        {"2", kCpuFlagAVX2},
        {"0xffff", kAll},
        {"avx512", 0},
        {"-1", 0},
        {"1x", 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(cpuMaskFromText(row.text), row.cap) << (row.text ? row.text : "(unset)");
    }
    EXPECT_EQ(cpuFlags() & ~detectedCpuFlags(), 0u);
}

}  // namespace checkasm
}  // namespace video
}  // namespace kelvo
