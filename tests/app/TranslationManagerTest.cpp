#include "app/SettingsManager.h"
#include "app/TranslationManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <gtest/gtest.h>

#include <memory>

namespace {

using System = TranslationManager::SystemLanguages;

QString qtCancel()
{
    return QCoreApplication::translate("QPlatformTheme", "Cancel");
}

bool haveQtGermanCatalogue()
{
    QTranslator probe;
    return probe.load(QStringLiteral("qt_de_DE"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

TEST(LanguageDetection, SystemLanguagesMapToTheNineCodes)
{
    const struct {
        QStringList ui;
        QLocale::Language language;
        QLocale::Territory territory;
        const char *expected;
    } cases[] = {
        {{"zh-Hans-CN"}, QLocale::English, QLocale::UnitedStates, "zh_CN"},
        {{"zh-CN"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "zh_CN"},
        {{"zh-Hant-TW"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "zh_TW"},
        {{"zh-HK"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "zh_TW"},
        {{"zh"}, QLocale::Chinese, QLocale::China, "zh_CN"},
        {{"zh"}, QLocale::Chinese, QLocale::Taiwan, "zh_TW"},
        {{"en-GB"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "en_US"},
        {{"pt-BR", "fr-FR"}, QLocale::Portuguese, QLocale::Brazil, "fr_FR"},
        {{"JA-jp"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "ja_JP"},
        {{"ru", "de"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "ru_RU"},
        {{"de-AT"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "de_DE"},
        {{"es-MX"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "es_ES"},
        {{"it-CH"}, QLocale::AnyLanguage, QLocale::AnyTerritory, "it_IT"},
        // Nothing matches: the locale's own language decides.
        {{"ko-KR"}, QLocale::Korean, QLocale::SouthKorea, "en_US"},
        {{"ko-KR"}, QLocale::German, QLocale::Germany, "de_DE"},
        {{}, QLocale::Japanese, QLocale::Japan, "ja_JP"},
        {{}, QLocale::Chinese, QLocale::HongKong, "zh_TW"},
        {{}, QLocale::Chinese, QLocale::Singapore, "zh_CN"},
        {{"zh"}, QLocale::Chinese, QLocale::Singapore, "zh_CN"},
        {{}, QLocale::AnyLanguage, QLocale::AnyTerritory, "en_US"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(TranslationManager::detectLanguage({c.ui, c.language, c.territory}), QString::fromLatin1(c.expected))
            << c.ui.join(',').toStdString() << " / " << QLocale::languageToString(c.language).toStdString();
    }
}

class TranslationManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        m_settings = std::make_unique<SettingsManager>();
    }

    std::unique_ptr<TranslationManager> makeManager(const System &system = {{"en-US"}, QLocale::English,
                                                                            QLocale::UnitedStates})
    {
        auto manager = std::make_unique<TranslationManager>(m_settings.get(), system);
        manager->setEngine(&m_engine);
        return manager;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsManager> m_settings;
    QQmlEngine m_engine;
};

TEST_F(TranslationManagerTest, StoredChoiceWinsOverTheSystem)
{
    EXPECT_EQ(makeManager({{"fr-FR"}, QLocale::French, QLocale::France})->getCurrentLanguage(), "fr_FR");
    m_settings->setValue("language", "ru_RU");
    auto manager = makeManager({{"fr-FR"}, QLocale::French, QLocale::France});
    EXPECT_EQ(manager->getCurrentLanguage(), "ru_RU");
    EXPECT_EQ(manager->getCurrentLanguageIndex(), 4);
}

TEST_F(TranslationManagerTest, UnknownStoredCodeIsKeptWithIndexMinusOne)
{
    m_settings->setValue("language", "xx_XX");
    auto manager = makeManager();
    EXPECT_EQ(manager->getCurrentLanguage(), "xx_XX");
    EXPECT_EQ(manager->getCurrentLanguageIndex(), -1);
    m_settings->setValue("language", "JA_JP"); // the match is case-sensitive
    EXPECT_EQ(makeManager()->getCurrentLanguageIndex(), -1);
}

TEST_F(TranslationManagerTest, AvailableLanguagesAreTheNineInIndexOrder)
{
    const QStringList expected = {"zh_CN", "zh_TW", "en_US", "ja_JP", "ru_RU", "de_DE", "fr_FR", "es_ES", "it_IT"};
    EXPECT_EQ(makeManager()->getAvailableLanguages(), expected);
}

TEST_F(TranslationManagerTest, IndexStoresCodeAndEmitsOnceBeforeTextsAreReevaluated)
{
    auto manager = makeManager(); // en_US
    QQmlComponent component(&m_engine);
    component.setData("import QtQuick\nItem { property string cancel: qsTranslate(\"QPlatformTheme\", \"Cancel\") }",
                      QUrl("qrc:/LanguageProbe.qml"));
    std::unique_ptr<QObject> probe(component.create());
    ASSERT_TRUE(probe) << component.errorString().toStdString();
    const QString before = probe->property("cancel").toString();

    QSignalSpy spy(manager.get(), &TranslationManager::languageChanged);
    QString seenInSignal;
    QObject::connect(manager.get(), &TranslationManager::languageChanged, probe.get(),
                     [&] { seenInSignal = probe->property("cancel").toString(); });

    manager->setLanguageIndex(5);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toString(), "de_DE");
    EXPECT_EQ(manager->getCurrentLanguage(), "de_DE");
    EXPECT_EQ(manager->getCurrentLanguageIndex(), 5);
    EXPECT_EQ(m_settings->getValue("language").toString(), "de_DE");
    EXPECT_EQ(seenInSignal, before);
    if (haveQtGermanCatalogue()) {
        EXPECT_EQ(probe->property("cancel").toString(), "Abbrechen");
    }

    manager->setLanguageIndex(3);
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(manager->getCurrentLanguage(), "ja_JP");
    EXPECT_EQ(manager->getCurrentLanguageIndex(), 3);
    EXPECT_EQ(m_settings->getValue("language").toString(), "ja_JP");
}

TEST_F(TranslationManagerTest, SameLanguageDoesNothing)
{
    m_settings->setValue("language", "de_DE");
    auto manager = makeManager();
    QSignalSpy changed(manager.get(), &TranslationManager::languageChanged);
    QSignalSpy written(m_settings.get(), &SettingsManager::valueChanged);
    m_settings->removeValue("language");
    written.clear();
    manager->setLanguage("de_DE");
    manager->setLanguageIndex(5);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(written.count(), 0);
    EXPECT_FALSE(m_settings->contains("language"));
}

TEST_F(TranslationManagerTest, IndexOutsideTheListIsIgnored)
{
    auto manager = makeManager();
    QSignalSpy changed(manager.get(), &TranslationManager::languageChanged);
    for (int index : {-1, 9, 127, -128, 1000})
        manager->setLanguageIndex(index);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(manager->getCurrentLanguage(), "en_US");
    EXPECT_FALSE(m_settings->contains("language"));
}

TEST_F(TranslationManagerTest, AllNineCataloguesAreResourcesAndLoad)
{
    auto manager = makeManager({{"it-IT"}, QLocale::Italian, QLocale::Italy});
    QSignalSpy changed(manager.get(), &TranslationManager::languageChanged);
    const QStringList codes = manager->getAvailableLanguages();
    for (const QString &code : codes) {
        const QString resource = QStringLiteral(":/translations/VeloranDeck_%1.qm").arg(code);
        EXPECT_TRUE(QFile::exists(resource)) << resource.toStdString();
        QTranslator translator;
        EXPECT_TRUE(translator.load(resource)) << resource.toStdString();
        EXPECT_EQ(translator.language(), code);
    }
    // Walk through all of them, ending where we started.
    for (int i = 0; i < codes.size(); ++i)
        manager->setLanguageIndex(i);
    EXPECT_EQ(changed.count(), codes.size());
    EXPECT_EQ(manager->getCurrentLanguage(), "it_IT");
}

TEST_F(TranslationManagerTest, FailedSwitchKeepsThePreviousLanguageInstalled)
{
    if (!haveQtGermanCatalogue())
        GTEST_SKIP() << "Qt's German catalogue is not installed";
    m_settings->setValue("language", "de_DE");
    auto manager = makeManager();
    ASSERT_EQ(qtCancel(), "Abbrechen");
    QSignalSpy changed(manager.get(), &TranslationManager::languageChanged);

    manager->setLanguage("ko_KR"); // no catalogue of ours
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(manager->getCurrentLanguage(), "de_DE");
    EXPECT_EQ(m_settings->getValue("language").toString(), "ko_KR"); // written before the load
    EXPECT_EQ(qtCancel(), "Abbrechen");
    manager.reset();
    EXPECT_EQ(qtCancel(), "Cancel"); // translators leave with their manager
}

} // namespace
