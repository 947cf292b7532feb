// GLib's headers first: they use Qt's keyword "signals" as a name.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "platform/os/linux/DesktopEntries.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <memory>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace os::desktop {

namespace {

constexpr qint64 kMaxEntryBytes = 1024 * 1024;
constexpr qint64 kMaxIconBytes = 8 * 1024 * 1024;
// Deep enough for any menu layout, short of a loop of linked folders.
constexpr int kMaxFolderDepth = 8;
constexpr int kIconThemeDepth = 4;
constexpr int kWantedIconSide = 128;

template <class T, void (*Free)(T *)>
struct Deleter {
    void operator()(T *p) const { Free(p); }
};
using KeyFile = std::unique_ptr<GKeyFile, Deleter<GKeyFile, g_key_file_free>>;
using ErrorPtr = std::unique_ptr<GError, Deleter<GError, g_error_free>>;
void unrefObject(GDesktopAppInfo *info) { g_object_unref(info); }
using AppInfo = std::unique_ptr<GDesktopAppInfo, Deleter<GDesktopAppInfo, unrefObject>>;

// A descriptor of the regular file, opened without waiting on a pipe or
// acting on a device: looked at before it is opened, and again after, as it
// may have been swapped meanwhile. -1 when it is none.
int openRegularFile(const QByteArray &name, struct stat *info)
{
    if (::stat(name.constData(), info) != 0 || !S_ISREG(info->st_mode))
        return -1;
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Up to size bytes, fewer only at the end of the file; -1 on an error.
qsizetype readFully(int fd, char *data, qsizetype size)
{
    qsizetype total = 0;
    while (total < size) {
        const ssize_t got = ::read(fd, data + total, size_t(size - total));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

// Desktop-file id -> entry, the first folder's winning, as GLib masks them.
using EntryFiles = QMap<QString, QString>;

void collectEntryFiles(const QString &folder, const QString &prefix, int depth, EntryFiles &out)
{
    if (depth > kMaxFolderDepth)
        return;
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &entry : entries) {
        if (entry.fileName().endsWith(QLatin1String(".desktop")) && !entry.isDir()) {
            const QString id = prefix + entry.fileName();
            if (!out.contains(id))
                out.insert(id, entry.absoluteFilePath());
        } else if (entry.isDir()) {
            collectEntryFiles(entry.absoluteFilePath(), prefix + entry.fileName() + QLatin1Char('-'), depth + 1, out);
        }
    }
}

EntryFiles entryFiles(const QStringList &dataFolders)
{
    EntryFiles files;
    for (const QString &folder : applicationFolders(dataFolders))
        collectEntryFiles(folder, QString(), 0, files);
    return files;
}

// The entry as GLib loads it; null when GLib refuses it (not an
// application, TryExec or Exec program not found) or it cannot be read.
// Read from its bytes it has no file name, so GLib starts its Exec line
// itself rather than asking the session bus to, whose answer it never waits
// for: a start is then reported only when it happened.
AppInfo loadEntry(const QString &path)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, kMaxEntryBytes);
    if (!bytes)
        return nullptr;
    KeyFile keys(g_key_file_new());
    if (!g_key_file_load_from_data(keys.get(), bytes->constData(), gsize(bytes->size()), G_KEY_FILE_NONE, nullptr))
        return nullptr;
    return AppInfo(g_desktop_app_info_new_from_keyfile(keys.get()));
}

// A themed icon's name, or (through file) the picture an entry names by path.
QString iconOf(GDesktopAppInfo *info, QString *file)
{
    GIcon *icon = g_app_info_get_icon(G_APP_INFO(info));
    if (icon && G_IS_FILE_ICON(icon)) {
        gchar *path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
        *file = path ? QString::fromLocal8Bit(path) : QString();
        g_free(path);
        return {};
    }
    if (icon && G_IS_THEMED_ICON(icon)) {
        const gchar *const *names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        if (names && names[0])
            return QString::fromUtf8(names[0]);
    }
    return {};
}

// The pictures of named icons in the icon themes: per name, the first
// theme's best size for a 128 px picture (128 itself, then scalable, then
// the nearest larger, then the nearest smaller), else the pixmaps folders.
class IconFinder
{
public:
    IconFinder(const QStringList &dataFolders, const QStringList &themes, const QSet<QString> &wanted)
    {
        QStringList bases{QDir::homePath() + QStringLiteral("/.icons")};
        for (const QString &data : dataFolders)
            bases.append(data + QStringLiteral("/icons"));
        QStringList order = themes;
        order.append(QStringLiteral("hicolor"));
        order.removeDuplicates();
        order.removeAll(QString());
        for (int rank = 0; rank < order.size(); ++rank)
            for (const QString &base : bases)
                walk(base + QLatin1Char('/') + order[rank], rank, kNoSize, 0, wanted);
        for (const QString &name : wanted)
            if (!m_best.contains(name))
                if (const QString path = pixmap(dataFolders, name); !path.isEmpty())
                    m_best.insert(name, {0, 0, path});
    }

    QString find(const QString &name) const { return m_best.value(name).path; }

private:
    static constexpr int kNoSize = -1;
    static constexpr int kScalable = 0;

    struct Candidate {
        int rank = 0;
        int fit = 0; // smaller is better
        QString path;
    };

    static QString pixmap(const QStringList &dataFolders, const QString &name)
    {
        for (const QString &data : dataFolders)
            for (const char *suffix : {".png", ".svg", ".svgz", ".xpm"}) {
                const QString path = data + QStringLiteral("/pixmaps/") + name + QLatin1String(suffix);
                if (QFileInfo(path).isFile())
                    return path;
            }
        return {};
    }

    static int fit(int size)
    {
        if (size == kWantedIconSide)
            return 0;
        if (size == kScalable)
            return 1;
        if (size > kWantedIconSide)
            return 2 + (size - kWantedIconSide);
        if (size > 0)
            return 100000 + (kWantedIconSide - size);
        return 200000;
    }

    // "48x48", "48", "48x48@2x", "48@2": a size; "scalable": any size.
    static int folderSize(const QString &name, int inherited)
    {
        static const QRegularExpression kSize(QStringLiteral("^(\\d+)(?:x(\\d+))?(?:@(\\d+)x?)?$"));
        if (name == QLatin1String("scalable"))
            return kScalable;
        const QRegularExpressionMatch match = kSize.match(name);
        if (!match.hasMatch())
            return inherited;
        const int scale = match.captured(3).isEmpty() ? 1 : std::max(1, match.captured(3).toInt());
        return std::min(match.captured(1).toInt(), 4096) * scale;
    }

    void walk(const QString &folder, int rank, int size, int depth, const QSet<QString> &wanted)
    {
        if (depth > kIconThemeDepth)
            return;
        const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo &entry : entries) {
            if (entry.isDir()) {
                walk(entry.absoluteFilePath(), rank, folderSize(entry.fileName(), size), depth + 1, wanted);
                continue;
            }
            const QString suffix = entry.suffix();
            if (suffix != QLatin1String("png") && suffix != QLatin1String("svg") && suffix != QLatin1String("svgz")
                && suffix != QLatin1String("xpm"))
                continue;
            const QString name = entry.completeBaseName();
            if (!wanted.contains(name))
                continue;
            const Candidate candidate{rank, fit(size), entry.absoluteFilePath()};
            const auto it = m_best.constFind(name);
            if (it == m_best.cend() || std::pair(candidate.rank, candidate.fit) < std::pair(it->rank, it->fit))
                m_best.insert(name, candidate);
        }
    }

    QHash<QString, Candidate> m_best;
};

// The program file the entry's command line starts, as GLib finds it.
QString programOf(GDesktopAppInfo *info)
{
    const char *command = g_app_info_get_commandline(G_APP_INFO(info));
    gint argc = 0;
    gchar **argv = nullptr;
    if (!command || !g_shell_parse_argv(command, &argc, &argv, nullptr))
        return {};
    gchar *found = g_find_program_in_path(argv[0]);
    const QString program = found ? QString::fromLocal8Bit(found) : QString::fromLocal8Bit(argv[0]);
    g_free(found);
    g_strfreev(argv);
    return program;
}

// Why the kernel would refuse to run the program; empty when it would not.
// GLib runs the command through a helper of its own whose failed exec it
// never hears of, so a script whose interpreter is missing would count as
// started. Scripts may name scripts, as deep as the kernel follows them.
QString whyNotRunnable(const QString &program, int depth = 0)
{
    constexpr int kMaxScriptDepth = 4;
    constexpr qsizetype kHeadBytes = 256; // all the kernel reads of a "#!" line
    const QByteArray name = QFile::encodeName(program);
    struct stat info {};
    const int fd = program.isEmpty() || ::access(name.constData(), X_OK) != 0 ? -1 : openRegularFile(name, &info);
    if (fd < 0)
        return QStringLiteral("%1 cannot be executed").arg(program);
    QByteArray head(kHeadBytes, Qt::Uninitialized);
    const qsizetype got = readFully(fd, head.data(), head.size());
    ::close(fd);
    head.truncate(std::max<qsizetype>(got, 0));
    if (!head.startsWith("#!"))
        return {};
    const qsizetype end = head.indexOf('\n');
    const QByteArray line = (end < 0 ? head : head.left(end)).mid(2).simplified();
    const QByteArray interpreter = line.split(' ').constFirst();
    // No interpreter at all: the shell runs it, as it runs any text file.
    if (interpreter.isEmpty())
        return {};
    if (depth >= kMaxScriptDepth)
        return QStringLiteral("%1 names interpreters too deep").arg(program);
    const QString path = QFile::decodeName(interpreter);
    if (!whyNotRunnable(path, depth + 1).isEmpty())
        return QStringLiteral("the interpreter %1 of %2 cannot be executed").arg(path, program);
    return {};
}

} // namespace

QStringList applicationFolders(const QStringList &dataFolders)
{
    QStringList folders;
    for (const QString &data : dataFolders)
        folders.append(QDir::cleanPath(data + QStringLiteral("/applications")));
    return folders;
}

std::vector<Application> shownApplications(const QStringList &dataFolders, const QStringList &iconThemes,
                                           const std::atomic<bool> *cancelled)
{
    std::vector<Application> apps;
    QStringList themedIcons; // one per application, empty where it names a file or nothing
    const EntryFiles files = entryFiles(dataFolders);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            return apps;
        const AppInfo info = loadEntry(it.value());
        if (!info || g_desktop_app_info_get_is_hidden(info.get()) || !g_app_info_should_show(G_APP_INFO(info.get())))
            continue;
        Application app{it.key(), it.value(), QString::fromUtf8(g_app_info_get_name(G_APP_INFO(info.get()))), {}};
        themedIcons.append(iconOf(info.get(), &app.iconFile));
        apps.push_back(std::move(app));
    }

    const IconFinder icons(dataFolders, iconThemes, QSet<QString>(themedIcons.cbegin(), themedIcons.cend()));
    for (size_t i = 0; i < apps.size(); ++i)
        if (!themedIcons[qsizetype(i)].isEmpty())
            apps[i].iconFile = icons.find(themedIcons[qsizetype(i)]);

    std::stable_sort(apps.begin(), apps.end(), [](const Application &a, const Application &b) {
        const int order = a.name.compare(b.name, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a.id < b.id;
    });
    return apps;
}

bool launch(const QString &entryPath, const QStringList &dataFolders, QString *why)
{
    const auto refuse = [why](const QString &reason) {
        if (why)
            *why = reason;
        return false;
    };
    if (!QFileInfo(entryPath).isAbsolute())
        return refuse(QStringLiteral("not an absolute path"));
    const QString path = QDir::cleanPath(entryPath);
    QString id;
    for (const QString &folder : applicationFolders(dataFolders))
        if (path.startsWith(folder + QLatin1Char('/'))) {
            id = path.mid(folder.size() + 1).replace(QLatin1Char('/'), QLatin1Char('-'));
            break;
        }
    if (id.isEmpty() || !id.endsWith(QLatin1String(".desktop")))
        return refuse(QStringLiteral("not an entry of the applications folders"));
    // The entry that stands for the id now: a user's copy may have come,
    // or hidden it, since it was listed.
    const QString current = entryFiles(dataFolders).value(id);
    if (current.isEmpty())
        return refuse(QStringLiteral("no entry %1 is installed").arg(id));
    const AppInfo info = loadEntry(current);
    if (!info)
        return refuse(QStringLiteral("%1 cannot be read or its program is missing").arg(current));
    if (g_desktop_app_info_get_is_hidden(info.get()))
        return refuse(QStringLiteral("%1 is hidden").arg(current));
    if (const QString why = whyNotRunnable(programOf(info.get())); !why.isEmpty())
        return refuse(why);
    GError *error = nullptr;
    if (!g_app_info_launch(G_APP_INFO(info.get()), nullptr, nullptr, &error)) {
        const ErrorPtr owned(error);
        return refuse(owned ? QString::fromUtf8(owned->message) : QStringLiteral("the program did not start"));
    }
    return true;
}

std::optional<QByteArray> readRegularFile(const QString &path, qint64 maxBytes)
{
    struct stat info {};
    const int fd = openRegularFile(QFile::encodeName(path), &info);
    if (fd < 0 || info.st_size > maxBytes) {
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    // One byte more than it says it holds, to tell a file that grew.
    QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    const qsizetype total = readFully(fd, bytes.data(), bytes.size());
    ::close(fd);
    if (total < 0 || total > info.st_size)
        return std::nullopt;
    bytes.truncate(total);
    return bytes;
}

QImage readIconFile(const QString &path, int side)
{
    const std::optional<QByteArray> bytes = readRegularFile(path, kMaxIconBytes);
    if (!bytes)
        return {};
    QBuffer buffer;
    buffer.setData(*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QFileInfo(path).suffix().toLatin1());
    reader.setDecideFormatFromContent(true);
    const QSize box(side, side);
    // Drawings are drawn at the size wanted, never scaled up from their own.
    if (reader.supportsOption(QImageIOHandler::ScaledSize) && reader.size().isValid())
        reader.setScaledSize(reader.size().scaled(box, Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace os::desktop
