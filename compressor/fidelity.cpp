#include "compressor/fidelity.h"

#include <cmath>

FidelityCounts &FidelityCounts::operator+=(const FidelityCounts &o)
{
    sounding += o.sounding;
    pitch_class += o.pitch_class;
    octave += o.octave;
    volume += o.volume;
    note_volume += o.note_volume;
    phantom += o.phantom;
    return *this;
}

namespace {

double tone_hz(uint16_t period, uint32_t clock)
{
    const uint32_t n = (period & 0x3FF) == 0 ? 1024 : (period & 0x3FF);
    return static_cast<double>(clock) / (32.0 * n);
}

}  // namespace

bool is_ultrasonic(uint16_t period, uint32_t clock)
{
    return tone_hz(period, clock) > ULTRASONIC_HZ;
}

double sounding_hz(const VoiceState &s, uint32_t clock)
{
    if ((s.atten & 0x0F) == 15) return 0.0;
    const double hz = tone_hz(s.note, clock);
    return hz > ULTRASONIC_HZ ? 0.0 : hz;
}

Fidelity measure_fidelity(const std::vector<Frame> &ref, uint32_t ref_clock, const std::vector<Frame> &got,
                          uint32_t got_clock, size_t frames)
{
    static const Frame silent;
    Fidelity result;
    for (size_t i = 0; i < frames; i++) {
        const Frame &r = i < ref.size() ? ref[i] : silent;
        const Frame &g = i < got.size() ? got[i] : silent;
        for (int v = 0; v < 3; v++) {
            FidelityCounts &c = result.voice[v];
            const double rh = sounding_hz(r.v[v], ref_clock);
            const double gh = sounding_hz(g.v[v], got_clock);
            if (rh == 0.0) {
                if (gh != 0.0) c.phantom++;
                continue;
            }
            c.sounding++;
            if (gh == 0.0) continue;
            // Distance in cents; a hair over 50 still counts, against rounding.
            const double cents = 1200.0 * std::log2(gh / rh);
            const double folded = cents - 1200.0 * std::round(cents / 1200.0);
            const bool same_octave = std::fabs(cents) <= 50.0 + 1e-6;
            const bool same_volume = (g.v[v].atten & 0x0F) == (r.v[v].atten & 0x0F);
            if (std::fabs(folded) <= 50.0 + 1e-6) c.pitch_class++;
            if (same_octave) c.octave++;
            if (same_volume) c.volume++;
            if (same_octave && same_volume) c.note_volume++;
        }
    }
    for (const FidelityCounts &c : result.voice) result.total += c;
    return result;
}

double fidelity_percent(uint64_t count, uint64_t sounding, double if_none)
{
    if (sounding == 0) return if_none;
    return 100.0 * static_cast<double>(count) / static_cast<double>(sounding);
}
