#pragma once
// The applications of the XDG desktop entries, read and started through
// GLib's own desktop-entry support, as desktop menus show and start them.
// The folders are walked here only so that nothing but regular files of a
// sane size is ever opened: GLib opens whatever it finds, and a named pipe
// among the entries would block it for good.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <vector>

namespace os::desktop {

// One application a desktop menu shows.
struct Application {
    QString id;       // desktop-file id: the path below its "applications" folder, '/' made '-'
    QString file;     // absolute path of the entry
    QString name;     // the Name key in the user's language (LANGUAGE, LC_ALL, LC_MESSAGES, LANG)
    QString iconFile; // the picture its Icon key names, empty when none is found
};

// The "applications" folders of the data folders (the user's first), as
// desktops search them.
QStringList applicationFolders(const QStringList &dataFolders);

// Every application a menu shows from these data folders, sorted by name:
// for each desktop-file id the entry of the first folder that has one
// (a user's entry, even a hidden or broken one, hides the system's), less
// the hidden, NoDisplay, OnlyShowIn/NotShowIn and TryExec/Exec-missing ones.
// Icons are looked up in iconThemes, then "hicolor", then the pixmaps
// folders. Any thread; stops early, with what it has, once cancelled.
std::vector<Application> shownApplications(const QStringList &dataFolders, const QStringList &iconThemes,
                                           const std::atomic<bool> *cancelled = nullptr);

// Starts the application of the entry at path as the desktop does (its
// whole command line, field codes, a terminal for Terminal=true), taking
// the entry that now stands for its desktop-file id. The path must be an
// entry of one of the data folders' "applications" folders. False, with
// why, when it is not, when the entry is hidden or its program missing,
// or when the program could not be started (a script whose interpreter is
// missing among them).
bool launch(const QString &entryPath, const QStringList &dataFolders, QString *why);

// The whole content of a regular file of at most maxBytes; nothing for a
// pipe, device, folder or larger file, and no wait on any of them.
std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes);

// The picture of an image file (PNG, SVG, SVGZ, XPM, ...); drawings are
// drawn to fit a square of the given side. A null image when it cannot be read.
QImage readIconFile(const QString &path, int side);

} // namespace os::desktop
