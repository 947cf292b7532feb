// The installed programs of a Linux desktop as the bridge lists them, held
// against GLib's own reading of the same desktop entries (the packages
// installed for the tests, plus a user's entries that hide, rename or
// break theirs), and pictured off the GUI thread.
// GLib's headers first: they use Qt's keyword "signals" as a name.
#include <gio/gdesktopappinfo.h>

#include "BridgeTestSupport.h"

#include "bridge/SystemBridge.h"
#include "platform/os/linux/LinuxPlatform.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// What a menu shows, as "entry file | name", sorted.
QStringList glibShownApplications()
{
    QStringList shown;
    GList *all = g_app_info_get_all();
    for (GList *item = all; item; item = item->next) {
        GAppInfo *info = G_APP_INFO(item->data);
        if (g_app_info_should_show(info))
            shown.append(QString::fromUtf8(g_desktop_app_info_get_filename(G_DESKTOP_APP_INFO(info))) + " | "
                         + QString::fromUtf8(g_app_info_get_name(info)));
    }
    g_list_free_full(all, g_object_unref);
    shown.sort();
    return shown;
}

QStringList listed(const QVariantList &apps)
{
    QStringList shown;
    for (const QVariant &app : apps.mid(1))
        shown.append(app.toMap().value("executablePath").toString() + " | " + app.toMap().value("name").toString());
    shown.sort();
    return shown;
}

QString iconFileOf(const QVariantList &apps, const QString &entry)
{
    for (const QVariant &app : apps)
        if (app.toMap().value("executablePath").toString() == entry)
            return QUrl(app.toMap().value("iconFilePath").toString()).toLocalFile();
    return {};
}

// Pixels that are not transparent: a picture, not an empty square.
int drawnPixels(const QImage &image)
{
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            drawn += qAlpha(image.pixel(x, y)) > 0;
    return drawn;
}

// A picture of one colour: PNG, XPM or SVG by the name's suffix.
void writePicture(const QString &path, QColor color)
{
    if (path.endsWith(".svg")) {
        writeFile(path, "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'>"
                        "<rect width='16' height='16' fill='" + color.name().toLatin1() + "'/></svg>");
        return;
    }
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(path, path.endsWith(".xpm") ? "XPM" : "PNG"));
}

// Holds each installed-programs scan as it starts, until the test lets it
// go or the scan is stopped.
struct ScanGate {
    std::atomic<int> started{0};
    std::atomic<int> let{0}; // scans up to this number go on
    std::atomic<int> stopsSeen{0};
    void hold(const std::atomic<bool> &stopped)
    {
        const int mine = ++started;
        testwait::until([&] { return mine <= let || stopped; }, 60000);
        stopsSeen += stopped.load();
    }
};

class DesktopApps : public BridgeTest
{
protected:
    SystemBridge m_bridge{SystemBridge::Options{}};
    QTemporaryDir m_tmp;
};

TEST_F(DesktopApps, InstalledProgramsAreWhatGLibShowsInEachLanguage)
{
    const QString system = QStringLiteral("/usr/share/applications/");
    for (const char *entry : {"lxterminal.desktop", "debian-xterm.desktop", "htop.desktop", "mc.desktop",
                              "galculator.desktop", "vim.desktop"})
        ASSERT_TRUE(QFile::exists(system + entry)) << entry << ": the tests' desktop packages are not installed";

    // A user's entries: one renames a system program, one hides one, one
    // breaks one (its TryExec is missing), and the rest take every rule.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString user = data + QStringLiteral("/applications/");
    const QByteArray probe = QFile::encodeName(m_tmp.filePath("bin/veloran-probe"));
    writeFile(m_tmp.filePath("bin/veloran-probe"), "#!/bin/sh\n", true);
    const QByteArray head = "[Desktop Entry]\nType=Application\n";
    writeFile(user + "debian-xterm.desktop", head + "Name=My XTerm\nName[de]=Mein XTerm\nExec=xterm\n");
    writeFile(user + "htop.desktop", head + "Name=Htop\nExec=htop\nHidden=true\n");
    writeFile(user + "mc.desktop", head + "Name=Midnight Commander\nTryExec=/no/such/mc\nExec=mc\n");
    writeFile(user + "kde4/veloran-nested.desktop",
              head + "Name=Nested\nName[de]=Verschachtelt\nName[zh_CN]=嵌套\nExec=veloran-probe %U\nIcon=veloran-test-themed\n");
    writeFile(user + "veloran-twin-a.desktop",
              head + "Name=Twin\nExec=\"" + probe + "\" \"two words\" 100%%\nIcon=veloran-test-themed\n");
    writeFile(user + "veloran-twin-b.desktop", head + "Name=Twin\nExec=" + probe + " \"a\\\\$b\" %f\nIcon="
                                                   + QFile::encodeName(m_tmp.filePath("art/blue.png")) + "\n");
    writeFile(user + "veloran-nodisplay.desktop", head + "Name=No Display\nNoDisplay=1\nExec=" + probe + "\n");
    writeFile(user + "veloran-kde-only.desktop", head + "Name=KDE Only\nOnlyShowIn=KDE;\nExec=" + probe + "\n");
    writeFile(user + "veloran-not-here.desktop", head + "Name=Not Here\nNotShowIn=Veloran;\nExec=" + probe + "\n");
    writeFile(user + "veloran-no-program.desktop", head + "Name=No Program\nExec=veloran-no-such-program\n");
    writeFile(user + "veloran-link.desktop", head + "Type=Link\nName=Link\nURL=https://example.invalid/\n");
    writePicture(data + "/icons/hicolor/128x128/apps/veloran-test-themed.png", Qt::red);
    writePicture(m_tmp.filePath("art/blue.png"), Qt::blue);
    // ctest runs each case in a process of its own: what is set here stays there.
    qputenv("PATH", QFile::encodeName(m_tmp.filePath("bin")) + ':' + qgetenv("PATH"));
    qputenv("XDG_CURRENT_DESKTOP", "Veloran");
    os::installPlatform(std::make_shared<os::LinuxPlatform>(m_world, os::LinuxPlatform::Options{}));

    const struct {
        const char *lang;
        QString nested;
        QString terminal; // lxterminal's name
    } languages[] = {
        {"C", "Nested", "LXTerminal"},
        {"de_DE.UTF-8", "Verschachtelt", "LXTerminal"},
        {"zh_CN.UTF-8", QStringLiteral("嵌套"), QStringLiteral("LX 终端")},
    };
    QVariantList apps;
    for (const auto &language : languages) {
        SCOPED_TRACE(language.lang);
        for (const char *overriding : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            qunsetenv(overriding);
        qputenv("LANG", language.lang);
        apps = scanInstalledApps(m_bridge);
        const QStringList shown = listed(apps);
        EXPECT_EQ(shown, glibShownApplications());
        for (const QString &expected :
             {user + "kde4/veloran-nested.desktop | " + language.nested, system + "lxterminal.desktop | " + language.terminal,
              user + "veloran-twin-a.desktop | Twin", user + "veloran-twin-b.desktop | Twin"})
            EXPECT_TRUE(shown.contains(expected)) << expected.toStdString();
        for (const char *gone : {"htop.desktop", "mc.desktop", "veloran-nodisplay", "veloran-kde-only",
                                 "veloran-not-here", "veloran-no-program", "veloran-link"})
            EXPECT_EQ(shown.filter(QString::fromLatin1(gone)), QStringList()) << gone;
    }

    // Pictures come from the themes, the pixmaps folder and files, drawn off
    // the GUI thread while it draws icons of its own.
    QIcon::setThemeName(QStringLiteral("hicolor"));
    const struct {
        QString entry;
        QColor centre; // invalid: any picture
    } pictures[] = {
        {user + "kde4/veloran-nested.desktop", Qt::red},
        {user + "veloran-twin-b.desktop", Qt::blue},
        {system + "lxterminal.desktop", {}},  // 128 px PNG
        {system + "galculator.desktop", {}},  // SVG
        {system + "mcedit.desktop", {}},      // 64 px PNG
        {system + "debian-uxterm.desktop", {}}, // SVG
    };
    for (const auto &picture : pictures) {
        SCOPED_TRACE(picture.entry.toStdString());
        const QString icon = iconFileOf(apps, picture.entry);
        ASSERT_FALSE(icon.isEmpty());
        ASSERT_TRUE(eventually([&] {
            QIcon::fromTheme(QStringLiteral("galculator")).pixmap(64);
            return QFile::exists(icon);
        }));
        const QImage written(icon);
        EXPECT_EQ(written.size(), QSize(128, 128));
        EXPECT_GT(drawnPixels(written), 128 * 128 / 8);
        if (picture.centre.isValid()) {
            EXPECT_EQ(written.pixelColor(64, 64), picture.centre);
        }
    }
    EXPECT_NE(iconFileOf(apps, user + "veloran-twin-a.desktop"), iconFileOf(apps, user + "veloran-twin-b.desktop"))
        << "entries of one name keep icons of their own";
    QThreadPool::globalInstance()->waitForDone();
}

// Every picture the list names is there when the list arrives, drawn from
// the best file for its icon: the user's theme before hicolor, the size
// nearest above 128 px before smaller ones, a theme before the pixmaps
// folder, linked files as any others. An entry without one names none. The
// list is sorted by name, whatever the case; a picture follows its source.
TEST_F(DesktopApps, PicturesAreTheBestFileAndThereWhenTheListArrives)
{
    const QDir data(m_tmp.path());
    const QString applications = data.filePath("applications/");
    const QByteArray head = "[Desktop Entry]\nType=Application\nExec=/bin/true\n";
    struct File {
        const char *path; // under the data folder, %1 the icon's name
        QColor color;
        bool linked = false;
    };
    const struct {
        const char *name;
        std::vector<File> files;
        QColor centre; // invalid: no picture
        bool entryLinked = false;
    } rows[] = {
        {"Sizes", {{"icons/hicolor/48x48/apps/%1.png", Qt::red}, {"icons/hicolor/256x256/apps/%1.png", Qt::blue}},
         Qt::blue},
        {"themed",
         {{"icons/veloran-test/48x48/apps/%1.png", Qt::green}, {"icons/hicolor/128x128/apps/%1.png", Qt::red}},
         Qt::green},
        {"Pixmaps", {{"pixmaps/%1.xpm", Qt::red}, {"icons/hicolor/scalable/apps/%1.svg", Qt::blue}}, Qt::blue},
        {"linked icon", {{"icons/hicolor/128x128/apps/%1.png", Qt::green, true}}, Qt::green},
        {"Linked entry", {{"icons/hicolor/128x128/apps/%1.png", Qt::blue}}, Qt::blue, true},
        {"No picture", {}, {}},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const QString icon = QStringLiteral("veloran-row%1").arg(i);
        for (const File &file : rows[i].files) {
            const QString path = data.filePath(QString::fromLatin1(file.path).arg(icon));
            const QString art = file.linked ? data.filePath("art/" + QFileInfo(path).fileName()) : path;
            writePicture(art, file.color);
            if (file.linked) {
                ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && QFile::link(art, path));
            }
        }
        const QString entry = applications + icon + ".desktop";
        const QString real = rows[i].entryLinked ? data.filePath("elsewhere/" + icon + ".desktop") : entry;
        writeFile(real, head + "Name=" + rows[i].name + "\nIcon=" + icon.toLatin1() + "\n");
        if (rows[i].entryLinked) {
            ASSERT_TRUE(QDir().mkpath(applications) && QFile::link(real, entry));
        }
    }
    // Enough entries, a quarter of them pictured, that the pictures take their time.
    writePicture(data.filePath("icons/hicolor/128x128/apps/veloran-filler.png"), Qt::gray);
    for (int i = 0; i < 2000 - int(std::size(rows)); ++i)
        writeFile(applications + QStringLiteral("filler-%1.desktop").arg(i),
                  head + "Name=zz filler " + QByteArray::number(i) + (i % 4 ? "\n" : "\nIcon=veloran-filler\n"));
    m_world->setApplicationFolders({QDir::cleanPath(applications).toStdWString()});
    QIcon::setThemeName(QStringLiteral("veloran-test"));

    // What each list's pictures are when it arrives, by entry file.
    QHash<QString, QImage> pictures;
    QStringList names;
    int unreadable = 0;
    QObject::connect(&m_bridge, &SystemBridge::installedAppsChanged, &m_bridge, [&](const QVariantList &apps) {
        names.clear();
        for (const QVariant &item : apps.mid(1)) {
            const QVariantMap app = item.toMap();
            const QString file = QUrl(app.value("iconFilePath").toString()).toLocalFile();
            const QImage picture = file.isEmpty() ? QImage() : QImage(file);
            unreadable += !file.isEmpty() && picture.isNull();
            pictures.insert(app.value("executablePath").toString(), picture);
            if (!app.value("name").toString().startsWith("zz "))
                names.append(app.value("name").toString());
        }
    });
    // The colour's name; empty for no picture.
    const auto centreOf = [&](int row) {
        const QImage picture = pictures.value(applications + QStringLiteral("veloran-row%1.desktop").arg(row));
        return picture.isNull() ? std::string() : picture.pixelColor(64, 64).name().toStdString();
    };
    const auto nameOf = [](QColor color) { return color.isValid() ? color.name().toStdString() : std::string(); };
    // Two thousand pictures take their time on a loaded machine.
    constexpr int kScanMs = 120000;
    scanInstalledApps(m_bridge, kScanMs);
    ASSERT_EQ(pictures.size(), 2000);
    EXPECT_EQ(unreadable, 0);
    EXPECT_EQ(names.join(", ").toStdString(), "Linked entry, linked icon, No picture, Pixmaps, Sizes, themed");
    for (size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(centreOf(int(i)), nameOf(rows[i].centre)) << rows[i].name;

    // A changed picture file, and an entry that names another, are drawn
    // again (the fillers go, so that the list changes and is sent).
    writePicture(data.filePath("icons/veloran-test/48x48/apps/veloran-row1.png"), Qt::yellow);
    writePicture(data.filePath("art/purple.png"), Qt::magenta);
    writeFile(applications + "veloran-row0.desktop",
              head + "Name=Sizes\nIcon=" + QFile::encodeName(data.filePath("art/purple.png")) + "\n");
    for (const QString &filler : QDir(applications).entryList({"filler-*"}))
        ASSERT_TRUE(QFile::remove(applications + filler));
    pictures.clear();
    scanInstalledApps(m_bridge, kScanMs);
    ASSERT_EQ(pictures.size(), qsizetype(std::size(rows)));
    EXPECT_EQ(unreadable, 0);
    EXPECT_EQ(centreOf(0), nameOf(Qt::magenta));
    EXPECT_EQ(centreOf(1), nameOf(Qt::yellow));
}

// Scans run one at a time: the requests made during one are answered by
// one more, and an unchanged list is not sent again. A bridge going away
// stops its scan and waits for it.
TEST_F(DesktopApps, ScansRunOneAtATimeAnswerEveryRequestAndEndWithTheBridge)
{
    writeFile(m_tmp.filePath("applications/one.desktop"),
              "[Desktop Entry]\nType=Application\nName=One\nExec=/bin/true\n");
    m_world->setApplicationFolders({m_tmp.filePath("applications").toStdWString()});
    ScanGate gate;
    SystemBridge::Options options;
    options.installedScanStarting = [&gate](const std::atomic<bool> &stopped) { gate.hold(stopped); };
    auto bridge = std::make_unique<SystemBridge>(options);
    int changes = 0;
    QObject::connect(bridge.get(), &SystemBridge::installedAppsChanged, bridge.get(), [&] { ++changes; });

    // Asked twice more while the first scan is held: one more scan answers
    // both, and finds the list unchanged.
    bridge->getRunningApplicationsByQt();
    ASSERT_TRUE(eventually([&] { return gate.started == 1; }));
    bridge->getRunningApplicationsByQt();
    bridge->getRunningApplicationsByQt();
    gate.let = 1000;
    ASSERT_TRUE(eventually([&] { return !bridge->installedAppsScanningForTests(); }));
    EXPECT_EQ(gate.started.load(), 2);
    EXPECT_EQ(changes, 1);

    // Held again, and the bridge goes away.
    gate.let = 2;
    bridge->getRunningApplicationsByQt();
    ASSERT_TRUE(eventually([&] { return gate.started == 3; }));
    bridge.reset();
    EXPECT_EQ(gate.stopsSeen.load(), 1) << "the bridge went away with its scan running";
    gate.let = 1000;
    QThreadPool::globalInstance()->waitForDone();
}

// An entry that is a pipe, or names one as its picture, is passed over at
// once; GLib itself would wait on it for good.
TEST_F(DesktopApps, PipesAmongTheEntriesAreNeverWaitedOn)
{
    const QDir data(m_tmp.path());
    const QString pipe = data.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString applications = data.filePath("applications");
    writeFile(applications + "/fine.desktop", "[Desktop Entry]\nType=Application\nName=Fine\nExec=/bin/true\nIcon="
                                                  + QFile::encodeName(pipe) + "\n");
    ASSERT_EQ(symlink(QFile::encodeName(pipe).constData(), QFile::encodeName(applications + "/pipe.desktop").constData()),
              0);
    writeFile(applications + "/huge.desktop", "[Desktop Entry]\nType=Application\nName=Huge\nExec=/bin/true\n#"
                                                  + QByteArray(2 * 1024 * 1024, 'x') + "\n");
    m_world->setApplicationFolders({applications.toStdWString()});

    const QVariantList apps = scanInstalledApps(m_bridge);
    EXPECT_EQ(listed(apps), QStringList{applications + "/fine.desktop | Fine"});
    EXPECT_FALSE(m_bridge.openApplication(applications + "/pipe.desktop"));
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_FALSE(QFile::exists(iconFileOf(apps, applications + "/fine.desktop")));
    EXPECT_GE(find(QStringLiteral("未能生成图标: Fine"), 0, QtWarningMsg), 0);
}

} // namespace
