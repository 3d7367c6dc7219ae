// Tone periods moved to the TI-99/4A clock, snapped to the note table, and
// thinned out when a song uses more distinct periods than a tone table holds.
#include "vgmcomp/pitch.h"

#include <cmath>
#include <map>

#include "convert/tables.h"

namespace {

// The period a tone register value plays: 0 plays as 1024.
double sounding(uint16_t period)
{
    return period == 0 ? 1024.0 : period;
}

// Distance in pitch between two periods, in octaves.
double pitch_distance(double a, double b)
{
    return std::fabs(std::log2(a / b));
}

uint16_t move_and_snap(uint16_t period, uint32_t clock, bool exact)
{
    uint16_t moved = move_period(period, clock);
    return exact ? moved : snap_period(moved);
}

bool sounds(const VoiceState &s)
{
    return s.atten != 15;
}

}  // namespace

uint16_t move_period(uint16_t period, uint32_t clock)
{
    if (clock == 0) clock = TI_CLOCK;  // no clock known: keep the period as it is
    const uint64_t n = period == 0 ? 1024 : period;
    uint64_t moved = (n * TI_CLOCK * 2 + clock) / (2 * static_cast<uint64_t>(clock));
    if (moved < 1) moved = 1;
    if (moved > 1023) moved = 1023;
    return static_cast<uint16_t>(moved);
}

uint16_t snap_period(uint16_t period)
{
    // The table spans C3 (longest period) to A6 (shortest). A pitch beyond
    // either end by more than half a semitone is folded by whole octaves
    // into the range first, keeping its pitch class.
    const double half_semitone = std::pow(2.0, 1.0 / 24.0);
    const double longest = note_period[0] * half_semitone;
    const double shortest = note_period[NOTE_COUNT - 1] / half_semitone;
    double p = sounding(period);
    while (p > longest) p /= 2.0;
    while (p < shortest) p *= 2.0;

    int best = 0;
    double best_distance = pitch_distance(p, note_period[0]);
    for (int i = 1; i < NOTE_COUNT; i++) {
        double d = pitch_distance(p, note_period[i]);
        if (d < best_distance) {
            best_distance = d;
            best = i;
        }
    }
    return note_period[best];
}

void apply_pitch(std::vector<Frame> &frames, uint32_t clock, bool exact)
{
    // Every register value maps the same way; work each out once.
    uint16_t map[1024];
    for (uint16_t n = 0; n < 1024; n++) map[n] = move_and_snap(n, clock, exact);
    for (Frame &f : frames)
        for (int v = 0; v < 3; v++) {
            uint16_t &note = f.v[v].note;
            note = note < 1024 ? map[note] : move_and_snap(note, clock, exact);
        }
}

int merge_periods(std::vector<Frame> &frames, size_t limit)
{
    if (limit < 1) limit = 1;
    // Frames each period sounds in, ordered by period (so by pitch).
    std::map<uint16_t, uint64_t> uses;
    for (const Frame &f : frames)
        for (int v = 0; v < 3; v++)
            if (sounds(f.v[v])) uses[f.v[v].note]++;
    if (uses.size() <= limit) return 0;

    std::map<uint16_t, uint16_t> target;  // merged period -> the period that took it in
    int merged = 0;
    while (uses.size() > limit) {
        // The rarest period; among equally rare ones the lowest period.
        auto rare = uses.begin();
        for (auto it = uses.begin(); it != uses.end(); ++it)
            if (it->second < rare->second) rare = it;
        // Its nearest neighbour in pitch is one of the two next to it in
        // period order; on a tie the more used one takes it.
        auto into = uses.end();
        if (rare != uses.begin()) into = std::prev(rare);
        auto after = std::next(rare);
        if (after != uses.end()) {
            if (into == uses.end()) {
                into = after;
            } else {
                double d_before = pitch_distance(sounding(into->first), sounding(rare->first));
                double d_after = pitch_distance(sounding(after->first), sounding(rare->first));
                if (d_after < d_before || (d_after == d_before && after->second > into->second)) into = after;
            }
        }
        into->second += rare->second;
        target[rare->first] = into->first;
        uses.erase(rare);
        merged++;
    }

    // Follow chains (a period merged into one that was merged later).
    auto final_period = [&](uint16_t p) {
        auto it = target.find(p);
        while (it != target.end()) {
            p = it->second;
            it = target.find(p);
        }
        return p;
    };
    std::map<uint16_t, uint16_t> resolved;
    for (const auto &t : target) resolved[t.first] = final_period(t.first);
    for (Frame &f : frames)
        for (int v = 0; v < 3; v++) {
            auto it = resolved.find(f.v[v].note);
            if (it != resolved.end()) f.v[v].note = it->second;
        }
    return merged;
}

std::vector<Frame> ti_frames(const VgmLog &log, uint32_t clock, bool exact, int *merged)
{
    std::vector<Frame> frames = sample_frames(log);
    apply_pitch(frames, clock, exact);
    const int count = exact ? merge_periods(frames) : 0;
    if (merged) *merged = count;
    return frames;
}
