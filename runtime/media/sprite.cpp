// Sprites: loading, creation, drawing, the GDI copy and its write-back, grabbing and saving.
// Relies on: display.h (device, back buffer, output size, sprite table, state cache), sprite3d.h
// (the 3D-sprite states a sprite draw switches back from), the image codecs, d3d9.h, gdi.h,
// draw.h, registry.h (records and buffers from the object heap).
#include "runtime/media/sprite.h"

#include <cstring>
#include <new>
#include <utility>

#include "runtime/foundation/heap.h"
#include "runtime/foundation/registry.h"
#include "runtime/media/display.h"
#include "runtime/media/image/image.h"
#include "runtime/media/sprite3d.h"

SpriteState sprite_state = {};

namespace {
constexpr int32_t kDefaultColourKey = 0;  // black
constexpr uint32_t kSpriteFvf = D3DFVF_XYZRHW | D3DFVF_TEX1;
constexpr SpriteUV kCornerUV[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};

// Texture and GDI-copy formats by surface kind.
struct SurfaceFormats {
    int32_t kind;
    int32_t depth;
    D3DFORMAT texture;
    D3DFORMAT gdi_copy;
    int32_t bytes;
};
constexpr SurfaceFormats kSurfaceFormats[] = {
    {SPRITE_KIND_16, 16, D3DFMT_A1R5G5B5, D3DFMT_X1R5G5B5, 2},
    {SPRITE_KIND_32, 32, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, 4},
};

const SurfaceFormats& formats_of(int32_t kind) { return kind == SPRITE_KIND_16 ? kSurfaceFormats[0] : kSurfaceFormats[1]; }

// The colour-key rule. 32-bit: a pixel whose colour bits equal the key (as 0x00RRGGBB) gets alpha 0,
// every other alpha 0xFF. 16-bit: a pixel whose 15 colour bits equal the key gets bit 15 clear,
// every other bit 15 set; the key -1 (none) matches no pixel.
uint32_t key_32(int32_t key) { return gdi_colour_swap(uint32_t(key)); }

uint32_t key_16(int32_t key) {
    if (key == -1) return 0x10000u;  // outside 15 bits: matches nothing
    uint32_t r = uint32_t(key) & 0xFF, g = (uint32_t(key) >> 8) & 0xFF, b = (uint32_t(key) >> 16) & 0xFF;
    return ((r & 0xF8) << 7) | ((g & 0xF8) << 2) | (b >> 3);
}

void key_row_32(uint32_t* row, const uint32_t* source, int32_t width, uint32_t key) {
    for (int32_t x = 0; x < width; ++x) {
        uint32_t colour = source[x] & 0x00FFFFFFu;
        row[x] = colour == key ? colour : colour | 0xFF000000u;
    }
}

void key_row_16(uint16_t* row, const uint16_t* source, int32_t width, uint32_t key) {
    for (int32_t x = 0; x < width; ++x) {
        uint32_t colour = source[x] & 0x7FFFu;
        row[x] = uint16_t(colour == key ? colour : colour | 0x8000u);
    }
}

// Rewrites rows of `surface` from `source` (same kind of pixels) by the colour-key rule.
void key_rows(const SpriteSurface* surface, uint8_t* dest, int32_t dest_pitch, const uint8_t* source,
              int32_t source_pitch, int32_t key) {
    for (int32_t y = 0; y < surface->height; ++y) {
        uint8_t* d = dest + size_t(y) * size_t(dest_pitch);
        const uint8_t* s = source + size_t(y) * size_t(source_pitch);
        if (surface->kind == SPRITE_KIND_32)
            key_row_32(reinterpret_cast<uint32_t*>(d), reinterpret_cast<const uint32_t*>(s), surface->width, key_32(key));
        else
            key_row_16(reinterpret_cast<uint16_t*>(d), reinterpret_cast<const uint16_t*>(s), surface->width, key_16(key));
    }
}

void release_surface_objects(SpriteSurface* surface) {
    if (surface->gdi_dc && surface->gdi_copy) surface->gdi_copy->release_dc(surface->gdi_dc);
    surface->gdi_dc = nullptr;
    sprite_unlock(surface);
    if (surface->gdi_copy) surface->gdi_copy->release();
    if (surface->level0) surface->level0->release();
    if (surface->texture) surface->texture->release();
    surface->gdi_copy = nullptr;
    surface->level0 = nullptr;
    surface->texture = nullptr;
}

// A record taken for AUTO_NUMBER that stayed empty is given back, so failed loads do not pile up
// empty list nodes; a numbered slot simply stays empty.
SpriteRecord* abandon(SpriteRecord* record, intptr_t number) {
    if (record && number == AUTO_NUMBER && !record->surface)
        obj_release(display_state.sprites, reinterpret_cast<intptr_t>(record));
    return nullptr;
}

SpriteRecord* find_sprite(intptr_t number) {
    return static_cast<SpriteRecord*>(obj_find_checked(display_state.sprites, number));
}

// Converts one decoded row (24-bit blue, green, red or 32-bit blue, green, red, alpha) into texture pixels.
void convert_row(uint8_t* dest, const uint8_t* source, int32_t width, int32_t source_bytes, int32_t kind,
                 bool keep_alpha) {
    if (kind == SPRITE_KIND_32) {
        auto* d = reinterpret_cast<uint32_t*>(dest);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = source + size_t(x) * size_t(source_bytes);
            uint32_t alpha = keep_alpha ? p[3] : 0;
            d[x] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | alpha << 24;
        }
    } else {
        auto* d = reinterpret_cast<uint16_t*>(dest);
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = source + size_t(x) * size_t(source_bytes);
            d[x] = uint16_t((uint32_t(p[2] & 0xF8) << 7) | (uint32_t(p[1] & 0xF8) << 2) | (p[0] >> 3));
        }
    }
}

// --- the drawing target of a sprite: it acts on the current drawing sprite --------------------
HDC sprite_target_get_dc(DrawTarget* target) {
    SpriteSurface* surface = sprite_state.current;
    if (!target || !surface) return nullptr;
    if (target->pixels) {
        sprite_unlock(surface);
        target->pixels = nullptr;
    }
    target->dc = sprite_get_dc(surface);
    return target->dc;
}

void* sprite_target_lock(DrawTarget* target, int32_t* pitch) {
    SpriteSurface* surface = sprite_state.current;
    if (!target || !surface) return nullptr;
    if (target->dc) {
        sprite_release_dc(surface);
        target->dc = nullptr;
    }
    if (target->pixels) {
        if (pitch) *pitch = target->pitch;
        return target->pixels;
    }
    int32_t locked_pitch = 0;
    target->pixels = sprite_lock(surface, 0, &locked_pitch);
    if (target->pixels) target->pitch = locked_pitch;
    if (pitch) *pitch = locked_pitch;
    return target->pixels;
}

void sprite_target_release(DrawTarget* target, int32_t) {
    if (!target) return;
    SpriteSurface* surface = sprite_state.current;
    if (surface) {
        if (target->dc) sprite_release_dc(surface);
        if (target->pixels) sprite_unlock(surface);
    }
    target->dc = nullptr;
    target->pixels = nullptr;
}
}  // namespace

// --- internal operations ------------------------------------------------------------------------
int sprite_surface_create(SpriteRecord* record, int32_t width, int32_t height, int32_t depth, int32_t flags) {
    if (!record) return 0;
    if ((flags & SPRITE_KEEP_ALPHA) && !(flags & SPRITE_FOR_3D)) return 0;
    Direct3DDevice9* device = display_state.device;
    if (!device || width <= 0 || height <= 0) return 0;
    const SurfaceFormats& formats = formats_of(depth > 16 ? SPRITE_KIND_32 : SPRITE_KIND_16);

    Direct3DTexture9* texture = nullptr;
    if (device->create_texture(uint32_t(width), uint32_t(height), 1, 0, formats.texture, D3DPOOL_MANAGED, &texture,
                               nullptr) != D3D_OK ||
        !texture)
        return 0;
    Direct3DSurface9* level0 = nullptr;
    if (texture->get_surface_level(0, &level0) != D3D_OK || !level0) {
        texture->release();
        return 0;
    }
    auto* surface = static_cast<SpriteSurface*>(obj_alloc(sizeof(SpriteSurface), nullptr));
    if (!surface) {
        level0->release();
        texture->release();
        return 0;
    }
    surface->kind = formats.kind;
    surface->width = width;
    surface->height = height;
    surface->colour_key = -1;
    surface->texture = texture;
    surface->level0 = level0;

    record->surface = surface;
    record->width = width;
    record->height = height;
    record->depth = formats.depth;
    record->flags = flags;
    std::memcpy(record->uv, kCornerUV, sizeof kCornerUV);
    return 1;
}

void* sprite_lock(SpriteSurface* surface, int read_only, int32_t* pitch) {
    if (!surface || !surface->level0) return nullptr;
    D3DLOCKED_RECT locked = {};
    if (surface->level0->lock_rect(&locked, nullptr, read_only ? D3DLOCK_READONLY : 0) != D3D_OK) return nullptr;
    surface->locked = 1;
    if (pitch) *pitch = locked.Pitch;
    return locked.pBits;
}

void sprite_unlock(SpriteSurface* surface) {
    if (!surface || !surface->locked) return;
    surface->level0->unlock_rect();
    surface->locked = 0;
}

void sprite_apply_colour_key(SpriteSurface* surface, int32_t key) {
    if (!surface || surface->colour_key == key) return;
    int32_t pitch = 0;
    auto* pixels = static_cast<uint8_t*>(sprite_lock(surface, 0, &pitch));
    if (!pixels) return;
    key_rows(surface, pixels, pitch, pixels, pitch, key);
    surface->colour_key = key;
    sprite_unlock(surface);
}

HDC sprite_get_dc(SpriteSurface* surface) {
    if (!surface) return nullptr;
    if (surface->gdi_dc) return surface->gdi_dc;
    const SurfaceFormats& formats = formats_of(surface->kind);
    if (!surface->gdi_copy) {
        if (!display_state.device) return nullptr;
        if (display_state.device->create_offscreen_plain_surface(uint32_t(surface->width), uint32_t(surface->height),
                                                                 formats.gdi_copy, D3DPOOL_SYSTEMMEM,
                                                                 &surface->gdi_copy, nullptr) != D3D_OK)
            surface->gdi_copy = nullptr;
        if (!surface->gdi_copy) return nullptr;
    }
    int32_t source_pitch = 0;
    auto* source = static_cast<const uint8_t*>(sprite_lock(surface, 1, &source_pitch));
    if (!source) return nullptr;
    D3DLOCKED_RECT copy = {};
    if (surface->gdi_copy->lock_rect(&copy, nullptr, 0) != D3D_OK) {
        sprite_unlock(surface);
        return nullptr;
    }
    size_t row_bytes = size_t(surface->width) * size_t(formats.bytes);
    for (int32_t y = 0; y < surface->height; ++y)
        std::memcpy(static_cast<uint8_t*>(copy.pBits) + size_t(y) * size_t(copy.Pitch),
                    source + size_t(y) * size_t(source_pitch), row_bytes);
    surface->gdi_copy->unlock_rect();
    sprite_unlock(surface);
    HDC dc = nullptr;
    if (surface->gdi_copy->get_dc(&dc) != D3D_OK) dc = nullptr;
    surface->gdi_dc = dc;
    return dc;
}

void sprite_release_dc(SpriteSurface* surface) {
    if (!surface || !surface->gdi_dc) return;
    surface->gdi_copy->release_dc(surface->gdi_dc);
    surface->gdi_dc = nullptr;
    D3DLOCKED_RECT copy = {};
    if (surface->gdi_copy->lock_rect(&copy, nullptr, D3DLOCK_READONLY) != D3D_OK) return;
    int32_t pitch = 0;
    auto* pixels = static_cast<uint8_t*>(sprite_lock(surface, 0, &pitch));
    if (pixels) {
        key_rows(surface, pixels, pitch, static_cast<const uint8_t*>(copy.pBits), copy.Pitch, surface->colour_key);
        sprite_unlock(surface);
    }
    surface->gdi_copy->unlock_rect();
}

// --- operations ---------------------------------------------------------------------------------
SpriteRecord* sprite_load_from_memory(intptr_t number, const void* data, int32_t data_size, int32_t flags) {
    auto* record = static_cast<SpriteRecord*>(obj_slot_for(display_state.sprites, number));
    if (!record) return nullptr;
    if (!data || data_size <= 0) return abandon(record, number);
    if (!image_decode_open(data, data_size < SPRITE_LOAD_LIMIT ? data_size : SPRITE_LOAD_LIMIT))
        return abandon(record, number);
    int32_t width = image_decode_width(), height = image_decode_height(), bits = image_decode_depth();
    int32_t source_bytes = bits == 32 ? 4 : 3;
    int32_t depth = display_state.display_depth <= 16 ? 16 : 32;

    // The surface is made before the decode buffer, so that a picture the device cannot hold never
    // costs the buffer.
    if (!sprite_surface_create(record, width, height, depth, flags)) {
        image_decode_close();
        return abandon(record, number);
    }
    if (flags == SPRITE_EMPTY_ONLY) {
        image_decode_close();
        return nullptr;
    }
    if ((flags & SPRITE_KEEP_ALPHA) && bits < 32) flags &= ~SPRITE_KEEP_ALPHA;
    bool keep_alpha = (flags & SPRITE_KEEP_ALPHA) != 0;

    size_t row_bytes = bits == 32 ? size_t(width) * 4 : (size_t(width) * 3 + 3) & ~size_t(3);
    intptr_t id = number == AUTO_NUMBER ? reinterpret_cast<intptr_t>(record) : number;
    auto* buffer = static_cast<uint8_t*>(heap_alloc(runtime_heap, (size_t(height) + 1) * row_bytes));
    if (!buffer) {
        image_decode_close();
        sprite_free(id);
        return nullptr;
    }
    if (!image_decode_read(buffer, int32_t(row_bytes), 0)) {
        // Corrupt or truncated data: no sprite rather than a half-decoded one reported as loaded.
        heap_free(runtime_heap, buffer);
        sprite_free(id);
        return nullptr;
    }

    SpriteSurface* surface = record->surface;
    int32_t pitch = 0;
    auto* pixels = static_cast<uint8_t*>(sprite_lock(surface, 0, &pitch));
    if (pixels) {
        for (int32_t y = 0; y < height; ++y)
            convert_row(pixels + size_t(y) * size_t(pitch), buffer + size_t(y) * row_bytes, width, source_bytes,
                        surface->kind, keep_alpha);
        sprite_unlock(surface);
    }
    if (!keep_alpha) sprite_apply_colour_key(surface, kDefaultColourKey);
    heap_free(runtime_heap, buffer);
    return record;
}

SpriteRecord* sprite_create(intptr_t number, int32_t width, int32_t height) {
    auto* record = static_cast<SpriteRecord*>(obj_slot_for(display_state.sprites, number));
    if (!record) return nullptr;
    if (!sprite_surface_create(record, width, height, display_state.display_depth, 0)) return abandon(record, number);
    SpriteSurface* surface = record->surface;
    if (HDC dc = sprite_get_dc(surface)) {
        RECT rect;
        set_rect(&rect, 0, 0, width, height);
        HBRUSH brush = gdi_create_solid_brush(0);
        gdi_fill_rect(dc, &rect, brush);
        gdi_delete_object(brush);
        sprite_release_dc(surface);
    }
    sprite_apply_colour_key(surface, kDefaultColourKey);
    return record;
}

DrawTarget* sprite_output(intptr_t number) {
    SpriteRecord* record = find_sprite(number);
    if (!record) return nullptr;
    SpriteSurface* surface = record->surface;
    sprite_state.current = surface;
    DrawTarget* target = draw_target_create();
    if (!target) return nullptr;
    int32_t pitch = 0;
    if (sprite_lock(surface, 0, &pitch)) sprite_unlock(surface);
    target->pitch = pitch;
    target->dc = sprite_get_dc(surface);
    if (!target->dc) return target;
    target->kind = DRAW_TARGET_SURFACE;
    target->pixel_format = surface->kind == SPRITE_KIND_16 ? PIXEL_FORMAT_X1R5G5B5 : PIXEL_FORMAT_X8R8G8B8;
    target->width = surface->width;
    target->height = surface->height;
    target->bits_per_pixel = surface->kind == SPRITE_KIND_16 ? 16 : 32;
    target->get_dc = sprite_target_get_dc;
    target->lock = sprite_target_lock;
    target->release = sprite_target_release;
    return target;
}

void sprite_display(intptr_t number, int32_t x, int32_t y) {
    SpriteRecord* record = find_sprite(number);
    if (!record) return;
    if (!screen_begin_scene()) return;
    if (sprite3d_state.states_active) sprite3d_restore_states();

    RECT sprite_rect, output_rect, visible;
    set_rect(&sprite_rect, x, y, x + record->width, y + record->height);
    set_rect(&output_rect, 0, 0, display_state.output_width, display_state.output_height);
    if (!intersect_rect(&visible, &sprite_rect, &output_rect)) return;

    Direct3DDevice9* device = display_state.device;
    int32_t* cache = display_state.state_cache;
    if (cache[STATE_CACHE_ALPHA_BLEND] != 1) {
        device->set_render_state(D3DRS_ALPHABLENDENABLE, 1);
        cache[STATE_CACHE_ALPHA_BLEND] = 1;
    }
    if (cache[STATE_CACHE_SRC_BLEND] != D3DBLEND_SRCALPHA) {
        device->set_render_state(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        cache[STATE_CACHE_SRC_BLEND] = D3DBLEND_SRCALPHA;
    }
    if (cache[STATE_CACHE_DEST_BLEND] != D3DBLEND_INVSRCALPHA) {
        device->set_render_state(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        cache[STATE_CACHE_DEST_BLEND] = D3DBLEND_INVSRCALPHA;
    }
    if (cache[STATE_CACHE_FVF] != int32_t(kSpriteFvf)) {
        device->set_fvf(kSpriteFvf);
        cache[STATE_CACHE_FVF] = int32_t(kSpriteFvf);
    }

    float left = float(x) - 0.5f, right = float(x + record->width) - 0.5f;
    float top = float(y) - 0.5f, bottom = float(y + record->height) - 0.5f;
    const float xs[4] = {left, right, left, right};
    const float ys[4] = {top, top, bottom, bottom};
    D3DVertexTex vertices[4];
    for (int i = 0; i < 4; ++i) vertices[i] = {xs[i], ys[i], 0.0f, 1.0f, record->uv[i].u, record->uv[i].v};
    device->set_texture(0, record->surface->texture);
    device->draw_primitive_up(D3DPT_TRIANGLESTRIP, 2, vertices, sizeof(D3DVertexTex));
}

SpriteRecord* sprite_grab(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (x < 0 || y < 0 || int64_t(x) + width > display_state.output_width ||
        int64_t(y) + height > display_state.output_height)
        return nullptr;
    int32_t depth = display_state.display_depth;
    auto* record = find_sprite(number);
    if (record && (record->width != width || record->height != height || record->depth != (depth > 16 ? 32 : 16))) {
        sprite_free(number);
        record = nullptr;
    }
    if (!record) {
        record = static_cast<SpriteRecord*>(obj_slot_for(display_state.sprites, number));
        if (!record) return nullptr;
        if (!sprite_surface_create(record, width, height, depth, 0)) return abandon(record, number);
    }
    SpriteSurface* surface = record->surface;

    screen_end_scene();
    Direct3DSurface9* back_buffer = display_state.back_buffer;
    HDC screen_dc = nullptr;
    if (!back_buffer || back_buffer->get_dc(&screen_dc) != D3D_OK || !screen_dc) return nullptr;
    HDC sprite_dc = sprite_get_dc(surface);
    if (sprite_dc) {
        gdi_bit_blt(sprite_dc, 0, 0, width, height, screen_dc, x, y, SRCCOPY);
        sprite_release_dc(surface);
    }
    back_buffer->release_dc(screen_dc);
    sprite_apply_colour_key(surface, kDefaultColourKey);
    return sprite_dc ? record : nullptr;
}

namespace {
// The sprite's pixels as sprite_save hands them to an encoder: 24-bit rows (blue, green, red),
// bottom row first, each `row` bytes apart. 0 when the sprite has another depth or cannot be locked.
int copy_bottom_up24(SpriteSurface* surface, uint8_t* buffer, size_t row) {
    if (surface->kind != SPRITE_KIND_32 && surface->kind != SPRITE_KIND_16) return 0;
    int32_t width = surface->width, height = surface->height;
    int32_t pitch = 0;
    auto* pixels = static_cast<const uint8_t*>(sprite_lock(surface, 1, &pitch));
    if (!pixels) return 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* source = pixels + size_t(y) * size_t(pitch);
        uint8_t* dest = buffer + size_t(height - 1 - y) * row;  // bottom row first
        for (int32_t x = 0; x < width; ++x, dest += 3) {
            if (surface->kind == SPRITE_KIND_32) {
                const uint8_t* p = source + size_t(x) * 4;
                dest[0] = p[0];
                dest[1] = p[1];
                dest[2] = p[2];
            } else {
                uint32_t p = reinterpret_cast<const uint16_t*>(source)[x];
                uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
                dest[0] = uint8_t(b * 8);
                dest[1] = uint8_t(g * 8 + (g & 1));
                dest[2] = uint8_t(r * 8 + (r & 1));
            }
        }
    }
    sprite_unlock(surface);
    return 1;
}

size_t row_bytes24(int32_t width) { return (size_t(width) * 3 + 3) & ~size_t(3); }
}  // namespace

int sprite_save(intptr_t number, const char16_t* file_name, uint32_t encoder) {
    if (!file_name) return 0;
    SpriteRecord* record = find_sprite(number);
    if (!record || record->flags == SPRITE_EMPTY_ONLY) return 0;
    SpriteSurface* surface = record->surface;
    if (surface->kind != SPRITE_KIND_32 && surface->kind != SPRITE_KIND_16) return 0;
    int32_t width = surface->width, height = surface->height;
    size_t row = row_bytes24(width);
    auto* buffer = static_cast<uint8_t*>(heap_alloc(runtime_heap, (row + 1) * size_t(height)));
    if (!buffer) return 0;
    if (!copy_bottom_up24(surface, buffer, row)) {
        heap_free(runtime_heap, buffer);
        return 0;
    }
    int result = image_encode(file_name, buffer, encoder, width, height, int32_t(row), 24, IMAGE_BOTTOM_UP, 7);
    heap_free(runtime_heap, buffer);
    return result;
}

SpritePixels24 sprite_copy24(intptr_t number) {
    SpritePixels24 copy;
    SpriteRecord* record = find_sprite(number);
    if (!record || record->flags == SPRITE_EMPTY_ONLY) return copy;
    SpriteSurface* surface = record->surface;
    size_t row = row_bytes24(surface->width);
    std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[row * size_t(surface->height)]);
    if (!buffer || !copy_bottom_up24(surface, buffer.get(), row)) return copy;
    copy.pixels = std::move(buffer);
    copy.width = surface->width;
    copy.height = surface->height;
    copy.row = int32_t(row);
    return copy;
}

int sprite_free(intptr_t number) {
    SpriteRecord* record = find_sprite(number);
    if (!record) return 0;
    SpriteSurface* surface = record->surface;
    if (sprite_state.current == surface) sprite_state.current = nullptr;
    release_surface_objects(surface);
    obj_free(surface);
    obj_release(display_state.sprites, number);
    return 1;
}
