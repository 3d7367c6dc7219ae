#include <ostream>

#include "xbtool/commands.h"

int xbtool_play(const XbtoolArgs &, std::ostream &, std::ostream &err)
{
    err << "xbtool: play is not built yet\n";
    return XBTOOL_EXIT_ERROR;
}

int xbtool_compare(const XbtoolArgs &, std::ostream &, std::ostream &err)
{
    err << "xbtool: compare is not built yet\n";
    return XBTOOL_EXIT_ERROR;
}

int xbtool_roll(const XbtoolArgs &, std::ostream &, std::ostream &err)
{
    err << "xbtool: roll is not built yet\n";
    return XBTOOL_EXIT_ERROR;
}

