// Where the FreeType font engine finds its faces: the face file for a family, weight and slant.
// On Linux fontconfig chooses (gdi_faces_fontconfig.cpp); in the browser a fixed table of the
// faces embedded in the page names the same files fontconfig picks on Linux (gdi_faces_web.cpp),
// so that text looks the same on both.
// Relies on: nothing.
#pragma once
#include <string>

struct GdiFaceMatch {
    std::string file;
    int index = 0;
    std::string family;
};

// Started with the font engine and stopped after it; start returns false when no face can be found.
bool gdi_faces_start();
void gdi_faces_stop();

// The face for a GDI face name: the family itself if there is such a face; for "Monotype Corsiva"
// the calligraphic "Z003", then "TeX Gyre Chorus"; else the system's default face.
bool gdi_faces_resolve(const std::string& family, int weight, bool italic, GdiFaceMatch& out);
