#include "convert/song.h"

#include "convert/rows.h"
#include "convert/tables.h"
#include "player/player.h"

bool convert_rows(const uint8_t *data, uint32_t size, uint32_t *frames_out)
{
    rows_setup();
    freq_init();
    vol_init();
    stinit(data, 0, size);
    stplay();
    rows_begin();
    uint32_t frames = 1;
    bool ok = true;
    while (playmask & 0xFF00) {
        if (frames == MAX_FRAMES) {
            ok = false;
            break;
        }
        stplay();
        rows_frame();
        frames++;
    }
    if (frames_out) *frames_out = frames;
    return ok;
}
