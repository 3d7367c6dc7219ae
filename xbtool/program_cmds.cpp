#include <ostream>

#include "xbtool/commands.h"

int xbtool_program(const XbtoolArgs &, std::ostream &, std::ostream &err)
{
    err << "xbtool: program is not built yet\n";
    return XBTOOL_EXIT_ERROR;
}

int xbtool_disk(const XbtoolArgs &, std::ostream &, std::ostream &err)
{
    err << "xbtool: disk is not built yet\n";
    return XBTOOL_EXIT_ERROR;
}

int xbtool_dir(const XbtoolArgs &, std::ostream &, std::ostream &err)
{
    err << "xbtool: dir is not built yet\n";
    return XBTOOL_EXIT_ERROR;
}

int xbtool_list(const XbtoolArgs &, std::ostream &, std::ostream &err)
{
    err << "xbtool: list is not built yet\n";
    return XBTOOL_EXIT_ERROR;
}

