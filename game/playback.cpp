#include "game/playback.h"

#include "game/game.h"

bool Playback::before(Game& game)
{
    if (!astray.isEmpty())
        return false;
    const auto wrong = [&](const QString& what) {
        astray = QStringLiteral("step %1: %2").arg(game.steps).arg(what);
        return false;
    };
    for (; next < replay.entries.size() && replay.entries[next].at <= game.steps; ++next) {
        const Replay::Entry& entry = replay.entries[next];
        switch (entry.kind) {
        case Replay::Kind::Controls:
            controls = entry.controls;
            break;
        case Replay::Kind::Noise:
            if (!game.onWorld(entry.point))
                return wrong(QStringLiteral("a noise outside the world"));
            game.noiseAt(entry.point);
            break;
        case Replay::Kind::GiveUp:
            if (!game.selected)
                return wrong(QStringLiteral("no survivor to give up"));
            game.deselect(RunEnd::Cause::GaveUp);
            break;
        case Replay::Kind::Dismiss:
            if (game.summary.isShown())
                game.summary.dismiss();
            else if (game.humanCount == 0) // taken down before it came up here
                game.summary.noSurvivorsTold = true;
            break;
        case Replay::Kind::Difficulty: // read with the header, never kept as an entry
            break;
        case Replay::Kind::Check:
        case Replay::Kind::End:
            if (const std::uint64_t hash = worldHash(game); hash != entry.hash)
                return wrong(QStringLiteral("the world's hash is %1, the recording's %2")
                                 .arg(hash, 16, 16, QLatin1Char('0'))
                                 .arg(entry.hash, 16, 16, QLatin1Char('0')));
            break;
        }
    }
    return !finished();
}
