// The FreeType engine's faces in the browser: a fixed table naming the files fontconfig picks on
// Debian for the same requests, embedded in the page under the same paths (and read from the
// build machine where the tests run under node), so that text is drawn alike: "Monotype Corsiva"
// and "Z003" are URW's Z003 Medium Italic (its only face), anything else DejaVu Sans, bold from
// weight 600.
// Relies on: gdi_faces.h, the files embedded by runtime/platform/web/web_page.cmake.
#include <strings.h>

#include "runtime/platform/gdi/gdi_faces.h"

namespace {
struct EmbeddedFace {
    const char* family;      // the family asked for (case ignored)
    int min_weight;          // the face serves requests of this weight and above
    const char* file;
    const char* face_family; // the family the face reports
};

// Checked in order; the first row whose family and weight fit serves the request. Rows with a
// null family serve every family (the default face).
constexpr EmbeddedFace kFaces[] = {
    {"Monotype Corsiva", 0, "/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf", "Z003"},
    {"Z003", 0, "/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf", "Z003"},
    {nullptr, 600, "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", "DejaVu Sans"},
    {nullptr, 0, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "DejaVu Sans"},
};
}  // namespace

bool gdi_faces_start() { return true; }

void gdi_faces_stop() {}

bool gdi_faces_resolve(const std::string& family, int weight, bool, GdiFaceMatch& out) {
    for (const EmbeddedFace& face : kFaces) {
        if (face.family && strcasecmp(face.family, family.c_str()) != 0) continue;
        if (weight < face.min_weight) continue;
        out.file = face.file;
        out.index = 0;
        out.family = face.face_family;
        return true;
    }
    return false;
}
