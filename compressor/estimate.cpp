#include "compressor/estimate.h"

#include <utility>

#include "output/conversion.h"
#include "xb/xb_size.h"

namespace {

constexpr size_t LEAST_VALUE_BYTES = 4;  // a value of 1 digit and its comma
constexpr size_t STATEMENT_BYTES = 15;   // a CALL SOUND line's bytes besides its values

// The times of result's rows in XB without the compiler, from the integer
// list of its conversion.
void time_rows(XbEstimate &result, const std::vector<int32_t> &list, const XbTarget &target)
{
    const size_t values = target.noise ? 9 : 7;
    double at = interpreted_start_ms(target, result.rows);
    bool sounded = false;
    result.interpreted_first_sound_ms = at;
    for (size_t i = 1; i + values <= list.size(); i += values) {
        bool sounds = false;
        for (size_t k = 2; k < values; k += 2) sounds = sounds || list[i + k] != 30;
        if (sounds && !sounded) result.interpreted_first_sound_ms = at;
        sounded = sounded || sounds;
        at += interpreted_row_ms(target, list[i]);
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

XbEstimate estimate_xb(const std::vector<Frame> &frames, uint32_t max_rows, std::string *text,
                       const XbTarget &target)
{
    if (text) text->clear();
    Conversion conversion = convert_frames(frames, target, max_rows);
    XbEstimate result;
    result.rows = conversion.rows;
    if (conversion.over) {
        result.over = true;
        return result;
    }
    time_rows(result, conversion.values, target);
    result.xb_size = xb_program_size(conversion.text);
    if (text) *text = std::move(conversion.text);
    return result;
}

size_t smallest_xb_program(const XbTarget &target)
{
    return estimate_xb({}, std::numeric_limits<uint32_t>::max(), nullptr, target).xb_size;
}

bool convert_song_file(const std::vector<uint8_t> &song_file, XbEstimate &result, std::string *text,
                       const XbTarget &target)
{
    result = XbEstimate();
    Conversion conversion = convert_song(song_file.data(), static_cast<uint32_t>(song_file.size()), target);
    if (!conversion.ok) return false;
    result.rows = conversion.rows;
    result.xb_size = xb_program_size(conversion.text);
    time_rows(result, conversion.values, target);
    if (text) *text = std::move(conversion.text);
    return true;
}
