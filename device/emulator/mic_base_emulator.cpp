#include "device/emulator/mic_base_emulator.h"

#include <algorithm>

namespace veloran::emu {

namespace {

// Inspection history is bounded so that a long demonstration run stays small.
constexpr size_t kHistoryLimit = 4096;
// A lone frame waits this long for a second one to share its report.
constexpr uint64_t kPackHoldMs = 10;
constexpr size_t kMaxGarbageBytes = 8;

template <typename T>
void pushBounded(std::vector<T>& history, T item)
{
    if (history.size() >= kHistoryLimit)
        history.erase(history.begin(), history.begin() + std::ptrdiff_t(kHistoryLimit / 4));
    history.push_back(std::move(item));
}

bool matches(const FrameFault& f, const Frame& frame)
{
    return f.count != 0 && (f.messageId == FrameFault::kAny || f.messageId == frame.messageId)
           && (f.type == FrameFault::kAny || f.type == frame.type);
}

}  // namespace

MicBaseEmulator::MicBaseEmulator(ModelConfig config)
    : m_config(std::move(config)),
      m_layout(reportLayout(m_config.model)),
      m_store(m_config.attributes),
      m_reassembler(m_config.maxMessageBytes),
      m_versionAnswer(m_config.versionAnswer),
      m_pull(m_config.pull, m_config.productId, m_versionAnswer.size() > 10 ? m_versionAnswer[9] : 0,
             m_versionAnswer.size() > 10 ? m_versionAnswer[10] : 0),
      m_rng(m_config.seed)
{
}

void MicBaseEmulator::setReportSink(ReportSink sink)
{
    std::lock_guard lock(m_deliverMutex);
    m_sink = std::move(sink);
}

void MicBaseEmulator::setUnplugHook(UnplugHook hook)
{
    std::lock_guard lock(m_deliverMutex);
    m_unplugHook = std::move(hook);
}

void MicBaseEmulator::setPlugHook(PlugHook hook)
{
    std::lock_guard lock(m_deliverMutex);
    m_plugHook = std::move(hook);
}

// --- delivery -------------------------------------------------------------

MicBaseEmulator::Delivery MicBaseEmulator::takeDelivery()
{
    Delivery d = std::move(m_outbox);
    m_outbox = {};
    return d;
}

void MicBaseEmulator::deliver(std::unique_lock<std::mutex>& lock)
{
    Delivery d = takeDelivery();
    const bool stepSooner = nextStepLocked() < m_stepPromisedMs;
    if (stepSooner)
        m_stepPromisedMs = 0;  // one wake-up is enough until the driver asks again
    // Taking the delivery lock before the state lock is released keeps the
    // reports of two callers from interleaving.
    std::lock_guard deliverLock(m_deliverMutex);
    lock.unlock();
    if (stepSooner && m_stepDueHook)
        m_stepDueHook();
    if (m_sink) {
        for (const auto& report : d.reports)
            m_sink(report);
    }
    if (d.unplug && m_unplugHook)
        m_unplugHook();
    if (d.plug && m_plugHook)
        m_plugHook();
}

void MicBaseEmulator::setStepDueHook(StepDueHook hook)
{
    std::lock_guard lock(m_deliverMutex);
    m_stepDueHook = std::move(hook);
}

void MicBaseEmulator::setTimeSource(std::function<uint64_t()> nowMs)
{
    std::lock_guard lock(m_mutex);
    m_timeSource = std::move(nowMs);
}

void MicBaseEmulator::catchUpLocked()
{
    if (m_timeSource)
        m_nowMs = std::max(m_nowMs, m_timeSource());
}

uint64_t MicBaseEmulator::nextStepMs()
{
    std::lock_guard lock(m_mutex);
    m_stepPromisedMs = nextStepLocked();
    return m_stepPromisedMs;
}

uint64_t MicBaseEmulator::nextStepLocked() const
{
    uint64_t due = kNoStepDue;
    const auto atLatest = [&due](uint64_t ms) { due = std::min(due, ms); };
    if (m_powerOnAtMs)
        atLatest(*m_powerOnAtMs);
    if (m_unplugDue)
        atLatest(m_nowMs);
    if (!m_plugged)
        return due;
    if (!m_delayed.empty())
        atLatest(m_delayed.front().dueMs);
    atLatest(m_beaconSent ? m_lastBeaconMs + m_config.beaconPeriodMs : m_nowMs);
    if (const auto pull = m_pull.nextStepMs())
        atLatest(*pull);
    if (m_autoGain)
        atLatest(std::min(m_autoGain->nextLevelMs, m_autoGain->endMs));
    if (!m_stream.empty())
        atLatest(m_streamFaults.packFrames ? m_streamSinceMs + kPackHoldMs : m_nowMs);
    return due;
}

// --- transport ------------------------------------------------------------

void MicBaseEmulator::onOutputReport(const uint8_t* report, size_t length)
{
    std::unique_lock lock(m_mutex);
    catchUpLocked();
    if (!m_plugged)
        return;
    const std::vector<uint8_t> bytes = frameBytesFromOutputReport(m_config.model, report, length);
    std::vector<Frame> frames;
    m_decoder.feed(bytes.data(), bytes.size(), frames);
    for (const Frame& piece : frames) {
        if (!(piece.destination == m_config.address) && !piece.destination.isBroadcast())
            continue;  // another node's traffic
        if (piece.messageId == kMsgLink) {
            // Link messages are never fragments and must not break a reassembly.
            handleMessage(piece);
            continue;
        }
        Frame message;
        switch (m_reassembler.accept(piece, message)) {
        case Reassembler::Outcome::Pending:
        case Reassembler::Outcome::Discarded:
            break;
        case Reassembler::Outcome::Dropped:
            ++m_droppedMessages;
            break;
        case Reassembler::Outcome::Passed:
        case Reassembler::Outcome::Complete:
            handleMessage(message);
            break;
        }
    }
    cutReports(false);
    deliver(lock);
}

void MicBaseEmulator::step(uint64_t nowMs)
{
    std::unique_lock lock(m_mutex);
    // Input may have caught the time up past the clock reading of this step.
    nowMs = std::max(nowMs, m_nowMs);
    m_nowMs = nowMs;
    m_stepPromisedMs = 0;
    if (m_powerOnAtMs && nowMs >= *m_powerOnAtMs) {
        powerOn();
        m_outbox.plug = true;
    }
    if (m_unplugDue) {
        m_unplugDue = false;
        m_outbox.unplug = true;
        deliver(lock);
        return;
    }
    if (!m_plugged)
        return;
    // Off the queue before it goes on: queueWire empties the queue when an
    // armed unplug cuts this frame, and nothing is stepped once unplugged.
    while (m_plugged && !m_delayed.empty() && m_delayed.front().dueMs <= nowMs) {
        std::vector<uint8_t> bytes = std::move(m_delayed.front().bytes);
        m_delayed.pop_front();
        queueWire(std::move(bytes));
    }
    if (!m_plugged) {
        deliver(lock);
        return;
    }
    if (!m_beaconSent || nowMs - m_lastBeaconMs >= m_config.beaconPeriodMs)
        beaconLocked();
    applyPull(m_pull.step(nowMs), nullptr);
    stepAutoGain(nowMs);
    cutReports(!m_streamFaults.packFrames || nowMs - m_streamSinceMs >= kPackHoldMs);
    deliver(lock);
}

void MicBaseEmulator::beaconLocked()
{
    m_beaconSent = true;
    m_lastBeaconMs = m_nowMs;
    send(linkFrame(kTypeNotification, NodeAddress{}));
}

void MicBaseEmulator::sendBeacon()
{
    std::unique_lock lock(m_mutex);
    catchUpLocked();
    if (!m_plugged)
        return;
    beaconLocked();
    deliver(lock);
}

bool MicBaseEmulator::plugged() const
{
    std::lock_guard lock(m_mutex);
    return m_plugged;
}

void MicBaseEmulator::unplug()
{
    std::lock_guard lock(m_mutex);
    m_plugged = false;
}

void MicBaseEmulator::replug()
{
    std::unique_lock lock(m_mutex);
    catchUpLocked();
    powerOn();
    deliver(lock);  // nothing to send yet; the driver learns a beacon is due
}

void MicBaseEmulator::powerOn()
{
    m_powerOnAtMs.reset();
    m_pull.powerCycle();
    if (m_versionAnswer.size() > 10) {
        m_versionAnswer[9] = m_pull.major();
        m_versionAnswer[10] = m_pull.minor();
    }
    m_plugged = true;
    m_unplugArmed = false;
    m_unplugDue = false;
    m_decoder.reset();
    m_reassembler.reset();
    m_host.reset();
    m_hostMaxPayload = kMaxPayloadBytes;
    m_subscribers.clear();
    m_delayed.clear();
    m_stream.clear();
    m_streamFrames = 0;
    m_outbox = {};
    m_beaconSent = false;
    m_autoGain.reset();
}

// --- messages -------------------------------------------------------------

Frame MicBaseEmulator::linkFrame(uint8_t type, NodeAddress destination)
{
    Frame f;
    f.type = type;
    f.sequence = m_linkSequence++;
    f.source = m_config.address;
    f.destination = destination;
    f.messageId = kMsgLink;
    auto& p = f.payload;
    p.push_back(0);                          // link byte 0
    putU16(p, m_config.maxPayloadBytes);
    p.push_back(0);                          // hops
    p.push_back(0x01);                       // link bytes 4 and 5: non-zero, so the
    p.push_back(0x0A);                       // life is three link periods
    putU32(p, uint32_t(m_nowMs));            // uptime
    putU16(p, m_config.rate);
    p.push_back(m_config.linkPeriodCode);
    if (m_streamFaults.shortLinkPayloadBytes > 0 && m_streamFaults.shortLinkPayloadBytes < p.size())
        p.resize(m_streamFaults.shortLinkPayloadBytes);
    return f;
}

void MicBaseEmulator::handleLink(const Frame& message)
{
    if (message.payload.size() < kLinkPayloadBytes) {
        ++m_shortLinks;
        return;
    }
    if (message.source == m_config.address)
        return;
    m_host = message.source;
    const uint16_t maxPayload = getU16(message.payload.data() + 1);
    m_hostMaxPayload = uint16_t(std::min<size_t>(maxPayload, kMaxPayloadBytes));
    if (message.type == kTypeRequest && message.destination == m_config.address)
        send(linkFrame(kTypeReply, message.source));
}

void MicBaseEmulator::reply(const Frame& request, std::vector<uint8_t> payload)
{
    Frame f;
    f.type = kTypeReply;
    f.sequence = request.sequence;
    f.source = m_config.address;
    f.destination = request.source;
    f.messageId = request.messageId;
    f.payload = std::move(payload);
    send(std::move(f));
}

void MicBaseEmulator::handleMessage(const Frame& message)
{
    ReceivedMessage entry;
    entry.frame = message;
    entry.atMs = m_nowMs;
    entry.duplicate = std::any_of(m_received.begin(), m_received.end(), [&](const ReceivedMessage& r) {
        return r.frame.source == message.source && r.frame.messageId == message.messageId
               && r.frame.type == message.type && r.frame.sequence == message.sequence;
    });
    entry.unanswered = message.type == kTypeRequest && takeFault(FrameFault::Kind::Unanswered, message);
    pushBounded(m_received, entry);
    if (entry.unanswered)
        return;

    if (message.messageId == kMsgLink) {
        handleLink(message);
        return;
    }
    // Apart from link messages the device only answers what is meant for it.
    if (!(message.destination == m_config.address))
        return;

    const auto& p = message.payload;
    const bool request = message.type == kTypeRequest;
    switch (message.messageId) {
    case kMsgNodeName:
        if (request) {
            const size_t n = std::min<size_t>(m_config.name.size(), 255);
            std::vector<uint8_t> a = {0x00, uint8_t(n)};
            a.insert(a.end(), m_config.name.begin(), m_config.name.begin() + std::ptrdiff_t(n));
            reply(message, std::move(a));
        }
        break;
    case kMsgLogin:
    case kMsgLogout:
        if (request) {
            if (message.messageId == kMsgLogout)
                std::erase(m_subscribers, message.source);
            reply(message, {0x00});
        }
        break;
    case kMsgVersion:
        if (request)
            reply(message, m_versionAnswer);
        break;
    case kMsgPullUpgrade:
        if (m_config.model != Model::R7)
            applyPull(m_pull.onFrame(p, m_nowMs), &message);
        break;
    case kMsgSerial:
        if (request) {
            // Only reads are served: the serial number is not writable.
            if (p.empty() || p[0] != 0x00) {
                reply(message, {0x01});
            } else {
                std::vector<uint8_t> a = {0x00};
                a.insert(a.end(), m_config.serial.begin(), m_config.serial.end());
                reply(message, std::move(a));
            }
        }
        break;
    case kMsgAttrSet:
    case kMsgAttrGet:
    case kMsgAttrSetList:
    case kMsgAttrGetList:
    case kMsgAttrSubscribe:
        if (request) {
            std::vector<uint8_t> answer;
            m_written.clear();
            handleAttributes(message, answer);
            reply(message, std::move(answer));
            if (m_echoWrites) {
                for (uint8_t id : m_written)
                    notifySubscribers(id);
            }
        }
        break;
    case kMsgFactoryReset:
        if (!p.empty() && p[0] == 1)
            m_store.resetToDefaults();
        if (request)
            reply(message, {0x00});
        break;
    default:
        break;  // unknown ids are ignored, as firmware does
    }
}

bool MicBaseEmulator::writeAttribute(uint8_t id, const uint8_t* bytes, size_t length)
{
    if (m_store.set(id, bytes, length) != AttributeStore::Result::Ok)
        return false;
    // The factory-reset attribute is a trigger: the device resets and it reads 0 again.
    if (id == kAttrFactoryReset && length == 1 && bytes[0] == 1)
        m_store.resetToDefaults();
    if (id == kAttrAutoGain && m_config.model == Model::R7 && length == 1)
        startAutoGain(bytes[0] == 1);
    m_written.push_back(id);
    return true;
}

void MicBaseEmulator::startAutoGain(bool on)
{
    if (!on) {
        m_autoGain.reset();
        return;
    }
    m_autoGain = AutoGainRun{m_nowMs + kAutoGainLevelPeriodMs, m_nowMs + kAutoGainRunMs, 0, 0};
}

// A voice at a steady speaking level, then the gain the device settles on:
// the louder the voice, the lower the gain, within the attribute's range.
void MicBaseEmulator::stepAutoGain(uint64_t nowMs)
{
    if (!m_autoGain)
        return;
    AutoGainRun& run = *m_autoGain;
    while (run.nextLevelMs <= nowMs && run.nextLevelMs < run.endMs) {
        const uint8_t level = uint8_t(12 + (run.levels * 5) % 9);
        run.levelSum += level;
        ++run.levels;
        sendToHost(kMsgAutoGainLevel, {level});
        run.nextLevelMs += kAutoGainLevelPeriodMs;
    }
    if (nowMs < run.endMs)
        return;
    const int average = run.levels > 0 ? int(run.levelSum / run.levels) : 15;
    m_autoGain.reset();
    // The measurement attribute reads 0 again without a notification: the
    // host takes a reported 0 as a cancel.
    m_store.setFromDevice(kAttrAutoGain, {0});
    if (const AttributeDef* def = m_store.definition(kAttrMicGain)) {
        const int gain = std::clamp(30 - average, def->minValue, def->maxValue);
        m_store.setFromDevice(kAttrMicGain, {uint8_t(gain)});
        notifySubscribers(kAttrMicGain);
    }
}

void MicBaseEmulator::handleAttributes(const Frame& request, std::vector<uint8_t>& answer)
{
    const auto& p = request.payload;
    switch (request.messageId) {
    case kMsgAttrSet: {
        const uint8_t id = p.empty() ? 0 : p[0];
        if (p.size() < 2 || p[1] > p.size() - 2) {
            answer = {0x01, id};
            break;
        }
        answer = {uint8_t(writeAttribute(id, p.data() + 2, p[1]) ? 0x00 : 0x01), id};
        break;
    }
    case kMsgAttrGet: {
        const uint8_t id = p.empty() ? 0 : p[0];
        const auto* value = p.empty() ? nullptr : m_store.get(id);
        if (value == nullptr || value->empty()) {
            answer = {0x01, id, 0x00};
            break;
        }
        answer = {0x00, id, uint8_t(value->size())};
        answer.insert(answer.end(), value->begin(), value->end());
        break;
    }
    case kMsgAttrSetList: {
        std::vector<uint8_t> failed;
        size_t i = 0;
        while (i < p.size()) {
            const uint8_t id = p[i];
            if (i + 2 > p.size() || p[i + 1] > p.size() - i - 2) {
                failed.push_back(id);  // a truncated triple ends the list
                break;
            }
            const size_t n = p[i + 1];
            if (!writeAttribute(id, p.data() + i + 2, n))
                failed.push_back(id);
            i += 2 + n;
        }
        answer = {uint8_t(failed.empty() ? 0x00 : 0x01)};
        answer.insert(answer.end(), failed.begin(), failed.end());
        break;
    }
    case kMsgAttrGetList: {
        std::vector<uint8_t> ids;
        if (p.empty() || p[0] == 0) {
            ids = m_store.ids();
        } else {
            const size_t count = std::min<size_t>(p[0], p.size() - 1);
            ids.assign(p.begin() + 1, p.begin() + 1 + std::ptrdiff_t(count));
        }
        answer = {0x00};
        for (uint8_t id : ids) {
            const auto* value = m_store.get(id);
            if (value == nullptr || value->empty() || value->size() > 255)
                continue;
            // The answer must fit one message; what does not fit is left out.
            if (answer.size() + 2 + value->size() > kMaxPayloadBytes)
                continue;
            answer.push_back(id);
            answer.push_back(uint8_t(value->size()));
            answer.insert(answer.end(), value->begin(), value->end());
        }
        if (answer.size() == 1)
            answer = {0x01};
        break;
    }
    case kMsgAttrSubscribe: {
        if (p.empty() || (p[0] != 0x00 && p[0] != 0xFF)) {
            answer = {0x01};
            break;
        }
        const bool present = std::find(m_subscribers.begin(), m_subscribers.end(), request.source)
                             != m_subscribers.end();
        if (p[0] == 0x00 && !present && m_subscribers.size() < kMaxSubscribers)
            m_subscribers.push_back(request.source);
        else if (p[0] == 0xFF)
            std::erase(m_subscribers, request.source);
        answer = {0x00};
        break;
    }
    default:
        break;
    }
}

// --- sending --------------------------------------------------------------

bool MicBaseEmulator::takeFault(FrameFault::Kind kind, const Frame& frame, uint32_t* delayMs)
{
    for (auto& f : m_faults) {
        if (f.kind != kind || !matches(f, frame))
            continue;
        if (f.count > 0)
            --f.count;
        if (delayMs != nullptr)
            *delayMs = f.delayMs;
        return true;
    }
    return false;
}

void MicBaseEmulator::send(Frame frame)
{
    pushBounded(m_sent, frame);
    // Broadcasts are never cut; a host that takes no payload gets nothing.
    size_t chunk = kMaxPayloadBytes;
    if (!frame.destination.isBroadcast()) {
        if (m_hostMaxPayload == 0)
            return;
        chunk = m_hostMaxPayload;
    }
    for (Frame& piece : splitIntoPieces(frame, chunk)) {
        if (takeFault(FrameFault::Kind::Drop, piece))
            continue;
        const bool corrupt = takeFault(FrameFault::Kind::CorruptChecksum, piece);
        const bool twice = takeFault(FrameFault::Kind::Duplicate, piece);
        uint32_t delayMs = 0;
        const bool delayed = takeFault(FrameFault::Kind::Delay, piece, &delayMs);
        std::vector<uint8_t> bytes;
        if (!encodeFrame(piece, bytes))
            continue;
        if (corrupt)
            bytes.back() = uint8_t(bytes.back() + 1);
        for (int copy = 0; copy < (twice ? 2 : 1); ++copy) {
            if (delayed) {
                Outgoing o{bytes, m_nowMs + delayMs};
                // Keep the queue in due order.
                auto it = std::upper_bound(m_delayed.begin(), m_delayed.end(), o.dueMs,
                                           [](uint64_t due, const Outgoing& x) { return due < x.dueMs; });
                m_delayed.insert(it, std::move(o));
            } else {
                queueWire(bytes);
            }
        }
    }
}

void MicBaseEmulator::queueWire(std::vector<uint8_t> bytes)
{
    if (m_streamFrames == 0)
        m_streamSinceMs = m_nowMs;
    if (m_streamFaults.garbageBetweenFrames) {
        std::uniform_int_distribution<size_t> count(1, kMaxGarbageBytes);
        std::uniform_int_distribution<int> value(0, 255);
        for (size_t n = count(m_rng); n > 0; --n) {
            uint8_t b = uint8_t(value(m_rng));
            m_stream.push_back(b == kFrameStart ? 0x00 : b);
        }
    }
    if (m_unplugArmed) {
        // Only the first report's worth of this frame leaves, then the plug is pulled.
        m_unplugArmed = false;
        const size_t keep = std::min(bytes.size() - 1, m_layout.inputChunkBytes);
        m_stream.insert(m_stream.end(), bytes.begin(), bytes.begin() + std::ptrdiff_t(keep));
        ++m_streamFrames;
        // Unpadded, so that the host's parser is left inside the frame.
        cutReports(true, false);
        m_plugged = false;
        m_unplugDue = true;
        m_delayed.clear();
        return;
    }
    if (!m_plugged)
        return;
    m_stream.insert(m_stream.end(), bytes.begin(), bytes.end());
    ++m_streamFrames;
    if (!m_streamFaults.packFrames)
        cutReports(true);
}

void MicBaseEmulator::cutReports(bool force, bool padLast)
{
    if (m_stream.empty())
        return;
    if (!force && !(m_streamFaults.packFrames && m_streamFrames >= 2))
        return;
    const size_t chunk = m_layout.inputChunkBytes;
    size_t offset = 0;
    while (offset < m_stream.size()) {
        size_t n = chunk;
        if (m_streamFaults.splitReports)
            n = std::uniform_int_distribution<size_t>(1, chunk)(m_rng);
        n = std::min(n, m_stream.size() - offset);
        // The host passes padding on to its parser as stream bytes, so only
        // the report that ends the stream is padded: its zeros fall between frames.
        const bool last = offset + n == m_stream.size();
        m_outbox.reports.push_back(makeInputReport(m_config.model, m_stream.data() + offset, n, last && padLast));
        offset += n;
    }
    m_stream.clear();
    m_streamFrames = 0;
}

bool MicBaseEmulator::sendToHost(uint16_t messageId, std::vector<uint8_t> payload)
{
    if (!m_plugged || !m_host)
        return false;
    Frame f;
    f.type = kTypeNotification;
    f.sequence = ++m_sequence;
    f.source = m_config.address;
    f.destination = *m_host;
    f.messageId = messageId;
    f.payload = std::move(payload);
    send(std::move(f));
    return true;
}

// --- device-side events ---------------------------------------------------

bool MicBaseEmulator::sendAutoGainLevel(uint8_t level)
{
    std::unique_lock lock(m_mutex);
    catchUpLocked();
    const bool ok = sendToHost(kMsgAutoGainLevel, {level});
    deliver(lock);
    return ok;
}

bool MicBaseEmulator::pressKnob(uint8_t value)
{
    std::unique_lock lock(m_mutex);
    catchUpLocked();
    const bool ok = sendToHost(kMsgKnobHotkey, {value});
    deliver(lock);
    return ok;
}

bool MicBaseEmulator::changeAttribute(uint8_t id, const std::vector<uint8_t>& value)
{
    std::unique_lock lock(m_mutex);
    if (m_store.setFromDevice(id, value) != AttributeStore::Result::Ok)
        return false;
    lock.unlock();
    floodNotifications(id, 1);
    return true;
}

void MicBaseEmulator::floodNotifications(uint8_t id, int count)
{
    std::unique_lock lock(m_mutex);
    catchUpLocked();
    for (int i = 0; i < count; ++i)
        notifySubscribers(id);
    deliver(lock);
}

void MicBaseEmulator::setEchoWrites(bool on)
{
    std::lock_guard lock(m_mutex);
    m_echoWrites = on;
}

void MicBaseEmulator::notifySubscribers(uint8_t id)
{
    const auto* value = m_store.get(id);
    if (value == nullptr || value->size() > 255 || !m_plugged)
        return;
    std::vector<uint8_t> payload = {id, uint8_t(value->size())};
    payload.insert(payload.end(), value->begin(), value->end());
    for (const NodeAddress& subscriber : m_subscribers) {
        Frame f;
        f.type = kTypeNotification;
        f.sequence = ++m_sequence;
        f.source = m_config.address;
        f.destination = subscriber;
        f.messageId = kMsgAttrSubscribe;
        f.payload = payload;
        send(std::move(f));
    }
}

// --- firmware -------------------------------------------------------------

void MicBaseEmulator::applyPull(PullUpgradeDevice::Output out, const Frame* request)
{
    for (auto& m : out.messages) {
        if (m.fault)
            m_faults.insert(m_faults.begin(), FrameFault{*m.fault, kMsgPullUpgrade, FrameFault::kAny, 1, 0});
        if (m.asReply && request != nullptr)
            reply(*request, std::move(m.payload));
        else
            sendToHost(kMsgPullUpgrade, std::move(m.payload));
    }
    if (out.powerLost || out.reboot) {
        // Off the bus like a pulled plug; what is still queued is lost.
        m_plugged = false;
        m_delayed.clear();
        m_outbox.unplug = true;
        if (out.reboot)
            m_powerOnAtMs = m_nowMs + m_config.pull.bootMs;
    }
}

void MicBaseEmulator::setPullFault(const PullFault& fault)
{
    std::lock_guard lock(m_mutex);
    m_pull.setFault(fault);
}

std::vector<uint8_t> MicBaseEmulator::firmwareBody() const
{
    std::lock_guard lock(m_mutex);
    return m_pull.flash();
}

std::pair<uint8_t, uint8_t> MicBaseEmulator::firmwareVersion() const
{
    std::lock_guard lock(m_mutex);
    return {m_pull.major(), m_pull.minor()};
}

size_t MicBaseEmulator::pullBlocksWritten() const
{
    std::lock_guard lock(m_mutex);
    return m_pull.blocksWritten();
}

// --- fault menu -----------------------------------------------------------

void MicBaseEmulator::addFault(const FrameFault& fault)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back(fault);
}

void MicBaseEmulator::clearFaults()
{
    std::lock_guard lock(m_mutex);
    m_faults.clear();
    m_streamFaults = {};
    m_unplugArmed = false;
}

void MicBaseEmulator::setStreamFaults(const StreamFaults& faults)
{
    std::lock_guard lock(m_mutex);
    m_streamFaults = faults;
}

void MicBaseEmulator::unplugMidFrame()
{
    std::lock_guard lock(m_mutex);
    m_unplugArmed = true;
}

// --- inspection -----------------------------------------------------------

std::vector<ReceivedMessage> MicBaseEmulator::received() const
{
    std::lock_guard lock(m_mutex);
    return m_received;
}

size_t MicBaseEmulator::receivedCount(uint16_t messageId, bool withDuplicates) const
{
    std::lock_guard lock(m_mutex);
    return size_t(std::count_if(m_received.begin(), m_received.end(), [&](const ReceivedMessage& r) {
        return r.frame.messageId == messageId && (withDuplicates || !r.duplicate);
    }));
}

std::vector<Frame> MicBaseEmulator::sent() const
{
    std::lock_guard lock(m_mutex);
    return m_sent;
}

AttributeStore MicBaseEmulator::attributes() const
{
    std::lock_guard lock(m_mutex);
    return m_store;
}

std::optional<NodeAddress> MicBaseEmulator::host() const
{
    std::lock_guard lock(m_mutex);
    return m_host;
}

std::vector<NodeAddress> MicBaseEmulator::subscribers() const
{
    std::lock_guard lock(m_mutex);
    return m_subscribers;
}

FrameDecoder::Stats MicBaseEmulator::decoderStats() const
{
    std::lock_guard lock(m_mutex);
    return m_decoder.stats();
}

bool MicBaseEmulator::midFrame() const
{
    std::lock_guard lock(m_mutex);
    return m_decoder.midFrame();
}

uint64_t MicBaseEmulator::shortLinkMessages() const
{
    std::lock_guard lock(m_mutex);
    return m_shortLinks;
}

uint64_t MicBaseEmulator::droppedMessages() const
{
    std::lock_guard lock(m_mutex);
    return m_droppedMessages;
}

}  // namespace veloran::emu
