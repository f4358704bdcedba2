// The picture component's decoding as its callers meet it: the memory bound worked out before a
// decode starts, thumbnails through the same bounded decoding, abandoned work that stops, and
// the bound's own setting.
#include "picture/PictureLoader.h"
#include "platform/CoreError.h"
#include "platform/System.h"
#include "support/AppTest.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A JPEG of `w` x `h` of one colour; progressive when asked.
QByteArray Jpeg(int w, int h, QColor colour, bool progressive) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return buffer.data();
}

// A 1001 x 777 texture, sides that no halving divides, in which any pixel out of place shows.
QByteArray Texture(int quality) {
    QImage texture(1001, 777, QImage::Format_RGB32);
    for (int y = 0; y < texture.height(); ++y)
        for (int x = 0; x < texture.width(); ++x)
            texture.setPixel(x, y, qRgb((x * 7) ^ y, (y * 3 + x) & 255, (x * y) & 255));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    texture.save(&buffer, "JPG", quality);
    return buffer.data();
}

// The same file with its frame header claiming another size.
QByteArray Claiming(QByteArray jpeg, int w, int h) {
    for (int at = 2; at + 9 < jpeg.size();
         at += 2 + (uchar(jpeg[at + 2]) << 8 | uchar(jpeg[at + 3]))) {
        const uchar marker = uchar(jpeg[at + 1]);
        if (marker == 0xC0 || marker == 0xC2) {
            jpeg[at + 5] = char(h >> 8), jpeg[at + 6] = char(h);
            jpeg[at + 7] = char(w >> 8), jpeg[at + 8] = char(w);
            break;
        }
    }
    return jpeg;
}

// A file of /proc whole, or "" when the thread or process it tells of has gone meanwhile (the
// read then fails, which the stream library throws for).
std::string ReadProc(const std::string& path) {
    try {
        std::ifstream file(path);
        return std::string((std::istreambuf_iterator<char>(file)), {});
    } catch (const std::exception&) {
        return {};
    }
}

// The decoding processes alive now (children of this process's threads, not yet reaped or
// ended).
std::vector<int> LiveDecoders() {
    std::vector<int> live;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::istringstream children(ReadProc(task.path() / "children"));
        for (int pid; children >> pid;) {
            const std::string text = ReadProc("/proc/" + std::to_string(pid) + "/stat");
            const std::size_t close = text.rfind(')');
            if (close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z')
                live.push_back(pid);
        }
    }
    return live;
}

// The processor time each decoding process has spent so far, in clock ticks.
std::map<int, long> DecoderTicks() {
    std::map<int, long> spent;
    for (const int pid : LiveDecoders()) {
        const std::string text = ReadProc("/proc/" + std::to_string(pid) + "/stat");
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        for (int i = 3; i <= 15 && fields >> field; ++i)
            if (i >= 14) spent[pid] += std::stol(field); // user and system time
    }
    return spent;
}

// A decoding process that has spent a tenth of a second more than `before` says, or 0.
int BusyDecoder(const std::map<int, long>& before) {
    for (const auto& [pid, ticks] : DecoderTicks()) {
        const auto was = before.find(pid);
        if (ticks - (was == before.end() ? 0 : was->second) >= sysconf(_SC_CLK_TCK) / 10)
            return pid;
    }
    return 0;
}

} // namespace

class DecodingTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        host.MakeHost();
    }
    void TearDown() override {
        unsetenv("VARNET_PICTURE_LIMIT_MB");
        unsetenv("VARNET_DECODER");
        AppTest::TearDown();
    }
    std::string Put(const std::string& name, const QByteArray& bytes) {
        TempHost::Write(host.OnC("Stelmar/Maps/" + name), bytes.toStdString());
        return "C:\\Stelmar\\Maps\\" + name;
    }
};

TEST_F(DecodingTest, WhatADecodeWillHoldIsCountedBeforeItStarts) {
    setenv("VARNET_PICTURE_LIMIT_MB", "256", 1);
    const QByteArray small = Jpeg(64, 48, QColor(200, 40, 40), true);
    struct Case {
        const char* what;
        QByteArray bytes;
        const char* refusal; // "" when it is shown
    } cases[] = {
        {"a progressive JPEG whose header claims 16000 x 16000", Claiming(small, 16000, 16000),
         "the picture is too large to decode (a progressive JPEG of 16000 x 16000 pixels needs "
         "737 MiB at any scale; this machine allows 224 MiB)"},
        {"a progressive map of 16000 x 12000", Claiming(small, 16000, 12000),
         "a progressive JPEG of 16000 x 12000 pixels needs 554 MiB"},
        {"a progressive JPEG that fits", Jpeg(800, 600, QColor(200, 40, 40), true), ""},
        {"a baseline JPEG of the same claimed size",
         Claiming(Jpeg(64, 48, Qt::red, false), 16000, 16000), ""},
    };
    Picture::Thumbnails thumbnails;
    QSignalSpy ready(&thumbnails, &Picture::Thumbnails::Ready);
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = Put("p" + std::to_string(++n) + ".jpg", c.bytes);
        std::string refused;
        try {
            Picture::Open(path);
        } catch (const CoreError& e) {
            refused = e.what();
        }
        if (*c.refusal) {
            EXPECT_NE(refused.find(c.refusal), std::string::npos) << refused;
        } else {
            EXPECT_EQ(refused, "");
        }
        // A coverage thumbnail of it says the same, or is the picture.
        thumbnails.Request(QString::number(n), path, 129);
        WaitFor([&] { return ready.size() == 1; });
        const auto args = ready.takeFirst();
        const QImage image = args[1].value<QImage>();
        if (*c.refusal) {
            EXPECT_TRUE(image.isNull());
            EXPECT_NE(args[2].toString().toStdString().find(c.refusal), std::string::npos);
        } else if (n == 3) {
            EXPECT_EQ(image.width(), 129);
            EXPECT_NEAR(image.height(), 97, 1);
            EXPECT_GT(image.pixelColor(60, 40).red(), 180);
        }
    }
}

TEST_F(DecodingTest, ReducedDecodesAreAtTheScaleUsed) {
    // Sides that no reduction divides: each level is the ceiling of its half.
    const std::string path = Put("odd.jpg", Jpeg(1001, 601, QColor(20, 160, 60), false));
    const Picture::Source source = Picture::Open(path);
    const std::pair<double, QSize> scales[] = {{1, {1001, 601}},
                                               {0.5, {501, 301}},
                                               {0.25, {251, 151}},
                                               {0.125, {126, 76}},
                                               {0.0625, {63, 38}}};
    for (const auto& [scale, size] : scales) {
        const Picture::Decoded d = Picture::Decode(source, QRect(QPoint(), source.size), scale);
        EXPECT_EQ(d.error, "") << scale;
        EXPECT_EQ(d.image.size(), size) << scale;
        EXPECT_EQ(d.region, QRect(0, 0, 1001, 601)) << scale;
        EXPECT_GT(d.image.pixelColor(size.width() - 1, size.height() - 1).green(), 130) << scale;
    }
}

TEST_F(DecodingTest, APartHoldsThePixelsOfTheWholeWhereverItStarts) {
    // Parts that start on a block's edge are written where the view reads them, others through
    // a row of the decoder's own.
    const Picture::Source source = Picture::Open(Put("parts.jpg", Texture(95)));
    for (const int level : {0, 1, 2}) {
        const double scale = std::ldexp(1.0, -level);
        const QImage whole = Picture::Decode(source, QRect(QPoint(), source.size), scale).image;
        ASSERT_FALSE(whole.isNull());
        for (const QPoint at : {QPoint(0, 0), QPoint(64, 40), QPoint(5, 3), QPoint(333, 401)}) {
            const Picture::Decoded part =
                Picture::Decode(source, QRect(at, QSize(320, 240)), scale);
            ASSERT_EQ(part.error, "");
            const QImage there =
                whole.copy(QRect(part.region.topLeft() / (1 << level), part.image.size()));
            // A part's side columns are decoded without their neighbours: its inside is the same.
            int worst = 0;
            for (int y = 0; y < there.height(); ++y)
                for (int x = 1; x + 1 < there.width(); ++x)
                    for (const int shift : {16, 8, 0}) // red, green, blue
                        worst =
                            std::max(worst, std::abs(int(part.image.pixel(x, y) >> shift & 255) -
                                                     int(there.pixel(x, y) >> shift & 255)));
            EXPECT_EQ(worst, 0) << "level " << level << " at " << at.x() << ", " << at.y();
        }
    }
}

TEST_F(DecodingTest, EachLevelHoldsTheMeansOfTheLevelAbove) {
    const std::string path = Put("texture.jpg", Texture(90));
    const QImage decoded = QImage(QString::fromStdString(host.OnC("Stelmar/Maps/texture.jpg")))
                               .convertToFormat(QImage::Format_RGB32);
    for (const char* limit : {"", "16"}) { // the tiles in memory, then in the disc cache
        SCOPED_TRACE(*limit ? "in the disc cache" : "in memory");
        if (*limit) setenv("VARNET_PICTURE_LIMIT_MB", limit, 1);
        Picture::Tiled tiles(Picture::Open(path));
        EXPECT_EQ(tiles.CachePath().empty(), !*limit);
        WaitFor([&] { return !tiles.Building(); });
        QImage level = decoded;
        for (int k = 0; k <= tiles.CoarsestLevel(); ++k) {
            if (k > 0) { // each pixel the rounded mean of the 2 x 2 under it, or fewer at an edge
                QImage half((level.width() + 1) / 2, (level.height() + 1) / 2, level.format());
                for (int y = 0; y < half.height(); ++y)
                    for (int x = 0; x < half.width(); ++x) {
                        const QRgb p[] = {
                            level.pixel(2 * x, 2 * y),
                            level.pixel(std::min(2 * x + 1, level.width() - 1), 2 * y),
                            level.pixel(2 * x, std::min(2 * y + 1, level.height() - 1)),
                            level.pixel(std::min(2 * x + 1, level.width() - 1),
                                        std::min(2 * y + 1, level.height() - 1))};
                        auto mean = [&](int (*c)(QRgb)) {
                            return (c(p[0]) + c(p[1]) + c(p[2]) + c(p[3]) + 2) / 4;
                        };
                        half.setPixel(x, y, qRgb(mean(qRed), mean(qGreen), mean(qBlue)));
                    }
                level = half;
            }
            // Drawn a tile's size at a time at the level's own scale, so few tiles are wanted at
            // once.
            for (int y = 0; y < level.height(); y += 256)
                for (int x = 0; x < level.width(); x += 256) {
                    const QRect part = QRect(x, y, 256, 256).intersected(level.rect());
                    QImage drawn(part.size(), QImage::Format_RGB32);
                    WaitFor([&] {
                        drawn.fill(Qt::magenta);
                        QPainter painter(&drawn);
                        tiles.Draw(painter, drawn.rect(), -QPointF(part.topLeft()),
                                   std::ldexp(1.0, -k));
                        return drawn == level.copy(part);
                    });
                    ASSERT_EQ(drawn, level.copy(part)) << "level " << k << " at " << x << ", " << y;
                }
        }
    }
}

TEST_F(DecodingTest, AnAbandonedDecodeStopsAtOnce) {
    // A JPEG that claims 40000 x 40000: its decoder works for seconds on the rows it invents.
    const std::string path = Put("huge.jpg", Claiming(Jpeg(64, 64, Qt::blue, false), 40000, 40000));
    auto tiles = std::make_unique<Picture::Tiled>(Picture::Open(path));
    QSignalSpy finished(tiles.get(), &Picture::Tiled::Built);
    const std::map<int, long> idle = DecoderTicks();
    int busy = 0; // the process at work on it
    WaitFor([&] { return (busy = BusyDecoder(idle)) > 0; });
    ASSERT_GT(busy, 0);
    const std::size_t processes = LiveDecoders().size();
    tiles.reset(); // another map chosen
    // Its process ends at once, its work and memory with it, and another takes its place, so
    // that the next picture waits for no start.
    auto gone = [&] {
        const std::vector<int> live = LiveDecoders();
        return std::count(live.begin(), live.end(), busy) == 0 && live.size() == processes;
    };
    WaitFor(gone);
    EXPECT_TRUE(gone());
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.size(), 0);
}

TEST_F(DecodingTest, TheDecoderAsFoundStartedAndReplaced) {
    const std::string built = Picture::DecoderPath(); // where the build made it
    ASSERT_TRUE(std::filesystem::exists(built)) << built;
    const std::string path = Put("map.jpg", Jpeg(300, 200, Qt::red, false));
    // A decoder that notes each start, and one that goes at once the first time it is started;
    // each notes its starts in a file of its own, since processes replaced after one case may
    // still be starting while the next runs.
    const std::string starts = host.Root() + "/starts";
    auto script = [&](const std::string& name, const std::string& body) {
        const std::string file = host.Root() + "/" + name;
        TempHost::Write(file, "#!/bin/sh\n" + body + "echo started >> " + starts + "-" + name +
                                  "\nexec " + built + "\n");
        chmod(file.c_str(), 0755);
        return file;
    };
    const std::string noting = script("noting", "");
    const std::string going =
        script("going", "[ -e " + starts + "-went ] || { touch " + starts + "-went; exit 0; }\n");
    const std::string always = script("always", "echo started >> " + starts + "-always; exit 0\n");
    struct Case {
        const char* what;
        std::string decoder; // VARNET_DECODER
        bool killed;         // the processes running are killed first, while they wait
        std::string error;   // "" when the picture is decoded
        bool started;        // the decoder named was started
    } cases[] = {
        {"the decoder the build made", "", false, "", false},
        {"the processes killed while they wait", "", true, "", false},
        {"VARNET_DECODER names a decoder", noting, true, "", true},
        {"a decoder that goes at its start", going, true, "", true},
        // Not started over and over while it waits, and the work says why it fails.
        {"a decoder that always goes at its start", always, true,
         "the picture cannot be decoded (its decoding process has gone)", true},
        {"VARNET_DECODER names nothing", host.Root() + "/nowhere", true, Picture::kDecoderMissing,
         false},
    };
    const Picture::Source source = Picture::Open(path);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string noted =
            c.decoder.empty() ? starts
                              : starts + "-" + std::filesystem::path(c.decoder).filename().string();
        std::filesystem::remove(noted);
        if (c.decoder.empty())
            unsetenv("VARNET_DECODER");
        else
            setenv("VARNET_DECODER", c.decoder.c_str(), 1);
        if (c.killed) {
            const std::vector<int> killed = LiveDecoders();
            for (int pid : killed) kill(pid, SIGKILL);
            // Replaced at once, before any work asks for them, when there is a decoder to start.
            auto replaced = [&] {
                const std::vector<int> live = LiveDecoders();
                return std::none_of(killed.begin(), killed.end(),
                                    [&](int pid) {
                                        return std::count(live.begin(), live.end(), pid) > 0;
                                    }) &&
                       live.size() == (c.error.empty() ? killed.size() : 0u);
            };
            WaitFor(replaced);
            EXPECT_TRUE(replaced());
        }
        const Picture::Decoded d = Picture::Decode(source, QRect(QPoint(), source.size), 1);
        EXPECT_EQ(d.error, c.error);
        EXPECT_EQ(d.image.size(), c.error.empty() ? source.size : QSize(0, 0));
        EXPECT_EQ(std::filesystem::exists(noted), c.started);
    }
    // Without a decoder a picture cannot be shown, and says so at once.
    try {
        Picture::Tiled tiles(source);
        ADD_FAILURE() << "shown without a decoder";
    } catch (const CoreError& e) {
        EXPECT_EQ(std::string(e.what()), Picture::kDecoderMissing);
    }
}

TEST(PictureLimit, TheSettingIsClampedToTheMachineAndReported) {
    const std::uint64_t MiB = 1 << 20;
    const std::uint64_t machine = Platform::PhysicalMemoryBytes();
    const std::uint64_t standard = std::max<std::uint64_t>(256 * MiB, machine / 4);
    struct Case {
        const char* set;
        std::uint64_t used;
        const char* note;
    } cases[] = {
        {"512", 512 * MiB, ""},
        {"99999999999", machine, "is more than this machine's memory"},
        {"lots", standard, "is not a positive number of MiB"},
        {"0", standard, "is not a positive number of MiB"},
    };
    for (const auto& c : cases) {
        setenv("VARNET_PICTURE_LIMIT_MB", c.set, 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(Picture::MemoryLimit(), c.used) << c.set;
        Picture::MemoryLimit(); // said once
        const std::string said = testing::internal::GetCapturedStderr();
        if (*c.note) {
            EXPECT_EQ(
                said.find("varnet: VARNET_PICTURE_LIMIT_MB=" + std::string(c.set) + " " + c.note),
                0u)
                << said;
            EXPECT_EQ(said.find('\n'), said.size() - 1) << said;
        } else {
            EXPECT_EQ(said, "");
        }
    }
    unsetenv("VARNET_PICTURE_LIMIT_MB");
}
