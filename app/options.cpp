#include "app/options.h"

#include "game/parameters.h"

#include <QCommandLineParser>

#include <cstdio>

namespace {

// Options every Qt program takes, read by the toolkit itself: the parser
// must know them only to let them through.
const char* const toolkitValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                           "qwindowgeometry", "qwindowicon", "qwindowtitle", "session", "style",
                                           "stylesheet", "display", "geometry", "title", "name", "visual"};
const char* const toolkitFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void print(FILE* stream, const QString& text)
{
    std::fputs(qPrintable(text), stream);
    std::fflush(stream);
}

} // namespace

std::variant<Options, int> Options::parse(const QStringList& arguments)
{
    QCommandLineParser parser;
    // Qt's own options have one dash and whole words: -platform, not -p -l ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral("A zombie outbreak in real time. Steer a survivor with W A S D or "
                                                    "the arrows, scream with Space, pause with P, run the world 1, 2, "
                                                    "4 or 8 times as fast with 1 to 4, leave with Escape."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show the options."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version."));
    const QCommandLineOption windowed(QStringLiteral("windowed"),
                                      QStringLiteral("Play in a window (F11 switches) instead of full screen."));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("Build the first world from seed <n>."),
                                  QStringLiteral("n"));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("A world <k> times as large, as crowded (1 to %1).").arg(params::largestScale),
                                   QStringLiteral("k"), QStringLiteral("1"));
    const QCommandLineOption mute(QStringLiteral("mute"), QStringLiteral("Play without sound (M switches it on and off)."));
    const QCommandLineOption replay(QStringLiteral("replay"), QStringLiteral("Watch the game kept in <file>."),
                                    QStringLiteral("file"));
    const QCommandLineOption verify(QStringLiteral("verify"),
                                    QStringLiteral("With --replay: play it without a window as fast as the machine "
                                                   "can, check it, and exit 1 where it differs."));
    parser.addOptions({help, version, windowed, seed, scale, mute, replay, verify});
    for (const char* name : toolkitValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : toolkitFlags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const auto fail = [&parser](const QString& why) {
        print(stderr, QStringLiteral("carrowmere: %1\n\n%2").arg(why, parser.helpText()));
        return 2;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("carrowmere %1\n").arg(QStringLiteral(CARROWMERE_VERSION)));
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));

    Options options;
    options.windowed = parser.isSet(windowed);
    options.mute = parser.isSet(mute);
    options.replay = parser.value(replay);
    options.verify = parser.isSet(verify);
    if (options.verify && options.replay.isEmpty())
        return fail(QStringLiteral("--verify checks a replay: give it one with --replay <file>"));
    if (!options.replay.isEmpty() && (parser.isSet(seed) || parser.isSet(scale)))
        return fail(QStringLiteral("a replay's world is its own: --seed and --scale go with a new game"));
    bool ok = true;
    if (parser.isSet(seed)) {
        options.seed = parser.value(seed).toULongLong(&ok);
        if (!ok)
            return fail(QStringLiteral("the seed must be a whole number from 0 to 18446744073709551615, not \"%1\"")
                            .arg(parser.value(seed)));
    }
    options.scale = parser.value(scale).toInt(&ok);
    if (!ok || options.scale < 1 || options.scale > params::largestScale)
        return fail(QStringLiteral("the scale must be a whole number from 1 to %1, not \"%2\"")
                        .arg(params::largestScale)
                        .arg(parser.value(scale)));
    return options;
}
