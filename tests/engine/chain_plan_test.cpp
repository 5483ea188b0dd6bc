// What a selection of public effects becomes: the effect list, the internal
// chain for buffer and texture input, and the detection kinds.
#include <gtest/gtest.h>

#include <vector>

#include "engine/chain_plan.h"

namespace kelvo {
namespace video {
namespace {

TEST(ChainPlan, SelectionRules) {
    struct Row {
        std::vector<int> given;
        std::vector<int> effects;
        bool addedDenoiser;
    } rows[] = {
        {{104}, {103, 104}, true},  // low light runs behind a denoiser
        {{104, 101}, {103, 104, 101}, true},
        {{104, 103}, {104, 103}, false},       // both given: kept as is
        {{103}, {103, 101}, false},            // a lone denoiser drives beauty
        {{103, 101}, {103, 101}, false},       // beauty already there
        {{103, 103}, {103, 103, 101}, false},  // duplicates stay
        {{102}, {102}, false},                 // no rule applies
        {{103, 104, 102, 101}, {103, 104, 102, 101}, false},
    };
    for (const Row& row : rows) {
        const EffectSelection selection = selectEffects(row.given);
        EXPECT_EQ(selection.effects, row.effects) << ::testing::PrintToString(row.given);
        EXPECT_EQ(selection.addedDenoiser, row.addedDenoiser)
            << ::testing::PrintToString(row.given);
    }
}

TEST(ChainPlan, ConvertorsWhereTheChainChangesSideAndAtItsEnds) {
    struct Row {
        std::vector<int> effects;
        bool textureInput;
        std::vector<int> types;
    } rows[] = {
        {{103, 104, 102, 101}, false, {10, 103, 203, 202, 201, 901}},
        {{103, 104}, false, {10, 103, 203, 901}},
        {{103, 101}, false, {10, 103, 201, 901}},
        {{103, 101}, true, {901, 10, 103, 201}},
        {{101, 103}, false, {103, 201, 901, 10}},
        {{101, 103}, true, {201, 901, 10, 103}},
        {{103}, false, {10}},
        {{103}, true, {901, 10, 103}},
        {{101}, false, {103, 201, 901}},
        {{101}, true, {201}},
        {{101, 103, 102}, false, {103, 201, 901, 10, 103, 202, 901}},
        // An unknown identifier counts as a GPU effect but adds no stage.
        {{103, 105}, false, {10, 103, 901}},
        {{105}, true, {}},
    };
    for (const Row& row : rows) {
        std::vector<int> types{1, 2, 3};  // replaced, not appended to
        EXPECT_TRUE(planChain(row.effects, row.textureInput, &types));
        EXPECT_EQ(types, row.types)
            << ::testing::PrintToString(row.effects) << (row.textureInput ? " texture" : " buffer");
    }
    std::vector<int> types{10};
    EXPECT_FALSE(planChain({}, false, &types));
    EXPECT_TRUE(types.empty());
    EXPECT_EQ(chainText({10, 103, 203, 901}), "inner effects: 10 103 203 901 ");
    EXPECT_EQ(chainText({}), "inner effects: ");
}

TEST(ChainPlan, DetectionKindsAreAddedOnceAndNeverDropped) {
    std::vector<int> kinds;
    EXPECT_EQ(planDetections({102, 101}, &kinds), "inner detections: ");
    EXPECT_TRUE(kinds.empty());
    // The denoiser's automatic mode needs the statistics as low light does.
    EXPECT_EQ(planDetections({103, 104, 101}, &kinds), "inner detections: 1 ");
    EXPECT_EQ(kinds, std::vector<int>{1});
    EXPECT_EQ(planDetections({104}, &kinds), "inner detections: ");
    EXPECT_EQ(planDetections({101}, &kinds), "inner detections: ");
    EXPECT_EQ(kinds, std::vector<int>{1});
    EXPECT_EQ(planDetections({}, &kinds), "");
    EXPECT_EQ(kinds, std::vector<int>{1});
}

}  // namespace
}  // namespace video
}  // namespace kelvo
