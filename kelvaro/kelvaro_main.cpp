// kelvaro: converts a VGM song for the SN76489 into TI Extended BASIC text.
// The whole run lives in the library (kelvaro/run.h).
#include "kelvaro/run.h"

int main(int argc, char **argv)
{
    return kelvaro_run(argc, argv);
}
