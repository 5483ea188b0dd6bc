// The effects' descriptors: every member accepted at its bounds and rejected
// just outside with its descriptor's text, the descriptors' own consistency,
// and the settings table in docs/ generated from them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "engine/effect_factories.h"
#include "engine/parameter_store.h"

namespace kelvo {
namespace video {
namespace {

std::string text(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.9g", v);
    return buffer;
}

// A document with one member.
ParsedParameterDocument parse(const EffectDescriptor& effect, const SettingDescriptor& setting,
                              const std::string& value) {
    return parseParameterDocument(effect.optionKey,
                                  std::string("{\"") + setting.member + "\":" + value + "}");
}

// Values just inside and just outside each bound, as JSON texts.
struct Probe {
    std::string inside, outside;
};
std::vector<Probe> probes(const SettingDescriptor& s) {
    std::vector<Probe> out;
    if (s.type == SettingType::kNumber) {
        // Open bounds: the bound itself is out.
        const double step = s.high - s.low < 10 ? 0.0001 : 0.01;
        out.push_back({text(s.low + step), text(s.low)});
        if (std::isfinite(s.high)) out.push_back({text(s.high - step), text(s.high)});
        out.push_back({text(s.libraryDefault), "\"1\""});
    } else {
        auto integer = [](double v) { return std::to_string(static_cast<long long>(v)); };
        out.push_back({integer(s.low), integer(s.low - 1)});
        out.push_back({integer(s.high), integer(s.high + 1)});   // past INT_MAX: not an int
        out.push_back({integer(s.low), integer(s.low) + ".0"});  // 1.0 is not an integer
        out.push_back({integer(s.low), "true"});
    }
    return out;
}

TEST(EffectDescriptors, EveryMemberIsAcceptedInsideItsBoundsAndRejectedOutsideWithItsText) {
    for (const EffectDescriptor* effect : effectDescriptors()) {
        for (size_t i = 0; i < effect->settingCount; ++i) {
            const SettingDescriptor& s = (*effect)[i];
            const std::string where = std::string(effect->optionKey) + "." + s.member;
            for (const Probe& p : probes(s)) {
                const ParsedParameterDocument in = parse(*effect, s, p.inside);
                ASSERT_EQ(in.accepted.size(), 1u) << where << " = " << p.inside;
                EXPECT_EQ(in.accepted[0].index, i) << where;
                EXPECT_TRUE(in.rejections.empty()) << where << " = " << p.inside;

                const ParsedParameterDocument out = parse(*effect, s, p.outside);
                EXPECT_TRUE(out.accepted.empty()) << where << " = " << p.outside;
                ASSERT_EQ(out.rejections.size(), 1u) << where << " = " << p.outside;
                EXPECT_EQ(rejectionText(out.rejections[0]), "setParameter rejected: " + where +
                                                                " = " + p.outside +
                                                                " (accepted: " + s.accepted + ")");
            }
        }
    }
}

TEST(EffectDescriptors, KeysMembersDefaultsAndRoutesAreConsistent) {
    std::set<std::string> keys;
    std::set<int> ids;
    for (const EffectDescriptor* effect : effectDescriptors()) {
        EXPECT_TRUE(keys.insert(effect->optionKey).second) << effect->optionKey;
        if (effect->publicId >= 0) {
            EXPECT_TRUE(ids.insert(effect->publicId).second) << effect->optionKey;
            EXPECT_EQ(internalEffectType(effect->publicId), effect->internalType);
            EXPECT_EQ(isCpuEffect(effect->publicId), effect->onPlanes);
            EXPECT_NE(effect->cliName, nullptr) << effect->optionKey;
        }
        std::set<std::string> members;
        for (const SettingDescriptor& s : *effect) {
            const std::string where = std::string(effect->optionKey) + "." + s.member;
            EXPECT_TRUE(members.insert(s.member).second) << where;
            EXPECT_NE(s.apply, nullptr) << where;
            // The engine keeps its members as integers.
            if (s.engineMessage) {
                EXPECT_NE(s.type, SettingType::kNumber) << where;
            }
            for (double v : {s.libraryDefault, s.integrationDefault}) {
                const ParsedParameterDocument d = parse(*effect, s, text(v));
                EXPECT_EQ(d.accepted.size(), 1u) << where << " default " << v;
            }
            EXPECT_LE(s.integrationDefault, s.offeredHigh) << where;
            EXPECT_LE(s.offeredHigh, s.high) << where;
            EXPECT_EQ(s.elementName == nullptr, s.obsName == nullptr) << where;
            // The rejection text says the range the row checks.
            if (s.type != SettingType::kNumber) {
                const std::string low = std::to_string(static_cast<int>(s.low));
                const std::string high = std::to_string(static_cast<int>(s.high));
                EXPECT_EQ(s.accepted, s.high == INT_MAX     ? "integer >= " + low
                                      : s.high == s.low + 1 ? "integer " + low + " or " + high
                                                            : "integer " + low + ".." + high)
                    << where;
            } else if (s.low == kUnitLow && s.high == kUnitHigh) {
                EXPECT_STREQ(s.accepted, "number in [0, 1]") << where;
            }
        }
    }
}

std::string shortText(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

// The table in docs/settings.md, as the descriptors give it.
std::string settingsTable() {
    std::ostringstream out;
    out << "# Settings\n\n"
           "Generated from the effects' descriptors by the engine tests (run "
           "`KELVO_RECORD_SETTINGS=1 kelvo_test_engine` to rewrite it). What each member does "
           "in detail: [parameters.md](parameters.md). The integrations' default is where "
           "`kelvo-enhance`, the GStreamer element and the OBS filter start once they read "
           "these descriptors; until then their own defaults are those of the README's "
           "settings table.\n";
    for (const EffectDescriptor* effect : effectDescriptors()) {
        out << "\n## \"" << effect->optionKey << "\" — " << effect->title;
        if (effect->publicId >= 0)
            out << " (effect " << effect->publicId << ", `" << effect->cliName << "`)";
        out << "\n\n| member | accepted | default | integrations' default | element and OBS "
               "setting | what it does |\n|---|---|---|---|---|---|\n";
        for (const SettingDescriptor& s : *effect) {
            std::string integration = shortText(s.integrationDefault);
            if (s.integrationDefault == s.libraryDefault)
                integration = "the same";
            else if (s.type == SettingType::kSwitch && s.integrationDefault == 1)
                integration = "1 when selected";
            std::string names = "`params` only";
            if (s.elementName) {
                names = "`" + std::string(s.elementName) + "`";
                if (s.obsName != std::string(s.elementName))
                    names += ", OBS `" + std::string(s.obsName) + "`";
                if (s.type == SettingType::kInteger && s.offeredHigh < s.high)
                    names += " (0–" + shortText(s.offeredHigh) + ")";
            }
            if (s.type == SettingType::kSwitch && effect->cliName)
                names = (s.elementName ? names + ", with `" : std::string("`")) +
                        std::string(effect->cliName) + "` in `effects`";
            out << "| `" << s.member << "` | " << s.accepted << " | " << shortText(s.libraryDefault)
                << " | " << integration << " | " << names << " | " << s.summary << " |\n";
        }
    }
    return out.str();
}

TEST(EffectDescriptors, TheSettingsTableInTheDocsIsTheGeneratedOne) {
    const std::string path = std::string(KELVO_SOURCE_DIR) + "/docs/settings.md";
    const std::string generated = settingsTable();
    if (std::getenv("KELVO_RECORD_SETTINGS")) {
        std::ofstream(path) << generated;
        GTEST_SKIP() << "wrote " << path;
    }
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::stringstream committed;
    committed << in.rdbuf();
    EXPECT_EQ(committed.str(), generated)
        << path << " differs from the descriptors; rerun with KELVO_RECORD_SETTINGS=1";
}

}  // namespace
}  // namespace video
}  // namespace kelvo
