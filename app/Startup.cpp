#include "app/Startup.h"

#include "app/DataTrackerManager.h"
#include "app/NetworkManager.h"
#include "app/SettingsManager.h"
#include "app/TranslationManager.h"

#include <QGuiApplication>
#include <QQuickStyle>

namespace Startup {

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(53, 53, 53, 255));
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, QColor(25, 25, 25, 255));
    palette.setColor(QPalette::AlternateBase, QColor(53, 53, 53, 255));
    palette.setColor(QPalette::ToolTipBase, Qt::white);
    palette.setColor(QPalette::ToolTipText, Qt::white);
    palette.setColor(QPalette::Text, Qt::white);
    palette.setColor(QPalette::Button, QColor(53, 53, 53, 255));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Link, QColor(42, 130, 218, 255));
    palette.setColor(QPalette::Highlight, QColor(42, 130, 218, 255));
    palette.setColor(QPalette::HighlightedText, Qt::black);
    return palette;
}

void applyDarkLook(QGuiApplication &app)
{
    QQuickStyle::setStyle(QStringLiteral("Material"));
    QGuiApplication::setPalette(darkPalette());
    app.setProperty("darkMode", true);
    // Qt 6.4 has no style-hint colour scheme; the Material dark theme comes
    // from the bundled qtquickcontrols2.conf instead.
}

void registerCoreSingletons()
{
    registerSingleton<SettingsManager>("VeloranDeckSettings", "SettingsManager");
    registerSingleton<DataTrackerManager>("VeloranDeckTracker", "DataTrackerManager");
    registerSingleton<NetworkManager>("VeloranDeckNetwork", "NetworkManager");
    registerSingleton<TranslationManager>("VeloranDeckTranslation", "TranslationManager");
}

} // namespace Startup
