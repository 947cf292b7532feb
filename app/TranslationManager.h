#pragma once

#include <QLocale>
#include <QObject>
#include <QStringList>

class QGuiApplication;
class QQmlEngine;
class QTranslator;
class SettingsManager;

// Chooses the interface language, installs its translators and asks the QML
// engine to re-evaluate every translated text when the user picks another.
class TranslationManager : public QObject
{
    Q_OBJECT
public:
    // What the operating system says about its interface languages; tests
    // inject their own instead of reading the machine's.
    struct SystemLanguages {
        QStringList uiLanguages; // tags written with "-", in preference order
        QLocale::Language language = QLocale::AnyLanguage;
        QLocale::Territory territory = QLocale::AnyTerritory;

        static SystemLanguages fromSystem();
    };

    static TranslationManager *instance();

    // Tests create their own managers over their own settings.
    TranslationManager(SettingsManager *settings, const SystemLanguages &system, QObject *parent = nullptr);

    // Keeps the engine and installs the current language's translators.
    void setEngine(QQmlEngine *engine);

    static QString detectLanguage(const SystemLanguages &system);
    static const QStringList &languageCodes();

    Q_INVOKABLE void setLanguage(const QString &languageCode);
    Q_INVOKABLE void setLanguageIndex(int index);
    Q_INVOKABLE QString getCurrentLanguage() const;
    Q_INVOKABLE int getCurrentLanguageIndex() const;
    Q_INVOKABLE QStringList getAvailableLanguages() const;

signals:
    void languageChanged(const QString &languageCode);

private:
    bool loadLanguage(const QString &languageCode);
    void removeTranslators();

    QTranslator *m_appTranslator = nullptr;
    QTranslator *m_qtTranslator = nullptr;
    QGuiApplication *m_app = nullptr;
    QQmlEngine *m_engine = nullptr;
    SettingsManager *m_settings = nullptr;
    QString m_currentLanguage = QStringLiteral("zh_CN");
};
