// Checks for the end-to-end test of the real program: reads the screenshots it saved (PNG, via
// libpng's simplified API) and the raw output of SDL's disk audio driver.
//   size PNG                       prints "width height"; fails on an unreadable or partial file
//   pixel PNG X Y                  prints "r g b"
//   button PNG X Y W H             a framed menu button: frame colour (70, 10, 10) on all four
//                                  borders, a grey face inside
//   backdrop PNG X Y W H           the area shows a picture: not one flat colour, not black
//   diff A B X Y W H               prints how many pixels of the rectangle differ between A and B
//   diffoutside A B [X Y W H]...   prints how many pixels differ between A and B outside the given
//                                  rectangles (the texts, which another rasterizer draws)
//   audio RAW WAV                  RAW (signed 16-bit stereo, 44100 Hz) is not silent and matches
//                                  WAV: prints its level and the best normalised correlation with
//                                  the music of a quarter second of it (the best of up to four,
//                                  half a second apart); fails below 0.8
//   shown PNG                      the X screen ($DISPLAY) shows PNG scaled to fit and centred on
//                                  black (the program's letterboxing, nearest sampling): prints
//                                  how many screen pixels differ and where; fails if any does
//   pointer PNG                    the menu's pointer (its fill colour 120, 100, 100): prints the
//                                  box "x0 y0 x1 y1" of its pixels; fails when there are none or
//                                  they spread wider than the pointer
// Exit code 0 when the check holds, 1 when it does not, 2 on bad use. Relies on libpng, Xlib.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <algorithm>
#include <utility>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

bool load_png(const char* path, Image& out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return false;
    image.format = PNG_FORMAT_RGB;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    bool ok = png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

int arg_int(const char* s) { return std::atoi(s); }

bool rect_inside(const Image& img, int x, int y, int w, int h) {
    return x >= 0 && y >= 0 && w > 0 && h > 0 && x + w <= img.width && y + h <= img.height;
}

int check_button(const Image& img, int x, int y, int w, int h) {
    if (!rect_inside(img, x, y, w, h)) return std::printf("button outside the picture\n"), 1;
    // The frame: three pixels wide; sample the middle of each border, away from the corners.
    const int frame_points[][2] = {{x + w / 2, y + 1}, {x + w / 2, y + h - 2}, {x + 1, y + h / 2},
                                   {x + w - 2, y + h / 2}, {x + 10, y}, {x + w - 1, y + h - 10}};
    int bad = 0;
    for (const auto& p : frame_points) {
        const uint8_t* c = img.at(p[0], p[1]);
        if (c[0] != 70 || c[1] != 10 || c[2] != 10) {
            std::printf("frame pixel (%d, %d) is (%d, %d, %d), not (70, 10, 10)\n", p[0], p[1], c[0],
                        c[1], c[2]);
            bad++;
        }
    }
    // The face: grey, so red, green and blue close together, in the corners of the face where no
    // text is drawn.
    const int face_points[][2] = {{x + 5, y + 5}, {x + w - 6, y + 5}, {x + 5, y + h - 6}, {x + w - 6, y + h - 6}};
    for (const auto& p : face_points) {
        const uint8_t* c = img.at(p[0], p[1]);
        int lo = std::min({c[0], c[1], c[2]}), hi = std::max({c[0], c[1], c[2]});
        if (hi - lo > 24 || hi < 60) {
            std::printf("face pixel (%d, %d) is (%d, %d, %d), not grey\n", p[0], p[1], c[0], c[1], c[2]);
            bad++;
        }
    }
    return bad ? 1 : 0;
}

int check_backdrop(const Image& img, int x, int y, int w, int h) {
    if (!rect_inside(img, x, y, w, h)) return std::printf("area outside the picture\n"), 1;
    // Count distinct colours (coarsely, 4 bits per channel) and the mean brightness.
    std::vector<bool> seen(4096);
    int distinct = 0;
    double sum = 0;
    for (int yy = y; yy < y + h; yy++)
        for (int xx = x; xx < x + w; xx++) {
            const uint8_t* c = img.at(xx, yy);
            int key = (c[0] >> 4) << 8 | (c[1] >> 4) << 4 | (c[2] >> 4);
            if (!seen[key]) seen[key] = true, distinct++;
            sum += c[0] + c[1] + c[2];
        }
    double mean = sum / (3.0 * w * h);
    std::printf("distinct colours %d, mean level %.1f\n", distinct, mean);
    return distinct >= 32 && mean >= 8 ? 0 : 1;
}

std::vector<uint8_t> read_file(const char* path) {
    std::vector<uint8_t> data;
    if (FILE* f = std::fopen(path, "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
    }
    return data;
}

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
int16_t le16(const uint8_t* p) { return static_cast<int16_t>(p[0] | p[1] << 8); }

// Mono samples of 16-bit stereo frames.
std::vector<float> mono(const uint8_t* p, size_t bytes) {
    std::vector<float> out(bytes / 4);
    for (size_t i = 0; i < out.size(); i++) out[i] = (le16(p + 4 * i) + le16(p + 4 * i + 2)) * 0.5f;
    return out;
}

// The data chunk of a 16-bit stereo RIFF/WAVE file.
bool wav_samples(const std::vector<uint8_t>& file, std::vector<float>& out) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) || std::memcmp(file.data() + 8, "WAVE", 4))
        return false;
    size_t pos = 12;
    bool format_ok = false;
    while (pos + 8 <= file.size()) {
        uint32_t len = le32(&file[pos + 4]);
        const uint8_t* body = &file[pos + 8];
        if (pos + 8 + len > file.size()) return false;
        if (!std::memcmp(&file[pos], "fmt ", 4) && len >= 16)
            format_ok = le16(body) == 1 && le16(body + 2) == 2 && le32(body + 4) == 44100 && le16(body + 14) == 16;
        if (!std::memcmp(&file[pos], "data", 4)) {
            if (!format_ok) return false;
            out = mono(body, len);
            return true;
        }
        pos += 8 + len + (len & 1);
    }
    return false;
}

// Averages groups of `factor` samples: a cheap low-pass and decimation for the coarse search.
std::vector<float> decimate(const std::vector<float>& in, size_t factor) {
    std::vector<float> out(in.size() / factor);
    for (size_t i = 0; i < out.size(); i++) {
        float s = 0;
        for (size_t k = 0; k < factor; k++) s += in[i * factor + k];
        out[i] = s / factor;
    }
    return out;
}

double correlation(const float* a, const float* b, size_t n) {
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; i++) ab += a[i] * b[i], aa += a[i] * a[i], bb += b[i] * b[i];
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// The best correlation of a quarter second of the output from `start` with the music, and where
// in the music it lies: a coarse search at a quarter of the rate over the whole track (a recording
// taken late in a run hears the music far into it), then the exact lag around the best coarse one.
std::pair<double, size_t> best_match(const std::vector<float>& raw, size_t start, const std::vector<float>& music,
                                     size_t window) {
    const size_t factor = 4;
    std::vector<float> raw_d = decimate(std::vector<float>(raw.begin() + start, raw.begin() + start + window), factor);
    std::vector<float> music_d = decimate(music, factor);
    size_t span = music_d.size() - raw_d.size();
    double best = -2;
    size_t best_lag = 0;
    for (size_t lag = 0; lag < span; lag++) {
        double c = correlation(raw_d.data(), music_d.data() + lag, raw_d.size());
        if (c > best) best = c, best_lag = lag;
    }
    size_t centre = best_lag * factor;
    double fine = -2;
    size_t fine_lag = centre;
    for (size_t lag = centre > 2 * factor ? centre - 2 * factor : 0; lag <= centre + 2 * factor; lag++) {
        if (lag + window > music.size()) break;
        double c = correlation(raw.data() + start, music.data() + lag, window);
        if (c > fine) fine = c, fine_lag = lag;
    }
    return {fine, fine_lag};
}

int check_audio(const char* raw_path, const char* wav_path) {
    std::vector<uint8_t> raw_file = read_file(raw_path), wav_file = read_file(wav_path);
    std::vector<float> raw = mono(raw_file.data(), raw_file.size()), music;
    if (!wav_samples(wav_file, music)) return std::printf("%s is not 16-bit stereo 44100 Hz WAVE\n", wav_path), 1;
    const size_t rate = 44100, window = rate / 4;
    // The output starts with silence until the music is started: begin a little after the first
    // clearly audible sample.
    size_t onset = 0;
    while (onset < raw.size() && std::fabs(raw[onset]) < 64) onset++;
    size_t start = onset + rate / 2;
    if (start + window > raw.size())
        return std::printf("output too short or silent: %zu frames, first sound at %zu\n", raw.size(), onset), 1;
    double energy = 0;
    for (size_t i = start; i < start + window; i++) energy += raw[i] * raw[i];
    double rms = std::sqrt(energy / window);
    // Up to four quarter seconds half a second apart: one of them must be the music. A machine
    // busy with other work may drop a few milliseconds of sound into one of them, which the
    // others then show was the only fault.
    double best = -2;
    size_t best_lag = 0, best_at = start;
    for (int i = 0; i < 4 && start + i * (rate / 2) + window <= raw.size(); i++) {
        size_t at = start + i * (rate / 2);
        auto [c, lag] = best_match(raw, at, music, window);
        if (c > best) best = c, best_lag = lag, best_at = at;
        if (best >= 0.8) break;
    }
    std::printf("output %.2f s, first sound at %.3f s, level %.0f rms, correlation %.3f at output %.3f s = music %.3f s\n",
                raw.size() / double(rate), onset / double(rate), rms, best, best_at / double(rate),
                best_lag / double(rate));
    return rms > 100 && best >= 0.8 ? 0 : 1;
}

// The root window of $DISPLAY as RGB.
bool grab_screen(Image& out) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    XImage* image = XGetImage(display, root, 0, 0, unsigned(attributes.width), unsigned(attributes.height), AllPlanes,
                              ZPixmap);
    bool ok = image != nullptr;
    if (ok) {
        out.width = attributes.width;
        out.height = attributes.height;
        out.rgb.resize(size_t(out.width) * out.height * 3);
        for (int y = 0; y < out.height; y++)
            for (int x = 0; x < out.width; x++) {
                unsigned long p = XGetPixel(image, x, y);
                uint8_t* c = &out.rgb[(size_t(y) * out.width + x) * 3];
                c[0] = uint8_t((p & image->red_mask) >> __builtin_ctzl(image->red_mask));
                c[1] = uint8_t((p & image->green_mask) >> __builtin_ctzl(image->green_mask));
                c[2] = uint8_t((p & image->blue_mask) >> __builtin_ctzl(image->blue_mask));
            }
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return ok;
}

// Every screen pixel shows the picture pixel nearest to its centre (a neighbour of it counts too:
// the renderer may round a sample on a pixel edge either way), the bars around the picture black.
int check_shown(const Image& picture) {
    Image screen;
    if (!grab_screen(screen)) return std::printf("cannot read the X screen\n"), 1;
    double scale = std::min(double(screen.width) / picture.width, double(screen.height) / picture.height);
    int view_w = int(std::lround(picture.width * scale)), view_h = int(std::lround(picture.height * scale));
    int view_x = (screen.width - view_w) / 2, view_y = (screen.height - view_h) / 2;
    auto close = [](const uint8_t* a, const uint8_t* b) {
        return std::abs(a[0] - b[0]) <= 2 && std::abs(a[1] - b[1]) <= 2 && std::abs(a[2] - b[2]) <= 2;
    };
    const uint8_t black[3] = {0, 0, 0};
    int bad = 0, min_x = screen.width, min_y = screen.height, max_x = -1, max_y = -1;
    for (int y = 0; y < screen.height; y++)
        for (int x = 0; x < screen.width; x++) {
            const uint8_t* got = screen.at(x, y);
            bool ok;
            if (x < view_x || y < view_y || x >= view_x + view_w || y >= view_y + view_h) {
                ok = close(got, black);
            } else {
                int px = std::min(picture.width - 1, int((x - view_x + 0.5) / scale));
                int py = std::min(picture.height - 1, int((y - view_y + 0.5) / scale));
                ok = false;
                for (int dy = -1; dy <= 1 && !ok; dy++)
                    for (int dx = -1; dx <= 1 && !ok; dx++)
                        if (rect_inside(picture, px + dx, py + dy, 1, 1)) ok = close(got, picture.at(px + dx, py + dy));
            }
            if (ok) continue;
            bad++;
            min_x = std::min(min_x, x), min_y = std::min(min_y, y), max_x = std::max(max_x, x), max_y = std::max(max_y, y);
        }
    if (bad == 0) return std::printf("0 pixels differ\n"), 0;
    std::printf("%d pixels differ, within %d,%d .. %d,%d of the %dx%d screen\n", bad, min_x, min_y, max_x, max_y,
                screen.width, screen.height);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string cmd = argc > 1 ? argv[1] : "";
    Image a, b;
    if (cmd == "size" && argc == 3) {
        if (!load_png(argv[2], a)) return 1;
        std::printf("%d %d\n", a.width, a.height);
        return 0;
    }
    if (cmd == "pixel" && argc == 5) {
        if (!load_png(argv[2], a)) return 1;
        int x = arg_int(argv[3]), y = arg_int(argv[4]);
        if (!rect_inside(a, x, y, 1, 1)) return 1;
        std::printf("%d %d %d\n", a.at(x, y)[0], a.at(x, y)[1], a.at(x, y)[2]);
        return 0;
    }
    if ((cmd == "button" || cmd == "backdrop") && argc == 7) {
        if (!load_png(argv[2], a)) return std::printf("cannot read %s\n", argv[2]), 1;
        int x = arg_int(argv[3]), y = arg_int(argv[4]), w = arg_int(argv[5]), h = arg_int(argv[6]);
        return cmd == "button" ? check_button(a, x, y, w, h) : check_backdrop(a, x, y, w, h);
    }
    if (cmd == "diff" && argc == 8) {
        if (!load_png(argv[2], a) || !load_png(argv[3], b)) return std::printf("cannot read\n"), 1;
        int x = arg_int(argv[4]), y = arg_int(argv[5]), w = arg_int(argv[6]), h = arg_int(argv[7]);
        if (a.width != b.width || a.height != b.height || !rect_inside(a, x, y, w, h)) return 1;
        int count = 0;
        for (int yy = y; yy < y + h; yy++)
            for (int xx = x; xx < x + w; xx++) count += std::memcmp(a.at(xx, yy), b.at(xx, yy), 3) != 0;
        std::printf("%d\n", count);
        return 0;
    }
    if (cmd == "diffoutside" && argc >= 4 && (argc - 4) % 4 == 0) {
        if (!load_png(argv[2], a) || !load_png(argv[3], b)) return std::printf("cannot read\n"), 1;
        if (a.width != b.width || a.height != b.height) return std::printf("sizes differ\n"), 1;
        std::vector<bool> skip(static_cast<size_t>(a.width) * a.height, false);
        for (int i = 4; i + 3 < argc; i += 4) {
            int x = arg_int(argv[i]), y = arg_int(argv[i + 1]), w = arg_int(argv[i + 2]), h = arg_int(argv[i + 3]);
            if (!rect_inside(a, x, y, w, h)) return std::printf("rectangle outside the picture\n"), 1;
            for (int yy = y; yy < y + h; yy++)
                for (int xx = x; xx < x + w; xx++) skip[static_cast<size_t>(yy) * a.width + xx] = true;
        }
        int count = 0;
        for (int y = 0; y < a.height; y++)
            for (int x = 0; x < a.width; x++)
                count += !skip[static_cast<size_t>(y) * a.width + x] && std::memcmp(a.at(x, y), b.at(x, y), 3) != 0;
        std::printf("%d\n", count);
        return 0;
    }
    if (cmd == "pointer" && argc == 3) {
        if (!load_png(argv[2], a)) return std::printf("cannot read %s\n", argv[2]), 1;
        int x0 = a.width, y0 = a.height, x1 = -1, y1 = -1;
        for (int y = 0; y < a.height; y++)
            for (int x = 0; x < a.width; x++) {
                const uint8_t* p = a.at(x, y);
                if (p[0] != 120 || p[1] != 100 || p[2] != 100) continue;
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
        std::printf("%d %d %d %d\n", x0, y0, x1, y1);
        return x1 >= 0 && x1 - x0 < 24 && y1 - y0 < 24 ? 0 : 1;
    }
    if (cmd == "audio" && argc == 4) return check_audio(argv[2], argv[3]);
    if (cmd == "shown" && argc == 3) {
        if (!load_png(argv[2], a)) return std::printf("cannot read %s\n", argv[2]), 1;
        return check_shown(a);
    }
    std::fprintf(stderr, "usage: see the header of e2e_check.cpp\n");
    return 2;
}
