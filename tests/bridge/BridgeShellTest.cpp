// Launching, opening and installing through the shell.
#include "BridgeTestSupport.h"

#include "bridge/DownloadFolder.h"
#include "bridge/SystemBridge.h"

#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>

namespace {

// Takes what the shell would open instead of a desktop handler.
class UrlSink : public QObject
{
    Q_OBJECT
public:
    UrlSink()
    {
        for (const char *scheme : {"http", "https", "file", "mailto"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
    }
    ~UrlSink() override
    {
        for (const char *scheme : {"http", "https", "file", "mailto"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
    }
    QStringList opened;
public slots:
    void open(const QUrl &url) { opened.append(url.toString()); }
};

class BridgeShell : public BridgeTest
{
protected:
    SystemBridge m_bridge{SystemBridge::Options{}};
    UrlSink m_sink;
    QTemporaryDir m_tmp;
};

TEST_F(BridgeShell, ApplicationTextsAndWhatTheyOpen)
{
    const QString setup = m_tmp.filePath(QStringLiteral("setup.exe"));
    QFile file(setup);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    // Files the opener would run rather than show.
    const QByteArray entry = "[Desktop Entry]\nType=Application\nName=Run\nExec=/bin/true\n";
    const QString upperEntry = m_tmp.filePath(QStringLiteral("OUTSIDE.DESKTOP"));
    writeFile(upperEntry, entry);
    writeFile(m_tmp.filePath(QStringLiteral("x.desktop")), entry);
    writeFile(m_tmp.filePath(QStringLiteral("entry-without-suffix")), entry);
    writeFile(m_tmp.filePath(QStringLiteral("tool")), "#!/bin/sh\n", true);
    ASSERT_TRUE(QFile::link(m_tmp.filePath(QStringLiteral("x.desktop")), m_tmp.filePath(QStringLiteral("notes.txt"))));
    struct Case {
        QString text;
        bool ok;
        QString opened; // what reaches the file handler
        const char *warning;
    } cases[] = {
        {QUrl::fromLocalFile(setup).toString(), true, QUrl::fromLocalFile(setup).toString(), nullptr},
        {setup, true, QUrl::fromLocalFile(setup).toString(), nullptr},
        {QStringLiteral("file:///"), false, {}, "Invalid application path: file:///"},
        {QString(), false, {}, "Invalid application path:"},
        {m_tmp.filePath(QStringLiteral("missing.exe")), false, {}, "Application path does not exist:"},
        // Relative texts would name whatever lies in the working folder.
        {QStringLiteral("bin/tool"), false, {}, "Invalid application path: bin/tool"},
        {QStringLiteral("file://bin/tool"), false, {}, "Invalid application path: file://bin/tool"},
        // Entries start only from the applications folders, whatever their case.
        {upperEntry, false, {}, "not an entry of the applications folders"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        m_sink.opened.clear();
        clearLines();
        EXPECT_EQ(m_bridge.openApplication(c.text), c.ok);
        EXPECT_EQ(m_sink.opened, c.opened.isEmpty() ? QStringList() : QStringList{c.opened});
        if (c.warning) {
            EXPECT_GE(find(QString::fromUtf8(c.warning), 0, QtWarningMsg), 0);
        }
    }

    // Only absolute browser, mail and file addresses are handed on; nothing
    // else may reach the opener, where a leading '-' reads as an option.
    const QString fileUrl = QUrl::fromLocalFile(setup).toString();
    const struct {
        QString url;
        QString opened; // empty: refused
    } urls[] = {
        {QString(), QStringLiteral("http://localhost")},
        {QStringLiteral("https://example.invalid/a"), QStringLiteral("https://example.invalid/a")},
        {QStringLiteral("mailto:help@example.invalid"), QStringLiteral("mailto:help@example.invalid")},
        {fileUrl, fileUrl},
        {QUrl::fromLocalFile(upperEntry).toString(), {}},
        {QUrl::fromLocalFile(m_tmp.filePath(QStringLiteral("x.desktop"))).toString(), {}},
        {QUrl::fromLocalFile(m_tmp.filePath(QStringLiteral("notes.txt"))).toString(), {}},
        {QUrl::fromLocalFile(m_tmp.filePath(QStringLiteral("entry-without-suffix"))).toString(), {}},
        {QUrl::fromLocalFile(m_tmp.filePath(QStringLiteral("tool"))).toString(), {}},
        {QStringLiteral("-e"), {}},
        {QStringLiteral("--help"), {}},
        {QStringLiteral("javascript:x"), {}},
        {QStringLiteral("example.invalid/page"), {}},
        {QStringLiteral("http:relative"), {}},
    };
    for (const auto &c : urls) {
        SCOPED_TRACE(c.url.toStdString());
        m_sink.opened.clear();
        clearLines();
        m_bridge.openUrl(c.url);
        EXPECT_EQ(m_sink.opened, c.opened.isEmpty() ? QStringList() : QStringList{c.opened});
        EXPECT_EQ(find(QStringLiteral("Refused to open URL"), 0, QtWarningMsg) >= 0, c.opened.isEmpty());
    }
}

TEST_F(BridgeShell, InstallingAFolderFailsAndSystemInfoHasItsFiveKeys)
{
    EXPECT_FALSE(m_bridge.installFile(m_tmp.path()));
    EXPECT_GE(find(QStringLiteral("SystemBridge::installFile 文件不存在:"), 0, QtWarningMsg), 0);
    EXPECT_EQ(m_bridge.getSystemInfo().keys(),
              (QStringList{"kernelType", "kernelVersion", "machineType", "osName", "platform"}));
    EXPECT_EQ(m_bridge.getSystemInfo().value("platform").toString(), m_bridge.getPlatform());
}

// An executable starts in its own folder, and a file URL names exactly the
// file whose decoded text it carries ('#' and '?' included); an installer is
// opened, and the loop ends after it had its moment.
TEST_F(BridgeShell, ExecutablesRunInTheirFolderAndTheInstallerEndsTheLoop)
{
    const QString written = m_tmp.filePath(QStringLiteral("probe.out"));
    const auto makeProbe = [&](const QString &folderName, const QString &fileName) {
        QDir(m_tmp.path()).mkpath(folderName);
        const QString path = QDir(m_tmp.filePath(folderName)).filePath(fileName);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("#!/bin/sh\n{ pwd; basename \"$0\"; } > '%1.tmp' && mv '%1.tmp' '%1'\n")
                       .arg(written)
                       .toUtf8());
        file.close();
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
        return path;
    };
    const QString probe = makeProbe(QStringLiteral("probe dir"), QStringLiteral("probe"));
    // What the texts below name when cut at '#' or '?'.
    makeProbe(QStringLiteral("."), QStringLiteral("a"));
    const QString root = QDir(m_tmp.path()).canonicalPath();

    const auto ranIn = [&]() -> QString {
        if (!QTest::qWaitFor([&] { return QFile::exists(written); }, 10000))
            return QStringLiteral("(did not run)");
        QFile out(written);
        const QString text = out.open(QIODevice::ReadOnly) ? QString::fromUtf8(out.readAll()).trimmed() : QString();
        QFile::remove(written);
        return QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
    };
    const struct {
        QString text;
        QString ran; // folder and file name
    } cases[] = {
        {QUrl::fromLocalFile(probe).toString(), root + "/probe dir probe"},
        {probe, root + "/probe dir probe"},
        {"file://" + makeProbe(QStringLiteral("a#b"), QStringLiteral("run")), root + "/a#b run"},
        {"file://" + makeProbe(QStringLiteral("."), QStringLiteral("a?x=1")), root + " a?x=1"},
        {"file://" + QString(probe).replace(QLatin1String(" "), QLatin1String("%20")), root + "/probe dir probe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_TRUE(m_bridge.openApplication(c.text));
        EXPECT_EQ(ranIn().toStdString(), c.ran.toStdString());
        EXPECT_TRUE(m_sink.opened.isEmpty()) << "an executable is started, not opened";
    }

    // An installer is what the program downloaded, opened by the desktop's
    // handler: never run as a program, from anywhere else not at all.
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_tmp.filePath(QStringLiteral("cache"))));
    clearLines();
    EXPECT_FALSE(m_bridge.installFile(probe));
    EXPECT_GE(find(QStringLiteral("SystemBridge::installFile 安装文件不在下载目录中:"), 0, QtWarningMsg), 0);
    const QString installer = QDir(downloads::folder()).filePath(QStringLiteral("update_install_1.sh"));
    ASSERT_TRUE(QFile::copy(probe, installer));
    const QFileDevice::Permissions permissions = QFile::permissions(installer);
    m_sink.opened.clear();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(m_bridge.installFile(installer));
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_GE(clock.elapsed(), 200);
    EXPECT_EQ(m_sink.opened, QStringList{QUrl::fromLocalFile(installer).toString()});
    EXPECT_EQ(QFile::permissions(installer), permissions);
    EXPECT_FALSE(QTest::qWaitFor([&] { return QFile::exists(written); }, 300)) << "the installer ran as a program";
    qputenv("XDG_CACHE_HOME", savedCache);
}

// An installed application starts as its desktop entry says: the whole
// command line (wrappers, quoting, escapes, field codes undone), in a
// terminal when it asks for one, from the entry that stands for its id now.
// Hidden entries, missing programs and entries outside the applications
// folders start nothing and say so.
TEST_F(BridgeShell, DesktopEntriesStartAsTheirEntrySays)
{
    const QDir root(m_tmp.path());
    const QString ran = root.filePath(QStringLiteral("ran"));
    ASSERT_TRUE(root.mkpath(QStringLiteral("ran")) && root.mkpath(QStringLiteral("bin")));
    const auto write = [](const QString &path, const QByteArray &text) { writeFile(path, text, true); };
    // Writes its name, its tag and its arguments, one a line.
    const QString probe = root.filePath(QStringLiteral("bin/probe"));
    write(probe, "#!/bin/sh\n{ basename \"$0\"; echo \"tag=$VELORAN_PROBE_TAG\"; for a; do echo \"$a\"; done; }"
                 " > \"$VELORAN_PROBE_OUT/.$$\" && mv \"$VELORAN_PROBE_OUT/.$$\" \"$VELORAN_PROBE_OUT/$$\"\n");
    // Whichever terminal the desktop looks for first.
    for (const char *terminal : {"x-terminal-emulator", "gnome-terminal", "mate-terminal", "xfce4-terminal", "tilix",
                                 "konsole", "nxterm", "color-xterm", "rxvt", "dtterm", "xterm", "kgx", "lxterminal",
                                 "terminator", "urxvt", "alacritty", "kitty", "foot", "qterminal", "terminology"})
        ASSERT_TRUE(QFile::link(probe, root.filePath(QStringLiteral("bin/")) + QLatin1String(terminal)));
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(root.filePath(QStringLiteral("bin"))) + ':' + savedPath);
    qputenv("VELORAN_PROBE_OUT", QFile::encodeName(ran));

    const QString user = root.filePath(QStringLiteral("user/applications/"));
    const QString system = root.filePath(QStringLiteral("system/applications/"));
    const QByteArray head = "[Desktop Entry]\nType=Application\nName=Probe\n";
    write(user + "env.desktop", head + "Exec=env VELORAN_PROBE_TAG=env probe %U\n");
    write(user + "shell.desktop", head + "Exec=sh -c \"probe from-sh\"\n");
    write(user + "quoted.desktop", head + "Exec=\"" + QFile::encodeName(probe) + "\" \"two words\" 100%% \"a\\\\$b\" %f\n");
    write(user + "terminal.desktop", head + "Terminal=true\nExec=probe in-terminal\n");
    write(system + "shadowed.desktop", head + "Exec=probe system\n");
    write(user + "shadowed.desktop", head + "Exec=probe user\n");
    write(system + "sub/nested.desktop", head + "Exec=probe nested\n");
    write(user + "missing.desktop", head + "Exec=/no/such/program\n");
    write(root.filePath(QStringLiteral("bin/broken")), "#!/nonexistent/interp\n");
    write(user + "no-interpreter.desktop", head + "Exec=broken\n");
    write(user + "no-folder.desktop", head + "Path=/no/such/folder\nExec=probe no-folder\n");
    write(root.filePath(QStringLiteral("elsewhere/UPPER.DESKTOP")), head + "Exec=probe upper\n");
    write(user + "hidden.desktop", head + "Hidden=true\nExec=probe hidden\n");
    write(system + "hidden-by-user.desktop", head + "Exec=probe system\n");
    write(user + "hidden-by-user.desktop", head + "Hidden=true\nExec=probe user\n");
    write(root.filePath(QStringLiteral("elsewhere/outside.desktop")), head + "Exec=probe outside\n");
    m_world->setApplicationFolders(
        {QDir::cleanPath(user).toStdWString(), QDir::cleanPath(system).toStdWString()});

    const auto runs = [&]() -> QStringList {
        const QDir out(ran);
        if (!QTest::qWaitFor([&] { return !out.entryList(QDir::Files).isEmpty(); }, 10000))
            return {QStringLiteral("(nothing ran)")};
        const QString first = out.filePath(out.entryList(QDir::Files).first());
        QFile file(first);
        const QStringList lines = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n') : QStringList();
        file.remove();
        return lines.mid(0, lines.size() - 1);
    };
    const QString terminalRun = QStringLiteral("(a terminal) probe in-terminal");
    const struct {
        QString text;
        QStringList ran; // empty: refused
        const char *why = nullptr; // of a refusal
    } cases[] = {
        {user + "env.desktop", {"probe", "tag=env"}},
        {QUrl::fromLocalFile(user + "shell.desktop").toString(), {"probe", "tag=", "from-sh"}},
        {user + "quoted.desktop", {"probe", "tag=", "two words", "100%", "a$b"}},
        {user + "terminal.desktop", {terminalRun}},
        {system + "shadowed.desktop", {"probe", "tag=", "user"}},
        {system + "sub/nested.desktop", {"probe", "tag=", "nested"}},
        {user + "missing.desktop", {}, "its program is missing"},
        {user + "hidden.desktop", {}, "is hidden"},
        {system + "hidden-by-user.desktop", {}, "is hidden"},
        {root.filePath(QStringLiteral("elsewhere/outside.desktop")), {}, "not an entry"},
        {user + "../../elsewhere/outside.desktop", {}, "not an entry"},
        {root.filePath(QStringLiteral("elsewhere/UPPER.DESKTOP")), {}, "not an entry"},
        // GLib's helper would start, and fail to run it, unseen.
        {user + "no-interpreter.desktop", {}, "the interpreter /nonexistent/interp"},
        // GLib itself fails to start it.
        {user + "no-folder.desktop", {}, "/no/such/folder"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        clearLines();
        EXPECT_EQ(m_bridge.openApplication(c.text), !c.ran.isEmpty());
        if (c.ran.isEmpty()) {
            const int failed = find(QStringLiteral("Failed to open application:"), 0, QtWarningMsg);
            EXPECT_GE(failed, 0);
            EXPECT_GE(find(QString::fromUtf8(c.why), std::max(failed, 0), QtWarningMsg), 0) << c.why;
            continue;
        }
        QStringList lines = runs();
        // The terminal is told to run the program, in its own words.
        if (c.ran.first() == terminalRun && lines.size() > 2 && lines.first() != QLatin1String("probe")
            && lines.mid(lines.size() - 2) == QStringList{"probe", "in-terminal"})
            lines = QStringList{terminalRun};
        EXPECT_EQ(lines, c.ran);
    }
    EXPECT_TRUE(QDir(ran).entryList(QDir::Files).isEmpty()) << "nothing else ran";
    EXPECT_TRUE(m_sink.opened.isEmpty()) << "entries are started, never opened";
    qputenv("PATH", savedPath);
}

TEST_F(BridgeShell, QuitClosesTheDeviceStopsTheMonitorAndEndsTheLoopWithZero)
{
    m_bridge.startPowerEventMonitor();
    ASSERT_EQ(m_world->simPowerEvents().liveWindows(), 1);
    QTimer::singleShot(0, [&] { m_bridge.quitApplication(); });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(m_world->simPowerEvents().liveWindows(), 0);
    EXPECT_GE(find(QStringLiteral("HIDHotplugManager::stopAndDisconnectDevice 停止监测并断开设备")), 0);
}

} // namespace

#include "BridgeShellTest.moc"
