// Drawing the piano roll: bars per voice, strips of 20 seconds, SVG text.
#include "preview/roll.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "compressor/fidelity.h"

namespace {

constexpr int SEMITONES = 72;          // C2 .. C8
constexpr int XB_LOW = 12, XB_HIGH = 57;  // C3 .. A6
constexpr int ROW = 6;                 // pixels a semitone: the listing's bars 4 high, the VGM's 6
constexpr int NOISE_LANES = 8;
constexpr int LEFT = 60;               // room for the labels and the note axis's title
constexpr int WIDTH = LEFT + static_cast<int>(ROLL_STRIP_FRAMES) + 12;
constexpr int PITCH_HEIGHT = (SEMITONES + 1) * ROW;
constexpr int NOISE_TOP = PITCH_HEIGHT + 8;
constexpr int STRIP_HEIGHT = NOISE_TOP + NOISE_LANES * ROW + 42;
constexpr int HEADER = 96;
constexpr double C2_HZ = 65.40639132514966;

const char *const colours[4] = {"#d62728", "#1f77b4", "#2ca02c", "#8c564b"};

int semitone(double hz)
{
    const long s = std::lround(12.0 * std::log2(hz / C2_HZ));
    return static_cast<int>(std::clamp(s, 0L, static_cast<long>(SEMITONES)));
}

// Length of the valid UTF-8 sequence at s[i], or 0.
size_t utf8_length(const std::string &s, size_t i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; k++)
        if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return 0;
    return n;
}

// Text for the picture: XML's special characters escaped; control
// characters and bytes that are not UTF-8 (a file name may hold any) as '?'.
std::string escape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size();) {
        const char c = s[i];
        const size_t n = utf8_length(s, i);
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else if (n == 0 || (n == 1 && static_cast<unsigned char>(c) < 0x20)) out += '?';
        else out.append(s, i, n);
        i += n == 0 ? 1 : n;
    }
    return out;
}

// Louder is more opaque: attenuation 0 draws at full strength, 14 at a fifth.
double strength(uint8_t atten)
{
    return 1.0 - 0.8 * std::min<int>(atten, 14) / 14.0;
}

void appendf(std::string &s, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

void appendf(std::string &s, const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n > 0) s.append(buf, std::min(static_cast<size_t>(n), sizeof buf - 1));
}

int lane_y(const RollBar &b)
{
    return b.voice < 3 ? (SEMITONES - b.lane) * ROW : NOISE_TOP + b.lane * ROW;
}

// One side's bars: pale wide bars for the VGM, solid narrow ones for the
// listing. The bars of one voice, strip and volume share one path (a
// rectangle "M x y h w v h h -w z" each), which keeps a long song's picture
// small.
void draw_side(std::string &svg, const std::vector<RollBar> &bars, bool listing, size_t strips)
{
    std::vector<std::string> paths(4 * strips * 16);
    for (const RollBar &b : bars) {
        const size_t strip = b.start / ROLL_STRIP_FRAMES;
        std::string &d = paths[(static_cast<size_t>(b.voice) * strips + strip) * 16 + (b.atten & 15)];
        appendf(d, "M%zu %dh%zuv%dh-%zuz", b.start % ROLL_STRIP_FRAMES, lane_y(b) + (listing ? 1 : 0), b.frames,
                listing ? ROW - 2 : ROW, b.frames);
    }
    for (size_t i = 0; i < paths.size(); i++) {
        if (paths[i].empty()) continue;
        const int voice = static_cast<int>(i / 16 / strips);
        const size_t strip = i / 16 % strips;
        const uint8_t atten = static_cast<uint8_t>(i % 16);
        const double op = listing ? strength(atten) : 0.35 * strength(atten);
        appendf(svg, "<path class=\"%s v%d\" fill=\"%s\" opacity=\"%.2f\" transform=\"translate(%d,%d)\" d=\"",
                listing ? "listing" : "vgm", voice, colours[voice], op, LEFT,
                HEADER + static_cast<int>(strip) * STRIP_HEIGHT);
        svg += paths[i];
        svg += "\"/>\n";
    }
}

void draw_strip_frame(std::string &svg, size_t strip)
{
    const int top = HEADER + static_cast<int>(strip) * STRIP_HEIGHT;
    appendf(svg, "<g transform=\"translate(%d,%d)\">\n", LEFT, top);
    appendf(svg, "<rect x=\"0\" y=\"%d\" width=\"%zu\" height=\"%d\" fill=\"#eeeeee\"/>\n",
            (SEMITONES - XB_HIGH) * ROW, ROLL_STRIP_FRAMES, (XB_HIGH - XB_LOW + 1) * ROW);
    for (int c = 0; c <= SEMITONES; c += 12) {
        const int y = (SEMITONES - c) * ROW + ROW / 2;
        appendf(svg, "<line x1=\"0\" y1=\"%d\" x2=\"%zu\" y2=\"%d\" stroke=\"#cccccc\" stroke-width=\"0.5\"/>\n", y,
                ROLL_STRIP_FRAMES, y);
        appendf(svg, "<text x=\"-6\" y=\"%d\" text-anchor=\"end\" class=\"label\">C%d</text>\n", y + 3, 2 + c / 12);
    }
    appendf(svg, "<rect x=\"0\" y=\"%d\" width=\"%zu\" height=\"%d\" fill=\"#f6f6f6\"/>\n", NOISE_TOP,
            ROLL_STRIP_FRAMES, NOISE_LANES * ROW);
    appendf(svg, "<text x=\"-6\" y=\"%d\" text-anchor=\"end\" class=\"label\">noise</text>\n",
            NOISE_TOP + NOISE_LANES * ROW / 2 + 3);
    appendf(svg, "<text transform=\"translate(%d,%d) rotate(-90)\" text-anchor=\"middle\" class=\"axis\">note</text>\n",
            -LEFT + 14, PITCH_HEIGHT / 2);
    const int axis = NOISE_TOP + NOISE_LANES * ROW;
    for (size_t s = 0; s <= ROLL_STRIP_FRAMES / 60; s += 5) {
        const size_t at = strip * ROLL_STRIP_FRAMES / 60 + s;
        appendf(svg, "<line x1=\"%zu\" y1=\"0\" x2=\"%zu\" y2=\"%d\" stroke=\"#dddddd\" stroke-width=\"0.5\"/>\n",
                s * 60, s * 60, axis);
        appendf(svg, "<text x=\"%zu\" y=\"%d\" text-anchor=\"middle\" class=\"label\">%zu:%02zu</text>\n", s * 60,
                axis + 12, at / 60, at % 60);
    }
    appendf(svg, "<text x=\"%zu\" y=\"%d\" text-anchor=\"middle\" class=\"axis\">time (minutes:seconds)</text>\n",
            ROLL_STRIP_FRAMES / 2, axis + 28);
    svg += "</g>\n";
}

// The timing the listing was drawn with: "timing emulated, the best fit",
// "--on xb".
std::string drawn_with(const Comparison &c)
{
    const std::string name = timing_name(c);
    std::string text = name == "xb" ? "--on xb" : "timing " + name;
    if (c.best_fit) text += ", the best fit";
    return text;
}

void draw_legend(std::string &svg)
{
    // As CALL SOUND numbers them.
    const char *const names[4] = {"tone 1", "tone 2", "tone 3", "noise"};
    int x = LEFT;
    const int y = 56;
    for (int v = 0; v < 4; v++) {
        appendf(svg, "<rect x=\"%d\" y=\"%d\" width=\"24\" height=\"%d\" fill=\"%s\" opacity=\"0.35\"/>\n", x, y,
                ROW * 2, colours[v]);
        appendf(svg, "<rect x=\"%d\" y=\"%d\" width=\"24\" height=\"%d\" fill=\"%s\"/>\n", x, y + ROW / 2 + 1,
                ROW, colours[v]);
        appendf(svg, "<text x=\"%d\" y=\"%d\" class=\"label\">%s</text>\n", x + 30, y + 8, names[v]);
        x += 100;
    }
    appendf(svg, "<rect x=\"%d\" y=\"%d\" width=\"24\" height=\"%d\" fill=\"#eeeeee\"/>\n", x, y, ROW * 2);
    appendf(svg,
            "<text x=\"%d\" y=\"%d\" class=\"label\">the 46 notes XB plays (C3 to A6). Pale: the VGM; solid: the "
            "listing; fainter: quieter.</text>\n",
            x + 30, y + 8);
}

}  // namespace

std::vector<RollBar> roll_bars(const std::vector<Frame> &frames, uint32_t clock)
{
    std::vector<RollBar> bars;
    for (int v = 0; v < 4; v++) {
        bool open = false;
        RollBar bar;
        uint16_t note = 0;
        for (size_t i = 0; i < frames.size(); i++) {
            const VoiceState &s = frames[i].v[v];
            const bool sounds = v < 3 ? sounding_hz(s, clock) != 0.0 : (s.atten & 0x0F) != 15;
            const uint16_t here = v < 3 ? static_cast<uint16_t>(s.note & 0x3FF) : static_cast<uint16_t>(s.note & 7);
            if (open && (!sounds || here != note || i % ROLL_STRIP_FRAMES == 0)) {
                bars.push_back(bar);
                open = false;
            }
            if (!sounds) continue;
            if (!open) {
                bar = RollBar();
                bar.voice = v;
                bar.start = i;
                bar.lane = v < 3 ? semitone(sounding_hz(s, clock)) : here;
                note = here;
                open = true;
            }
            bar.frames++;
            bar.atten = std::min<uint8_t>(bar.atten, s.atten & 0x0F);
        }
        if (open) bars.push_back(bar);
    }
    return bars;
}

std::string roll_svg(const std::vector<Frame> &vgm, uint32_t vgm_clock, const Comparison &comparison,
                     const std::string &vgm_name, const std::string &listing_name)
{
    const std::vector<RollBar> vgm_bars = roll_bars(vgm, vgm_clock);
    const std::vector<RollBar> listing_bars = roll_bars(comparison.aligned, TI_CLOCK);
    const size_t length = std::max(vgm.size(), comparison.aligned.size());
    const size_t strips = std::max<size_t>(1, (length + ROLL_STRIP_FRAMES - 1) / ROLL_STRIP_FRAMES);
    const int height = HEADER + static_cast<int>(strips) * STRIP_HEIGHT;

    std::string svg;
    svg.reserve(64 * (vgm_bars.size() + listing_bars.size()) + 4096 * strips);
    appendf(svg,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %d %d\" width=\"%d\" height=\"%d\" stroke=\"none\">\n",
            WIDTH, height, WIDTH, height);
    svg += "<style>text{font-family:sans-serif;fill:#333333}.title{font-size:15px}.label{font-size:10px}"
           ".axis{font-size:12px;font-weight:bold}</style>\n";
    appendf(svg, "<rect width=\"%d\" height=\"%d\" fill=\"#ffffff\"/>\n", WIDTH, height);
    svg += "<text x=\"" + std::to_string(LEFT) + "\" y=\"22\" class=\"title\">" + escape(vgm_name) +
           " (pale) and " + escape(listing_name) + " (solid), drawn with " + escape(drawn_with(comparison)) +
           "</text>\n";
    svg += "<text x=\"" + std::to_string(LEFT) + "\" y=\"42\" class=\"title\">" +
           escape(comparison_summary(comparison)) + "</text>\n";
    draw_legend(svg);
    for (size_t strip = 0; strip < strips; strip++) draw_strip_frame(svg, strip);
    draw_side(svg, vgm_bars, false, strips);
    draw_side(svg, listing_bars, true, strips);
    svg += "</svg>\n";
    return svg;
}
