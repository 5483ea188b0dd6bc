// GoogleTest fixture for tests that need the real GL driver.
#pragma once

#include "platform/gl_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace kelvo {
namespace video {

class FBOBase;

// keepGLDriverLoaded() comes from the library; the context holder calls it
// too, tests call it where they create contexts by other means.

// Makes the process-wide private context current for each test and releases
// it afterwards; skips the test (GTEST_SKIP) only when no context can be
// created at all. The context lives on between tests; a test that destroys it
// leaves the next SetUp to create a fresh one.
class GLTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Whole colour buffer of a framebuffer, bottom row first, RGBA.
    static std::vector<uint8_t> readBack(FBOBase& framebuffer);
    // Clears a framebuffer to one colour (0..1 per channel).
    static void clearTo(FBOBase& framebuffer, float r, float g, float b, float a);
};

}  // namespace video
}  // namespace kelvo
