// The menu's per-frame drawing costs: the backdrop (a 1280 x 1024 colour-keyed picture drawn as a
// zoomed 3D-sprite quad onto a cleared 32-bit back buffer) side by side with pixman's nearest-filter
// OVER composite of the same picture at the same size, both including the clear; the first frame
// after a write to the picture; and the Controls page's boxes and centred texts in font 3.
// Relies on: the Direct3D and GDI stand-ins on the headless backend, the drawing library, pixman.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bench/pixman_backdrop.h"
#include "runtime/foundation/heap.h"
#include "runtime/media/draw.h"
#include "runtime/platform/d3d/d3d9.h"
#include "runtime/platform/headless/headless_video.h"

namespace {

const auto& sizes = bench::kMenuSizes;
constexpr int32_t PICTURE_W = bench::kPictureW, PICTURE_H = bench::kPictureH;
const std::vector<uint32_t>& picture() { return bench::synthetic_picture(); }

struct Screen {
    Direct3D9* d3d = nullptr;
    Direct3DDevice9* device = nullptr;
    Direct3DTexture9* texture = nullptr;
    Direct3DSurface9* level = nullptr;

    Screen(int32_t w, int32_t h) {
        headless_video_reset();
        headless_video().frames_kept = 1;
        d3d = direct3d_create9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS p = {};
        p.BackBufferWidth = uint32_t(w);
        p.BackBufferHeight = uint32_t(h);
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_FLIP;
        p.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        d3d->create_device(0, D3DDEVTYPE_HAL, 1, D3DCREATE_MIXED_VERTEXPROCESSING, &p, &device);
        device->create_texture(PICTURE_W, PICTURE_H, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        texture->get_surface_level(0, &level);
        D3DLOCKED_RECT lr;
        level->lock_rect(&lr, nullptr, 0);
        for (int32_t y = 0; y < PICTURE_H; y++)
            std::memcpy(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch, &picture()[size_t(y) * PICTURE_W], PICTURE_W * 4);
        level->unlock_rect();
        // The 3D-sprite states.
        device->set_render_state(D3DRS_ALPHABLENDENABLE, 1);
        device->set_fvf(0x144);
        device->set_render_state(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->set_render_state(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->set_software_vertex_processing(1);
        device->set_texture_stage_state(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->set_texture_stage_state(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->set_texture_stage_state(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->set_texture_stage_state(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        device->set_sampler_state(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->set_sampler_state(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        device->set_texture(0, texture);
    }
    ~Screen() {
        level->release();
        texture->release();
        device->release();
        d3d->release();
    }
    void frame(int32_t w, int32_t h) {
        device->clear(0, nullptr, D3DCLEAR_TARGET, 0, 0.0f, 0);
        device->begin_scene();
        D3DVertexDiffuseTex v[4] = {{-0.5f, -0.5f, 0, 1, 0xFFFFFFFFu, 0, 0},
                                    {w - 0.5f, -0.5f, 0, 1, 0xFFFFFFFFu, 1, 0},
                                    {-0.5f, h - 0.5f, 0, 1, 0xFFFFFFFFu, 0, 1},
                                    {w - 0.5f, h - 0.5f, 0, 1, 0xFFFFFFFFu, 1, 1}};
        device->draw_primitive_up(D3DPT_TRIANGLESTRIP, 2, v, sizeof v[0]);
        device->end_scene();
    }
    // Makes the frame's pixels visible to the benchmark, as the next lock would.
    uint32_t touch() {
        Direct3DSurface9* back;
        device->get_back_buffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
        D3DLOCKED_RECT lr;
        back->lock_rect(&lr, nullptr, D3DLOCK_READONLY);
        uint32_t v = *static_cast<uint32_t*>(lr.pBits);
        back->unlock_rect();
        back->release();
        return v;
    }
};

void BM_Backdrop_Ours(benchmark::State& state) {
    const int32_t w = sizes[state.range(0)][0], h = sizes[state.range(0)][1];
    Screen screen(w, h);
    screen.frame(w, h);  // the first frame builds the resampled picture
    for (auto _ : state) {
        screen.frame(w, h);
        benchmark::DoNotOptimize(screen.device->back->pixels);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(screen.touch());
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
}

// The first frame after the picture was written: classification, resampling, clear and draw.
void BM_Backdrop_Ours_Cold(benchmark::State& state) {
    const int32_t w = sizes[state.range(0)][0], h = sizes[state.range(0)][1];
    Screen screen(w, h);
    D3DLOCKED_RECT lr;
    for (auto _ : state) {
        screen.level->lock_rect(&lr, nullptr, 0);
        screen.level->unlock_rect();
        screen.frame(w, h);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
}

void BM_Backdrop_Pixman(benchmark::State& state) {
    const int32_t w = sizes[state.range(0)][0], h = sizes[state.range(0)][1];
    // alpha 0 or 255 with black keyed: already premultiplied
    bench::PixmanBackdrop pixman(picture(), PICTURE_W, PICTURE_H, w, h);
    for (auto _ : state) {
        pixman.frame();
        benchmark::DoNotOptimize(pixman.pixels());
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(w) + "x" + std::to_string(h));
}

// The Controls page: one caption, eleven plain entries and one framed button, each a box and a
// text centred in it in font 3, on the back buffer's context.
void BM_ControlsPageText(benchmark::State& state) {
    runtime_heap = heap_create(4096, true);
    draw_init();
    font_init();
    font_load(3, u"Monotype Corsiva", 14);
    Screen screen(1024, 768);
    Direct3DSurface9* back;
    screen.device->get_back_buffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back);
    const char16_t* entries[] = {u"Steuerung", u"Vorwärts",   u"Rückwärts", u"Links",    u"Rechts", u"Springen",
                                 u"Tagebuch",  u"Karte",      u"Bildschirmfoto", u"Maus umkehren", u"Empfindlichkeit",
                                 u"Standard",  u"Zurück"};
    for (auto _ : state) {
        DrawTarget* t = draw_target_create();
        back->get_dc(&t->dc);
        t->width = 1024, t->height = 768, t->bits_per_pixel = 32, t->kind = DRAW_TARGET_SURFACE;
        t->release = [](DrawTarget* target, int32_t) { target->dc = nullptr; };
        HDC dc = t->dc;
        draw_begin(t);
        for (int32_t i = 0; i < 13; i++) {
            int32_t x = 312, y = 120 + i * 40, width = 400, height = 32;
            bool framed = i == 12;
            if (framed) {
                draw_box(x, y, width, height, 70 + 256 * 10 + 65536 * 10);
                draw_set_opacity(100);
                draw_box(x + 3, y + 3, width - 6, height - 6, 150 + 256 * 150 + 65536 * 150);
            }
            draw_set_mode(1);
            draw_set_font(font_handle(3));
            int32_t tw = draw_text_width(entries[i]), th = draw_text_height(entries[i]);
            draw_text(x + width / 2 - tw / 2, y + height / 2 - th / 2, entries[i], i == 0 ? 200 + 256 * 50 + 65536 * 50 : 250 + 256 * 250 + 65536 * 250);
        }
        draw_end();
        back->release_dc(dc);
    }
    back->release();
    font_free_all();
    heap_destroy(runtime_heap);
    runtime_heap = nullptr;
}

}  // namespace

BENCHMARK(BM_Backdrop_Ours)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Backdrop_Pixman)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Backdrop_Ours_Cold)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ControlsPageText)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
