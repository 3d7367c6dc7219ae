// Row builder: watches the chip state after every frame and writes one row
// for each change of sound, holding the state that has just ended and how
// long it lasted in milliseconds.
#ifndef KELVARO_ROWS_H
#define KELVARO_ROWS_H

#include <cstdint>
#include <string>

extern const float frametime;   // 60 frames per second
extern const float outputtime;  // 1000 milliseconds per second
extern float duration_multiplier;
extern int32_t max_voices;

extern int32_t curp[4], outvol[4], oldp[4], oldvol[4];
extern float framecount;
extern int32_t tot_notes;

// The rows as one comma-separated list of decimal integers, each row ending
// in a comma.
extern std::string out_data;

// The row duration in milliseconds of a state that lasted frames frames.
int32_t row_duration(float frames);

void rows_setup();
void rows_begin();
void rows_frame();

#endif
