// The demo's particle system: an emitter that gives birth to particles and
// lets them die of age, gravity, drag and a bouncing floor.
//
// Deterministic: the same particle limit gives the same frames on every run,
// every thread count and every platform, because all randomness comes from
// hashing particle ids and the simulation runs in one thread, in order.
#pragma once

#include <cstdint>
#include <vector>

#include "host/sdk/Math.h"

namespace VelpoTools {

// The particles alive at one frame, attribute by attribute, in the form the
// nodes' ports take them.
struct CSceneParticles {
    std::vector<int32_t> id;
    std::vector<XSI::MATH::CVector3f> position;
    std::vector<XSI::MATH::CVector3f> velocity;
    std::vector<XSI::MATH::CVector3f> colour;
    std::vector<float> age;  // seconds
    std::vector<float> mass;
    std::vector<int32_t> state;  // SceneFlying, SceneBounced or SceneResting

    size_t Count() const { return id.size(); }
};

inline constexpr int32_t SceneFlying = 0;
inline constexpr int32_t SceneBounced = 1;
inline constexpr int32_t SceneResting = 2;

// Attributes that hold one value for the whole scene.
inline constexpr float SceneDrag = 0.15f;
inline constexpr int32_t SceneEmitter = 7;
inline constexpr XSI::MATH::CVector3f SceneGravity{0.0f, -9.81f, 0.0f};

class CScene {
public:
    explicit CScene(uint32_t maxParticles);

    // Moves the scene on to its next frame: deaths, births, then motion.
    void Advance();

    const CSceneParticles& Particles() const { return particles_; }
    uint32_t MaxParticles() const { return maxParticles_; }

private:
    void Die();
    void Birth();
    void Move();

    uint32_t maxParticles_;
    int32_t nextId_ = 1;
    CSceneParticles particles_;
    std::vector<float> lifetime_;  // seconds; not exported
};

}  // namespace VelpoTools
