#pragma once
// PROJ's cs2cs (proj-bin) and GeographicLib's GeoConvert (geographiclib-tools), the references the
// grids are compared with, run on lines of input.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace References {

// The output lines of `command` run on `lines`, each split into words; one line per input line.
inline std::vector<std::vector<std::string>>
Run(const std::string& command, const std::vector<std::string>& lines, const std::string& scratch) {
    {
        std::ofstream in(scratch);
        for (const std::string& line : lines) in << line << "\n";
    }
    FILE* pipe = popen((command + " < '" + scratch + "'").c_str(), "r");
    std::vector<std::vector<std::string>> out;
    char line[512];
    while (pipe && std::fgets(line, sizeof line, pipe)) {
        std::istringstream words(line);
        out.emplace_back();
        for (std::string word; words >> word;) out.back().push_back(word);
    }
    EXPECT_EQ(pipe ? pclose(pipe) : -1, 0) << command;
    EXPECT_EQ(out.size(), lines.size()) << command;
    out.resize(lines.size(), std::vector<std::string>(3, "nan"));
    return out;
}

// cs2cs from one EPSG system to another, on points given as the register orders their axes
// (latitude first for EPSG:4277 and EPSG:4326, easting first for the grids): the converted
// points, in the same order.
inline std::vector<std::array<double, 2>> Cs2cs(int from, int to,
                                                const std::vector<std::array<double, 2>>& points,
                                                const std::string& scratch) {
    std::vector<std::string> lines;
    for (const auto& p : points) {
        char line[128];
        std::snprintf(line, sizeof line, "%.12f %.12f", p[0], p[1]);
        lines.push_back(line);
    }
    std::vector<std::array<double, 2>> out;
    for (const auto& words :
         Run("cs2cs -f %.12f EPSG:" + std::to_string(from) + " EPSG:" + std::to_string(to), lines,
             scratch))
        out.push_back({std::stod(words.at(0)), std::stod(words.at(1))});
    return out;
}

// Metres on the ground between two places in degrees (a sphere: near enough for millimetres),
// the shorter way across 180 degrees.
inline double Metres(double lat1, double lon1, double lat2, double lon2) {
    const double perDegree = 6371000 * M_PI / 180;
    return std::hypot(std::remainder(lon2 - lon1, 360) * perDegree *
                          std::cos((lat1 + lat2) / 2 * M_PI / 180),
                      (lat2 - lat1) * perDegree);
}

} // namespace References
