// main() of the test programs that use GL. Before any test it creates the
// private context once and pins the GL driver libraries it loaded, so that
// LeakSanitizer can still follow what the driver keeps after the tests
// destroy and recreate the context.
#include <gtest/gtest.h>

#include "gpu/gpu_image_context.h"
#include "support/gl_test_env.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!kelvo::video::GPUImageContext::initFailed()) kelvo::video::keepGLDriverLoaded();
    kelvo::video::GPUImageContext::destroyInstance();
    return RUN_ALL_TESTS();
}
