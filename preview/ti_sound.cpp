// The TI's sound chip under CALL SOUND, and a listing's rows on a timeline.
#include "preview/ti_sound.h"

#include <algorithm>
#include <cmath>

#include "xbsound/target.h"
#include "xbsound/timing.h"

namespace {

constexpr double SAMPLES_PER_MS = PREVIEW_RATE / 1000.0;

// The program a listing is, as the compressor's figures name it.
XbTarget target_of(const Listing &listing)
{
    XbTarget target;
    target.form = listing.form == ListingForm::statements ? XbForm::statements
                  : listing.form == ListingForm::data     ? XbForm::data
                                                          : XbForm::program;
    target.noise = listing.noise;
    return target;
}

}  // namespace

uint16_t ti_period(int32_t hz)
{
    if (hz <= 0) return 1023;
    const long long period = std::llround(static_cast<double>(TI_CLOCK) / (32.0 * hz));
    return static_cast<uint16_t>(std::clamp(period, 1LL, 1023LL));
}

uint8_t ti_atten(int32_t volume)
{
    return static_cast<uint8_t>(std::clamp(volume, 0, 30) / 2);
}

uint8_t ti_noise_register(int32_t type)
{
    return static_cast<uint8_t>((std::clamp(type, 1, 8) - 1) & 7);
}

TiSound ti_sound_of_row(const ListingRow &row, uint8_t noise_before)
{
    TiSound s;
    for (int v = 0; v < 3; v++) {
        s.period[v] = ti_period(row.hz[v]);
        s.atten[v] = ti_atten(row.volume[v]);
    }
    s.noise = row.noise != 0 ? ti_noise_register(row.noise) : noise_before;
    s.atten[3] = row.noise != 0 ? ti_atten(row.noise_volume) : 15;
    return s;
}

double timing_factor(ListingForm form, WrittenFor timing)
{
    return duration_factor(form == ListingForm::statements, timing == WrittenFor::emulated);
}

size_t rows_written_for(const Listing &listing, WrittenFor timing)
{
    const double factor = timing_factor(listing.form, timing);
    size_t rows = 0;
    for (const ListingRow &row : listing.rows) {
        const long long frames = std::llround(row.duration / factor * 60.0 / 1000.0);
        rows += frames >= 1 && frames <= 0xFFFFFF && written_ms(static_cast<uint32_t>(frames), factor) == row.duration;
    }
    return rows;
}

TiTimeline listing_timeline(const Listing &listing, const PlayTiming &timing)
{
    TiTimeline t;
    t.steps.reserve(listing.rows.size());
    uint8_t noise = 0;
    if (timing.on == PlayOn::compiled) {
        const double factor = timing_factor(listing.form, timing.timing);
        uint64_t frame = 0;
        for (const ListingRow &row : listing.rows) {
            const TiSound s = ti_sound_of_row(row, noise);
            noise = s.noise;
            t.steps.push_back(TiStep{frame * SAMPLES_PER_FRAME, s});
            const long long frames = std::llround(row.duration / factor * 60.0 / 1000.0);
            frame += static_cast<uint64_t>(std::max(1LL, frames));
        }
        t.end_sample = frame * SAMPLES_PER_FRAME;
        return t;
    }
    // XB without the compiler, as the compressor's --interpreted measures it.
    const XbTarget target = target_of(listing);
    double ms = interpreted_start_ms(target, listing.program_lines);
    for (const ListingRow &row : listing.rows) {
        const TiSound s = ti_sound_of_row(row, noise);
        noise = s.noise;
        t.steps.push_back(TiStep{static_cast<uint64_t>(std::llround(ms * SAMPLES_PER_MS)), s});
        ms += interpreted_row_ms(target, row.duration);
    }
    t.end_sample = static_cast<uint64_t>(std::llround(ms * SAMPLES_PER_MS));
    if (listing.rows.empty()) t.end_sample = 0;
    return t;
}

std::vector<Frame> timeline_frames(const TiTimeline &timeline)
{
    const uint64_t count = (timeline.end_sample + SAMPLES_PER_FRAME - 1) / SAMPLES_PER_FRAME;
    std::vector<Frame> frames(static_cast<size_t>(count));
    size_t next = 0;
    const TiStep *current = nullptr;
    for (uint64_t k = 1; k <= count; k++) {
        const uint64_t at = k * SAMPLES_PER_FRAME;
        if (at >= timeline.end_sample) break;
        while (next < timeline.steps.size() && timeline.steps[next].sample <= at) current = &timeline.steps[next++];
        if (current == nullptr) continue;
        Frame &f = frames[static_cast<size_t>(k - 1)];
        for (int v = 0; v < 3; v++) f.v[v] = VoiceState{current->sound.atten[v], current->sound.period[v]};
        f.v[3] = VoiceState{current->sound.atten[3], current->sound.noise};
    }
    return frames;
}

double xb_rows_ms(const Listing &listing)
{
    const XbTarget target = target_of(listing);
    double ms = 0;
    for (const ListingRow &row : listing.rows) ms += interpreted_row_ms(target, row.duration);
    return ms;
}
