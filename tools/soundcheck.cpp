// The game's sound measured from outside, for tools/sound-measure.py:
//   carrowmere-soundcheck play SECONDS       a chord through the game's stream
//   carrowmere-soundcheck gaps GAME CONTROL  gaps of 5 ms or more in both
//   carrowmere-soundcheck screams RECORDING PRESSES
//                                            each scream's delay after its key
// Recordings are raw stereo 16-bit at 48 kHz; PRESSES holds the frame of the
// recording at which each key went down, one a line.

#include "ui/mixer.h"
#include "ui/pulsestream.h"
#include "ui/soundbank.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int rate = SoundBank::rate;

std::vector<float> mono(const char* fileName)
{
    std::ifstream in(fileName, std::ios::binary);
    std::vector<float> out;
    qint16 frame[2];
    while (in.read(reinterpret_cast<char*>(frame), sizeof frame))
        out.push_back((float(frame[0]) + float(frame[1])) / 2);
    return out;
}

// Pads a quarter of a second apart, each 2.6 s long: never a moment of
// silence of its own, so that every gap is the stream's.
int play(int seconds)
{
    const SoundBank bank;
    Mixer mixer(bank);
    PulseStream stream(mixer);
    for (int quarter = 0; quarter < 4 * seconds; ++quarter) {
        mixer.play(Cue::Dawn, 0.3f, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    std::printf("underruns %d, buffer %d ms at the end\n", stream.underruns(), stream.bufferMs());
    return 0;
}

// Over the span where the game's stream sounds, less its first second.
int gaps(const char* game, const char* control)
{
    const std::vector<float> heard = mono(game), beside = mono(control);
    const auto sounds = [](float sample) { return std::abs(sample) > 2; };
    const auto first = std::find_if(heard.cbegin(), heard.cend(), sounds);
    const auto last = std::find_if(heard.crbegin(), heard.crend(), sounds);
    if (first == heard.cend())
        return std::puts("the game's stream was never heard"), 1;
    const std::size_t from = std::size_t(first - heard.cbegin()) + rate, to = heard.size() - std::size_t(last - heard.crbegin()) - rate / 10;
    const auto count = [from, to](const std::vector<float>& channel) {
        int found = 0, quiet = 0, longest = 0;
        for (std::size_t i = from; i < std::min(to, channel.size()); ++i) {
            if (std::abs(channel[i]) <= 2) {
                ++quiet;
                continue;
            }
            if (quiet >= rate / 200)
                ++found, longest = std::max(longest, quiet);
            quiet = 0;
        }
        return std::make_pair(found, longest * 1000 / rate);
    };
    const auto [ours, oursLongest] = count(heard);
    const auto [theirs, theirsLongest] = count(beside);
    std::printf("over %.1f s: the game's stream %d gaps (longest %d ms), the control %d gaps (longest %d ms)\n", double(to - from) / rate, ours,
                oursLongest, theirs, theirsLongest);
    return 0;
}

// Where the first 0.3 s of a scream, any variant, best matches the recording
// after the press; a match is kept where the correlation passes 0.5.
int screams(const char* recording, const char* pressesFile)
{
    const SoundBank bank;
    const std::vector<float> heard = mono(recording);
    constexpr int span = 3 * rate / 10;
    std::vector<double> delays;
    std::ifstream presses(pressesFile);
    for (long press; presses >> press;) {
        double best = 0;
        long bestLag = 0;
        for (int variant = 0; variant < bank.variants(Cue::Scream); ++variant) {
            const std::vector<float>& scream = bank.samples(Cue::Scream, variant);
            double own = 0;
            for (int k = 0; k < span; k += 2)
                own += double(scream[k]) * scream[k];
            for (long lag = -rate / 20; lag < 2 * rate / 5; lag += 2) {
                const long at = press + lag;
                if (at < 0 || at + span >= long(heard.size()))
                    continue;
                double product = 0, power = 0;
                for (int k = 0; k < span; k += 2)
                    product += double(scream[k]) * heard[at + k], power += double(heard[at + k]) * heard[at + k];
                const double match = product / std::sqrt(own * power + 1e-9);
                if (match > best)
                    best = match, bestLag = lag;
            }
        }
        std::printf("%.1f ms (match %.2f)\n", double(bestLag) * 1000 / rate, best);
        if (best > 0.5)
            delays.push_back(double(bestLag) * 1000 / rate);
    }
    if (delays.empty())
        return std::puts("no scream found"), 1;
    std::sort(delays.begin(), delays.end());
    std::printf("%zu screams found: median %.1f ms, most %.1f ms\n", delays.size(), delays[delays.size() / 2], delays.back());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const std::string what = argc > 1 ? argv[1] : "";
    if (what == "play" && argc == 3)
        return play(std::atoi(argv[2]));
    if (what == "gaps" && argc == 4)
        return gaps(argv[2], argv[3]);
    if (what == "screams" && argc == 4)
        return screams(argv[2], argv[3]);
    std::fputs("usage: carrowmere-soundcheck play SECONDS | gaps GAME CONTROL | screams RECORDING PRESSES\n", stderr);
    return 2;
}
