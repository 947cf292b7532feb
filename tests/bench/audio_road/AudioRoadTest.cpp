// The demonstration run as users run it: audio_sim_demo in lockstep (and
// once on the real clock) into a private folder, and what it wrote analysed per channel. Each tone must be
// there at its level, others' tones far below, without gaps or clicks; the
// gate (the virtual output losing and regaining the default) silences and
// restores all three recordings within the endpoint monitor's second.
#include "WavFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
constexpr double kRate = 48000.0;

struct Tone {
    double hz;
    double amplitude;
};

struct Expectation {
    const char *file;
    std::vector<Tone> tones;
};

const std::vector<double> kAllTones = {250.0, 440.0, 1000.0};

double goertzelAmplitude(const std::vector<float> &x, double hz)
{
    const double w = 2.0 * M_PI * hz / kRate;
    const double c = 2.0 * std::cos(w);
    double s1 = 0.0, s2 = 0.0;
    for (float v : x) {
        const double s = v + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 2.0 * std::sqrt(std::max(power, 0.0)) / double(x.size());
}

// The tone's amplitude over 100 ms windows (whole cycles of every tone),
// their powers averaged: a source block arriving late shifts the phase of
// what follows, which one long window would count as a loss. Windows the
// machine stalled in are left out.
double toneAmplitude(const std::vector<float> &x, const std::vector<bool> &stalled, double hz)
{
    constexpr size_t kWindow = 4800;
    double power = 0.0;
    size_t windows = 0;
    for (size_t from = 0; from + kWindow <= x.size(); from += kWindow) {
        if (std::find(stalled.begin() + long(from), stalled.begin() + long(from + kWindow), true)
            != stalled.begin() + long(from + kWindow))
            continue;
        const double a = goertzelAmplitude(std::vector<float>(x.begin() + long(from), x.begin() + long(from + kWindow)), hz);
        power += a * a;
        ++windows;
    }
    return windows ? std::sqrt(power / double(windows)) : 0.0;
}

// Where a tone fell 3 dB or more below its level in a 10 ms window
// (windows 5 ms apart), what the machine stalled in left out. Every tone of
// the road is fitted at once, by least squares on its sine and cosine, so
// neither another tone's leakage nor a short window hides a hole.
struct ToneDips {
    size_t windows = 0;
    size_t firstFrame = 0;
    double worstDb = 0.0;
};

std::vector<ToneDips> toneDips(const std::vector<float> &x, const std::vector<bool> &stalled, size_t firstFrame,
                               const std::vector<Tone> &tones)
{
    constexpr size_t kWindow = 480, kHop = 240, kTerms = 6;
    double basis[kTerms][kWindow];
    for (size_t k = 0; k < kTerms; ++k)
        for (size_t t = 0; t < kWindow; ++t) {
            const double phase = 2.0 * M_PI * kAllTones[k / 2] * double(t) / kRate;
            basis[k][t] = k % 2 ? std::sin(phase) : std::cos(phase);
        }
    // The inverse of the basis's Gram matrix, by Gauss-Jordan elimination.
    double gram[kTerms][2 * kTerms] = {};
    for (size_t i = 0; i < kTerms; ++i) {
        for (size_t j = 0; j < kTerms; ++j)
            for (size_t t = 0; t < kWindow; ++t)
                gram[i][j] += basis[i][t] * basis[j][t];
        gram[i][kTerms + i] = 1.0;
    }
    for (size_t i = 0; i < kTerms; ++i) {
        const double pivot = gram[i][i];
        for (double &v : gram[i])
            v /= pivot;
        for (size_t r = 0; r < kTerms; ++r)
            if (r != i) {
                const double f = gram[r][i];
                for (size_t c = 0; c < 2 * kTerms; ++c)
                    gram[r][c] -= f * gram[i][c];
            }
    }
    std::vector<ToneDips> dips(tones.size());
    for (size_t from = 0; from + kWindow <= x.size(); from += kHop) {
        if (std::find(stalled.begin() + long(from), stalled.begin() + long(from + kWindow), true)
            != stalled.begin() + long(from + kWindow))
            continue;
        double projection[kTerms] = {};
        for (size_t k = 0; k < kTerms; ++k)
            for (size_t t = 0; t < kWindow; ++t)
                projection[k] += basis[k][t] * x[from + t];
        for (size_t i = 0; i < tones.size(); ++i) {
            const size_t k = 2 * size_t(std::find(kAllTones.begin(), kAllTones.end(), tones[i].hz) - kAllTones.begin());
            double c = 0.0, s = 0.0;
            for (size_t j = 0; j < kTerms; ++j) {
                c += gram[k][kTerms + j] * projection[j];
                s += gram[k + 1][kTerms + j] * projection[j];
            }
            const double db = 20.0 * std::log10(std::max(std::hypot(c, s), 1e-9) / tones[i].amplitude);
            if (db <= -3.0 && dips[i].windows++ == 0)
                dips[i].firstFrame = firstFrame + from;
            dips[i].worstDb = std::min(dips[i].worstDb, db);
        }
    }
    return dips;
}

std::string decibels(double db)
{
    char text[24];
    std::snprintf(text, sizeof text, "%.1f dB", db);
    return text;
}

std::vector<float> channel(const WavAudio &wav, int ch, size_t from, size_t to)
{
    std::vector<float> out;
    for (size_t f = from; f < to; ++f)
        out.push_back(wav.samples[f * 2 + ch]);
    return out;
}

struct DemoRun {
    std::string dir;
    std::string output;
    int status = -1;
};

DemoRun runDemo(const std::string &name, const std::string &options)
{
    DemoRun run;
    run.dir = (fs::temp_directory_path() / ("audio_road_test_" + name + "_" + std::to_string(::getpid()))).string();
    fs::remove_all(run.dir);
    fs::create_directories(run.dir);
    const std::string log = run.dir + "/demo.log";
    const std::string command = "TMPDIR='" + run.dir + "' '" + VELORAN_AUDIO_SIM_DEMO + "' --clock lockstep --seconds 6 --out-dir '"
                                + run.dir + "' " + options + " > '" + log + "' 2>&1";
    run.status = std::system(command.c_str());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    return run;
}

WavAudio load(const DemoRun &run, const char *file)
{
    WavAudio wav;
    std::string error;
    EXPECT_TRUE(readWav(run.dir + "/" + file, wav, error)) << file << ": " << error;
    EXPECT_EQ(wav.sampleRate, 48000u);
    EXPECT_EQ(wav.channels, 2u);
    return wav;
}

// The values of the last "[levels]" line by source id.
std::map<std::string, double> lastLevels(const std::string &output)
{
    std::map<std::string, double> levels;
    std::istringstream lines(output);
    std::string line, last;
    while (std::getline(lines, line))
        if (line.rfind("[levels] ", 0) == 0)
            last = line;
    std::istringstream words(last);
    std::string word;
    while (words >> word) {
        const auto eq = word.find('=');
        if (eq != std::string::npos)
            levels[word.substr(0, eq)] = std::atof(word.c_str() + eq + 1);
    }
    return levels;
}

// Frames of each recording the machine did not serve in time, from the
// "[stall] file first last" lines; all of them when the demo could not keep
// count of its stalls.
std::map<std::string, std::vector<bool>> stalledFrames(const std::string &output, const std::map<std::string, size_t> &frames)
{
    std::map<std::string, std::vector<bool>> stalled;
    const bool uncounted = output.find("not kept 0,") == std::string::npos;
    for (const auto &[file, count] : frames)
        stalled[file].assign(count, uncounted);
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string tag, file;
        size_t first = 0, last = 0;
        if (words >> tag >> file >> first >> last && tag == "[stall]" && stalled.count(file))
            std::fill(stalled[file].begin() + long(std::min(first, frames.at(file))),
                      stalled[file].begin() + long(std::min(last, frames.at(file))), true);
    }
    return stalled;
}

// The "[margin] monitor" line: of the player's packets pushed before the
// monitor's pull that began it, and before the pull before that one, how
// many certainly and how many possibly. It tells the margin only when the
// pulls came in turn: every count certain, the two one packet apart.
struct MarginStart {
    bool began = false;
    bool inTurn = false;
    size_t blocks = 0; // of the player's, waiting when the monitor began it
    std::string line;
};

MarginStart marginStart(const std::string &output)
{
    MarginStart m;
    const auto at = output.find("[margin] monitor");
    if (at == std::string::npos)
        return m;
    m.line = output.substr(at, output.find('\n', at) - at);
    std::istringstream words(m.line.substr(std::strlen("[margin] monitor")));
    size_t possible = 0, certainBefore = 0, possibleBefore = 0;
    m.began = static_cast<bool>(words >> m.blocks >> possible >> certainBefore >> possibleBefore);
    m.inTurn = m.began && m.blocks == possible && certainBefore == possibleBefore && m.blocks == certainBefore + 1;
    return m;
}

// The number after a label of the summary line ("program late 2 (...").
uint64_t figure(const std::string &output, const std::string &label)
{
    const auto at = output.find(label, output.find("[road] summary:"));
    return at == std::string::npos ? UINT64_MAX : std::strtoull(output.c_str() + at + label.size(), nullptr, 10);
}

// The demo's lines that begin with one of the tags.
std::string linesTagged(const std::string &output, std::initializer_list<const char *> tags)
{
    std::string found;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        for (const char *tag : tags)
            if (line.rfind(tag, 0) == 0)
                found += "\n" + line;
    return found;
}

// Width and height of a PNG, from its header chunk.
bool pngSize(const std::string &path, uint32_t &width, uint32_t &height)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char head[24] = {};
    if (!in.read(reinterpret_cast<char *>(head), sizeof head) || std::memcmp(head + 12, "IHDR", 4) != 0)
        return false;
    width = uint32_t(head[16]) << 24 | uint32_t(head[17]) << 16 | uint32_t(head[18]) << 8 | head[19];
    height = uint32_t(head[20]) << 24 | uint32_t(head[21]) << 16 | uint32_t(head[22]) << 8 | head[23];
    return true;
}

// Lockstep runs are exact. The real clock is judged as strictly where the
// machine kept time; what a stall covers is left out. A run stalled through
// most of its length is tried again, and skipped when every try was.
struct RoadCase {
    const char *name;
    const char *options;
};

constexpr int kTries = 3;

void PrintTo(const RoadCase &c, std::ostream *os)
{
    *os << c.name;
}

class AudioRoadTest : public testing::TestWithParam<RoadCase> {};

TEST_P(AudioRoadTest, EachRecordingHoldsItsTonesWithoutGapsOrClicks)
{
    const RoadCase &road = GetParam();
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // Instrumented threads run several times slower than their devices.
    if (std::string(road.name) == "real")
        GTEST_SKIP() << "the real clock is not kept under a sanitizer";
#endif
    const std::vector<Expectation> expected = {
        {"stream_mix.wav", {{1000.0, 0.15}, {250.0, 0.2}}},
        {"listen_bus.wav", {{440.0, 0.3}, {250.0, 0.2}}},
        {"monitor.wav", {{440.0, 0.3}}},
    };
    DemoRun run;
    // A failed run keeps its folder and says where, with the demo's log.
    const struct KeepOnFailure {
        const DemoRun &run;
        ~KeepOnFailure()
        {
            if (testing::Test::HasFailure())
                std::printf("the recordings are kept in %s; the demo's log:\n%s\n", run.dir.c_str(), run.output.c_str());
            else
                fs::remove_all(run.dir);
        }
    } keep{run};
    std::map<std::string, WavAudio> wavs;
    std::map<std::string, std::vector<bool>> stalled;
    std::string stallFigures;
    MarginStart margin;
    for (int attempt = 1;; ++attempt) {
        if (attempt > 1)
            fs::remove_all(run.dir);
        run = runDemo(road.name, road.options);
        ASSERT_EQ(run.status, 0) << run.output;
        std::map<std::string, size_t> frames;
        bool whole = true; // every recording about as long as the run
        for (const Expectation &e : expected) {
            wavs[e.file] = load(run, e.file);
            frames[e.file] = wavs[e.file].samples.size() / 2;
            ASSERT_GT(frames[e.file], 0u) << e.file;
            whole = whole && frames[e.file] > size_t(3.5 * kRate);
        }
        stalled = stalledFrames(run.output, frames);
        size_t worst = 0; // the most stalled recording's stalled frames, per thousand
        for (const auto &[file, mask] : stalled)
            worst = std::max<size_t>(worst, size_t(std::count(mask.begin(), mask.end(), true)) * 1000 / mask.size());
        const auto summary = run.output.find("stalls: ");
        margin = marginStart(run.output);
        stallFigures += "\ntry " + std::to_string(attempt) + ": " + std::to_string(worst / 10) + "% stalled, "
                        + run.output.substr(summary, run.output.find('\n', summary) - summary) + ", " + margin.line;
        ASSERT_TRUE(margin.began) << run.output;
        // Only packets the machine kept a recorder from reading may shorten a recording.
        ASSERT_TRUE(whole || figure(run.output, "packets dropped ") > 0)
            << "a recording came out short" << stallFigures << linesTagged(run.output, {"[road] wrote"});
        // The program's own lateness and losses are never the machine's:
        // they fail the run, whatever else it stalled in.
        ASSERT_EQ(figure(run.output, "program late "), 0u) << "audio threads late by their own doing" << stallFigures
                                                           << linesTagged(run.output, {"[late]"});
        ASSERT_EQ(figure(run.output, "(program "), 0u) << "capture packets the program did not read in time"
                                                       << stallFigures << linesTagged(run.output, {"[dropped]"});
        ASSERT_EQ(figure(run.output, "(dropouts "), 0u)
            << "sources that ran dry while the machine kept time" << stallFigures
            << linesTagged(run.output, {"[dropout]", "[underruns]"});
        // A manual clock waits for every thread: nothing can stall there,
        // and the monitor's first pulls come in turn with the pushes.
        ASSERT_TRUE(std::string(road.name) == "real"
                    || (run.output.find("[stall]") == std::string::npos && margin.inTurn))
            << run.output;
        if (worst <= 500 && margin.inTurn && whole)
            break;
        if (attempt == kTries) {
            GTEST_SKIP() << "the machine could not keep time: every try stalled through most of its run, ran the "
                            "monitor's first pulls out of turn with the pushes, or lost part of a recording"
                         << stallFigures;
        }
    }
    std::printf("stall figures:%s\n", stallFigures.c_str());
    // A margin of one block begins a source once a second block waits.
    EXPECT_EQ(margin.blocks, 2u) << "the monitor began the player with " << margin.blocks << " of its blocks waiting"
                                 << stallFigures;
    for (const Expectation &e : expected) {
        const WavAudio &wav = wavs[e.file];
        const size_t frames = wav.samples.size() / 2;
        const std::vector<bool> &mask = stalled[e.file];
        double steepest = 0.0; // per sample, of the expected signal
        for (const Tone &t : e.tones)
            steepest += 2.0 * M_PI * t.hz / kRate * t.amplitude;
        const size_t from = size_t(0.5 * kRate), to = frames - size_t(0.1 * kRate);
        const std::vector<bool> stalledHere(mask.begin() + long(from), mask.begin() + long(to));
        for (int ch = 0; ch < 2; ++ch) {
            const auto x = channel(wav, ch, from, to);
            for (double hz : kAllTones) {
                double want = 0.0;
                for (const Tone &t : e.tones)
                    want = t.hz == hz ? t.amplitude : want;
                const double got = toneAmplitude(x, stalledHere, hz);
                if (want > 0.0)
                    EXPECT_NEAR(20.0 * std::log10(got / want), 0.0, 0.5)
                        << e.file << " ch" << ch << " " << hz << " Hz" << stallFigures;
                else // 40 dB down
                    EXPECT_LT(got, 0.01 * 0.15) << e.file << " ch" << ch << " " << hz << " Hz" << stallFigures;
            }
            double worstStep = 0.0;
            size_t worstAt = 0;
            for (size_t i = 1; i < x.size(); ++i)
                if (!stalledHere[i - 1] && !stalledHere[i] && std::fabs(double(x[i]) - x[i - 1]) > worstStep) {
                    worstStep = std::fabs(double(x[i]) - x[i - 1]);
                    worstAt = from + i;
                }
            EXPECT_LE(worstStep, 1.5 * steepest) << e.file << " ch" << ch << " at frame " << worstAt << stallFigures;
            const std::vector<ToneDips> dips = toneDips(x, stalledHere, from, e.tones);
            for (size_t i = 0; i < e.tones.size(); ++i)
                EXPECT_EQ(dips[i].windows, 0u)
                    << e.file << " ch" << ch << " " << e.tones[i].hz << " Hz dropped out: 3 dB or more down in "
                    << dips[i].windows << " windows of 10 ms, the first at frame " << dips[i].firstFrame << ", "
                    << decibels(dips[i].worstDb) << " at worst" << stallFigures;
        }
        // A stalled frame counts as sound: only silences the machine did not cause remain.
        std::vector<float> heard(wav.samples.begin(), wav.samples.end() - 2 * size_t(0.1 * kRate));
        for (size_t f = 0; f < heard.size() / 2; ++f)
            if (mask[f])
                heard[2 * f] = 1.0f;
        const SilentGaps gaps = silentGaps(heard, 2, from, 48);
        EXPECT_EQ(gaps.count, 0u) << e.file << ": longest silence " << gaps.longestFrames << " frames" << stallFigures;
    }
    const auto levels = lastLevels(run.output);
    for (const char *id : {"0", "4242", "5151", "4294967295", "4294967294"})
        EXPECT_GT(levels.count(id) ? levels.at(id) : 0.0, 0.0) << id;
    uint32_t width = 0, height = 0;
    ASSERT_TRUE(pngSize(run.dir + "/VeloranDeck/icons/player.x64.png", width, height));
    EXPECT_EQ(width, 128u);
    EXPECT_EQ(height, 128u);
}

INSTANTIATE_TEST_SUITE_P(Clocks, AudioRoadTest,
                         testing::Values(RoadCase{"float48", "--loopback-format float48"}, RoadCase{"pcm44", "--loopback-format pcm44"},
                                         RoadCase{"real", "--clock real --seconds 4"}),
                         [](const testing::TestParamInfo<RoadCase> &info) { return std::string(info.param.name); });

// A missing output folder is made; one that cannot be made is refused
// before the run starts (no "[road]" line), not after it.
TEST(AudioRoadOutput, FolderIsMadeOrRefusedBeforeTheRun)
{
    const fs::path base = fs::temp_directory_path() / ("audio_road_out_" + std::to_string(::getpid()));
    fs::remove_all(base);
    fs::create_directories(base);
    std::ofstream(base / "file") << "x";
    const struct {
        fs::path dir;
        bool made;
    } cases[] = {{base / "new" / "nested", true}, {base / "file" / "below", false}};
    for (const auto &c : cases) {
        const std::string log = (base / "demo.log").string();
        const std::string command = "TMPDIR='" + base.string() + "' '" + VELORAN_AUDIO_SIM_DEMO
                                    + "' --seconds 0.3 --out-dir '" + c.dir.string() + "' > '" + log + "' 2>&1";
        const int status = std::system(command.c_str());
        std::ifstream in(log);
        std::stringstream text;
        text << in.rdbuf();
        EXPECT_EQ(status == 0, c.made) << c.dir << "\n" << text.str();
        EXPECT_EQ(fs::exists(c.dir / "stream_mix.wav"), c.made) << c.dir;
        EXPECT_EQ(text.str().find("[road]") != std::string::npos, c.made) << text.str();
    }
    fs::remove_all(base);
}

// The virtual output stops being the default at 2 s and is again at 4 s:
// every recording falls silent and comes back within 1.1 s of each.
TEST(AudioRoadGate, RecordingsFollowTheDefaultDevice)
{
    const DemoRun run = runDemo("gate", "--gate-off-at 2 --gate-off-for 2");
    ASSERT_EQ(run.status, 0) << run.output;
    for (const char *file : {"stream_mix.wav", "listen_bus.wav", "monitor.wav"}) {
        const WavAudio wav = load(run, file);
        const size_t frames = wav.samples.size() / 2;
        ASSERT_GT(frames, size_t(5.5 * kRate));
        // Loudness of each 10 ms block.
        auto peak = [&](double second) {
            float p = 0.0f;
            const size_t from = size_t(second * kRate);
            for (size_t f = from; f < from + 480 && f < frames; ++f)
                p = std::max({p, std::fabs(wav.samples[2 * f]), std::fabs(wav.samples[2 * f + 1])});
            return p;
        };
        // In 10 ms blocks; a file starts a few milliseconds after the run.
        int silentFrom = -1, soundFrom = -1;
        for (int b = 150; b < 580; ++b) {
            if (silentFrom < 0 && peak(b / 100.0) < 1e-4)
                silentFrom = b;
            if (silentFrom >= 0 && soundFrom < 0 && b > silentFrom && peak(b / 100.0) > 0.05)
                soundFrom = b;
        }
        EXPECT_GE(silentFrom, 195) << file;
        EXPECT_LE(silentFrom, 310) << file;
        EXPECT_GE(soundFrom, 395) << file;
        EXPECT_LE(soundFrom, 510) << file;
        for (int b = silentFrom + 1; silentFrom > 0 && b < soundFrom; ++b)
            ASSERT_LT(peak(b / 100.0), 1e-4) << file << " at " << b * 10 << " ms";
        for (int b = soundFrom + 20; soundFrom > 0 && b < 580; ++b)
            ASSERT_GT(peak(b / 100.0), 0.05) << file << " at " << b * 10 << " ms";
    }
    fs::remove_all(run.dir);
}

} // namespace
