// The software Direct3D 9 on the headless video driver: modes and device creation, quad coverage
// by the pixel-centre rule, point sampling, blending and MODULATE, the resampling cache and the
// deferred clear against a plain reference, the flip chain, device loss and reset, surfaces.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "runtime/platform/d3d/d3d9.h"
#include "runtime/platform/headless/headless_video.h"
#include "tests/support/runtime_fixture.h"

namespace {

class D3DTest : public RuntimeTest {
public:  // also for the frame scripts below, which draw through a fixture they are given
    Direct3D9* d3d = nullptr;
    Direct3DDevice9* device = nullptr;
    Direct3DSurface9* back = nullptr;

    D3DPRESENT_PARAMETERS params(uint32_t w, uint32_t h, D3DFORMAT f = D3DFMT_X8R8G8B8) {
        D3DPRESENT_PARAMETERS p = {};
        p.BackBufferWidth = w;
        p.BackBufferHeight = h;
        p.BackBufferFormat = f;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_FLIP;
        p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        return p;
    }
    void open(uint32_t w, uint32_t h, D3DFORMAT f = D3DFMT_X8R8G8B8) {
        d3d = direct3d_create9(D3D_SDK_VERSION);
        ASSERT_NE(d3d, nullptr);
        D3DPRESENT_PARAMETERS p = params(w, h, f);
        ASSERT_EQ(d3d->create_device(0, D3DDEVTYPE_HAL, 1, D3DCREATE_MIXED_VERTEXPROCESSING, &p, &device), D3D_OK);
        ASSERT_EQ(device->get_back_buffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    }
    void TearDown() override {
        if (back) back->release();
        if (device) device->release();
        if (d3d) d3d->release();
        EXPECT_EQ(headless_video().users, 0);
        RuntimeTest::TearDown();
    }
    // The back buffer's pixel (32-bit formats: low 24 bits; 16-bit: raw).
    uint32_t pixel(int32_t x, int32_t y) {
        D3DLOCKED_RECT lr;
        EXPECT_EQ(back->lock_rect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
        uint32_t v = 0;
        const uint8_t* row = static_cast<const uint8_t*>(lr.pBits) + intptr_t(y) * lr.Pitch;
        if (d3d_format_bytes(D3DFORMAT(back->format)) == 4) std::memcpy(&v, row + x * 4, 4), v &= 0xFFFFFF;
        else std::memcpy(&v, row + x * 2, 2);
        back->unlock_rect();
        return v;
    }
    Direct3DTexture9* texture(int32_t w, int32_t h, const std::vector<uint32_t>& argb) {
        Direct3DTexture9* t = nullptr;
        EXPECT_EQ(device->create_texture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
        Direct3DSurface9* level = nullptr;
        t->get_surface_level(0, &level);
        D3DLOCKED_RECT lr;
        level->lock_rect(&lr, nullptr, 0);
        for (int32_t y = 0; y < h; y++) std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, &argb[size_t(y) * w], w * 4);
        level->unlock_rect();
        level->release();
        return t;
    }
    // The sprite states (SELECTARG1 of the texture, blending on) or the 3D-sprite states.
    void sprite_states(bool three_d) {
        device->set_render_state(D3DRS_ALPHABLENDENABLE, 1);
        device->set_render_state(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->set_render_state(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        if (three_d) {
            device->set_fvf(0x144);
            device->set_texture_stage_state(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
            device->set_texture_stage_state(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
            device->set_texture_stage_state(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
            device->set_texture_stage_state(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        } else {
            device->set_fvf(0x104);
            device->set_texture_stage_state(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            device->set_texture_stage_state(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        }
    }
    HRESULT quad(float left, float top, float right, float bottom) {
        D3DVertexTex v[4] = {{left - 0.5f, top - 0.5f, 0, 1, 0, 0},
                             {right - 0.5f, top - 0.5f, 0, 1, 1, 0},
                             {left - 0.5f, bottom - 0.5f, 0, 1, 0, 1},
                             {right - 0.5f, bottom - 0.5f, 0, 1, 1, 1}};
        return device->draw_primitive_up(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    }
    HRESULT quad3d(float left, float top, float right, float bottom, uint32_t transparency) {
        D3DCOLOR c = 0x00FFFFFFu | (transparency << 24);
        D3DVertexDiffuseTex v[4] = {{left - 0.5f, top - 0.5f, 0, 1, c, 0, 0},
                                    {right - 0.5f, top - 0.5f, 0, 1, c, 1, 0},
                                    {left - 0.5f, bottom - 0.5f, 0, 1, c, 0, 1},
                                    {right - 0.5f, bottom - 0.5f, 0, 1, c, 1, 1}};
        return device->draw_primitive_up(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
    }
};

TEST_F(D3DTest, ModesDeviceTypesAndCaps) {
    d3d = direct3d_create9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->get_adapter_mode_count(0, D3DFMT_X8R8G8B8), 8u);
    EXPECT_EQ(d3d->get_adapter_mode_count(0, D3DFMT_A8R8G8B8), 0u);
    D3DDISPLAYMODE mode;
    ASSERT_EQ(d3d->enum_adapter_modes(0, D3DFMT_R5G6B5, 2, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1024u);
    EXPECT_EQ(d3d->check_device_type(0, D3DDEVTYPE_HAL, D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, FALSE), D3D_OK);
    D3DCAPS9 caps;
    ASSERT_EQ(d3d->get_device_caps(0, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_TRUE(caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    // A format the display does not offer fails the check.
    headless_video().modes.erase(headless_video().modes.begin() + 2);  // drop X1R5G5B5
    EXPECT_EQ(d3d->check_device_type(0, D3DDEVTYPE_HAL, D3DFMT_X1R5G5B5, D3DFMT_X1R5G5B5, FALSE), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(direct3d_create9(31), nullptr);
}

TEST_F(D3DTest, CreateDeviceRefusesAbsurdSizes) {
    d3d = direct3d_create9(D3D_SDK_VERSION);
    const uint32_t bad[][2] = {{0, 600}, {800, 0}, {uint32_t(-1), 600}, {8193, 600}, {800, 100000}};
    for (auto& size : bad) {
        D3DPRESENT_PARAMETERS p = params(size[0], size[1]);
        Direct3DDevice9* d = reinterpret_cast<Direct3DDevice9*>(1);
        EXPECT_EQ(d3d->create_device(0, D3DDEVTYPE_HAL, 1, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &d), D3DERR_INVALIDCALL);
        EXPECT_EQ(d, nullptr);
    }
    D3DPRESENT_PARAMETERS p = params(800, 600, D3DFMT_UNKNOWN);
    Direct3DDevice9* d = nullptr;
    EXPECT_NE(d3d->create_device(0, D3DDEVTYPE_HAL, 1, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &p, &d), D3D_OK);
    EXPECT_FALSE(headless_video().screen_opened);
}

TEST_F(D3DTest, QuadsCoverExactlyTheirRectangleAndClip) {
    open(64, 48);
    Direct3DTexture9* t = texture(1, 1, {0xFFFFFFFFu});
    sprite_states(false);
    device->set_texture(0, t);
    const int32_t rects[][4] = {{0, 0, 64, 48}, {3, 5, 4, 6}, {10, 7, 17, 30}, {-5, -3, 6, 4}, {60, 40, 70, 50}, {-10, 20, 80, 21}};
    for (auto& r : rects) {
        device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0);
        ASSERT_EQ(quad(float(r[0]), float(r[1]), float(r[2]), float(r[3])), D3D_OK);
        for (int32_t y = 0; y < 48; y++)
            for (int32_t x = 0; x < 64; x++) {
                bool inside = x >= r[0] && x < r[2] && y >= r[1] && y < r[3];
                ASSERT_EQ(pixel(x, y), inside ? 0xFFFFFFu : 0u) << x << "," << y << " quad " << r[0] << "," << r[1];
            }
    }
    // Wholly outside: nothing.
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0);
    EXPECT_EQ(quad(100, 100, 120, 120), D3D_OK);
    EXPECT_EQ(pixel(63, 47), 0u);
    t->release();
}

TEST_F(D3DTest, QuadsOfEverySizeCoverExactlyTheirPixels) {
    open(40, 40);
    Direct3DTexture9* t = texture(3, 2, std::vector<uint32_t>(6, 0xFF00FF00u));
    sprite_states(true);
    device->set_texture(0, t);
    for (int32_t w = 1; w <= 33; w += 2)
        for (int32_t h = 1; h <= 33; h += 4) {
            device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0);
            int32_t x = (w * 7) % 11 - 3, y = (h * 5) % 9 - 2;  // some start off the surface
            quad3d(float(x), float(y), float(x + w), float(y + h), 255);
            D3DLOCKED_RECT lr;
            ASSERT_EQ(back->lock_rect(&lr, nullptr, D3DLOCK_READONLY), D3D_OK);
            for (int32_t py = 0; py < 40; py++)
                for (int32_t px = 0; px < 40; px++) {
                    uint32_t v = static_cast<const uint32_t*>(lr.pBits)[py * lr.Pitch / 4 + px] & 0xFFFFFF;
                    bool inside = px >= x && px < x + w && py >= y && py < y + h;
                    ASSERT_EQ(v, inside ? 0x00FF00u : 0u) << w << "x" << h << " at " << x << "," << y << ": " << px << "," << py;
                }
            back->unlock_rect();
        }
    t->release();
}

TEST_F(D3DTest, PointSamplingTakesTheUpperTexelOnAnEdge) {
    open(16, 4);
    std::vector<uint32_t> texels;
    for (uint32_t i = 0; i < 8; i++) texels.push_back(0xFF000000u | (i + 1));
    Direct3DTexture9* t = texture(8, 1, texels);
    sprite_states(false);
    device->set_texture(0, t);
    // 8 texels onto 5 pixels: pixel j samples floor((j + 0.5) * 8 / 5) = 0, 2, 4, 5, 7 (4.0 exactly -> 4).
    quad(0, 0, 5, 1);
    const uint32_t expected5[] = {1, 3, 5, 6, 8};
    for (int32_t j = 0; j < 5; j++) EXPECT_EQ(pixel(j, 0), expected5[j]) << j;
    // Doubling repeats each texel twice.
    quad(0, 1, 16, 2);
    for (int32_t j = 0; j < 16; j++) EXPECT_EQ(pixel(j, 1), uint32_t(j / 2 + 1)) << j;
    t->release();
}

TEST_F(D3DTest, BlendingAndModulateArithmetic) {
    open(8, 8);
    Direct3DTexture9* t = texture(1, 1, {0xFFC86432u});  // opaque (200, 100, 50)
    sprite_states(true);
    device->set_texture(0, t);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0x00204060u, 0, 0);
    // Transparency 128: alpha = 255 * 128 / 255 = 128; out = s * 128/255 + d * 127/255 (each rounded).
    quad3d(0, 0, 4, 4, 128);
    auto mix = [](uint32_t s, uint32_t d) {
        return uint32_t(std::lround(s * 128 / 255.0) + std::lround(d * 127 / 255.0));
    };
    EXPECT_EQ(pixel(1, 1), (mix(200, 0x20) << 16) | (mix(100, 0x40) << 8) | mix(50, 0x60));
    // 255: unchanged; 0 (and 256, whose low byte is 0): invisible.
    quad3d(4, 0, 8, 4, 255);
    EXPECT_EQ(pixel(5, 1), 0xC86432u);
    quad3d(0, 4, 4, 8, 256 & 0xFF);
    EXPECT_EQ(pixel(1, 5), 0x204060u);
    // Texture alpha 128 with the sprite states: half and half.
    Direct3DTexture9* half = texture(1, 1, {0x80FF0000u});
    sprite_states(false);
    device->set_texture(0, half);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FFu, 0, 0);
    quad(0, 0, 8, 8);
    uint32_t red = uint32_t(std::lround(255 * 128 / 255.0)), blue = uint32_t(std::lround(255 * 127 / 255.0));
    EXPECT_EQ(pixel(3, 3), (red << 16) | blue);
    // Blending off: the colour replaces the pixel whatever its alpha.
    device->set_render_state(D3DRS_ALPHABLENDENABLE, 0);
    quad(0, 0, 8, 8);
    EXPECT_EQ(pixel(3, 3), 0xFF0000u);
    t->release();
    half->release();
}

// A texture that is keyed (0 or 255) except for a few texels far apart, with the alphas at the
// ends of the partial range (1 and 254): those texels still blend, the others key or copy.
TEST_F(D3DTest, PartialAlphaAnywhereInTheTextureBlends) {
    open(8, 4);
    std::vector<uint32_t> texels(8 * 4, 0xFF00FF00u);
    texels[0] = 0x00000000u;           // keyed
    texels[8 * 2 + 5] = 0x01FF0000u;   // alpha 1
    texels[8 * 4 - 1] = 0xFEFF0000u;   // alpha 254, the very last texel
    Direct3DTexture9* t = texture(8, 4, texels);
    sprite_states(false);
    device->set_texture(0, t);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FFu, 0, 0);
    quad(0, 0, 8, 4);
    EXPECT_EQ(pixel(0, 0), 0x0000FFu);
    EXPECT_EQ(pixel(1, 0), 0x00FF00u);
    EXPECT_EQ(pixel(5, 2), (1u << 16) | 254u);
    EXPECT_EQ(pixel(7, 3), (254u << 16) | 1u);
    t->release();
}

// The keyed, zoomed backdrop against a plain reference of the rules (clear, then per pixel the
// texel by the centre rule, kept where its alpha is 255), across cache reuse and invalidation.
TEST_F(D3DTest, ZoomedKeyedPictureMatchesTheReferenceAcrossCacheChanges) {
    open(160, 120);
    const int32_t tw = 128, th = 102;
    std::vector<uint32_t> texels(size_t(tw) * th);
    for (int32_t i = 0; i < tw * th; i++) texels[size_t(i)] = ((i * 7) % 5 == 0) ? 0x00000000u : (0xFF000000u | uint32_t(i * 2654435761u >> 8));
    Direct3DTexture9* t = texture(tw, th, texels);
    sprite_states(true);
    device->set_texture(0, t);
    auto check = [&](int32_t w, int32_t h, uint32_t clear) {
        for (int32_t y = 0; y < 120; y++)
            for (int32_t x = 0; x < 160; x++) {
                uint32_t want = clear & 0xFFFFFF;
                if (x < w && y < h) {
                    int32_t tx = int32_t(std::floor((x + 0.5) * tw / w + 1e-9)), ty = int32_t(std::floor((y + 0.5) * th / h + 1e-9));
                    uint32_t texel = texels[size_t(ty) * tw + tx];
                    if (texel >> 24) want = texel & 0xFFFFFF;
                }
                ASSERT_EQ(pixel(x, y), want) << x << "," << y << " at " << w << "x" << h;
            }
    };
    const int32_t zooms[][2] = {{100, 75}, {100, 75}, {128, 102}, {160, 120}, {80, 60}};
    uint32_t clear = 0x112233;
    for (auto& z : zooms) {
        device->clear(0, nullptr, D3DCLEAR_TARGET, clear, 0, 0);
        quad3d(0, 0, float(z[0]), float(z[1]), 255);
        check(z[0], z[1], clear);
        // Again without a clear in between: the keyed pixels leave what is there.
        quad3d(0, 0, float(z[0]), float(z[1]), 255);
        check(z[0], z[1], clear);
        clear += 0x010101;
    }
    // A write to the texture invalidates the resampled picture.
    Direct3DSurface9* level;
    t->get_surface_level(0, &level);
    D3DLOCKED_RECT lr;
    level->lock_rect(&lr, nullptr, 0);
    for (int32_t y = 0; y < th; y++)
        for (int32_t x = 0; x < tw; x++) {
            uint32_t v = (x + y) % 3 ? 0xFF00FF00u : 0;
            texels[size_t(y) * tw + x] = v;
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch + x * 4, &v, 4);
        }
    level->unlock_rect();
    level->release();
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0);
    quad3d(0, 0, 80, 60, 255);
    check(80, 60, 0);
    t->release();
}

TEST_F(D3DTest, ZoomedSixteenBitPictureMatchesTheReference) {
    open(96, 64, D3DFMT_X1R5G5B5);
    const int32_t tw = 37, th = 23;
    std::vector<uint16_t> texels(size_t(tw) * th);
    for (int32_t i = 0; i < tw * th; i++) texels[size_t(i)] = uint16_t((i * 40503u) >> 3) | ((i % 4) ? 0x8000 : 0);
    Direct3DTexture9* t = nullptr;
    ASSERT_EQ(device->create_texture(tw, th, 1, 0, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    Direct3DSurface9* level;
    t->get_surface_level(0, &level);
    D3DLOCKED_RECT lr;
    level->lock_rect(&lr, nullptr, 0);
    for (int32_t y = 0; y < th; y++) std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, &texels[size_t(y) * tw], tw * 2);
    level->unlock_rect();
    level->release();
    sprite_states(true);
    device->set_texture(0, t);
    const int32_t zooms[][2] = {{96, 64}, {50, 30}, {50, 30}, {37, 23}, {20, 64}};
    for (auto& z : zooms) {
        device->clear(0, nullptr, D3DCLEAR_TARGET, 0x00080808u, 0, 0);
        quad3d(0, 0, float(z[0]), float(z[1]), 255);
        for (int32_t y = 0; y < 64; y++)
            for (int32_t x = 0; x < 96; x++) {
                uint32_t want = 0x0421;  // the clear colour (8, 8, 8) in 5 bits
                if (x < z[0] && y < z[1]) {
                    int32_t tx = int32_t(std::floor((x + 0.5) * tw / z[0] + 1e-9)), ty = int32_t(std::floor((y + 0.5) * th / z[1] + 1e-9));
                    uint16_t texel = texels[size_t(ty) * tw + tx];
                    if (texel & 0x8000) want = texel & 0x7FFF;
                }
                ASSERT_EQ(pixel(x, y), want) << x << "," << y << " at " << z[0] << "x" << z[1];
            }
    }
    t->release();
}

TEST_F(D3DTest, PresentFlipsTheTwoBuffers) {
    open(32, 16);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0x00FF0000u, 0, 0);
    ASSERT_EQ(device->present(nullptr, nullptr, 0, nullptr), D3D_OK);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FFu, 0, 0);
    ASSERT_EQ(device->present(nullptr, nullptr, 0, nullptr), D3D_OK);
    // The back buffer now holds the frame shown before the one just presented.
    EXPECT_EQ(pixel(5, 5), 0xFF0000u);
    ASSERT_NE(headless_video_frame(0), nullptr);
    EXPECT_EQ(headless_video_frame(0)->pixel(5, 5), 0x0000FFu);
    EXPECT_EQ(headless_video_frame(1)->pixel(5, 5), 0xFF0000u);
    EXPECT_EQ(headless_video_frame(0)->sequence, 2u);
    // Only the last few frames are kept.
    for (int i = 0; i < 10; i++) device->present(nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(headless_video().frames.size(), headless_video().frames_kept);
    EXPECT_EQ(headless_video().presented, 12u);
    EXPECT_EQ(headless_video().screen_vsync, 0);
}

TEST_F(D3DTest, EachPresentHandsOverTheFramePresentedBefore) {
    // What each present hands the backend as the frame before it, through draws, failed presents
    // and resets.
    using P = HeadlessVideoFrame::Previous;
    open(16, 8);
    D3DPRESENT_PARAMETERS same = params(16, 8), other = params(24, 8);
    struct Step {
        const char* what;
        std::function<void()> before;
        P expected;
    };
    uint32_t colour = 0x00102030u;
    const Step steps[] = {
        {"the first present has none", [] {}, P::PREVIOUS_NONE},
        {"the next one has the first", [] {}, P::PREVIOUS_SAME},
        {"and so on, each frame another colour", [] {}, P::PREVIOUS_SAME},
        {"a present refused while lost hands nothing over",
         [&] {
             headless_video_focus(false);
             EXPECT_NE(device->present(nullptr, nullptr, 0, nullptr), D3D_OK);
             headless_video_focus(true);
             ASSERT_EQ(device->reset(&same), D3D_OK);
         },
         P::PREVIOUS_NONE},
        {"after the reset, the frame after it", [] {}, P::PREVIOUS_SAME},
        {"a reset to another size", [&] { ASSERT_EQ(device->reset(&other), D3D_OK); }, P::PREVIOUS_NONE},
        {"and the frame after that", [] {}, P::PREVIOUS_SAME},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.before();
        colour += 0x00010203u;
        device->clear(0, nullptr, D3DCLEAR_TARGET, colour, 0, 0);
        ASSERT_EQ(device->present(nullptr, nullptr, 0, nullptr), D3D_OK);
        ASSERT_NE(headless_video_frame(0), nullptr);
        EXPECT_EQ(headless_video_frame(0)->previous, step.expected);
    }
}

TEST_F(D3DTest, DeviceLossAndResetKeepManagedTextures) {
    open(16, 16);
    Direct3DTexture9* t = texture(2, 2, {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFFFFFFFFu});
    EXPECT_EQ(device->test_cooperative_level(), D3D_OK);
    headless_video_focus(false);
    EXPECT_EQ(device->test_cooperative_level(), D3DERR_DEVICELOST);
    EXPECT_NE(device->present(nullptr, nullptr, 0, nullptr), D3D_OK);
    D3DPRESENT_PARAMETERS p = params(16, 16);
    EXPECT_EQ(device->reset(&p), D3DERR_DEVICELOST);
    VideoEvent event;
    ASSERT_TRUE(headless_video_driver.poll_event(&event));
    EXPECT_EQ(event.kind, VIDEO_EVENT_FOCUS_LOST);
    headless_video_focus(true);
    EXPECT_EQ(device->test_cooperative_level(), D3DERR_DEVICENOTRESET);
    ASSERT_EQ(device->reset(&p), D3D_OK);
    EXPECT_EQ(device->test_cooperative_level(), D3D_OK);
    // The texture survived: draw it 1:1.
    sprite_states(false);
    device->set_texture(0, t);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0);
    quad(0, 0, 2, 2);
    EXPECT_EQ(pixel(0, 0), 0x0000FFu);
    EXPECT_EQ(pixel(1, 1), 0xFFFFFFu);
    // The internal error stays until the device is made again.
    headless_video_set_device_state(D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(device->test_cooperative_level(), D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(device->reset(&p), D3DERR_DRIVERINTERNALERROR);
    t->release();
}

TEST_F(D3DTest, SixteenBitBackBufferDrawsAndConverts) {
    open(8, 8, D3DFMT_X1R5G5B5);
    Direct3DTexture9* t = texture(1, 1, {0xFFFF0000u});
    sprite_states(false);
    device->set_texture(0, t);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FFu, 0, 0);
    quad(2, 2, 4, 4);
    EXPECT_EQ(pixel(2, 2), 0x7C00u);
    EXPECT_EQ(pixel(0, 0), 0x001Fu);
    t->release();
}

TEST_F(D3DTest, SixteenBitSpritesAreKeyedByTheirAlphaBit) {
    open(8, 4, D3DFMT_X1R5G5B5);
    Direct3DTexture9* t = nullptr;
    ASSERT_EQ(device->create_texture(2, 1, 1, 0, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    Direct3DSurface9* level;
    t->get_surface_level(0, &level);
    D3DLOCKED_RECT lr;
    level->lock_rect(&lr, nullptr, 0);
    const uint16_t texels[2] = {0x8000 | 0x03E0, 0x7C00};  // opaque green, transparent red
    std::memcpy(lr.pBits, texels, 4);
    level->unlock_rect();
    level->release();
    sprite_states(false);
    device->set_texture(0, t);
    device->clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FFu, 0, 0);
    quad(0, 0, 8, 4);
    EXPECT_EQ(pixel(1, 1), 0x03E0u);
    EXPECT_EQ(pixel(6, 1), 0x001Fu);
    t->release();
}

TEST_F(D3DTest, SurfacesLockAndDrawThroughTheirContext) {
    open(8, 8);
    for (D3DFORMAT f : {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5, D3DFMT_R5G6B5, D3DFMT_A8R8G8B8, D3DFMT_A1R5G5B5}) {
        Direct3DSurface9* s = nullptr;
        ASSERT_EQ(device->create_offscreen_plain_surface(5, 3, f, D3DPOOL_SYSTEMMEM, &s, nullptr), D3D_OK);
        HDC dc = nullptr;
        ASSERT_EQ(s->get_dc(&dc), D3D_OK);
        D3DLOCKED_RECT lr;
        EXPECT_EQ(s->lock_rect(&lr, nullptr, 0), D3DERR_INVALIDCALL);  // not while the context is out
        gdi_set_pixel_v(dc, 4, 2, 0x0000FF);
        ASSERT_EQ(s->release_dc(dc), D3D_OK);
        ASSERT_EQ(s->lock_rect(&lr, nullptr, 0), D3D_OK);
        EXPECT_GE(lr.Pitch, 5 * d3d_format_bytes(f));
        const uint8_t* p = static_cast<const uint8_t*>(lr.pBits) + 2 * lr.Pitch + 4 * d3d_format_bytes(f);
        uint32_t v = 0;
        std::memcpy(&v, p, size_t(d3d_format_bytes(f)));
        uint32_t red = d3d_format_bytes(f) == 4 ? 0xFF0000u : (f == D3DFMT_R5G6B5 ? 0xF800u : 0x7C00u);
        EXPECT_EQ(v & (d3d_format_bytes(f) == 4 ? 0xFFFFFFu : 0x7FFFu | (f == D3DFMT_R5G6B5 ? 0x8000u : 0)), red);
        s->unlock_rect();
        s->release();
    }
    Direct3DSurface9* huge = nullptr;
    EXPECT_NE(device->create_offscreen_plain_surface(9000, 10, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &huge, nullptr), D3D_OK);
}


// Frames drawn on the flip chain, each drawn once as the device does it (a frame that starts like
// the frame its buffer holds redraws only the rows written since) and once with the whole back
// buffer marked written first (so every frame is drawn whole): every presented frame must agree,
// and no row the device tells the presenter is unchanged may differ from the frame before.
class FrameHistoryTest : public D3DTest {
public:
    static constexpr int32_t W = 48, H = 40;
    Direct3DTexture9* picture = nullptr;  // 16x10 opaque, zoomed over the whole screen
    Direct3DTexture9* pointer = nullptr;  // 4x4 keyed by alpha 0/255
    Direct3DSurface9* offscreen = nullptr;

    void make_objects() {
        std::vector<uint32_t> texels(16 * 10), keyed(16);
        for (size_t i = 0; i < texels.size(); i++) texels[i] = 0xFF000000u | uint32_t(i * 0x010307u);
        for (size_t i = 0; i < keyed.size(); i++) keyed[i] = (i % 3 == 0) ? 0 : 0xFFE0C0A0u + uint32_t(i);
        picture = texture(16, 10, texels);
        pointer = texture(4, 4, keyed);
        ASSERT_EQ(device->create_offscreen_plain_surface(6, 5, D3DFORMAT(back->format), D3DPOOL_SYSTEMMEM, &offscreen,
                                                         nullptr),
                  D3D_OK);
        HDC dc = nullptr;
        ASSERT_EQ(offscreen->get_dc(&dc), D3D_OK);
        for (int32_t y = 0; y < 5; y++)
            for (int32_t x = 0; x < 6; x++) gdi_set_pixel_v(dc, x, y, 0x00103050u + uint32_t(x * 40 + y * 7));
        offscreen->release_dc(dc);
    }
    void free_objects() {
        if (picture) picture->release();
        if (pointer) pointer->release();
        if (offscreen) offscreen->release();
        picture = pointer = nullptr;
        offscreen = nullptr;
    }
    void draw(Direct3DTexture9* t, float left, float top, float right, float bottom) {
        device->set_texture(0, t);
        quad(left, top, right, bottom);
    }
    void backdrop(D3DCOLOR clear = 0) {
        device->clear(0, nullptr, D3DCLEAR_TARGET, clear, 0, 0);
        draw(picture, 0, 0, W, H);
    }
    // Writes one texel of a texture (the sprite library writes pictures this way).
    static void poke(Direct3DTexture9* t, uint32_t argb) {
        Direct3DSurface9* level = nullptr;
        t->get_surface_level(0, &level);
        D3DLOCKED_RECT lr;
        ASSERT_EQ(level->lock_rect(&lr, nullptr, 0), D3D_OK);
        std::memcpy(lr.pBits, &argb, 4);
        level->unlock_rect();
        level->release();
    }
    // GDI drawing on the back buffer.
    void gdi(const std::function<void(HDC)>& paint) {
        HDC dc = nullptr;
        ASSERT_EQ(back->get_dc(&dc), D3D_OK);
        paint(dc);
        back->release_dc(dc);
    }
    void text(int32_t x, int32_t y, const char16_t* s) {
        gdi([&](HDC dc) {
            gdi_set_bk_mode(dc, TRANSPARENT);
            gdi_set_text_color(dc, 0x00F0F0F0u);
            gdi_text_out_w(dc, x, y, s, int32_t(std::char_traits<char16_t>::length(s)));
        });
    }

    // Draws `frames` frames of a script and returns what was presented.
    std::vector<std::vector<uint8_t>> run(D3DFORMAT format, int frames, bool whole,
                                          const std::function<void(FrameHistoryTest&, int)>& frame) {
        headless_video_reset();
        headless_video().frames_kept = size_t(frames);
        open(W, H, format);
        make_objects();
        sprite_states(false);
        for (int i = 0; i < frames; i++) {
            if (whole) {
                D3DLOCKED_RECT lr;
                EXPECT_EQ(back->lock_rect(&lr, nullptr, 0), D3D_OK);
                back->unlock_rect();
            }
            frame(*this, i);
            EXPECT_EQ(device->present(nullptr, nullptr, 0, nullptr), D3D_OK) << "frame " << i;
        }
        std::vector<std::vector<uint8_t>> shown;
        for (const HeadlessVideoFrame& f : headless_video().frames) shown.push_back(f.pixels);
        free_objects();
        back->release(), back = nullptr;
        device->release(), device = nullptr;
        d3d->release(), d3d = nullptr;
        return shown;
    }
};

TEST_F(FrameHistoryTest, FramesDrawnFromTheirHistoryEqualFramesDrawnWhole) {
    using F = FrameHistoryTest;
    struct Script {
        const char* what;
        std::function<void(F&, int)> frame;
    };
    const Script scripts[] = {
        {"a menu at rest: backdrop, text, pointer",
         [](F& t, int) {
             t.backdrop();
             t.text(3, 12, u"Spiel");
             t.draw(t.pointer, 20, 20, 24, 24);
         }},
        {"the pointer moves and the text changes",
         [](F& t, int i) {
             t.backdrop();
             t.text(3, i % 2 ? 4 : 22, i % 3 ? u"Optionen" : u"Zur\u00fcck");
             t.draw(t.pointer, float(i * 5), float(i * 3), float(i * 5 + 4), float(i * 3 + 4));
         }},
        {"the picture is written between frames",
         [](F& t, int i) {
             if (i == 3 || i == 4) poke(t.picture, 0xFF00FF00u + uint32_t(i));
             t.backdrop();
         }},
        {"the picture is written after it was drawn, then text",
         [](F& t, int i) {
             t.backdrop();
             if (i % 2) poke(t.picture, 0xFF000000u + uint32_t(i) * 0x30507u);
             t.text(1, 1, u"Men\u00fc");
         }},
        {"the clear colour changes under a keyed picture",
         [](F& t, int i) {
             t.device->clear(0, nullptr, D3DCLEAR_TARGET, i < 3 ? 0x00203040u : 0x00405060u, 0, 0);
             t.draw(t.pointer, 0, 0, W, H);
         }},
        {"the backdrop moves",
         [](F& t, int i) {
             t.device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0, 0);
             t.draw(t.picture, float(i % 3), 0, W, H - float(i % 2));
         }},
        {"frames without a clear",
         [](F& t, int i) {
             if (i == 0) t.backdrop();
             t.text(i * 4, i * 5, u"x");
             if (i % 2) t.draw(t.pointer, 10, float(i), 14, float(i + 4));
         }},
        {"a clear alone, then a backdrop",
         [](F& t, int i) {
             t.device->clear(0, nullptr, D3DCLEAR_TARGET, 0x00112233u, 0, 0);
             if (i > 2) t.draw(t.picture, 0, 0, W, H);
         }},
        {"the back buffer locked and written",
         [](F& t, int i) {
             t.backdrop();
             D3DLOCKED_RECT lr;
             RECT r = {2, 5 + i, 9, 8 + i};
             ASSERT_EQ(t.back->lock_rect(&lr, i % 2 ? &r : nullptr, 0), D3D_OK);
             std::memset(lr.pBits, 0x5A, 8);
             t.back->unlock_rect();
         }},
        {"rectangle clears",
         [](F& t, int i) {
             t.backdrop();
             D3DRECT r = {4, 2 + i * 4, 30, 5 + i * 4};
             t.device->clear(1, &r, D3DCLEAR_TARGET, 0x00FF8800u, 0, 0);
         }},
        {"more quads after the clear than wait",
         [](F& t, int i) {
             t.backdrop();
             for (int q = 0; q < 12; q++) t.draw(t.pointer, float(q * 3), float(q * 3 + i % 2), float(q * 3 + 4), float(q * 3 + 4 + i % 2));
         }},
        {"every GDI primitive",
         [](F& t, int i) {
             t.backdrop();
             t.gdi([&](HDC dc) {
                 HBRUSH brush = gdi_create_solid_brush(0x00336699u);
                 HGDIOBJ old = gdi_select_object(dc, brush);
                 gdi_rectangle(dc, 2, 2 + i, 12, 9 + i);
                 gdi_ellipse(dc, 20, 20 - i, 34, 30 - i);
                 RECT r = {30, i, 40, i + 2};
                 gdi_fill_rect(dc, &r, brush);
                 gdi_set_pixel_v(dc, 45, 30 + i % 5, 0x0000FF00u);
                 if (i == 4) gdi_ext_flood_fill(dc, 26, 24 - i, 0x00336699u, FLOODFILLSURFACE);
                 HDC from = nullptr;
                 if (t.offscreen->get_dc(&from) == D3D_OK) {
                     gdi_bit_blt(dc, 40, 33 - i, 6, 5, from, 0, 0, SRCCOPY);
                     t.offscreen->release_dc(from);
                 }
                 gdi_select_object(dc, old);
                 gdi_delete_object(brush);
             });
         }},
        {"the device is reset midway",
         [](F& t, int i) {
             if (i == 3) {
                 D3DPRESENT_PARAMETERS p = t.params(W, H, D3DFORMAT(t.back->format));
                 ASSERT_EQ(t.device->reset(&p), D3D_OK);
                 t.sprite_states(false);
             }
             t.backdrop();
             if (i != 4) t.text(5, 20, u"Tarnwood");
         }},
        {"a blended, tinted picture right after the clear",
         [](F& t, int i) {
             t.device->clear(0, nullptr, D3DCLEAR_TARGET, 0x00102030u, 0, 0);
             t.sprite_states(true);
             t.device->set_texture(0, t.picture);
             t.quad3d(0, 0, W, H, i < 2 ? 128 : 200);
             t.sprite_states(false);
             t.draw(t.pointer, 8, 8, 12, 12);
         }},
    };
    constexpr int kFrames = 8;
    for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5}) {
        for (const Script& script : scripts) {
            SCOPED_TRACE(std::string(script.what) + (format == D3DFMT_X8R8G8B8 ? ", 32-bit" : ", 16-bit"));
            auto tracked = run(format, kFrames, false, script.frame);
            uint64_t wrong = headless_video().rows_told_unchanged_wrongly;
            EXPECT_EQ(wrong, 0u);
            auto whole = run(format, kFrames, true, script.frame);
            ASSERT_EQ(tracked.size(), whole.size());
            for (size_t i = 0; i < tracked.size(); i++) EXPECT_TRUE(tracked[i] == whole[i]) << "frame " << i;
        }
    }
}

TEST_F(FrameHistoryTest, AMenuAtRestLetsThePresenterSkipAllButItsTextAndPointerRows) {
    constexpr int kFrames = 10;
    run(D3DFMT_X8R8G8B8, kFrames, false, [](FrameHistoryTest& t, int) {
        t.backdrop();
        t.text(3, 2, u"Spiel");  // rows 2 .. 2 + the font's height
        t.draw(t.pointer, 20, 30, 24, 34);
    });
    const HeadlessVideo& v = headless_video();
    EXPECT_EQ(v.rows_told_unchanged_wrongly, 0u);
    // From the third frame on both buffers hold the same backdrop: only the rows of the text (a
    // system-font line, under 20 rows) and of the pointer (4) are left to compare.
    EXPECT_GE(v.rows_told_unchanged, uint64_t(kFrames - 2) * (H - 24));
    // A backdrop alone: from the second frame on, no row is left to compare, even when a write
    // lock made the device draw it whole.
    for (bool whole : {false, true}) {
        run(D3DFMT_X8R8G8B8, kFrames, whole, [](FrameHistoryTest& t, int) { t.backdrop(); });
        EXPECT_EQ(headless_video().rows_told_unchanged, uint64_t(kFrames - 1) * H) << whole;
    }
}


TEST_F(FrameHistoryTest, AFrameBegunBeforeADeviceLossIsDroppedWithItsTextures) {
    // The clear and backdrop wait, the device is lost before the present, the picture is released
    // and the device reset (same size, then another): nothing of the old frame is drawn later, and
    // the released picture goes with the dropped frame.
    for (uint32_t height : {uint32_t(H), uint32_t(H + 8)}) {
        SCOPED_TRACE(height);
        headless_video_reset();
        open(W, H);
        make_objects();
        sprite_states(false);
        backdrop();
        headless_video_focus(false);
        EXPECT_NE(device->present(nullptr, nullptr, 0, nullptr), D3D_OK);
        picture->release(), picture = nullptr;
        headless_video_focus(true);
        D3DPRESENT_PARAMETERS p = params(W, height);
        ASSERT_EQ(device->reset(&p), D3D_OK);
        sprite_states(false);
        poke(pointer, 0xFF123456u);
        device->clear(0, nullptr, D3DCLEAR_TARGET, 0x000000FFu, 0, 0);
        draw(pointer, 0, 0, 4, 4);
        ASSERT_EQ(device->present(nullptr, nullptr, 0, nullptr), D3D_OK);
        EXPECT_EQ(headless_video_frame(0)->pixel(0, 0), 0x123456u);
        EXPECT_EQ(headless_video_frame(0)->pixel(5, 5), 0x0000FFu);
        free_objects();
        back->release(), back = nullptr;
        device->release(), device = nullptr;
        d3d->release(), d3d = nullptr;
    }
}

}  // namespace
