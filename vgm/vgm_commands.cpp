// The command stream walk that keeps the first SN76489's writes on a sample
// timeline.
#include "vgm/vgm_commands.h"

#include <cstdio>

#include "vgm/vgm_header.h"

namespace {

// Longest timeline read: two hours. Beyond it the frames alone would take
// gigabytes, and no song file could hold the song anyway.
constexpr uint64_t MAX_SAMPLES = 2ull * 60 * 60 * 44100;

// Operand bytes that follow a command byte, or -1 for a byte that is not a
// command. Waits, 0x66 and 0x67 are handled before this is asked.
int operand_length(uint8_t c)
{
    if (c >= 0x30 && c <= 0x3F) return 1;
    if (c >= 0x40 && c <= 0x4E) return 2;
    if (c == 0x4F || c == 0x50) return 1;
    if (c >= 0x51 && c <= 0x5F) return 2;
    if (c == 0x68) return 11;
    if (c >= 0x70 && c <= 0x8F) return 0;
    if (c == 0x90 || c == 0x91 || c == 0x95) return 4;
    if (c == 0x92) return 5;
    if (c == 0x93) return 10;
    if (c == 0x94) return 1;
    if (c >= 0xA0 && c <= 0xBF) return 2;
    if (c >= 0xC0 && c <= 0xDF) return 3;
    if (c >= 0xE0) return 4;
    return -1;
}

// Where the walk is: the offset, the time, the chip's state and the frames
// closed so far.
class CommandWalk {
public:
    CommandWalk(const std::vector<uint8_t> &bytes, uint64_t start, uint64_t end, const std::string &name,
                VgmLog &log)
        : bytes_(bytes), end_(end), name_(name), log_(log), pos_(start)
    {
    }

    void run()
    {
        while (pos_ < end_ && bytes_[pos_] != 0x66) {
            bool in_time = true;
            if (!step(in_time)) break;
            if (!in_time) {
                log_.warnings.push_back(name_ + ": the song runs longer than two hours; it is cut there (offset " +
                                        vgm_hex(pos_) + ")");
                break;
            }
        }
        log_.end_sample = now_;
        // Every frame the timeline reaches; a write at its very end gets the
        // frame that holds it.
        const uint64_t end = log_.write_count > 0 && last_write_ == now_ ? now_ + 1 : now_;
        while (log_.frames.size() * SAMPLES_PER_FRAME < end) log_.frames.push_back(chip_);
    }

private:
    // One command at pos_; false where the stream stops (with a warning).
    bool step(bool &in_time)
    {
        const uint8_t c = bytes_[pos_];
        const uint64_t left = end_ - pos_ - 1;  // operand bytes available
        if (c == 0x61) {
            if (left < 2) return stop("a wait command (0x61) runs past the end of the sound data");
            in_time = wait(static_cast<uint64_t>(bytes_[pos_ + 1]) | static_cast<uint64_t>(bytes_[pos_ + 2]) << 8);
            pos_ += 3;
        } else if (c == 0x62 || c == 0x63 || (c >= 0x70 && c <= 0x8F)) {
            in_time = wait(c == 0x62 ? 735 : c == 0x63 ? 882 : c <= 0x7F ? (c & 0x0Fu) + 1 : c & 0x0Fu);
            pos_ += 1;
        } else if (c == 0x67) {
            return data_block(left);
        } else {
            return command(c, left);
        }
        return true;
    }

    // A data block: skipped whole.
    bool data_block(uint64_t left)
    {
        if (left < 6) return stop("a data block (0x67) runs past the end of the sound data");
        if (bytes_[pos_ + 1] != 0x66) return stop("a damaged data block (0x67 not followed by 0x66)");
        const uint64_t block = vgm_le32(bytes_, static_cast<size_t>(pos_ + 3));
        if (left < 6 + block)
            return stop("a data block of " + std::to_string(block) + " bytes runs past the end of the sound data");
        pos_ += 7 + block;
        return true;
    }

    // Any other command: the first chip's writes kept, the rest skipped.
    bool command(uint8_t c, uint64_t left)
    {
        const int n = operand_length(c);
        if (n < 0) return stop("unknown command byte " + vgm_hex(c));
        if (left < static_cast<uint64_t>(n))
            return stop("command " + vgm_hex(c) + " runs past the end of the sound data");
        if (c == 0x50) {
            close_frames(now_);
            chip_write(chip_, bytes_[pos_ + 1]);
            log_.write_count++;
            last_write_ = now_;
        }
        pos_ += 1 + static_cast<uint64_t>(n);
        return true;
    }

    // The frames that end at or before sample `until` take the state as it is.
    void close_frames(uint64_t until)
    {
        while ((log_.frames.size() + 1) * SAMPLES_PER_FRAME <= until) log_.frames.push_back(chip_);
    }

    bool stop(const std::string &why)
    {
        log_.warnings.push_back(name_ + ": " + why + " at offset " + vgm_hex(pos_) + "; the song is read up to there");
        return false;
    }

    bool wait(uint64_t n)
    {
        now_ += n;
        if (now_ > MAX_SAMPLES) {
            now_ = MAX_SAMPLES;
            return false;
        }
        return true;
    }

    const std::vector<uint8_t> &bytes_;
    const uint64_t end_;
    const std::string &name_;
    VgmLog &log_;
    uint64_t pos_;
    uint64_t now_ = 0;
    ChipState chip_;
    uint64_t last_write_ = 0;  // the time of the last write
};

}  // namespace

std::string vgm_hex(uint64_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

void read_vgm_commands(const std::vector<uint8_t> &bytes, uint64_t start, uint64_t end, const std::string &name,
                       VgmLog &log)
{
    CommandWalk(bytes, start, end, name, log).run();
}
