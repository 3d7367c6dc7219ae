#include "disk/tifiles.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "base/paths.h"

namespace {

const uint8_t TIFILES_MAGIC[8] = {0x07, 'T', 'I', 'F', 'I', 'L', 'E', 'S'};
constexpr size_t TIFILES_HEADER = 128;
constexpr uint8_t END_OF_SECTOR = 0xFF;

bool name_char_valid(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && c != '.';
}

bool is_variable_internal_254(const TiFileInfo &info)
{
    return (info.flags & (TI_FLAG_PROGRAM | TI_FLAG_INTERNAL | TI_FLAG_VARIABLE)) ==
               (TI_FLAG_INTERNAL | TI_FLAG_VARIABLE) &&
           info.record_length == XB_RECORD_SIZE;
}

// The records of a variable-length file: in each sector, length byte and
// bytes, up to the 0xFF that ends the sector's records.
std::vector<std::vector<uint8_t>> variable_records(const TiFile &file)
{
    std::vector<std::vector<uint8_t>> records;
    const size_t sectors = std::min<size_t>(file.info.sectors, file.data.size() / TI_SECTOR);
    for (size_t s = 0; s < sectors; s++) {
        const size_t base = s * TI_SECTOR;
        for (size_t at = 0; at < TI_SECTOR;) {
            const size_t n = file.data[base + at];
            if (n == END_OF_SECTOR || at + 1 + n > TI_SECTOR) break;
            records.emplace_back(file.data.begin() + static_cast<std::ptrdiff_t>(base + at + 1),
                                 file.data.begin() + static_cast<std::ptrdiff_t>(base + at + 1 + n));
            at += 1 + n;
        }
    }
    return records;
}

size_t program_bytes(const TiFileInfo &info)
{
    if (info.sectors == 0) return 0;
    return (info.sectors - 1u) * TI_SECTOR + (info.eof_offset ? info.eof_offset : TI_SECTOR);
}

}  // namespace

TiStamp ti_stamp_now()
{
    std::tm t{};
    TiStamp stamp;
    if (!local_time_now(t)) return stamp;
    stamp.time = static_cast<uint16_t>(t.tm_hour << 11 | t.tm_min << 5 | t.tm_sec / 2);
    stamp.date = static_cast<uint16_t>((t.tm_year % 100) << 9 | (t.tm_mon + 1) << 5 | t.tm_mday);
    return stamp;
}

bool ti_name_valid(const std::string &name)
{
    return !name.empty() && name.size() <= TI_NAME_SIZE && std::all_of(name.begin(), name.end(), name_char_valid);
}

std::string ti_name_from_path(const std::string &path)
{
    std::string base = path.substr(file_name_start(path));
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    std::string name;
    for (char c : base) {
        if (!name_char_valid(c)) continue;
        name += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        if (name.size() == TI_NAME_SIZE) break;
    }
    return name;
}

std::string ti_file_type(const TiFileInfo &info)
{
    std::string type;
    if (info.flags & TI_FLAG_PROGRAM) {
        type = "PROGRAM";
    } else {
        type = info.flags & TI_FLAG_INTERNAL ? "INT/" : "DIS/";
        type += info.flags & TI_FLAG_VARIABLE ? "VAR " : "FIX ";
        type += std::to_string(info.record_length);
    }
    if (info.flags & TI_FLAG_PROTECTED) type += " P";
    return type;
}

size_t ti_file_bytes(const TiFile &file)
{
    const TiFileInfo &info = file.info;
    if (info.flags & TI_FLAG_PROGRAM) return program_bytes(info);
    if (info.flags & TI_FLAG_VARIABLE) {
        size_t bytes = 0;
        for (const std::vector<uint8_t> &r : variable_records(file)) bytes += 1 + r.size();
        return bytes;
    }
    return static_cast<size_t>(info.level3_records) * info.record_length;
}

TiFile ti_program_file(const std::string &name, const XbProgram &program, TiStamp stamp)
{
    TiFile file;
    TiFileInfo &info = file.info;
    info.name = name;
    info.created = info.updated = stamp;
    if (program.format == XbFormat::Short) {
        const size_t n = program.bytes.size();
        info.flags = TI_FLAG_PROGRAM;
        info.sectors = static_cast<uint16_t>((n + TI_SECTOR - 1) / TI_SECTOR);
        info.eof_offset = static_cast<uint8_t>(n % TI_SECTOR);
        file.data = program.bytes;
        file.data.resize(info.sectors * TI_SECTOR, 0);
        return file;
    }
    // One record a sector: length byte, record, the 0xFF that ends the sector.
    const std::vector<std::vector<uint8_t>> records = xb_long_records(program);
    info.flags = TI_FLAG_INTERNAL | TI_FLAG_VARIABLE;
    info.records_per_sector = 1;
    info.record_length = XB_RECORD_SIZE;
    info.sectors = static_cast<uint16_t>(records.size());
    info.level3_records = info.sectors;
    info.eof_offset = static_cast<uint8_t>(records.back().size() + 1);
    file.data.assign(records.size() * TI_SECTOR, 0);
    for (size_t s = 0; s < records.size(); s++) {
        uint8_t *sector = file.data.data() + s * TI_SECTOR;
        sector[0] = static_cast<uint8_t>(records[s].size());
        std::memcpy(sector + 1, records[s].data(), records[s].size());
        sector[1 + records[s].size()] = END_OF_SECTOR;
    }
    return file;
}

bool ti_file_program(const TiFile &file, XbProgram &program, std::string &error)
{
    program.bytes.clear();
    if (file.info.flags & TI_FLAG_PROGRAM) {
        program.format = XbFormat::Short;
        const size_t n = std::min(program_bytes(file.info), file.data.size());
        program.bytes.assign(file.data.begin(), file.data.begin() + static_cast<std::ptrdiff_t>(n));
        return true;
    }
    if (!is_variable_internal_254(file.info)) {
        error = "a " + ti_file_type(file.info) + " file, not a program";
        return false;
    }
    program.format = XbFormat::Long;
    for (const std::vector<uint8_t> &r : variable_records(file))
        program.bytes.insert(program.bytes.end(), r.begin(), r.end());
    return true;
}

std::vector<uint8_t> tifiles_encode(const TiFile &file)
{
    const TiFileInfo &info = file.info;
    std::vector<uint8_t> out(TIFILES_HEADER, 0);
    std::memcpy(out.data(), TIFILES_MAGIC, sizeof TIFILES_MAGIC);
    ti_put_word(&out[0x08], info.sectors);
    out[0x0A] = info.flags;
    out[0x0B] = info.records_per_sector;
    out[0x0C] = info.eof_offset;
    out[0x0D] = info.record_length;
    out[0x0E] = static_cast<uint8_t>(info.level3_records);
    out[0x0F] = static_cast<uint8_t>(info.level3_records >> 8);
    for (size_t i = 0; i < TI_NAME_SIZE; i++) out[0x10 + i] = i < info.name.size() ? info.name[i] : ' ';
    out[0x1C] = out[0x1D] = 0xFF;
    ti_put_word(&out[0x1E], info.created.time);
    ti_put_word(&out[0x20], info.created.date);
    ti_put_word(&out[0x22], info.updated.time);
    ti_put_word(&out[0x24], info.updated.date);
    out.insert(out.end(), file.data.begin(), file.data.end());
    return out;
}

bool tifiles_detect(const std::vector<uint8_t> &bytes)
{
    return bytes.size() >= sizeof TIFILES_MAGIC && std::memcmp(bytes.data(), TIFILES_MAGIC, sizeof TIFILES_MAGIC) == 0;
}

bool tifiles_decode(const std::vector<uint8_t> &bytes, TiFile &file, std::string &error)
{
    if (!tifiles_detect(bytes) || bytes.size() < TIFILES_HEADER) {
        error = "not a TIFILES file (no 128-byte TIFILES header)";
        return false;
    }
    TiFileInfo &info = file.info;
    info = TiFileInfo();
    info.sectors = static_cast<uint16_t>(ti_word(&bytes[0x08]));
    info.flags = bytes[0x0A];
    info.records_per_sector = bytes[0x0B];
    info.eof_offset = bytes[0x0C];
    info.record_length = bytes[0x0D];
    info.level3_records = static_cast<uint16_t>(bytes[0x0E] | bytes[0x0F] << 8);
    for (size_t i = 0; i < TI_NAME_SIZE; i++) info.name += static_cast<char>(bytes[0x10 + i]);
    while (!info.name.empty() && (info.name.back() == ' ' || info.name.back() == '\0')) info.name.pop_back();
    info.created = {static_cast<uint16_t>(ti_word(&bytes[0x1E])), static_cast<uint16_t>(ti_word(&bytes[0x20]))};
    info.updated = {static_cast<uint16_t>(ti_word(&bytes[0x22])), static_cast<uint16_t>(ti_word(&bytes[0x24]))};

    // Some tools leave out the unused end of the last sector: only that
    // may be missing.
    const size_t whole = info.sectors * TI_SECTOR;
    const size_t have = bytes.size() - TIFILES_HEADER;
    const size_t needed = (info.flags & TI_FLAG_PROGRAM) ? program_bytes(info) : whole;
    if (have < needed) {
        error = "the file is cut short: its header gives " + std::to_string(info.sectors) + " sectors, it holds " +
                std::to_string(have) + " bytes of data";
        return false;
    }
    file.data.assign(bytes.begin() + TIFILES_HEADER,
                     bytes.begin() + static_cast<std::ptrdiff_t>(TIFILES_HEADER + std::min(have, whole)));
    file.data.resize(whole, 0);
    return true;
}
