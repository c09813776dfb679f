#include "app/verify.h"

#include "app/messages.h"

#include "game/game.h"
#include "game/playback.h"

#include <cstdio>

int verifyReplay(const Replay& replay, const QString& fileName)
{
    Game game(nullptr, std::nullopt, nullptr, std::make_unique<Playback>(replay));
    game.stopTimers();
    while (game.runStep(game.clock.take())) {
    }
    const auto say = [&](FILE* stream, const QString& what) {
        std::fprintf(stream, "carrowmere: replay %s %s\n", qPrintable(messages::printable(fileName)),
                     qPrintable(messages::printable(what)));
        return stream == stdout ? 0 : 1;
    };
    if (!game.playback->problem().isEmpty())
        return say(stderr, QStringLiteral("went astray at %1").arg(game.playback->problem()));
    const QString state = QStringLiteral("step %1 (physics step %2): score %3, %4 zombies, %5 survivors, world %6")
                              .arg(game.steps)
                              .arg(game.tick)
                              .arg(qint64(game.score))
                              .arg(game.zombieCount)
                              .arg(game.humanCount)
                              .arg(worldHash(game), 16, 16, QLatin1Char('0'));
    // Played to where a full disk or a crash left it: what is there is good.
    if (replay.cutAt >= 0)
        return say(stderr, QStringLiteral("is cut short at byte %1; verified to its last whole block, %2")
                               .arg(QString::number(replay.cutAt), state));
    if (!replay.ended())
        return say(stderr, QStringLiteral("stops at %1 without its end: the game that made it was cut short").arg(state));
    return say(stdout, QStringLiteral("verified to %1").arg(state));
}
