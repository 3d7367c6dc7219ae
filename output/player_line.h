// The PROGRAM form's player line (after its line number): it reads the row
// count, then each row's numbers from the DATA lines, and plays the row with
// one CALL SOUND. The output writer writes it and the listing reader knows
// the form by it.
#ifndef KELVARO_PLAYER_LINE_H
#define KELVARO_PLAYER_LINE_H

// The line for rows of 7 numbers, or of 9 with the noise voice.
inline const char *xb_player_line(bool with_noise)
{
    return with_noise ? "read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3,s4,v4::"
                        "call sound(d,s1,v1,s2,v2,s3,v3,-s4,v4)::next c"
                      : "read t::for c=1 to t::read d,s1,v1,s2,v2,s3,v3::"
                        "call sound(d,s1,v1,s2,v2,s3,v3)::next c";
}

#endif
