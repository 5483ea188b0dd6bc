#include <gtest/gtest.h>

#include <epoxy/gl.h>

#include <memory>

#include "gpu/framebuffer_cache.h"
#include "support/gl_test_env.h"

namespace kelvo {
namespace video {
namespace {

class FramebufferCacheTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        cache = FramebufferCache::instance();
        cache->purge();
    }
    void TearDown() override {
        if (cache) {
            cache->purge();
            cache->setIdleByteLimit(FramebufferCache::kDefaultIdleByteLimit);
        }
        GLTest::TearDown();
    }
    FramebufferCache* cache = nullptr;
};

TEST_F(FramebufferCacheTest, GivenBackFramebuffersComeBackLastInFirstOut) {
    auto a = cache->acquire(8, 6);
    auto b = cache->acquire(8, 6);
    ASSERT_NE(a, b);
    EXPECT_EQ(1, a->useCount);
    EXPECT_EQ(8, a->width);
    EXPECT_EQ(6, a->height);
    EXPECT_EQ(-1, cache->countForSize("8x6"));

    const GLuint aTexture = a->colorTextureId;
    const GLuint bTexture = b->colorTextureId;
    a->dropUse();
    EXPECT_EQ(1, cache->countForSize("8x6"));
    b->dropUse();
    EXPECT_EQ(2, cache->countForSize("8x6"));
    EXPECT_EQ(2u, cache->storedCount());
    EXPECT_EQ(0, a->useCount);

    auto first = cache->acquire(8, 6);
    EXPECT_EQ(b, first);
    EXPECT_EQ(1, cache->countForSize("8x6"));
    auto second = cache->acquire(8, 6);
    EXPECT_EQ(a, second);
    // No idle one left: the size keeps no count behind.
    EXPECT_EQ(-1, cache->countForSize("8x6"));
    EXPECT_EQ(0u, cache->storedCount());
    // Taken from the pool, not initialised again.
    EXPECT_EQ(bTexture, first->colorTextureId);
    EXPECT_EQ(aTexture, second->colorTextureId);
    EXPECT_EQ(1, first->useCount);

    // The pool is empty again for this size: a third acquire creates one.
    auto third = cache->acquire(8, 6);
    EXPECT_NE(a, third);
    EXPECT_NE(b, third);
    EXPECT_EQ(-1, cache->countForSize("8x6"));
    for (auto* fbo : {&first, &second, &third}) {
        (*fbo)->dropUse();
    }
}

TEST_F(FramebufferCacheTest, OnlyTheLastUserGivesAFramebufferBack) {
    auto fbo = cache->acquire(4, 4);
    fbo->addUse();
    fbo->dropUse();
    EXPECT_EQ(0u, cache->storedCount());
    fbo->dropUse();
    EXPECT_EQ(1u, cache->storedCount());
    EXPECT_EQ(1, cache->countForSize("4x4"));
}

TEST_F(FramebufferCacheTest, SizesAreKeptApart) {
    auto small = cache->acquire(4, 4);
    small->dropUse();
    auto large = cache->acquire(5, 7);
    EXPECT_NE(small, large);
    EXPECT_EQ(5, large->width);
    EXPECT_EQ(7, large->height);
    EXPECT_EQ(-1, cache->countForSize("5x7"));
    EXPECT_EQ(1, cache->countForSize("4x4"));
    large->dropUse();
    EXPECT_EQ(1, cache->countForSize("5x7"));
    EXPECT_EQ(2u, cache->storedCount());
}

TEST_F(FramebufferCacheTest, PurgeUninitialisesOnlyIdleFramebuffers) {
    auto inUse = cache->acquire(6, 2);
    auto idle = cache->acquire(6, 2);
    const GLuint idleFramebuffer = idle->framebufferId;
    idle->dropUse();

    cache->purge();
    EXPECT_EQ(0u, idle->framebufferId);
    EXPECT_EQ(0u, idle->colorTextureId);
    EXPECT_FALSE(glIsFramebuffer(idleFramebuffer));
    EXPECT_EQ(0u, cache->storedCount());
    EXPECT_EQ(-1, cache->countForSize("6x2"));

    EXPECT_NE(0u, inUse->framebufferId);
    EXPECT_TRUE(glIsFramebuffer(inUse->framebufferId));
    clearTo(*inUse, 0.f, 1.f, 0.f, 1.f);
    EXPECT_EQ(255, readBack(*inUse)[1]);
    inUse->UnInitFBO();
}

TEST_F(FramebufferCacheTest, AcquireEvictsLeastRecentlyUsedSizesOverTheIdleLimit) {
    constexpr size_t k8 = 8 * 8 * 4, k16 = 16 * 16 * 4, k32 = 32 * 32 * 4;
    cache->setIdleByteLimit(k32 + k8);
    auto a = cache->acquire(16, 16);
    auto b = cache->acquire(16, 16);
    auto c = cache->acquire(8, 8);
    a->dropUse();
    b->dropUse();
    c->dropUse();
    // Taking and giving back one 16x16 makes that size more recent than 8x8.
    cache->acquire(16, 16)->dropUse();
    auto d = cache->acquire(32, 32);
    const GLuint cFramebuffer = c->framebufferId;
    EXPECT_EQ(2 * k16 + k8, cache->idleBytes());

    // Over the limit after this, but giveBack deletes nothing.
    d->dropUse();
    EXPECT_EQ(2 * k16 + k8 + k32, cache->idleBytes());
    EXPECT_NE(0u, c->framebufferId);

    auto e = cache->acquire(4, 4);
    EXPECT_EQ(k32, cache->idleBytes());
    EXPECT_EQ(-1, cache->countForSize("8x8"));
    EXPECT_EQ(-1, cache->countForSize("16x16"));
    EXPECT_EQ(1, cache->countForSize("32x32"));
    for (auto* evicted : {&a, &b, &c}) EXPECT_EQ(0u, (*evicted)->framebufferId);
    EXPECT_FALSE(glIsFramebuffer(cFramebuffer));
    EXPECT_TRUE(glIsFramebuffer(d->framebufferId));
    EXPECT_EQ(d, cache->acquire(32, 32));
    e->dropUse();
    d->dropUse();
}

}  // namespace
}  // namespace video
}  // namespace kelvo
