// The bridge over the Linux desktop services: keys reaching an X11 window
// through the X Test extension, and power events from a login manager on a
// private bus.
#include "BridgeTestSupport.h"

#include "bridge/SystemBridge.h"
#include "platform/os/linux/LinuxPlatform.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#undef Bool // Xlib's, in the way of the meta-object code

#include <atomic>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A program the test starts and ends; its first line of output, once it
// wrote one. Started by a plain fork: a child sharing the test's memory
// until it runs the program would leave ThreadSanitizer refusing every
// thread started afterwards.
struct Helper {
    pid_t pid = -1;
    QString firstLine(std::vector<std::string> command)
    {
        std::vector<char *> argv;
        for (std::string &word : command)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe(out) != 0)
            return {};
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM); // gone with the test, even one that crashed
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        QByteArray line;
        pollfd reader{out[0], POLLIN, 0};
        char c = 0;
        while (pid > 0 && poll(&reader, 1, 10000) == 1 && read(out[0], &c, 1) == 1 && c != '\n')
            line.append(c);
        close(out[0]);
        return c == '\n' ? QString::fromUtf8(line) : QString();
    }
    ~Helper()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

class LinuxDesktop : public BridgeTest
{
protected:
    void install(os::LinuxPlatform::Options options)
    {
        os::installPlatform(std::make_shared<os::LinuxPlatform>(m_world, std::move(options)));
    }

    SystemBridge m_bridge{SystemBridge::Options{}};
    QTemporaryDir m_tmp;
};

// A window of a virtual X server, focused, that reports the keys it gets
// as "<key symbol> down|up".
class KeyWindow
{
public:
    explicit KeyWindow(const std::string &displayName)
        : m_display(XOpenDisplay(displayName.c_str()))
    {
        if (!m_display)
            return;
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, 100, 100, 0, 0, 0);
        XSelectInput(m_display, m_window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(m_display, m_window);
        XEvent event;
        do
            XNextEvent(m_display, &event);
        while (event.type != MapNotify);
        XSetInputFocus(m_display, m_window, RevertToParent, CurrentTime);
        XSync(m_display, False);
    }
    ~KeyWindow()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool isOpen() const { return m_display != nullptr; }

    // The next count keys, waiting up to waitMs for them.
    QStringList keys(int count, int waitMs = 5000)
    {
        QStringList keys;
        for (int waited = 0; keys.size() < count && waited < waitMs;) {
            if (!XPending(m_display)) {
                QThread::msleep(5);
                waited += 5;
                continue;
            }
            XEvent event;
            XNextEvent(m_display, &event);
            if (event.type != KeyPress && event.type != KeyRelease)
                continue;
            const char *name = XKeysymToString(XLookupKeysym(&event.xkey, 0));
            keys.append(QString::fromLatin1(name ? name : "?") + (event.type == KeyPress ? " down" : " up"));
        }
        return keys;
    }

private:
    Display *m_display = nullptr;
    Window m_window = 0;
};

TEST_F(LinuxDesktop, KeyCombinationsReachTheFocusedX11WindowAndOffscreenSendsNone)
{
    Helper xvfb;
    const QString number = xvfb.firstLine({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"});
    ASSERT_FALSE(number.isEmpty()) << "Xvfb did not start";
    const std::string display = ":" + number.toStdString();
    KeyWindow window(display);
    ASSERT_TRUE(window.isOpen());
    install({display, {}});

    // What the window sees for Ctrl and one key.
    const auto withControl = [](const char *key) {
        const QString k = QString::fromLatin1(key);
        return QStringList{"Control_L down", k + " down", k + " up", "Control_L up"};
    };
    const struct {
        const char *hotkey;
        QStringList keys;
    } cases[] = {
        {"Ctrl+A", withControl("a")},
        {"Shift+Tab", {"Shift_L down", "Tab down", "Tab up", "Shift_L up"}},
        {"Ctrl+Alt+Delete", {"Control_L down", "Alt_L down", "Delete down", "Delete up", "Control_L up", "Alt_L up"}},
        // Letters, digits and function keys are ranges of codes: both ends of each.
        {"Meta+Shift+Z", {"Super_L down", "Shift_L down", "z down", "z up", "Super_L up", "Shift_L up"}},
        {"Ctrl+0", withControl("0")},
        {"Ctrl+9", withControl("9")},
        {"Alt+F1", {"Alt_L down", "F1 down", "F1 up", "Alt_L up"}},
        {"F12", {"F12 down", "F12 up"}},
        {"Ctrl+PageDown", withControl("Next")},
        {"Ctrl+Minus", withControl("minus")},
        {"Ctrl+=", withControl("equal")},
        {"Ctrl+[", withControl("bracketleft")},
        {"Ctrl+]", withControl("bracketright")},
        {"Ctrl+\\", withControl("backslash")},
        {"Ctrl+;", withControl("semicolon")},
        {"Ctrl+'", withControl("apostrophe")},
        {"Ctrl+,", withControl("comma")},
        {"Ctrl+.", withControl("period")},
        {"Ctrl+/", withControl("slash")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.hotkey);
        EXPECT_TRUE(m_bridge.simulateKeyPress(QString::fromLatin1(c.hotkey)));
        EXPECT_EQ(window.keys(int(c.keys.size())), c.keys);
    }
    EXPECT_EQ(window.keys(1, 200), QStringList()) << "nothing more";

    // Offscreen there is no X11 display, even with one inherited: nothing is
    // sent, and the bridge says so.
    qputenv("DISPLAY", display.c_str());
    install(os::LinuxPlatform::Options::fromEnvironment());
    clearLines();
    EXPECT_FALSE(m_bridge.simulateKeyPress(QStringLiteral("Ctrl+A")));
    EXPECT_GE(find(QStringLiteral("Failed to simulate key press, SendInput returned: 0 expected: 4"), 0, QtWarningMsg), 0);
    EXPECT_GE(find(QStringLiteral("[Keys] no X11 display"), 0, QtWarningMsg), 0);
    EXPECT_EQ(window.keys(1, 200), QStringList());
}

// The login manager as systemd-logind offers it, reduced to its signal.
class StandInLoginManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
signals:
    void PrepareForSleep(bool start);
};

TEST_F(LinuxDesktop, LoginManagerSleepAndDisplayPowerReachTheGuiThreadOnceEach)
{
    // The bus is there from the start; the platform looks for it under
    // another name, which appears later.
    const QString daemonAddress = QStringLiteral("unix:path=") + m_tmp.filePath(QStringLiteral("daemon-bus"));
    QFile config(m_tmp.filePath(QStringLiteral("bus.conf")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("<busconfig><type>session</type><listen>%1</listen><auth>EXTERNAL</auth>"
                                "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                                "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                     .arg(daemonAddress)
                     .toUtf8());
    config.close();
    Helper daemon;
    ASSERT_FALSE(
        daemon.firstLine({"dbus-daemon", "--nofork", "--print-address=1", "--config-file", config.fileName().toStdString()})
            .isEmpty());

    const QString socket = m_tmp.filePath(QStringLiteral("bus"));
    std::atomic<int> display{1}; // 1 on, 0 off, -1 no answer
    os::LinuxPlatform::Options options;
    options.power.busAddress = QStringLiteral("unix:path=") + socket;
    options.power.pollMs = 20;
    options.power.displayOn = [&display]() -> std::optional<bool> {
        const int state = display.load();
        return state < 0 ? std::nullopt : std::optional<bool>(state == 1);
    };
    install(options);

    // No bus yet: the start fails the usual way and leaves the flag clear.
    m_bridge.startPowerEventMonitor();
    EXPECT_GE(find(QStringLiteral("SystemBridge::startPowerEventMonitor 无法启动 Windows 监控"), 0, QtWarningMsg), 0);
    EXPECT_GE(find(QStringLiteral("[PowerEvents] no system bus"), 0, QtWarningMsg), 0);
    ASSERT_TRUE(QFile::link(m_tmp.filePath(QStringLiteral("daemon-bus")), socket));

    StandInLoginManager login;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(daemonAddress, QStringLiteral("stand-in"));
        ASSERT_TRUE(bus.isConnected());
        ASSERT_TRUE(bus.registerService(QStringLiteral("org.freedesktop.login1")));
        ASSERT_TRUE(bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &login,
                                       QDBusConnection::ExportAllSignals));
    }

    QList<bool> reports;
    bool offGuiThread = false;
    QObject::connect(&m_bridge, &SystemBridge::screenPowerStateChanged, &m_bridge, [&](bool on) {
        reports.append(on);
        offGuiThread = offGuiThread || QThread::currentThread() != QCoreApplication::instance()->thread();
    }, Qt::DirectConnection);

    clearLines();
    m_bridge.startPowerEventMonitor(); // tried again
    EXPECT_EQ(find(QStringLiteral("无法启动"), 0, QtWarningMsg), -1);

    const struct {
        const char *what;
        std::function<void()> act;
        QList<bool> reportsSoFar;
    } steps[] = {
        {"sleep", [&] { emit login.PrepareForSleep(true); }, {false}},
        {"sleep again", [&] { emit login.PrepareForSleep(true); }, {false}},
        {"wake", [&] { emit login.PrepareForSleep(false); }, {false, true}},
        {"display off", [&] { display = 0; }, {false, true, false}},
        {"no answer", [&] { display = -1; }, {false, true, false}},
        {"display on", [&] { display = 1; }, {false, true, false, true}},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        // Long enough for a second report to arrive as well, if one came.
        eventually([&] { return reports.size() > step.reportsSoFar.size(); }, 300);
        EXPECT_EQ(reports, step.reportsSoFar);
    }
    EXPECT_FALSE(offGuiThread);

    m_bridge.stopPowerEventMonitor();
    QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
}

} // namespace

#include "BridgeLinuxDesktopTest.moc"
