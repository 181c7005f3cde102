// Software Direct3D 9: the object (adapter modes, device type check, caps, device creation), the
// device (clear, scenes, the render/texture-stage/sampler states the sprites set, pre-transformed
// quads drawn as two-triangle strips with point sampling, source-alpha blending and MODULATE,
// textures, offscreen surfaces, the back buffer, present as a two-buffer flip chain, device loss
// and reset), managed textures and surfaces with LockRect and GetDC.
// Only what the display, sprites and 3D sprites call exists here; names follow the Windows calls
// in snake_case, constants and structures keep their Windows names and values.
// Relies on: gdi.h (the contexts that GetDC hands out), video_driver.h (the backend that shows
// presented frames, lists display modes and reports focus changes and device loss).
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/platform/gdi/gdi.h"
#include "runtime/platform/system/system.h"

using HRESULT = int32_t;
using D3DCOLOR = uint32_t;  // 0xAARRGGBB

constexpr HRESULT D3D_OK = 0;
constexpr HRESULT E_FAIL = int32_t(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = int32_t(0x8007000Eu);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = int32_t(0x88760827u);
constexpr HRESULT D3DERR_DEVICELOST = int32_t(0x88760868u);
constexpr HRESULT D3DERR_DEVICENOTRESET = int32_t(0x88760869u);
constexpr HRESULT D3DERR_NOTAVAILABLE = int32_t(0x8876086Au);
constexpr HRESULT D3DERR_INVALIDCALL = int32_t(0x8876086Cu);
constexpr HRESULT D3DERR_WASSTILLDRAWING = int32_t(0x8876021Cu);

constexpr uint32_t D3D_SDK_VERSION = 32;
constexpr uint32_t D3DADAPTER_DEFAULT = 0;

enum D3DFORMAT : int32_t {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_R5G6B5 = 23,
    D3DFMT_X1R5G5B5 = 24,
    D3DFMT_A1R5G5B5 = 25,
};

enum D3DDEVTYPE : int32_t { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };

enum D3DPOOL : int32_t { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2, D3DPOOL_SCRATCH = 3 };

enum D3DBACKBUFFER_TYPE : int32_t { D3DBACKBUFFER_TYPE_MONO = 0 };

enum D3DPRIMITIVETYPE : int32_t {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

enum D3DRENDERSTATETYPE : int32_t {
    D3DRS_SRCBLEND = 19,
    D3DRS_DESTBLEND = 20,
    D3DRS_ALPHABLENDENABLE = 27,
    D3DRS_MULTISAMPLEANTIALIAS = 161,
};

enum D3DBLEND : int32_t {
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
};

enum D3DTEXTURESTAGESTATETYPE : int32_t {
    D3DTSS_COLOROP = 1,
    D3DTSS_COLORARG1 = 2,
    D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4,
    D3DTSS_ALPHAARG1 = 5,
    D3DTSS_ALPHAARG2 = 6,
};

enum D3DTEXTUREOP : int32_t {
    D3DTOP_DISABLE = 1,
    D3DTOP_SELECTARG1 = 2,
    D3DTOP_SELECTARG2 = 3,
    D3DTOP_MODULATE = 4,
};

// Texture arguments.
enum : uint32_t { D3DTA_DIFFUSE = 0, D3DTA_CURRENT = 1, D3DTA_TEXTURE = 2 };

enum D3DSAMPLERSTATETYPE : int32_t { D3DSAMP_MAGFILTER = 5, D3DSAMP_MINFILTER = 6 };
enum D3DTEXTUREFILTERTYPE : int32_t { D3DTEXF_NONE = 0, D3DTEXF_POINT = 1, D3DTEXF_LINEAR = 2 };

// Vertex formats: pre-transformed position (x, y, z, rhw floats), optional diffuse colour, one
// texture coordinate pair. The two layouts drawn are 0x104 (24 bytes) and 0x144 (28 bytes).
enum : uint32_t { D3DFVF_XYZRHW = 0x004, D3DFVF_DIFFUSE = 0x040, D3DFVF_TEX1 = 0x100 };

enum : uint32_t {
    D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20,
    D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40,
    D3DCREATE_MIXED_VERTEXPROCESSING = 0x80,
};
constexpr uint32_t D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x10000;

enum D3DSWAPEFFECT : int32_t { D3DSWAPEFFECT_DISCARD = 1, D3DSWAPEFFECT_FLIP = 2, D3DSWAPEFFECT_COPY = 3 };
constexpr uint32_t D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 1;
constexpr uint32_t D3DPRESENT_INTERVAL_DEFAULT = 0;
constexpr uint32_t D3DPRESENT_INTERVAL_ONE = 1;
constexpr uint32_t D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;

constexpr uint32_t D3DCLEAR_TARGET = 1;
constexpr uint32_t D3DLOCK_READONLY = 0x10;

// Largest back buffer or texture side the device accepts: a hand-edited settings file must not
// make it allocate gigabytes.
constexpr int32_t D3D_MAX_SIDE = 8192;

struct D3DPRESENT_PARAMETERS {
    uint32_t BackBufferWidth;
    uint32_t BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    uint32_t BackBufferCount;
    int32_t MultiSampleType;
    uint32_t MultiSampleQuality;
    D3DSWAPEFFECT SwapEffect;
    WindowHandle hDeviceWindow;
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    uint32_t Flags;
    uint32_t FullScreen_RefreshRateInHz;
    uint32_t PresentationInterval;
};

struct D3DCAPS9 {
    D3DDEVTYPE DeviceType;
    uint32_t AdapterOrdinal;
    uint32_t DevCaps;
    uint32_t MaxTextureWidth;
    uint32_t MaxTextureHeight;
};

struct D3DDISPLAYMODE {
    uint32_t Width;
    uint32_t Height;
    uint32_t RefreshRate;
    D3DFORMAT Format;
};

struct D3DLOCKED_RECT {
    int32_t Pitch;  // bytes from one row to the next
    void* pBits;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format;
    D3DPOOL Pool;
    uint32_t Width;
    uint32_t Height;
};

struct D3DRECT {
    int32_t x1, y1, x2, y2;
};

// The two vertex layouts, for callers and tests that build quads.
struct D3DVertexTex {  // D3DFVF_XYZRHW | D3DFVF_TEX1, 24 bytes
    float x, y, z, rhw;
    float u, v;
};
struct D3DVertexDiffuseTex {  // D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 28 bytes
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    float u, v;
};

struct Direct3D9;
struct Direct3DDevice9;
struct Direct3DTexture9;
struct Direct3DSurface9;
struct D3DTextureSampler;  // the drawing cache of a texture (internal)
struct D3DBufferHistory;   // what a buffer of the flip chain holds (internal)

// Direct3DCreate9: null when the SDK version is not 32 or the backend has no video.
Direct3D9* direct3d_create9(uint32_t sdk_version);

struct Direct3D9 {
    uint32_t get_adapter_mode_count(uint32_t adapter, D3DFORMAT format);
    HRESULT enum_adapter_modes(uint32_t adapter, D3DFORMAT format, uint32_t index, D3DDISPLAYMODE* mode);
    HRESULT check_device_type(uint32_t adapter, D3DDEVTYPE type, D3DFORMAT display_format, D3DFORMAT back_buffer_format,
                              BOOL windowed);
    HRESULT get_device_caps(uint32_t adapter, D3DDEVTYPE type, D3DCAPS9* caps);
    HRESULT create_device(uint32_t adapter, D3DDEVTYPE type, WindowHandle focus_window, uint32_t behaviour_flags,
                          D3DPRESENT_PARAMETERS* params, Direct3DDevice9** device);
    uint32_t add_ref();
    uint32_t release();

    // internal
    uint32_t refs;
};

struct Direct3DDevice9 {
    HRESULT test_cooperative_level();
    HRESULT reset(D3DPRESENT_PARAMETERS* params);
    // The finished back buffer becomes the shown frame and is handed to the backend, with the
    // frame shown before it, if any; that buffer becomes the back buffer. Rectangles and
    // overrides must be null.
    HRESULT present(const RECT* source, const RECT* dest, WindowHandle override_window, const void* dirty_region);
    HRESULT get_back_buffer(uint32_t swap_chain, uint32_t index, D3DBACKBUFFER_TYPE type, Direct3DSurface9** surface);
    HRESULT begin_scene();
    HRESULT end_scene();
    HRESULT clear(uint32_t count, const D3DRECT* rects, uint32_t flags, D3DCOLOR colour, float z, uint32_t stencil);
    HRESULT set_render_state(D3DRENDERSTATETYPE state, uint32_t value);
    HRESULT set_texture_stage_state(uint32_t stage, D3DTEXTURESTAGESTATETYPE type, uint32_t value);
    HRESULT set_sampler_state(uint32_t sampler, D3DSAMPLERSTATETYPE type, uint32_t value);
    HRESULT set_software_vertex_processing(BOOL software);
    HRESULT set_fvf(uint32_t fvf);
    HRESULT set_texture(uint32_t stage, Direct3DTexture9* texture);
    HRESULT draw_primitive_up(D3DPRIMITIVETYPE type, uint32_t primitive_count, const void* vertices, uint32_t stride);
    HRESULT create_texture(uint32_t width, uint32_t height, uint32_t levels, uint32_t usage, D3DFORMAT format,
                           D3DPOOL pool, Direct3DTexture9** texture, void* shared_handle);
    HRESULT create_offscreen_plain_surface(uint32_t width, uint32_t height, D3DFORMAT format, D3DPOOL pool,
                                           Direct3DSurface9** surface, void* shared_handle);
    uint32_t get_render_state(D3DRENDERSTATETYPE state) const;  // for tests
    uint32_t add_ref();
    uint32_t release();

    // internal
    uint32_t refs;
    D3DPRESENT_PARAMETERS params;
    Direct3DSurface9* back;   // back buffer 0 (its pixels swap with front at each present)
    Direct3DSurface9* front;  // the frame last shown
    int32_t front_presented;  // front holds a frame handed to the backend (not so after a reset)
    uint8_t* changed_rows;    // per row of the flip chain: may differ between the two buffers
    int32_t in_scene;
    int32_t software_vp;
    uint32_t fvf;
    Direct3DTexture9* texture0;
    uint32_t render_states[256];
    uint32_t stage_states[8][33];
    uint32_t sampler_states[16][14];
};

// A surface: an offscreen plain surface (freed at its last release), a texture's level 0 (its
// references are the texture's), or the device's back buffer (kept by the device until the device
// goes; a reset keeps the same record, so a reference fetched before stays valid).
struct Direct3DSurface9 {
    HRESULT lock_rect(D3DLOCKED_RECT* locked, const RECT* rect, uint32_t flags);
    HRESULT unlock_rect();
    HRESULT get_dc(HDC* dc);
    HRESULT release_dc(HDC dc);
    HRESULT get_desc(D3DSURFACE_DESC* desc);
    uint32_t add_ref();
    uint32_t release();

    // internal
    uint32_t refs;
    D3DFORMAT format;
    D3DPOOL pool;
    int32_t width, height;
    int32_t pitch;             // bytes
    uint8_t* pixels;           // 32-byte aligned rows
    int32_t locked;            // 1 while locked (2 while locked read-only)
    HDC dc;                    // the context while GetDC is outstanding
    Direct3DTexture9* texture; // owner of a texture level (its references are the texture's)
    Direct3DDevice9* device;   // owner of a back buffer (lives as long as the device)
    // Buffers of the flip chain: the whole-surface Clear and the quads after it that wait to be
    // drawn, and what the pixels hold (it travels with them at each flip). Null for other surfaces.
    D3DBufferHistory* history;
};

struct Direct3DTexture9 {
    HRESULT get_surface_level(uint32_t level, Direct3DSurface9** surface);
    uint32_t add_ref();
    uint32_t release();

    // internal
    uint32_t refs;
    Direct3DSurface9* level0;
    uint64_t id;                // never reused, unlike the record's address
    uint32_t serial;            // bumped at every write (unlock after a writing lock, ReleaseDC)
    D3DTextureSampler* sampler; // drawing data derived from the pixels; rebuilt when serial moves
};

// Pixel layout helpers shared with tests and the drawing code.
int32_t d3d_format_bytes(D3DFORMAT format);  // 4, 2, or 0 for an unknown format
