// An emulated R7 unit on its own bus, run on an accelerated clock that the
// boot-loader link shares, with the link's formatted lines kept quiet.
#pragma once

#include "device/bootloader/HidProtocol.h"
#include "device/bootloader/bootloader_log.h"
#include "device/emulator/emulator_runner.h"
#include "device/emulator/mic_base_unit.h"
#include "device/hid/EmulatedHidBus.h"
#include "platform/os/Clock.h"

#include <gtest/gtest.h>

class EmulatedR7 : public ::testing::Test
{
protected:
    // Beacons every beaconPeriodMs of the clock (the model's 1000 by default).
    explicit EmulatedR7(uint32_t beaconPeriodMs = 1000)
        : m_beaconPeriodMs(beaconPeriodMs)
    {
    }

    veloran::emu::ModelConfig r7Config() const
    {
        veloran::emu::ModelConfig c = veloran::emu::defaultConfig(veloran::emu::Model::R7);
        c.beaconPeriodMs = m_beaconPeriodMs;
        return c;
    }

    static constexpr quint16 kVendor = 0x3A71;
    static constexpr quint16 kR7 = 0x9829;

    void SetUp() override
    {
        setHidBackend(&bus);
        hidProtocol::instance()->setClock(&clock);
        bootloader::setPrintSink([](const std::string &) {});
        unit.programFlash(veloran::emu::makeFirmwareImage(veloran::emu::Model::R7, 2, 12, 4096));
        runner.start();
    }

    void TearDown() override
    {
        runner.stop();
        hidProtocol::instance()->closeDevice();
        hidProtocol::instance()->setClock(nullptr);
        bootloader::setPrintSink({});
        setHidBackend(nullptr);
    }

    const uint32_t m_beaconPeriodMs;
    EmulatedHidBus bus;
    os::RealClock clock{20.0};
    veloran::emu::MicBaseUnit unit{bus, r7Config(), "emu/R7"};
    veloran::emu::EmulatorRunner runner{unit, clock};
};
