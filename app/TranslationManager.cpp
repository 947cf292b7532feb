#include "app/TranslationManager.h"

#include "app/SettingsManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QQmlEngine>
#include <QTranslator>

namespace {
const QString kLanguageKey = QStringLiteral("language");
const QString kResourceFolder = QStringLiteral(":/translations");
const QString kAppCatalogue = QStringLiteral("VeloranDeck_");
const QString kQtCatalogue = QStringLiteral("qt_");

QString codeForLocale(QLocale::Language language, QLocale::Territory territory)
{
    switch (language) {
    case QLocale::Chinese:
        return (territory == QLocale::Taiwan || territory == QLocale::HongKong) ? QStringLiteral("zh_TW")
                                                                                : QStringLiteral("zh_CN");
    case QLocale::English: return QStringLiteral("en_US");
    case QLocale::Japanese: return QStringLiteral("ja_JP");
    case QLocale::Russian: return QStringLiteral("ru_RU");
    case QLocale::German: return QStringLiteral("de_DE");
    case QLocale::French: return QStringLiteral("fr_FR");
    case QLocale::Spanish: return QStringLiteral("es_ES");
    case QLocale::Italian: return QStringLiteral("it_IT");
    default: return QStringLiteral("en_US");
    }
}
} // namespace

TranslationManager::SystemLanguages TranslationManager::SystemLanguages::fromSystem()
{
    const QLocale locale = QLocale::system();
    return {locale.uiLanguages(), locale.language(), locale.territory()};
}

TranslationManager *TranslationManager::instance()
{
    static TranslationManager *s_instance =
        new TranslationManager(SettingsManager::instance(), SystemLanguages::fromSystem());
    return s_instance;
}

TranslationManager::TranslationManager(SettingsManager *settings, const SystemLanguages &system, QObject *parent)
    : QObject(parent)
    , m_appTranslator(new QTranslator(this))
    , m_qtTranslator(new QTranslator(this))
    , m_app(qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
    , m_settings(settings)
{
    const QString detected = detectLanguage(system);
    qDebug() << "Detected system language:" << detected;
    m_currentLanguage = m_settings->getValue(kLanguageKey, detected).toString();
}

const QStringList &TranslationManager::languageCodes()
{
    static const QStringList codes = {
        QStringLiteral("zh_CN"), QStringLiteral("zh_TW"), QStringLiteral("en_US"),
        QStringLiteral("ja_JP"), QStringLiteral("ru_RU"), QStringLiteral("de_DE"),
        QStringLiteral("fr_FR"), QStringLiteral("es_ES"), QStringLiteral("it_IT"),
    };
    return codes;
}

QString TranslationManager::detectLanguage(const SystemLanguages &system)
{
    static const struct {
        const char *prefix;
        const char *code;
    } kPrefixes[] = {{"en", "en_US"}, {"ja", "ja_JP"}, {"ru", "ru_RU"}, {"de", "de_DE"},
                     {"fr", "fr_FR"}, {"es", "es_ES"}, {"it", "it_IT"}};

    const bool traditionalTerritory = system.territory == QLocale::Taiwan || system.territory == QLocale::HongKong;
    QString detected;
    for (const QString &entry : system.uiLanguages) {
        const QString normalized = QString(entry).replace(QLatin1Char('-'), QLatin1Char('_')).toLower();
        qDebug() << "Checking UI language:" << entry << "-> normalized:" << normalized;
        const bool bareChinese = normalized == QLatin1String("zh");
        if (normalized.startsWith(QLatin1String("zh_hans")) || normalized.startsWith(QLatin1String("zh_cn"))
            || (bareChinese && system.territory == QLocale::China)) {
            detected = QStringLiteral("zh_CN");
        } else if (normalized.startsWith(QLatin1String("zh_hant")) || normalized.startsWith(QLatin1String("zh_tw"))
                   || normalized.startsWith(QLatin1String("zh_hk")) || (bareChinese && traditionalTerritory)) {
            detected = QStringLiteral("zh_TW");
        } else {
            for (const auto &prefix : kPrefixes) {
                if (normalized.startsWith(QLatin1String(prefix.prefix))) {
                    detected = QString::fromLatin1(prefix.code);
                    break;
                }
            }
        }
        if (!detected.isEmpty())
            break;
    }
    if (!system.uiLanguages.isEmpty())
        qDebug() << "System UI languages:" << system.uiLanguages;
    if (!detected.isEmpty())
        return detected;

    qDebug() << "Fallback to locale - Language:" << QLocale::languageToString(system.language)
             << "Country:" << QLocale::territoryToString(system.territory);
    return codeForLocale(system.language, system.territory);
}

bool TranslationManager::loadLanguage(const QString &languageCode)
{
    if (!m_app) {
        qDebug() << "QGuiApplication not available";
        return false;
    }
    const QString fileName = kAppCatalogue + languageCode;
    bool loaded = false;
    if (m_appTranslator->load(fileName, kResourceFolder)) {
        QCoreApplication::installTranslator(m_appTranslator);
        qDebug() << "Loaded app translation for:" << languageCode;
        loaded = true;
    } else {
        qDebug() << "Failed to load app translation for:" << languageCode;
        const QString bundleFolder = QCoreApplication::applicationDirPath() + QStringLiteral("/../Resources/translations");
        if (m_appTranslator->load(fileName, bundleFolder)) {
            QCoreApplication::installTranslator(m_appTranslator);
            qDebug() << "Loaded app translation from bundle for:" << languageCode;
            loaded = true;
        } else {
            qDebug() << "Failed to load app translation from bundle for:" << languageCode;
        }
    }

    if (m_qtTranslator->load(kQtCatalogue + languageCode, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(m_qtTranslator);
        qDebug() << "Loaded Qt translation for:" << languageCode;
    } else {
        qDebug() << "Failed to load Qt translation for:" << languageCode;
    }
    return loaded;
}

void TranslationManager::removeTranslators()
{
    if (!m_app)
        return;
    QCoreApplication::removeTranslator(m_appTranslator);
    QCoreApplication::removeTranslator(m_qtTranslator);
}

void TranslationManager::setEngine(QQmlEngine *engine)
{
    m_engine = engine;
    loadLanguage(m_currentLanguage);
    qDebug() << "QML Engine set for TranslationManager";
}

void TranslationManager::setLanguage(const QString &languageCode)
{
    if (languageCode == m_currentLanguage)
        return;
    m_settings->setValue(kLanguageKey, languageCode);
    qDebug() << "Changing language from" << m_currentLanguage << "to" << languageCode;
    removeTranslators();
    if (!loadLanguage(languageCode)) {
        qDebug() << "Failed to change language to:" << languageCode;
        // Put the old texts back so the interface and getCurrentLanguage()
        // keep telling the same story.
        removeTranslators();
        loadLanguage(m_currentLanguage);
        return;
    }
    m_currentLanguage = languageCode;
    emit languageChanged(languageCode);
    if (m_engine) {
        m_engine->retranslate();
        qDebug() << "Called QQmlApplicationEngine::retranslate()";
    } else {
        qDebug() << "QML Engine not available for retranslate";
    }
    qDebug() << "Language changed successfully to:" << languageCode;
}

void TranslationManager::setLanguageIndex(int index)
{
    const QStringList &codes = languageCodes();
    if (index < 0 || index >= codes.size()) {
        qWarning() << "Ignoring language index out of range:" << index;
        return;
    }
    setLanguage(codes.at(index));
}

QString TranslationManager::getCurrentLanguage() const
{
    return m_currentLanguage;
}

int TranslationManager::getCurrentLanguageIndex() const
{
    return languageCodes().indexOf(m_currentLanguage);
}

QStringList TranslationManager::getAvailableLanguages() const
{
    return languageCodes();
}
