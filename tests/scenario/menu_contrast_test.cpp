// Readability of the menu over the title picture: the real program shows every page at each of the
// four layouts and in both languages, and each caption and plain entry, as drawn in its normal
// (not hovered) state, must stand out from the picture behind it by a contrast ratio of at least
// 2.5 : 1 (relative luminance, sRGB). The text is its pixels of exactly the text's colour; its
// ground is the rest of its box, the pixels that the same page drawn with its texts emptied shows
// unchanged (so the glyphs' smoothed edges count for neither). Framed buttons are left out: their
// text sits on their own face, not on the picture. The page is set directly between frames of the
// real menu loop, with the pointer parked in a corner.
// Setting TARNWOOD_CONTRAST_PNG to a folder also writes each measured frame there as a PNG.
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "game/menu/pages.h"
#include "runtime/media/display.h"
#include "support/scenario.h"

namespace {
constexpr double kLeastContrast = 2.5;
constexpr uint32_t kEntryRgb = 0x963232;    // the entries' red, 150 50 50
constexpr uint32_t kCaptionRgb = 0xFAFAFA;  // the captions' white, 250 250 250

double linear(uint32_t channel) {
    double s = channel / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}
double luminance(uint32_t rgb) {
    return 0.2126 * linear(rgb >> 16 & 0xFF) + 0.7152 * linear(rgb >> 8 & 0xFF) + 0.0722 * linear(rgb & 0xFF);
}

struct Measure {
    int text_pixels = 0;     // pixels of exactly the text's colour
    int changed_pixels = 0;  // pixels the text changed (with its smoothed edges)
    int ground_pixels = 0;   // the rest of the box
    double contrast = 0;     // text against the mean luminance of the ground
    double ground_grey = 0;  // mean of the ground's channels, 0..255
};

// The text's full-colour pixels against the rest of its box: the pixels that the same frame
// without the texts (`bare`) shows unchanged.
Measure measure(const HeadlessVideoFrame& f, const HeadlessVideoFrame& bare, const ButtonRect& r, uint32_t colour) {
    Measure m;
    int x0 = std::max(r.x, 0), y0 = std::max(r.y, 0);
    int x1 = std::min(r.x + r.w, f.width), y1 = std::min(r.y + r.h, f.height);
    double sum = 0, grey = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) {
            uint32_t p = f.pixel(x, y);
            if (p == colour) m.text_pixels++;
            if (p != bare.pixel(x, y)) {
                m.changed_pixels++;
                continue;
            }
            sum += luminance(p);
            grey += ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3.0;
            m.ground_pixels++;
        }
    if (m.ground_pixels == 0) return m;
    m.contrast = (luminance(colour) + 0.05) / (sum / m.ground_pixels + 0.05);
    m.ground_grey = grey / m.ground_pixels;
    return m;
}

void write_png(const std::string& path, const HeadlessVideoFrame& f) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info && !setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(f.width), png_uint_32(f.height), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        std::vector<uint8_t> row(size_t(f.width) * 3);
        for (int y = 0; y < f.height; y++) {
            for (int x = 0; x < f.width; x++) {
                uint32_t p = f.pixel(x, y);
                row[size_t(x) * 3] = uint8_t(p >> 16);
                row[size_t(x) * 3 + 1] = uint8_t(p >> 8);
                row[size_t(x) * 3 + 2] = uint8_t(p);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

std::string settings_for(int width, int height, const char* language) {
    return "[Screen]\r\nScreenW = " + std::to_string(width) + "\r\nScreenH = " + std::to_string(height) +
           "\r\nScreenD = 32\r\nScreenS = 1\r\nScreenHz = 60\r\n[OptionsKeys]\r\nForward = W\r\nBackward = S\r\n"
           "Left = A\r\nRight = D\r\nJump = Space\r\nJournal = Tab\r\nMap = M\r\nScreenshot = F12\r\n"
           "[OptionsGame]\r\nLanguage = " +
           std::string(language) + "\r\nMenuInfo = 0\r\n[OptionsSound]\r\nMusic = 0\r\n";
}

// The captions and entries of a page, captions first.
std::vector<PageItem> page_items(int page) {
    const PageDef& def = menu_pages[page];
    std::vector<PageItem> items(def.captions, def.captions + def.caption_count);
    items.insert(items.end(), def.entries, def.entries + def.entry_count);
    return items;
}

char16_t empty[1] = {0};  // stands in for every text while the bare frame is drawn

struct Layout {
    int width, height;
};
constexpr Layout kLayouts[] = {{800, 600}, {1024, 768}, {1280, 720}, {1280, 1024}};
}  // namespace

TEST(MenuContrast, EveryCaptionAndEntryStandsOutFromThePicture) {
    const char* dump = std::getenv("TARNWOOD_CONTRAST_PNG");
    for (const Layout& layout : kLayouts) {
        for (const char* language : {"German", "English"}) {
            SCOPED_TRACE(std::to_string(layout.width) + "x" + std::to_string(layout.height) + " " + language);
            Scenario s(settings_for(layout.width, layout.height, language).c_str());
            int measured_pages = 0;
            double least_overall = 1e9, worst_grey = 0;
            HeadlessVideoFrame shown;
            std::vector<char16_t*> saved;
            s.idle(3);
            // The pointer rests in the bottom-right corner, away from every entry.
            s.step([] { headless_input_motion(100000, 100000); });
            uint32_t shown_before = 0;  // frames presented when the step before last ran
            for (int page = 0; page < PAGE_COUNT; page++) {
                s.step([page, &shown_before] {
                    game.menu_state = page;
                    shown_before = headless_video().presented;
                });
                s.idle(1);
                // The page as shown; then the same page with its captions' and entries' texts
                // emptied for two frames, which shows what lies behind them.
                s.step([&, page] {
                    ASSERT_GE(headless_video().presented, shown_before + 2) << "page " << page;
                    shown = headless_video().frames.back();
                    shown_before = headless_video().presented;
                    for (const PageItem& item : page_items(page)) {
                        saved.push_back(game.*(item.name->text));
                        game.*(item.name->text) = empty;
                    }
                });
                s.idle(1);
                s.step([&, page] {
                    std::vector<PageItem> items = page_items(page);
                    for (auto item = items.rbegin(); item != items.rend(); ++item) {
                        game.*(item->name->text) = saved.back();
                        saved.pop_back();
                    }
                    ASSERT_GE(headless_video().presented, shown_before + 2) << "page " << page;
                    const HeadlessVideoFrame& bare = headless_video().frames.back();
                    ASSERT_EQ(shown.width, layout.width);
                    ASSERT_EQ(shown.height, layout.height);
                    ASSERT_EQ(bare.width, layout.width);
                    if (dump)
                        write_png(std::string(dump) + "/" + std::to_string(layout.width) + "x" +
                                      std::to_string(layout.height) + "_" + language + "_page" + std::to_string(page) +
                                      ".png",
                                  shown);
                    double least = 1e9;
                    for (const PageItem& item : page_items(page)) {
                        if (item.style == STYLE_BUTTON) continue;
                        const char16_t* text = game.*(item.name->text);
                        if (!text || !text[0]) continue;
                        ButtonRect r = game.*(item.name->rect);
                        if (item.fixed_height) r.h = item.fixed_height;
                        uint32_t colour = item.style == STYLE_CAPTION ? kCaptionRgb : kEntryRgb;
                        Measure m = measure(shown, bare, r, colour);
                        std::string name(text, text + std::char_traits<char16_t>::length(text));
                        EXPECT_GE(m.text_pixels, 1) << "page " << page << ": \"" << name << "\" not drawn";
                        EXPECT_GE(m.changed_pixels, 20) << "page " << page << ": \"" << name << "\" not drawn";
                        EXPECT_GE(m.ground_pixels, r.w * r.h / 2) << "page " << page << ": \"" << name << "\"";
                        EXPECT_GE(m.contrast, kLeastContrast)
                            << "page " << page << ": \"" << name << "\" at " << r.x << "," << r.y
                            << ", ground grey " << m.ground_grey;
                        least = std::min(least, m.contrast);
                        worst_grey = std::max(worst_grey, m.ground_grey);
                    }
                    if (least < 1e9) {
                        std::printf("contrast %4dx%-4d %-7s page %2d: least %.2f\n", layout.width, layout.height,
                                    language, page, least);
                        least_overall = std::min(least_overall, least);
                    }
                    measured_pages++;
                });
            }
            s.step([] { game.menu_state = PAGE_MAIN; });
            s.idle(1);
            s.key_tap(SCAN_ESCAPE);  // Escape on the main page quits
            EXPECT_EQ(s.run(), 0);
            EXPECT_FALSE(s.guard_used);
            EXPECT_EQ(measured_pages, PAGE_COUNT);
            std::printf("contrast %4dx%-4d %-7s least of all pages %.2f, brightest ground grey %.1f\n", layout.width,
                        layout.height, language, least_overall, worst_grey);
        }
    }
}
