#include "disk/program_file.h"

#include "disk/disk_image.h"
#include "disk/tifiles.h"

bool read_program(const std::vector<uint8_t> &file, const std::string &name, XbProgram &program,
                  std::string &error)
{
    TiFile ti;
    if (disk_detect(file)) {
        if (!name.empty()) {
            if (!disk_read_file(file, name, ti, error)) return false;
            return ti_file_program(ti, program, error);
        }
        DiskCatalog catalog;
        if (!disk_read_catalog(file, catalog, error)) return false;
        std::string found, names;
        for (const DiskEntry &e : catalog.files) {
            if (!(e.info.flags & TI_FLAG_PROGRAM) && ti_file_type(e.info) != "INT/VAR 254") continue;
            names += (names.empty() ? "" : ", ") + e.info.name;
            found = e.info.name;
        }
        if (found.empty()) {
            error = "a disk image without programs";
            return false;
        }
        if (names != found) {
            error = "a disk image with several programs (" + names + "): name one";
            return false;
        }
        return read_program(file, found, program, error);
    }
    if (!name.empty()) {
        error = "not a disk image, so it holds no file " + name;
        return false;
    }
    if (tifiles_detect(file)) return tifiles_decode(file, ti, error) && ti_file_program(ti, program, error);
    return xb_read_raw_file(file, program, error);
}

bool read_program_listing(const std::vector<uint8_t> &file, const std::string &name, std::string &listing,
                          std::string &error)
{
    XbProgram program;
    std::vector<XbLine> lines;
    if (!read_program(file, name, program, error) || !xb_read_program(program, lines, error)) return false;
    listing = xb_listing_text(lines);
    return true;
}
