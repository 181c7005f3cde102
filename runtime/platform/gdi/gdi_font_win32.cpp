// The GDI stand-in's font engine on Windows: the glyphs come from the system's GDI
// (win32_glyphs.h) instead of FreeType, with the same face order as on Linux: the face asked for
// when it is installed, for "Monotype Corsiva" then the free calligraphic faces "Z003" and
// "TeX Gyre Chorus" when installed, else the face GDI maps the name to. GDI sizes the font from
// the height (negative = character height, positive = cell height) and synthesizes bold and
// italic where the face has none. The stock system font is a bold sans face in a 16-pixel cell.
// Rendered glyphs are cached per font, as on Linux. The Linux twin is gdi_font_freetype.cpp.
// Relies on: win32_glyphs.h, gdi_internal.h, strings.h.
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/foundation/strings.h"
#include "runtime/platform/gdi/gdi_internal.h"
#include "runtime/platform/win32/win32_glyphs.h"

struct GdiGlyphEntry {
    GdiGlyph glyph;
    std::vector<uint8_t> bits;
    bool valid;
};

struct GdiFont {
    Win32Face* face = nullptr;
    GdiFontMetrics metrics = {};
    std::unordered_map<uint32_t, GdiGlyphEntry> cache;  // nodes keep their address on rehash
};

namespace {

struct FontEngine {
    int32_t users;
    GdiFont* stock;
};

FontEngine engine = {};

// The calligraphic stand-ins tried, in order, when the menu's face is not installed.
const char16_t* const calligraphic_substitutes[] = {u"Z003", u"TeX Gyre Chorus"};
// The faces tried for the stock system font (a bitmap "System" font has no outlines).
const char16_t* const stock_faces[] = {u"DejaVu Sans", u"Tahoma", u"Arial"};

bool same_family(const std::string& chosen, const char16_t* asked) {
    std::string wanted = str_to_utf8(asked);
    if (chosen.size() != wanted.size()) return false;
    for (size_t i = 0; i < chosen.size(); ++i) {
        char a = chosen[i], b = wanted[i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

struct Request {
    int32_t height, weight;
    bool italic, underline, strike_out, antialiased;
};

// The face of exactly that family, or null when GDI would map the name to another.
Win32Face* open_exact(const char16_t* family, const Request& r) {
    Win32Face* face = win32_face_open(family, r.height, r.weight, r.italic, r.underline, r.strike_out, r.antialiased);
    if (face && !same_family(win32_face_family(face), family)) {
        win32_face_close(face);
        return nullptr;
    }
    return face;
}

Win32Face* resolve_face(const char16_t* family, const Request& r) {
    bool named = family && *family;
    if (named)
        if (Win32Face* face = open_exact(family, r)) return face;
    if (named && same_family("monotype corsiva", family)) {
        for (const char16_t* substitute : calligraphic_substitutes)
            if (Win32Face* face = open_exact(substitute, r)) return face;
    }
    return win32_face_open(family, r.height, r.weight, r.italic, r.underline, r.strike_out, r.antialiased);
}

GdiFont* make_font(Win32Face* face, int32_t height, bool underline, bool strike_out) {
    if (!face) return nullptr;
    GdiFont* font = new (std::nothrow) GdiFont();
    if (!font) {
        win32_face_close(face);
        return nullptr;
    }
    font->face = face;
    Win32FaceMetrics m = win32_face_metrics(face);
    font->metrics = gdi_fit_metrics(m.ascent, m.descent, height, underline, strike_out);
    return font;
}

}  // namespace

bool gdi_engine_acquire() {
    engine.users++;
    return true;
}

void gdi_engine_release() {
    if (engine.users <= 0) return;
    if (--engine.users > 0) return;
    if (engine.stock) gdi_font_destroy(engine.stock);
    engine = FontEngine();
}

GdiFont* gdi_font_create(int32_t height, int32_t weight, bool italic, bool underline, bool strike_out,
                         uint32_t quality, const char16_t* face) {
    if (engine.users <= 0) return nullptr;
    if (weight <= 0) weight = FW_NORMAL;
    if (height < -2048) height = -2048;
    if (height > 2048) height = 2048;
    Request r = {height, weight, italic, underline, strike_out, quality != NONANTIALIASED_QUALITY};
    return make_font(resolve_face(face, r), height, underline, strike_out);
}

void gdi_font_destroy(GdiFont* font) {
    if (!font) return;
    win32_face_close(font->face);
    delete font;
}

GdiFont* gdi_stock_font() {
    if (!engine.stock && engine.users > 0) {
        Request r = {16, FW_BOLD, false, false, false, true};
        Win32Face* face = nullptr;
        for (const char16_t* name : stock_faces)
            if ((face = open_exact(name, r))) break;
        if (!face) face = win32_face_open(u"", r.height, r.weight, false, false, false, true);
        engine.stock = make_font(face, 16, false, false);
    }
    return engine.stock;
}

const GdiFontMetrics& gdi_font_metrics(GdiFont* font) { return font->metrics; }

const GdiGlyph* gdi_font_glyph(GdiFont* font, uint32_t code_point) {
    auto found = font->cache.find(code_point);
    if (found == font->cache.end()) {
        GdiGlyphEntry entry = {};
        Win32GlyphBitmap bitmap;
        entry.valid = win32_face_glyph(font->face, code_point, bitmap);
        if (entry.valid) {
            entry.glyph = {bitmap.left, bitmap.top, bitmap.width, bitmap.height, bitmap.advance, nullptr};
            entry.bits = std::move(bitmap.coverage);
        }
        found = font->cache.emplace(code_point, std::move(entry)).first;
        found->second.glyph.coverage = found->second.bits.data();
    }
    return found->second.valid ? &found->second.glyph : nullptr;
}

const char* gdi_font_family_name(GdiFont* font) { return win32_face_family(font->face).c_str(); }

int32_t gdi_font_engine_users() { return engine.users; }
