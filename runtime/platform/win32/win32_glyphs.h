// Glyphs from the system's own GDI, for the GDI stand-in's font engine on Windows: a face opened
// by family name at a GDI height and weight (bold and italic synthesized by GDI where the face has
// none), its metrics, and glyph coverage maps from GetGlyphOutlineW (65 grey levels scaled to
// 0..255, or one bit per pixel when anti-aliasing is off). Free of Windows types, so that the
// stand-in's own GDI names never meet the system's.
// Relies on: gdi32.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Win32Face;

struct Win32FaceMetrics {
    int32_t ascent, descent, height;  // pixels
    int32_t weight;                   // what GDI made of the request
    bool italic;
};

struct Win32GlyphBitmap {
    int32_t left, top, width, height;  // placed at pen x + left, baseline - top
    int32_t advance;                   // pixels
    std::vector<uint8_t> coverage;     // width x height, 0..255
};

// height < 0: character height in pixels; > 0: cell height; 0: GDI's default size.
Win32Face* win32_face_open(const char16_t* family, int32_t height, int32_t weight, bool italic, bool underline,
                           bool strike_out, bool antialiased);
void win32_face_close(Win32Face* face);
// The family GDI actually chose (UTF-8), which differs from the one asked for when that one is
// not installed.
const std::string& win32_face_family(Win32Face* face);
Win32FaceMetrics win32_face_metrics(Win32Face* face);
// False when GDI has no outline for the character (a bitmap font, or a code point beyond UTF-16's
// first plane).
bool win32_face_glyph(Win32Face* face, uint32_t code_point, Win32GlyphBitmap& out);
