#include "Music.h"

#include <lame.h>

#include <algorithm>
#include <cmath>

#include "Errors.h"
#include "Random.h"

namespace content {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBeat = 0.5;  // seconds at 120 bpm
constexpr double kBar = 4 * kBeat;

double Freq(double midi) { return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0); }

double Smooth(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

struct Bus {
    std::vector<float> left, right;
    explicit Bus(size_t n) : left(n, 0.f), right(n, 0.f) {}
    void Add(size_t i, double v, double gainLeft, double gainRight) {
        if (i >= left.size()) return;
        left[i] += static_cast<float>(v * gainLeft);
        right[i] += static_cast<float>(v * gainRight);
    }
};

// One-pole low-pass filter.
struct LowPass {
    double a, y = 0;
    LowPass(double cutoff) : a(1 - std::exp(-2 * kPi * cutoff / kMusicRate)) {}
    double operator()(double x) { return y += a * (x - y); }
};

// The chords, one per bar: Am, F, C, G.
const int kChords[4][3] = {{57, 60, 64}, {53, 57, 60}, {55, 60, 64}, {55, 59, 62}};
const int kRoots[4] = {45, 41, 48, 43};

// The eight-bar tune: (beat, length in beats, note) per bar.
struct Note {
    double beat, length;
    int midi;
};
const std::vector<std::vector<Note>> kTune = {
    {{0, 1.5, 76}, {1.5, 0.5, 74}, {2, 1, 72}, {3, 1, 71}}, {{0, 2, 72}, {2, 1, 69}, {3, 1, 72}},
    {{0, 1.5, 76}, {1.5, 0.5, 79}, {2, 2, 76}},             {{0, 1, 74}, {1, 1, 71}, {2, 2, 67}},
    {{0, 1.5, 76}, {1.5, 0.5, 74}, {2, 1, 72}, {3, 1, 76}}, {{0, 2, 81}, {2, 1, 79}, {3, 1, 77}},
    {{0, 1, 76}, {1, 1, 79}, {2, 1, 84}, {3, 1, 79}},       {{0, 2, 79}, {2, 2, 76}},
};

class Composer {
public:
    explicit Composer(size_t frames) : dry_(frames), echo_(frames), room_(frames), rng_(5150) {}

    void Pad(double start, double length, const int* notes, double gain, double cutoff, double pan = 0) {
        for (int v = 0; v < 3; ++v) {
            for (int d = -1; d <= 1; d += 2) {
                const double f = Freq(notes[v]) * (1 + 0.0035 * d);
                LowPass lp(cutoff);
                double phase = HashUnit(v, d + 2, 77);
                Render(start, length + 0.8, [&](double t) {
                    phase += f / kMusicRate;
                    phase -= std::floor(phase);
                    const double env = Smooth(0, 0.6, t) * (t > length ? std::exp(-(t - length) * 4) : 1.0);
                    return lp(2 * phase - 1) * env * gain * 1.2;
                }, pan + 0.35 * d, 0.0, 0.35);
            }
        }
    }

    void Organ(double start, double length, const int* notes, double gain) {
        for (int v = 0; v < 3; ++v) {
            const double f = Freq(notes[v]);
            Render(start, length + 1.5, [&](double t) {
                const double env = Smooth(0, 0.4, t) * (t > length ? std::exp(-(t - length) * 3) : 1.0);
                const double w = 2 * kPi * f * t;
                const double s = std::sin(w) + 0.5 * std::sin(2 * w) + 0.3 * std::sin(3 * w) + 0.18 * std::sin(4 * w) +
                                 0.1 * std::sin(6 * w);
                return s * env * gain * (1 + 0.08 * std::sin(2 * kPi * 5.5 * t));
            }, (v - 1) * 0.4, 0.0, 0.6);
        }
    }

    void Bass(double start, double length, int midi, double gain) {
        const double f = Freq(midi);
        LowPass lp(380);
        double phase = 0;
        Render(start, length + 0.1, [&](double t) {
            phase += f / kMusicRate;
            phase -= std::floor(phase);
            const double env = std::exp(-t * 2.2) * (t > length ? std::exp(-(t - length) * 40) : 1.0) * Smooth(0, 0.005, t);
            return (lp(2 * phase - 1) * 0.8 + std::sin(2 * kPi * phase) * 0.6) * env * gain;
        }, 0.0, 0.0, 0.05);
    }

    void Pluck(double start, int midi, double gain, double pan) {
        const double f = Freq(midi);
        LowPass lp(3000);
        double phase = 0, env = gain;
        const double step = f / kMusicRate, decay = std::exp(-9.0 / kMusicRate);
        Render(start, 0.5, [&](double t) {
            phase += step;
            phase -= std::floor(phase);
            env *= decay;
            return lp(phase < 0.5 ? 1.0 : -1.0) * env * std::min(1.0, t * 300);
        }, pan, 0.5, 0.2);
    }

    void Lead(double start, double length, int midi, double gain) {
        const double f = Freq(midi);
        LowPass lp(2600);
        double phase = 0;
        Render(start, length + 0.4, [&](double t) {
            const double vib = 1 + 0.004 * std::sin(2 * kPi * 5.2 * t) * Smooth(0.2, 0.6, t);
            phase += f * vib / kMusicRate;
            phase -= std::floor(phase);
            const double env = Smooth(0, 0.02, t) * (t > length ? std::exp(-(t - length) * 12) : 1.0) * (0.8 + 0.2 * std::exp(-t * 3));
            const double s = (2 * phase - 1) * 0.6 + (phase < 0.5 ? 0.4 : -0.4);
            return lp(s) * env * gain;
        }, 0.1, 0.35, 0.3);
    }

    void Bell(double start, int midi, double gain, double pan) {
        const double f = Freq(midi);
        Render(start, 3.0, [&](double t) {
            return (std::sin(2 * kPi * f * t) * std::exp(-t * 1.6) + 0.35 * std::sin(2 * kPi * f * 2.76 * t) * std::exp(-t * 3.5) +
                    0.2 * std::sin(2 * kPi * f * 5.4 * t) * std::exp(-t * 7)) *
                   gain * Smooth(0, 0.002, t);
        }, pan, 0.3, 0.5);
    }

    void Kick(double start, double gain) {
        double phase = 0;
        Render(start, 0.45, [&](double t) {
            phase += (48 + 110 * std::exp(-t * 28)) / kMusicRate;
            return std::sin(2 * kPi * phase) * std::exp(-t * 7) * gain;
        }, 0.0, 0.0, 0.05);
    }

    void Snare(double start, double gain) {
        LowPass lp(6000);
        Render(start, 0.3, [&](double t) {
            const double noise = lp(rng_.Range(-1, 1)) * std::exp(-t * 16);
            return (noise + 0.5 * std::sin(2 * kPi * 185 * t) * std::exp(-t * 30)) * gain;
        }, 0.05, 0.0, 0.3);
    }

    void Hat(double start, double gain, double pan, double decay = 55) {
        double last = 0;
        Render(start, 0.15, [&](double t) {
            const double n = rng_.Range(-1, 1);
            const double hp = n - last;
            last = n;
            return hp * std::exp(-t * decay) * gain;
        }, pan, 0.0, 0.08);
    }

    void Crash(double start, double gain) {
        double last = 0;
        Render(start, 4.0, [&](double t) {
            const double n = rng_.Range(-1, 1);
            const double hp = n - last * 0.6;
            last = n;
            return hp * std::exp(-t * 1.3) * gain;
        }, 0.2, 0.0, 0.5);
    }

    void Riser(double start, double length, double gain) {
        double y = 0;
        Render(start, length, [&](double t) {
            const double cutoff = 300 + 6000 * (t / length) * (t / length);
            const double a = 1 - std::exp(-2 * kPi * cutoff / kMusicRate);
            y += a * (rng_.Range(-1, 1) - y);
            return y * gain * Smooth(0, length, t);
        }, 0.0, 0.2, 0.5);
    }

    // Echoes and a small room on the sends, then the master fade and a soft limit.
    std::vector<int16_t> Mix(double fadeStart, double fadeEnd) {
        const size_t n = dry_.left.size();
        const size_t delay = static_cast<size_t>(0.375 * kMusicRate);
        for (size_t i = delay; i < n; ++i) {
            // Ping-pong: each echo swaps sides.
            echo_.left[i] += 0.45f * echo_.right[i - delay];
            echo_.right[i] += 0.45f * echo_.left[i - delay];
        }
        std::vector<float> reverbL(n, 0.f), reverbR(n, 0.f);
        const int combs[4] = {1557, 1617, 1491, 1422};
        for (int c = 0; c < 4; ++c) {
            for (int side = 0; side < 2; ++side) {
                const size_t d = static_cast<size_t>(combs[c] + side * 23) * 2;
                std::vector<float>& out = side ? reverbR : reverbL;
                const std::vector<float>& in = side ? room_.right : room_.left;
                std::vector<float> line(n, 0.f);
                for (size_t i = 0; i < n; ++i) {
                    const float back = i >= d ? line[i - d] : 0.f;
                    line[i] = in[i] + 0.8f * back;
                    out[i] += 0.25f * back;
                }
            }
        }
        std::vector<int16_t> pcm(2 * n);
        for (size_t i = 0; i < n; ++i) {
            const double t = static_cast<double>(i) / kMusicRate;
            const double master = 0.55 * (1 - Smooth(fadeStart, fadeEnd, t));
            const double l = (dry_.left[i] + echo_.left[i] + reverbL[i]) * master;
            const double r = (dry_.right[i] + echo_.right[i] + reverbR[i]) * master;
            pcm[2 * i] = static_cast<int16_t>(std::lround(std::tanh(l) * 32000));
            pcm[2 * i + 1] = static_cast<int16_t>(std::lround(std::tanh(r) * 32000));
        }
        return pcm;
    }

private:
    template <class F>
    void Render(double start, double length, F sample, double pan, double echo, double room) {
        const size_t first = static_cast<size_t>(std::lround(start * kMusicRate));
        const size_t count = static_cast<size_t>(length * kMusicRate);
        // Equal-power panning.
        const double l = std::sqrt(0.5 * (1 - pan)), r = std::sqrt(0.5 * (1 + pan));
        for (size_t k = 0; k < count; ++k) {
            const double v = sample(static_cast<double>(k) / kMusicRate);
            const size_t i = first + k;
            dry_.Add(i, v, l, r);
            if (echo > 0) echo_.Add(i, v * echo, r, l);
            if (room > 0) room_.Add(i, v * room, l, r);
        }
    }

    Bus dry_, echo_, room_;
    Random rng_;
};

}  // namespace

std::vector<int16_t> SynthesizeMusic() {
    const size_t frames = static_cast<size_t>(kMusicSeconds * kMusicRate);
    Composer c(frames);
    const double cathedralStart = 83.0, cathedralEnd = 102.5, finalBar = 71;
    const int arp[8] = {0, 1, 2, 1, 0, 2, 1, 2};
    for (int bar = 0; bar < 75; ++bar) {
        const double t0 = bar * kBar;
        const int chord = bar % 4;
        const bool cathedral = t0 + kBar > cathedralStart && t0 < cathedralEnd;
        const bool full = (bar >= 16 && bar < 40) || (bar >= 52 && bar < finalBar);
        const bool ending = bar >= finalBar;
        if (ending) {
            if (bar == finalBar) {
                c.Pad(t0, 6.0, kChords[0], 0.05, 1400);
                c.Organ(t0, 5.0, kChords[0], 0.03);
                c.Bass(t0, 6.0, kRoots[0], 0.3);
                c.Kick(t0, 0.9);
                c.Crash(t0, 0.25);
                c.Bell(t0, 81, 0.12, 0.3);
                c.Bell(t0 + 1.0, 76, 0.1, -0.3);
                c.Bell(t0 + 2.0, 69, 0.1, 0.0);
            }
            continue;
        }
        if (cathedral) {
            c.Organ(t0, kBar, kChords[chord], 0.035);
            c.Pad(t0, kBar, kChords[chord], 0.03, 700);
            c.Bass(t0, kBar, kRoots[chord], 0.12);
            for (int b = 0; b < 4; b += 2) c.Bell(t0 + b * kBeat, kChords[chord][b / 2 + 1] + 24, 0.05, b ? 0.5 : -0.5);
            continue;
        }
        const double intro = std::min(1.0, (bar + 1) / 6.0);
        c.Pad(t0, kBar, kChords[chord], 0.045 * intro, bar < 8 ? 900 : 1500);
        if (bar >= 4 && bar < 8) c.Bell(t0, kChords[chord][2] + 12, 0.06, 0.4);
        if (bar >= 8) {
            for (int q = 0; q < (full ? 8 : 4); ++q) {
                const double len = full ? kBeat / 2 : kBeat;
                c.Bass(t0 + q * len, len * 0.9, kRoots[chord] + ((full && q % 2) ? 12 : 0), 0.32);
            }
            for (int e = 0; e < 8; ++e) c.Hat(t0 + e * kBeat / 2, e % 2 ? 0.09 : 0.05, 0.3);
        }
        if (full) {
            for (int b = 0; b < 4; ++b) c.Kick(t0 + b * kBeat, 0.85);
            c.Snare(t0 + kBeat, 0.35);
            c.Snare(t0 + 3 * kBeat, 0.35);
            for (int s = 0; s < 16; ++s)
                c.Pluck(t0 + s * kBeat / 4, kChords[chord][arp[s % 8]] + 12, 0.045, s % 2 ? 0.5 : -0.5);
            const bool tune = (bar >= 24 && bar < 40) || (bar >= 56 && bar < finalBar);
            if (tune)
                for (const Note& n : kTune[static_cast<size_t>(bar % 8)]) c.Lead(t0 + n.beat * kBeat, n.length * kBeat * 0.95, n.midi, 0.07);
        }
        // Build-ups: a snare roll and a noise riser into the full sections.
        if (bar == 15 || bar == 39 || bar == 51) {
            for (int s = 0; s < 16; ++s) c.Snare(t0 + s * kBeat / 4, 0.05 + 0.2 * s / 16.0);
            c.Riser(t0, kBar, 0.12);
        }
        if (bar == 16 || bar == 52) c.Crash(t0, 0.2);
    }
    return c.Mix(150.0, 158.0);
}

std::string EncodeMp3(const std::vector<int16_t>& stereo, int rate, int kbps) {
    lame_global_flags* gf = lame_init();
    if (!gf) throw GenerateError("cannot start the MP3 encoder");
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_num_channels(gf, 2);
    lame_set_mode(gf, JOINT_STEREO);
    lame_set_brate(gf, kbps);
    lame_set_VBR(gf, vbr_off);
    lame_set_quality(gf, 7);
    lame_set_bWriteVbrTag(gf, 0);
    if (lame_init_params(gf) < 0) {
        lame_close(gf);
        throw GenerateError("cannot configure the MP3 encoder");
    }
    std::string out;
    const int chunk = 8192;
    std::vector<unsigned char> buffer(static_cast<size_t>(chunk) * 5 / 4 + 7200);
    const int frames = static_cast<int>(stereo.size() / 2);
    for (int first = 0; first < frames; first += chunk) {
        const int count = std::min(chunk, frames - first);
        const int bytes = lame_encode_buffer_interleaved(gf, const_cast<short*>(stereo.data() + 2 * static_cast<size_t>(first)),
                                                         count, buffer.data(), static_cast<int>(buffer.size()));
        if (bytes < 0) {
            lame_close(gf);
            throw GenerateError("MP3 encoding failed");
        }
        out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(bytes));
    }
    const int bytes = lame_encode_flush(gf, buffer.data(), static_cast<int>(buffer.size()));
    lame_close(gf);
    if (bytes < 0) throw GenerateError("MP3 encoding failed at the end");
    out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(bytes));
    return out;
}

}  // namespace content
