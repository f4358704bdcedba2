// The program as a screen reader meets it, through Qt's accessibility interface, and as a
// high-density screen shows it.
#include "support/AppTest.h"
#include "ui/Pictures.h"
#include "ui/frmAbout.h"
#include "ui/frmCoverage.h"
#include "ui/frmFindMaps.h"
#include "ui/frmInfEdit.h"
#include "ui/frmMain.h"
#include "ui/frmOptions.h"
#include "ui/frmProgress.h"
#include "ui/frmSplash.h"

#include <QAccessible>
#include <QAccessibleInterface>

namespace {

QAccessibleInterface* Of(QObject* o) {
    return QAccessible::queryAccessibleInterface(o);
}

// Every shown object under `a`, depth first.
void Walk(QAccessibleInterface* a, const std::function<void(QAccessibleInterface*)>& visit) {
    for (int i = 0; i < a->childCount(); ++i)
        if (QAccessibleInterface* c = a->child(i); c && !c->state().invisible) {
            visit(c);
            Walk(c, visit);
        }
}

QString Where(QAccessibleInterface* a) {
    return a->object()
               ? a->object()->objectName() + " (" + a->object()->metaObject()->className() + ")"
               : "role " + QString::number(a->role());
}

// What a control shows, painted at `density` pixels per logical pixel.
QImage Painted(QWidget* w, qreal density) {
    QPixmap pm(w->size() * density);
    pm.setDevicePixelRatio(density);
    pm.fill(Qt::white);
    w->render(&pm);
    return pm.toImage().convertToFormat(QImage::Format_ARGB32);
}

// The share of pixels of a picture at twice the density that its picture at once the density,
// enlarged (pixels doubled, or smoothed), does not show: near 0 for a picture only enlarged.
double Sharper(const QImage& twice, const QImage& once) {
    double least = 1;
    for (auto how : {Qt::FastTransformation, Qt::SmoothTransformation}) {
        const QImage enlarged = once.convertToFormat(QImage::Format_ARGB32)
                                    .scaled(twice.size(), Qt::IgnoreAspectRatio, how);
        int differ = 0;
        for (int y = 0; y < twice.height(); ++y)
            for (int x = 0; x < twice.width(); ++x) {
                const QColor a = twice.pixelColor(x, y), b = enlarged.pixelColor(x, y);
                differ +=
                    std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                              std::abs(a.blue() - b.blue()), std::abs(a.alpha() - b.alpha())}) > 24;
            }
        least = std::min(least, double(differ) / (twice.width() * twice.height()));
    }
    return least;
}

} // namespace

class AccessTest : public AppTest {
protected:
    frmMain& StartWithMaps() {
        host.MakeHost();
        WriteImage(host.OnC("Stelmar/Maps/a.bmp"), 40, 40);
        WriteMap("a.inf", "10N,10E\r\n0N,20E\r\na.bmp\r\n");
        WriteMap("b.inf", "10N,10E\r\n0N,20E\r\nnowhere.bmp\r\n");
        WriteMap("c.inf", "10N,10E\r\n0N,20E\r\nnowhere\r\n"); // a red cross
        frmMain& m = Start();
        Select(m, "a.inf");
        return m;
    }
};

TEST_F(AccessTest, EveryWindowIsAnnouncedAsOneAndEveryControlByRoleAndName) {
    frmMain& m = StartWithMaps();
    m.mnuViewCoverage->trigger();
    const std::vector<QWidget*> windows = {&m,
                                           &OpenEditor("C:\\Stelmar\\Maps\\a.inf"),
                                           &frmCoverage::Instance(),
                                           &frmFindMaps::Instance(),
                                           &frmAbout::Instance(),
                                           &frmSplash::Instance(),
                                           &frmOptions::Instance(),
                                           &frmProgress::Instance()};
    for (QWidget* w : windows) {
        w->show();
        Flush();
        QAccessibleInterface* window = Of(w);
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(window->role() == QAccessible::Window || window->role() == QAccessible::Dialog);
        EXPECT_FALSE(window->text(QAccessible::Name).isEmpty());
        EXPECT_FALSE(window->text(QAccessible::Description).isEmpty());
        QStringList faults;
        Walk(window, [&](QAccessibleInterface* a) {
            const QAccessible::Role role = a->role();
            if (role == QAccessible::Client || role == QAccessible::NoRole)
                faults << Where(a) + " has no role";
            // A label's name is its text; a separator and the menu bar say what they are.
            const bool unnamedIsFine = role == QAccessible::StaticText ||
                                       role == QAccessible::Separator ||
                                       role == QAccessible::MenuBar;
            if (!unnamedIsFine && a->text(QAccessible::Name).trimmed().isEmpty())
                faults << Where(a) + " has no name";
        });
        EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
    }
}

TEST_F(AccessTest, ThePictureTheBoxesAndTheToolbarButtonSayWhatTheyAre) {
    frmMain& m = StartWithMaps();
    // The picture: one object, focusable, telling which map it shows (or why it shows none).
    QAccessibleInterface* picture = nullptr;
    Walk(Of(&m), [&](QAccessibleInterface* a) {
        if (a->text(QAccessible::Name) == "Map picture") {
            EXPECT_EQ(picture, nullptr) << "named twice";
            picture = a;
        }
    });
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->role(), QAccessible::Graphic);
    EXPECT_TRUE(picture->state().focusable);
    EXPECT_EQ(picture->childCount(), 0);
    EXPECT_EQ(picture->text(QAccessible::Description), "a.inf");
    Select(m, "b.inf");
    EXPECT_TRUE(picture->text(QAccessible::Description).startsWith("b.inf: "));
    EXPECT_NE(picture->text(QAccessible::Description).indexOf("nowhere"), -1);

    // A red cross in the tree says why, to the pointer and to a screen reader alike.
    QTreeWidgetItem* cross = Select(m, "c.inf");
    ASSERT_EQ(TreeView::ImageOf(cross), "FileX");
    EXPECT_NE(cross->toolTip(0).indexOf("nowhere"), -1);
    bool described = false;
    Walk(Of(m.DirTree), [&](QAccessibleInterface* a) {
        described |= a->text(QAccessible::Name) == "c.inf" &&
                     a->text(QAccessible::Description) == cross->toolTip(0);
    });
    EXPECT_TRUE(described);

    // The editor's boxes: each named by the headings a sighted user reads it by (the one level
    // with it on its left, the one above its column), no two alike.
    frmInfEdit& e = frmInfEdit::Instance();
    QStringList names;
    for (QLineEdit* box : e.findChildren<QLineEdit*>()) {
        const QRect b = box->geometry();
        QStringList level, above;
        for (QLabel* label : e.findChildren<QLabel*>()) {
            const QRect g = label->geometry();
            if (g.right() < b.left() && g.center().y() >= b.top() && g.center().y() <= b.bottom())
                level << label->text();
            if (g.bottom() < b.top() && g.center().x() >= b.left() && g.center().x() <= b.right())
                above << label->text();
        }
        if (above.size() > 1) above.clear(); // a box under several columns belongs to none
        const QString name = Of(box)->text(QAccessible::Name);
        EXPECT_EQ(level.size(), 1) << box->objectName().toStdString();
        for (const QString& heading : level + above)
            EXPECT_NE(name.indexOf(heading), -1)
                << name.toStdString() << " lacks " << heading.toStdString();
        EXPECT_FALSE(names.contains(name)) << name.toStdString();
        names << name;
    }
    EXPECT_EQ(names.size(), 5);

    QAccessibleInterface* print = nullptr;
    Walk(Of(m.tbToolBar), [&](QAccessibleInterface* a) {
        if (a->role() == QAccessible::Button) print = a;
    });
    ASSERT_NE(print, nullptr);
    EXPECT_EQ(print->text(QAccessible::Name), "Print");
}

TEST_F(AccessTest, OnATwiceAsDenseScreenPicturesAreDrawnAfreshNotEnlarged) {
    frmMain& m = StartWithMaps();
    frmAbout& about = frmAbout::Instance();
    // Within its border, which is lines at any density.
    const QRect inside = about.picIcon->rect().adjusted(3, 3, -3, -3);
    EXPECT_GT(
        Sharper(Painted(about.picIcon, 2).copy(QRect(inside.topLeft() * 2, inside.size() * 2)),
                Painted(about.picIcon, 1).copy(inside)),
        0.05);
    const std::pair<const char*, QIcon> icons[] = {
        {"program", m.windowIcon()},
        {"tree", m.DirTree->SelectedItem()->icon(0)},
        {"toolbar", m.tbToolBar->actions().constFirst()->icon()},
    };
    for (const auto& [what, icon] : icons) {
        const QPixmap twice = icon.pixmap(QSize(16, 16), 2.0),
                      once = icon.pixmap(QSize(16, 16), 1.0);
        EXPECT_EQ(twice.size(), QSize(32, 32)) << what;
        EXPECT_GT(Sharper(twice.toImage(), once.toImage()), 0.05) << what;
    }
}
