#pragma once
// Camera-like scenes for the benchmark cards: a sky gradient, sun and clouds, two
// ridges, buildings with lit windows and a lettered sign, a date imprint and sensor
// grain. Everything is placed in fractions of the frame, so one seed gives the same
// scene at every size (a thumbnail shows its photograph).
#include <cstdint>
#include <string>
#include <vector>

namespace velkor::synth {

struct SceneOptions {
    std::uint32_t seed = 1;
    int grain = 6;         // amplitude of the sensor noise in levels; it drives the compressed size
    std::string imprint{}; // drawn in block letters in the lower right corner, as cameras stamp the date
};

// Renders the scene as width x height RGB pixels, 3 bytes each, row by row;
// empty when a side is below 16 pixels.
std::vector<std::uint8_t> RenderScene(int width, int height, const SceneOptions& scene);

}  // namespace velkor::synth
