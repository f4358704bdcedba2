// varnet-maps as a script runs it: its output, its exit status, its messages.
#include "georef/Georef.h"
#include "support/TempHost.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <set>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int status = -1;
    std::string out, err;
    std::vector<QJsonObject> lines; // the output read as JSON Lines
};

Outcome Maps(const QStringList& arguments, const QString& folder = {},
             const QString& program = VARNET_MAPS, const QString& output = {}) {
    QProcess p;
    if (!folder.isEmpty()) p.setWorkingDirectory(folder);
    if (!output.isEmpty()) p.setStandardOutputFile(output);
    p.start(program, arguments);
    p.waitForFinished(60000);
    Outcome r{p.exitCode(),
              p.readAllStandardOutput().toStdString(),
              p.readAllStandardError().toStdString(),
              {}};
    for (const QByteArray& line : QByteArray::fromStdString(r.out).split('\n'))
        if (!line.isEmpty()) r.lines.push_back(QJsonDocument::fromJson(line).object());
    return r;
}

// A line of list's output as "name state north west south east width height", "-" for null.
std::string Row(const QJsonObject& o) {
    QStringList row;
    for (const char* key : {"name", "state", "north", "west", "south", "east", "width", "height"})
        row << (o[key].isNull()     ? "-"
                : o[key].isString() ? o[key].toString()
                                    : QString::number(o[key].toDouble()));
    return row.join(' ').toStdString();
}

class CommandLineTest : public ::testing::Test {
protected:
    TempHost host;
    std::string maps = std::filesystem::canonical(host.MakeHost()).string();
    void Write(const std::string& name, const std::string& bytes) {
        TempHost::Write(maps + "/" + name, bytes);
    }
};

} // namespace

TEST_F(CommandLineTest, ListsAndChecksALibrary) {
    Write("london.bmp", TempHost::Bmp(40, 30));
    Write("london.inf", "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.bmp\r\n");
    Write("swapped.inf", "000.30.00W,51.00.00N\r\n51.30.00N,001.30.00W\r\nLONDON\r\n");
    Write("broken.inf", "51.30.00N 001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.bmp\r\n");
    Write("lost.inf", "1N,1E\r\n0N,2E\r\nlost.jpg\r\n");

    const Outcome list = Maps({"list", "--json", "--maps", TEST_DRIVE "\\Stelmar\\Maps"});
    EXPECT_EQ(list.status, 0) << list.err;
    ASSERT_EQ(list.lines.size(), 4u) << list.out;
    const QStringList members{"east",   "height", "name",  "north", "path", "picture",
                              "reason", "south",  "state", "west",  "width"};
    for (const QJsonObject& o : list.lines) EXPECT_EQ(o.keys(), members);
    auto at = [&](int i) { return list.lines[std::size_t(i)]; };
    EXPECT_EQ(Row(at(0)), "broken.inf corners-unreadable - - - - - -");
    EXPECT_TRUE(at(0)["picture"].isNull());
    EXPECT_EQ(Row(at(1)), "london.inf ok 51.5 -1.5 51 -0.5 40 30");
    EXPECT_EQ(at(1)["reason"], "");
    EXPECT_EQ(at(1)["path"], QString::fromStdString(maps + "/london.inf"));
    EXPECT_EQ(at(1)["picture"], QString::fromStdString(maps + "/london.bmp"));
    EXPECT_EQ(Row(at(2)), "lost.inf picture-missing 1 1 0 2 - -");
    EXPECT_EQ(at(2)["picture"], QString::fromStdString(maps + "/lost.jpg"));
    // Corners in the order written, even when swapped; the picture found without regard to case.
    EXPECT_EQ(Row(at(3)), "swapped.inf ok 51 -0.5 51.5 -1.5 40 30");
    EXPECT_EQ(at(3)["picture"], QString::fromStdString(maps + "/london.bmp"));

    // The same library named as a folder of this system, relative to where the script runs.
    const Outcome native =
        Maps({"list", "--json", "--maps", "Maps"}, QString::fromStdString(host.OnC("Stelmar")));
    EXPECT_EQ(native.out, list.out);
    // Without --maps: the host's.
    EXPECT_EQ(Maps({"list", "--json"}).out, list.out);

    const Outcome check = Maps({"check", "--json"});
    EXPECT_EQ(check.status, 1);
    ASSERT_EQ(check.lines.size(), 2u);
    EXPECT_EQ(check.lines[0]["name"], "broken.inf");
    EXPECT_EQ(check.lines[1]["name"], "lost.inf");
    const Outcome people = Maps({"check"});
    EXPECT_EQ(people.status, 1);
    EXPECT_NE(people.out.find("lost.inf"), std::string::npos);
    EXPECT_EQ(people.out.find("london.inf"), std::string::npos);

    // Output that cannot be written (a full disc) fails, saying so.
    for (const QStringList& arguments : {QStringList{"list"}, QStringList{"list", "--json"},
                                         QStringList{"check"}, QStringList{"find", "51.2", "-1"}}) {
        const Outcome full = Maps(arguments, {}, VARNET_MAPS, "/dev/full");
        EXPECT_EQ(full.status, 2) << arguments.join(' ').toStdString();
        EXPECT_NE(full.err.find("standard output cannot be written"), std::string::npos)
            << full.err;
    }

    std::filesystem::remove(maps + "/broken.inf");
    std::filesystem::remove(maps + "/lost.inf");
    EXPECT_EQ(Maps({"check"}).status, 0);
}

// import and export as a script runs them: the new map in the library, a name taken only with
// --replace, refusals with the reason and status 2, and files written for other programs.
TEST_F(CommandLineTest, ImportsExportsAndRefusals) {
    const std::string in = host.Root() + "/in/", out = host.Root() + "/out";
    TempHost::Write(in + "sheet.bmp", TempHost::Bmp(60, 40));
    TempHost::Write(in + "sheet.bpw", "0.01\n0\n0\n-0.01\n-0.995\n51.995\n");
    TempHost::Write(in + "sheet.prj", Georef::DatumPrj(Georef::Datum::OSGB36));
    TempHost::Write(in + "notes.txt", "no map\n");
    TempHost::MakeFolder(out);

    const Outcome imported = Maps({"import", "--json", QString::fromStdString(in + "sheet.bmp")});
    EXPECT_EQ(imported.status, 0) << imported.err;
    ASSERT_EQ(imported.lines.size(), 1u) << imported.out;
    EXPECT_EQ(imported.lines[0]["name"], "sheet.inf");
    EXPECT_EQ(imported.lines[0]["path"], QString::fromStdString(maps + "/sheet.inf"));
    EXPECT_NE(imported.lines[0]["datum"].toString().indexOf("OSGB 1936"), -1);
    const Outcome listed = Maps({"list", "--json"});
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0]["state"], "ok");
    EXPECT_DOUBLE_EQ(listed.lines[0]["north"].toDouble(), 52);

    const struct {
        QStringList arguments;
        int status;
        std::string says; // on standard error
    } cases[] = {
        {{"import", QString::fromStdString(in + "sheet.bmp")}, 2, "--replace"},
        {{"import", "--replace", QString::fromStdString(in + "sheet.bmp")}, 0, ""},
        {{"import", QString::fromStdString(in + "notes.txt")}, 2, in + "notes.txt"},
        {{"export", "--format", "kmz", "--out", QString::fromStdString(out), "sheet"}, 0, ""},
        {{"export", "--format", "world", "sheet.inf"}, 0, ""},
        {{"export", "--format", "world", "--out", QString::fromStdString(out), "sheet"}, 0, ""},
        {{"export", "--format", "world", "--out", QString::fromStdString(out), "sheet"},
         2,
         "--replace"},
        {{"export", "--format", "ozi", "nothere"}, 2, "no map nothere"},
        {{"export", "--format", "png", "sheet"}, 2, "--format kmz, ozi, world"},
        {{"list", "--maps", TEST_DRIVE "\\Stelmar\\Nowhere"}, 2, "cannot be read"},
        {{"check", "--maps"}, 2, "needs a value"},
        {{"list", "--replace"}, 2, "takes no option --replace"},
        {{"check", QString::fromStdString(in)}, 2, "check takes no operand \"" + in + "\""},
        {{"list", "extra"}, 2, "takes no operand \"extra\""},
        {{"list", "--maps", ""}, 2, "--maps needs a folder"},
        {{"export", "--format", "kmz", "--out", "", "sheet"}, 2, "--out needs a folder"},
    };
    for (const auto& c : cases) {
        const Outcome r = Maps(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments.join(' ').toStdString() << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(c.status == 0 || r.out.empty()) << r.out;
    }
    EXPECT_TRUE(TempHost::Exists(out + "/sheet.kmz"));
    EXPECT_TRUE(TempHost::Exists(maps + "/sheet.jgw") && TempHost::Exists(maps + "/sheet.prj"));
    // Away from the picture, the world file comes with a copy of it.
    EXPECT_EQ(TempHost::Read(out + "/sheet.jpg"), TempHost::Read(maps + "/sheet.jpg"));
    EXPECT_EQ(TempHost::Read(out + "/sheet.jgw"), TempHost::Read(maps + "/sheet.jgw"));
    EXPECT_FALSE(TempHost::Exists(maps + "/notes.inf"));
    // Without the host's folder recorded, a command needs --maps.
    host.WriteSettings("Tormund Systems", "");
    const Outcome none = Maps({"list"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("--maps"), std::string::npos) << none.err;
}

// Exports for devices as a script runs them: where --out puts each file, what --json says of
// it, and every wrong command line refused with status 2 and nothing written.
TEST_F(CommandLineTest, ExportsForDevices) {
    Write("sheet.bmp", TempHost::Bmp(60, 40));
    Write("sheet.inf", "51.36.00N,000.24.00W\r\n51.30.00N,000.12.00W\r\nsheet.bmp\r\n");
    const std::string out = host.Root() + "/out/";
    const QString made = QString::fromStdString(out + "new/"),
                  file = QString::fromStdString(out + "one.kmz");
    const QString area = QString::fromStdString(out + "area.gpkg");
    const struct {
        QStringList arguments;
        int status;
        std::string says; // in the JSON line, or on standard error
    } cases[] = {
        {{"--format", "mbtiles", "--out", made, "sheet"}, 0, "\"minzoom\""},
        {{"--format", "mbtiles", "--out", made, "sheet"}, 2, "--replace"},
        {{"--format", "garmin-kmz", "--out", file, "sheet"}, 0, "\"reduction\":1"},
        {{"--format", "gpkg", "--area", "51.58,-0.3,51.55,-0.25", "--out", area},
         0,
         "\"name\":\"area\""},
        {{"--format", "gpkg", "--area", "51.58,-0.3,51.55,-0.25"}, 2, "--out"},
        {{"--format", "gpkg", "--area", "51.58,-0.3,51.55,-0.25", "--out", area, "sheet"},
         2,
         "not both"},
        {{"--format", "gpkg", "--area", "1,1,0,2", "--out", area}, 2, "no map"},
        {{"--format", "gpkg", "--around", "51.33.00N 000.18.00W", "--radius", "0", "--out", area},
         2,
         "radius"},
        {{"--format", "pdf", "--max-tiles", "3", "sheet"}, 2, "--max-tiles"},
        {{"--format", "mbtiles", "--dpi", "300", "sheet"}, 2, "--dpi"},
        {{"--format", "gpkg", "--resolution", "5", "sheet"}, 2, "--resolution"},
        {{"--format", "pdf", "--quality", "101", "sheet"}, 2, "--quality"},
        {{"--format", "ozi", "--quality", "50", "sheet"}, 2, "--quality"},
        {{"--format", "pdf", "--out", QString::fromStdString(out + "no/such/x.pdf"), "sheet"},
         2,
         "folder"},
    };
    for (const auto& c : cases) {
        const Outcome r = Maps(QStringList{"export", "--json"} + c.arguments);
        SCOPED_TRACE(c.arguments.join(' ').toStdString() + ": " + r.err);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE((c.status ? r.err : r.out).find(c.says), std::string::npos) << r.out;
        EXPECT_TRUE(c.status == 0 || r.out.empty()) << r.out;
    }
    // Each file the commands wrote, and nothing beside them.
    std::set<std::string> written;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out))
        written.insert(entry.path().string().substr(out.size()));
    EXPECT_EQ(written, (std::set<std::string>{"new", "new/sheet.mbtiles", "one.kmz", "area.gpkg"}));
}

// A scan placed by typed points: fitted and reported without writing, written once, then
// refused with the reason and nothing written, for each way a calibration cannot be made.
TEST_F(CommandLineTest, CalibratesAScan) {
    const std::string in = host.Root() + "/in/";
    TempHost::Write(in + "scan.bmp", TempHost::Bmp(60, 40));
    TempHost::Write(in + "notes.txt", "no picture\n");
    const QString scan = QString::fromStdString(in + "scan.bmp");
    // A sheet 600 m across on the National Grid, the third place split by the shell.
    const QStringList points = {"0,0=SU 40000 20400", "60,0=SU 40600 20400", "0,40=SU", "40000",
                                "20000"};
    const Outcome fitted = Maps(QStringList{"calibrate", "--json", "--dry-run", scan} + points);
    EXPECT_EQ(fitted.status, 0) << fitted.err;
    ASSERT_EQ(fitted.lines.size(), 1u) << fitted.out;
    const QJsonObject o = fitted.lines[0];
    EXPECT_EQ(o["transform"], "affine");
    EXPECT_EQ(o["written"], false);
    EXPECT_EQ(o["name"], "scan.inf");
    ASSERT_EQ(o["points"].toArray().size(), 3);
    for (const auto& point : o["points"].toArray())
        EXPECT_LT(point.toObject()["residualMetres"].toDouble(), 0.001);
    // SU 400 200 lies at 50.98 N 1.43 W; the sheet spans 600 m of 70 km a degree east.
    EXPECT_NEAR(o["north"].toDouble(), 50.98, 0.01);
    EXPECT_NEAR((o["east"].toDouble() - o["west"].toDouble()) * 70200, 600, 10);
    EXPECT_FALSE(TempHost::Exists(maps + "/scan.inf"));

    const Outcome written = Maps(QStringList{"calibrate", scan} + points);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_NE(written.out.find("Affine"), std::string::npos) << written.out;
    for (const char* file : {"/scan.inf", "/scan.jpg", "/scan.map"})
        EXPECT_TRUE(TempHost::Exists(maps + file)) << file;
    const Outcome listed = Maps({"list", "--json"});
    ASSERT_EQ(listed.lines.size(), 1u);
    EXPECT_EQ(listed.lines[0]["state"], "ok");

    const QStringList off = {"0,0=50.98,-1.43", "60,0=50.98,-1.42", "0,40=50.975,-1.43",
                             "60,40=50.9749,-1.4203"};
    const struct {
        QStringList arguments;
        std::string says;
    } cases[] = {
        {QStringList{"calibrate", scan} + points, "--replace"},
        {QStringList{"calibrate", "--name", "off", "--max-error", "1", scan} + off, "--max-error"},
        {QStringList{"calibrate", "--name", "off", "--transform", "poly2", scan} + off, "6 points"},
        {{"calibrate", "--name", "off", scan, "0,0=50.98,-1.43", "30,20=50.97,-1.42",
          "60,40=50.96,-1.41"},
         "line"},
        {{"calibrate", "--name", "off", scan, "0,0=50.98,-1.43", "60,0=nowhere"}, "point 2"},
        {{"calibrate", "--name", "off", scan, "0,0=50.98,-1.43", "60=50.98,-1.42"}, "X,Y=PLACE"},
        {QStringList{"calibrate", "--name", "off", "--transform", "cubic", scan} + off,
         "--transform"},
        {QStringList{"calibrate", "--name", "off", "--edge", "0,0;60,0;60", scan} + off, "--edge"},
        {QStringList{"calibrate", "--name", "off", "--edge", "0,0;60,0", scan} + off, "3 corners"},
        {QStringList{"calibrate", "--name", "off", QString::fromStdString(in + "notes.txt")} + off,
         "cannot be read"},
    };
    for (const auto& c : cases) {
        const Outcome r = Maps(c.arguments);
        EXPECT_EQ(r.status, 2) << c.arguments.join(' ').toStdString() << ": " << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(TempHost::Exists(maps + "/off.inf"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(maps),
                            std::filesystem::directory_iterator()),
              3);
    // A north-up scan in the Maps folder whose corners fall on hundredths of a minute: the dry
    // run names the scan itself as a save would, and writes nothing.
    TempHost::Write(maps + "/plain.bmp", TempHost::Bmp(60, 40));
    const Outcome plain =
        Maps({"calibrate", "--json", "--dry-run", "--transform", "scale",
              QString::fromStdString(maps + "/plain.bmp"), "0,0=51,-1.5", "60,40=50.99,-1.48"});
    ASSERT_EQ(plain.lines.size(), 1u) << plain.err;
    EXPECT_TRUE(plain.lines[0]["picture"].toString().endsWith("/plain.bmp")) << plain.out;
    EXPECT_FALSE(TempHost::Exists(maps + "/plain.inf"));
}

// What varnet-maps says of itself, and of a command line that names no command it has.
TEST(CommandLine, HelpVersionAndWrongCommands) {
    const Outcome usage = Maps({});
    const struct {
        QStringList arguments;
        int status;
        std::string out, err; // found in standard output, standard error
    } cases[] = {
        {{"--help"}, 0, "man varnet-maps", ""},
        {{"-h"}, 0, "man varnet-maps", ""},
        {{"--version"}, 0, "varnet-maps " VARNET_VERSION "\n", ""},
        {{"frobnicate"}, 2, "", "no command \"frobnicate\""},
        {{"--verbose"}, 2, "", "usage"},
        {{}, 2, "", "usage"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Outcome r = Maps(c.arguments);
        EXPECT_EQ(r.status, c.status);
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
        EXPECT_TRUE(c.status == 0 ? r.err.empty() : r.out.empty());
    }
    // Help gives each command of the usage a line of its own.
    const std::string help = Maps({"--help"}).out;
    for (std::size_t at = usage.err.find("varnet-maps "); at != std::string::npos;
         at = usage.err.find("varnet-maps ", at + 1)) {
        const std::string command =
            usage.err.substr(at + 12, usage.err.find(' ', at + 12) - at - 12);
        if (command.rfind("--", 0) == 0) continue;
        EXPECT_NE(help.find("\n  " + command + " "), std::string::npos) << command;
    }
}

// Places whose positions PROJ gives (EPSG:27700 to EPSG:4277): TQ 290 800 is 51.503709 N
// 0.141149 W, so an edge at 000.08.50W lies 36 m west of it and one at 000.08.44W 33 m east;
// 51.5072 N 0.1276 W is E 529930 N 180412, in TQ 299 804.
TEST_F(CommandLineTest, FindsTheMapsThatShowAPlaceBestFitFirst) {
    Write("map.bmp", TempHost::Bmp(80, 60));
    auto map = [&](const std::string& name, const std::string& corners) {
        Write(name, corners + "\r\nmap.bmp\r\n");
    };
    map("europe.inf", "72N,25W\r\n34N,45E");
    map("england.inf", "56N,6W\r\n50N,2E");
    map("london.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.20.00E");
    map("London2.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.20.00E");
    map("westend.inf", "51.31.00N,000.10.00W\r\n51.30.00N,000.08.50W");
    map("whitehall.inf", "51.31.00N,000.10.00W\r\n51.30.00N,000.08.44W");
    Write("lost.inf", "51.40.00N,000.30.00W\r\n51.20.00N,000.20.00E\r\nlost.jpg\r\n");

    auto names = [](const Outcome& r) {
        std::vector<std::string> n;
        for (const QJsonObject& o : r.lines) n.push_back(o["name"].toString().toStdString());
        return n;
    };
    const Outcome grid = Maps({"find", "--json", "TQ", "290", "800"});
    EXPECT_EQ(grid.status, 0) << grid.err;
    EXPECT_EQ(names(grid), (std::vector<std::string>{"whitehall.inf", "london.inf", "London2.inf",
                                                     "lost.inf", "england.inf", "europe.inf"}));
    const Outcome degrees = Maps({"find", "--json", "51.5072, -0.1276"});
    EXPECT_EQ(names(degrees), (std::vector<std::string>{"london.inf", "London2.inf", "lost.inf",
                                                        "england.inf", "europe.inf"}));
    // The members of list, and the scale east-west at the place: a degree of longitude at
    // 51.5 N is 69.4 km on the ground, and England's map gives 8 degrees 80 pixels.
    const QJsonObject england = degrees.lines[3];
    EXPECT_EQ(england["state"], "ok");
    EXPECT_EQ(england["width"], 80);
    EXPECT_NEAR(england["metresPerPixel"].toDouble(), 69400 * 8 / 80, 69400 * 8 / 80 / 100);
    EXPECT_TRUE(degrees.lines[2]["metresPerPixel"].isNull()); // its picture is missing
    const Outcome person = Maps({"find", "51.5072 -0.1276"});
    EXPECT_EQ(person.status, 0);
    EXPECT_NE(person.out.find("TQ 299 804"), std::string::npos) << person.out;
    EXPECT_NE(person.out.find("england.inf"), std::string::npos) << person.out;

    // Nowhere near: status 1 and nothing listed. A text that is no place: 2, saying why.
    const Outcome sydney = Maps({"find", "--json", "33.51.25S,151.12.55E"});
    EXPECT_EQ(sydney.status, 1);
    EXPECT_EQ(sydney.out, "");
    for (const QStringList& bad :
         {QStringList{"find", "51N,52N"}, QStringList{"find", "TQ 29 8"}, QStringList{"find"}}) {
        const Outcome r = Maps(bad);
        EXPECT_EQ(r.status, 2) << bad.join(' ').toStdString();
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("varnet-maps: "), std::string::npos) << r.err;
    }
    EXPECT_NE(Maps({"find", "51N,52N"}).err.find("both latitudes"), std::string::npos);
}

// convert: a place in every grid that covers it, in the table's order, or in the one asked for
// (keys in either case); 1 when that grid does not cover it, 2 when the text is not a place or
// the key no grid. find reads the same forms and names the one it read.
TEST_F(CommandLineTest, ConvertsAPlaceIntoEveryGridThatCoversIt) {
    const Outcome all = Maps({"convert", "TQ", "29925", "80408"});
    EXPECT_EQ(all.status, 0) << all.err;
    QStringList keys;
    for (const QString& line : QString::fromStdString(all.out).split('\n', Qt::SkipEmptyParts))
        keys << line.section(": ", 0, 0);
    EXPECT_EQ(keys, (QStringList{"latlon", "decimal", "bng", "utm", "mgrs"})) << all.out;
    EXPECT_NE(all.out.find("bng: TQ 29925 80408\n"), std::string::npos) << all.out;

    const Outcome json = Maps({"convert", "--json", "--to", "EPSG:27700", "51.5071667 -0.1276667"});
    ASSERT_EQ(json.lines.size(), 1u) << json.out << json.err;
    const QJsonObject o = json.lines[0];
    EXPECT_EQ(o.keys(), (QStringList{"epsg:27700", "form", "input", "latitude", "longitude"}));
    EXPECT_EQ(o["input"], "51.5071667 -0.1276667");
    EXPECT_EQ(o["form"], "decimal");
    EXPECT_EQ(o["latitude"].toDouble(), 51.5071667);
    EXPECT_TRUE(o["epsg:27700"].toString().startsWith("EPSG:27700 5299"))
        << o["epsg:27700"].toString().toStdString();
    EXPECT_EQ(Maps({"convert", "--json", "O 15000 34000"}).lines.at(0).keys(),
              (QStringList{"bng", "decimal", "form", "input", "irish", "itm", "latitude", "latlon",
                           "longitude", "mgrs", "utm"}));

    const struct {
        QStringList arguments;
        int status;
        std::string out, says;
    } cases[] = {
        {{"convert", "--to", "BNG", "51.5071667", "-0.1276667"}, 0, "TQ 29925 80408\n", ""},
        {{"convert", "--to", "irish", "TQ 29925 80408"}, 1, "", "outside the Irish Grid"},
        {{"convert", "--to", "grid", "TQ 29925 80408"}, 2, "", "no grid \"grid\""},
        {{"convert", "--to", "epsg:99999", "TQ 29925 80408"}, 2, "", "EPSG:99999"},
        {{"convert", "31U", "0", "0"}, 2, "", "the easting must lie between 100000 and 900000"},
        {{"convert"}, 2, "", "convert needs a PLACE"},
    };
    for (const auto& c : cases) {
        const Outcome r = Maps(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments.join(' ').toStdString() << ": " << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }

    Write("map.bmp", TempHost::Bmp(80, 60));
    Write("england.inf", "56N,6W\r\n50N,2E\r\nmap.bmp\r\n");
    const Outcome found = Maps({"find", "30U", "XC", "99316", "10164"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_EQ(found.out.rfind("MGRS: 51.30.41N 000.07.57W  TQ 300 803\n", 0), 0u) << found.out;
    EXPECT_NE(found.out.find("england.inf"), std::string::npos);
}

// A copy of varnet-maps whose modules are missing or broken: the library lists as ever, the
// National Grid converts on OSGB 1936, and the exports that are text are written; import, a KMZ
// export and UTM name the file that could not be loaded and the loader's reason.
TEST_F(CommandLineTest, WithoutItsModulesListsAndSaysWhyImportsAndGridsCannotRun) {
    Write("london.bmp", TempHost::Bmp(40, 30));
    Write("london.inf", "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\nlondon.bmp\r\n");
    TempHost::MakeFolder(host.Root() + "/bin");
    const std::string bin = std::filesystem::canonical(host.Root() + "/bin").string() + "/";
    std::filesystem::copy_file(VARNET_MAPS, bin + "varnet-maps");
    const QString program = QString::fromStdString(bin + "varnet-maps");
    const QString source = QString::fromStdString(maps + "/london.bmp");
    const struct {
        const char* beside; // the file in the module's place beside the program, if any
        std::vector<std::string> says;
    } cases[] = {
        {nullptr,
         {"libvarnet-georef.so", "No such file or directory",
          "beside the program, in " + bin.substr(0, bin.size() - 1)}},
        {"not a shared object, though long enough to be looked into as one.\n",
         {bin + "libvarnet-georef.so", "invalid ELF header"}},
    };
    for (const auto& c : cases) {
        if (c.beside) TempHost::Write(bin + "libvarnet-georef.so", c.beside);
        const Outcome listed = Maps({"list", "--json", "--maps", "Maps"},
                                    QString::fromStdString(host.OnC("Stelmar")), program);
        EXPECT_EQ(listed.status, 0) << listed.err;
        ASSERT_EQ(listed.lines.size(), 1u) << listed.out;
        EXPECT_EQ(listed.lines[0]["state"], "ok");
        for (const QStringList& command :
             {QStringList{"import", "--maps", QString::fromStdString(maps), source},
              QStringList{"export", "--format", "kmz", "--maps", QString::fromStdString(maps),
                          "london"}}) {
            const Outcome r = Maps(command, {}, program);
            EXPECT_EQ(r.status, 2);
            for (const std::string& part : c.says)
                EXPECT_NE(r.err.find(part), std::string::npos) << part << " in " << r.err;
        }
    }
    EXPECT_FALSE(TempHost::Exists(maps + "/london.kmz"));
    for (const QString format : {"world", "ozi"}) {
        const Outcome r =
            Maps({"export", "--format", format, "--maps", QString::fromStdString(maps), "london"},
                 {}, program);
        EXPECT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(TempHost::Exists(maps + "/london.bpw"));
    EXPECT_TRUE(TempHost::Exists(maps + "/london.map"));
    EXPECT_EQ(Maps({"convert", "--to", "bng", "51.5", "-0.12"}, {}, program).out,
              "TQ 30478 79625\n");
    const Outcome utm = Maps({"convert", "--to", "utm", "51.5", "-0.12"}, {}, program);
    EXPECT_EQ(utm.status, 2);
    EXPECT_NE(utm.err.find("libvarnet-grids.so, cannot be loaded"), std::string::npos) << utm.err;
}

// Ctrl+C, SIGTERM and SIGHUP in the middle of an import stop it alike: status 130, and nothing
// of it is left, neither a file nor its process.
TEST_F(CommandLineTest, SignalsStopAnImportOrCalibrationAndLeaveNothing) {
    // 30000 pixels a side never written (a file of a few KiB), whose warp takes minutes.
    const std::string big = host.Root() + "/big.tif";
    ASSERT_EQ(std::system(("gdal_create -q -of GTiff -outsize 30000 30000 -co TILED=YES -co "
                           "SPARSE_OK=TRUE -a_srs EPSG:27700 -a_ullr 400000 330000 430000 "
                           "300000 " +
                           big)
                              .c_str()),
              0);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(watch, maps.c_str(), IN_CREATE);
    // Waits for the import's first hidden file or folder to appear: the import is under way.
    auto underWay = [watch] {
        alignas(inotify_event) char events[4096];
        for (pollfd fd{watch, POLLIN, 0}; ::poll(&fd, 1, 60000) > 0;)
            for (ssize_t n = ::read(watch, events, sizeof events), at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(events + at);
                if (e->len && e->name[0] == '.') return true;
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        return false;
    };
    // Whether a process still names the Maps folder (the import process's arguments do).
    auto anyNaming = [this] {
        for (const auto& p : std::filesystem::directory_iterator("/proc")) {
            std::ifstream cmdline(p.path() / "cmdline");
            const std::string text((std::istreambuf_iterator<char>(cmdline)), {});
            if (text.find(maps + "/.varnet-import-") != std::string::npos) return true;
        }
        return false;
    };
    // A calibration of the same scan, stopped while it warps, leaves nothing either.
    QProcess calibrating;
    calibrating.start(VARNET_MAPS, {"calibrate", "--maps", QString::fromStdString(maps),
                                    QString::fromStdString(big), "0,0=SP 00000 30000",
                                    "30000,0=SP 30000 30000", "0,30000=SP 00000 00000"});
    ASSERT_TRUE(underWay());
    ::kill(pid_t(calibrating.processId()), SIGINT);
    EXPECT_TRUE(calibrating.waitForFinished(60000));
    EXPECT_EQ(calibrating.exitCode(), 130) << calibrating.readAllStandardError().toStdString();
    EXPECT_TRUE(std::filesystem::is_empty(maps));
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        QProcess p;
        p.start(VARNET_MAPS,
                {"import", "--maps", QString::fromStdString(maps), QString::fromStdString(big)});
        ASSERT_TRUE(underWay());
        ::kill(pid_t(p.processId()), signal);
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 130);
        EXPECT_TRUE(std::filesystem::is_empty(maps));
        EXPECT_FALSE(anyNaming());
    }
    ::close(watch);
}

// Exports for devices of a 6000 x 4000 map under a picture bound of 64 MiB: whatever the writer,
// the process's peak stays within the bound above its peak for a 300 x 200 map (its libraries'
// fixed cost, which a sanitizer inflates, apart); Ctrl+C in the middle of one stops it with
// status 130 and leaves nothing.
TEST_F(CommandLineTest, ExportsForDevicesWithinTheMemoryBoundAndStopOnCtrlC) {
    Write("small.bmp", TempHost::Bmp(60, 40));
    for (const auto& [name, size] : {std::pair{"big", "6000 4000"}, {"little", "300 200"}}) {
        ASSERT_EQ(
            std::system(("gdal_translate -q -of JPEG -r bilinear -outsize " + std::string(size) +
                         " " + maps + "/small.bmp " + maps + "/" + name + ".jpg")
                            .c_str()),
            0);
        Write(name + std::string(".inf"),
              "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\n" + std::string(name) + ".jpg\r\n");
    }
    const std::string out = host.Root() + "/out/";
    setenv("VARNET_PICTURE_LIMIT_MB", "64", 1);
    const char* asan = std::getenv("ASAN_OPTIONS"); // a sanitizer's: freed is free
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":quarantine_size_mb=0").c_str(), 1);
    auto start = [&](const char* format, const char* name) {
        const char* argv[] = {VARNET_MAPS, "export",    "--format",  format, "--maps", maps.c_str(),
                              "--out",     out.c_str(), "--replace", name,   nullptr};
        pid_t pid = 0;
        EXPECT_EQ(
            posix_spawn(&pid, VARNET_MAPS, nullptr, nullptr, const_cast<char**>(argv), environ), 0);
        return pid;
    };
    auto peakKiB = [&](const char* format, const char* name) {
        int status = -1;
        rusage use{};
        const pid_t pid = start(format, name);
        EXPECT_EQ(::wait4(pid, &status, 0, &use), pid);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        return use.ru_maxrss;
    };
    // A GeoPackage is written as MBTiles are.
    for (const char* format : {"mbtiles", "pdf", "garmin-kmz"}) {
        SCOPED_TRACE(format);
        EXPECT_LE(peakKiB(format, "big") - peakKiB(format, "little"), 64 << 10) << "KiB";
    }
    std::filesystem::remove_all(out);
    TempHost::MakeFolder(out);
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ::inotify_add_watch(watch, out.c_str(), IN_CREATE);
    const pid_t pid = start("mbtiles", "big");
    pollfd fd{watch, POLLIN, 0};
    ASSERT_EQ(::poll(&fd, 1, 60000), 1); // its temporary file: the export is under way
    ::kill(pid, SIGINT);
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_TRUE(std::filesystem::is_empty(out));
    ::close(watch);
    unsetenv("VARNET_PICTURE_LIMIT_MB");
    unsetenv("ASAN_OPTIONS");
}
