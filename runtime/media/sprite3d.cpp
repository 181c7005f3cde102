// 3D sprites: the table, creation over a sprite, zoom, the lazily rebuilt quad, the draw, and the
// switching between the 3D-sprite states and the default sprite states.
// Relies on: display.h, sprite.h, registry.h, d3d9.h.
#include "runtime/media/sprite3d.h"

#include <cstring>

#include "runtime/media/display.h"

Sprite3DState sprite3d_state = {};

namespace {
constexpr int32_t kSlots = 64;
constexpr D3DCOLOR kWhite = 0x00FFFFFFu;
// Texture coordinates of the strip's corners: top-left, top-right, bottom-left, bottom-right.
constexpr float kCornerU[4] = {0, 1, 0, 1};
constexpr float kCornerV[4] = {0, 0, 1, 1};

Sprite3DRecord* find(intptr_t number) {
    return static_cast<Sprite3DRecord*>(obj_find_checked(sprite3d_state.table, number));
}

void destroy_table() {
    ObjectTable* table = sprite3d_state.table;
    if (!table) return;
    obj_free_all(table);
    while (table->auto_list) obj_list_remove(&table->auto_list, obj_list_payload(table->auto_list));
    obj_free(table->slots);
    obj_free(table);
    sprite3d_state.table = nullptr;
}

// The source sprite still exists with the same surface (it may have been freed or replaced).
bool source_alive(const Sprite3DRecord* record) {
    auto* sprite = static_cast<SpriteRecord*>(obj_find_checked(display_state.sprites, record->sprite_number));
    return sprite && sprite->surface == record->surface && record->surface->texture;
}
}  // namespace

int sprite3d_init() {
    destroy_table();
    sprite3d_state.table = obj_table_create(int32_t(sizeof(Sprite3DRecord)), kSlots, sprite3d_free);
    sprite3d_state.in_block = 0;
    sprite3d_state.states_active = 0;
    sprite3d_state.src_blend = D3DBLEND_SRCALPHA;
    sprite3d_state.dest_blend = D3DBLEND_INVSRCALPHA;
    return sprite3d_state.table ? 1 : 0;
}

void sprite3d_free_all() {
    destroy_table();
    sprite3d_state = {};
}

int sprite3d_free(intptr_t number) {
    if (!find(number)) return 0;
    obj_release(sprite3d_state.table, number);
    return 1;
}

Sprite3DRecord* sprite3d_create(intptr_t number, intptr_t sprite_number) {
    auto* record = static_cast<Sprite3DRecord*>(obj_slot_for(sprite3d_state.table, number));
    if (!record) return nullptr;
    auto* sprite = static_cast<SpriteRecord*>(obj_find_checked(display_state.sprites, sprite_number));
    if (!sprite || !(sprite->flags & SPRITE_FOR_3D)) {
        // An AUTO_NUMBER record that stays empty goes back, so failures do not pile up list nodes.
        if (number == AUTO_NUMBER) obj_release(sprite3d_state.table, reinterpret_cast<intptr_t>(record));
        return nullptr;
    }
    record->surface = sprite->surface;
    record->sprite_number = sprite_number;
    record->width = sprite->width;
    record->height = sprite->height;
    std::memset(record->quad, 0, sizeof record->quad);
    for (int i = 0; i < 4; ++i) {
        record->quad[i].z = 0.0f;
        record->quad[i].rhw = 1.0f;
        record->quad[i].diffuse = kWhite;
        record->quad[i].u = kCornerU[i];
        record->quad[i].v = kCornerV[i];
    }
    record->quad_valid = 0;
    return record;
}

void sprite3d_zoom(intptr_t number, int32_t width, int32_t height) {
    Sprite3DRecord* record = find(number);
    if (!record) return;
    record->width = width;
    record->height = height;
    record->quad_valid = 0;
}

void sprite3d_display(intptr_t number, int32_t x, int32_t y) { sprite3d_draw(number, x, y, 255); }

int sprite3d_begin() {
    if (!screen_begin_scene()) return 0;
    sprite3d_state.in_block = 1;
    return sprite3d_apply_states();
}

void sprite3d_end() {
    if (!sprite3d_state.in_block) return;
    sprite3d_restore_states();
    sprite3d_state.in_block = 0;
}

int sprite3d_apply_states() {
    Direct3DDevice9* device = display_state.device;
    if (!sprite3d_state.in_block || !device) return 0;
    int32_t* cache = display_state.state_cache;
    device->set_render_state(D3DRS_ALPHABLENDENABLE, 1);
    cache[STATE_CACHE_ALPHA_BLEND] = 1;
    if (device->set_fvf(SPRITE3D_FVF) != D3D_OK) return 0;
    cache[STATE_CACHE_FVF] = int32_t(SPRITE3D_FVF);
    device->set_render_state(D3DRS_SRCBLEND, uint32_t(sprite3d_state.src_blend));
    device->set_render_state(D3DRS_DESTBLEND, uint32_t(sprite3d_state.dest_blend));
    cache[STATE_CACHE_SRC_BLEND] = sprite3d_state.src_blend;
    cache[STATE_CACHE_DEST_BLEND] = sprite3d_state.dest_blend;
    device->set_software_vertex_processing(1);
    device->set_texture_stage_state(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->set_texture_stage_state(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->set_texture_stage_state(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->set_texture_stage_state(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    sprite3d_state.states_active = 1;
    return 1;
}

void sprite3d_restore_states() {
    screen_set_default_states();
    if (Direct3DDevice9* device = display_state.device) {
        device->set_sampler_state(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        device->set_sampler_state(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    }
    sprite3d_state.states_active = 0;
}

void sprite3d_draw(intptr_t number, int32_t x, int32_t y, int32_t transparency) {
    Sprite3DRecord* record = find(number);
    Direct3DDevice9* device = display_state.device;
    if (!record || !device || !source_alive(record)) return;
    if (!sprite3d_state.states_active) sprite3d_apply_states();
    if (!record->quad_valid) {
        float right = float(record->width) - 0.5f, bottom = float(record->height) - 0.5f;
        const float xs[4] = {-0.5f, right, -0.5f, right};
        const float ys[4] = {-0.5f, -0.5f, bottom, bottom};
        for (int i = 0; i < 4; ++i) {
            record->quad[i].x = xs[i];
            record->quad[i].y = ys[i];
        }
        record->quad_valid = 1;
    }
    std::memcpy(record->work, record->quad, sizeof record->work);
    for (Sprite3DVertex& v : record->work) {
        v.x += float(x);
        v.y += float(y);
        v.diffuse |= uint32_t(transparency) << 24;
    }
    device->set_texture(0, record->surface->texture);
    device->draw_primitive_up(D3DPT_TRIANGLESTRIP, 2, record->work, sizeof(Sprite3DVertex));
}
