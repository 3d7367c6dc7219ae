// Reading kelvaro's listings back into rows: the PROGRAM form (the player
// line and numbered DATA lines), the DATA form (bare DATA lines) and the
// CALL SOUND form (one numbered statement per row), with or without the
// noise voice. A row is what one CALL SOUND plays: a duration in
// milliseconds and, per voice, an XB frequency (or noise type) and volume.
#ifndef PREVIEW_LISTING_H
#define PREVIEW_LISTING_H

#include <cstdint>
#include <string>
#include <vector>

#include "xbsound/target.h"

// One row as XB plays it. Tone voices that a CALL SOUND leaves out read as
// 110 Hz at volume 30 (silent); noise 0 means no noise voice in the row,
// otherwise the XB noise type as a positive number (1 to 8 for -1 to -8).
struct ListingRow {
    int32_t duration = 0;                   // milliseconds as written
    int32_t hz[3] = {110, 110, 110};        // 110 to 44733
    int32_t volume[3] = {30, 30, 30};       // 0 loudest to 30 silent
    int32_t noise = 0;
    int32_t noise_volume = 30;
    uint32_t line = 0;                      // line of the file that holds (the start of) the row
};

struct Listing {
    XbForm form = XbForm::program;
    bool noise = false;               // rows carry the noise voice
    uint32_t program_lines = 0;       // numbered XB lines (what XB scans before RUN starts)
    std::vector<ListingRow> rows;
    std::vector<std::string> warnings;  // each names the file and line
};

// Reads the text of a listing named name (used in messages). On an error
// (a line that is not one kelvaro writes, a bad number, a row out of the
// ranges CALL SOUND accepts, a row count that does not match the DATA)
// returns false, with error naming the file and the line where there is one.
bool read_listing(const std::string &text, const std::string &name, Listing &listing, std::string &error);

// True when bytes look like text rather than a binary file: no NUL and
// few control characters.
bool looks_like_text(const std::vector<uint8_t> &bytes);

#endif
