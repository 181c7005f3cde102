// The FreeType engine's face lookup: fontconfig on Linux and the page's fixed table must name the
// same files for what the menu and the stock font ask, so that text looks alike in both; the table
// of the page's build is checked here against the same rows as fontconfig is on Linux.
#include <gtest/gtest.h>

#if defined(_WIN32)
TEST(GdiFaces, NotOnWindows) { GTEST_SKIP() << "Windows takes its glyphs from the system's GDI"; }
#else
#include "runtime/platform/gdi/gdi_faces.h"

TEST(GdiFaces, TheMenuAndTheStockFontGetTheSameFilesOnLinuxAndInThePage) {
    const struct {
        const char* family;
        int weight;
        bool italic;
        const char* file;
        const char* face_family;
    } cases[] = {
        {"Monotype Corsiva", 400, false, "/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf", "Z003"},
        {"Monotype Corsiva", 700, false, "/usr/share/fonts/opentype/urw-base35/Z003-MediumItalic.otf", "Z003"},
        {"DejaVu Sans", 700, false, "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", "DejaVu Sans"},
        {"DejaVu Sans", 400, false, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "DejaVu Sans"},
    };
    ASSERT_TRUE(gdi_faces_start());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.family) + " " + std::to_string(c.weight));
        GdiFaceMatch match;
        ASSERT_TRUE(gdi_faces_resolve(c.family, c.weight, c.italic, match));
        EXPECT_EQ(match.file, c.file);
        EXPECT_EQ(match.family, c.face_family);
    }
    gdi_faces_stop();
}
#endif
