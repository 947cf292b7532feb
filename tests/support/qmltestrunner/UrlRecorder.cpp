#include "UrlRecorder.h"

#include <QDesktopServices>

UrlRecorder::UrlRecorder(QObject *parent)
    : CallRecorder(parent)
{
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "openUrl");
}

void UrlRecorder::openUrl(const QUrl &url)
{
    record(QStringLiteral("openUrl"), {url.toString(QUrl::FullyEncoded)});
}
