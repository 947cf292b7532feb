// The microphone's equaliser and gain stage as the bridge drives them: the
// GUI thread reads the settings and hands them to the processing core; the
// microphone router's capture thread runs the blocks through it.
#include "bridge/SystemBridge.h"

#include "bridge/StoredSettings.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void SystemBridge::updateMonitorDevice()
{
    if (!m_audioRouter) {
        qWarning().noquote() << "SystemBridge::updateMonitorDevice: AudioRouterService not initialized";
        return;
    }
    const StoredSettings *settings = s_storedSettings;
    if (!settings) {
        qWarning().noquote() << "SystemBridge::updateMonitorDevice: no stored settings to read";
        return;
    }

    const bool eqOn = settings->storedValue(QStringLiteral("device_equalizer")).toBool();
    m_monitor.setEqualizerEnabled(eqOn);
    if (!eqOn) {
        m_monitor.clearEqualizer();
    } else {
        const QJsonObject preset =
            QJsonDocument::fromJson(settings->storedValue(QStringLiteral("device_equalizer_current")).toString().toUtf8())
                .object();
        // An unreadable preset leaves the equaliser as it was.
        if (!preset.isEmpty()) {
            const int type = preset.value(QStringLiteral("type")).toInt(0);
            const QJsonArray values = preset.value(QStringLiteral("value")).toArray();
            if (values.size() != kEqBandCount) {
                qCritical() << "SystemBridge::updateMonitorDevice: Equalizer config array size is not 12, got"
                            << values.size();
            } else {
                std::array<float, kEqBandCount> gains{};
                for (int i = 0; i < kEqBandCount; ++i)
                    gains[i] = static_cast<float>(values.at(i).toDouble(0.0));
                m_monitor.applyEqualizerPreset(type, gains);
            }
        }
    }

    const bool gainOn = settings->storedValue(QStringLiteral("device_compressor")).toBool();
    bool numeric = false;
    double db = settings->storedValue(QStringLiteral("device_compressor_value"), MonitorProcessing::kDefaultGainDb)
                    .toDouble(&numeric);
    if (!numeric)
        db = MonitorProcessing::kDefaultGainDb;
    m_monitor.setGain(gainOn, db);
}

void SystemBridge::processFirstDeviceAudio(float *data, int channels, int frames, double sampleRate)
{
    if (m_monitor.process(data, channels, frames, sampleRate) == MonitorProcessing::BlockResult::Refused
        && m_monitor.refusedBlocks.load(std::memory_order_relaxed) == 1) {
        // Once only: this runs on the capture thread.
        qWarning().noquote() << "SystemBridge::processFirstDeviceAudio: block left unprocessed, channels" << channels
                             << "frames" << frames;
    }
}

void SystemBridge::monitorLevelCallback(float *samples, int channels, int frames, double sampleRate)
{
    if (SystemBridge *bridge = s_callbackBridge.load(std::memory_order_acquire))
        bridge->processFirstDeviceAudio(samples, channels, frames, sampleRate);
}
