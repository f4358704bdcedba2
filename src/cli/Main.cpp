// varnet-maps COMMAND [OPTIONS] [OPERANDS]: the command line is read here, and each command is
// a function of its own.
#include "cli/Cli.h"

#include "library/HostFolder.h"
#include "platform/Text.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <thread>

namespace Cli {
namespace {

constexpr const char* kUsage =
    "usage: varnet-maps list [--json] [--maps FOLDER]\n"
    "       varnet-maps check [--json] [--maps FOLDER]\n"
    "       varnet-maps find [--json] [--maps FOLDER] PLACE\n"
    "       varnet-maps convert [--json] [--to KEY] PLACE...\n"
    "       varnet-maps import [--json] [--maps FOLDER] [--replace] FILE...\n"
    "       varnet-maps export --format kmz|ozi|world [--maps FOLDER] [--out FOLDER] [--replace] "
    "NAME...\n"
    "       varnet-maps export --format mbtiles|gpkg|pdf|garmin-kmz [--json] [--maps FOLDER]\n"
    "                          [--out PATH] [--replace] [--quality 1-100] [--max-tiles N] [--dpi "
    "N]\n"
    "                          NAME... | --area N,W,S,E | --around PLACE --radius KM "
    "[--resolution M]\n"
    "       varnet-maps calibrate [--json] [--maps FOLDER] [--name NAME]\n"
    "                 [--transform scale|similarity|affine|poly2|tps] [--edge X,Y;X,Y;...]\n"
    "                 [--max-error M] [--dry-run] [--replace] PICTURE X,Y=PLACE...\n"
    "       varnet-maps --help | --version\n";

struct Command {
    int (*run)(const Arguments&, Model&);
    std::vector<std::string> options; // those it takes; --maps and --json take every command
    const char* summary;              // what it does, in a line of --help
    bool operands = true;             // whether it takes operands
};

const std::map<std::string, Command>& Commands() {
    static const std::map<std::string, Command> commands = {
        {"list",
         {List, {}, "every map definition of the library, in the order of Varnet's tree", false}},
        {"check",
         {Check,
          {},
          "the definitions that cannot be shown as a map, and why (exit 1 if any)",
          false}},
        {"find", {Find, {}, "the maps whose corners contain a place, the best fit first"}},
        {"convert",
         {Convert, {"--to"}, "a place written in every grid that covers it, or in one (--to)"}},
        {"import",
         {Import, {"--replace"}, "georeferenced files warped into the library (GDAL and PROJ)"}},
        {"export",
         {Export,
          {"--format", "--out", "--replace", "--quality", "--max-tiles", "--dpi", "--area",
           "--around", "--radius", "--resolution"},
          "maps for other programs (a KMZ, an OziExplorer .map, a world file) and devices"}},
        {"calibrate",
         {Calibrate,
          {"--name", "--transform", "--edge", "--max-error", "--dry-run", "--replace"},
          "a scan placed by points on it whose places are known, saved as a map"}},
    };
    return commands;
}

std::string Help() {
    std::string help = std::string(kUsage) + "\nCommands:\n";
    for (const auto& [name, command] : Commands()) {
        help += "  " + name + std::string(8 - std::min<std::size_t>(name.size(), 7), ' ') +
                command.summary + "\n";
    }
    return help +
           "\nEvery command takes --json (JSON Lines) and --maps FOLDER: a Windows path or a\n"
           "folder of this system; without it, the Maps folder of Stelmar's installation.\n"
           "The options, the JSON members and the exit statuses of each: man varnet-maps\n";
}

// Answers the command lines that name no command: none (the usage, an error), --help or -h,
// --version. Nothing for the others.
std::optional<int> Informational(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kUsage, stderr);
        return kFailed;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h") {
        Write(Help());
        return kOk;
    }
    if (first == "--version") {
        Write(std::string("varnet-maps ") + VARNET_VERSION + "\n");
        return kOk;
    }
    return std::nullopt;
}

// The first failure to write standard output (an errno), 0 while there is none.
int writeFailure = 0;

// Standard output flushed: the status the command ended with, or kFailed after saying why
// when anything it wrote could not be written (a full disc).
int Flushed(int status) {
    if (std::fflush(stdout) != 0 && writeFailure == 0) writeFailure = errno ? errno : EIO;
    if (writeFailure == 0) return status;
    return Fail(std::string("standard output cannot be written (") + std::strerror(writeFailure) +
                ")");
}

// Reads the options and operands after the command's name into `a`; a status after saying
// why when the command line is wrong.
// Where the value of an option that takes one goes.
std::string Arguments::*ValueMember(const std::string& option) {
    static const std::map<std::string, std::string Arguments::*> members = {
        {"--maps", &Arguments::maps},
        {"--format", &Arguments::format},
        {"--to", &Arguments::to},
        {"--out", &Arguments::out},
        {"--quality", &Arguments::quality},
        {"--max-tiles", &Arguments::maxTiles},
        {"--dpi", &Arguments::dpi},
        {"--area", &Arguments::area},
        {"--around", &Arguments::around},
        {"--radius", &Arguments::radius},
        {"--resolution", &Arguments::resolution},
        {"--name", &Arguments::name},
        {"--transform", &Arguments::transform},
        {"--max-error", &Arguments::maxError},
        {"--edge", &Arguments::edge},
    };
    return members.at(option);
}

std::optional<int> Read(int argc, char** argv, const Command& command, Arguments& a) {
    auto takes = [&](const std::string& option) {
        return option == "--json" || option == "--maps" ||
               std::find(command.options.begin(), command.options.end(), option) !=
                   command.options.end();
    };
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            for (++i; i < argc; ++i) a.operands.push_back(argv[i]);
            break;
        }
        if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
            a.operands.push_back(arg);
            continue;
        }
        if (!takes(arg))
            return Fail(argv[1] + std::string(" takes no option ") + arg + "\n" + kUsage);
        if (arg == "--json")
            a.json = true;
        else if (arg == "--replace")
            a.replace = true;
        else if (arg == "--dry-run")
            a.dryRun = true;
        else {
            if (i + 1 >= argc) return Fail(arg + " needs a value");
            const std::string value = argv[++i];
            // An empty folder would quietly stand for the host's library, or the picture's own.
            if (value.empty() && (arg == "--maps" || arg == "--out"))
                return Fail(arg + " needs a folder, not an empty name\n" + kUsage);
            a.*ValueMember(arg) = value;
        }
    }
    if (!command.operands && !a.operands.empty())
        return Fail(argv[1] + std::string(" takes no operand \"") + a.operands.front() + "\"\n" +
                    kUsage);
    return std::nullopt;
}

} // namespace

int Fail(const std::string& why) {
    std::fprintf(stderr, "varnet-maps: %s\n", why.c_str());
    return kFailed;
}

void Write(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() && writeFailure == 0)
        writeFailure = errno ? errno : EIO;
}

std::string MapsFolder(const Arguments& arguments) {
    if (!arguments.maps.empty()) {
        const std::string& m = arguments.maps;
        const bool windows =
            m.size() >= 2 && m[1] == ':' && std::isalpha(static_cast<unsigned char>(m[0]));
        if (windows || m.rfind("\\\\", 0) == 0) return Platform::Utf8ToCp1252(m);
        // A native folder: the same folder under Z:, as the program reads a POSIX host folder.
        std::error_code ec;
        std::string native = std::filesystem::absolute(m, ec).lexically_normal().string();
        while (native.size() > 1 && native.back() == '/') native.pop_back();
        return Platform::NativeNameToCore(native);
    }
    const std::string host = Library::HostFolder();
    if (host.empty()) {
        Fail("Stelmar's folder is not recorded in the settings (" +
             Library::HostFolderSettingText() + "); name the Maps folder with --maps FOLDER");
        return {};
    }
    return host + "\\Maps";
}

Georef::Datum LibraryDatum() {
    std::string warning;
    const Georef::Datum datum = Georef::LibraryDatum(&warning);
    if (!warning.empty()) std::fprintf(stderr, "varnet-maps: %s\n", warning.c_str());
    return datum;
}

std::string Joined(const std::vector<std::string>& operands) {
    std::string joined;
    for (const std::string& word : operands) joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

bool LoadLibrary(Library::MapLibrary& library, const std::string& folder, Library::Depth depth) {
    library.Load(folder, {}, depth);
    if (library.Error().empty()) return true;
    Fail("the Maps folder " + Platform::Cp1252ToUtf8(folder) +
         " cannot be read: " + library.Error());
    return false;
}

nlohmann::json EntryObject(const Library::Entry& e) {
    // Decimal degrees from the corners as the program reads them, in the order written.
    const MapCode::MapDefinition& d = e.definition;
    auto degrees = [&](float minutes) {
        return e.HasCorners() ? nlohmann::json(minutes / 60.0) : nlohmann::json();
    };
    auto pixels = [](int n) { return n > 0 ? nlohmann::json(n) : nlohmann::json(); };
    nlohmann::json o = nlohmann::json::object();
    o["name"] = Platform::Cp1252ToUtf8(e.name);
    o["path"] = e.nativePath;
    o["state"] = Library::StateName(e.state);
    o["reason"] = Platform::Cp1252ToUtf8(e.reason);
    o["north"] = degrees(d.topLeftLatitude);
    o["west"] = degrees(d.topLeftLongitude);
    o["south"] = degrees(d.bottomRightLatitude);
    o["east"] = degrees(d.bottomRightLongitude);
    o["picture"] = e.picturePath.empty() ? nlohmann::json() : nlohmann::json(e.pictureNative);
    o["width"] = pixels(e.width);
    o["height"] = pixels(e.height);
    return o;
}

std::string Lines(const std::vector<const Library::Entry*>& entries,
                  const std::function<std::string(const Library::Entry&)>& line) {
    constexpr std::size_t kPerThread = 2000; // fewer lines are not worth a thread
    const std::size_t threads = std::clamp<std::size_t>(
        entries.size() / kPerThread, 1, std::max(1u, std::thread::hardware_concurrency()));
    std::vector<std::string> parts(threads);
    auto make = [&](std::size_t part) {
        const std::size_t from = entries.size() * part / threads;
        const std::size_t to = entries.size() * (part + 1) / threads;
        for (std::size_t i = from; i < to; ++i) parts[part] += line(*entries[i]);
    };
    std::vector<std::thread> others;
    for (std::size_t t = 1; t < threads; ++t) others.emplace_back(make, t);
    make(0);
    for (std::thread& t : others) t.join();
    std::string all;
    for (const std::string& p : parts) all += p;
    return all;
}

std::string JsonLine(const nlohmann::json& object) {
    // A name that is not UTF-8 (a native path of other bytes) is written with replacement
    // characters rather than refused.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace Cli

int main(int argc, char** argv) {
    using namespace Cli;
    if (const auto done = Informational(argc, argv)) return Flushed(*done);
    const auto command = Commands().find(argv[1]);
    if (command == Commands().end())
        return Fail(std::string("no command \"") + argv[1] + "\"\n" + kUsage);
    Arguments a;
    if (const auto wrong = Read(argc, argv, command->second, a)) return *wrong;
    Library::MapLibrary library;
    const Library::PlaceIndex places(library);
    Model model{library, places};
    try {
        return Flushed(command->second.run(a, model));
    } catch (const std::exception& e) {
        Flushed(kOk);
        return Fail(e.what());
    }
}
