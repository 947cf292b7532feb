#include "bridge/ShellActions.h"

#include "bridge/RunningApps.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/linux/DesktopEntries.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QProcess>
#include <QStringList>
#include <QUrl>
#include <QWindow>

#include <exception>
#include <optional>
#include <vector>

namespace {

// Modifier names, compared ignoring case. "Control" is the Windows key.
std::optional<std::uint16_t> modifierCode(const QString &name)
{
    static const struct {
        const char *name;
        std::uint16_t code;
    } kModifiers[] = {{"Ctrl", 17}, {"Command", 17}, {"Alt", 18}, {"Option", 18},
                      {"Shift", 16}, {"Meta", 91},    {"Control", 91}};
    for (const auto &m : kModifiers)
        if (name.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0)
            return m.code;
    return std::nullopt;
}

// Main keys of more than one character, compared exactly.
std::optional<std::uint16_t> namedKeyCode(const QString &name)
{
    static const struct {
        const char *name;
        std::uint16_t code;
    } kKeys[] = {{"F1", 112},       {"F2", 113},       {"F3", 114},    {"F4", 115},     {"F5", 116},
                 {"F6", 117},       {"F7", 118},       {"F8", 119},    {"F9", 120},     {"F10", 121},
                 {"F11", 122},      {"F12", 123},      {"Space", 32},  {"Enter", 13},   {"Return", 13},
                 {"Tab", 9},        {"Backspace", 8},  {"Delete", 46}, {"Insert", 45},  {"Home", 36},
                 {"End", 35},       {"PageUp", 33},    {"PageDown", 34}, {"Left", 37},  {"Right", 39},
                 {"Up", 38},        {"Down", 40},      {"Minus", 189}, {"Plus", 187},   {"Equal", 187},
                 {"Esc", 27},       {"Escape", 27}};
    for (const auto &k : kKeys)
        if (name == QLatin1String(k.name))
            return k.code;
    return std::nullopt;
}

// One character: letters and digits are their own code; the punctuation
// keys the hotkey recorder stores are the keyboard's OEM keys.
std::optional<std::uint16_t> characterKeyCode(QChar key)
{
    const QChar c = key.toUpper();
    if ((c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('0') && c <= QLatin1Char('9')))
        return c.unicode();
    static const struct {
        char key;
        std::uint16_t code;
    } kOem[] = {{'-', 189}, {'=', 187}, {'[', 219}, {']', 221}, {'\\', 220},
                {';', 186}, {'\'', 222}, {',', 188}, {'.', 190}, {'/', 191}};
    for (const auto &k : kOem)
        if (c == QLatin1Char(k.key))
            return k.code;
    return std::nullopt;
}

bool sendKeys(const QString &hotkey)
{
    std::vector<std::uint16_t> modifiers;
    QString mainKey;
    for (const QString &raw : hotkey.split(QLatin1Char('+'))) {
        const QString part = raw.trimmed();
        if (auto code = modifierCode(part))
            modifiers.push_back(*code);
        else
            mainKey = part; // the last one wins, empty ones too
    }
    if (mainKey.isEmpty()) {
        qWarning().noquote() << "No main key found in hotkey:" << hotkey;
        return false;
    }
    const std::optional<std::uint16_t> mainCode =
        mainKey.size() == 1 ? characterKeyCode(mainKey.front()) : namedKeyCode(mainKey);
    if (!mainCode) {
        qWarning().noquote() << "Unsupported key:" << mainKey;
        return false;
    }

    std::vector<os::KeyInput> inputs;
    for (std::uint16_t code : modifiers)
        inputs.push_back({code, 0, 0, 0, 0});
    inputs.push_back({*mainCode, 0, 0, 0, 0});
    inputs.push_back({*mainCode, 0, os::KEYEVENTF_KEYUP, 0, 0});
    // Released in the order pressed, not reversed.
    for (std::uint16_t code : modifiers)
        inputs.push_back({code, 0, os::KEYEVENTF_KEYUP, 0, 0});

    const std::uint32_t inserted = os::currentPlatform()->keyInjector().sendInput(inputs);
    if (inserted != inputs.size()) {
        qWarning().noquote() << "Failed to simulate key press, SendInput returned:" << inserted
                             << "expected:" << inputs.size();
        return false;
    }
    qDebug().noquote() << "Successfully simulated key press:" << hotkey;
    return true;
}

// The local path that application text names. A file URL loses its prefix
// and is percent-decoded as text, so '#' and '?' stay part of the name; the
// three-slash form keeps the root of this system's absolute paths.
QString applicationPath(const QString &text)
{
    QString rest;
    if (text.startsWith(QLatin1String("file:///")))
        rest = text.mid(8);
    else if (text.startsWith(QLatin1String("file://")))
        rest = text.mid(7);
    else
        return text;
    if (rest.isEmpty())
        return {};
    const QString decoded = QUrl::fromPercentEncoding(rest.toUtf8());
    return text.size() - rest.size() == 8 ? QLatin1Char('/') + decoded : decoded;
}

// Only an absolute address of a scheme a browser or mail program takes is
// handed on; anything else could reach the opener as an option or run as
// script.
bool isOpenableUrl(const QUrl &url)
{
    if (!url.isValid() || url.isRelative())
        return false;
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    if (scheme == QLatin1String("mailto"))
        return !url.path().isEmpty();
    if (scheme == QLatin1String("file"))
        return url.path().startsWith(QLatin1Char('/'));
    return false;
}

bool isDesktopEntryName(const QString &path)
{
    return path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive);
}

// A file the desktop's opener would run rather than show: a program, or a
// desktop entry by its name, its link's target or its content.
bool runsWhenOpened(const QString &path)
{
    const QFileInfo info(path);
    if (isDesktopEntryName(path) || isDesktopEntryName(info.canonicalFilePath()))
        return true;
    if (!info.isFile())
        return false;
    return info.isExecutable()
           || QMimeDatabase().mimeTypeForFile(info).inherits(QStringLiteral("application/x-desktop"));
}

// An installed application is started as its desktop entry says.
bool launchDesktopEntry(const QString &path)
{
    QString why;
    if (os::desktop::launch(path, installedDataFolders(), &why))
        return true;
    qWarning().noquote() << "Failed to open application:" << path << why;
    return false;
}

bool launch(const QString &path)
{
    if (isDesktopEntryName(path))
        return launchDesktopEntry(path);
    const QFileInfo info(path);
    if (info.isFile() && info.isExecutable()) {
        QProcess process;
        process.setProgram(info.absoluteFilePath());
        process.setWorkingDirectory(info.absolutePath());
        if (process.startDetached())
            return true;
        qWarning().noquote() << "Failed to open application, ShellExecute returned:" << 0
                             << "Error code:" << int(process.error()) << process.errorString();
        return false;
    }
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())))
        return true;
    qWarning().noquote() << "Failed to open application, ShellExecute returned:" << 0 << "Error code:" << 0;
    return false;
}

} // namespace

bool simulateWindowsKeyPress(const QString &hotkey)
{
    qDebug().noquote() << "simulateWindowsKeyPress() called with hotkey:" << hotkey;
    try {
        return sendKeys(hotkey);
    } catch (const std::exception &) {
        qWarning() << "Failed to simulate key press";
        return false;
    }
}

bool openWindowsApplication(const QString &text)
{
    qDebug().noquote() << "openWindowsApplication() called with path:" << text;
    try {
        const QString path = applicationPath(text);
        // A relative path would name whatever lies in the working folder.
        if (path.isEmpty() || !QFileInfo(path).isAbsolute()) {
            qWarning().noquote() << "Invalid application path:" << text;
            return false;
        }
        if (!QFileInfo::exists(path)) {
            qWarning().noquote() << "Application path does not exist:" << path;
            return false;
        }
        if (!launch(path))
            return false;
        qDebug().noquote() << "Successfully opened application:" << path;
        return true;
    } catch (const std::exception &) {
        qWarning() << "Failed to open application:";
        return false;
    }
}

bool openWindowsUrl(const QString &url)
{
    qDebug().noquote() << "Opening URL in Windows browser:" << url;
    try {
        const QUrl target(url.isEmpty() ? QStringLiteral("http://localhost") : url, QUrl::StrictMode);
        if (!isOpenableUrl(target)) {
            qWarning().noquote() << "Refused to open URL (not an absolute http, https, mailto or file address):" << url;
            return false;
        }
        if (target.isLocalFile() && runsWhenOpened(target.toLocalFile())) {
            qWarning().noquote() << "Refused to open URL (a program or desktop entry, which opening would run):" << url;
            return false;
        }
        if (!QDesktopServices::openUrl(target)) {
            qWarning().noquote() << "Failed to open URL, ShellExecute returned:" << 0;
            return false;
        }
        qDebug() << "Successfully opened URL in browser";
        return true;
    } catch (const std::exception &) {
        qWarning() << "Failed to open URL in Windows browser";
        return false;
    }
}

void closeWindowsAndExit()
{
    for (QWindow *window : QGuiApplication::topLevelWindows())
        if (window)
            window->close();
    QCoreApplication::exit(0);
}
