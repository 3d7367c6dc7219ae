// kelvaro's run, callable in-process: the command line as main receives it,
// the console text on standard output, the exit status returned.
#ifndef KELVARO_RUN_H
#define KELVARO_RUN_H

int kelvaro_run(int argc, char **argv);

#endif
