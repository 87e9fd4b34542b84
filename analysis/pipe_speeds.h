#pragma once

#include <array>

// The speed of the leak noise's wave in common water-filled pipes, in m/s:
// typical values from the leak-noise correlation literature (Muggleton,
// Brennan and co-workers, who model the fluid-borne wave slowed by the
// pipe's wall) and correlators' manuals. A pipe's own diameter and wall
// move it; a speed measured on the pipe is always the better one.
namespace PipeSpeeds {

enum class Material { Steel, CastIron, Concrete, Pvc, Polyethylene };

struct Pipe {
    Material material;
    double speed;
};

inline constexpr std::array<Pipe, 5> kWaterFilled{{
    {Material::Steel, 1300.0},
    {Material::CastIron, 1200.0},
    {Material::Concrete, 1100.0},
    {Material::Pvc, 480.0},
    {Material::Polyethylene, 350.0},
}};

} // namespace PipeSpeeds
