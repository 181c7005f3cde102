// Glyphs from the system's GDI: a memory device context per face with the font selected,
// GetTextMetricsW for the metrics, GetGlyphOutlineW (GGO_GRAY8_BITMAP or GGO_BITMAP) for the
// glyphs, under the identity transformation.
// Relies on: gdi32, strings.h (UTF-16 face names to UTF-8).
#include "runtime/platform/win32/win32_glyphs.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "runtime/foundation/strings.h"

struct Win32Face {
    HDC dc;
    HFONT font;
    HGDIOBJ previous;
    bool antialiased;
    std::string family;
    Win32FaceMetrics metrics;
};

Win32Face* win32_face_open(const char16_t* family, int32_t height, int32_t weight, bool italic, bool underline,
                           bool strike_out, bool antialiased) {
    LOGFONTW request = {};
    request.lfHeight = height;
    request.lfWeight = weight;
    request.lfItalic = italic;
    request.lfUnderline = underline;
    request.lfStrikeOut = strike_out;
    request.lfCharSet = DEFAULT_CHARSET;
    request.lfOutPrecision = OUT_TT_ONLY_PRECIS;  // outlines: GetGlyphOutlineW needs them
    request.lfQuality = antialiased ? ANTIALIASED_QUALITY : NONANTIALIASED_QUALITY;
    if (family) {
        size_t n = 0;
        while (family[n] && n < LF_FACESIZE - 1) {
            request.lfFaceName[n] = wchar_t(family[n]);
            ++n;
        }
    }
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return nullptr;
    HFONT font = CreateFontIndirectW(&request);
    if (!font) {
        DeleteDC(dc);
        return nullptr;
    }
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW tm;
    wchar_t chosen[LF_FACESIZE] = {};
    if (!previous || !GetTextMetricsW(dc, &tm) || GetTextFaceW(dc, LF_FACESIZE, chosen) == 0) {
        if (previous) SelectObject(dc, previous);
        DeleteObject(font);
        DeleteDC(dc);
        return nullptr;
    }
    Win32Face* face = new (std::nothrow) Win32Face();
    if (!face) {
        SelectObject(dc, previous);
        DeleteObject(font);
        DeleteDC(dc);
        return nullptr;
    }
    face->dc = dc;
    face->font = font;
    face->previous = previous;
    face->antialiased = antialiased;
    std::u16string name;
    for (const wchar_t* p = chosen; *p; ++p) name += char16_t(*p);
    face->family = str_to_utf8(name.c_str());
    face->metrics = {tm.tmAscent, tm.tmDescent, tm.tmHeight, tm.tmWeight, tm.tmItalic != 0};
    return face;
}

void win32_face_close(Win32Face* face) {
    if (!face) return;
    SelectObject(face->dc, face->previous);
    DeleteObject(face->font);
    DeleteDC(face->dc);
    delete face;
}

const std::string& win32_face_family(Win32Face* face) { return face->family; }

Win32FaceMetrics win32_face_metrics(Win32Face* face) { return face->metrics; }

bool win32_face_glyph(Win32Face* face, uint32_t code_point, Win32GlyphBitmap& out) {
    out = Win32GlyphBitmap();
    if (!face || code_point > 0xFFFF) return false;
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    UINT format = face->antialiased ? GGO_GRAY8_BITMAP : GGO_BITMAP;
    GLYPHMETRICS gm = {};
    DWORD size = GetGlyphOutlineW(face->dc, UINT(code_point), format, &gm, 0, nullptr, &identity);
    if (size == GDI_ERROR) return false;
    out.advance = gm.gmCellIncX;
    if (size == 0) return true;  // a blank glyph (space): an advance and nothing to draw
    std::vector<uint8_t> raw(size);
    if (GetGlyphOutlineW(face->dc, UINT(code_point), format, &gm, size, raw.data(), &identity) == GDI_ERROR)
        return false;
    out.left = gm.gmptGlyphOrigin.x;
    out.top = gm.gmptGlyphOrigin.y;
    out.width = int32_t(gm.gmBlackBoxX);
    out.height = int32_t(gm.gmBlackBoxY);
    out.coverage.assign(size_t(out.width) * size_t(out.height), 0);
    // Rows are padded to 4 bytes in both formats.
    size_t pitch = face->antialiased ? (size_t(out.width) + 3) & ~size_t(3) : ((size_t(out.width) + 31) / 32) * 4;
    if (pitch * size_t(out.height) > raw.size()) return false;
    for (int32_t row = 0; row < out.height; ++row) {
        const uint8_t* src = raw.data() + size_t(row) * pitch;
        uint8_t* dst = out.coverage.data() + size_t(row) * size_t(out.width);
        for (int32_t col = 0; col < out.width; ++col) {
            if (face->antialiased) dst[col] = uint8_t((src[col] * 255 + 32) / 64);  // 0..64 -> 0..255
            else dst[col] = (src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
        }
    }
    return true;
}
