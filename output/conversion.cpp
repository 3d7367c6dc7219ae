// The converter's program-wide records set for one conversion and put back.
#include "output/conversion.h"

#include <utility>

#include "convert/rows.h"
#include "convert/settings.h"
#include "convert/song.h"
#include "convert/tables.h"
#include "output/output.h"
#include "player/player.h"
#include "player/player_state.h"
#include "sound/codec.h"

namespace {

// The records saved for one conversion, set to target.
struct ConverterState {
    explicit ConverterState(const XbTarget &target)
    {
        apply_target(target);
        sound_log = nullptr;
    }
    SavedConverterState saved;
};

// The chip state after frame f (1-based; frame F+1 silences every voice) as
// the player leaves it in musicout: a volume command byte per voice, and the
// last note sent (sent while the voice sounds, or when the frame retunes it)
// as a tone word or a noise command byte.
void set_chip_state(const std::vector<Frame> &frames, size_t f)
{
    for (int v = 0; v < 4; v++) {
        const bool final_frame = f > frames.size();
        const VoiceState s = final_frame ? VoiceState{CHIP_SILENT, 0} : frames[f - 1].v[v];
        const uint8_t a = static_cast<uint8_t>(s.atten & 0x0F);
        const bool retuned = !final_frame && ((frames[f - 1].retune >> v) & 1);
        musicout.vol[v] = chip_atten_byte(v, a);
        if (a == CHIP_SILENT && !retuned) continue;
        if (v == 3)
            musicout.tone[3] = chip_noise_byte(static_cast<uint8_t>(s.note));
        else
            musicout.tone[v] = chip_tone_word(v, static_cast<uint16_t>(s.note & 0x3FFu));
    }
}

void silence_chip_state()
{
    for (int v = 0; v < 4; v++) {
        musicout.vol[v] = chip_atten_byte(v, CHIP_SILENT);
        musicout.tone[v] = 0;
    }
}

// The integer list and text of the rows just built.
void finish(Conversion &result)
{
    result.rows = static_cast<uint32_t>(tot_notes);
    build_int_list();
    result.text = format_output();
    result.values = std::move(out_data_int);
}

}  // namespace

// The rows and the integer list are moved out (a conversion starts them
// afresh) and back.
struct SavedConverterState::Records {
    PlayerStateGuard player;
    int32_t output = arg_output, noise = arg_noise, timing = arg_timing;
    int32_t size = out_data_size, notes = tot_notes, line = line_num;
    std::string rows;
    std::vector<int32_t> values;
};

SavedConverterState::SavedConverterState() : records_(std::make_unique<Records>())
{
    std::swap(records_->rows, out_data);
    std::swap(records_->values, out_data_int);
}

SavedConverterState::~SavedConverterState()
{
    arg_output = records_->output;
    arg_noise = records_->noise;
    arg_timing = records_->timing;
    std::swap(records_->rows, out_data);
    std::swap(records_->values, out_data_int);
    out_data_size = records_->size;
    tot_notes = records_->notes;
    line_num = records_->line;
}

Conversion convert_song(const uint8_t *data, uint32_t size, const XbTarget &target)
{
    ConverterState state(target);
    Conversion result;
    result.ok = convert_rows(data, size);
    if (result.ok) finish(result);
    else result.rows = static_cast<uint32_t>(tot_notes);
    return result;
}

namespace {

// The row builder over frames, with the converter set up for the current
// settings: false once there are more than max_rows rows. changes, when
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

Conversion convert_frames(const std::vector<Frame> &frames, const XbTarget &target, uint32_t max_rows)
{
    ConverterState state(target);
    Conversion result;
    result.ok = true;
    if (!build_rows(frames, max_rows, nullptr)) {
        result.rows = static_cast<uint32_t>(tot_notes);
        result.over = true;
        return result;
    }
    finish(result);
    return result;
}

std::vector<uint64_t> row_changes(const std::vector<Frame> &frames, const XbTarget &target)
{
    ConverterState state(target);
    std::vector<uint64_t> changes;
    build_rows(frames, std::numeric_limits<uint32_t>::max(), &changes);
    return changes;
}
