#include "compressor/holds.h"

#include <algorithm>

#include "xbsound/notes.h"

namespace {

constexpr uint8_t SILENT = 15;
constexpr int TONE_VOICES = 3;
constexpr int VOICES = 4;

// What the converter sees of the voices: attenuations and the notes last
// sent (0 before the first, the chip's tone word being 0 then). By default
// it watches the tone voices only; with -n the noise voice too.
struct View {
    uint8_t atten[VOICES] = {SILENT, SILENT, SILENT, SILENT};
    uint16_t sent[VOICES] = {0, 0, 0, 0};
};

bool differs(const View &a, const View &b, int voices)
{
    for (int v = 0; v < voices; v++)
        if (a.atten[v] != b.atten[v] || a.sent[v] != b.sent[v]) return true;
    return false;
}

// Frame f (1-based) applied to view; frame F+1 silences every voice.
void apply(View &view, const std::vector<Frame> &frames, size_t f)
{
    for (int v = 0; v < VOICES; v++) {
        if (f > frames.size()) {
            view.atten[v] = SILENT;
            continue;
        }
        const Frame &fr = frames[f - 1];
        const uint8_t a = static_cast<uint8_t>(fr.v[v].atten & 0x0F);
        view.atten[v] = a;
        const uint16_t mask = v == 3 ? 0x07 : 0x3FF;
        if (a != SILENT || ((fr.retune >> v) & 1)) view.sent[v] = static_cast<uint16_t>(fr.v[v].note & mask);
    }
}

// The silent tone voice to retune in view, one that sounds somewhere in the
// song when there is such; -1 when all three sound.
int silent_voice(const View &view, const bool (&sounds)[TONE_VOICES])
{
    int voice = -1;
    for (int v = 0; v < TONE_VOICES; v++)
        if (view.atten[v] == SILENT && (voice < 0 || (sounds[v] && !sounds[voice]))) voice = v;
    return voice;
}

// Sends voice, silent at frame `at`, a period other than sent; returns it.
uint16_t retune(std::vector<Frame> &frames, uint64_t at, int voice, uint16_t sent,
                const std::vector<uint16_t> &periods, HoldReport &report)
{
    const uint16_t p = periods[0] != sent ? periods[0] : periods[1];
    Frame &fr = frames[at - 1];
    fr.v[voice].note = p;
    fr.retune = static_cast<uint8_t>(fr.retune | (1u << voice));
    report.splits++;
    report.rows++;
    return p;
}

// Periods a retuning may send: those the song sounds (so the tone table
// grows by none), with two notes of the converter's table besides when the
// song sounds fewer than two.
std::vector<uint16_t> retune_periods(const std::vector<Frame> &frames, bool (&sounds)[TONE_VOICES])
{
    std::vector<bool> used(1024, false);
    for (const Frame &fr : frames)
        for (int v = 0; v < TONE_VOICES; v++)
            if ((fr.v[v].atten & 0x0F) != SILENT) {
                sounds[v] = true;
                used[fr.v[v].note & 0x3FF] = true;
            }
    used[0] = false;  // period 1024 reads as 0, the tone word of a voice never sent a note
    std::vector<uint16_t> periods;
    for (uint16_t p = 1; p < 1024; p++)
        if (used[p]) periods.push_back(p);
    for (int k = 0; periods.size() < 2; k++)
        if (std::find(periods.begin(), periods.end(), note_period[k]) == periods.end()) periods.push_back(note_period[k]);
    return periods;
}

// With -n the converter also ends a row at each change of the noise voice.
// Those rows refine the default ones, so they are short enough wherever the
// default rows are; only after the last change of the default view (from
// `last`, where every tone voice is silent, or the song would end with a
// change) may a noise row be too long. Such rows are split by retuning a
// silent tone voice every LONGEST_ROW_FRAMES frames from `last`, which
// keeps the default rows this adds within the limit too. view: the view
// at frame `last` (frame 1 when 0).
void split_noise_tail(std::vector<Frame> &frames, uint64_t last, View view, const bool (&sounds)[TONE_VOICES],
                      const std::vector<uint16_t> &periods, HoldReport &report)
{
    const int voice = silent_voice(view, sounds);
    if (voice < 0) return;  // never: from `last` on, every tone voice is silent
    uint16_t sent = view.sent[voice];
    uint64_t noise_change = last, retuned = last;  // the last change, the last retuning
    for (size_t f = std::max<uint64_t>(last + 1, 2); f <= frames.size() + 1; f++) {
        const View before = view;
        apply(view, frames, f);
        if (!differs(view, before, VOICES)) continue;
        while (f - std::max(noise_change, retuned) > LONGEST_ROW_FRAMES) {
            retuned += LONGEST_ROW_FRAMES;
            sent = retune(frames, retuned, voice, sent, periods, report);
        }
        noise_change = f;
    }
}

}  // namespace

HoldReport split_long_holds(std::vector<Frame> &frames, uint32_t min_row, bool noise_rows)
{
    HoldReport report;
    if (frames.empty()) return report;
    // Each change the converter sees ends a row; so does each split.
    bool sounds[TONE_VOICES] = {false, false, false};
    const std::vector<uint16_t> periods = retune_periods(frames, sounds);

    View view;
    apply(view, frames, 1);
    uint64_t last_change = 0;  // the first row counts from frame 0
    View at_last_change = view;
    for (size_t f = 2; f <= frames.size() + 1; f++) {
        const View before = view;
        apply(view, frames, f);
        if (!differs(view, before, noise_rows ? VOICES : TONE_VOICES)) continue;

        if (f - last_change > LONGEST_ROW_FRAMES) {
            // The state `before` holds from last_change (frame 1 for the
            // first row) to f - 1: split it with a silent voice.
            const int voice = silent_voice(before, sounds);
            if (voice < 0) {
                if (report.unsplittable++ == 0) report.first_unsplittable = std::max<uint64_t>(last_change, 1);
            } else {
                uint16_t sent = before.sent[voice];
                for (uint64_t from = last_change; f - from > LONGEST_ROW_FRAMES; from += LONGEST_ROW_FRAMES) {
                    uint64_t at = from + LONGEST_ROW_FRAMES;  // inside the hold: at < f
                    // The last split leaves the hold's last row min_row
                    // frames, taking them from the row before it.
                    if (f - at < min_row && min_row <= LONGEST_ROW_FRAMES / 2) at = f - min_row;
                    sent = retune(frames, at, voice, sent, periods, report);
                }
                // Unless frame f itself sends the voice a note, the voice
                // now holds the last period sent by the split.
                const bool sent_at_f =
                    f <= frames.size() && (view.atten[voice] != SILENT || ((frames[f - 1].retune >> voice) & 1));
                if (!sent_at_f) view.sent[voice] = sent;
            }
        }
        report.rows++;
        last_change = f;
        at_last_change = view;
    }
    split_noise_tail(frames, last_change, at_last_change, sounds, periods, report);
    return report;
}
