#include "tools/session/Scene.h"

#include <algorithm>
#include <cmath>

namespace VelpoTools {

namespace {

constexpr float FrameSeconds = 1.0f / 24.0f;
constexpr float Restitution = 0.55f;
constexpr float FloorFriction = 0.8f;
// Below this upward speed after a bounce a particle stays on the floor.
constexpr float RestSpeed = 0.25f;

// A value in [0, 1) from an id and a stream number (splitmix64 finaliser),
// the same on every platform.
float Random(int32_t id, uint32_t stream) {
    uint64_t x = (static_cast<uint64_t>(static_cast<uint32_t>(id)) << 8) ^ stream;
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    return static_cast<float>(x >> 40) / static_cast<float>(1ull << 24);
}

}  // namespace

CScene::CScene(uint32_t maxParticles) : maxParticles_(maxParticles) {}

void CScene::Advance() {
    Die();
    Birth();
    Move();
}

void CScene::Die() {
    CSceneParticles& p = particles_;
    size_t kept = 0;
    for (size_t i = 0; i < p.Count(); ++i) {
        if (p.age[i] >= lifetime_[i]) {
            continue;
        }
        p.id[kept] = p.id[i];
        p.position[kept] = p.position[i];
        p.velocity[kept] = p.velocity[i];
        p.colour[kept] = p.colour[i];
        p.age[kept] = p.age[i];
        p.mass[kept] = p.mass[i];
        p.state[kept] = p.state[i];
        lifetime_[kept] = lifetime_[i];
        ++kept;
    }
    p.id.resize(kept);
    p.position.resize(kept);
    p.velocity.resize(kept);
    p.colour.resize(kept);
    p.age.resize(kept);
    p.mass.resize(kept);
    p.state.resize(kept);
    lifetime_.resize(kept);
}

void CScene::Birth() {
    // The emitter fills the scene in about eight frames and then replaces
    // the particles that die.
    const uint32_t rate = std::max<uint32_t>(1, maxParticles_ / 8);
    const uint32_t alive = static_cast<uint32_t>(particles_.Count());
    const uint32_t births = std::min(rate, maxParticles_ - std::min(alive, maxParticles_));
    CSceneParticles& p = particles_;
    for (uint32_t b = 0; b < births; ++b) {
        const int32_t id = nextId_++;
        // The direction comes from a normalised random pair, not from sine
        // and cosine: those differ between C libraries, while +, *, / and
        // sqrt round the same everywhere, so every build of the demo writes
        // the same bytes.
        const float u = 2.0f * Random(id, 0) - 1.0f;
        const float v = 2.0f * Random(id, 7) - 1.0f;
        const float length = std::sqrt(u * u + v * v);
        const float dx = length > 1e-6f ? u / length : 1.0f;
        const float dz = length > 1e-6f ? v / length : 0.0f;
        const float radius = std::sqrt(Random(id, 1));
        const float spread = 1.5f * Random(id, 2);
        const float speed = 4.0f + 4.0f * Random(id, 3);
        p.id.push_back(id);
        p.position.emplace_back(radius * dx, 2.0f, radius * dz);
        p.velocity.emplace_back(spread * dx, speed, spread * dz);
        p.colour.emplace_back(1.0f, 0.5f + 0.5f * Random(id, 4), 0.2f);
        p.age.push_back(0.0f);
        p.mass.push_back(0.5f + Random(id, 5));
        p.state.push_back(SceneFlying);
        lifetime_.push_back(1.0f + 1.5f * Random(id, 6));
    }
}

void CScene::Move() {
    CSceneParticles& p = particles_;
    const float damping = 1.0f - SceneDrag * FrameSeconds;
    for (size_t i = 0; i < p.Count(); ++i) {
        float vx = p.velocity[i].GetX();
        float vy = p.velocity[i].GetY();
        float vz = p.velocity[i].GetZ();
        float x = p.position[i].GetX();
        float y = p.position[i].GetY();
        float z = p.position[i].GetZ();
        if (p.state[i] != SceneResting) {
            vx = (vx + SceneGravity.GetX() * FrameSeconds) * damping;
            vy = (vy + SceneGravity.GetY() * FrameSeconds) * damping;
            vz = (vz + SceneGravity.GetZ() * FrameSeconds) * damping;
            x += vx * FrameSeconds;
            y += vy * FrameSeconds;
            z += vz * FrameSeconds;
            if (y < 0.0f) {
                y = -y * Restitution;
                vy = -vy * Restitution;
                vx *= FloorFriction;
                vz *= FloorFriction;
                p.state[i] = vy < RestSpeed ? SceneResting : SceneBounced;
                if (p.state[i] == SceneResting) {
                    y = 0.0f;
                    vx = vy = vz = 0.0f;
                }
            }
        }
        p.position[i].Set(x, y, z);
        p.velocity[i].Set(vx, vy, vz);
        p.age[i] += FrameSeconds;
        const float life = std::min(1.0f, p.age[i] / lifetime_[i]);
        p.colour[i].Set(1.0f - 0.6f * life, p.colour[i].GetY() * 0.98f, 0.2f + 0.8f * life);
    }
}

}  // namespace VelpoTools
