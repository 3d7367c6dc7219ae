// Helpers of the fitting tests: synthetic songs frame by frame, and the rows
// of the XB program that the converter writes from a song file.
#ifndef KELVARO_TEST_FIT_SUPPORT_H
#define KELVARO_TEST_FIT_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "compressor/estimate.h"
#include "sound/frames.h"
#include "songfile/songfile.h"
#include "songfile/streams.h"
#include "songfile/verify.h"

namespace fittest {

using Bytes = std::vector<uint8_t>;
// One row of a PROGRAM without noise: duration, then frequency and volume
// of voices 0, 1 and 2.
using Row = std::array<int, 7>;

// Sets voice v to atten and note for frames first..last (1-based, inclusive).
inline void set(std::vector<Frame> &frames, size_t first, size_t last, int v, uint8_t atten, uint16_t note)
{
    if (frames.size() < last) frames.resize(last);
    for (size_t f = first; f <= last; f++) frames[f - 1].v[v] = VoiceState{atten, note};
}

// The song file of frames, checked by playing it back.
inline Bytes song_file_of(const std::vector<Frame> &frames)
{
    Bytes file = build_song_file(build_streams(frames));
    std::string why;
    EXPECT_TRUE(verify_song(file, frames, &why)) << why;
    return file;
}

// The rows of a PROGRAM-mode text: its DATA values after the row count,
// seven to a row; the row count must match.
inline std::vector<Row> rows_of(const std::string &text)
{
    std::vector<int> values;
    size_t at = 0;
    while ((at = text.find("DATA ", at)) != std::string::npos) {
        at += 5;
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        size_t p = 0;
        while (p <= line.size()) {
            size_t comma = line.find(',', p);
            if (comma == std::string::npos) comma = line.size();
            values.push_back(std::atoi(line.substr(p, comma - p).c_str()));
            p = comma + 1;
        }
    }
    std::vector<Row> rows;
    EXPECT_FALSE(values.empty());
    if (values.empty()) return rows;
    EXPECT_EQ(values.size(), 1 + 7 * static_cast<size_t>(values[0]));
    for (size_t i = 1; i + 7 <= values.size(); i += 7) {
        Row r;
        for (size_t k = 0; k < 7; k++) r[k] = values[i + k];
        rows.push_back(r);
    }
    return rows;
}

// The converter's text from a song file, default options (PROGRAM mode, no
// noise, REAL timing) unless target says otherwise.
inline std::string program_of(const Bytes &file, XbEstimate *result = nullptr, const XbTarget &target = XbTarget())
{
    XbEstimate e;
    std::string text;
    EXPECT_TRUE(convert_song_file(file, e, &text, target));
    if (result) *result = e;
    return text;
}

// The row durations of a program for target: each CALL SOUND's first value,
// else every 7th (9th with noise) DATA value after the row count.
inline std::vector<int> durations_of(const std::string &text, const XbTarget &target)
{
    std::vector<int> d;
    if (target.form == XbForm::statements) {
        for (size_t at = 0; (at = text.find("SOUND(", at)) != std::string::npos; at += 6)
            d.push_back(std::atoi(text.c_str() + at + 6));
        return d;
    }
    std::vector<int> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("DATA ") == std::string::npos) continue;
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream in(line.substr(line.find("DATA ") + 5));
        for (int x; in >> x;) values.push_back(x);
    }
    const size_t per_row = target.noise ? 9 : 7;
    for (size_t i = 1; i < values.size(); i += per_row) d.push_back(values[i]);
    EXPECT_EQ(d.size(), values.empty() ? 0u : static_cast<size_t>(values[0]));
    return d;
}

}  // namespace fittest

#endif
