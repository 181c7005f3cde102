// The FreeType engine's faces on Linux, found through fontconfig: the exact family first, the
// calligraphic stand-ins for "Monotype Corsiva", then fontconfig's own best choice.
// Relies on: fontconfig, gdi_faces.h.
#include <fontconfig/fontconfig.h>

#include "runtime/platform/gdi/gdi_faces.h"

namespace {
bool family_is(FcPattern* pattern, const char* family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(pattern, FC_FAMILY, i, &name) == FcResultMatch; i++)
        if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family)) == 0) return true;
    return false;
}

// Asks fontconfig for a scalable face of the family in the weight and slant wanted. With `exact`,
// only a face of that very family is accepted; without, fontconfig's best choice is.
bool find_face(const char* family, int weight, bool italic, bool exact, GdiFaceMatch& out) {
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    if (family && *family) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, int(FcWeightFromOpenTypeDouble(weight)));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    bool ok = !exact || family_is(match, family);
    FcChar8* file = nullptr;
    if (ok && FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) ok = false;
    if (ok) {
        out.file = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match, FC_INDEX, 0, &out.index);
        FcChar8* name = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) out.family = reinterpret_cast<const char*>(name);
    }
    FcPatternDestroy(match);
    return ok;
}

// The calligraphic stand-ins tried, in order, when the menu's face is not installed.
const char* const calligraphic_substitutes[] = {"Z003", "TeX Gyre Chorus"};
}  // namespace

bool gdi_faces_start() { return FcInit(); }

void gdi_faces_stop() { FcFini(); }

bool gdi_faces_resolve(const std::string& family, int weight, bool italic, GdiFaceMatch& out) {
    if (!family.empty() && find_face(family.c_str(), weight, italic, true, out)) return true;
    if (FcStrCmpIgnoreCase(reinterpret_cast<const FcChar8*>(family.c_str()),
                           reinterpret_cast<const FcChar8*>("Monotype Corsiva")) == 0) {
        for (const char* substitute : calligraphic_substitutes)
            if (find_face(substitute, weight, italic, true, out)) return true;
    }
    return find_face(family.c_str(), weight, italic, false, out);
}
