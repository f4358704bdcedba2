// varnet-maps calibrate: a scan placed by points on it whose places are typed, fitted and saved
// as a map of the library through the georef component.
#include "cli/Cli.h"

#include "georef/Calibration.h"
#include "grids/Grids.h"
#include "platform/MemoryBound.h"
#include "platform/Text.h"

#include <cmath>
#include <cstdlib>
#include <optional>

namespace Cli {
namespace {

struct Typed {
    double x = 0, y = 0;
    std::string place;
};

// A number that is the whole of `text`; nothing for anything else.
std::optional<double> NumberOf(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !std::isfinite(value)) return std::nullopt;
    return value;
}

// The points after the picture, each "X,Y=PLACE"; a word without "=" belongs to the place
// before it, as a shell splits `812,655=SP 512 776` left unquoted. Nothing after saying why.
std::optional<std::vector<Typed>> ReadPoints(const std::vector<std::string>& operands) {
    std::vector<Typed> points;
    for (std::size_t i = 1; i < operands.size(); ++i) {
        const std::string& word = operands[i];
        const auto equals = word.find('='), comma = word.find(',');
        if (equals == std::string::npos && !points.empty()) {
            points.back().place += " " + word;
            continue;
        }
        const auto x = comma < equals ? NumberOf(word.substr(0, comma)) : std::nullopt;
        const auto y =
            comma < equals ? NumberOf(word.substr(comma + 1, equals - comma - 1)) : std::nullopt;
        if (!x || !y || equals == std::string::npos) {
            Fail("\"" + word +
                 "\" is not a point: write X,Y=PLACE (pixels right and down from "
                 "the picture's top-left corner, then the place)");
            return std::nullopt;
        }
        points.push_back({*x, *y, word.substr(equals + 1)});
    }
    return points;
}

// The neat line "X,Y;X,Y;..." ("" for none); nothing after saying why it cannot be read.
std::optional<std::vector<std::array<double, 2>>> ReadEdge(const std::string& text) {
    std::vector<std::array<double, 2>> corners;
    for (std::size_t from = 0; !text.empty() && from <= text.size();) {
        const std::size_t end = std::min(text.find(';', from), text.size());
        const std::string corner = text.substr(from, end - from);
        const auto comma = corner.find(',');
        const auto x = NumberOf(corner.substr(0, comma));
        const auto y =
            comma == std::string::npos ? std::nullopt : NumberOf(corner.substr(comma + 1));
        if (!x || !y) {
            Fail("--edge takes the neat line's corners as X,Y;X,Y;... (\"" + corner +
                 "\" is not a corner)");
            return std::nullopt;
        }
        corners.push_back({*x, *y});
        from = end + 1;
    }
    return corners;
}

std::optional<Georef::Transform> TransformNamed(const std::string& key, std::size_t points) {
    if (key.empty()) return Georef::DefaultTransform(points);
    for (int t = 0; t < Georef::kTransforms; ++t)
        if (Georef::TransformKey(Georef::Transform(t)) == key) return Georef::Transform(t);
    return std::nullopt;
}

// Reads each place into the request: in the grid they were all typed in when that is one
// system, otherwise in degrees of the datum. False after saying why a place cannot be read.
bool ReadPlaces(const std::vector<Typed>& typed, Georef::FitRequest& request) {
    std::vector<Grids::Place> places;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const Grids::Place place = Grids::ReadPlace(typed[i].place, request.datum);
        if (!place.ok) {
            Fail("point " + std::to_string(i + 1) + ": " + place.error);
            return false;
        }
        places.push_back(place);
    }
    request.epsg = places.empty() ? 0 : Grids::SystemOf(places[0]);
    for (const Grids::Place& place : places)
        if (Grids::SystemOf(place) != request.epsg) request.epsg = 0;
    for (std::size_t i = 0; i < typed.size(); ++i) {
        const Grids::Place& p = places[i];
        request.points.push_back({typed[i].x, typed[i].y, request.epsg ? p.point.x : p.longitude,
                                  request.epsg ? p.point.y : p.latitude, p.latitude, p.longitude});
    }
    return true;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

struct Outcome {
    Georef::Fit fit;
    std::string name, definition, picture;
    bool written = false;
    std::size_t mapPoints = 0;
};

void Report(const Arguments& a, const Georef::FitRequest& request, const Outcome& o) {
    if (a.json) {
        nlohmann::json points = nlohmann::json::array();
        for (std::size_t i = 0; i < request.points.size(); ++i) {
            const auto& p = request.points[i];
            const auto& f = o.fit.points[i];
            points.push_back({{"x", p.x},
                              {"y", p.y},
                              {"latitude", p.latitude},
                              {"longitude", p.longitude},
                              {"residualMetres", f.residualMetres},
                              {"residualPixels", f.residualPixels}});
        }
        Write(JsonLine({{"transform", Georef::TransformKey(o.fit.transform)},
                        {"points", points},
                        {"rmsMetres", o.fit.rmsMetres},
                        {"north", o.fit.north},
                        {"west", o.fit.west},
                        {"south", o.fit.south},
                        {"east", o.fit.east},
                        {"name", Platform::Cp1252ToUtf8(o.name)},
                        {"path", o.definition},
                        {"picture", o.picture},
                        {"datum", Georef::DatumName(request.datum)},
                        {"written", o.written}}));
        return;
    }
    std::vector<std::array<std::string, 4>> rows{{"Point", "Pixel", "Place", "Residual"}};
    for (std::size_t i = 0; i < request.points.size(); ++i) {
        const auto& p = request.points[i];
        const auto& f = o.fit.points[i];
        rows.push_back({std::to_string(i + 1), Fixed(p.x, 1) + "," + Fixed(p.y, 1),
                        Fixed(p.latitude, 7) + " " + Fixed(p.longitude, 7),
                        Fixed(f.residualMetres, 2) + " m, " + Fixed(f.residualPixels, 2) + " px"});
    }
    Write(Aligned(rows) + "Transform: " + Georef::TransformName(o.fit.transform) +
          "; root mean square " + Fixed(o.fit.rmsMetres, 2) + " m\nCorners: north " +
          Fixed(o.fit.north, 7) + ", west " + Fixed(o.fit.west, 7) + ", south " +
          Fixed(o.fit.south, 7) + ", east " + Fixed(o.fit.east, 7) + " (" +
          Georef::DatumName(request.datum) + ")\n" +
          (o.written ? "Written: " + o.definition + ", naming " + o.picture + "\n"
                     : "Not written (--dry-run): " + o.definition + "\n"));
    if (o.written && o.mapPoints < request.points.size())
        Write("The .map holds the " + std::to_string(o.mapPoints) + " points farthest apart of " +
              std::to_string(request.points.size()) + ".\n");
}

} // namespace

int Calibrate(const Arguments& a, Model&) {
    if (a.operands.size() < 2) return Fail("calibrate needs a picture and its points X,Y=PLACE");
    const std::optional<double> maxError =
        a.maxError.empty() ? std::optional<double>(HUGE_VAL) : NumberOf(a.maxError);
    if (!maxError || *maxError < 0) return Fail("--max-error needs metres, a number of 0 or more");
    const auto typed = ReadPoints(a.operands);
    const auto edge = ReadEdge(a.edge);
    if (!typed || !edge) return kFailed;
    const auto transform = TransformNamed(a.transform, typed->size());
    if (!transform) return Fail("--transform takes scale, similarity, affine, poly2 or tps");
    const std::string folder = MapsFolder(a);
    if (folder.empty()) return kFailed;
    const std::string maps = NativeFolder(folder, "the Maps folder");
    if (maps.empty()) return kFailed;
    Georef::CalibrationRequest request{{}, a.operands[0], maps, a.name, a.replace};
    request.fit.transform = *transform;
    request.edge = *edge;
    request.fit.datum = LibraryDatum();
    std::string why;
    if (!Georef::ScanSize(request.scan, request.fit.width, request.fit.height, why))
        return Fail("the picture " + Georef::Printable(request.scan) + " cannot be read: " + why);
    if (!ReadPlaces(*typed, request.fit)) return kFailed;
    StopOnSignals();
    try {
        Outcome o{Georef::FitScan(request.fit), {}, {}, {}, false, 0};
        for (std::size_t i = 0; i < o.fit.points.size(); ++i)
            if (o.fit.points[i].residualMetres > *maxError)
                return Fail("the calibration is refused: point " + std::to_string(i + 1) + " is " +
                            Fixed(o.fit.points[i].residualMetres, 2) +
                            " m from its place, more than --max-error " + a.maxError + " m");
        if (Interrupted()) return kStopped;
        // A dry run says what a save would write: the picture named is the scan itself when
        // the definition can place it as it is.
        request.dryRun = a.dryRun;
        request.memoryLimit = Platform::PictureMemoryBound();
        request.progress = [](double) { return !Interrupted(); };
        const Georef::CalibrationResult r = Georef::Calibrate(request);
        o.name = r.name, o.definition = r.definition, o.picture = r.picture;
        if (!a.dryRun) {
            const MapCode::Georeference& g = r.georeference;
            o.fit = r.fit;
            o.fit.north = g.North(), o.fit.west = g.West(), o.fit.south = g.South();
            o.fit.east = g.East(), o.written = true, o.mapPoints = r.mapPoints;
        }
        Report(a, request.fit, o);
        return kOk;
    } catch (const Georef::Error& e) {
        if (e.kind() == Georef::Error::Kind::Cancelled || Interrupted()) return kStopped;
        return Fail(e.kind() == Georef::Error::Kind::Exists
                        ? std::string(e.what()) + " (--replace replaces it)"
                        : e.what());
    }
}

} // namespace Cli
