// Installed programs under the platform's application folders, and their
// icon files.
#include "BridgeTestSupport.h"

#include "bridge/SystemBridge.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrl>

namespace {

class InstalledApps : public BridgeTest
{
protected:
    // Empty files at the given paths under the folder.
    static void makeFiles(const QString &root, const QStringList &paths)
    {
        for (const QString &path : paths) {
            const QString full = root + '/' + path;
            ASSERT_TRUE(QDir().mkpath(QFileInfo(full).path()));
            QFile file(full);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << full.toStdString();
        }
    }

    void useFolders(const QStringList &folders)
    {
        std::vector<std::wstring> list;
        for (const QString &folder : folders)
            list.push_back(folder.toStdWString());
        m_world->setApplicationFolders(list);
    }

    static QString iconFolder()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/app_icons";
    }

    QTemporaryDir m_programs;
    QTemporaryDir m_startMenu;
};

TEST_F(InstalledApps, ScansThreeLevelsFirstNameWinsBrowserFirst)
{
    const QString programs = m_programs.path();
    const QString startMenu = m_startMenu.path();
    makeFiles(programs, {"Orbit/orbit.exe", "Tape/bin/x64/deep.exe", "Tape/bin/tape.EXE", "Tape/readme.txt", "top.exe",
                         "Zulu.exe", "Veloran/deck.exe", "Tools/Veloran Helper/helper.exe", "a/b/c/toodeep.exe"});
    makeFiles(startMenu, {"Orbit/orbit.exe", "chat.exe"});
    const QString missing = programs + "/missing";

    const struct {
        const char *what;
        QStringList folders;
        QStringList paths; // after the browser entry
    } cases[] = {
        {"no folder", {}, {}},
        {"missing folder", {missing}, {}},
        {"both",
         {programs, missing, startMenu},
         // Sorted by name, whatever the case.
         {programs + "/Orbit/orbit.exe", programs + "/Tape/bin/tape.EXE", programs + "/top.exe",
          programs + "/Zulu.exe", startMenu + "/chat.exe"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        useFolders(c.folders);
        SystemBridge bridge{SystemBridge::Options{}};
        const QVariantList list = scanInstalledApps(bridge);
        QThreadPool::globalInstance()->waitForDone();

        ASSERT_EQ(list.size(), c.paths.size() + 1);
        const QVariantMap browser = list.first().toMap();
        EXPECT_EQ(browser.value("name").toString(), QStringLiteral("系统浏览器"));
        EXPECT_EQ(browser.value("isSystemBrowser").toBool(), true);
        EXPECT_EQ(browser.value("executablePath"), QVariant(QString()));
        EXPECT_EQ(browser.value("bundlePath"), QVariant(QString()));
        EXPECT_FALSE(browser.contains("iconFilePath"));
        for (qsizetype i = 0; i < c.paths.size(); ++i) {
            const QVariantMap app = list[i + 1].toMap();
            const QString path = c.paths[i];
            EXPECT_EQ(app.value("executablePath").toString(), path);
            EXPECT_EQ(app.value("name").toString(), QFileInfo(path).completeBaseName());
            EXPECT_EQ(app.value("bundlePath").toString(), QUrl::fromLocalFile(path).toString());
            const QString icon = QUrl(app.value("iconFilePath").toString()).toLocalFile();
            EXPECT_EQ(icon, iconFolder() + '/' + QFileInfo(path).completeBaseName() + ".png");
            QImageReader reader(icon);
            EXPECT_EQ(reader.format(), "png") << icon.toStdString();
            EXPECT_EQ(reader.size(), QSize(128, 128)) << icon.toStdString();
        }
    }
}

TEST_F(InstalledApps, IconFilesKeepApartAndAreNeverRewritten)
{
    makeFiles(m_programs.path(), {"播放器.exe", "录音机.exe", "tape.exe", "My Tool.exe"});
    useFolders({m_programs.path()});
    ASSERT_TRUE(QDir().mkpath(iconFolder()));
    QFile kept(iconFolder() + "/tape.png");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("first picture");
    kept.close();

    SystemBridge bridge{SystemBridge::Options{}};
    const QVariantList list = scanInstalledApps(bridge);
    QThreadPool::globalInstance()->waitForDone();

    QSet<QString> icons;
    for (const QVariant &entry : list.mid(1)) {
        const QString name = entry.toMap().value("name").toString();
        const QString icon = QUrl(entry.toMap().value("iconFilePath").toString()).toLocalFile();
        icons.insert(icon);
        const QString file = QFileInfo(icon).fileName();
        // Replaced characters leave a trace of the whole name.
        if (name == "tape")
            EXPECT_EQ(file, "tape.png");
        else
            EXPECT_TRUE(QRegularExpression("^[a-zA-Z0-9_\\-]+_[0-9a-f]{8}\\.png$").match(file).hasMatch())
                << file.toStdString();
        if (name != "tape") {
            EXPECT_EQ(QImageReader(icon).size(), QSize(128, 128)) << file.toStdString();
        }
    }
    EXPECT_EQ(icons.size(), 4) << "each program has its own file";

    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "first picture");
}

} // namespace
