#include "platform/windows/routerAudio/AudioRouterServiceImpl.h"
#include "platform/windows/routerAudio/CatmullRom.h"

#include <algorithm>
#include <cmath>
#include <cstring>

void resetMonitorResampler(AudioRouterService::Impl &engine)
{
    if (engine.monitorState)
        src_delete(engine.monitorState);
    engine.monitorState = nullptr;
    engine.monitorSrcRate = 0.0;
    engine.monitorDstRate = 0.0;
    engine.monitorStash.clear();
}

void cubicResample(const float *in, uint32_t inFrames, double srcRate, float *out, uint32_t outFrames,
                   double dstRate)
{
    if (inFrames == 0) {
        std::fill(out, out + static_cast<size_t>(outFrames) * 2, 0.0f);
        return;
    }
    const float step = static_cast<float>(srcRate / dstRate);
    for (uint32_t i = 0; i < outFrames; ++i) {
        const float position = static_cast<float>(i) * step;
        for (size_t c = 0; c < 2; ++c)
            out[static_cast<size_t>(i) * 2 + c] = catmullRomAt(in, inFrames, position, c);
    }
}

void resampleMonitor(AudioRouterService::Impl &engine, const float *in, uint32_t inFrames, double srcRate,
                     float *out, uint32_t outFrames, double dstRate)
{
    if (outFrames == 0)
        return;
    const size_t outSamples = static_cast<size_t>(outFrames) * 2;
    if (inFrames == 0 || !(srcRate > 0.0) || !(dstRate > 0.0)) {
        std::fill(out, out + outSamples, 0.0f);
        return;
    }
    if (std::fabs(srcRate - dstRate) < 0.5) {
        const size_t copied = static_cast<size_t>(std::min(inFrames, outFrames)) * 2;
        std::copy(in, in + copied, out);
        std::fill(out + copied, out + outSamples, 0.0f);
        return;
    }

    if (!engine.monitorState || engine.monitorSrcRate != srcRate || engine.monitorDstRate != dstRate) {
        resetMonitorResampler(engine);
        int error = 0;
        engine.monitorState = engine.monitorSrcNew(SRC_SINC_BEST_QUALITY, 2, &error);
        if (!engine.monitorState) {
            engine.print(PaLogLine(false) << "[Solo] src_new failed (err=" << error
                                          << "); using cubic fallback srcRate=" << srcRate
                                          << " dstRate=" << dstRate);
            cubicResample(in, inFrames, srcRate, out, outFrames, dstRate);
            return;
        }
        engine.monitorSrcRate = srcRate;
        engine.monitorDstRate = dstRate;
        engine.monitorStash.clear();
        engine.monitorStash.reserve(outSamples * 4);
        engine.print(PaLogLine(false) << "[Solo] LibSR engaged, srcRate=" << srcRate << " dstRate=" << dstRate
                                      << ", conv=SINC_BEST_QUALITY (streaming + stash)");
    }

    const double ratio = dstRate / srcRate;
    if (!src_is_valid_ratio(ratio)) { // the converter would refuse it
        cubicResample(in, inFrames, srcRate, out, outFrames, dstRate);
        return;
    }
    const long capacity = static_cast<long>(inFrames * ratio + 0.5) + 32;
    thread_local std::vector<float> scratch;
    scratch.assign(static_cast<size_t>(capacity) * 2, 0.0f);

    SRC_DATA data{};
    data.data_in = in;
    data.input_frames = static_cast<long>(inFrames);
    data.data_out = scratch.data();
    data.output_frames = capacity;
    data.src_ratio = ratio;
    data.end_of_input = 0;
    if (src_process(engine.monitorState, &data) != 0) {
        cubicResample(in, inFrames, srcRate, out, outFrames, dstRate);
        return;
    }

    // The stash holds at most four blocks (reserved above), so appending and
    // trimming stay inside its capacity.
    std::vector<float> &stash = engine.monitorStash;
    const size_t generated = static_cast<size_t>(data.output_frames_gen) * 2;
    const size_t cap = outSamples * 4;
    const size_t keepOld = std::min(stash.size(), cap - std::min(generated, cap));
    stash.erase(stash.begin(), stash.end() - static_cast<std::ptrdiff_t>(keepOld));
    const size_t fresh = std::min(generated, cap);
    stash.insert(stash.end(), scratch.begin() + static_cast<std::ptrdiff_t>(generated - fresh),
                 scratch.begin() + static_cast<std::ptrdiff_t>(generated));

    if (stash.size() < outSamples) {
        std::fill(out, out + outSamples, 0.0f);
        return;
    }
    std::copy(stash.begin(), stash.begin() + static_cast<std::ptrdiff_t>(outSamples), out);
    stash.erase(stash.begin(), stash.begin() + static_cast<std::ptrdiff_t>(outSamples));
}
