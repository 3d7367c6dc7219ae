#include "compressor/estimate.h"

#include <utility>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "convert/tables.h"
#include "output/output.h"
#include "xb/xb_size.h"
#include "player/player.h"
#include "songfile/player_state.h"

namespace {

constexpr uint8_t SILENT = 15;
constexpr size_t LEAST_VALUE_BYTES = 4;  // a value of 1 digit and its comma
constexpr size_t STATEMENT_BYTES = 15;   // a CALL SOUND line's bytes besides its values

// The converter keeps its settings and the player its state program-wide:
// both are set to what a conversion for the target uses and put back when
// done.
struct ConverterStateGuard {
    PlayerStateGuard player;
    int32_t saved_output = arg_output, saved_noise = arg_noise, saved_timing = arg_timing;
    explicit ConverterStateGuard(const XbTarget &target)
    {
        apply_target(target);
        sound_log = nullptr;
    }
    ConverterStateGuard(const ConverterStateGuard &) = delete;
    ConverterStateGuard &operator=(const ConverterStateGuard &) = delete;
    ~ConverterStateGuard()
    {
        arg_output = saved_output;
        arg_noise = saved_noise;
        arg_timing = saved_timing;
    }
};

// The chip state after frame f (1-based; frame F+1 silences every voice) as
// the player leaves it in musicout: a volume command byte per voice, and the
// last note sent (sent while the voice sounds, or when the frame retunes it)
// as a tone word or a noise command byte.
void set_chip_state(const std::vector<Frame> &frames, size_t f)
{
    for (int v = 0; v < 4; v++) {
        const bool final_frame = f > frames.size();
        const VoiceState s = final_frame ? VoiceState{SILENT, 0} : frames[f - 1].v[v];
        const uint8_t a = static_cast<uint8_t>(s.atten & 0x0F);
        const bool retuned = !final_frame && ((frames[f - 1].retune >> v) & 1);
        musicout.vol[v] = static_cast<uint8_t>(0x90 + 32 * v + a);
        if (a == SILENT && !retuned) continue;
        if (v == 3) {
            musicout.tone[3] = static_cast<uint32_t>(0xE0 | (s.note & 0x07));
        } else {
            const uint32_t n = s.note & 0x3FFu;
            musicout.tone[v] = (n >> 4) << 8 | (0x80u + 32u * static_cast<uint32_t>(v) + (n & 0x0F));
        }
    }
}

void silence_chip_state()
{
    for (int v = 0; v < 4; v++) {
        musicout.vol[v] = static_cast<uint8_t>(0x9F + 32 * v);
        musicout.tone[v] = 0;
    }
}

// The times of result's rows in XB without the compiler, from the integer
// list of the conversion just made.
void time_rows(XbEstimate &result, const XbTarget &target)
{
    const size_t values = target.noise ? 9 : 7;
    double at = interpreted_start_ms(target, result.rows);
    bool sounded = false;
    result.interpreted_first_sound_ms = at;
    for (size_t i = 1; i + values <= out_data_int.size(); i += values) {
        bool sounds = false;
        for (size_t k = 2; k < values; k += 2) sounds = sounds || out_data_int[i + k] != 30;
        if (sounds && !sounded) result.interpreted_first_sound_ms = at;
        sounded = sounded || sounds;
        at += interpreted_row_ms(target, out_data_int[i]);
    }
    result.interpreted_end_ms = at;
}

}  // namespace

uint32_t max_rows_within(size_t budget, const XbTarget &target)
{
    const size_t fixed = smallest_xb_program(target);
    if (budget < fixed) return 0;
    const size_t values = target.noise ? 9 : 7;
    const size_t row = values * LEAST_VALUE_BYTES + (target.form == XbForm::statements ? STATEMENT_BYTES : 0);
    return static_cast<uint32_t>((budget - fixed) / row);
}

namespace {

// The converter's row builder over frames (set up for the current
// settings): false once there are more than max_rows rows. changes, when
// given, receives the frame of each change that ends a row.
bool build_rows(const std::vector<Frame> &frames, uint32_t max_rows, std::vector<uint64_t> *changes)
{
    rows_setup();
    freq_init();
    vol_init();
    silence_chip_state();
    // The converter steps the player once before it starts counting; when
    // nothing sounds the song has no streams and ends there.
    if (frames.empty()) {
        rows_begin();
        return true;
    }
    set_chip_state(frames, 1);
    rows_begin();
    for (size_t f = 2; f <= frames.size() + 1; f++) {
        set_chip_state(frames, f);
        const int32_t before = tot_notes;
        rows_frame();
        if (changes && tot_notes != before) changes->push_back(f);
        if (static_cast<uint32_t>(tot_notes) > max_rows) return false;
    }
    return true;
}

}  // namespace

XbEstimate estimate_xb(const std::vector<Frame> &frames, uint32_t max_rows, std::string *text,
                       const XbTarget &target)
{
    if (text) text->clear();
    ConverterStateGuard guard(target);
    XbEstimate result;
    const bool whole = build_rows(frames, max_rows, nullptr);
    result.rows = static_cast<uint32_t>(tot_notes);
    if (!whole) {
        result.over = true;
        return result;
    }
    build_int_list();
    time_rows(result, target);
    std::string out = format_output();
    result.xb_size = xb_program_size(out);
    if (text) *text = std::move(out);
    return result;
}

std::vector<uint64_t> row_changes(const std::vector<Frame> &frames, const XbTarget &target)
{
    ConverterStateGuard guard(target);
    std::vector<uint64_t> changes;
    build_rows(frames, std::numeric_limits<uint32_t>::max(), &changes);
    return changes;
}

size_t smallest_xb_program(const XbTarget &target)
{
    return estimate_xb({}, std::numeric_limits<uint32_t>::max(), nullptr, target).xb_size;
}

bool convert_song_file(const std::vector<uint8_t> &song_file, XbEstimate &result, std::string *text,
                       const XbTarget &target)
{
    ConverterStateGuard guard(target);
    std::string out;
    result = XbEstimate();
    if (!convert_to_text(song_file.data(), static_cast<uint32_t>(song_file.size()), out)) return false;
    result.rows = static_cast<uint32_t>(tot_notes);
    result.xb_size = xb_program_size(out);
    time_rows(result, target);
    if (text) *text = std::move(out);
    return true;
}
