#pragma once

#include <QByteArray>

class HIDDevice;

// Frames of the device message protocol over HIDDevice, in the report
// layout of the model with this USB product id. Every report is logged.

// Cuts the frame into reports and writes each to every open interface.
// -1 when no interface is open (nothing written or logged), else 1: a
// failed write is only logged, retransmission covers it.
int writeFrameReports(HIDDevice &device, quint16 productId, const QByteArray &frame);

// The bytes of one input report that go to the frame parser.
QByteArray frameBytesFromReport(quint16 productId, const QByteArray &report);
