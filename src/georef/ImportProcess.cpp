// The import process's report, written by the process and read by the program.
#include "georef/ImportProcess.h"

#include <cstdio>
#include <cstring>

namespace Georef::Detail::ImportProtocol {

MapCode::Georeference Grid::Placed() const {
    // A hundredth of a minute is the lattice's step: minutes are steps over a hundred.
    return {float(double(west) / 100),
            float(double(north) / 100),
            float(double(east) / 100),
            float(double(south) / 100),
            width,
            height};
}

std::string ProgressLine(double done) {
    char line[64];
    std::snprintf(line, sizeof line, "progress %.6f\n", done);
    return line;
}

std::string GridLine(const Grid& g) {
    char line[160];
    std::snprintf(line, sizeof line, "grid %lld %lld %lld %lld %d %d\n", g.west, g.north, g.east,
                  g.south, g.width, g.height);
    return line;
}

std::string FaultLine(Error::Kind kind, const std::string& message) {
    return std::string(kind == Error::Kind::Refused ? "refused " : "failed ") + Printable(message) +
           "\n";
}

Report ReadReport(const std::string& line) {
    Report r;
    Grid& g = r.grid;
    if (std::sscanf(line.c_str(), "progress %lf", &r.done) == 1) {
        r.kind = Report::Kind::Progress;
    } else if (std::sscanf(line.c_str(), "grid %lld %lld %lld %lld %d %d", &g.west, &g.north,
                           &g.east, &g.south, &g.width, &g.height) == 6 &&
               g.width > 0 && g.height > 0) {
        r.kind = Report::Kind::Grid;
    } else if (line.rfind("refused ", 0) == 0 || line.rfind("failed ", 0) == 0) {
        r.kind = Report::Kind::Fault;
        r.fault = line[0] == 'r' ? Error::Kind::Refused : Error::Kind::Failed;
        r.message = line.substr(line.find(' ') + 1);
    }
    return r;
}

const char* DatumArgument(Datum datum) {
    return datum == Datum::WGS84 ? "WGS84" : "OSGB36";
}

} // namespace Georef::Detail::ImportProtocol
