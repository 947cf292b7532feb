// Filter designs measured from their coefficients, the section recursion
// against a double reference, the band and chain rules, and a seeded sweep of
// hostile parameters that must never leave a filter unstable.
#include "DspTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

using namespace dsptest;

namespace {

std::unique_ptr<FBiquadFilter> band(int type, float hz, float octaves, float db, int channels = 1)
{
    auto f = std::make_unique<FBiquadFilter>();
    f->init(float(kRate), channels, type, hz, octaves, db);
    return f;
}

// Coefficients and history, bit for bit (the object has padding).
bool sameBits(const FBiquad *a, const FBiquad *b, int count)
{
    for (int i = 0; i < count; ++i) {
        const float x[] = {a[i].b0, a[i].b1, a[i].b2, a[i].a1, a[i].a2, a[i].in1, a[i].in2, a[i].out1, a[i].out2};
        const float y[] = {b[i].b0, b[i].b1, b[i].b2, b[i].a1, b[i].a2, b[i].in1, b[i].in2, b[i].out1, b[i].out2};
        if (std::memcmp(x, y, sizeof x) != 0)
            return false;
    }
    return true;
}

// The frequency between lo and hi where the response crosses `db`.
double crossing(const FBiquad &s, double db, double lo, double hi)
{
    const bool rising = responseDb(s, lo) < db;
    for (int i = 0; i < 100; ++i) {
        const double mid = std::sqrt(lo * hi);
        ((responseDb(s, mid) < db) == rising ? lo : hi) = mid;
    }
    return std::sqrt(lo * hi);
}

TEST(BiquadDesign, ResponsesOfEveryType)
{
    struct Probe {
        const char *what;
        int type;
        float hz, octaves, db;
        double at, wantDb, tolDb;
    };
    const double hpCorner = 75.0 * 1.7320508;
    const Probe probes[] = {
        {"peaking at f0", 5, 1000, 1, 6, 1000, 6.0, 0.01},
        {"peaking at DC", 5, 1000, 1, 6, 0, 0.0, 0.01},
        {"peaking at Nyquist", 5, 1000, 1, 6, kRate / 2, 0.0, 0.01},
        {"low-pass at fc", 0, 1000, 1, 0, 1000, -3.01, 0.02},
        {"type out of range is low-pass", 9, 1000, 1, 0, 1000, -3.01, 0.02},
        {"high-pass at fc", 1, 1000, 1, 0, 1000, -3.01, 0.02},
        {"first-order high-pass at base", 2, float(hpCorner), 1, 0, 75, -6.02, 0.01},
        {"first-order high-pass at fc", 2, float(hpCorner), 1, 0, hpCorner, -3.01, 0.01},
        {"first-order high-pass at 1 kHz", 2, float(hpCorner), 1, 0, 1000, -0.07, 0.01},
        {"all-pass at f0", 6, 1000, 1, 0, 1000, 0.0, 1e-4},
        {"all-pass off f0", 6, 1000, 1, 0, 7000, 0.0, 1e-4},
        {"band-pass peak", 3, 1000, 1, 0, 1000, 0.0, 0.01},
    };
    for (const Probe &p : probes) {
        const auto f = band(p.type, p.hz, p.octaves, p.db);
        EXPECT_NEAR(responseDb(f->sections[0], p.at), p.wantDb, p.tolDb) << p.what;
    }
    EXPECT_LT(responseDb(band(4, 1000, 1, 0)->sections[0], 1000), -60.0) << "notch";
    const double phase = std::arg(response(band(6, 1000, 1, 0)->sections[0], 1000)) * 180.0 / M_PI;
    EXPECT_NEAR(std::fabs(phase), 180.0, 0.5) << "all-pass phase at f0";

    // A cut is the exact mirror of the boost, and the band is one octave
    // between its half-gain points.
    const auto boostBand = band(5, 1000, 1, 6);
    const auto cutBand = band(5, 1000, 1, -6);
    const FBiquadFilter &boost = *boostBand, &cut = *cutBand;
    for (int i = 0; i < 20; ++i) {
        const double hz = 20.0 * std::pow(1000.0, i / 19.0);
        EXPECT_NEAR(responseDb(cut.sections[0], hz), -responseDb(boost.sections[0], hz), 0.001) << hz;
    }
    EXPECT_NEAR(crossing(boost.sections[0], 3.0, 100, 1000) / (1000 / std::sqrt(2.0)), 1.0, 0.005);
    EXPECT_NEAR(crossing(boost.sections[0], 3.0, 1000, 10000) / (1000 * std::sqrt(2.0)), 1.0, 0.005);
}

TEST(BiquadProcessing, RecursionMatchesDoubleReferenceAndFallsToExactZero)
{
    FBiquad s = band(5, 1000, 1, 6)->sections[0];
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (int n = 0; n < 2000; ++n) {
        const double x = n == 0 ? 1.0 : 0.0;
        const double want = s.b0 * x + s.b1 * x1 + s.b2 * x2 - s.a1 * y1 - s.a2 * y2;
        x2 = x1, x1 = x, y2 = y1, y1 = want;
        EXPECT_NEAR(s.process(float(x)), want, 1e-6) << n;
    }
    float y = 1.0f;
    for (int n = 0; n < 1000000; ++n)
        y = s.process(0.0f);
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(s.out1, 0.0f);
    EXPECT_EQ(s.out2, 0.0f);
}

TEST(BiquadProcessing, BandAndChainRules)
{
    // An unchanged set keeps every bit of coefficients and history; the
    // 20 Hz floor counts as unchanged.
    const auto owned = band(5, 10, 1, 3, 2);
    FBiquadFilter &f = *owned;
    EXPECT_EQ(f.frequency, 20.0f);
    float frame[2] = {0.5f, -0.25f};
    f.process(frame, frame);
    std::vector<FBiquad> before(f.sections.get(), f.sections.get() + 2);
    f.set(5, 15, 1, 3);
    EXPECT_TRUE(sameBits(before.data(), f.sections.get(), 2));
    f.set(5, 40, 1, 3);
    EXPECT_NE(f.sections[0].b1, before[0].b1);
    EXPECT_EQ(f.sections[0].in1, before[0].in1) << "a changed set keeps the history";

    // A disabled band copies its input and its history stays frozen.
    f.setEnabled(false);
    before.assign(f.sections.get(), f.sections.get() + 2);
    const float in[2] = {0.75f, 0.125f};
    float out[2] = {};
    f.process(in, out);
    EXPECT_EQ(out[0], in[0]);
    EXPECT_EQ(out[1], in[1]);
    EXPECT_TRUE(sameBits(before.data(), f.sections.get(), 2));

    // In place equals apart; a non-finite sample enters as 0.
    FBiquadChain apart, inPlace;
    ASSERT_TRUE(apart.init(48000, 3, 2));
    ASSERT_TRUE(inPlace.init(48000, 3, 2));
    for (FBiquadChain *c : {&apart, &inPlace}) {
        c->setBand(0, 200, 1, 6, 5);
        c->setBand(1, 3000, 2, -4, 5);
        c->setBand(2, 80, 1, 0, 1);
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (int n = 0; n < 500; ++n) {
        float src[2] = {float(std::sin(n * 0.05)), n == 7 ? nan : (n == 9 ? -inf : float(std::cos(n * 0.3)))};
        float dst[2];
        apart.processFrame(src, dst);
        inPlace.processFrame(src, src);
        ASSERT_EQ(std::memcmp(src, dst, sizeof dst), 0) << n;
        ASSERT_TRUE(std::isfinite(dst[1])) << n;
    }

    // More channels than the scratch frame holds are refused; an empty chain
    // and out-of-range indices touch nothing.
    FBiquadChain wide;
    EXPECT_FALSE(wide.init(48000, 12, 12));
    EXPECT_FALSE(wide.init(48000, 12, 0));
    EXPECT_EQ(wide.bandCount, 0);
    wide.setBand(0, 1000, 1, 6, 5);
    float untouched[2] = {3.0f, 4.0f};
    wide.processFrame(frame, untouched);
    EXPECT_EQ(untouched[0], 3.0f);
    apart.setBandGain(3, 12);
    apart.setBandEnabled(-1, false);
    EXPECT_TRUE(apart.bands[2].enabled);
}

// Hostile parameters through every entry point: the coefficients stay inside
// the stability triangle, so no input can make the output grow without bound.
TEST(BiquadDesign, HostileParametersNeverGiveAnUnstableBand)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::mt19937 rng(20261209);
    auto pick = [&](float rate) {
        const float specials[] = {0.0f, rate / 2, rate, -1.0f, -rate, nan, inf, -inf, 1e30f, -1e30f, 1e-30f, 1.0f};
        std::uniform_int_distribution<int> which(0, 15);
        const int i = which(rng);
        if (i < 12)
            return specials[i];
        return std::uniform_real_distribution<float>(-100.0f, 30000.0f)(rng);
    };
    std::uniform_int_distribution<int> typeOf(-2, 8), entryOf(0, 4);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);

    for (int set = 0; set < 100000; ++set) {
        const float rates[] = {48000.0f, 44100.0f, 8000.0f, 0.0f, -48000.0f, nan, inf, 1e30f, 1.0f};
        const float rate = rates[set % 9];
        FBiquadFilter f;
        f.init(rate, 1, typeOf(rng), pick(rate), pick(8.0f), pick(96.0f));
        switch (entryOf(rng)) {
        case 0: f.set(typeOf(rng), pick(rate), pick(8.0f), pick(96.0f)); break;
        case 1: f.setFrequency(pick(rate)); break;
        case 2: f.setBandwidth(pick(8.0f)); break;
        case 3: f.setGain(pick(96.0f)); f.setType(5); break;
        default: break;
        }
        ASSERT_TRUE(insideStabilityTriangle(f.sections[0]))
            << "set " << set << " type " << f.type << " rate " << rate << " f " << f.frequency << " bw "
            << f.bandwidth << " gain " << f.gainDb;
        if (set % 1000 == 0) {
            float peak = 0.0f;
            for (int n = 0; n < 48000; ++n) {
                const float in = noise(rng);
                float out;
                f.process(&in, &out);
                peak = std::max(peak, std::fabs(out));
            }
            ASSERT_TRUE(std::isfinite(peak)) << set;
            ASSERT_LT(peak, 1e4f) << set;
        }
    }

    for (int c = 0; c < 20; ++c) {
        FBiquadChain chain;
        ASSERT_TRUE(chain.init(48000, 12, 2));
        for (int i = 0; i < 12; ++i)
            chain.setBand(i, pick(48000), pick(8), pick(96), typeOf(rng));
        bool finite = true;
        for (int n = 0; n < 48000; ++n) {
            float frame[2] = {noise(rng), noise(rng)};
            chain.processFrame(frame, frame);
            finite = finite && std::isfinite(frame[0]) && std::isfinite(frame[1]);
        }
        EXPECT_TRUE(finite) << "chain " << c;
    }
}

} // namespace
