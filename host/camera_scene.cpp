#include "host/camera_scene.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace velkor::synth {
namespace {

struct Rgb {
    int r = 0, g = 0, b = 0;
};

// splitmix64: small, seedable and the same on every platform, unlike the standard distributions.
class SceneRandom {
public:
    explicit SceneRandom(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [low, high).
    double Between(double low, double high) { return low + (high - low) * static_cast<double>(Next() >> 11) / 9007199254740992.0; }
    int Below(int bound) { return static_cast<int>(Next() % static_cast<std::uint64_t>(bound)); }

private:
    std::uint64_t state_;
};

// 5 x 7 block letters, one byte per row, the glyph's left column in bit 4.
struct Glyph {
    char letter;
    std::array<std::uint8_t, 7> rows;
};
constexpr Glyph kGlyphs[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}}, {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'#', {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}},
};

// A glyph cell is 6 x 8 units: the letter and one unit of spacing.
constexpr int kCellWidth = 6;
constexpr int kCellHeight = 8;

const Glyph* GlyphFor(char letter) {
    for (const Glyph& glyph : kGlyphs) {
        if (glyph.letter == letter) return &glyph;
    }
    return nullptr;  // a space, or a letter the font lacks: left blank
}

class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::vector<std::uint8_t>& Pixels() { return pixels_; }

    void Set(int x, int y, Rgb c) {
        std::uint8_t* p = pixels_.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 3;
        p[0] = Clamp(c.r), p[1] = Clamp(c.g), p[2] = Clamp(c.b);
    }

    // Fills the pixels x0 <= x < x1, y0 <= y < y1 that lie in the frame.
    void FillRect(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = std::max(y0, 0); y < std::min(y1, height_); ++y) {
            for (int x = std::max(x0, 0); x < std::min(x1, width_); ++x) Set(x, y, c);
        }
    }

    void FillEllipse(double cx, double cy, double rx, double ry, Rgb c) {
        if (rx <= 0 || ry <= 0) return;
        for (int y = std::max(0, static_cast<int>(cy - ry)); y <= std::min(height_ - 1, static_cast<int>(cy + ry)); ++y) {
            const double dy = (y - cy) / ry;
            if (dy * dy > 1) continue;
            const double half = rx * std::sqrt(1 - dy * dy);
            FillRect(static_cast<int>(cx - half), y, static_cast<int>(cx + half) + 1, y + 1, c);
        }
    }

    // Draws text in block letters whose units are scale pixels, from the top left corner x, y.
    void DrawText(const std::string& text, int x, int y, int scale, Rgb c) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const Glyph* glyph = GlyphFor(text[i]);
            if (glyph == nullptr) continue;
            const int left = x + static_cast<int>(i) * kCellWidth * scale;
            for (int row = 0; row < 7; ++row) {
                for (int column = 0; column < 5; ++column) {
                    if ((glyph->rows[static_cast<std::size_t>(row)] >> (4 - column) & 1) == 0) continue;
                    FillRect(left + column * scale, y + row * scale, left + (column + 1) * scale, y + (row + 1) * scale, c);
                }
            }
        }
    }

private:
    static std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

    int width_;
    int height_;
    std::vector<std::uint8_t> pixels_;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {static_cast<int>(a.r + (b.r - a.r) * t), static_cast<int>(a.g + (b.g - a.g) * t), static_cast<int>(a.b + (b.b - a.b) * t)};
}

Rgb Shade(Rgb c, int amount) { return {c.r + amount, c.g + amount, c.b + amount}; }

Rgb RandomColour(SceneRandom& random, int low, int high) {
    return {low + random.Below(high - low), low + random.Below(high - low), low + random.Below(high - low)};
}

// A ridge line: for each column, the row where the land begins.
std::vector<int> Ridge(SceneRandom& random, int width, int height, double level, double roughness) {
    const double phases[] = {random.Between(0, 6.3), random.Between(0, 6.3), random.Between(0, 6.3)};
    const double waves[] = {random.Between(2, 5), random.Between(7, 13), random.Between(25, 40)};
    std::vector<int> rows(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double fx = static_cast<double>(x) / width;
        const double lift = 0.06 * std::sin(fx * waves[0] + phases[0]) + 0.025 * std::sin(fx * waves[1] + phases[1]) +
                            roughness * std::sin(fx * waves[2] + phases[2]);
        rows[static_cast<std::size_t>(x)] = static_cast<int>((level - lift) * height);
    }
    return rows;
}

void PaintSkyAndLand(Canvas& canvas, SceneRandom& random) {
    const int w = canvas.Width(), h = canvas.Height();
    const bool dusk = random.Below(4) == 0;
    const Rgb zenith = dusk ? Rgb{60, 50, 120} : Rgb{40 + random.Below(30), 90 + random.Below(40), 200 + random.Below(40)};
    const Rgb horizon = dusk ? Rgb{250, 150, 80} : Rgb{180 + random.Below(40), 210, 235};
    for (int y = 0; y < h; ++y) canvas.FillRect(0, y, w, y + 1, Mix(zenith, horizon, static_cast<double>(y) / h));
    const double sunX = random.Between(0.1, 0.9) * w, sunY = random.Between(0.08, 0.3) * h;
    canvas.FillEllipse(sunX, sunY, 0.07 * h, 0.07 * h, Mix(horizon, {255, 250, 220}, 0.6));
    canvas.FillEllipse(sunX, sunY, 0.045 * h, 0.045 * h, {255, 245, 200});
    for (int cloud = random.Below(4); cloud > 0; --cloud) {
        const double cx = random.Between(0, 1) * w, cy = random.Between(0.05, 0.35) * h, size = random.Between(0.04, 0.1) * h;
        for (int puff = 0; puff < 4; ++puff) {
            canvas.FillEllipse(cx + (puff - 1.5) * size * 0.9, cy - (puff % 2) * size * 0.4, size, size * 0.6, Mix(horizon, {250, 250, 250}, 0.8));
        }
    }
    const std::vector<int> far = Ridge(random, w, h, 0.55, 0.008);
    const std::vector<int> near = Ridge(random, w, h, 0.72, 0.015);
    const Rgb mountain = Mix(horizon, {70, 80, 110}, 0.6);
    const Rgb grass = {60 + random.Below(60), 110 + random.Below(50), 40 + random.Below(30)};
    const double stripe = random.Between(0.02, 0.06);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (y >= near[static_cast<std::size_t>(x)]) {
                const double depth = static_cast<double>(y - near[static_cast<std::size_t>(x)]) / h;
                const int furrow = static_cast<int>(18 * std::sin((x * 0.3 + y * 2.0) * stripe * 40 / w * 100));
                canvas.Set(x, y, Shade(Mix(grass, {90, 70, 40}, std::min(1.0, depth * 2.5)), furrow));
            } else if (y >= far[static_cast<std::size_t>(x)]) {
                canvas.Set(x, y, Mix(mountain, horizon, static_cast<double>(y - far[static_cast<std::size_t>(x)]) / (0.25 * h)));
            }
        }
    }
}

void PaintBuildings(Canvas& canvas, SceneRandom& random) {
    const int w = canvas.Width(), h = canvas.Height();
    const int ground = static_cast<int>(0.86 * h);
    const int count = 3 + random.Below(4);
    int tallest = 0, signX = 0, signTop = 0, signWidth = 0;
    for (int i = 0; i < count; ++i) {
        const int bw = static_cast<int>(random.Between(0.05, 0.14) * w);
        const int bh = static_cast<int>(random.Between(0.12, 0.4) * h);
        const int x0 = static_cast<int>(random.Between(0, 0.9) * w);
        canvas.FillRect(x0, ground - bh, x0 + bw, ground, RandomColour(random, 70, 200));
        // Windows draw from their own stream: how many fit depends on the size, and the
        // rest of the scene must not, so a thumbnail shows its photograph.
        SceneRandom lights(random.Next());
        const int pane = std::max(2, bw / 10);
        for (int y = ground - bh + pane; y + 2 * pane < ground; y += 3 * pane) {
            for (int x = x0 + pane; x + pane < x0 + bw; x += 2 * pane) {
                canvas.FillRect(x, y, x + pane, y + 2 * pane, lights.Below(3) == 0 ? Rgb{250, 220, 120} : Rgb{40, 50, 70});
            }
        }
        if (bh > tallest) tallest = bh, signX = x0, signTop = ground - bh, signWidth = bw;
    }
    std::string word;
    for (int letters = 4 + random.Below(4); letters > 0; --letters) word += static_cast<char>('A' + random.Below(26));
    const int scale = std::max(1, signWidth / (kCellWidth * static_cast<int>(word.size()) + 2));
    canvas.FillRect(signX, signTop - scale * (kCellHeight + 2), signX + signWidth, signTop, {230, 230, 225});
    canvas.DrawText(word, signX + scale, signTop - scale * (kCellHeight + 1), scale, {180, 30, 30});
    canvas.FillRect(0, ground, w, ground + std::max(1, h / 60), {90, 90, 95});
}

// Adds per-pixel noise of a shared luma part and a weaker chroma part, as a sensor does.
void AddGrain(std::vector<std::uint8_t>& pixels, int width, int grain, std::uint32_t seed) {
    if (grain <= 0) return;
    const std::size_t count = pixels.size() / 3;
    for (std::size_t i = 0; i < count; ++i) {
        std::uint32_t hash = static_cast<std::uint32_t>(i % static_cast<std::size_t>(width)) * 0x9E3779B1u ^
                             static_cast<std::uint32_t>(i / static_cast<std::size_t>(width)) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
        hash ^= hash >> 15, hash *= 0x2C1B3C6Du, hash ^= hash >> 12, hash *= 0x297A2D39u, hash ^= hash >> 15;
        const int luma = (static_cast<int>(hash & 0xFF) + static_cast<int>(hash >> 8 & 0xFF) - 255) * grain / 128;
        for (int c = 0; c < 3; ++c) {
            const int chroma = (static_cast<int>(hash >> (16 + 5 * c) & 0x1F) - 16) * grain / 48;
            std::uint8_t& p = pixels[i * 3 + static_cast<std::size_t>(c)];
            p = static_cast<std::uint8_t>(std::clamp(p + luma + chroma, 0, 255));
        }
    }
}

}  // namespace

std::vector<std::uint8_t> RenderScene(int width, int height, const SceneOptions& scene) {
    if (width < 16 || height < 16) return {};
    Canvas canvas(width, height);
    SceneRandom random(scene.seed);
    PaintSkyAndLand(canvas, random);
    PaintBuildings(canvas, random);
    const int scale = std::max(1, height / 250);
    const int textWidth = static_cast<int>(scene.imprint.size()) * kCellWidth * scale;
    canvas.DrawText(scene.imprint, width - textWidth - 2 * scale, height - (kCellHeight + 2) * scale, scale, {255, 140, 20});
    AddGrain(canvas.Pixels(), width, scene.grain, scene.seed);
    return std::move(canvas.Pixels());
}

}  // namespace velkor::synth
