#include "xbsound/timing.h"

int32_t written_ms(uint32_t frames, double factor)
{
    float d = static_cast<float>(frames) / 60.0f;
    d = d * 1000.0f;
    d = d * static_cast<float>(factor);
    return static_cast<int32_t>(d);
}
