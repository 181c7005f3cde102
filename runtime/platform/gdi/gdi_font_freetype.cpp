// The GDI stand-in's font engine: faces found by gdi_faces.h and rendered by FreeType, sized
// as GDI sizes them (negative height = character height, positive = cell height), emboldened or
// slanted when the matched face is lighter or more upright than asked, anti-aliased unless asked
// otherwise, with a glyph cache per font (face and size). "Monotype Corsiva" falls back to the
// calligraphic "Z003", then "TeX Gyre Chorus", then the default face; the stock system font is
// DejaVu Sans Bold in a 16-pixel cell. The engine starts with its first user and stops after the last.
// Linux and the browser; on Windows the glyphs come from the system's GDI (gdi_font_win32.cpp).
// Relies on: FreeType, gdi_faces.h, gdi_internal.h, strings.h (UTF-16 face names to UTF-8).
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/foundation/strings.h"
#include "runtime/platform/gdi/gdi_faces.h"
#include "runtime/platform/gdi/gdi_internal.h"

struct GdiGlyphEntry {
    GdiGlyph glyph;
    std::vector<uint8_t> bits;
    bool valid;
};

struct GdiFont {
    FT_Face face = nullptr;
    std::string family;
    GdiFontMetrics metrics = {};
    bool embolden = false;
    bool slant = false;
    bool mono = false;
    std::unordered_map<uint32_t, GdiGlyphEntry> cache;  // nodes keep their address on rehash
};

namespace {

struct FontEngine {
    int32_t users;
    FT_Library library;
    GdiFont* stock;
};

FontEngine engine = {};

GdiFont* open_font(const std::string& family, int32_t height, int32_t weight, bool italic, bool underline,
                   bool strike_out, uint32_t quality) {
    if (!engine.library) return nullptr;
    GdiFaceMatch match;
    if (!gdi_faces_resolve(family, weight, italic, match)) return nullptr;
    FT_Face face = nullptr;
    if (FT_New_Face(engine.library, match.file.c_str(), match.index, &face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(face) || face->units_per_EM == 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    // Character height (negative) is the em size; a cell height (positive) covers ascent + descent.
    int32_t em;
    int32_t cell_units = face->ascender - face->descender;
    if (height < 0) em = -height;
    else if (height > 0 && cell_units > 0) em = int32_t(std::lround(double(height) * face->units_per_EM / cell_units));
    else em = 16;
    if (em < 1) em = 1;
    if (em > 2048) em = 2048;
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(em)) != 0) {
        FT_Done_Face(face);
        return nullptr;
    }
    GdiFont* font = new (std::nothrow) GdiFont();
    if (!font) {
        FT_Done_Face(face);
        return nullptr;
    }
    font->face = face;
    font->family = match.family;
    // The face's own weight and slant decide the synthesis (the matched pattern reports what was
    // asked for rather than what the file holds).
    int32_t face_weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL;
    if (const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2)))
        if (os2->version != 0xFFFF && os2->usWeightClass > 0) face_weight = os2->usWeightClass;
    font->embolden = weight >= 600 && face_weight < 600;
    font->slant = italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
    font->mono = quality == NONANTIALIASED_QUALITY;
    const FT_Size_Metrics& m = face->size->metrics;
    font->metrics = gdi_fit_metrics(int32_t((m.ascender + 63) >> 6), int32_t((-m.descender + 63) >> 6), height,
                                    underline, strike_out);
    return font;
}

bool render_glyph(GdiFont* font, uint32_t code_point, GdiGlyphEntry& entry) {
    FT_Face face = font->face;
    FT_Int32 flags = FT_LOAD_NO_BITMAP | (font->mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
    if (FT_Load_Char(face, code_point, flags) != 0) return false;
    FT_GlyphSlot slot = face->glyph;
    FT_Pos extra_advance = 0;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (font->slant) FT_GlyphSlot_Oblique(slot);
        if (font->embolden) {
            // Thicken the strokes by about a twentieth of the em (at least half a pixel) and
            // widen the advance by as much, so bold text is visibly heavier and wider.
            FT_Pos strength = std::max<FT_Pos>(32, FT_Pos(face->size->metrics.x_ppem) * 64 / 20);
            if (FT_Outline_EmboldenXY(&slot->outline, strength, strength / 2) == 0) extra_advance = strength;
        }
    }
    if (FT_Render_Glyph(slot, font->mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bitmap = slot->bitmap;
    entry.glyph.left = slot->bitmap_left;
    entry.glyph.top = slot->bitmap_top;
    entry.glyph.width = int32_t(bitmap.width);
    entry.glyph.height = int32_t(bitmap.rows);
    entry.glyph.advance = int32_t((slot->advance.x + extra_advance + 32) >> 6);
    entry.bits.assign(size_t(bitmap.width) * bitmap.rows, 0);
    for (unsigned row = 0; row < bitmap.rows; row++) {
        const uint8_t* src = bitmap.buffer + ptrdiff_t(row) * bitmap.pitch;
        uint8_t* dst = entry.bits.data() + size_t(row) * bitmap.width;
        for (unsigned col = 0; col < bitmap.width; col++) {
            if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) dst[col] = (src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
            else dst[col] = src[col];
        }
    }
    entry.glyph.coverage = entry.bits.data();
    return true;
}

}  // namespace

bool gdi_engine_acquire() {
    if (engine.users == 0) {
        if (!gdi_faces_start()) return false;
        if (FT_Init_FreeType(&engine.library) != 0) {
            engine.library = nullptr;
            gdi_faces_stop();
            return false;
        }
    }
    engine.users++;
    return true;
}

void gdi_engine_release() {
    if (engine.users <= 0) return;
    if (--engine.users > 0) return;
    if (engine.stock) gdi_font_destroy(engine.stock);
    FT_Done_FreeType(engine.library);
    gdi_faces_stop();
    engine = FontEngine();
}

GdiFont* gdi_font_create(int32_t height, int32_t weight, bool italic, bool underline, bool strike_out,
                         uint32_t quality, const char16_t* face) {
    std::string family = face ? str_to_utf8(face) : std::string();
    if (weight <= 0) weight = FW_NORMAL;
    return open_font(family, height, weight, italic, underline, strike_out, quality);
}

void gdi_font_destroy(GdiFont* font) {
    if (!font) return;
    if (font->face) FT_Done_Face(font->face);
    delete font;
}

GdiFont* gdi_stock_font() {
    if (!engine.stock && engine.library) engine.stock = open_font("DejaVu Sans", 16, FW_BOLD, false, false, false, 0);
    return engine.stock;
}

const GdiFontMetrics& gdi_font_metrics(GdiFont* font) { return font->metrics; }

const GdiGlyph* gdi_font_glyph(GdiFont* font, uint32_t code_point) {
    auto found = font->cache.find(code_point);
    if (found == font->cache.end()) {
        GdiGlyphEntry entry = {};
        entry.valid = render_glyph(font, code_point, entry);
        found = font->cache.emplace(code_point, std::move(entry)).first;
        found->second.glyph.coverage = found->second.bits.data();
    }
    return found->second.valid ? &found->second.glyph : nullptr;
}

const char* gdi_font_family_name(GdiFont* font) { return font->family.c_str(); }

int32_t gdi_font_engine_users() { return engine.users; }
