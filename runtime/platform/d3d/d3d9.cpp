// Software Direct3D 9: object, device, textures and surfaces. Quads are drawn by Direct3D 9's
// rules: a pixel is covered when its centre (integer coordinates) lies inside, left and top edges
// inclusive; a point sample takes the texel whose span [i, i+1) holds u * width (an exact edge
// goes to the upper texel). A Clear of the whole back buffer and the quads drawn right after it
// wait until something else touches the pixels (or the present): the Clear is then written in the
// same pass as the first quad, so a frame that clears and then draws the backdrop writes each pixel
// once, and when the buffer already holds that start (a menu at rest draws the same backdrop frame
// after frame) only the rows written since are drawn again. Every other write marks its rows.
// Relies on: d3d_internal.h (row kernels), gdi.h (contexts of surfaces), video_driver.h (backend).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "runtime/platform/d3d/d3d_internal.h"
#include "runtime/platform/d3d/video_driver.h"

namespace {

const VideoDriver* video() {
    const PlatformBackend* backend = platform_backend();
    return backend ? backend->video : nullptr;
}

bool is_back_buffer_format(D3DFORMAT f) { return f == D3DFMT_X8R8G8B8 || f == D3DFMT_R5G6B5 || f == D3DFMT_X1R5G5B5; }

bool side_ok(int64_t side) { return side > 0 && side <= D3D_MAX_SIDE; }

GdiPixelLayout gdi_layout_of(D3DFORMAT f) {
    switch (f) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: return GDI_PIXELS_XRGB8888;
    case D3DFMT_R5G6B5: return GDI_PIXELS_RGB565;
    default: return GDI_PIXELS_XRGB1555;
    }
}

// --- pixel conversion -------------------------------------------------------------------------

inline uint32_t expand5(uint32_t v) { return (v << 3) | (v >> 2); }
inline uint32_t expand6(uint32_t v) { return (v << 2) | (v >> 4); }

// A pixel of any of the formats as 0xAARRGGBB (X formats read as alpha 255).
inline uint32_t to_argb(D3DFORMAT f, const uint8_t* p) {
    uint32_t v32;
    uint16_t v;
    switch (f) {
    case D3DFMT_A8R8G8B8: std::memcpy(&v32, p, 4); return v32;
    case D3DFMT_X8R8G8B8: std::memcpy(&v32, p, 4); return v32 | 0xFF000000u;
    case D3DFMT_R5G6B5:
        std::memcpy(&v, p, 2);
        return 0xFF000000u | (expand5(v >> 11) << 16) | (expand6((v >> 5) & 63) << 8) | expand5(v & 31);
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        std::memcpy(&v, p, 2);
        return ((f == D3DFMT_X1R5G5B5 || (v & 0x8000)) ? 0xFF000000u : 0) | (expand5((v >> 10) & 31) << 16) |
               (expand5((v >> 5) & 31) << 8) | expand5(v & 31);
    default: return 0;
    }
}

// 0xAARRGGBB to a format's pixel (X formats store alpha bits as 0).
inline void from_argb(D3DFORMAT f, uint8_t* p, uint32_t c) {
    uint32_t r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF, a = c >> 24;
    uint32_t v32;
    uint16_t v;
    switch (f) {
    case D3DFMT_A8R8G8B8: std::memcpy(p, &c, 4); return;
    case D3DFMT_X8R8G8B8: v32 = c & 0x00FFFFFFu; std::memcpy(p, &v32, 4); return;
    case D3DFMT_R5G6B5: v = uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)); std::memcpy(p, &v, 2); return;
    case D3DFMT_X1R5G5B5:
        v = uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        std::memcpy(p, &v, 2);
        return;
    case D3DFMT_A1R5G5B5:
        v = uint16_t((a >= 128 ? 0x8000 : 0) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
        std::memcpy(p, &v, 2);
        return;
    default: return;
    }
}

// x * y / 255, rounded to nearest, exact for 0..255 operands.
inline uint32_t mul255(uint32_t x, uint32_t y) {
    uint32_t t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// --- surfaces ----------------------------------------------------------------------------------

Direct3DSurface9* surface_new(int32_t width, int32_t height, D3DFORMAT format, D3DPOOL pool) {
    int32_t bytes = d3d_format_bytes(format);
    if (!bytes || !side_ok(width) || !side_ok(height)) return nullptr;
    int32_t pitch = (width * bytes + 31) & ~31;
    uint8_t* pixels = d3d_pixels_alloc(size_t(pitch) * size_t(height));
    if (!pixels) return nullptr;
    Direct3DSurface9* s = new (std::nothrow) Direct3DSurface9();
    if (!s) {
        d3d_pixels_free(pixels);
        return nullptr;
    }
    s->refs = 1;
    s->format = format;
    s->pool = pool;
    s->width = width;
    s->height = height;
    s->pitch = pitch;
    s->pixels = pixels;
    return s;
}

// The back buffer whose frame start waits to be drawn, if any: a write to a texture one of its
// quads samples draws it first.
Direct3DSurface9* pending_surface = nullptr;

D3DBufferHistory* history_new(int32_t rows) {
    D3DBufferHistory* h = new (std::nothrow) D3DBufferHistory();
    if (!h) return nullptr;
    h->written = new (std::nothrow) uint8_t[size_t(rows)]();
    if (!h->written) {
        delete h;
        return nullptr;
    }
    h->rows = rows;
    return h;
}

// Lets go of the textures the waiting quads hold.
void release_textures(D3DBase& base) {
    for (int32_t i = 0; i < base.quad_count; i++) {
        Direct3DTexture9* t = base.quads[i].texture;
        base.quads[i].texture = nullptr;
        if (t) t->release();
    }
}

// Drops a waiting frame start unwritten (the pixels are replaced or go).
void discard_pending(Direct3DSurface9* s) {
    D3DBufferHistory* h = s ? s->history : nullptr;
    if (!h) return;
    if (pending_surface == s) pending_surface = nullptr;
    if (!h->pending) return;
    h->pending = false;
    release_textures(h->next);
}

// The pixels are no longer what the history says (new, blackened, or written unseen).
void forget_history(D3DBufferHistory* h) {
    if (!h) return;
    h->known = false;
    std::memset(h->written, 0, size_t(h->rows));
}

void mark_rows(Direct3DSurface9* s, int32_t y0, int32_t y1) {
    D3DBufferHistory* h = s->history;
    y0 = std::max(y0, 0), y1 = std::min(y1, h ? h->rows : 0);
    if (y0 < y1) std::memset(h->written + y0, 1, size_t(y1 - y0));
}

void surface_destroy(Direct3DSurface9* s) {
    if (!s) return;
    if (s->history) {
        discard_pending(s);
        delete[] s->history->written;
        delete s->history;
    }
    if (s->dc) gdi_delete_dc(s->dc);
    d3d_pixels_free(s->pixels);
    delete s;
}

// The native pixel value of a D3DCOLOR in a format.
uint32_t native_of(D3DFORMAT f, D3DCOLOR colour) {
    uint8_t bytes[4] = {};
    from_argb(f, bytes, colour);
    uint32_t v = 0;
    std::memcpy(&v, bytes, d3d_format_bytes(f));
    return v;
}

// Fills a rectangle; with `rows`, only in the rows it marks.
void fill_rows(Direct3DSurface9* s, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t native,
               const uint8_t* rows = nullptr) {
    int32_t bytes = d3d_format_bytes(s->format);
    for (int32_t y = y0; y < y1; y++) {
        if (rows && !rows[y]) continue;
        uint8_t* row = s->pixels + intptr_t(y) * s->pitch;
        if (bytes == 4) {
            d3d_row_fill(reinterpret_cast<uint32_t*>(row) + x0, x1 - x0, native);
        } else {
            uint16_t* p = reinterpret_cast<uint16_t*>(row);
            std::fill(p + x0, p + x1, uint16_t(native));
        }
    }
}

bool draw_base(Direct3DSurface9* s, const D3DBase& base, const uint8_t* rows);

// Draws a waiting frame start; every access to the pixels goes through here first. When the
// buffer holds the same start, only the rows written since are drawn again.
void resolve(Direct3DSurface9* s) {
    D3DBufferHistory* h = s ? s->history : nullptr;
    if (!h || !h->pending) return;
    h->pending = false;
    if (pending_surface == s) pending_surface = nullptr;
    const bool same = h->known && d3d_same_base(h->base, h->next);
    // A quad that found no memory for its zoomed picture leaves the pixels unknown.
    h->known = draw_base(s, h->next, same ? h->written : nullptr);
    h->base = h->next;
    release_textures(h->next);
    for (int32_t i = 0; i < h->base.quad_count; i++) h->base.quads[i].texture = nullptr;
    std::memset(h->written, 0, size_t(h->rows));
}

// A texture level is about to be written: a waiting quad that samples it is drawn first.
void before_texture_write(Direct3DSurface9* s) {
    if (!s->texture || !pending_surface) return;
    const D3DBase& next = pending_surface->history->next;
    for (int32_t i = 0; i < next.quad_count; i++)
        if (next.quads[i].texture == s->texture) return resolve(pending_surface);
}

void classify(Direct3DTexture9* t) {
    D3DTextureSampler* sampler = t->sampler;
    if (!sampler || sampler->classified_serial == t->serial) return;
    Direct3DSurface9* s = t->level0;
    D3DAlphaClass result = D3D_ALPHA_OPAQUE;
    if (s->format == D3DFMT_A1R5G5B5) {
        result = D3D_ALPHA_BINARY;
    } else if (s->format == D3DFMT_A8R8G8B8) {
        // Branch-free per row (the compiler vectorises it): the AND of all alphas is 255 only when
        // every pixel is opaque; a general alpha is one of 1 to 254.
        uint32_t all_alpha = 255, general = 0;
        for (int32_t y = 0; y < s->height && !general; y++) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(s->pixels + intptr_t(y) * s->pitch);
            for (int32_t x = 0; x < s->width; x++) {
                uint32_t a = row[x] >> 24;
                all_alpha &= a;
                general |= uint32_t(a - 1u < 254u);
            }
        }
        result = general ? D3D_ALPHA_GENERAL : all_alpha == 255 ? D3D_ALPHA_OPAQUE : D3D_ALPHA_BINARY;
    }
    sampler->alpha_class = result;
    sampler->classified_serial = t->serial;
}

// A texture level was written: the classification and the resampled picture are out of date.
void texture_written(Direct3DSurface9* s) {
    if (!s->texture) return;
    Direct3DTexture9* t = s->texture;
    t->serial++;
    classify(t);
}

void texture_destroy(Direct3DTexture9* t) {
    if (t->sampler) {
        d3d_pixels_free(reinterpret_cast<uint8_t*>(t->sampler->cache));
        delete t->sampler;
    }
    surface_destroy(t->level0);
    delete t;
}

void default_states(Direct3DDevice9* d) {
    std::memset(d->render_states, 0, sizeof d->render_states);
    std::memset(d->stage_states, 0, sizeof d->stage_states);
    std::memset(d->sampler_states, 0, sizeof d->sampler_states);
    d->render_states[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    d->render_states[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    d->render_states[D3DRS_ALPHABLENDENABLE] = 0;
    d->render_states[D3DRS_MULTISAMPLEANTIALIAS] = 1;
    for (int stage = 0; stage < 8; stage++) {
        d->stage_states[stage][D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        d->stage_states[stage][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        d->stage_states[stage][D3DTSS_COLORARG2] = D3DTA_CURRENT;
        d->stage_states[stage][D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        d->stage_states[stage][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        d->stage_states[stage][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    }
    for (int s = 0; s < 16; s++) {
        d->sampler_states[s][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        d->sampler_states[s][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    }
    d->fvf = 0;
    d->software_vp = 0;
    d->in_scene = 0;
}

bool params_ok(const D3DPRESENT_PARAMETERS* p) {
    return p && side_ok(p->BackBufferWidth) && side_ok(p->BackBufferHeight) && is_back_buffer_format(p->BackBufferFormat) &&
           p->BackBufferCount <= 1;
}

// Makes or remakes the two buffers of the flip chain and opens the backend's screen.
HRESULT make_buffers(Direct3DDevice9* d, const D3DPRESENT_PARAMETERS* p) {
    const VideoDriver* v = video();
    const int32_t height = int32_t(p->BackBufferHeight);
    Direct3DSurface9* back = surface_new(int32_t(p->BackBufferWidth), height, p->BackBufferFormat, D3DPOOL_DEFAULT);
    Direct3DSurface9* front = surface_new(int32_t(p->BackBufferWidth), height, p->BackBufferFormat, D3DPOOL_DEFAULT);
    if (back) back->history = history_new(height);
    if (front) front->history = history_new(height);
    uint8_t* changed_rows = new (std::nothrow) uint8_t[size_t(height)];
    if (!back || !front || !back->history || !front->history || !changed_rows) {
        surface_destroy(back);
        surface_destroy(front);
        delete[] changed_rows;
        return E_OUTOFMEMORY;
    }
    int vsync = p->PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1;
    if (!v || !v->screen_open(int32_t(p->BackBufferWidth), int32_t(p->BackBufferHeight), p->BackBufferFormat,
                              int32_t(p->FullScreen_RefreshRateInHz), vsync)) {
        surface_destroy(back);
        surface_destroy(front);
        delete[] changed_rows;
        return D3DERR_NOTAVAILABLE;
    }
    back->device = d;
    front->device = d;
    if (d->back) {
        // A reset keeps the back buffer's identity (callers may still hold it): move the new
        // pixels into the old record.
        Direct3DSurface9* old = d->back;
        if (old->dc) gdi_delete_dc(old->dc), old->dc = nullptr;
        d3d_pixels_free(old->pixels);
        old->pixels = back->pixels;
        old->width = back->width, old->height = back->height, old->pitch = back->pitch, old->format = back->format;
        old->locked = 0;
        std::swap(old->history, back->history);  // the old history goes with the old pixels
        back->pixels = nullptr;
        surface_destroy(back);
        back = old;
    }
    if (d->front) surface_destroy(d->front);
    delete[] d->changed_rows;
    d->back = back;
    d->front = front;
    d->changed_rows = changed_rows;
    d->front_presented = 0;
    return D3D_OK;
}

// --- drawing -----------------------------------------------------------------------------------

struct QuadVertex {
    float x, y, u, v;
    D3DCOLOR diffuse;
};

// Texel index of each covered pixel along one axis: pixel p (centre at p) lies at
// t = (p - e0) / (e1 - e0) along the edge; the sample is floor((c0 + t (c1 - c0)) * size), wrapped.
void texel_map(std::vector<int32_t>& map, int32_t p0, int32_t p1, double e0, double e1, double c0, double c1, int32_t size) {
    map.resize(size_t(p1 - p0));
    double scale = (c1 - c0) / (e1 - e0);
    for (int32_t p = p0; p < p1; p++) {
        double coord = c0 + (p - e0) * scale;
        // The small bias sends a sample that lands on a texel edge (up to rounding) to the upper texel.
        double sample = std::floor(coord * size + 1e-6);
        if (!(sample > -1e15 && sample < 1e15)) sample = 0;  // absurd coordinates: keep the cast defined
        int64_t t = int64_t(sample);
        t %= size;
        if (t < 0) t += size;
        map[size_t(p - p0)] = int32_t(t);
    }
}

inline uint32_t stage_arg(uint32_t arg, uint32_t texel, uint32_t diffuse) {
    switch (arg & 0xF) {
    case D3DTA_TEXTURE: return texel;
    default: return diffuse;  // D3DTA_DIFFUSE, and D3DTA_CURRENT, which is the diffuse colour at stage 0
    }
}

inline uint32_t modulate(uint32_t a, uint32_t b, int shift) {
    return mul255((a >> shift) & 0xFF, (b >> shift) & 0xFF) << shift;
}

inline uint32_t apply_op(uint32_t op, uint32_t a1, uint32_t a2, uint32_t diffuse, bool alpha) {
    uint32_t result;
    switch (op) {
    case D3DTOP_SELECTARG1: result = a1; break;
    case D3DTOP_SELECTARG2: result = a2; break;
    case D3DTOP_MODULATE:
        result = alpha ? modulate(a1, a2, 24) : (modulate(a1, a2, 0) | modulate(a1, a2, 8) | modulate(a1, a2, 16));
        break;
    default: result = diffuse; break;  // disabled: the colour passes through
    }
    return alpha ? (result & 0xFF000000u) : (result & 0x00FFFFFFu);
}

inline uint32_t blend_factor(uint32_t factor, uint32_t src_alpha) {
    switch (factor) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_SRCALPHA: return src_alpha;
    case D3DBLEND_INVSRCALPHA: return 255 - src_alpha;
    default: return 255;  // D3DBLEND_ONE and anything not used here
    }
}


// One screen-aligned quad of a texture drawn unchanged (opaque, or keyed by an alpha of 0 or all
// bits) onto a back buffer of the same pixel size: 32-bit A8R8G8B8 onto X8R8G8B8, or 16-bit
// A1R5G5B5 onto X1R5G5B5. A waiting Clear of the back buffer is written in the same pass.
struct FastQuad {
    Direct3DSurface9* back;
    Direct3DSurface9* tex;
    D3DTextureSampler* sampler;
    uint32_t serial;
    int32_t px0, px1, py0, py1;
    bool opaque;
    const uint8_t* rows;   // only the rows marked here (null: all)
    const uint32_t* fill;  // the Clear's pixel value (null: no Clear)
};

template <typename Pixel>
struct PixelRules;
template <>
struct PixelRules<uint32_t> {
    static void fill(uint32_t* d, int32_t n, uint32_t v) { d3d_row_fill(d, n, v); }
    static void opaque(uint32_t* d, const uint32_t* s, int32_t n) { d3d_row_copy_opaque(d, s, n); }
    static void keyed(uint32_t* d, const uint32_t* s, int32_t n) { d3d_row_copy_keyed(d, s, n); }
    static void keyed_fill(uint32_t* d, const uint32_t* s, int32_t n, uint32_t f) { d3d_row_copy_keyed_fill(d, s, n, f); }
};
template <>
struct PixelRules<uint16_t> {
    static constexpr uint16_t colour = 0x7FFF;
    static bool visible(uint16_t v) { return (v & 0x8000) != 0; }
    static void fill(uint16_t* d, int32_t n, uint32_t v) { std::fill(d, d + n, uint16_t(v)); }
    static void opaque(uint16_t* d, const uint16_t* s, int32_t n) {
        for (int32_t i = 0; i < n; i++) d[i] = uint16_t(s[i] & colour);
    }
    static void keyed(uint16_t* d, const uint16_t* s, int32_t n) {
        for (int32_t i = 0; i < n; i++)
            if (visible(s[i])) d[i] = uint16_t(s[i] & colour);
    }
    static void keyed_fill(uint16_t* d, const uint16_t* s, int32_t n, uint32_t f) {
        for (int32_t i = 0; i < n; i++) d[i] = visible(s[i]) ? uint16_t(s[i] & colour) : uint16_t(f);
    }
};

template <typename Pixel>
bool draw_fast(const FastQuad& q, const std::vector<int32_t>& xmap, const std::vector<int32_t>& ymap) {
    using Rules = PixelRules<Pixel>;
    Direct3DSurface9* back = q.back;
    const Direct3DSurface9* tex = q.tex;
    D3DTextureSampler* sampler = q.sampler;
    const int32_t qw = q.px1 - q.px0, qh = q.py1 - q.py0;
    // Source rows: straight out of the texture when the columns map one to one, else out of the
    // picture resampled at this zoom (kept until the texture is written or the maps change).
    bool direct = true;
    for (int32_t i = 1; direct && i < qw; i++) direct = xmap[size_t(i)] == xmap[size_t(i - 1)] + 1;
    if (!direct &&
        (sampler->cache_serial != q.serial || sampler->cache_xmap != xmap || sampler->cache_ymap != ymap || !sampler->cache)) {
        size_t need = (size_t(qw) * size_t(qh) * sizeof(Pixel) + 3) / 4;  // in 32-bit units
        if (need > sampler->cache_capacity) {
            d3d_pixels_free(reinterpret_cast<uint8_t*>(sampler->cache));
            sampler->cache = reinterpret_cast<uint32_t*>(d3d_pixels_alloc(need * 4));
            sampler->cache_capacity = sampler->cache ? need : 0;
            if (!sampler->cache) return false;
        }
        Pixel* cache = reinterpret_cast<Pixel*>(sampler->cache);
        for (int32_t r = 0; r < qh; r++) {
            const Pixel* src = reinterpret_cast<const Pixel*>(tex->pixels + intptr_t(ymap[size_t(r)]) * tex->pitch);
            Pixel* out = cache + size_t(r) * qw;
            for (int32_t c = 0; c < qw; c++) out[c] = src[xmap[size_t(c)]];
        }
        sampler->cache_xmap = xmap;
        sampler->cache_ymap = ymap;
        sampler->cache_serial = q.serial;
    }
    const bool pending = q.fill != nullptr;
    const uint32_t fill = pending ? *q.fill : 0;
    for (int32_t y = 0; y < back->height; y++) {
        if (q.rows && !q.rows[y]) continue;
        Pixel* row = reinterpret_cast<Pixel*>(back->pixels + intptr_t(y) * back->pitch);
        if (y < q.py0 || y >= q.py1) {
            if (pending) Rules::fill(row, back->width, fill);
            continue;
        }
        if (pending) {
            Rules::fill(row, q.px0, fill);
            Rules::fill(row + q.px1, back->width - q.px1, fill);
        }
        const int32_t r = y - q.py0;
        const Pixel* src = direct ? reinterpret_cast<const Pixel*>(tex->pixels + intptr_t(ymap[size_t(r)]) * tex->pitch) + xmap[0]
                                  : reinterpret_cast<const Pixel*>(sampler->cache) + size_t(r) * qw;
        if (q.opaque) Rules::opaque(row + q.px0, src, qw);
        else if (pending) Rules::keyed_fill(row + q.px0, src, qw, fill);
        else Rules::keyed(row + q.px0, src, qw);
    }
    return true;
}


// Draws a quad onto the back buffer, only in the rows `rows` marks (null: all), writing a waiting
// Clear of value `*fill` first (in the same pass where it can). False when the zoomed picture
// found no memory.
bool draw_quad(Direct3DSurface9* back, const D3DQuad& q, const uint8_t* rows, const uint32_t* fill) {
    Direct3DTexture9* texture = q.texture;
    Direct3DSurface9* tex = texture ? texture->level0 : nullptr;
    const int32_t px0 = q.px0, px1 = q.px1, py0 = q.py0, py1 = q.py1;
    const int32_t qw = px1 - px0, qh = py1 - py0;
    const uint32_t diffuse = q.diffuse;
    const bool blending = q.blending != 0;

    static thread_local std::vector<int32_t> xmap, ymap;
    const int32_t tw = tex ? tex->width : 1, th = tex ? tex->height : 1;
    texel_map(xmap, px0, px1, q.ex0, q.ex1, q.eu0, q.eu1, tw);
    texel_map(ymap, py0, py1, q.ey0, q.ey1, q.ev0, q.ev1, th);

    // Fast path: a 32-bit texture drawn unchanged onto a 32-bit back buffer, either replacing the
    // pixels (no blending, or an opaque texture) or keyed by alpha 0/255 under SRCALPHA/INVSRCALPHA.
    auto is_texture = [](uint32_t op, uint32_t a1, uint32_t a2, uint32_t other) {
        if (op == D3DTOP_SELECTARG1) return (a1 & 0xF) == D3DTA_TEXTURE;
        if (op == D3DTOP_SELECTARG2) return (a2 & 0xF) == D3DTA_TEXTURE;
        if (op == D3DTOP_MODULATE) {
            bool t1 = (a1 & 0xF) == D3DTA_TEXTURE, t2 = (a2 & 0xF) == D3DTA_TEXTURE;
            return (t1 != t2) && other;  // the other argument is diffuse at full value
        }
        return false;
    };
    const bool wide = tex && tex->format == D3DFMT_A8R8G8B8 && back->format == D3DFMT_X8R8G8B8;
    const bool narrow = tex && tex->format == D3DFMT_A1R5G5B5 && back->format == D3DFMT_X1R5G5B5;
    bool fast = (wide || narrow) &&
                is_texture(q.colour_op, q.colour_arg1, q.colour_arg2, (diffuse & 0x00FFFFFFu) == 0x00FFFFFFu) &&
                is_texture(q.alpha_op, q.alpha_arg1, q.alpha_arg2, (diffuse >> 24) == 0xFF);
    D3DAlphaClass alpha_class = D3D_ALPHA_GENERAL;
    if (fast) {
        classify(texture);
        alpha_class = texture->sampler ? texture->sampler->alpha_class : D3D_ALPHA_GENERAL;
        bool keyed_blend = blending && q.src_factor == D3DBLEND_SRCALPHA && q.dst_factor == D3DBLEND_INVSRCALPHA;
        if (!blending || alpha_class == D3D_ALPHA_OPAQUE) alpha_class = D3D_ALPHA_OPAQUE;
        else if (!(keyed_blend && alpha_class == D3D_ALPHA_BINARY)) fast = false;
    }
    if (fast) {
        FastQuad quad = {back, tex, texture->sampler, texture->serial, px0, px1, py0, py1,
                         alpha_class == D3D_ALPHA_OPAQUE, rows, fill};
        return wide ? draw_fast<uint32_t>(quad, xmap, ymap) : draw_fast<uint16_t>(quad, xmap, ymap);
    }

    // General path: every pixel through the texture stage and the blend, in any formats.
    if (fill) fill_rows(back, 0, 0, back->width, back->height, *fill, rows);
    const int32_t tex_bytes = tex ? d3d_format_bytes(tex->format) : 0;
    const int32_t dst_bytes = d3d_format_bytes(back->format);
    for (int32_t r = 0; r < qh; r++) {
        if (rows && !rows[py0 + r]) continue;
        uint8_t* row = back->pixels + intptr_t(py0 + r) * back->pitch;
        const uint8_t* trow = tex ? tex->pixels + intptr_t(ymap[size_t(r)]) * tex->pitch : nullptr;
        for (int32_t c = 0; c < qw; c++) {
            uint32_t texel = tex ? to_argb(tex->format, trow + size_t(xmap[size_t(c)]) * tex_bytes) : 0xFFFFFFFFu;
            uint32_t colour = apply_op(q.colour_op, stage_arg(q.colour_arg1, texel, diffuse),
                                       stage_arg(q.colour_arg2, texel, diffuse), diffuse, false);
            uint32_t alpha = apply_op(q.alpha_op, stage_arg(q.alpha_arg1, texel, diffuse),
                                      stage_arg(q.alpha_arg2, texel, diffuse), diffuse, true);
            uint8_t* p = row + size_t(px0 + c) * dst_bytes;
            uint32_t out = colour | alpha;
            if (blending) {
                uint32_t a = alpha >> 24;
                uint32_t fs = blend_factor(q.src_factor, a), fd = blend_factor(q.dst_factor, a);
                uint32_t under = to_argb(back->format, p);
                out = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    uint32_t s = (colour >> shift) & 0xFF, d = (under >> shift) & 0xFF;
                    uint32_t value = mul255(s, fs) + mul255(d, fd);
                    out |= std::min(value, 255u) << shift;
                }
            }
            from_argb(back->format, p, out & 0x00FFFFFFu);
        }
    }
    return true;
}

// Draws a frame start: its Clear and quads, in the rows `rows` marks (null: all).
bool draw_base(Direct3DSurface9* s, const D3DBase& base, const uint8_t* rows) {
    if (rows && !std::memchr(rows, 1, size_t(s->height))) return true;  // nothing was written since
    if (base.quad_count == 0) {
        fill_rows(s, 0, 0, s->width, s->height, base.clear_value, rows);
        return true;
    }
    bool ok = draw_quad(s, base.quads[0], rows, &base.clear_value);
    for (int32_t i = 1; i < base.quad_count; i++) ok = draw_quad(s, base.quads[i], rows, nullptr) && ok;
    return ok;
}

}  // namespace

int32_t d3d_format_bytes(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8: return 4;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: return 2;
    default: return 0;
    }
}

bool d3d_same_quad(const D3DQuad& a, const D3DQuad& b) {
    return a.texture_id == b.texture_id && a.serial == b.serial && a.px0 == b.px0 && a.px1 == b.px1 &&
           a.py0 == b.py0 && a.py1 == b.py1 && a.ex0 == b.ex0 && a.ex1 == b.ex1 && a.eu0 == b.eu0 &&
           a.eu1 == b.eu1 && a.ey0 == b.ey0 && a.ey1 == b.ey1 && a.ev0 == b.ev0 && a.ev1 == b.ev1 &&
           a.diffuse == b.diffuse && a.colour_op == b.colour_op && a.colour_arg1 == b.colour_arg1 &&
           a.colour_arg2 == b.colour_arg2 && a.alpha_op == b.alpha_op && a.alpha_arg1 == b.alpha_arg1 &&
           a.alpha_arg2 == b.alpha_arg2 && a.blending == b.blending && a.src_factor == b.src_factor &&
           a.dst_factor == b.dst_factor;
}

bool d3d_same_base(const D3DBase& a, const D3DBase& b) {
    if (a.clear_value != b.clear_value || a.quad_count != b.quad_count) return false;
    for (int32_t i = 0; i < a.quad_count; i++)
        if (!d3d_same_quad(a.quads[i], b.quads[i])) return false;
    return true;
}

// --- the Direct3D object -----------------------------------------------------------------------

Direct3D9* direct3d_create9(uint32_t sdk_version) {
    const VideoDriver* v = video();
    if (sdk_version != D3D_SDK_VERSION || !v || !v->start()) return nullptr;
    Direct3D9* d3d = new (std::nothrow) Direct3D9();
    if (!d3d) {
        v->stop();
        return nullptr;
    }
    d3d->refs = 1;
    return d3d;
}

uint32_t Direct3D9::add_ref() { return ++refs; }

uint32_t Direct3D9::release() {
    uint32_t left = --refs;
    if (left == 0) {
        if (const VideoDriver* v = video()) v->stop();
        delete this;
    }
    return left;
}

uint32_t Direct3D9::get_adapter_mode_count(uint32_t adapter, D3DFORMAT format) {
    const VideoDriver* v = video();
    if (adapter != D3DADAPTER_DEFAULT || !v || !is_back_buffer_format(format)) return 0;
    int32_t n = v->mode_count(format);
    return n > 0 ? uint32_t(n) : 0;
}

HRESULT Direct3D9::enum_adapter_modes(uint32_t adapter, D3DFORMAT format, uint32_t index, D3DDISPLAYMODE* mode) {
    const VideoDriver* v = video();
    VideoMode m = {};
    if (!mode || adapter != D3DADAPTER_DEFAULT || !v || index >= get_adapter_mode_count(adapter, format) ||
        !v->mode_get(format, int32_t(index), &m))
        return D3DERR_INVALIDCALL;
    *mode = {uint32_t(m.width), uint32_t(m.height), uint32_t(m.refresh_hz), format};
    return D3D_OK;
}

HRESULT Direct3D9::check_device_type(uint32_t adapter, D3DDEVTYPE type, D3DFORMAT display_format,
                                     D3DFORMAT back_buffer_format, BOOL windowed) {
    if (adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL || windowed) return D3DERR_NOTAVAILABLE;
    if (back_buffer_format != display_format) return D3DERR_NOTAVAILABLE;
    return get_adapter_mode_count(adapter, display_format) > 0 ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D9::get_device_caps(uint32_t adapter, D3DDEVTYPE type, D3DCAPS9* caps) {
    if (!caps || adapter != D3DADAPTER_DEFAULT || type != D3DDEVTYPE_HAL) return D3DERR_INVALIDCALL;
    *caps = {};
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    caps->DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    caps->MaxTextureWidth = D3D_MAX_SIDE;
    caps->MaxTextureHeight = D3D_MAX_SIDE;
    return D3D_OK;
}

HRESULT Direct3D9::create_device(uint32_t adapter, D3DDEVTYPE type, WindowHandle, uint32_t behaviour_flags,
                                 D3DPRESENT_PARAMETERS* params, Direct3DDevice9** device) {
    if (!device) return D3DERR_INVALIDCALL;
    *device = nullptr;
    if (!params_ok(params) || params->Windowed) return D3DERR_INVALIDCALL;
    if (!(behaviour_flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                             D3DCREATE_MIXED_VERTEXPROCESSING)))
        return D3DERR_INVALIDCALL;
    HRESULT hr = check_device_type(adapter, type, params->BackBufferFormat, params->BackBufferFormat, FALSE);
    if (hr != D3D_OK) return hr;
    Direct3DDevice9* d = new (std::nothrow) Direct3DDevice9();
    if (!d) return E_OUTOFMEMORY;
    d->refs = 1;
    d->params = *params;
    if (d->params.BackBufferCount == 0) d->params.BackBufferCount = 1;
    default_states(d);
    d->software_vp = (behaviour_flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? 1 : 0;
    hr = make_buffers(d, &d->params);
    if (hr != D3D_OK) {
        delete d;
        return hr;
    }
    *params = d->params;
    *device = d;
    return D3D_OK;
}

// --- the device --------------------------------------------------------------------------------

uint32_t Direct3DDevice9::add_ref() { return ++refs; }

uint32_t Direct3DDevice9::release() {
    uint32_t left = --refs;
    if (left == 0) {
        if (texture0) texture0->release();
        surface_destroy(back);
        surface_destroy(front);
        delete[] changed_rows;
        if (const VideoDriver* v = video()) v->screen_close();
        delete this;
    }
    return left;
}

HRESULT Direct3DDevice9::test_cooperative_level() {
    const VideoDriver* v = video();
    return v ? v->device_state() : D3DERR_DRIVERINTERNALERROR;
}

HRESULT Direct3DDevice9::reset(D3DPRESENT_PARAMETERS* p) {
    const VideoDriver* v = video();
    if (!v) return D3DERR_DRIVERINTERNALERROR;
    if (!params_ok(p) || p->Windowed) return D3DERR_INVALIDCALL;
    int32_t state = v->device_state();
    if (state == D3DERR_DEVICELOST || state == D3DERR_DRIVERINTERNALERROR) return state;
    // A context or lock still out on the back buffer would point at freed pixels afterwards.
    if (back->locked || back->dc) return D3DERR_INVALIDCALL;
    if (!v->device_reset()) return D3DERR_DEVICELOST;
    discard_pending(back);  // a frame begun before the loss is never shown
    if (texture0) texture0->release(), texture0 = nullptr;
    bool same = p->BackBufferWidth == params.BackBufferWidth && p->BackBufferHeight == params.BackBufferHeight &&
                p->BackBufferFormat == params.BackBufferFormat;
    if (!same) {
        v->screen_close();
        D3DPRESENT_PARAMETERS next = *p;
        if (next.BackBufferCount == 0) next.BackBufferCount = 1;
        HRESULT hr = make_buffers(this, &next);
        if (hr != D3D_OK) return hr;
        params = next;
    } else {
        // The contents of default-pool buffers are lost in a reset; they come back black.
        forget_history(back->history);
        forget_history(front->history);
        std::memset(back->pixels, 0, size_t(back->pitch) * back->height);
        std::memset(front->pixels, 0, size_t(front->pitch) * front->height);
        front_presented = 0;
        params.PresentationInterval = p->PresentationInterval;
        params.FullScreen_RefreshRateInHz = p->FullScreen_RefreshRateInHz;
    }
    int32_t keep_sw = software_vp;
    default_states(this);
    software_vp = keep_sw;
    return D3D_OK;
}

HRESULT Direct3DDevice9::present(const RECT* source, const RECT* dest, WindowHandle override_window, const void* dirty) {
    const VideoDriver* v = video();
    if (source || dest || override_window || dirty) return D3DERR_INVALIDCALL;
    if (!v) return D3DERR_DRIVERINTERNALERROR;
    int32_t state = v->device_state();
    if (state != D3D_OK) return state == D3DERR_DEVICENOTRESET ? D3DERR_DEVICELOST : state;
    if (back->locked || back->dc) return D3DERR_INVALIDCALL;
    resolve(back);
    // Two buffers that hold the same frame start differ at most in the rows either wrote since.
    const D3DBufferHistory* now = back->history;
    const D3DBufferHistory* before = front->history;
    const uint8_t* changed = nullptr;
    if (front_presented && now->known && before->known && d3d_same_base(now->base, before->base)) {
        for (int32_t y = 0; y < now->rows; y++) changed_rows[y] = now->written[y] | before->written[y];
        changed = changed_rows;
    }
    // Flip: the finished frame is shown; the buffer shown until now becomes the back buffer, and
    // until the game draws into it, it still holds the frame presented before.
    std::swap(back->pixels, front->pixels);
    std::swap(back->history, front->history);
    VideoFrame frame = {front->pixels, front->pitch,  front->width, front->height,
                        front->format, front_presented ? back->pixels : nullptr, changed};
    front_presented = 1;
    return v->present(&frame) ? D3D_OK : D3DERR_DEVICELOST;
}

HRESULT Direct3DDevice9::get_back_buffer(uint32_t swap_chain, uint32_t index, D3DBACKBUFFER_TYPE type,
                                         Direct3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (swap_chain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO) return D3DERR_INVALIDCALL;
    back->add_ref();
    *surface = back;
    return D3D_OK;
}

HRESULT Direct3DDevice9::begin_scene() {
    if (in_scene) return D3DERR_INVALIDCALL;
    in_scene = 1;
    return D3D_OK;
}

HRESULT Direct3DDevice9::end_scene() {
    if (!in_scene) return D3DERR_INVALIDCALL;
    in_scene = 0;
    return D3D_OK;
}

HRESULT Direct3DDevice9::clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR colour, float, uint32_t) {
    if (count && !rects) return D3DERR_INVALIDCALL;
    if (!(flags & D3DCLEAR_TARGET)) return D3D_OK;
    if (back->locked || back->dc) return D3DERR_INVALIDCALL;
    uint32_t native = native_of(back->format, colour);
    if (count == 0) {
        // Every pixel is replaced: whatever waited before goes unwritten.
        discard_pending(back);
        if (pending_surface) resolve(pending_surface);  // another device's back buffer
        D3DBufferHistory* h = back->history;
        h->pending = true;
        h->next.clear_value = native;
        h->next.quad_count = 0;
        pending_surface = back;
        return D3D_OK;
    }
    resolve(back);
    for (uint32_t i = 0; i < count; i++) {
        int32_t x0 = std::max(rects[i].x1, 0), y0 = std::max(rects[i].y1, 0);
        int32_t x1 = std::min(rects[i].x2, back->width), y1 = std::min(rects[i].y2, back->height);
        if (x0 < x1 && y0 < y1) {
            fill_rows(back, x0, y0, x1, y1, native);
            mark_rows(back, y0, y1);
        }
    }
    return D3D_OK;
}

HRESULT Direct3DDevice9::set_render_state(D3DRENDERSTATETYPE state, uint32_t value) {
    if (uint32_t(state) >= 256) return D3DERR_INVALIDCALL;
    render_states[state] = value;
    return D3D_OK;
}

uint32_t Direct3DDevice9::get_render_state(D3DRENDERSTATETYPE state) const {
    return uint32_t(state) < 256 ? render_states[state] : 0;
}

HRESULT Direct3DDevice9::set_texture_stage_state(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value) {
    if (stage >= 8 || uint32_t(type) >= 33) return D3DERR_INVALIDCALL;
    stage_states[stage][type] = value;
    return D3D_OK;
}

HRESULT Direct3DDevice9::set_sampler_state(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t value) {
    if (sampler >= 16 || uint32_t(type) >= 14) return D3DERR_INVALIDCALL;
    sampler_states[sampler][type] = value;
    return D3D_OK;
}

HRESULT Direct3DDevice9::set_software_vertex_processing(BOOL software) {
    software_vp = software ? 1 : 0;
    return D3D_OK;
}

HRESULT Direct3DDevice9::set_fvf(uint32_t format) {
    if (format != (D3DFVF_XYZRHW | D3DFVF_TEX1) && format != (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1))
        return D3DERR_INVALIDCALL;
    fvf = format;
    return D3D_OK;
}

HRESULT Direct3DDevice9::set_texture(uint32_t stage, Direct3DTexture9* texture) {
    if (stage >= 8) return D3DERR_INVALIDCALL;
    if (stage != 0) return D3D_OK;  // only stage 0 is ever sampled
    if (texture) texture->add_ref();
    if (texture0) texture0->release();
    texture0 = texture;
    return D3D_OK;
}

HRESULT Direct3DDevice9::draw_primitive_up(D3DPRIMITIVETYPE type, uint32_t primitive_count, const void* vertices,
                                           uint32_t stride) {
    const bool has_diffuse = fvf == (D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    const uint32_t expected = has_diffuse ? 28 : 24;
    if (type != D3DPT_TRIANGLESTRIP || primitive_count != 2 || !vertices || fvf == 0 || stride != expected)
        return D3DERR_INVALIDCALL;
    const VideoDriver* v = video();
    if (!v || v->device_state() != D3D_OK) return D3D_OK;  // a lost device draws nothing, silently

    QuadVertex q[4];
    const uint8_t* bytes = static_cast<const uint8_t*>(vertices);
    for (int i = 0; i < 4; i++) {
        const uint8_t* p = bytes + size_t(i) * stride;
        std::memcpy(&q[i].x, p, 4);
        std::memcpy(&q[i].y, p + 4, 4);
        q[i].diffuse = 0xFFFFFFFFu;
        if (has_diffuse) std::memcpy(&q[i].diffuse, p + 16, 4);
        std::memcpy(&q[i].u, p + (has_diffuse ? 20 : 16), 4);
        std::memcpy(&q[i].v, p + (has_diffuse ? 24 : 20), 4);
    }
    // The callers draw screen-aligned rectangles: top-left, top-right, bottom-left, bottom-right.
    if (q[0].y != q[1].y || q[2].y != q[3].y || q[0].x != q[2].x || q[1].x != q[3].x || q[0].u != q[2].u ||
        q[1].u != q[3].u || q[0].v != q[1].v || q[2].v != q[3].v)
        return D3DERR_INVALIDCALL;
    double ex0 = q[0].x, ex1 = q[1].x, eu0 = q[0].u, eu1 = q[1].u;
    double ey0 = q[0].y, ey1 = q[2].y, ev0 = q[0].v, ev1 = q[2].v;
    if (ex1 < ex0) std::swap(ex0, ex1), std::swap(eu0, eu1);
    if (ey1 < ey0) std::swap(ey0, ey1), std::swap(ev0, ev1);
    if (!(ex1 > ex0) || !(ey1 > ey0)) return D3D_OK;
    // Covered pixels: centres p with e0 <= p < e1 (top-left rule), clipped to the surface.
    double cx0 = std::max(std::ceil(ex0), 0.0), cx1 = std::min(std::ceil(ex1), double(back->width));
    double cy0 = std::max(std::ceil(ey0), 0.0), cy1 = std::min(std::ceil(ey1), double(back->height));
    if (cx0 >= cx1 || cy0 >= cy1) return D3D_OK;
    Direct3DTexture9* texture = texture0;
    Direct3DSurface9* tex = texture ? texture->level0 : nullptr;
    if (tex && (tex->locked || tex->dc)) return D3DERR_INVALIDCALL;
    if (back->locked || back->dc) return D3DERR_INVALIDCALL;

    D3DQuad quad = {};
    quad.texture = texture;
    quad.texture_id = texture ? texture->id : 0;
    quad.serial = texture ? texture->serial : 0;
    quad.px0 = int32_t(cx0), quad.px1 = int32_t(cx1), quad.py0 = int32_t(cy0), quad.py1 = int32_t(cy1);
    quad.ex0 = ex0, quad.ex1 = ex1, quad.eu0 = eu0, quad.eu1 = eu1;
    quad.ey0 = ey0, quad.ey1 = ey1, quad.ev0 = ev0, quad.ev1 = ev1;
    quad.diffuse = q[0].diffuse;
    quad.colour_op = stage_states[0][D3DTSS_COLOROP];
    quad.colour_arg1 = stage_states[0][D3DTSS_COLORARG1];
    quad.colour_arg2 = stage_states[0][D3DTSS_COLORARG2];
    quad.alpha_op = stage_states[0][D3DTSS_ALPHAOP];
    quad.alpha_arg1 = stage_states[0][D3DTSS_ALPHAARG1];
    quad.alpha_arg2 = stage_states[0][D3DTSS_ALPHAARG2];
    quad.blending = render_states[D3DRS_ALPHABLENDENABLE] != 0;
    quad.src_factor = render_states[D3DRS_SRCBLEND];
    quad.dst_factor = render_states[D3DRS_DESTBLEND];

    // Right after a whole-surface Clear the quad waits with it (see resolve).
    D3DBufferHistory* h = back->history;
    if (h && h->pending && h->next.quad_count < D3D_BASE_QUADS) {
        if (texture) texture->add_ref();
        h->next.quads[h->next.quad_count++] = quad;
        return D3D_OK;
    }
    resolve(back);
    mark_rows(back, quad.py0, quad.py1);
    return draw_quad(back, quad, nullptr, nullptr) ? D3D_OK : E_OUTOFMEMORY;
}

HRESULT Direct3DDevice9::create_texture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, D3DFORMAT format,
                                        D3DPOOL pool, Direct3DTexture9** texture, void* shared_handle) {
    if (!texture) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (levels > 1 || usage != 0 || shared_handle || !side_ok(width) || !side_ok(height) || !d3d_format_bytes(format) ||
        (pool != D3DPOOL_MANAGED && pool != D3DPOOL_SYSTEMMEM))
        return D3DERR_INVALIDCALL;
    Direct3DTexture9* t = new (std::nothrow) Direct3DTexture9();
    if (!t) return E_OUTOFMEMORY;
    t->sampler = new (std::nothrow) D3DTextureSampler();
    t->level0 = surface_new(int32_t(width), int32_t(height), format, pool);
    if (!t->sampler || !t->level0) {
        delete t->sampler;
        surface_destroy(t->level0);
        delete t;
        return E_OUTOFMEMORY;
    }
    t->sampler->classified_serial = ~0u;
    t->sampler->cache_serial = ~0u;
    static uint64_t next_texture_id = 0;
    t->id = ++next_texture_id;
    t->refs = 1;
    t->level0->refs = 0;  // the level's references are the texture's
    t->level0->texture = t;
    classify(t);
    *texture = t;
    return D3D_OK;
}

HRESULT Direct3DDevice9::create_offscreen_plain_surface(uint32_t width, uint32_t height, D3DFORMAT format, D3DPOOL pool,
                                                        Direct3DSurface9** surface, void* shared_handle) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (shared_handle || !side_ok(width) || !side_ok(height) || !d3d_format_bytes(format) ||
        (pool != D3DPOOL_SYSTEMMEM && pool != D3DPOOL_DEFAULT && pool != D3DPOOL_SCRATCH))
        return D3DERR_INVALIDCALL;
    Direct3DSurface9* s = surface_new(int32_t(width), int32_t(height), format, pool);
    if (!s) return E_OUTOFMEMORY;
    *surface = s;
    return D3D_OK;
}

// --- textures ----------------------------------------------------------------------------------

HRESULT Direct3DTexture9::get_surface_level(uint32_t level, Direct3DSurface9** surface) {
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (level != 0) return D3DERR_INVALIDCALL;
    add_ref();
    *surface = level0;
    return D3D_OK;
}

uint32_t Direct3DTexture9::add_ref() { return ++refs; }

uint32_t Direct3DTexture9::release() {
    uint32_t left = --refs;
    if (left == 0) texture_destroy(this);
    return left;
}

// --- surfaces ----------------------------------------------------------------------------------

uint32_t Direct3DSurface9::add_ref() {
    if (texture) return texture->add_ref();
    return ++refs;
}

uint32_t Direct3DSurface9::release() {
    if (texture) return texture->release();
    if (refs == 0) return 0;
    uint32_t left = --refs;
    if (left == 0 && !device) surface_destroy(this);  // back buffers live as long as their device
    return left;
}

HRESULT Direct3DSurface9::get_desc(D3DSURFACE_DESC* desc) {
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = {format, pool, uint32_t(width), uint32_t(height)};
    return D3D_OK;
}

HRESULT Direct3DSurface9::lock_rect(D3DLOCKED_RECT* out, const RECT* rect, uint32_t flags) {
    if (!out || locked || dc) return D3DERR_INVALIDCALL;
    int32_t x = 0, y = 0;
    if (rect) {
        if (rect->left < 0 || rect->top < 0 || rect->right > width || rect->bottom > height || rect->left >= rect->right ||
            rect->top >= rect->bottom)
            return D3DERR_INVALIDCALL;
        x = rect->left, y = rect->top;
    }
    resolve(this);
    const bool writing = !(flags & D3DLOCK_READONLY);
    if (writing) {
        before_texture_write(this);
        if (history) mark_rows(this, y, rect ? rect->bottom : height);
    }
    locked = writing ? 1 : 2;
    out->Pitch = pitch;
    out->pBits = pixels + intptr_t(y) * pitch + intptr_t(x) * d3d_format_bytes(format);
    return D3D_OK;
}

HRESULT Direct3DSurface9::unlock_rect() {
    if (!locked) return D3DERR_INVALIDCALL;
    bool wrote = locked == 1;
    locked = 0;
    if (wrote) texture_written(this);
    return D3D_OK;
}

HRESULT Direct3DSurface9::get_dc(HDC* out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (locked || dc) return D3DERR_INVALIDCALL;
    resolve(this);
    before_texture_write(this);
    // Rows the context writes are marked in the history of a flip-chain buffer.
    dc = gdi_create_surface_dc(pixels, width, height, pitch, gdi_layout_of(format), history ? history->written : nullptr);
    if (!dc) return E_OUTOFMEMORY;
    *out = dc;
    return D3D_OK;
}

HRESULT Direct3DSurface9::release_dc(HDC given) {
    if (!dc || given != dc) return D3DERR_INVALIDCALL;
    gdi_delete_dc(dc);
    dc = nullptr;
    texture_written(this);
    return D3D_OK;
}
