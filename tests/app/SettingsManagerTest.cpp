#include "app/SettingsManager.h"

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QDateTime>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

class SettingsManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        QCoreApplication::setApplicationName("Veloran Deck");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        m_settings = std::make_unique<SettingsManager>();
    }

    bool storeFileHas(const QString &storeName, const QString &key)
    {
        m_settings->sync();
        QSettings file(m_dir.filePath(QStringLiteral("Veloran Deck/%1.conf").arg(storeName)), QSettings::IniFormat);
        return file.contains(key);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<SettingsManager> m_settings;
};

TEST(SettingsRouting, FixedKeysPrefixAndEndingsChooseTheStore)
{
    const struct {
        const char *key;
        bool app;
    } cases[] = {
        {"language", true},         {"appList", true},          {"share_data", true},
        {"trackId", true},          {"device_monitor", true},   {"device_mix", true},
        {"device_equalizer", false}, {"device_dB", false},      {"device_x_mix", false},
        {"mix_dB", true},           {"1234_monitor", true},     {"1234_mix", true},
        {"0_dB", true},             {"light_color", false},     {"Language", false},
        {"_mixer", false},          {"", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SettingsManager::isAppKey(QString::fromUtf8(c.key)), c.app) << c.key;
}

TEST(SettingsRouting, EveryFixedApplicationKey)
{
    const char *keys[] = {
        "appList", "listen", "share_data", "auto_install", "auto_install_path", "language",
        "general_rate", "general_hotkey_type", "general_hotkey_value_app", "general_hotkey_value_url",
        "general_hotkey_value_key", "color_picker_preset_colors", "accessKey", "trackId",
        "upgradeFirmwareFilePath", "device_monitor", "device_mix",
    };
    for (const char *key : keys) {
        EXPECT_TRUE(SettingsManager::isAppKey(QString::fromUtf8(key))) << key;
        // The set is case-sensitive.
        EXPECT_FALSE(SettingsManager::isAppKey(QString::fromUtf8(key).toUpper())) << key;
    }
}

TEST_F(SettingsManagerTest, KeysLandInTheirStoreFiles)
{
    m_settings->setValue("language", "de_DE");
    m_settings->setValue("device_equalizer", true);
    m_settings->setValue("device_mix", 40);
    m_settings->setValue("7_dB", -3.5);
    EXPECT_TRUE(storeFileHas("AppSettings", "language"));
    EXPECT_TRUE(storeFileHas("Settings", "device_equalizer"));
    EXPECT_TRUE(storeFileHas("AppSettings", "device_mix"));
    EXPECT_TRUE(storeFileHas("AppSettings", "7_dB"));
    EXPECT_FALSE(storeFileHas("Settings", "language"));
}

TEST_F(SettingsManagerTest, ScopeSwitchesTheDeviceStoreOnly)
{
    QSignalSpy changed(m_settings.get(), &SettingsManager::valueChanged);
    EXPECT_EQ(m_settings->deviceScope(), QString());
    m_settings->setDeviceScope("t40");
    m_settings->setDeviceScope("t40");
    EXPECT_EQ(m_settings->deviceScope(), QStringLiteral("t40"));
    m_settings->setValue("device_gain", 12);
    m_settings->setValue("language", "fr_FR");
    EXPECT_TRUE(storeFileHas("Settings_t40", "device_gain"));

    m_settings->setDeviceScope("u20");
    EXPECT_FALSE(m_settings->contains("device_gain"));
    EXPECT_EQ(m_settings->getValue("language").toString(), QStringLiteral("fr_FR"));
    m_settings->setDeviceScope("t40");
    EXPECT_EQ(m_settings->getValue("device_gain").toInt(), 12);

    m_settings->setDeviceScope("");
    EXPECT_FALSE(m_settings->contains("device_gain"));
    m_settings->setValue("device_gain", 3);
    EXPECT_TRUE(storeFileHas("Settings", "device_gain"));
    EXPECT_EQ(changed.count(), 3); // the three writes, no switch signals
}

TEST_F(SettingsManagerTest, ChangeSignalsOnlyForRealChanges)
{
    QSignalSpy changed(m_settings.get(), &SettingsManager::valueChanged);
    m_settings->setValue("listen", 5);
    m_settings->setValue("listen", 5);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toString(), QStringLiteral("listen"));
    EXPECT_EQ(changed.at(0).at(1).toInt(), 5);
    m_settings->setValue("listen", 6);
    EXPECT_EQ(changed.count(), 2);

    m_settings->removeValue("listen");
    EXPECT_FALSE(m_settings->contains("listen"));
    ASSERT_EQ(changed.count(), 3);
    m_settings->removeValue("never_written");
    ASSERT_EQ(changed.count(), 4);
    EXPECT_FALSE(changed.at(3).at(1).isValid());

    m_settings->setColor("light_color", QColor(0x12, 0xAB, 0xEF, 100));
    ASSERT_EQ(changed.count(), 5);
    EXPECT_EQ(changed.at(4).at(1).toString(), QStringLiteral("#12abef"));
    m_settings->setColor("light_color", QColor(0x12, 0xAB, 0xEF));
    EXPECT_EQ(changed.count(), 5);

    m_settings->setStringList("color_picker_preset_colors", {"#ffffff", "#000000"});
    ASSERT_EQ(changed.count(), 6);
    EXPECT_EQ(changed.at(5).at(1).toStringList().size(), 2);

    m_settings->setValue("listen", 1);
    m_settings->clear();
    ASSERT_EQ(changed.count(), 8);
    EXPECT_EQ(changed.at(7).at(0).toString(), QString());
    EXPECT_FALSE(changed.at(7).at(1).isValid());
    EXPECT_TRUE(m_settings->getAllKeys().isEmpty());
}

TEST_F(SettingsManagerTest, GetAllKeysListsDeviceStoreFirstWithoutDeduplication)
{
    m_settings->setValue("language", "en_US");
    m_settings->setValue("device_gain", 1);
    // Same key in both stores, written behind the manager's back.
    QSettings app(QSettings::NativeFormat, QSettings::UserScope, "Veloran Deck", "AppSettings");
    app.setValue("device_gain", 2);
    app.sync();
    SettingsManager fresh;
    const QStringList keys = fresh.getAllKeys();
    EXPECT_EQ(keys, (QStringList{"device_gain", "device_gain", "language"}));
}

TEST_F(SettingsManagerTest, EveryTypeReadsBackThroughANewManager)
{
    m_settings->setValue("share_data", true);
    m_settings->setValue("general_rate", 48000);
    m_settings->setValue("mix_dB", -6.5);
    m_settings->setValue("auto_install_path", "/tmp/x y");
    m_settings->setStringList("appList", {"{\"name\":\"one\"}"});
    m_settings->setStringList("color_picker_preset_colors", {"#ff0000", "#00ff00"});
    m_settings->setColor("device_light_color", QColor("#A1B2C3"));
    m_settings->sync();
    m_settings.reset();
    // As after a restart: Qt keeps the values of a settings file it read or
    // wrote until the file changes on disk.
    for (const QFileInfo &store : QDir(m_dir.filePath("Veloran Deck")).entryInfoList({"*.conf"})) {
        QFile file(store.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(store.lastModified().addSecs(-60), QFileDevice::FileModificationTime));
    }

    SettingsManager reread;
    // The INI store gives text back for booleans and numbers: the layer
    // above must convert by the default's type.
    for (const auto &[key, text] : {std::pair{"share_data", "true"}, {"general_rate", "48000"}, {"mix_dB", "-6.5"}}) {
        const QVariant raw = reread.getValue(key);
        EXPECT_EQ(raw.typeId(), QMetaType::QString) << key;
        EXPECT_EQ(raw.toString(), QString::fromLatin1(text)) << key;
    }
    EXPECT_TRUE(reread.getValue("share_data").toBool());
    EXPECT_EQ(reread.getValue("general_rate").toInt(), 48000);
    EXPECT_DOUBLE_EQ(reread.getValue("mix_dB").toDouble(), -6.5);
    EXPECT_EQ(reread.getValue("auto_install_path").toString(), QStringLiteral("/tmp/x y"));
    EXPECT_EQ(reread.getStringList("appList"), QStringList{"{\"name\":\"one\"}"});
    EXPECT_EQ(reread.getStringList("color_picker_preset_colors"), (QStringList{"#ff0000", "#00ff00"}));
    EXPECT_EQ(reread.getColor("device_light_color"), QColor("#a1b2c3"));
    EXPECT_EQ(reread.getValue("missing", 7).toInt(), 7);
    EXPECT_EQ(reread.getStringList("missing", {"a"}), QStringList{"a"});
    EXPECT_EQ(reread.getColor("missing", QColor(1, 2, 3, 4)), QColor(1, 2, 3));
}

} // namespace

namespace {
QStringList g_warnings;
void collectWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type == QtWarningMsg)
        g_warnings.append(message);
}
} // namespace

// Writes that cannot reach their file are logged, once per file and cause,
// with the file's path.
TEST(SettingsWriteFailure, LoggedOncePerFileWithItsPath)
{
    struct Case {
        const char *name;
        std::function<void(const QString &folder)> spoil;
    };
    const Case cases[] = {
        // A file where the settings folder belongs.
        {"folder is a file",
         [](const QString &folder) {
             QFile blocker(folder);
             blocker.open(QIODevice::WriteOnly);
         }},
        // Root may write anywhere: then this case proves nothing more.
        {"read-only folder",
         [](const QString &folder) {
             QDir().mkpath(folder);
             QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
         }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QCoreApplication::setApplicationName("Veloran Deck");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
        const QString folder = dir.filePath("Veloran Deck");
        c.spoil(folder);
        const bool writable = QFileInfo(folder).isDir() && QFileInfo(folder).isWritable();
        SettingsManager settings;
        g_warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(collectWarnings);
        settings.setValue("language", "en_US");
        settings.setValue("language", "de_DE");
        settings.setValue("device_gain", 3);
        settings.sync();
        qInstallMessageHandler(previous);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (writable)
            continue;
        ASSERT_EQ(g_warnings.size(), 2) << g_warnings.join('\n').toStdString();
        EXPECT_TRUE(g_warnings.at(0).contains(folder + "/AppSettings.conf")) << g_warnings.at(0).toStdString();
        EXPECT_TRUE(g_warnings.at(1).contains(folder + "/Settings.conf")) << g_warnings.at(1).toStdString();
    }
}
