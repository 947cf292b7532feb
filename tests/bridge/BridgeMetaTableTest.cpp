// The bridge's QML interface, member by member, as the interface pages and
// the fake that stands in for it in QML tests must see it.
#include "bridge/SystemBridge.h"
#include "qmltestrunner/FakeSystemBridge.h"

#include <QMetaMethod>
#include <QMetaProperty>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

// kind, result type, "name(Type name,...)", const
struct Member {
    QMetaMethod::MethodType kind;
    const char *result;
    const char *signature;
    bool isConst;
};

constexpr auto S = QMetaMethod::Signal;
constexpr auto M = QMetaMethod::Method;

const Member kTable[] = {
    {S, "void", "permissionChanged(QString permission,bool granted)", false},
    {S, "void", "systemInfoUpdated()", false},
    {S, "void", "networkStatusChanged()", false},
    {S, "void", "audioInputLevelChanged(QVariantList levels)", false},
    {S, "void", "audioDeviceListChanged()", false},
    {S, "void", "runningAppsChanged()", false},
    {S, "void", "installedAppsChanged(QVariantList apps)", false},
    {S, "void", "screenPowerStateChanged(bool screenOn)", false},
    {S, "void", "virtualDriverStatusChanged(bool installed)", false},
    {S, "void", "deviceSampleRateChanged(QString deviceName,double sampleRate,bool success)", false},
    {M, "QVariantMap", "getSystemInfo()", false},
    {M, "QVariantMap", "getAudioDeviceInfo()", false},
    {M, "void", "showNotification(QString title,QString message)", false},
    {M, "QVariantMap", "checkSystemPermissions()", false},
    {M, "QVariantList", "getNetworkInterfaces()", false},
    {M, "QVariantMap", "getStorageInfo()", false},
    {M, "QVariantMap", "getCurrentUserInfo()", false},
    {M, "bool", "isAppInForeground()", false},
    {M, "void", "bringAppToFront()", false},
    {M, "void", "openSystemPreferences()", false},
    {M, "void", "openUrl(QString url)", false},
    {M, "bool", "openApplication(QString appPath)", false},
    {M, "bool", "simulateKeyPress(QString hotkey)", false},
    {M, "bool", "takeScreenshot()", false},
    {M, "bool", "startScreenRecording()", false},
    {M, "QString", "getTempDirectory()", true},
    {M, "bool", "installFile(QString filePath)", true},
    {M, "void", "restartApplication()", true},
    {M, "void", "quitApplication()", true},
    {M, "void", "requestNotificationPermission()", false},
    {M, "QVariantList", "getRunningApplications()", false},
    {M, "QVariantList", "getRunningApplicationsCached()", false},
    {M, "QVariantList", "getRunningApplicationsByQt()", false},
    {M, "QVariantList", "getOutputStreamIDs()", true},
    {M, "QString", "getPlatform()", false},
    {M, "void", "startPowerEventMonitor()", false},
    {M, "void", "stopPowerEventMonitor()", false},
    {M, "void", "setAudioConfig(QVariantList configs)", false},
    {M, "bool", "Start()", false},
    {M, "void", "Stop()", false},
    {M, "bool", "Restart()", false},
    {M, "bool", "IsRunning()", true},
    {M, "bool", "SetSampleRate(double sampleRate)", false},
    {M, "double", "GetSampleRate()", true},
    {M, "bool", "AddInputDevice(QString deviceName,int index)", false},
    {M, "bool", "RemoveInputDevice(QString deviceName)", false},
    {M, "QVariantList", "GetInputDevices()", true},
    {M, "QVariantList", "GetDeviceList(int type)", true},
    {M, "void", "updateMonitorDevice()", false},
    {M, "bool", "SetDeviceSampleRate(QString deviceName,double sampleRate)", false},
    {M, "void", "SetDeviceSampleRateAsync(QString deviceName,double sampleRate)", false},
    {M, "QString", "GetDeviceCurrentRateKHz(QString deviceName)", true},
};
static_assert(std::size(kTable) == 52);

// The fake's scripting members, which the real bridge does not have.
const std::set<std::string> kFakeScriptingMethods = {"setResult(QString method,QVariant value)", "reset()", "scriptChanged()"};
const std::set<std::string> kFakeScriptingProperties = {
    "installFileResult", "systemInfo",  "tempDirectory",    "installedApplications",
    "runningApplications", "openApplicationResult", "keyPressResult"};

std::string describe(const QMetaMethod &method)
{
    std::string text = method.name().toStdString() + "(";
    const auto types = method.parameterTypes();
    const auto names = method.parameterNames();
    for (int i = 0; i < types.size(); ++i) {
        if (i)
            text += ",";
        text += types[i].toStdString() + " " + names[i].toStdString();
    }
    return text + ")";
}

// The object's own methods in meta-object order, minus the given ones.
std::vector<QMetaMethod> ownMethods(const QMetaObject &meta, const std::set<std::string> &skip)
{
    std::vector<QMetaMethod> methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (!skip.contains(describe(method)))
            methods.push_back(method);
    }
    return methods;
}

void expectTable(const QMetaObject &meta, const std::set<std::string> &skipMethods,
                 const std::set<std::string> &skipProperties)
{
    SCOPED_TRACE(meta.className());
    const std::vector<QMetaMethod> methods = ownMethods(meta, skipMethods);
    ASSERT_EQ(methods.size(), std::size(kTable));
    for (size_t i = 0; i < methods.size(); ++i) {
        const Member &want = kTable[i];
        const QMetaMethod &got = methods[i];
        SCOPED_TRACE("member " + std::to_string(i + 1) + " " + want.signature);
        EXPECT_EQ(describe(got), want.signature);
        EXPECT_EQ(got.methodType(), want.kind);
        EXPECT_STREQ(got.typeName(), want.result);
        EXPECT_EQ(got.isConst(), want.isConst);
        EXPECT_EQ(got.access(), QMetaMethod::Public);
    }

    std::vector<std::string> properties;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i) {
        const QMetaProperty property = meta.property(i);
        if (skipProperties.contains(property.name()))
            continue;
        properties.push_back(property.name());
        EXPECT_STREQ(property.typeName(), "bool");
        EXPECT_TRUE(property.isConstant()) << property.name();
        EXPECT_FALSE(property.hasNotifySignal()) << property.name();
        EXPECT_FALSE(property.isWritable()) << property.name();
    }
    EXPECT_EQ(properties, (std::vector<std::string>{"isMacOS", "isWindows"}));
}

TEST(BridgeMetaTable, BridgeHasExactlyTheInterfaceMembersInOrder)
{
    expectTable(SystemBridge::staticMetaObject, {}, {});
    EXPECT_EQ(SystemBridge::staticMetaObject.constructorCount(), 0);
    EXPECT_EQ(SystemBridge::staticMetaObject.classInfoCount(), 0);
}

TEST(BridgeMetaTable, FakeHasTheSameMembersPlusOnlyItsScripting)
{
    expectTable(FakeSystemBridge::staticMetaObject, kFakeScriptingMethods, kFakeScriptingProperties);
}

} // namespace
