// The game's sounds and their mixer: every cue whole and clean, and a mix
// that pans, rides its gains, caps its voices and never reaches full scale.

#include "testing.h"

#include "ui/audio.h"
#include "ui/mixer.h"
#include "ui/soundbank.h"
#include "ui/view.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>

namespace {

constexpr int rate = SoundBank::rate;
constexpr double fullScale = 32767;

// fading: the last tenth's level at most this share of the middle half's;
// endHz: the last third at most this bright (0: no bound for either).
struct Shape { Cue cue; int variants; double shortest, longest, lowHz, highHz, fading = 0, endHz = 0; };
struct Pan { Cue cue; float gain, pan; double left, right; };
struct Balance { Cue cue, against; double least, most; }; // dB of the one over the other
struct Master { float volume; bool muted; double level; };
struct Volley { int plays, count; };
struct Merge { int count; double least, most; };
struct Steal { float gain, pan; bool leftSilenced; };
// left: world units, or past: half widths of the view; gone: the game
// deleted half a second in; back: the server stopped and started again.
struct Heard { QString what; int shots; float left; bool muted; float past = 0; bool gone = false, back = false; };
struct Crowd { float density, loudness; bool night; int fewest, most, loudest; double lowHz, highHz; };

struct Stereo {
    std::vector<int> left, right;
};

// Pulls seconds of sound in 10 ms blocks, as a device would.
Stereo pull(Mixer& mixer, double seconds)
{
    constexpr int block = rate / 100;
    Stereo out;
    std::vector<qint16> buffer(2 * block);
    for (int done = 0, frames = int(seconds * rate); done < frames; done += block) {
        const int now = std::min(block, frames - done);
        mixer.mix(buffer.data(), now);
        for (int i = 0; i < now; ++i)
            out.left.push_back(buffer[2 * i]), out.right.push_back(buffer[2 * i + 1]);
    }
    return out;
}

int peak(const std::vector<int>& channel, double from = 0, double to = 1e3)
{
    int most = 0;
    for (std::size_t i = std::size_t(from * rate); i < std::min(channel.size(), std::size_t(to * rate)); ++i)
        most = std::max(most, std::abs(channel[i]));
    return most;
}

// Of a channel against another over seconds [from, to): how loud, as a
// share of the other's amplitude.
double share(const std::vector<int>& channel, const std::vector<int>& reference, double from, double to)
{
    double power = 0, whole = 0;
    for (int i = int(from * rate); i < int(to * rate); ++i)
        power += double(channel[i]) * channel[i], whole += double(reference[i]) * reference[i];
    return std::sqrt(power / whole);
}

// The frequency of a sine whose steps from sample to sample are as large,
// for its size, as the sound's: where its power lies, in Hz.
template <typename Sample>
double brightness(const std::vector<Sample>& sound)
{
    double power = 0, steps = 0;
    for (std::size_t i = 1; i < sound.size(); ++i)
        power += double(sound[i]) * sound[i], steps += std::pow(double(sound[i]) - sound[i - 1], 2);
    return rate / (2 * M_PI) * std::sqrt(steps / power);
}

std::vector<int> scaled(const std::vector<float>& samples, double gain)
{
    std::vector<int> out;
    for (float sample : samples)
        out.push_back(int(std::lrint(sample * gain * fullScale)));
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Shape)
Q_DECLARE_METATYPE(Pan)
Q_DECLARE_METATYPE(Balance)
Q_DECLARE_METATYPE(Master)
Q_DECLARE_METATYPE(Volley)
Q_DECLARE_METATYPE(Merge)
Q_DECLARE_METATYPE(Steal)
Q_DECLARE_METATYPE(Crowd)
Q_DECLARE_METATYPE(Heard)

class TestSound : public QObject
{
    Q_OBJECT

    std::unique_ptr<SoundBank> bank;
    // One for all the rows, as the game has one, and gone before the
    // application is, as the game's is: a sink that outlives the sound
    // system it plays into crashes the program on its way out.
    std::unique_ptr<Audio> audio;
    bool warm = false; // whether the sound server's monitor has started

private slots:
    void initTestCase() { bank = std::make_unique<SoundBank>(); }

    void everyCueIsWholeAndClean_data()
    {
        // Lengths in seconds; brightness in Hz.
        ROWS(Shape);
        QTest::newRow("the survivor screams, dying away") << Shape{Cue::Scream, 3, 0.7, 1.0, 600, 1500, 0.3};
        QTest::newRow("a gunshot") << Shape{Cue::Gunshot, 4, 0.3, 0.5, 1200, 4000};
        QTest::newRow("a blow lands, a thud") << Shape{Cue::BlowLands, 3, 0.15, 0.4, 100, 500, 0, 80};
        QTest::newRow("a blow misses") << Shape{Cue::BlowMisses, 3, 0.15, 0.4, 1200, 4000};
        QTest::newRow("a survivor is bitten") << Shape{Cue::SurvivorBitten, 3, 0.3, 0.8, 500, 1200, 0.3};
        QTest::newRow("a zombie falls, deeper as it dies") << Shape{Cue::ZombieFalls, 3, 0.8, 1.5, 60, 300, 0, 60};
        QTest::newRow("the camera clicks") << Shape{Cue::Click, 3, 0.03, 0.15, 600, 1600};
        QTest::newRow("a wave arrives") << Shape{Cue::WaveArrives, 2, 1.8, 2.6, 60, 300};
        QTest::newRow("zombies moan") << Shape{Cue::Moan, 6, 1.0, 2.5, 400, 680};
        QTest::newRow("dawn") << Shape{Cue::Dawn, 1, 2.0, 3.0, 400, 900};
        QTest::newRow("dusk, darker") << Shape{Cue::Dusk, 1, 2.0, 3.0, 150, 350};
        QTest::newRow("a run ends") << Shape{Cue::RunEnds, 1, 1.5, 3.0, 300, 700};
        QTest::newRow("a menu button") << Shape{Cue::MenuButton, 1, 0.03, 0.2, 500, 1000};
    }

    void everyCueIsWholeAndClean()
    {
        ROW(Shape);
        QVERIFY(bank->variants(row.cue) >= row.variants);
        for (int variant = 0; variant < bank->variants(row.cue); ++variant) {
            const std::vector<float>& sound = bank->samples(row.cue, variant);
            const double seconds = double(sound.size()) / rate;
            QVERIFY2(seconds >= row.shortest && seconds <= row.longest, qPrintable(QString::number(seconds)));
            float loudest = 0, tail = 0;
            for (std::size_t i = 0; i < sound.size(); ++i) {
                QVERIFY(std::isfinite(sound[i]));
                loudest = std::max(loudest, std::abs(sound[i]));
                if (i + rate / 500 >= sound.size()) // the last 2 ms
                    tail = std::max(tail, std::abs(sound[i]));
            }
            QVERIFY2(loudest <= 0.708f && loudest > 0.1f, qPrintable(QString::number(loudest))); // at most -3 dBFS
            QVERIFY2(std::abs(sound.front()) < 1e-3f && std::abs(sound.back()) < 1e-3f && tail < 0.02f, "starts and ends at rest");
            const double hz = brightness(sound);
            QVERIFY2(hz >= row.lowHz && hz <= row.highHz, qPrintable(QString::number(hz)));
            const std::size_t n = sound.size();
            const auto level = [&sound](std::size_t from, std::size_t to) {
                return std::sqrt(std::inner_product(&sound[from], &sound[to], &sound[from], 0.0) / double(to - from));
            };
            const double fading = level(n * 9 / 10, n) / level(n / 4, n * 3 / 4);
            QVERIFY2(row.fading == 0 || fading <= row.fading, qPrintable(QString::number(fading)));
            const double endHz = brightness(std::vector<float>(sound.end() - std::ptrdiff_t(n / 3), sound.end()));
            QVERIFY2(row.endHz == 0 || endHz <= row.endHz, qPrintable(QString::number(endHz)));
            for (int other = 0; other < variant; ++other)
                QVERIFY(bank->samples(row.cue, other) != sound);
        }
    }

    void cuesSitWhereAPlayerExpects_data()
    {
        ROWS(Balance);
        QTest::newRow("a near shot as loud as a scream") << Balance{Cue::Gunshot, Cue::Scream, -1.5, 1.5};
        QTest::newRow("a bite as loud as a scream") << Balance{Cue::SurvivorBitten, Cue::Scream, -1.5, 1.5};
        QTest::newRow("a moan, one of a crowd, under a shot") << Balance{Cue::Moan, Cue::Gunshot, -8, -2};
        QTest::newRow("a blow under a shot") << Balance{Cue::BlowLands, Cue::Gunshot, -5, 0};
        QTest::newRow("the menu's button under a moan") << Balance{Cue::MenuButton, Cue::Moan, -5, 0};
    }

    void cuesSitWhereAPlayerExpects()
    {
        // Loudness as heard: sox takes out the low end the ear hardly hears,
        // then the loudest tenth of a second (the ear's integration time),
        // in 5 ms steps, averaged over the variants.
        ROW(Balance);
        if (QStandardPaths::findExecutable(QStringLiteral("sox")).isEmpty())
            QSKIP("needs sox");
        const auto loudness = [this](Cue cue) {
            double sum = 0;
            for (int variant = 0; variant < bank->variants(cue); ++variant) {
                const std::vector<float>& sound = bank->samples(cue, variant);
                QProcess sox;
                sox.start(QStringLiteral("sox"), QStringLiteral("-t raw -e floating-point -b 32 -r 48000 -c 1 - -t raw - highpass 100").split(' '));
                sox.write(reinterpret_cast<const char*>(sound.data()), qint64(sound.size() * sizeof(float)));
                sox.closeWriteChannel();
                sox.waitForFinished();
                const QByteArray out = sox.readAllStandardOutput();
                const auto* weighted = reinterpret_cast<const float*>(out.constData());
                const qsizetype n = out.size() / qsizetype(sizeof(float));
                double loudest = 0;
                for (qsizetype from = 0; from == 0 || from + rate / 10 <= n; from += rate / 200) {
                    const qsizetype to = std::min(n, from + rate / 10);
                    loudest = std::max(loudest, std::inner_product(weighted + from, weighted + to, weighted + from, 0.0) / double(to - from));
                }
                sum += 10 * std::log10(loudest);
            }
            return sum / bank->variants(cue);
        };
        const double over = loudness(row.cue) - loudness(row.against);
        QVERIFY2(over >= row.least && over <= row.most, qPrintable(QString::number(over)));
    }

    void panningKeepsThePower_data()
    {
        // Each channel as a share of the sound at full scale.
        ROWS(Pan);
        QTest::newRow("centre is equal in both") << Pan{Cue::MenuButton, 1, 0, 0.70711, 0.70711};
        QTest::newRow("hard left") << Pan{Cue::Dawn, 0.5f, -1, 0.5, 0};
        QTest::newRow("hard right") << Pan{Cue::Dawn, 0.5f, 1, 0, 0.5};
        QTest::newRow("half left leans left") << Pan{Cue::Dusk, 1, -0.5f, 0.92388, 0.38268};
        QTest::newRow("gain 0 is silence") << Pan{Cue::Gunshot, 0, 0, 0, 0};
    }

    void panningKeepsThePower()
    {
        ROW(Pan);
        Mixer mixer(*bank);
        mixer.play(row.cue, row.gain, row.pan);
        const std::vector<float>& sound = bank->samples(row.cue);
        const Stereo out = pull(mixer, double(sound.size()) / rate);
        const std::vector<int> left = scaled(sound, row.left), right = scaled(sound, row.right);
        for (std::size_t i = 0; i < sound.size() - 1; ++i) {
            QVERIFY2(std::abs(out.left[i] - left[i]) <= 1 && std::abs(out.right[i] - right[i]) <= 1,
                     qPrintable(QStringLiteral("frame %1: (%2, %3) for (%4, %5)").arg(i).arg(out.left[i]).arg(out.right[i]).arg(left[i]).arg(right[i])));
        }
    }

    void noVariantTwiceRunning()
    {
        Mixer mixer(*bank);
        std::vector<std::vector<int>> variants;
        for (int variant = 0; variant < bank->variants(Cue::Gunshot); ++variant)
            variants.push_back(scaled(bank->samples(Cue::Gunshot, variant), M_SQRT1_2));
        int last = -1;
        for (int shot = 0; shot < 24; ++shot) {
            mixer.play(Cue::Gunshot, 1, 0);
            const Stereo out = pull(mixer, 0.5);
            const auto heard = std::find_if(variants.cbegin(), variants.cend(), [&out](const std::vector<int>& samples) {
                return std::equal(samples.cbegin(), samples.cbegin() + 2000, out.left.cbegin(), [](int a, int b) { return std::abs(a - b) <= 1; });
            });
            QVERIFY(heard != variants.cend() && int(heard - variants.cbegin()) != last);
            last = int(heard - variants.cbegin());
        }
    }

    void volumeAndMuteRampWithoutAClick_data()
    {
        ROWS(Master); // level: the share of the sound heard once the ramp is over
        QTest::newRow("full volume") << Master{1, false, 1};
        QTest::newRow("half the slider is a quarter") << Master{0.5f, false, 0.25};
        QTest::newRow("the slider at 0") << Master{0, false, 0};
        QTest::newRow("muted") << Master{1, true, 0};
        QTest::newRow("muted at half volume") << Master{0.5f, true, 0};
    }

    void volumeAndMuteRampWithoutAClick()
    {
        ROW(Master);
        Mixer mixer(*bank);
        mixer.play(Cue::MenuButton, 1, -1);
        mixer.setVolume(row.volume);
        mixer.setMuted(row.muted);
        const Stereo out = pull(mixer, 0.1);
        const std::vector<int> whole = scaled(bank->samples(Cue::MenuButton), 1), heard = scaled(bank->samples(Cue::MenuButton), row.level);
        if (row.level < 1) { // a quarter of the way down at 5 ms
            const double under = share(out.left, whole, 0.004, 0.006);
            QVERIFY2(under > 0.7 && under < 0.8, qPrintable(QString::number(under)));
        }
        for (int i = rate / 40; i < rate / 10; ++i) // from 25 ms
            QVERIFY2(std::abs(out.left[i] - heard[i]) <= 1, qPrintable(QStringLiteral("frame %1: %2 for %3").arg(i).arg(out.left[i]).arg(heard[i])));
    }

    void volleysNeverReachFullScale_data()
    {
        ROWS(Volley); // shots at full gain over 24 loud voices already sounding
        QTest::newRow("24 loud voices") << Volley{0, 1};
        QTest::newRow("200 shots merged into one") << Volley{1, 200};
        QTest::newRow("200 shots played in one step") << Volley{200, 1};
    }

    void volleysNeverReachFullScale()
    {
        ROW(Volley);
        Mixer mixer(*bank);
        for (int voice = 0; voice < 24; ++voice)
            mixer.play(voice % 2 ? Cue::Scream : Cue::ZombieFalls, 0.8f, voice / 12.0f - 1);
        for (int shot = 0; shot < row.plays; ++shot)
            mixer.play(Cue::Gunshot, 1, shot / 100.0f - 1, row.count);
        const Stereo out = pull(mixer, 1.5);
        QCOMPARE(mixer.activeVoices(), 0);
        const int loudest = std::max(peak(out.left), peak(out.right));
        QVERIFY2(loudest < 32000 && loudest > 20000, qPrintable(QString::number(loudest)));
        // The limiter levels the mix; the soft clipper above 80 % of full scale
        // only catches the onsets, or the mix would be all distortion.
        const auto clipped = std::count_if(out.left.cbegin(), out.left.cend(), [](int sample) { return std::abs(sample) > 26214; });
        QVERIFY2(clipped < std::ptrdiff_t(out.left.size()) / 20, qPrintable(QString::number(clipped)));
    }

    void mergedEventsGrowOnlyLogarithmically_data()
    {
        ROWS(Merge); // least and most: loudness against a single event
        QTest::newRow("eight at once") << Merge{8, 1.2, 1.8};
        QTest::newRow("two hundred at once") << Merge{200, 1.7, 2.8};
    }

    void mergedEventsGrowOnlyLogarithmically()
    {
        ROW(Merge);
        Mixer single(*bank), merged(*bank);
        single.play(Cue::Gunshot, 0.05f, 0);
        merged.play(Cue::Gunshot, 0.05f, 0, row.count);
        const double louder = share(pull(merged, 0.5).left, pull(single, 0.5).left, 0, 0.5);
        QVERIFY2(louder > row.least && louder < row.most, qPrintable(QString::number(louder)));
    }

    void theQuietestVoiceYields_data()
    {
        ROWS(Steal); // a newcomer where three voices sound right and a quieter one left
        QTest::newRow("a louder cue takes the quietest voice") << Steal{0.6f, 1, true};
        QTest::newRow("a quieter cue is dropped") << Steal{0.05f, -1, false};
        QTest::newRow("a cue as loud as the quietest is dropped") << Steal{0.1f, -1, false};
    }

    void theQuietestVoiceYields()
    {
        ROW(Steal);
        Mixer mixer(*bank, 4), twin(*bank, 4);
        for (Mixer* each : {&mixer, &twin}) {
            for (int voice = 0; voice < 3; ++voice)
                each->play(Cue::Dawn, 0.3f, 1);
            each->play(Cue::Dusk, 0.1f, -1);
            pull(*each, 1);
        }
        mixer.play(Cue::RunEnds, row.gain, row.pan);
        const Stereo out = pull(mixer, 0.3), alone = pull(twin, 0.3);
        QCOMPARE(mixer.activeVoices(), 4);
        if (row.leftSilenced) {
            QVERIFY2(peak(out.left, 0, 0.002) > 100, "fades rather than stops");
            QCOMPARE(peak(out.left, 0.01), 0);
        } else {
            QVERIFY(out.left == alone.left);
        }
    }

    void pauseFadesTheWorldOutAndBack()
    {
        Mixer mixer(*bank), twin(*bank);
        for (Mixer* each : {&mixer, &twin}) {
            each->play(Cue::Dawn, 1, -1);
            pull(*each, 1);
        }
        mixer.setPaused(true);
        const Stereo fading = pull(mixer, 0.35), going = pull(twin, 0.35);
        const double halfway = share(fading.left, going.left, 0.14, 0.16);
        QVERIFY2(halfway > 0.4 && halfway < 0.6, qPrintable(QString::number(halfway)));
        QCOMPARE(peak(fading.left, 0.3), 0);
        // Held still however long the pause: Dawn would have ended by now.
        QCOMPARE(peak(pull(mixer, 2).left), 0);
        mixer.play(Cue::MenuButton, 1, 0);
        QVERIFY2(peak(pull(mixer, 0.1).left) > 2000, "the menu speaks while the world is paused");
        mixer.setPaused(false);
        const Stereo back = pull(mixer, 0.35);
        QVERIFY(peak(back.left, 0, 0.01) < peak(back.left, 0.3));
        QVERIFY2(peak(back.left, 0.3) > peak(going.left, 0, 0.05) / 2, "back to its level");
    }

    void crowdMoansFollowItsDensity_data()
    {
        // Over a minute: how many moans begin, the loudest sample, and the
        // brightness of them all: at night a third of an octave deeper.
        ROWS(Crowd);
        QTest::newRow("no crowd") << Crowd{0, 1, false, 0, 0, 0, 0, 0};
        QTest::newRow("a silent crowd") << Crowd{1, 0, false, 0, 0, 0, 0, 0};
        QTest::newRow("a thin crowd by day") << Crowd{0.25f, 1, false, 8, 30, 32000, 500, 650};
        QTest::newRow("a dense crowd by day") << Crowd{1, 1, false, 50, 95, 32000, 500, 650};
        QTest::newRow("a dense crowd at night") << Crowd{1, 1, true, 100, 160, 32000, 380, 500};
        QTest::newRow("a distant dense crowd") << Crowd{1, 0.25f, false, 50, 95, 6000, 500, 650};
    }

    void crowdMoansFollowItsDensity()
    {
        ROW(Crowd);
        Mixer mixer(*bank);
        mixer.setCrowd(row.density, row.loudness, row.night);
        int moans = 0, loudest = 0;
        std::vector<int> heard;
        for (int block = 0, sounding = 0; block < 6000; ++block) {
            const Stereo out = pull(mixer, 0.01);
            moans += std::max(0, mixer.activeVoices() - sounding);
            sounding = mixer.activeVoices();
            loudest = std::max({loudest, peak(out.left), peak(out.right)});
            heard.insert(heard.end(), out.left.cbegin(), out.left.cend());
        }
        QVERIFY2(moans >= row.fewest && moans <= row.most, qPrintable(QString::number(moans)));
        QVERIFY2(loudest <= row.loudest && (loudest > 1000) == (row.most > 0), qPrintable(QString::number(loudest)));
        if (row.most > 0) {
            const double hz = brightness(heard);
            QVERIFY2(hz >= row.lowHz && hz <= row.highHz, qPrintable(QString::number(hz)));
        }
    }

    void aHappeningSoundsFromWhereItIs()
    {
        // Full within 25 units, then falling as one over the distance, as
        // the game's noises do; panned by its offset across half the view,
        // to three quarters of the way at its edge and beyond.
        const QVector2D listener(500, 500);
        QCOMPARE(Audio::placed(QVector2D(510, 500), listener, 100), std::make_pair(1.0f, 0.075f));
        QCOMPARE(Audio::placed(QVector2D(500, 550), listener, 100), std::make_pair(0.5f, 0.0f));
        QCOMPARE(Audio::placed(QVector2D(400, 500), listener, 50), std::make_pair(0.25f, -0.75f));
    }

    void theCrowdFollowsTheZombiesInEarshot()
    {
        // More zombies moan more often and louder, and louder in the dark;
        // past a full crowd nothing grows.
        QCOMPARE(Audio::crowd(0, true), std::make_pair(0.0f, 0.0f));
        const auto few = Audio::crowd(5, false), many = Audio::crowd(40, false), dark = Audio::crowd(40, true);
        QVERIFY(few.first < many.first && few.second < many.second && many.second < dark.second);
        QCOMPARE(Audio::crowd(400, false), many);
        QVERIFY(dark.second <= 1.0f);
    }

    void throughTheSoundServer_data()
    {
        // Happenings played by a game into the test's own sound server and
        // recorded from its monitor: shots or a scream, some units left of
        // the listener.
        ROWS(Heard);
        QTest::newRow("a shot on the left is louder on the left") << Heard{"shot", 1, 150, false};
        QTest::newRow("a scream arrives within 80 ms") << Heard{"scream", 1, 0, false};
        QTest::newRow("a volley of 200 shots stays below full scale") << Heard{"shot", 200, 0, false};
        QTest::newRow("muted, nothing is heard, nothing mixed") << Heard{"shot", 200, 0, true};
        QTest::newRow("a shot past the view's edge is heard in both ears") << Heard{"shot", 1, 0, false, 1.5f};
        QTest::newRow("the world falls silent when its game is gone") << Heard{"dawn", 1, 0, false, 0, true};
        QTest::newRow("a server back after more than 3 s is heard again") << Heard{"shot", 1, 0, false, 0, false, true};
    }

    void throughTheSoundServer()
    {
        ROW(Heard);
        if (QStandardPaths::findExecutable(QStringLiteral("parec")).isEmpty())
            QSKIP("needs parec (pulseaudio-utils) and a sound server, as make test starts");
        auto game = testing::makeEmptyGame();
        if (!audio)
            audio = std::make_unique<Audio>();
        if (row.back) {
            const QString server = qEnvironmentVariable("CARROWMERE_SOUND_SERVER");
            if (server.isEmpty())
                QSKIP("needs a server that tools/with-sound.sh can start again");
            QTest::ignoreMessage(QtWarningMsg, "carrowmere: the sound server is gone; playing silently until it is back");
            QTest::ignoreMessage(QtWarningMsg, "carrowmere: the sound server is back; sound plays again");
            QCOMPARE(QProcess::execute(QStringLiteral("pulseaudio"), {"--kill"}), 0);
            QTRY_VERIFY(!audio->isPlaying());
            QTest::qWait(3500); // longer than a client that tries once waits
            QCOMPARE(QProcess::execute(server, {}), 0);
            warm = false;
        }
        QTRY_VERIFY2(audio->isPlaying(), "no sound server: run the tests under tools/with-sound.sh");
        audio->setVolume(1);
        audio->setMuted(row.muted);
        audio->listenTo(game.get());
        QProcess recorder;
        recorder.start(QStringLiteral("parec"), {"--format=s16le", "--rate=48000", "--channels=2", "--latency-msec=5",
                                                 "--device=@DEFAULT_MONITOR@", "--raw"});
        QVERIFY(recorder.waitForStarted());
        QByteArray recorded;
        QElapsedTimer clock;
        const auto record = [&](int milliseconds) {
            for (clock.start(); clock.elapsed() < milliseconds;) {
                QTest::qWait(2); // the game's sound takes its happenings as it would in play
                recorded += recorder.readAllStandardOutput();
            }
        };
        // A fresh server's monitor starts late; after that, a moment of quiet.
        record(std::exchange(warm, true) ? 300 : 1500);
        // The recorder's own buffering only adds to the delay it sees: the
        // scream's delay is the least of five tries.
        const QVector2D listener = game->listener();
        const float halfWidth = float(game->view->mapToScene(game->view->viewport()->rect()).boundingRect().width() / 2);
        const float away = row.past > 0 ? row.past * halfWidth : row.left;
        qsizetype gone = -1;
        double left = 0, right = 0, delay = 1e9;
        int peak = 0, tail = 0; // tail: the loudest of the last quarter second, long after a shot's 0.42 s
        for (int tries = row.what == "scream" ? 5 : 1; tries > 0; --tries) {
            const qsizetype before = recorded.size() / 4;
            for (int shot = 0; shot < row.shots; ++shot)
                game->happen(row.what == "shot" ? Happening::Kind::Gunshot
                                 : row.what == "dawn"   ? Happening::Kind::Dawn
                                                        : Happening::Kind::Scream,
                             listener - QVector2D(away, 0));
            record(row.gone ? 500 : 1000);
            if (row.gone) {
                game.reset();
                gone = recorded.size() / 4;
                record(800);
            }
            const auto* samples = reinterpret_cast<const qint16*>(recorded.constData());
            qsizetype onset = -1;
            for (qsizetype i = before; i < recorded.size() / 4; ++i) {
                const int l = samples[2 * i], r = samples[2 * i + 1];
                left += double(l) * l;
                right += double(r) * r;
                peak = std::max({peak, std::abs(l), std::abs(r)});
                if (i >= recorded.size() / 4 - 12000 || (gone >= 0 && i >= gone + 7200)) // or 150 ms after the game went
                    tail = std::max({tail, std::abs(l), std::abs(r)});
                if (onset < 0 && std::max(std::abs(l), std::abs(r)) > 300)
                    onset = i;
            }
            if (onset >= 0)
                delay = std::min(delay, (onset - before) / 48.0);
        }
        recorder.kill();
        recorder.waitForFinished();
        const QString heard = QStringLiteral("peak %1, left %2, right %3, first heard %4 ms after the event, then %5")
                                  .arg(peak).arg(std::sqrt(left)).arg(std::sqrt(right)).arg(delay).arg(tail);
        qInfo("%s", qPrintable(heard));
        if (row.muted) {
            QVERIFY2(peak < 50, qPrintable(heard));
            QTRY_VERIFY(audio->isCorked());
            QProcess pactl;
            pactl.start(QStringLiteral("pactl"), {"list", "sink-inputs"});
            QVERIFY(pactl.waitForFinished());
            const QByteArray inputs = pactl.readAllStandardOutput();
            QVERIFY2(inputs.contains("Corked: yes") && !inputs.contains("Corked: no"), inputs.constData());
            const std::uint64_t mixed = audio->framesMixed();
            QTest::qWait(300);
            QCOMPARE(audio->framesMixed(), mixed);
            // What was asked for while muted is never heard later.
            audio->setMuted(false);
            const qsizetype unmuted = recorded.size() / 2;
            record(300);
            const auto* after = reinterpret_cast<const qint16*>(recorded.constData());
            QVERIFY(std::all_of(after + unmuted, after + recorded.size() / 2, [](qint16 sample) { return std::abs(sample) < 50; }));
            return;
        }
        QVERIFY2(delay < 1e8 && peak < 32000, qPrintable(heard));
        if (row.what == "shot" || row.gone) // heard once, or no more once gone
            QVERIFY2(tail < 300, qPrintable(heard));
        if (row.what == "scream")
            QVERIFY2(delay < 80, qPrintable(heard));
        if (away > 0) // and within 20 dB in the far ear
            QVERIFY2(left > 2 * right && right * 100 > left, qPrintable(heard));
    }
};

QTEST_MAIN(TestSound)
#include "tst_sound.moc"
