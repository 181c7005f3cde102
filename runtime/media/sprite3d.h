// 3D sprites: numbered, stretchable views of sprites made with flag 4, drawn as quads of any size
// with a per-draw transparency that multiplies the texture's alpha, inside a block that switches
// the device between the 3D-sprite states and the default sprite states.
// Relies on: display.h (device, scene, state cache, default states, sprite table), sprite.h (the
// source sprite's surface), registry.h (the 3D-sprite table).
#pragma once
#include <cstdint>

#include "runtime/foundation/registry.h"
#include "runtime/media/sprite.h"

constexpr uint32_t SPRITE3D_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;  // 0x144

struct Sprite3DVertex {  // 28 bytes, layout SPRITE3D_FVF
    float x, y;
    float z;
    float rhw;
    D3DCOLOR diffuse;
    float u, v;
};
static_assert(sizeof(Sprite3DVertex) == 28, "vertex layout 0x144 is 28 bytes");

struct Sprite3DRecord {
    SpriteSurface* surface;  // the source sprite's surface (shared); non-null while in use
    Sprite3DVertex quad[4];  // local coordinates, rebuilt lazily from width and height
    Sprite3DVertex work[4];  // quad moved to the draw position
    int32_t width, height;   // displayed size
    int32_t quad_valid;
    intptr_t sprite_number;  // the source sprite's number: a draw checks it still holds `surface`
};

// The 3D-sprite library's process-wide record.
struct Sprite3DState {
    ObjectTable* table;     // 64 slots, free operation sprite3d_free
    int32_t in_block;       // between sprite3d_begin and sprite3d_end
    int32_t states_active;  // the device holds the 3D-sprite states
    int32_t src_blend, dest_blend;
};
extern Sprite3DState sprite3d_state;

int sprite3d_init();
void sprite3d_free_all();  // the library's release: frees every 3D sprite and the table
Sprite3DRecord* sprite3d_create(intptr_t number, intptr_t sprite_number);
void sprite3d_zoom(intptr_t number, int32_t width, int32_t height);
void sprite3d_display(intptr_t number, int32_t x, int32_t y);
int sprite3d_begin();
void sprite3d_end();

// Internal operations.
int sprite3d_free(intptr_t number);
void sprite3d_draw(intptr_t number, int32_t x, int32_t y, int32_t transparency);
int sprite3d_apply_states();
void sprite3d_restore_states();
