// varnet-maps list and check: every entry of the library, or those whose state is not ok.
#include "cli/Cli.h"

#include "platform/Text.h"

#include <algorithm>

namespace Cli {
namespace {

std::string Size(const Library::Entry& e) {
    return e.width > 0 ? std::to_string(e.width) + "x" + std::to_string(e.height) : "-";
}

int Print(const Arguments& arguments, Model& model, bool onlyProblems) {
    const std::string folder = MapsFolder(arguments);
    if (folder.empty()) return kFailed;
    if (!LoadLibrary(model.maps, folder)) return kFailed;
    std::vector<const Library::Entry*> shown;
    for (const Library::Entry& e : model.maps.Entries())
        if (!onlyProblems || e.state != Library::State::Ok) shown.push_back(&e);
    if (arguments.json) {
        Write(Lines(shown, [](const Library::Entry& e) { return JsonLine(EntryObject(e)); }));
    } else {
        Write(Columns(shown));
    }
    return onlyProblems && !shown.empty() ? kSome : kOk;
}

} // namespace

std::string Aligned(const std::vector<std::array<std::string, 4>>& rows) {
    std::size_t width[3] = {};
    for (const auto& r : rows)
        for (std::size_t i = 0; i < 3; ++i) width[i] = std::max(width[i], r[i].size());
    std::string out;
    for (const auto& r : rows) {
        for (std::size_t i = 0; i < 3; ++i)
            out += r[i] + std::string(width[i] + 2 - r[i].size(), ' ');
        out += r[3] + "\n";
    }
    return out;
}

std::string Columns(const std::vector<const Library::Entry*>& entries) {
    std::vector<std::array<std::string, 4>> rows{{"NAME", "STATE", "SIZE", "PICTURE OR REASON"}};
    for (const Library::Entry* e : entries)
        rows.push_back({Platform::Cp1252ToUtf8(e->name), Library::StateName(e->state), Size(*e),
                        e->state == Library::State::Ok ? e->pictureNative
                                                       : Platform::Cp1252ToUtf8(e->reason)});
    return Aligned(rows);
}

int List(const Arguments& arguments, Model& model) {
    return Print(arguments, model, false);
}

int Check(const Arguments& arguments, Model& model) {
    return Print(arguments, model, true);
}

} // namespace Cli
