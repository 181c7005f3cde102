// Sprites: numbered pictures held as managed Direct3D textures of exactly their own size, drawn on
// the back buffer as textured quads with alpha blending, transparent where the colour key matches.
// Loading from encoded data in memory, blank creation, drawing, 2D drawing onto a sprite through a
// GDI copy that is written back into the texture, grabbing a rectangle of the screen, saving
// through an image encoder, freeing.
// Relies on: display.h (device, back buffer, sprite table, state cache), the Direct3D 9 and GDI
// stand-ins, draw.h (DrawTarget), the image codecs (decode and encode of raw pixel buffers).
#pragma once
#include <cstdint>
#include <memory>

#include "runtime/media/draw.h"
#include "runtime/platform/d3d/d3d9.h"

// Creation flags.
enum : int32_t {
    SPRITE_EMPTY_ONLY = 2,   // exactly 2: loading stops after creating the empty sprite
    SPRITE_FOR_3D = 4,       // usable by 3D sprites
    SPRITE_KEEP_ALPHA = 8,   // keep the image's alpha (only with SPRITE_FOR_3D)
};

// Surface kinds.
enum : int32_t {
    SPRITE_KIND_16 = 2,  // texture D3DFMT_A1R5G5B5
    SPRITE_KIND_32 = 3,  // texture D3DFMT_A8R8G8B8
};

// Largest encoded picture handed to the decoders.
constexpr int32_t SPRITE_LOAD_LIMIT = 10000000;

struct SpriteSurface {
    int32_t kind;
    int32_t width, height;
    int32_t locked;
    int32_t colour_key;  // runtime colour whose pixels are transparent; -1 at creation
    Direct3DTexture9* texture;
    Direct3DSurface9* level0;
    Direct3DSurface9* gdi_copy;  // system-memory copy for GDI, made on first use
    HDC gdi_dc;                  // its context while the 2D library draws
};

struct SpriteUV {
    float u, v;
};

struct SpriteRecord {
    SpriteSurface* surface;  // non-null while the slot is in use
    int32_t width, height;
    int32_t depth;  // 16 or 32
    int32_t flags;
    SpriteUV uv[4];  // top-left, top-right, bottom-left, bottom-right
};

// The sprite library's process-wide record (the table itself is DisplayState::sprites).
struct SpriteState {
    SpriteSurface* current;  // the current drawing sprite: target operations act on it
};
extern SpriteState sprite_state;

SpriteRecord* sprite_load_from_memory(intptr_t number, const void* data, int32_t data_size, int32_t flags);
SpriteRecord* sprite_create(intptr_t number, int32_t width, int32_t height);
DrawTarget* sprite_output(intptr_t number);
void sprite_display(intptr_t number, int32_t x, int32_t y);
SpriteRecord* sprite_grab(intptr_t number, int32_t x, int32_t y, int32_t width, int32_t height);
int sprite_save(intptr_t number, const char16_t* file_name, uint32_t encoder);
int sprite_free(intptr_t number);

// A sprite's pixels exactly as sprite_save hands them to an encoder (24-bit rows of blue, green,
// red, bottom row first, `row` = width x 3 rounded up to 4 bytes apart), in memory of their own
// (not the object heap), so that they may leave the game thread. Empty (null pixels) when the
// sprite is missing, empty-only, of another depth, cannot be locked or no memory is left.
struct SpritePixels24 {
    std::unique_ptr<uint8_t[]> pixels;
    int32_t width = 0, height = 0, row = 0;
};
SpritePixels24 sprite_copy24(intptr_t number);

// Internal operations (also used by 3D sprites and tests).
int sprite_surface_create(SpriteRecord* record, int32_t width, int32_t height, int32_t depth, int32_t flags);
void* sprite_lock(SpriteSurface* surface, int read_only, int32_t* pitch);
void sprite_unlock(SpriteSurface* surface);
void sprite_apply_colour_key(SpriteSurface* surface, int32_t key);
HDC sprite_get_dc(SpriteSurface* surface);
void sprite_release_dc(SpriteSurface* surface);
