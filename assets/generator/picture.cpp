// The title picture: a forest tarn at night. Back to front: a dusk sky with stars, thin clouds and
// the moon; a far mountain ridge; two layers of conifer forest on the far shore with mist between
// them; the still water, which mirrors everything above with ripples that break the moon's
// reflection into a glitter path; waterline mist; dark conifers on the near banks left and right;
// reeds in the bottom corners; a shadow of night mist behind the menu's entries; a vignette.
// Relies only on the integer helpers of fixed_math.h.
//
// The menu writes over this picture, so its busy and bright parts keep away from the places where
// texts and buttons sit (top centre, top-left corner, middle block, bottom band): the moon stands
// high on the right above the near grove, so that its glitter path runs on the water beside the
// entries' columns, the bright horizon glow hides behind the trees, and the foreground is dark.
// Behind the entries and captions the picture is toned down under a soft, mottled veil (see
// kMenuCells), so that the menu's dark red stays readable at every screen size.
//
// Colours are 8.8 fixed point (255.0 = 65280) until the final dithered conversion to bytes.
#include "picture.h"

#include <cstddef>

#include "fixed_math.h"

namespace gen {
namespace {

constexpr int W = PICTURE_WIDTH;
constexpr int H = PICTURE_HEIGHT;
constexpr int SHORE = 600;       // the far waterline; the far scene is mirrored around it
constexpr int NEAR_SHORE = 672;  // the waterline of the near banks
constexpr int MOON_X = 1140;
constexpr int MOON_Y = 150;
constexpr int MOON_R = 30;

struct Col {
    int32_t r, g, b;
};

constexpr Col rgb(int r, int g, int b) { return Col{r << 8, g << 8, b << 8}; }

Col mix(Col a, Col b, int32_t t) { return Col{lerp16(a.r, b.r, t), lerp16(a.g, b.g, t), lerp16(a.b, b.b, t)}; }
Col add(Col a, Col b, int32_t t) {
    return Col{a.r + static_cast<int32_t>((static_cast<int64_t>(b.r) * t) >> 16),
               a.g + static_cast<int32_t>((static_cast<int64_t>(b.g) * t) >> 16),
               a.b + static_cast<int32_t>((static_cast<int64_t>(b.b) * t) >> 16)};
}
Col scale(Col a, int32_t t) { return add(Col{0, 0, 0}, a, t); }

// Q16 fraction r^2 / (r^2 + d^2): a soft glow falloff without exponentials.
int32_t glow(int64_t d2, int64_t r) { return static_cast<int32_t>(((r * r) << 16) / (r * r + d2)); }

// A coverage layer (Q16 per pixel) painted with anti-aliased horizontal spans.
struct Layer {
    std::vector<int32_t> alpha = std::vector<int32_t>(static_cast<size_t>(W) * H, 0);
    int32_t at(int x, int y) const {
        if (x < 0 || x >= W || y < 0 || y >= H) return 0;
        return alpha[static_cast<size_t>(y) * W + x];
    }
};

// A span of one sub-row: left and right edge in Q8 pixels; empty when right <= left.
struct Span {
    int32_t left, right;
};

// Rasterises a shape given as one span per sub-row (4 sub-rows per pixel row, sampled at their
// centres; the callback gets the sub-row's y in Q8 pixels). Coverage is the union (max) with what
// the layer holds.
template <typename F>
void stamp(Layer& layer, int y0, int y1, F span_at) {
    static int32_t row[W];
    if (y0 < 0) y0 = 0;
    if (y1 > H) y1 = H;
    for (int y = y0; y < y1; ++y) {
        int lo = W, hi = -1;
        for (int s = 0; s < 4; ++s) {
            Span sp = span_at((y << 8) + 32 + s * 64);
            if (sp.right <= sp.left) continue;
            int xa = clamp32(sp.left >> 8, 0, W - 1), xb = clamp32(sp.right >> 8, 0, W - 1);
            for (int x = xa; x <= xb; ++x) {
                if (x < lo) {
                    for (int k = x; k < (lo > W - 1 ? W : lo); ++k) row[k] = 0;
                    lo = x;
                }
                if (x > hi) {
                    for (int k = (hi < 0 ? x : hi + 1); k <= x; ++k) row[k] = 0;
                    hi = x;
                }
                int32_t a = sp.left > (x << 8) ? sp.left : (x << 8);
                int32_t b = sp.right < ((x + 1) << 8) ? sp.right : ((x + 1) << 8);
                if (b > a) row[x] += (b - a) << 6;  // 256 per full pixel, 4 sub-rows -> 65536
            }
        }
        for (int x = lo; x <= hi; ++x) {
            int32_t& dst = layer.alpha[static_cast<size_t>(y) * W + x];
            int32_t v = row[x] > 65536 ? 65536 : row[x];
            if (v > dst) dst = v;
        }
    }
}

// A conifer: apex at (cx, top), crown height h, widest half-width w at the crown's foot, trunk down
// to the ground line. Branch tiers widen downward, each side jittered per tier and per row.
void stamp_conifer(Layer& layer, int32_t cx_q8, int top, int h, int w, int ground, uint32_t seed) {
    const int tiers = 6 + static_cast<int>(hash32(seed) % 6) + h / 60;
    const int32_t trunk = 64 + (w << 8) / 36;
    stamp(layer, top, ground + 1, [&](int32_t y_q8) -> Span {
        int32_t dy = y_q8 - (top << 8);
        if (dy < 0) return Span{0, 0};
        if (dy >= (h << 8)) return Span{cx_q8 - trunk, cx_q8 + trunk};
        int32_t t = static_cast<int32_t>((static_cast<int64_t>(dy) << 16) / (h << 8));
        // Slightly convex cone.
        int32_t cone = static_cast<int32_t>((static_cast<int64_t>(t) * (81920 - (t >> 2))) >> 16);
        int64_t tt = static_cast<int64_t>(t) * tiers;
        int tier = static_cast<int>(tt >> 16);
        int32_t phase = static_cast<int32_t>(tt & 0xFFFF);
        int32_t profile = 34000 + (phase * 31536 >> 16);
        int32_t hw = static_cast<int32_t>((static_cast<int64_t>(w) * cone >> 8) * profile >> 16);  // Q8
        int32_t jl = 52000 + static_cast<int32_t>(hash3(tier, 1, seed) >> 19);                     // 0.79 .. 1.1
        int32_t jr = 52000 + static_cast<int32_t>(hash3(tier, 2, seed) >> 19);
        int32_t row = y_q8 >> 7;  // per half-row twig noise
        int32_t nl = 58000 + static_cast<int32_t>(hash3(row, 3, seed) >> 20) * 3;
        int32_t nr = 58000 + static_cast<int32_t>(hash3(row, 4, seed) >> 20) * 3;
        int32_t left = static_cast<int32_t>((static_cast<int64_t>(hw) * jl >> 16) * nl >> 16);
        int32_t right = static_cast<int32_t>((static_cast<int64_t>(hw) * jr >> 16) * nr >> 16);
        int32_t stem = static_cast<int32_t>(static_cast<int64_t>(trunk) * t >> 16);  // the stem thickens downward
        if (left < stem) left = stem;
        if (right < stem) right = stem;
        if (dy < 256 * 3) {  // a thin spire at the very top
            left = right = 40 + dy / 12;
        }
        return Span{cx_q8 - left, cx_q8 + right};
    });
}

// A row of conifers along a ground line, with heights following a slow noise so that they form
// groves and clearings.
void plant_forest(Layer& layer, Rng& rng, int x0, int x1, int ground, int min_h, int max_h, int min_gap, int max_gap,
                  uint32_t seed) {
    for (int x = x0; x < x1; x += rng.range(min_gap, max_gap)) {
        int32_t grove = fbm(static_cast<int64_t>(x) * 65536 / 170, 7 << 16, 3, seed);
        int32_t size = 20000 + static_cast<int32_t>(static_cast<int64_t>(grove) * 60000 >> 16);  // 0.3 .. 1.2
        int h = min_h + static_cast<int>(static_cast<int64_t>(max_h - min_h) * rng.unit16() >> 16);
        h = static_cast<int>(static_cast<int64_t>(h) * size >> 16);
        if (h < min_h / 2) continue;
        int w = h / 5 + rng.range(0, h / 12 + 1);
        int top = ground - h - rng.range(0, h / 8 + 1);
        // One draw per statement: the order of evaluation of call arguments differs between compilers.
        const uint32_t tree_seed = static_cast<uint32_t>(rng.next());
        const int32_t cx = x * 256 + rng.range(0, 255);
        stamp_conifer(layer, cx, top, h, w, ground + 4, tree_seed);
    }
}

Col sky_at(int x, int y) {
    struct Stop {
        int y;
        Col c;
    };
    static const Stop stops[] = {{0, rgb(4, 6, 18)},     {220, rgb(9, 13, 34)},  {380, rgb(20, 24, 52)},
                                 {480, rgb(40, 40, 72)}, {560, rgb(70, 58, 82)}, {620, rgb(88, 66, 84)},
                                 {H, rgb(88, 66, 84)}};
    int i = 0;
    while (stops[i + 1].y <= y) ++i;
    Col c = mix(
        stops[i].c, stops[i + 1].c,
        smooth16(static_cast<int32_t>((static_cast<int64_t>(y - stops[i].y) << 16) / (stops[i + 1].y - stops[i].y))));
    // The last warm light of the day, low on the left.
    int32_t warm = smoothstep16(340, 600, y);
    int64_t dx = x - 330;
    int32_t side = glow(dx * dx, 420);
    c = add(c, rgb(46, 22, 6), static_cast<int32_t>(static_cast<int64_t>(warm) * side >> 16));
    return c;
}

void paint_far_scene(std::vector<Col>& img) {
    Rng rng(0x7A12B00Dull);
    // Sky, moon glow and clouds.
    std::vector<int32_t> cloud(static_cast<size_t>(W) * SHORE, 0);
    for (int y = 0; y < SHORE; ++y) {
        for (int x = 0; x < W; ++x) {
            Col c = sky_at(x, y);
            int64_t dx = x - MOON_X, dy = y - MOON_Y, d2 = dx * dx + dy * dy;
            int32_t halo = (glow(d2, 46) * 3 >> 3) + (glow(d2, 190) >> 3);
            c = add(c, rgb(150, 160, 185), halo);
            int32_t n = fbm(static_cast<int64_t>(x) * 65536 / 380, static_cast<int64_t>(y) * 65536 / 46, 5, 101);
            int32_t band = static_cast<int32_t>(
                static_cast<int64_t>(smoothstep16(130, 230, y)) * (65536 - smoothstep16(380, 470, y)) >> 16);
            int32_t dens =
                static_cast<int32_t>(static_cast<int64_t>(smoothstep16(33000, 47000, n)) * band >> 16) * 5 >> 3;
            cloud[static_cast<size_t>(y) * W + x] = dens;
            Col cc = add(rgb(22, 24, 44), rgb(120, 118, 130), (glow(d2, 150) * 3) >> 2);
            c = mix(c, cc, dens);
            img[static_cast<size_t>(y) * W + x] = c;
        }
    }
    // Stars: bilinear splats, brighter ones with a faint glow; fading towards the horizon, near the
    // moon and behind clouds.
    for (int i = 0; i < 700; ++i) {
        int32_t sx = rng.range(0, (W << 8) - 1), sy = rng.range(0, 470 << 8);
        int32_t u = rng.unit16();
        int32_t b = static_cast<int32_t>((static_cast<int64_t>(u) * u >> 16) * u >> 16);  // mostly faint
        b = 9000 + b;
        int px = sx >> 8, py = sy >> 8;
        int64_t dx = px - MOON_X, dy = py - MOON_Y;
        int32_t fade = (65536 - smoothstep16(300, 470, py));
        fade = static_cast<int32_t>(static_cast<int64_t>(fade) * (65536 - glow(dx * dx + dy * dy, 120)) >> 16);
        fade =
            static_cast<int32_t>(static_cast<int64_t>(fade) * (65536 - cloud[static_cast<size_t>(py) * W + px]) >> 16);
        if (px > 360 && px < 920 && py > 30 && py < 160) fade >>= 2;  // keep the title's ground quiet
        b = static_cast<int32_t>(static_cast<int64_t>(b) * fade >> 16);
        int tint = rng.range(0, 3);
        Col sc = tint == 0 ? rgb(255, 226, 190) : (tint == 1 ? rgb(200, 215, 255) : rgb(235, 238, 255));
        int32_t fx = sx & 255, fy = sy & 255;
        const int32_t wts[4] = {(256 - fx) * (256 - fy), fx * (256 - fy), (256 - fx) * fy, fx * fy};
        for (int k = 0; k < 4; ++k) {
            int x = px + (k & 1), y = py + (k >> 1);
            if (x >= W || y >= SHORE) continue;
            Col& d = img[static_cast<size_t>(y) * W + x];
            d = add(d, sc, static_cast<int32_t>(static_cast<int64_t>(b) * wts[k] >> 16));
        }
        if (b > 30000) {
            for (int y = py - 3; y <= py + 3; ++y)
                for (int x = px - 3; x <= px + 3; ++x) {
                    if (x < 0 || y < 0 || x >= W || y >= SHORE) continue;
                    int64_t ex = ((x << 8) + 128 - sx), ey = ((y << 8) + 128 - sy);
                    const int64_t reach2 = 800LL * 800;  // (3.1 pixels)^2 in Q16
                    int64_t e2 = ex * ex + ey * ey;
                    if (e2 >= reach2) continue;
                    int32_t g = static_cast<int32_t>(((reach2 - e2) << 16) / reach2);
                    g = static_cast<int32_t>(static_cast<int64_t>(g) * g >> 16);
                    img[static_cast<size_t>(y) * W + x] =
                        add(img[static_cast<size_t>(y) * W + x], sc,
                            static_cast<int32_t>(static_cast<int64_t>(b - 30000) * g >> 18));
                }
        }
    }
    // The far ridge: a broad fell and a lower shoulder, softened by haze towards the valley.
    for (int x = 0; x < W; ++x) {
        int64_t a = x - 560, b = x - 1170;
        int32_t ridge16 = (505 << 16) - 64 * fbm(static_cast<int64_t>(x) * 65536 / 120, 3 << 16, 6, 211) -
                          static_cast<int32_t>(120LL * glow(a * a, 230)) -
                          static_cast<int32_t>(48LL * glow(b * b, 150));
        for (int y = (ridge16 >> 16) - 1; y < SHORE; ++y) {
            if (y < 0) continue;
            int32_t cover = clamp32((y << 16) + 32768 - ridge16, 0, 65536);
            if (y >= (ridge16 >> 16) + 2) cover = 65536;
            Col m = mix(rgb(25, 28, 52), rgb(48, 47, 70), smoothstep16(470, 600, y));
            Col& p = img[static_cast<size_t>(y) * W + x];
            p = mix(p, m, cover);
        }
    }
    // Far forest, valley mist, nearer forest on the far shore.
    Layer far, mid;
    plant_forest(far, rng, -10, W + 10, SHORE - 14, 26, 84, 4, 11, 311);
    plant_forest(mid, rng, -20, W + 20, SHORE, 40, 128, 7, 22, 419);
    plant_forest(mid, rng, -20, W + 20, SHORE + 2, 16, 44, 3, 7, 421);
    // The forest floor along the far shore, so that no light shows between the trunks.
    stamp(mid, SHORE - 4, SHORE + 1, [](int32_t) { return Span{-256, (W + 1) * 256}; });
    for (int y = 420; y < SHORE; ++y) {
        for (int x = 0; x < W; ++x) {
            Col& p = img[static_cast<size_t>(y) * W + x];
            int32_t a = far.at(x, y);
            if (a) p = mix(p, mix(rgb(24, 28, 50), rgb(42, 42, 63), smoothstep16(550, 590, y)), a);
            int32_t n = fbm(static_cast<int64_t>(x) * 65536 / 260, static_cast<int64_t>(y) * 65536 / 24, 4, 523);
            int32_t band = static_cast<int32_t>(
                static_cast<int64_t>(smoothstep16(530, 590, y)) * (65536 - smoothstep16(596, 600, y)) >> 16);
            int32_t mist =
                static_cast<int32_t>(static_cast<int64_t>(smoothstep16(22000, 50000, n)) * band >> 16) * 3 >> 3;
            p = mix(p, rgb(58, 58, 80), mist);
            int32_t b = mid.at(x, y);
            if (b) p = mix(p, mix(rgb(9, 12, 23), rgb(24, 26, 42), smoothstep16(575, 600, y)), b);
        }
    }
}

// The moon, painted after the water so that the water shows only its glitter path.
void paint_moon(std::vector<Col>& img) {
    // Limb darkening, grey seas, anti-aliased edge.
    for (int y = MOON_Y - MOON_R - 2; y <= MOON_Y + MOON_R + 2; ++y) {
        for (int x = MOON_X - MOON_R - 2; x <= MOON_X + MOON_R + 2; ++x) {
            int64_t dx = (x - MOON_X) * 256 + 128, dy = (y - MOON_Y) * 256 + 128;
            int32_t d = static_cast<int32_t>(isqrt64(static_cast<uint64_t>(dx * dx + dy * dy)));  // Q8
            int32_t cover = clamp32((MOON_R << 8) - d + 128, 0, 256) << 8;
            if (cover == 0) continue;
            int32_t r2 = static_cast<int32_t>((static_cast<int64_t>(d) * d << 16) / ((MOON_R << 8) * (MOON_R << 8)));
            int32_t limb = 65536 - (clamp32(r2, 0, 65536) * 3 >> 4);
            int32_t sea =
                fbm(static_cast<int64_t>(x) * 65536 / 11 + 0x50000, static_cast<int64_t>(y) * 65536 / 11, 3, 77);
            int32_t dark = smoothstep16(30000, 44000, sea) * 13 >> 6;  // up to 0.2
            Col mc = scale(rgb(236, 230, 210), static_cast<int32_t>(static_cast<int64_t>(limb) * (65536 - dark) >> 16));
            Col& p = img[static_cast<size_t>(y) * W + x];
            p = mix(p, mc, cover);
        }
    }
}

// Near banks: a spit of land on the left and a low bank on the right, with tall conifers.
void paint_near_layer(Layer& near) {
    Rng rng(0x5EED5EEDull);
    stamp(near, 600, NEAR_SHORE, [](int32_t y_q8) -> Span {
        // Left bank: flat-topped under the trees at y 626, sloping gently into the water, where it
        // reaches 360 pixels from the edge.
        if (y_q8 < (626 << 8)) return Span{0, 0};
        int32_t t =
            clamp32(static_cast<int32_t>((static_cast<int64_t>(y_q8 - (626 << 8)) * 65536) / ((NEAR_SHORE - 626) << 8)),
                    0, 65536);
        int32_t edge = (170 << 8) + static_cast<int32_t>(static_cast<int64_t>(190 << 8) * smooth16(t) >> 16);
        edge += (fbm(static_cast<int64_t>(y_q8) * 256 / 9, 11 << 16, 3, 701) - 32768) >> 5;
        return Span{-256, edge};
    });
    stamp(near, 600, NEAR_SHORE, [](int32_t y_q8) -> Span {
        if (y_q8 < (636 << 8)) return Span{0, 0};
        int32_t t =
            clamp32(static_cast<int32_t>((static_cast<int64_t>(y_q8 - (636 << 8)) * 65536) / ((NEAR_SHORE - 636) << 8)),
                    0, 65536);
        int32_t len = (110 << 8) + static_cast<int32_t>(static_cast<int64_t>(130 << 8) * smooth16(t) >> 16);
        len += (fbm(static_cast<int64_t>(y_q8) * 256 / 9, 13 << 16, 3, 709) - 32768) >> 5;
        return Span{(W << 8) - len, (W + 1) << 8};
    });
    // Left grove (tall, partly cut by the picture's edge) and right grove.
    const int left_x[] = {-30, 42, 118, 176, 232};
    const int left_h[] = {610, 540, 470, 330, 190};
    for (int i = 0; i < 5; ++i) {
        int ground = 636 + i * 7;
        int h = left_h[i] + rng.range(-20, 20);
        stamp_conifer(near, left_x[i] * 256, ground - h, h - 20, h / 5 + 12, ground, static_cast<uint32_t>(rng.next()));
    }
    const int right_x[] = {1310, 1248, 1186, 1138};
    const int right_h[] = {590, 500, 380, 230};
    for (int i = 0; i < 4; ++i) {
        int ground = 650 + i * 5;
        int h = right_h[i] + rng.range(-20, 20);
        stamp_conifer(near, right_x[i] * 256, ground - h, h - 20, h / 5 + 12, ground,
                      static_cast<uint32_t>(rng.next()));
    }
    // Low undergrowth along both banks.
    plant_forest(near, rng, -10, 330, 660, 14, 40, 6, 14, 613);
    plant_forest(near, rng, 1080, W + 10, 664, 14, 36, 6, 14, 617);
}

// Reeds in the bottom corners: thin curved blades rising from below the picture's edge.
void paint_reeds(Layer& reeds) {
    Rng rng(0x0EED5ull);
    for (int i = 0; i < 46; ++i) {
        bool left = i < 26;
        int base_x = left ? rng.range(-20, 150) : rng.range(1150, 1300);
        int height = rng.range(40, 125) - (left ? (base_x > 90 ? 30 : 0) : (base_x < 1200 ? 30 : 0));
        int tip_y = H - height;
        int lean = rng.range(-40, 40);
        int32_t base_w = rng.range(200, 420);  // Q8 half-width at the base
        stamp(reeds, tip_y, H, [=](int32_t y_q8) -> Span {
            int32_t t = static_cast<int32_t>((static_cast<int64_t>(y_q8 - (tip_y << 8)) * 65536) /
                                             (height << 8));  // 0 tip, 1 base
            if (t < 0) return Span{0, 0};
            int32_t u = 65536 - t;
            int32_t cx =
                base_x * 256 +
                static_cast<int32_t>(static_cast<int64_t>(lean * 256) * (static_cast<int64_t>(u) * u >> 16) >> 16);
            int32_t hw = 30 + static_cast<int32_t>(static_cast<int64_t>(base_w) * t >> 16);
            return Span{cx - hw, cx + hw};
        });
    }
}

// The menu's entries and captions: columns of 150 x 30 boxes centred 160 pixels left of, at and
// 160 pixels right of the screen's centre, rows from 200 pixels down, 40 apart (the left column
// four rows, the others eight), moved up 40 pixels at 800 x 600 and down 40 at 1280 x 1024. The
// picture is stretched to the screen, so each box covers a different part of it at each size.
// This copies the menu's layout table; the menu contrast test renders the real pages and fails
// if the two drift apart.
struct MenuScreen {
    int width, height, row_shift;
};
constexpr MenuScreen kMenuScreens[] = {{800, 600, -40}, {1024, 768, 0}, {1280, 720, 0}, {1280, 1024, 40}};
struct MenuColumn {
    int centre_offset, rows;
};
constexpr MenuColumn kMenuCells[] = {{-160, 4}, {0, 8}, {160, 8}};
constexpr int MENU_BOX_W = 150, MENU_BOX_H = 30, MENU_FIRST_ROW = 200, MENU_ROW_STEP = 40;
constexpr int SHADE_MARGIN = 10;    // fully shaded beyond each box, picture pixels
constexpr int SHADE_FADE_MIN = 90;   // then fading out over at least this distance
constexpr int SHADE_FADE_MAX = 260;  // and at most this one
constexpr int32_t SHADE_DIM = 34000;      // Q16 factor on dark colours under the full shade (0.52)
constexpr int32_t SHADE_KNEE = 160 << 8;  // brighter colours are dimmed more, by knee / (knee + brightness)

// Adds one soft box to the shade (union by maximum): 1 inside, fading out beyond it over the
// distance that `fade` gives for each pixel.
void soft_box(std::vector<int32_t>& shade, const std::vector<int32_t>& fade, int x0, int y0, int x1, int y1) {
    for (int y = y0 - SHADE_FADE_MAX; y < y1 + SHADE_FADE_MAX; ++y) {
        if (y < 0 || y >= H) continue;
        int dy = y < y0 ? y0 - y : (y >= y1 ? y - y1 + 1 : 0);
        for (int x = x0 - SHADE_FADE_MAX; x < x1 + SHADE_FADE_MAX; ++x) {
            if (x < 0 || x >= W) continue;
            int dx = x < x0 ? x0 - x : (x >= x1 ? x - x1 + 1 : 0);
            const size_t i = static_cast<size_t>(y) * W + x;
            int32_t wx = 65536 - smoothstep16(0, fade[i], dx);
            int32_t wy = 65536 - smoothstep16(0, fade[i], dy);
            int32_t v = static_cast<int32_t>(static_cast<int64_t>(wx) * wy >> 16);
            if (v > shade[i]) shade[i] = v;
        }
    }
}

// Q16 weight of the shade per pixel: 1 over every box (with its margin) at every screen size,
// fading out around them over a distance that slow noise varies between SHADE_FADE_MIN and
// SHADE_FADE_MAX, so that the veil's outline wanders like drifting mist instead of following the
// boxes' straight edges.
std::vector<int32_t> menu_shade() {
    std::vector<int32_t> fade(static_cast<size_t>(W) * H), shade(static_cast<size_t>(W) * H, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int32_t n = fbm(static_cast<int64_t>(x) * 65536 / 190, static_cast<int64_t>(y) * 65536 / 150, 3, 1423);
            fade[static_cast<size_t>(y) * W + x] =
                SHADE_FADE_MIN + ((SHADE_FADE_MAX - SHADE_FADE_MIN) * smoothstep16(16000, 49000, n) >> 16);
        }
    for (const MenuScreen& screen : kMenuScreens) {
        for (const MenuColumn& column : kMenuCells) {
            for (int row = 0; row < column.rows; ++row) {
                int sx0 = screen.width / 2 + column.centre_offset - MENU_BOX_W / 2;
                int sy0 = MENU_FIRST_ROW + screen.row_shift + row * MENU_ROW_STEP;
                // The box in picture pixels, rounded outwards, with the margin.
                int x0 = sx0 * W / screen.width - SHADE_MARGIN;
                int x1 = ((sx0 + MENU_BOX_W) * W + screen.width - 1) / screen.width + SHADE_MARGIN;
                int y0 = sy0 * H / screen.height - SHADE_MARGIN;
                int y1 = ((sy0 + MENU_BOX_H) * H + screen.height - 1) / screen.height + SHADE_MARGIN;
                soft_box(shade, fade, x0, y0, x1, y1);
            }
        }
    }
    return shade;
}

// The shaded colour: dimmed by SHADE_DIM, and brighter colours (mist, reflections, stars) a
// little more, so the scene keeps its shapes while nothing in it stays bright.
Col shaded(Col p) {
    int32_t luma = (p.r * 54 + p.g * 183 + p.b * 19) >> 8;
    if (luma < 0) luma = 0;
    int32_t knee = static_cast<int32_t>((static_cast<int64_t>(SHADE_KNEE) << 16) / (SHADE_KNEE + luma));
    return scale(p, static_cast<int32_t>(static_cast<int64_t>(SHADE_DIM) * knee >> 16));
}

}  // namespace

std::vector<uint8_t> paint_title_picture() {
    std::vector<Col> img(static_cast<size_t>(W) * H);
    paint_far_scene(img);
    Layer near, reeds;
    paint_near_layer(near);
    paint_reeds(reeds);
    const Col near_col = rgb(5, 7, 13);

    // Water: mirror of the far scene around the far waterline, and of the near banks around theirs,
    // displaced by ripples that grow towards the viewer; less reflective near the viewer.
    for (int y = SHORE; y < H; ++y) {
        int d = y - SHORE;
        int32_t amp = 65536 + static_cast<int32_t>((static_cast<int64_t>(d) * d << 16) / 7000);  // Q16 pixels
        int32_t wl = 12 + d / 5, wh = 3 + d / 36;  // wave length along and across, pixels
        int32_t refl = 52000 - d * 70;
        // The moon's glitter path: glints on wave slopes, in a band that widens towards the viewer.
        int32_t band = (10 << 8) + d * 40;  // Q8 half-width
        int32_t glint_fade = (65536 - (smoothstep16(0, 440, d) * 7 >> 3)) * 9 >> 4;
        for (int x = 0; x < W; ++x) {
            int32_t n =
                (value_noise(static_cast<int64_t>(x) * 65536 / wl, static_cast<int64_t>(y) * 65536 / wh, 907) * 2 +
                 value_noise(static_cast<int64_t>(x) * 65536 * 3 / wl, static_cast<int64_t>(y) * 65536 * 3 / wh, 911)) /
                3;
            int32_t dy = static_cast<int32_t>(static_cast<int64_t>(n - 32768) * 2 * amp >> 32);
            int32_t dx = dy / 3;
            int sx = clamp32(x + dx, 0, W - 1);
            int sy = clamp32(2 * SHORE - 1 - y + dy, 0, SHORE - 1);
            Col c = img[static_cast<size_t>(sy) * W + sx];
            int ny = 2 * NEAR_SHORE - 1 - y + dy;
            if (ny < NEAR_SHORE) c = mix(c, near_col, near.at(sx, ny));
            Col water = rgb(3, 6, 12);
            c = mix(water, c, refl);
            // Faint sheen on the ripple crests.
            c = add(c, rgb(16, 18, 26), (n > 40000 ? (n - 40000) : 0) >> 3);
            int64_t off64 = (static_cast<int64_t>(x - MOON_X) * (1 << 24)) / band;  // Q16 band widths
            int32_t off = static_cast<int32_t>(off64 < 0 ? (off64 < -(4 << 16) ? 4 << 16 : -off64)
                                                         : (off64 > (4 << 16) ? 4 << 16 : off64));
            if (off < (2 << 16)) {
                int32_t o2 = static_cast<int32_t>(static_cast<int64_t>(off) * off >> 16);  // 0 .. 4
                int32_t thr = 36000 + (o2 * 6800 >> 16);
                int32_t g = (value_noise(static_cast<int64_t>(x) * 65536 / (3 + d / 36),
                                         static_cast<int64_t>(y) * 65536 * 3 / (3 + d / 70), 977) *
                                 3 +
                             value_noise(static_cast<int64_t>(x) * 65536 / (2 + d / 80),
                                         static_cast<int64_t>(y) * 65536 * 3 / (2 + d / 100), 983)) >>
                            2;
                int32_t glint = smoothstep16(thr, thr + 14000, g);
                glint = static_cast<int32_t>(static_cast<int64_t>(glint) * glint >> 16) * 3 >>
                        1;  // bright cores, soft rims
                int32_t column =
                    static_cast<int32_t>((65536LL << 16) / (65536 + 4LL * o2)) >> 4;  // a soft sheen under the glints
                c = add(c, rgb(220, 214, 190),
                        static_cast<int32_t>(static_cast<int64_t>(glint + column) * glint_fade >> 16));
            }
            img[static_cast<size_t>(y) * W + x] = c;
        }
    }
    paint_moon(img);
    // Waterline mist, then the near banks and reeds, the menu's shade, then a vignette.
    for (int y = 540; y < 760; ++y) {
        for (int x = 0; x < W; ++x) {
            int32_t n = fbm(static_cast<int64_t>(x) * 65536 / 300, static_cast<int64_t>(y) * 65536 / 30, 5, 1201);
            int32_t band = static_cast<int32_t>(
                static_cast<int64_t>(smoothstep16(560, 605, y)) * (65536 - smoothstep16(615, 760, y)) >> 16);
            int32_t mist =
                static_cast<int32_t>(static_cast<int64_t>(smoothstep16(24000, 52000, n)) * band >> 16) * 3 >> 3;
            Col& p = img[static_cast<size_t>(y) * W + x];
            p = mix(p, rgb(52, 54, 74), mist);
        }
    }
    const std::vector<int32_t> shade = menu_shade();
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            Col& p = img[static_cast<size_t>(y) * W + x];
            int32_t a = near.at(x, y);
            if (a) p = mix(p, mix(near_col, rgb(14, 15, 24), smoothstep16(600, NEAR_SHORE, y) >> 2), a);
            int32_t r = reeds.at(x, y);
            if (r) p = mix(p, rgb(3, 4, 7), r);
            int32_t sh = shade[static_cast<size_t>(y) * W + x];
            if (sh) p = mix(p, shaded(p), sh);
            int64_t vx = (x - W / 2) * 65536LL / (W / 2), vy = (y - H / 2) * 65536LL / (H / 2);
            int32_t r2 = static_cast<int32_t>((vx * vx + vy * vy) >> 16);
            // The moon keeps its own light under the vignette.
            int64_t mx = x - MOON_X, my = y - MOON_Y;
            int32_t lit = 65536 - glow(mx * mx + my * my, 40);
            int32_t vignette = smoothstep16(26000, 130000, r2) * 9 >> 4;
            p = scale(p, 65536 - static_cast<int32_t>(static_cast<int64_t>(vignette) * lit >> 16));
        }
    }

    // Dithered conversion to bytes; never pure black, always opaque.
    std::vector<uint8_t> out(static_cast<size_t>(W) * H * 4);
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const Col& p = img[static_cast<size_t>(y) * W + x];
            uint32_t h = hash3(x, y, 4242);
            int32_t dither = static_cast<int32_t>(h & 255) - static_cast<int32_t>((h >> 8) & 255) + 128;
            uint8_t* o = &out[(static_cast<size_t>(y) * W + x) * 4];
            o[0] = static_cast<uint8_t>(clamp32((p.r + dither) >> 8, 1, 255));
            o[1] = static_cast<uint8_t>(clamp32((p.g + dither) >> 8, 1, 255));
            o[2] = static_cast<uint8_t>(clamp32((p.b + dither) >> 8, 1, 255));
            o[3] = 255;
        }
    }
    return out;
}

}  // namespace gen
