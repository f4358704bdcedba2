// Import sources that are hostile or merely odd: each is refused at once with a message that
// says why, or imported as itself; none reaches the network, waits on a pipe, takes more than
// the memory bound or loses a map the library had.
#include "georef/Georef.h"
#include "georef/Rasters.h"
#include "mapdef/MapCode.h"
#include "support/TempHost.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::set<std::string> Contents(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
}

// A server on this machine that nothing may reach: it counts the connections made to it (the
// system completes them without its accepting, so counting after the imports misses none).
class Server {
public:
    Server() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        EXPECT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(::listen(socket_, 64), 0);
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
        url_ = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }
    ~Server() { ::close(socket_); }
    const std::string& Url() const { return url_; }
    int Connections() const {
        int n = 0;
        for (int c; (c = ::accept(socket_, nullptr, nullptr)) >= 0; ++n) ::close(c);
        return n;
    }

private:
    int socket_;
    std::string url_;
};

std::string Vrt(const std::string& band) {
    return "<VRTDataset rasterXSize=\"40\" rasterYSize=\"30\"><SRS>EPSG:27700</SRS>"
           "<GeoTransform>529000,25,0,182000,0,-25</GeoTransform>" +
           band + "</VRTDataset>\n";
}
std::string SourceBand(const std::string& file) {
    return "<VRTRasterBand dataType=\"Byte\" band=\"1\"><SimpleSource><SourceFilename "
           "relativeToVRT=\"1\">" +
           file + "</SourceFilename><SourceBand>1</SourceBand></SimpleSource></VRTRasterBand>";
}
std::string RawBand(const std::string& file) {
    return "<VRTRasterBand dataType=\"Byte\" band=\"1\" subClass=\"VRTRawRasterBand\">"
           "<SourceFilename relativeToVRT=\"1\">" +
           file +
           "</SourceFilename><ImageOffset>0</ImageOffset><PixelOffset>1</PixelOffset>"
           "<LineOffset>40</LineOffset></VRTRasterBand>";
}
std::string Kml(const std::string& href) {
    return "<?xml version=\"1.0\"?><kml xmlns=\"http://www.opengis.net/kml/2.2\"><GroundOverlay>"
           "<Icon><href>" +
           href +
           "</href></Icon><LatLonBox><north>51.62</north><south>51.60</south><east>-0.10</east>"
           "<west>-0.14</west></LatLonBox></GroundOverlay></kml>\n";
}
std::string OziMap(const std::string& image) {
    std::string map =
        "OziExplorer Map Data File Version 2.2\r\nT\r\n" + image +
        "\r\n1 ,Map Code,\r\nWGS 84,WGS 84,   0.0000,   0.0000,WGS 84\r\n"
        "Reserved 1\r\nReserved 2\r\nMagnetic Variation,,,E\r\n"
        "Map Projection,Latitude/Longitude,PolyCal,No,AutoCalOnly,No,BSBUseWPX,No\r\n";
    const char* points[] = {"0,0,in, deg,52,0,N,1,0,W", "40,0,in, deg,52,0,N,0,50,W",
                            "40,30,in, deg,51,50,N,0,50,W", "0,30,in, deg,51,50,N,1,0,W"};
    for (int i = 0; i < 4; ++i)
        map += "Point0" + std::to_string(i + 1) + ",xy," + points[i] + ", grid, , , ,N\r\n";
    return map + "IWH,Map Image Width/Height,40,30\r\n";
}

// Imports `source`, expecting a refusal that says `says`; the Maps folder stays as it was.
void ExpectRefused(const std::string& source, const std::string& maps, const std::string& says,
                   std::uint64_t memoryLimit = std::uint64_t(256) << 20) {
    SCOPED_TRACE(source);
    const auto before = Contents(maps);
    Georef::ImportRequest request;
    request.source = source;
    request.mapsFolder = maps;
    request.memoryLimit = memoryLimit;
    try {
        Georef::Import(request);
        ADD_FAILURE() << "imported";
    } catch (const Georef::Error& e) {
        EXPECT_EQ(e.kind(), Georef::Error::Kind::Refused) << e.what();
        EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
    }
    EXPECT_EQ(Contents(maps), before);
}

} // namespace

// Sources that name files outside their folder, network addresses, raw bytes as pixels, or
// files that are no plain files (a pipe with no writer: the import must return at all).
TEST(HostileSources, AreRefusedAtOnceAndReachNothing) {
    TempHost host;
    const std::string in = host.Root() + "/in/", maps = host.Root() + "/maps";
    TempHost::MakeFolder(in);
    TempHost::MakeFolder(maps);
    const Server server;
    Rasters::Write("GTiff", in + "grey.tif", 40, 30, 1, Rasters::Dots(40, 30, {}), nullptr, 0);
    Rasters::Write("JPEG", in + "piped.jpg", 40, 30, 1, Rasters::Dots(40, 30, {}), nullptr, 0);
    TempHost::Write(host.Root() + "/secret.txt", std::string(1200, 's'));
    for (const char* fifo : {"fifo.tif", "piped.jgw", "pipe.tif"})
        ASSERT_EQ(::mkfifo((in + fifo).c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", in + "zero.tif");
    const struct {
        const char* file;
        std::string bytes; // written as the source, when not empty
        const char* says;
    } cases[] = {
        {"raw.vrt", Vrt(RawBand("grey.tif")), "raw pixels"},
        {"rawsecret.vrt", Vrt(RawBand("../secret.txt")), "raw pixels"},
        {"outside.vrt", Vrt(SourceBand("../secret.txt")), "secret.txt, which lies outside"},
        {"curl.vrt", Vrt(SourceBand("/vsicurl/" + server.Url() + "/x.tif")), "network address"},
        {"netcdf.vrt", Vrt(SourceBand("NETCDF:\"" + server.Url() + "/x.nc\":v")),
         "network address"},
        {"overlay.kml", Kml(server.Url() + "/x.png"), "network address"},
        {"calibration.map", OziMap(server.Url() + "/nowhere.png"), "network address"},
        {"wms.xml",
         "<GDAL_WMS><Service name=\"TMS\"><ServerUrl>" + server.Url() +
             "/${z}/${x}/${y}.png</ServerUrl></Service><DataWindow><UpperLeftX>-20037508"
             "</UpperLeftX><UpperLeftY>20037508</UpperLeftY><LowerRightX>20037508</LowerRightX>"
             "<LowerRightY>-20037508</LowerRightY><TileLevel>1</TileLevel></DataWindow>"
             "<Projection>EPSG:3857</Projection></GDAL_WMS>\n",
         "not recognized"},
        {"fifo.tif", "", "is a pipe"},
        {"piped.jpg", "", "piped.jgw, which is a pipe"},
        {"pipe.vrt", Vrt(SourceBand("pipe.tif")), "pipe.tif, which is a pipe"},
        {"zero.vrt", Vrt(SourceBand("zero.tif")), "/dev/zero, which is a device"},
    };
    for (const auto& c : cases) {
        if (!c.bytes.empty()) TempHost::Write(in + c.file, c.bytes);
        ExpectRefused(in + c.file, maps, c.says);
    }
    ExpectRefused("/vsicurl/" + server.Url() + "/x.tif", maps, "file system of GDAL's");
    ExpectRefused(server.Url() + "/x.tif", maps, "network address");

    // PROJ told by the environment to fetch its grids from the server: the shift from NAD27
    // goes without them (PROJ makes no cache of fetched grids), and the map is imported.
    const double us[] = {-100, 0.01, 0, 40, 0, -0.01};
    Rasters::Write("GTiff", in + "nad27.tif", 40, 30, 1, Rasters::Dots(40, 30, {}), us, 4267);
    ::setenv("PROJ_NETWORK", "ON", 1);
    ::setenv("PROJ_NETWORK_ENDPOINT", server.Url().c_str(), 1);
    Georef::ImportRequest request;
    request.source = in + "nad27.tif";
    request.mapsFolder = maps;
    request.datum = Georef::Datum::WGS84;
    EXPECT_EQ(Georef::Import(request).name, "nad27.inf");
    ::unsetenv("PROJ_NETWORK");
    ::unsetenv("PROJ_NETWORK_ENDPOINT");
    EXPECT_FALSE(fs::exists(host.Root() + "/home/.local/share/proj"));
    EXPECT_EQ(server.Connections(), 0);
}

// Sources whose place no definition can hold, and sources whose reading would take more than
// the bound at once, are refused in plain words before a pixel is read; a one-strip TIFF, which
// can only be read forward, imports.
TEST(HostileSources, OnlyWhatADefinitionAndTheBoundHoldIsImported) {
    TempHost host;
    const std::string in = host.Root() + "/in/", maps = host.Root() + "/maps";
    TempHost::MakeFolder(in);
    TempHost::MakeFolder(maps);
    const auto grey = Rasters::Dots(40, 30, {});
    const double utm1[] = {100000, 5000, 0, 5200000, 0, -5000}; // 180 degrees at its middle
    const double polar[] = {-100000, 5000, 0, 75000, 0, -5000}; // the North Pole within it
    const double beyond[] = {10, 0.1, 0, 91, 0, -0.1};          // 91 N to 88 N
    Rasters::Write("GTiff", in + "utm1.tif", 40, 30, 1, grey, utm1, 32601);
    Rasters::Write("GTiff", in + "polar.tif", 40, 30, 1, grey, polar, 3413);
    Rasters::Write("GTiff", in + "beyond.tif", 40, 30, 1, grey, beyond, 4326);
    ExpectRefused(in + "utm1.tif", maps, "across the 180th meridian");
    ExpectRefused(in + "polar.tif", maps, "around the North Pole");
    ExpectRefused(in + "beyond.tif", maps, "latitude 91.00 N, beyond the North Pole");

    // A progressive JPEG keeps every coefficient while it is read: 3000 x 3000 greys, 2 bytes
    // each, more than half of a 16 MiB bound.
    const int side = 3000;
    const std::vector<unsigned char> plain(std::size_t(side) * side, 200);
    Rasters::Write("JPEG", in + "progressive.jpg", side, side, 1, plain, nullptr, 0,
                   {"PROGRESSIVE=ON"});
    TempHost::Write(in + "progressive.jgw", "1\n0\n0\n-1\n529000\n182000\n");
    TempHost::Write(in + "progressive.prj", Rasters::Prj(27700, nullptr));
    ExpectRefused(in + "progressive.jpg", maps, "a progressive JPEG keeps every coefficient",
                  16 << 20);

    const double grid[] = {400000, 10, 0, 300000, 0, -10};
    const std::vector<unsigned char> wide(std::size_t(4000) * 3000, 120);
    Rasters::Write("GTiff", in + "strip.tif", 4000, 3000, 1, wide, grid, 27700,
                   {"COMPRESS=LZW", "BLOCKYSIZE=3000"});
    Georef::ImportRequest request;
    request.source = in + "strip.tif";
    request.mapsFolder = maps;
    const auto result = Georef::Import(request);
    EXPECT_GT(result.georeference.Width(), 4000);
}

// The map's own files: a name with line breaks writes no line of its own and shows none in a
// message; a name as long as the folder holds imports and exports; a replace that cannot finish
// leaves the old map exactly as it was; the work folders of ended processes go.
TEST(HostileSources, TheLibraryStaysWholeWhateverTheNames) {
    TempHost host;
    const std::string in = host.Root() + "/in/", maps = host.Root() + "/maps/";
    TempHost::MakeFolder(in);
    TempHost::MakeFolder(maps);
    const double grid[] = {529000, 25, 0, 182000, 0, -25};
    auto source = [&](const std::string& name) {
        Rasters::Write("GTiff", in + name, 40, 30, 1, Rasters::Dots(40, 30, {}), grid, 27700);
        return in + name;
    };
    auto import = [&](const std::string& path, bool replace = false) {
        Georef::ImportRequest request;
        request.source = path;
        request.mapsFolder = maps;
        request.replace = replace;
        return Georef::Import(request);
    };
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string dead = ".varnet-import-" + std::to_string(ended) + "-1@" + name;
    const std::string live = ".varnet-import-" + std::to_string(::getpid()) + "-99@" + name;
    const std::string away = ".varnet-import-" + std::to_string(ended) + "-1@elsewhere";
    for (const std::string& folder : {dead, live, away}) TempHost::Write(maps + folder + "/x", "x");

    const auto evil = import(source("evil\r\n60.00.00N,010.00.00E\r\nx.jpg\r\n;.tif"));
    EXPECT_EQ(Contents(maps).count(dead), 0u);
    EXPECT_EQ(Contents(maps).count(live) + Contents(maps).count(away), 2u);
    std::ifstream definition(evil.definition, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(definition)), {});
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << text; // the comment, 3 lines
    EXPECT_NE(text.find("evil??60.00.00N,010.00.00E??x.jpg??;.tif"), std::string::npos) << text;
    EXPECT_EQ(
        MapCode::CornerTexts(evil.georeference)[0] + "," +
            MapCode::CornerTexts(evil.georeference)[1],
        text.substr(text.find('\n') + 1, text.find('\r', text.find('\n')) - text.find('\n') - 1));
    try {
        import(in + "evil\r\nnone.tif");
    } catch (const Georef::Error& e) {
        EXPECT_EQ(std::string(e.what()).find_first_of("\r\n"), std::string::npos) << e.what();
    }

    // A name of 251 characters and its extension: as long as a name can be.
    const std::string longest(251, 'm');
    const auto result = import(source(longest + ".tif"));
    for (auto format :
         {Georef::ExportFormat::Kmz, Georef::ExportFormat::Ozi, Georef::ExportFormat::World})
        for (const auto& file : Georef::Export({longest + ".inf",
                                                result.picture,
                                                result.georeference,
                                                format,
                                                in,
                                                false,
                                                Georef::Datum::OSGB36,
                                                {}}))
            EXPECT_TRUE(fs::is_regular_file(file)) << file;

    // A definition that cannot be replaced (a folder has its name, which no rename replaces,
    // whoever runs the import): the old picture stays, byte for byte.
    TempHost::Write(maps + "old.jpg", "the old picture");
    TempHost::Write(maps + "old.inf/kept", "a folder's file");
    const auto before = Contents(maps);
    EXPECT_THROW(import(source("old.tif"), true), Georef::Error);
    EXPECT_EQ(Contents(maps), before);
    EXPECT_EQ(TempHost::Read(maps + "old.jpg"), "the old picture");
    EXPECT_EQ(TempHost::Read(maps + "old.inf/kept"), "a folder's file");
}
