// The demo's scene: the same frames on every run, a particle count that
// fills up to its limit and stays there, and particles that obey the floor.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/session/Scene.h"

namespace VelpoTools {
namespace {

using XSI::MATH::CVector3f;

bool SameBits(const CVector3f& a, const CVector3f& b) {
    return std::bit_cast<uint32_t>(a.GetX()) == std::bit_cast<uint32_t>(b.GetX()) &&
           std::bit_cast<uint32_t>(a.GetY()) == std::bit_cast<uint32_t>(b.GetY()) &&
           std::bit_cast<uint32_t>(a.GetZ()) == std::bit_cast<uint32_t>(b.GetZ());
}

// What holds of every frame: attributes of one length, ids rising (births
// are appended, deaths keep the order), known states, nothing below the
// floor, and particles at rest lying still on it.
void ExpectSound(const CSceneParticles& p, uint32_t maxParticles) {
    const size_t n = p.Count();
    ASSERT_LE(n, maxParticles);
    ASSERT_EQ(p.position.size(), n);
    ASSERT_EQ(p.velocity.size(), n);
    ASSERT_EQ(p.colour.size(), n);
    ASSERT_EQ(p.age.size(), n);
    ASSERT_EQ(p.mass.size(), n);
    ASSERT_EQ(p.state.size(), n);
    for (size_t i = 0; i < n; ++i) {
        SCOPED_TRACE("particle " + std::to_string(p.id[i]));
        if (i > 0) {
            ASSERT_LT(p.id[i - 1], p.id[i]);
        }
        ASSERT_GE(p.id[i], 1);
        ASSERT_GT(p.age[i], 0.0f);
        // A particle dies at the start of the frame after it outlived its
        // lifetime (at most 2.5 s): never older than that and one frame.
        ASSERT_LT(p.age[i], 2.5f + 1.0f / 24.0f + 1e-3f);
        ASSERT_GE(p.mass[i], 0.5f);
        ASSERT_LE(p.mass[i], 1.5f);
        ASSERT_GE(p.position[i].GetY(), 0.0f);
        ASSERT_TRUE(p.state[i] == SceneFlying || p.state[i] == SceneBounced ||
                    p.state[i] == SceneResting);
        if (p.state[i] == SceneResting) {
            ASSERT_EQ(p.position[i].GetY(), 0.0f);
            ASSERT_TRUE(SameBits(p.velocity[i], CVector3f(0.0f, 0.0f, 0.0f)));
        }
    }
}

TEST(DemoScene, FillsInAboutEightFramesAndReplacesTheDead) {
    struct CCase {
        uint32_t maxParticles;
        size_t firstFrame;  // particles after one frame
        size_t full;        // frames until the limit is reached
    } cases[] = {
        {0, 0, 0}, {1, 1, 1}, {7, 1, 7}, {8, 1, 8}, {1000, 125, 8}, {1001, 125, 9},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE("limit " + std::to_string(c.maxParticles));
        CScene scene(c.maxParticles);
        EXPECT_EQ(scene.MaxParticles(), c.maxParticles);
        EXPECT_EQ(scene.Particles().Count(), 0u);
        scene.Advance();
        EXPECT_EQ(scene.Particles().Count(), c.firstFrame);
        size_t frames = 1;
        while (scene.Particles().Count() < c.maxParticles && frames < 100) {
            scene.Advance();
            ++frames;
        }
        EXPECT_EQ(frames, std::max<size_t>(c.full, 1));
        int32_t highestId = 0;
        for (int frame = 0; frame < 150; ++frame) {
            scene.Advance();
            ExpectSound(scene.Particles(), c.maxParticles);
            if (!scene.Particles().id.empty()) {
                highestId = std::max(highestId, scene.Particles().id.back());
            }
        }
        // Lifetimes are at most 2.5 s, 60 frames: by now the first
        // particles died and were replaced by new ids.
        if (c.maxParticles > 0) {
            EXPECT_GT(highestId, static_cast<int32_t>(c.maxParticles));
            EXPECT_GT(scene.Particles().id.front(), 1);
        }
    }
}

TEST(DemoScene, TheSameLimitGivesTheSameFramesBitForBit) {
    CScene a(300);
    CScene b(300);
    CScene other(301);
    bool someBounced = false;
    bool differs = false;
    std::map<int32_t, std::pair<int32_t, float>> seen;  // id: state, mass
    for (int frame = 0; frame < 80; ++frame) {
        a.Advance();
        b.Advance();
        other.Advance();
        const CSceneParticles& p = a.Particles();
        const CSceneParticles& q = b.Particles();
        ASSERT_EQ(p.id, q.id) << "frame " << frame;
        ASSERT_EQ(p.state, q.state);
        for (size_t i = 0; i < p.Count(); ++i) {
            ASSERT_TRUE(SameBits(p.position[i], q.position[i])) << "frame " << frame;
            ASSERT_TRUE(SameBits(p.velocity[i], q.velocity[i]));
            ASSERT_TRUE(SameBits(p.colour[i], q.colour[i]));
            ASSERT_EQ(std::bit_cast<uint32_t>(p.age[i]), std::bit_cast<uint32_t>(q.age[i]));
            ASSERT_EQ(std::bit_cast<uint32_t>(p.mass[i]), std::bit_cast<uint32_t>(q.mass[i]));
            someBounced = someBounced || p.state[i] == SceneBounced;
        }
        differs = differs || other.Particles().Count() != p.Count();
        // A particle's state only moves on (flying, bounced, resting), and
        // its mass never changes: the dead are removed without mixing up
        // the attributes of those that live on.
        for (size_t i = 0; i < p.Count(); ++i) {
            const auto [known, born] = seen.try_emplace(p.id[i], p.state[i], p.mass[i]);
            ASSERT_GE(p.state[i], known->second.first) << "particle " << p.id[i];
            ASSERT_EQ(p.mass[i], known->second.second) << "particle " << p.id[i];
            known->second.first = p.state[i];
        }
    }
    // Over 80 frames particles reach the floor, and the size follows the limit.
    EXPECT_TRUE(someBounced);
    EXPECT_TRUE(differs);
    // A particle is born at height 2 moving up, and falls under gravity.
    CScene one(1);
    one.Advance();
    const CSceneParticles& born = one.Particles();
    ASSERT_EQ(born.Count(), 1u);
    EXPECT_EQ(born.id[0], 1);
    EXPECT_EQ(born.state[0], SceneFlying);
    EXPECT_GT(born.position[0].GetY(), 2.0f);
    EXPECT_GT(born.velocity[0].GetY(), 3.0f);
    const float rising = born.velocity[0].GetY();
    one.Advance();
    EXPECT_LT(one.Particles().velocity[0].GetY(), rising);
}

}  // namespace
}  // namespace VelpoTools
