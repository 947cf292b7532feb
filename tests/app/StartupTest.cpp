#include "app/DataTrackerManager.h"
#include "app/NetworkManager.h"
#include "app/SettingsManager.h"
#include "app/SingleInstanceGuard.h"
#include "app/Startup.h"
#include "app/TranslationManager.h"
#include "bridge/SystemBridge.h"
#include "device/HIDHotplugManager.h"

#include <QFile>
#include <QGuiApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QSettings>
#include <QSharedMemory>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(StartupLook, DarkPaletteStyleAndDarkModeProperty)
{
    Startup::applyDarkLook(*qGuiApp);
    const QPalette palette = QGuiApplication::palette();
    EXPECT_EQ(palette.color(QPalette::Window), QColor(53, 53, 53));
    EXPECT_EQ(palette.color(QPalette::Base), QColor(25, 25, 25));
    EXPECT_EQ(palette.color(QPalette::AlternateBase), QColor(53, 53, 53));
    EXPECT_EQ(palette.color(QPalette::Highlight), QColor(42, 130, 218));
    EXPECT_EQ(palette.color(QPalette::Link), QColor(42, 130, 218));
    EXPECT_EQ(palette.color(QPalette::HighlightedText), QColor(Qt::black));
    EXPECT_EQ(palette.color(QPalette::BrightText), QColor(255, 0, 0));
    EXPECT_EQ(palette.color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(palette.color(QPalette::ToolTipBase), QColor(Qt::white));
    EXPECT_EQ(palette.color(QPalette::ToolTipText), QColor(Qt::white));
    EXPECT_EQ(palette.color(QPalette::Button), QColor(53, 53, 53));
    EXPECT_EQ(palette.color(QPalette::ButtonText), QColor(Qt::white));
    EXPECT_EQ(palette.color(QPalette::Disabled, QPalette::Text), QColor(Qt::white));
    EXPECT_EQ(qGuiApp->property("darkMode"), QVariant(true));
    EXPECT_EQ(QQuickStyle::name(), QStringLiteral("Material"));
}

// The segment's native name lives in the user's runtime folder: point it at
// a private one so that no other run on this machine shares the key.
class StartupGuard : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_hadTmp = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
        m_savedTmp = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_tmp.path()));
    }
    void TearDown() override
    {
        if (m_hadTmp)
            qputenv("XDG_RUNTIME_DIR", m_savedTmp);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }

    QTemporaryDir m_tmp;
    bool m_hadTmp = false;
    QByteArray m_savedTmp;
};

TEST_F(StartupGuard, OneByteSegmentUnderTheProgramKey)
{
    EXPECT_STREQ(SingleInstanceGuard::kKey, "Veloran_Deck_SingleInstance");
    SingleInstanceGuard guard;
    ASSERT_TRUE(guard.acquire());
    EXPECT_EQ(guard.nativeKey(), SingleInstanceGuard::userFolder() + QStringLiteral("/Veloran_Deck_SingleInstance"));
    QSharedMemory other;
    other.setNativeKey(guard.nativeKey());
    ASSERT_TRUE(other.attach(QSharedMemory::ReadOnly));
    EXPECT_EQ(other.size(), 1);
}

// A segment that answers to our key without our lock is another program's
// (ftok keeps 16 bits of an inode) or abandoned: no copy of ours runs.
TEST_F(StartupGuard, ASegmentUnderOurKeyWithoutTheLockIsNoRunningCopy)
{
    QSharedMemory foreign;
    foreign.setNativeKey(SingleInstanceGuard().nativeKey());
    ASSERT_TRUE(foreign.create(1));
    SingleInstanceGuard guard;
    EXPECT_TRUE(guard.acquire());
    SingleInstanceGuard second;
    EXPECT_FALSE(second.acquire());
}

TEST_F(StartupGuard, SecondGuardRefusedWhileTheFirstHoldsIt)
{
    SingleInstanceGuard first;
    ASSERT_TRUE(first.acquire());
    {
        // Clearing abandoned segments must leave a held one alone.
        SingleInstanceGuard second;
        EXPECT_FALSE(second.acquire());
        EXPECT_FALSE(second.isAttached());
    }
    EXPECT_TRUE(first.isAttached());
    SingleInstanceGuard third;
    EXPECT_FALSE(third.acquire());

    first.release();
    EXPECT_FALSE(first.isAttached());
    EXPECT_TRUE(third.acquire());
    EXPECT_TRUE(third.isAttached());
}

TEST(StartupSingletons, SixServicesReachQmlAsTheirProcessWideInstances)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // The services keep their stores and databases in this run's folder only.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
        qputenv(name, QFile::encodeName(dir.filePath(QString::fromLatin1(name))));
    Startup::registerSingletons();

    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml
        import VeloranDeckSettings
        import VeloranDeckTracker
        import VeloranDeckNetwork
        import VeloranDeckTranslation
        import VeloranDeckSystemBridge
        import VeloranDeckHIDHotplug
        QtObject {
            property var services: [SettingsManager, DataTrackerManager, NetworkManager,
                                    TranslationManager, SystemBridge, HIDHotplugManager]
        }
    )", QUrl("qrc:/startup_test.qml"));
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    const QVariantList services = root->property("services").toList();
    ASSERT_EQ(services.size(), 6);
    const QObject *expected[] = {SettingsManager::instance(), DataTrackerManager::instance(),
                                 NetworkManager::instance(), TranslationManager::instance(),
                                 SystemBridge::instance(), HIDHotplugManager::instance()};
    for (int i = 0; i < 6; ++i) {
        QObject *object = services.at(i).value<QObject *>();
        ASSERT_NE(object, nullptr) << i;
        EXPECT_EQ(object, expected[i]) << i;
        EXPECT_EQ(QQmlEngine::objectOwnership(object), QQmlEngine::CppOwnership) << i;
    }
}

} // namespace
