#include "tools/drums/instruments.h"

#include <cmath>
#include <sstream>

namespace drums {

namespace {

// Reads the settings of one recipe section with their allowed ranges.
struct Section {
    const Recipe& recipe;
    std::string name;

    double get(const char* key, double lo, double hi) const {
        std::string full = name + "." + key;
        return check(full, recipe.number(full), lo, hi);
    }
    double get(const char* key, double lo, double hi, double fallback) const {
        std::string full = name + "." + key;
        return recipe.has(full) ? check(full, recipe.number(full), lo, hi) : fallback;
    }
    double check(const std::string& key, double v, double lo, double hi) const {
        if (v < lo || v > hi) {
            std::ostringstream m;
            m << "'" << key << "' = " << v << " is outside [" << lo << ", " << hi << "]";
            recipe.fail(m.str());
        }
        return v;
    }
};

// Constant-power pan: -1 is hard left, 0 the centre (both gains 1), 1 hard right.
void pan_gains(double pan, double& gl, double& gr) {
    double angle = (pan + 1.0) * 0.25 * PI;
    gl = std::cos(angle) * std::sqrt(2.0);
    gr = std::sin(angle) * std::sqrt(2.0);
}

size_t frames_from(size_t at, double length_s, const StereoBuffer& out) {
    if (at >= out.frames()) return 0;
    size_t n = static_cast<size_t>(length_s * RATE_HZ);
    return std::min(n, out.frames() - at);
}

// Soft saturation normalised so that a full-scale input stays full scale.
double drive_curve(double x, double drive) {
    return std::tanh(drive * x) / std::tanh(drive);
}

// A decaying sine partial as a rotating phasor: one complex multiply per frame.
struct Partial {
    double re, im, rot_re, rot_im, amp, fall;
    Partial(double hz, double phase, double amp0, double tau_s)
        : re(std::cos(phase)),
          im(std::sin(phase)),
          rot_re(std::cos(2.0 * PI * hz / RATE_HZ)),
          rot_im(std::sin(2.0 * PI * hz / RATE_HZ)),
          amp(amp0),
          fall(std::exp(-1.0 / (tau_s * RATE_HZ))) {}
    double step() {
        double out = im * amp;
        double r = re * rot_re - im * rot_im;
        im = re * rot_im + im * rot_re;
        re = r;
        amp *= fall;
        return out;
    }
};

}  // namespace

void add_kick(const Recipe& r, const std::string& section, double velocity, double pan, size_t at,
              Rng& rng, StereoBuffer& out) {
    Section s{r, section};
    double start_hz = s.get("start_hz", 20, 5000), end_hz = s.get("end_hz", 20, 500);
    double sweep_s = s.get("sweep_s", 0.001, 1), hold_s = s.get("hold_s", 0, 1);
    double decay_s = s.get("decay_s", 0.001, 5), knock = s.get("knock_level", 0, 2);
    double click_level = s.get("click_level", 0, 4), click_hz = s.get("click_hz", 200, 18000);
    double click_decay_s = s.get("click_decay_s", 0.0001, 0.1), drive = s.get("drive", 0.1, 20);
    size_t n = frames_from(at, s.get("length_s", 0.01, 3), out);
    double gl, gr;
    pan_gains(pan, gl, gr);
    Biquad click_band = Biquad::bandpass(click_hz, 0.8);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / RATE_HZ;
        // The pitch falls exponentially from the thump to the resting tone.
        double hz = end_hz + (start_hz - end_hz) * decay(t, sweep_s);
        double amp = rise(t, 0.0004) * (t < hold_s ? 1.0 : decay(t - hold_s, decay_s));
        double body =
            amp * (std::sin(phase) + knock * std::sin(2.0 * phase) * decay(t, decay_s * 0.25));
        double click = click_level * click_band.process(rng.bipolar()) * decay(t, click_decay_s);
        phase += 2.0 * PI * hz / RATE_HZ;
        double y = velocity * drive_curve(body + click, drive);
        out.left[at + i] += gl * y;
        out.right[at + i] += gr * y;
    }
}

void add_snare(const Recipe& r, const std::string& section, double velocity, double pan, size_t at,
               Rng& rng, StereoBuffer& out) {
    Section s{r, section};
    double tone_hz = s.get("tone_hz", 50, 2000), ratio = s.get("tone_ratio", 1, 4);
    double drop = s.get("drop", 1, 4), drop_s = s.get("drop_s", 0.0005, 0.2);
    double tone_decay_s = s.get("tone_decay_s", 0.001, 2), tone_level = s.get("tone_level", 0, 4);
    double noise_level = s.get("noise_level", 0, 4);
    double noise_hp = s.get("noise_highpass_hz", 20, 15000);
    double noise_lp = s.get("noise_lowpass_hz", 500, 20000);
    double noise_decay_s = s.get("noise_decay_s", 0.001, 2);
    double rattle_level = s.get("rattle_level", 0, 2),
           rattle_decay_s = s.get("rattle_decay_s", 0.001, 2);
    double snap_level = s.get("snap_level", 0, 4), snap_hz = s.get("snap_hz", 200, 18000);
    double snap_decay_s = s.get("snap_decay_s", 0.0001, 0.1), drive = s.get("drive", 0.1, 20);
    size_t n = frames_from(at, s.get("length_s", 0.01, 3), out);
    double gl, gr;
    pan_gains(pan, gl, gr);
    Biquad hp1 = Biquad::highpass(noise_hp, 0.7071), hp2 = hp1,
           lp = Biquad::lowpass(noise_lp, 0.7071);
    Biquad snap_band = Biquad::bandpass(snap_hz, 1.2);
    double ph1 = 0.0, ph2 = 0.0;
    for (size_t i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / RATE_HZ;
        // Two drum-head modes whose pitch settles as the stick leaves the head.
        double hz = tone_hz * (1.0 + (drop - 1.0) * decay(t, drop_s));
        double tone = tone_level * rise(t, 0.0003) *
                      (std::sin(ph1) * decay(t, tone_decay_s) +
                       0.6 * std::sin(ph2) * decay(t, tone_decay_s * 0.6));
        ph1 += 2.0 * PI * hz / RATE_HZ;
        ph2 += 2.0 * PI * hz * ratio / RATE_HZ;
        // The snare wires: band-limited noise, a fast burst over a slower rattle.
        double wires = lp.process(hp2.process(hp1.process(rng.bipolar())));
        double env = decay(t, noise_decay_s) + rattle_level * decay(t, rattle_decay_s);
        double noise = noise_level * rise(t, 0.0005) * env * wires;
        double snap = snap_level * snap_band.process(rng.bipolar()) * decay(t, snap_decay_s);
        double y = velocity * drive_curve(tone + noise + snap, drive);
        out.left[at + i] += gl * y;
        out.right[at + i] += gr * y;
    }
}

void add_cymbal(const Recipe& r, const std::string& section, double velocity, double pan, size_t at,
                Rng& rng, StereoBuffer& out) {
    Section s{r, section};
    int count = static_cast<int>(s.get("partials", 1, 400));
    double low_hz = s.get("low_hz", 100, 10000), high_hz = s.get("high_hz", 200, 20000);
    double slope = s.get("slope", -2, 3), decay_s = s.get("decay_s", 0.005, 10);
    double tilt = s.get("tilt", 0, 2), attack_s = s.get("attack_s", 0.0001, 0.1);
    double spread = s.get("spread", 0, 1);
    double noise_level = s.get("noise_level", 0, 4);
    double noise_hp = s.get("noise_highpass_hz", 200, 18000);
    double noise_decay_s = s.get("noise_decay_s", 0.001, 10);
    double bell_level = s.get("bell_level", 0, 4, 0.0), bell_hz = s.get("bell_hz", 100, 8000, 1000);
    double bell_decay_s = s.get("bell_decay_s", 0.01, 10, 1.0);
    double stick_level = s.get("stick_level", 0, 4, 0.0),
           stick_hz = s.get("stick_hz", 500, 18000, 5000);
    double stick_decay_s = s.get("stick_decay_s", 0.0001, 0.1, 0.002);
    double lowcut_hz = s.get("lowcut_hz", 20, 10000);
    size_t n = frames_from(at, s.get("length_s", 0.01, 10), out);
    if (high_hz <= low_hz) r.fail("'" + section + ".high_hz' must lie above low_hz");

    // The metal: inharmonic partials spread log-uniformly with jitter, the
    // highest ones dying first. The right channel hears each partial with its
    // own phase and a slightly different strength: the width of the plate.
    std::vector<Partial> left, right;
    double norm = 0.0;
    for (int k = 0; k < count; ++k) {
        double u = (k + 0.5 + 0.8 * (rng.unit() - 0.5)) / count;
        double hz = low_hz * std::pow(high_hz / low_hz, u);
        double amp = (0.35 + 0.65 * rng.unit()) * std::pow(hz / low_hz, -slope);
        double tau = decay_s * std::pow(hz / 1000.0, -tilt);
        double phase = 2.0 * PI * rng.unit();
        left.emplace_back(hz, phase, amp, tau);
        right.emplace_back(hz, phase + spread * PI * rng.bipolar(),
                           amp * (1.0 + 0.5 * spread * rng.bipolar()), tau);
        norm += amp * amp;
    }
    // The bell of a ride: a few strong partials in bell-like ratios.
    static const double BELL_RATIOS[6] = {1.0, 1.504, 2.0, 2.65, 3.2, 4.2};
    for (int k = 0; bell_level > 0.0 && k < 6; ++k) {
        double phase = 2.0 * PI * rng.unit();
        double amp = bell_level * std::sqrt(norm) / (1.0 + k) * std::sqrt(0.5);
        double tau = bell_decay_s / (1.0 + 0.4 * k);
        left.emplace_back(bell_hz * BELL_RATIOS[k], phase, amp, tau);
        right.emplace_back(bell_hz * BELL_RATIOS[k], phase, amp, tau);
    }
    double scale = std::sqrt(2.0 / std::max(norm, 1e-30));
    double gl, gr;
    pan_gains(pan, gl, gr);
    Biquad nl1 = Biquad::highpass(noise_hp, 0.7071), nl2 = nl1, nr1 = nl1, nr2 = nl1;
    Biquad cut_l = Biquad::highpass(lowcut_hz, 0.7071), cut_r = cut_l;
    Biquad stick_band = Biquad::bandpass(stick_hz, 1.5);
    double mix_same = std::sqrt(1.0 - spread * spread);
    for (size_t i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / RATE_HZ;
        double metal_l = 0.0, metal_r = 0.0;
        for (size_t k = 0; k < left.size(); ++k) {
            metal_l += left[k].step();
            metal_r += right[k].step();
        }
        double onset = rise(t, attack_s);
        double a = rng.bipolar(), b = rng.bipolar();
        double env = noise_level * decay(t, noise_decay_s);
        double noise_l = env * nl2.process(nl1.process(a));
        double noise_r = env * nr2.process(nr1.process(mix_same * a + spread * b));
        double stick = stick_level * stick_band.process(rng.bipolar()) * decay(t, stick_decay_s);
        double yl = cut_l.process(onset * (scale * metal_l + noise_l) + stick);
        double yr = cut_r.process(onset * (scale * metal_r + noise_r) + stick);
        out.left[at + i] += velocity * gl * yl;
        out.right[at + i] += velocity * gr * yr;
    }
}

void add_room(const Recipe& r, const std::string& section, StereoBuffer& io) {
    Section s{r, section};
    double size = s.get("size", 0.1, 3), decay_s = s.get("decay_s", 0.05, 5);
    double damping = s.get("damping", 0, 0.95), mix = s.get("mix", 0, 1);
    // Four damped feedback combs per side, slightly detuned between the sides,
    // then two all-passes that smear the echoes into a diffuse tail.
    static const int COMBS[4] = {1116, 1188, 1277, 1356};
    static const int ALLPASSES[2] = {556, 441};
    std::vector<double> in(io.frames());
    for (size_t i = 0; i < in.size(); ++i) in[i] = 0.5 * (io.left[i] + io.right[i]);
    for (int side = 0; side < 2; ++side) {
        std::vector<double> wet(in.size(), 0.0);
        for (int c = 0; c < 4; ++c) {
            size_t d = static_cast<size_t>((COMBS[c] + 23 * side) * size);
            double g = std::pow(10.0, -3.0 * static_cast<double>(d) / (decay_s * RATE_HZ));
            std::vector<double> line(d, 0.0);
            double lp = 0.0;
            for (size_t i = 0, pos = 0; i < in.size(); ++i, pos = (pos + 1) % d) {
                double y = line[pos];
                lp = (1.0 - damping) * y + damping * lp;
                line[pos] = in[i] + g * lp;
                wet[i] += 0.25 * y;
            }
        }
        for (int a = 0; a < 2; ++a) {
            size_t d = static_cast<size_t>((ALLPASSES[a] + 23 * side) * size);
            std::vector<double> line(d, 0.0);
            for (size_t i = 0, pos = 0; i < wet.size(); ++i, pos = (pos + 1) % d) {
                double delayed = line[pos];
                double v = wet[i] + 0.5 * delayed;
                line[pos] = v;
                wet[i] = delayed - 0.5 * v;
            }
        }
        std::vector<double>& ch = side == 0 ? io.left : io.right;
        for (size_t i = 0; i < ch.size(); ++i) ch[i] += mix * wet[i];
    }
}

}  // namespace drums
