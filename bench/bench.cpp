// Speed and memory of the library's two heavy paths, each against a floor measured in the same
// run on the same files:
//   fill N      the tree fill over N generated definitions, against opening, reading and
//               closing the same files in a bare loop
//   fill-bare N the same with image names that must be looked up without regard to case: its
//               time per file should stay within twice that of the plain fill
//   click       a click on a definition whose image is an 8000 x 4000 JPEG: the first screen
//               against a bare decode of the same part, the whole against a bare full decode,
//               the longest time without events, peak memory, Fit against a bare scaled decode,
//               then a 30000 x 30000 JPEG above a lowered memory bound
//   zoom        zoom steps and a repaint while panning on the same picture (see Zoom below)
#include "app/StartupCode.h"
#include "ui/MsgBox.h"
#include "ui/frmCoverage.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A host under a temporary folder: C: linked, the settings store pointing at C:\Stelmar.
std::string MakeHost() {
    std::string root = (fs::temp_directory_path() / "varnet-bench-XXXXXX").string();
    if (!mkdtemp(root.data())) std::exit(1);
    fs::create_directories(root + "/drive_c/Stelmar/Maps");
    fs::create_directories(root + "/wine/dosdevices");
    fs::create_directory_symlink(root + "/drive_c", root + "/wine/dosdevices/c:");
    fs::create_directories(root + "/config/Tormund Systems");
    std::ofstream(root + "/config/Tormund Systems/settings.ini")
        << "[Stelmar32]\nProgram Folder=C:\\Stelmar\n";
    setenv("HOME", root.c_str(), 1);
    setenv("WINEPREFIX", (root + "/wine").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
    return root;
}

// A host with an 8000 x 4000 JPEG map, big.inf.
std::string BigMapHost() {
    const std::string root = MakeHost();
    { // freed before the measuring processes start, so their peaks are their own
        QImage image(8000, 4000, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) // a texture that does not compress to nothing
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb((x * 7) & 255, (y * 3) & 255, ((x ^ y) * 5) & 255));
        image.save(QString::fromStdString(root + "/drive_c/Stelmar/Maps/big.jpg"), "JPG", 85);
    }
    std::ofstream(root + "/drive_c/Stelmar/Maps/big.inf")
        << "60.00.00N,010.00.00W\r\n50.00.00N,010.00.00E\r\nbig.jpg\r\n";
    return root;
}

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

frmMain& MainWindow() {
    SetMsgBoxHook([](const QString&, int, const QString&) { return 1; });
    StartupCode::GetHostFolder();
    frmMain& main = frmMain::Create();
    StartupCode::MainWindow = &main;
    return main;
}

// The floor: every file of the folder opened, read and closed, in the folder's own order.
double BareRead(const std::string& folder) {
    const auto start = Clock::now();
    DIR* dir = opendir(folder.c_str());
    char buf[4096];
    long bytes = 0;
    while (const dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const int fd = open((folder + "/" + e->d_name).c_str(), O_RDONLY);
        for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) bytes += n;
        close(fd);
    }
    closedir(dir);
    if (bytes == 0) std::exit(1);
    return Seconds(start);
}

// `bare`: each image line names its picture without an extension and in other letter case
// (MAP7 for map7.jpg), so each definition asks for three names that are found only by the look-up
// without regard to case.
int Fill(int count, bool bare) {
    const std::string root = MakeHost();
    const std::string maps = root + "/drive_c/Stelmar/Maps";
    for (int i = 0; i < count; ++i) {
        std::ofstream(maps + "/map" + std::to_string(100000 + i) + ".inf")
            << "51.30.00N,001.30.00W\r\n51.00.00N,000.30.00W\r\n"
            << (bare ? "MAP" : "map") << i << (bare ? "" : ".jpg") << "\r\n";
        if (bare) std::ofstream(maps + "/map" + std::to_string(i) + ".jpg");
    }
    frmMain& main = MainWindow();
    BareRead(maps); // both start with the files in the page cache
    double floor = 1e9, fill = 1e9;
    for (int round = 0; round < 3; ++round) {
        floor = std::min(floor, BareRead(maps));
        main.DirTree->ClearNodes(); // the program fills an empty tree
        const auto start = Clock::now();
        main.FillLibraryTree();
        fill = std::min(fill, Seconds(start));
    }
    std::printf("fill %6d files%s: %.3f s (%.1f us/file), floor %.3f s, ratio %.2f, nodes %d\n",
                count, bare ? " (image names looked up)" : "", fill, fill / count * 1e6, floor,
                fill / floor, main.DirTree->NodeCount());
    fs::remove_all(root);
    return 0;
}

// The coverage window over 1,000 definitions with 800 x 600 JPEG pictures: the time until the
// canvas is usable (outlines drawn, events answered) and until every picture has arrived,
// against a bare scaled decode of the same pictures one after another.
int Coverage() {
    const std::string root = MakeHost();
    const std::string maps = root + "/drive_c/Stelmar/Maps";
    constexpr int kMaps = 1000;
    QImage image(800, 600, QImage::Format_RGB32);
    for (int i = 0; i < kMaps; ++i) {
        image.fill(QColor::fromHsv(i % 360, 200, 200));
        const std::string name = "m" + std::to_string(1000 + i);
        image.save(QString::fromStdString(maps + "/" + name + ".jpg"), "JPG", 80);
        const int row = i / 40, col = i % 40;
        std::ofstream(maps + "/" + name + ".inf") << (60 - row) << "N," << col << "E\r\n"
                                                  << (59.25 - row) << "N," << (col + 0.9) << "E\r\n"
                                                  << name << ".jpg\r\n";
    }
    frmMain& main = MainWindow();
    main.Load();
    main.show();
    QApplication::processEvents();
    auto start = Clock::now();
    main.mnuViewCoverage->trigger();
    frmCoverage& coverage = frmCoverage::Instance();
    coverage.Canvas()->repaint();
    QApplication::processEvents();
    const double usable = Seconds(start);
    while (coverage.picCanvas->Decoding() > 0)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double complete = Seconds(start);
    const int longest = CoverageCanvas::FirstLongest(kMaps);
    const QSize thumb = QSize(800, 600).scaled(longest, longest, Qt::KeepAspectRatio);
    start = Clock::now();
    for (int i = 0; i < kMaps; ++i) {
        QImageReader reader(
            QString::fromStdString(maps + "/m" + std::to_string(1000 + i) + ".jpg"));
        reader.setScaledSize(thumb);
        if (reader.read().isNull()) return 1;
    }
    const double floor = Seconds(start);
    std::printf("coverage of %d maps: usable after %.3f s, complete after %.3f s; bare scaled "
                "decodes %.3f s, ratio %.2f; pictures may take %lld MiB together\n",
                kMaps, usable, complete, floor, complete / floor,
                (long long)(CoverageCanvas::kPictureBudget >> 20));
    fs::remove_all(root);
    return 0;
}

// One measurement in a child process, so each has its own peak memory. Each prints one line of
// numbers for the parent: seconds, then peak and idle KiB where they matter.
int Click(const std::string& mode, const std::string& root, int w, int h) {
    const std::string image = root + "/drive_c/Stelmar/Maps/big.jpg";
    const long idle = PeakKiB();
    if (mode == "decode" || mode == "clip" || mode == "scaled") {
        QImageReader reader(QString::fromStdString(image));
        if (mode == "clip") reader.setClipRect(QRect(0, 0, w, h));
        if (mode == "scaled") reader.setScaledSize(QSize(w, h));
        const auto start = Clock::now();
        const QImage decoded = reader.read();
        std::printf("%.5f %ld %ld %lld\n", Seconds(start), PeakKiB(), idle,
                    (long long)decoded.sizeInBytes());
        return decoded.isNull();
    }
    frmMain& main = MainWindow();
    main.Load();
    main.show();
    QApplication::processEvents();
    if (mode == "fit") main.mnuViewFitMap->trigger();
    QApplication::processEvents();
    const long ready = PeakKiB();
    QTreeWidgetItem* node =
        main.DirTree->findItems("big.inf", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    // A clock that ticks every 5 ms measures how long the window goes without handling events.
    double longestGap = 0;
    auto last = Clock::now();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, Seconds(last));
        last = Clock::now();
    });
    bool whole = false;
    QObject::connect(main.MapViewer, &MapView::PictureDecoded, [&] { whole = true; });
    const auto start = Clock::now();
    main.DirTree->setCurrentItem(node); // the click
    main.picOuter->repaint();           // and the first screen painted
    const double first = Seconds(start);
    const QSize part = main.picInner->Picture().size();
    last = Clock::now();
    ticker.start(5);
    while (!whole && main.MapViewer->Decoding())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double all = Seconds(start);
    longestGap = std::max(longestGap, Seconds(last));
    std::printf("%.5f %.5f %.5f %ld %ld %d %d %d %d\n", first, all, longestGap, PeakKiB(), ready,
                part.width(), part.height(), main.picInner->Picture().width(),
                main.picInner->Picture().height());
    std::fprintf(stderr, "status: %s, zoom %s\n", qPrintable(main.sbStatusBar->PanelText(1)),
                 qPrintable(MapView::ZoomText(main.MapViewer->Zoom())));
    return main.picInner->HasPicture() ? 0 : 1;
}

// Runs one measurement in its own process; its line of numbers.
std::vector<double> Child(const char* self, const std::string& root, const std::string& mode,
                          int w = 0, int h = 0, const char* limit = nullptr) {
    std::string command = std::string(limit ? "VARNET_PICTURE_LIMIT_MB=" : "") +
                          (limit ? std::string(limit) + " " : "") + self + " click-child " + mode +
                          " " + root + " " + std::to_string(w) + " " + std::to_string(h);
    FILE* out = popen(command.c_str(), "r");
    std::vector<double> numbers;
    double v = 0;
    while (out && std::fscanf(out, "%lf", &v) == 1) numbers.push_back(v);
    if (out) pclose(out);
    if (numbers.empty()) {
        std::fprintf(stderr, "%s failed\n", mode.c_str());
        std::exit(1);
    }
    return numbers;
}

// Click, first screen and whole picture, event gaps, memory and Fit on the 8000 x 4000 JPEG,
// each against its floor; then a 30000 x 30000 JPEG above a lowered memory bound.
int ClickBench(const char* self) {
    std::string root = BigMapHost();
    double bestFirst = 1e9, bestAll = 1e9, gap = 0, peak = 0, ready = 0;
    int partW = 0, partH = 0;
    for (int round = 0; round < 3; ++round) {
        const auto c = Child(self, root, "click");
        bestFirst = std::min(bestFirst, c[0]);
        bestAll = std::min(bestAll, c[1]);
        gap = std::max(gap, c[2]);
        peak = c[3], ready = c[4], partW = int(c[5]), partH = int(c[6]);
    }
    double clip = 1e9, full = 1e9, fullBytes = 0;
    for (int round = 0; round < 3; ++round) {
        clip = std::min(clip, Child(self, root, "clip", partW, partH)[0]);
        const auto d = Child(self, root, "decode");
        full = std::min(full, d[0]);
        fullBytes = d[3];
    }
    std::printf("first screen (%d x %d): %.4f s, bare clip decode %.4f s, ratio %.2f; "
                "%.3f of a bare full decode (%.4f s)\n",
                partW, partH, bestFirst, clip, bestFirst / clip, bestFirst / full, full);
    std::printf("whole picture: %.4f s, bare full decode %.4f s, ratio %.2f\n", bestAll, full,
                bestAll / full);
    std::printf("longest time without handling events during the decode: %.1f ms\n", gap * 1e3);
    std::printf("peak memory %.0f KiB, idle %.0f KiB + picture %.0f KiB, ratio %.2f\n", peak, ready,
                fullBytes / 1024, peak / (ready + fullBytes / 1024));
    double fit = 1e9, scaled = 1e9;
    int fitW = 0, fitH = 0;
    for (int round = 0; round < 3; ++round) {
        const auto f = Child(self, root, "fit");
        fit = std::min(fit, f[1]);
        fitW = int(f[7]), fitH = int(f[8]);
        scaled = std::min(scaled, Child(self, root, "scaled", fitW, fitH)[0]);
    }
    std::printf("Fit (%d x %d): %.4f s, bare scaled decode %.4f s, ratio %.2f\n", fitW, fitH, fit,
                scaled, fit / scaled);
    fs::remove_all(root);

    // 30000 x 30000 (3,433 MiB decoded) under a bound of 1,024 MiB: shown at a quarter.
    root = MakeHost();
    if (fork() == 0) { // made in a process of its own, so its memory is not counted below
        QImage image(30000, 30000, QImage::Format_Grayscale8);
        for (int y = 0; y < image.height(); ++y) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x) line[x] = uchar((x * 7) ^ (y * 3));
        }
        _exit(image.save(QString::fromStdString(root + "/drive_c/Stelmar/Maps/big.jpg"), "JPG", 75)
                  ? 0
                  : 1);
    }
    int status = 0;
    wait(&status);
    std::ofstream(root + "/drive_c/Stelmar/Maps/big.inf")
        << "60.00.00N,010.00.00W\r\n50.00.00N,010.00.00E\r\nbig.jpg\r\n";
    const auto huge = Child(self, root, "click", 0, 0, "1024");
    std::printf("30000 x 30000 under 1,024 MiB: first screen %.3f s, whole (%d x %d) %.3f s, "
                "peak %.0f MiB\n",
                huge[0], int(huge[7]), int(huge[8]), huge[1], huge[3] / 1024);
    fs::remove_all(root);
    return 0;
}

// The map view on an 8000 x 4000 picture: each zoom step (the picture scaled and drawn once)
// against a bare QImage::scaled of the same picture to the same size, and a repaint while panning
// at 1/4 against a bare QPainter::drawImage of the visible part.
int Zoom(const std::string& root) {
    frmMain& main = MainWindow();
    main.Load(); // the panes wired and laid out, the tree filled
    main.show();
    QApplication::processEvents();
    main.resize(1600, 1000);
    main.Splitter1->setSplitPercent(10); // a large map frame
    main.Splitter2->setSplitPercent(10);
    QApplication::processEvents();
    QTreeWidgetItem* node =
        main.DirTree->findItems("big.inf", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    main.DirTree->setCurrentItem(node);
    while (main.MapViewer->Decoding()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const QImage picture = main.picInner->Picture();
    QImage frame(main.picOuter->size(), QImage::Format_ARGB32_Premultiplied);
    auto paint = [&] { main.picOuter->render(&frame); };
    paint();
    for (int step = 0; step < 5; ++step) {
        auto start = Clock::now();
        main.mnuViewZoomOut->trigger();
        paint();
        const double ours = Seconds(start);
        const QSize size(int(8000 * main.MapViewer->Zoom() + 0.5),
                         int(4000 * main.MapViewer->Zoom() + 0.5));
        start = Clock::now();
        const QImage bare = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const double floor = Seconds(start);
        std::printf("zoom to %-6s %.4f s, bare scaled %.4f s, ratio %.2f\n",
                    qPrintable(MapView::ZoomText(main.MapViewer->Zoom())), ours, floor,
                    ours / floor);
    }
    main.mnuViewActualSize->trigger();
    main.MapViewer->SetZoom(0.25);
    paint();
    const QImage quarter =
        picture.scaled(2000, 1000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double ours = 1e9, floor = 1e9;
    for (int round = 0; round < 20; ++round) {
        auto start = Clock::now();
        main.HScroll1->setValue((round % 2) * 3000);
        paint();
        ours = std::min(ours, Seconds(start));
        start = Clock::now();
        QPainter p(&frame);
        p.drawImage(QPoint(0, 0), quarter, QRect(QPoint((round % 2) * 200, 0), frame.size()));
        p.end();
        floor = std::min(floor, Seconds(start));
    }
    std::printf("pan at 25%%: repaint %.5f s, bare drawImage %.5f s, ratio %.2f (frame %d x %d)\n",
                ours, floor, ours / floor, frame.width(), frame.height());
    (void)root;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A screen as large as a desktop's, so the map view's frame is as large as a user's.
    const std::string screens = (fs::temp_directory_path() / "varnet-bench-screen.json").string();
    std::ofstream(screens) << R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920,
        "height": 1200, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})";
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen:configfile=") + screens.c_str());
    QApplication app(argc, argv);
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "fill" || what == "fill-bare")
        return Fill(argc > 2 ? std::atoi(argv[2]) : 10000, what == "fill-bare");
    if (what == "click-child")
        return Click(argv[2], argv[3], argc > 5 ? std::atoi(argv[4]) : 0,
                     argc > 5 ? std::atoi(argv[5]) : 0);
    if (what == "coverage") return Coverage();
    if (what == "zoom") {
        const std::string root = BigMapHost();
        const int result = Zoom(root);
        fs::remove_all(root);
        return result;
    }
    if (what == "click") return ClickBench(argv[0]);
    std::fprintf(stderr, "usage: varnet_bench fill N | fill-bare N | click | zoom | coverage\n");
    return 2;
}
