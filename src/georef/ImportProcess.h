#pragma once
// What passes between a program and its import process, varnet-importer (both sides of the
// import; nothing else uses it). The program starts the process with the arguments below and
// reads its report, a line at a time, from the process's descriptor kReportFd: progress now and
// then, then one last line, the new map's grid or why there is none. The process writes only the
// JPEG it is given; the program writes the definition and moves both into place. Private to
// src/georef/.

#include "georef/Georef.h"

#include <string>

namespace Georef::Detail::ImportProtocol {

// The program's file name, beside the GDAL module.
constexpr const char* kProgram = "varnet-importer";
// Its report's descriptor.
constexpr int kReportFd = 3;
// Its arguments after its name: the source, the JPEG to write, the picture and the definition of
// the map the import makes (native paths: a source that is part of it is refused), the datum
// ("OSGB36" or "WGS84") and the bytes it may use (decimal).
enum Argument { kSource = 1, kPicture, kMapPicture, kMapDefinition, kDatum, kMemory, kArguments };

// The new map's grid: its edges in steps of a hundredth of a minute (the lattice a definition's
// corners lie on), north and east positive, and its picture's size.
struct Grid {
    long long west = 0, north = 0, east = 0, south = 0;
    int width = 1, height = 1;
    MapCode::Georeference Placed() const;
};

// The report's lines, each with its line end.
std::string ProgressLine(double done);
std::string GridLine(const Grid& grid);
// A fault: Refused or Failed, with the message (a whole sentence, Printable).
std::string FaultLine(Error::Kind kind, const std::string& message);

// One line of the report read back (without its line end).
struct Report {
    enum class Kind { Progress, Grid, Fault, Unreadable } kind = Kind::Unreadable;
    double done = 0;
    Grid grid;
    Error::Kind fault = Error::Kind::Failed;
    std::string message;
};
Report ReadReport(const std::string& line);

const char* DatumArgument(Datum datum);

} // namespace Georef::Detail::ImportProtocol
