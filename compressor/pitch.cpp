// Tone periods moved to the TI-99/4A clock, snapped to the note table
// relative to the song's tuning, silenced when too high to hear, and thinned
// out when a song uses more distinct periods than a tone table holds.
#include "compressor/pitch.h"

#include <cmath>
#include <map>

#include "xbsound/notes.h"
#include "compressor/fidelity.h"
#include "vgm/vgm.h"

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

// Half a semitone in octaves, with the fidelity measure's allowance for
// rounding: a note this near counts as the same pitch.
constexpr double HALF_SEMITONE = (50.0 + 1e-6) / 1200.0;

// The note-table period for a tone of period p (TI clock, not rounded):
// see snap_period.
uint16_t snap_pitch(double p)
{
    // The table spans C3 (longest period) to A6 (shortest). A pitch beyond
    // either end by more than half a semitone is folded by whole octaves
    // into the range first, keeping its pitch class.
    const double half_semitone = std::pow(2.0, 1.0 / 24.0);
    const double longest = note_period[0] * half_semitone;
    const double shortest = note_period[NOTE_COUNT - 1] / half_semitone;
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
    if (best_distance <= HALF_SEMITONE) return note_period[best];

    // Between two table notes that are more than a semitone apart: the same
    // note class in the nearest octave whose table note comes near enough.
    int other = -1;
    double other_octaves = 0.0, other_distance = 0.0;
    for (int i = 0; i < NOTE_COUNT; i++) {
        const double octaves = std::log2(p / note_period[i]);
        const double shift = std::fabs(std::round(octaves));
        const double d = std::fabs(octaves - std::round(octaves));
        if (d > HALF_SEMITONE) continue;
        if (other < 0 || shift < other_octaves || (shift == other_octaves && d < other_distance)) {
            other = i;
            other_octaves = shift;
            other_distance = d;
        }
    }
    return note_period[other >= 0 ? other : best];
}

// x cents taken around the circle of one semitone, into -50..+50.
double wrap_semitone(double x)
{
    return x - 100.0 * std::round(x / 100.0);
}

// Distance in cents from a tone's pitch to the nearest equal-tempered
// semitone (A4 = 440 Hz), from -50 to +50; positive when sharp.
double semitone_distance(double hz)
{
    return wrap_semitone(1200.0 * std::log2(hz / 440.0));
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
    return snap_pitch(sounding(period));
}

double tuning_offset(const std::vector<Frame> &frames, uint32_t clock)
{
    if (clock == 0) clock = TI_CLOCK;
    // Frames each register value sounds in: every distance then comes once.
    std::vector<uint64_t> uses(1024, 0);
    for (const Frame &f : frames)
        for (int v = 0; v < 3; v++)
            if (sounding_hz(f.v[v], clock) != 0.0) uses[f.v[v].note & 0x3FF]++;
    std::vector<std::pair<double, uint64_t>> distances;
    for (uint16_t n = 0; n < 1024; n++)
        if (uses[n] != 0) distances.emplace_back(semitone_distance(clock / (32.0 * sounding(n))), uses[n]);

    // The median on a circle is the point with the least weighted distance
    // to all the others, and one of them is such a point. On a tie the one
    // nearest standard pitch.
    double best = 0.0, best_cost = 0.0;
    bool found = false;
    for (const auto &c : distances) {
        double cost = 0.0;
        for (const auto &d : distances)
            cost += static_cast<double>(d.second) * std::fabs(wrap_semitone(d.first - c.first));
        const double slack = 1e-9 * best_cost;  // against rounding in the sums
        if (!found || cost < best_cost - slack ||
            (cost <= best_cost + slack && std::fabs(c.first) < std::fabs(best))) {
            best = c.first;
            best_cost = cost;
            found = true;
        }
    }
    return best;
}

PitchReport apply_pitch(std::vector<Frame> &frames, uint32_t clock, bool exact)
{
    if (clock == 0) clock = TI_CLOCK;  // no clock known: keep the periods as they are
    PitchReport report;
    for (Frame &f : frames)
        for (int v = 0; v < 3; v++)
            if (sounds(f.v[v]) && is_ultrasonic(f.v[v].note, clock)) {
                f.v[v].atten = 15;
                report.ultrasonic++;
            }
    report.tuning_cents = tuning_offset(frames, clock);
    report.relative = !exact && std::fabs(report.tuning_cents) > TUNING_TOLERANCE_CENTS;

    // A sharp song's periods are lengthened by its offset before snapping,
    // a flat one's shortened, so that all its notes move alike.
    const double scale = static_cast<double>(TI_CLOCK) / clock *
                         (report.relative ? std::pow(2.0, report.tuning_cents / 1200.0) : 1.0);
    auto pitch_of = [&](uint16_t n) {
        return exact ? move_period(n, clock) : snap_pitch(sounding(n) * scale);
    };
    // Every register value maps the same way; work each out once.
    uint16_t map[1024];
    for (uint16_t n = 0; n < 1024; n++) map[n] = pitch_of(n);
    for (Frame &f : frames)
        for (int v = 0; v < 3; v++) {
            uint16_t &note = f.v[v].note;
            note = note < 1024 ? map[note] : pitch_of(note);
        }
    return report;
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

std::vector<Frame> ti_frames(const VgmLog &log, uint32_t clock, bool exact, int *merged, PitchReport *report)
{
    std::vector<Frame> frames = sample_frames(log);
    const PitchReport pitch = apply_pitch(frames, clock, exact);
    if (report) *report = pitch;
    const int count = exact ? merge_periods(frames) : 0;
    if (merged) *merged = count;
    return frames;
}
