#pragma once

#include "CallRecorder.h"

#include <QUrl>

// Takes every http, https and file address the interface opens through
// QDesktopServices (Qt.openUrlExternally), instead of a browser:
// callsTo("openUrl") gives [[address text], ...], fully percent-encoded.
class UrlRecorder : public CallRecorder
{
    Q_OBJECT
public:
    explicit UrlRecorder(QObject *parent = nullptr);

public slots:
    void openUrl(const QUrl &url);
};
