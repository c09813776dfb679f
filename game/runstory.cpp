#include "game/runstory.h"

#include "agents/human.h"
#include "game/daylight.h"
#include "game/game.h"
#include "game/parameters.h"
#include "game/records.h"

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <cmath>


namespace {

constexpr double pi = 3.14159265358979323846;

QString tr(const char* text)
{
    return QCoreApplication::translate("RunStory", text);
}

qint64 msOf(int steps)
{
    return qint64(steps) * params::physicsInterval;
}

int livingZombies(const std::vector<Neighbour>& near, const Unit* besides = nullptr)
{
    return int(std::count_if(near.cbegin(), near.cend(), [besides](const Neighbour& other) {
        return !other.isHuman && !other.unit->dead && other.unit != besides;
    }));
}

constexpr std::array<const char*, int(Milestone::Count)> milestoneIds{"dawn", "1min", "3min", "5min", "10min", "1km"};

} // namespace

void RunStory::begin(const Game& game)
{
    std::vector<Wave> kept = std::move(waves);
    *this = RunStory();
    waves = std::move(kept);
    last = game.selected->position;
    // The light as the steps leave it: the game's own is not set before its first step.
    lastLight = Daylight::at(game.tick).level;
}

void RunStory::afterPhysics(const Game& game)
{
    const Human* survivor = game.selected;
    if (!survivor)
        return;
    walked += double(survivor->position.distanceToPoint(last));
    last = survivor->position;
    if (game.light <= 0)
        ++nightSteps;
    else if (lastLight <= 0)
        ++dawns;
    lastLight = game.light;
}

void RunStory::afterAI(const Game& game)
{
    const Human* survivor = game.selected;
    if (!survivor)
        return;
    // Among those noted within earshot, which sight never passes.
    for (const Unit* other : game.surroundings.survivors)
        if (other->position.distanceToPoint(survivor->position) < survivor->viewRange)
            met.insert(other->id);
}

void RunStory::waveBegan(int firstId, int tick, Waves::Side edge)
{
    waves.push_back({firstId, tick, edge});
}

void RunStory::fell(const Game& game, const Unit& agent, const Unit* by)
{
    const Human* survivor = game.selected;
    if (!survivor)
        return;
    if (&agent != survivor) {
        if (agent.position.distanceToPoint(survivor->position) < survivor->viewRange)
            ++(agent.isHuman ? survivorsFallen : zombiesFelled);
        return;
    }
    if (!by)
        return;
    Bite told{by->position - survivor->position, survivor->velocity, 0, 0, -1, {}};
    game.unitsNear(scratch, survivor->position.x(), survivor->position.y(), survivor->viewRange);
    told.othersInSight = livingZombies(scratch, by);
    game.unitsNear(scratch, by->position.x(), by->position.y(), params::flockRadius);
    told.horde = livingZombies(scratch, by) + 1;
    // Waves are in the order of their first agents: the last to begin at or before its id is its own.
    const auto wave = std::upper_bound(waves.cbegin(), waves.cend(), by->id,
                                       [](int id, const Wave& one) { return id < one.firstId; });
    if (wave != waves.cbegin()) {
        told.waveAgeSteps = game.tick - std::prev(wave)->tick;
        told.waveEdge = std::prev(wave)->edge;
    }
    bite = told;
}

QStringList RunStory::causeLines() const
{
    if (!bite)
        return {tr("Your survivor was bitten")};
    const QString others = bite->othersInSight == 0 ? tr("with no other in sight")
                           : bite->othersInSight == 1
                               ? tr("with 1 more within sight")
                               : tr("with %1 more within sight").arg(bite->othersInSight);
    const QString side = sideOf(bite->from, bite->heading);
    QStringList lines{tr("Bitten by a zombie %1, %2").arg(side, others)};
    QStringList whence;
    if (bite->waveAgeSteps < 0)
        whence << tr("It had been there since the outbreak began");
    else
        whence << tr("It came in with a wave from the %1 edge %2 before")
                      .arg(Waves::nameOf(bite->waveEdge), minutesAndSeconds(msOf(bite->waveAgeSteps)));
    if (bite->horde >= params::hordeSize)
        whence << tr("one of a horde of %1").arg(bite->horde);
    return lines << whence.join(tr(", "));
}

QStringList RunStory::storyLines() const
{
    QStringList went, around;
    if (walked * params::metresPerUnit >= 1)
        went << tr("Walked %1").arg(distanceInWords(walked));
    if (screams > 0)
        went << (screams == 1 ? tr("1 scream") : tr("%1 screams").arg(screams));
    if (nightSteps > 0)
        went << tr("%1 by night").arg(minutesAndSeconds(msOf(nightSteps)));
    if (!met.isEmpty())
        around << (met.size() == 1 ? tr("Met 1 survivor") : tr("Met %1 survivors").arg(met.size()));
    if (survivorsFallen > 0)
        around << tr("%1 fell nearby").arg(survivorsFallen);
    if (zombiesFelled > 0)
        around << (zombiesFelled == 1 ? tr("1 zombie felled nearby") : tr("%1 zombies felled nearby").arg(zombiesFelled));
    QStringList lines;
    for (const QStringList& parts : {went, around})
        if (!parts.isEmpty())
            lines << parts.join(QStringLiteral(" \u00b7 "));
    return lines;
}

QString compassSide(QVector2D offset)
{
    // North is up the screen, where y falls.
    static constexpr std::array<const char*, 8> names{"from the east",  "from the north-east", "from the north",
                                                      "from the north-west", "from the west", "from the south-west",
                                                      "from the south", "from the south-east"};
    const double turn = std::atan2(-double(offset.y()), double(offset.x())) / (2 * pi);
    const int sector = int(std::lround(turn * 8 + 8)) % 8;
    return tr(names[std::size_t(sector)]);
}

QString sideOf(QVector2D offset, QVector2D heading)
{
    const QString compass = compassSide(offset);
    // Standing still, or nearly, a survivor has no behind.
    if (heading.length() < params::humanMaxSpeed / 10 || offset.isNull())
        return compass;
    const double ahead = double(QVector2D::dotProduct(offset.normalized(), heading.normalized()));
    // With y down the screen, a positive cross product is to the right of the heading.
    const double right = double(heading.x() * offset.y() - heading.y() * offset.x());
    const char* relative = ahead < -0.7 ? "from behind" : ahead > 0.7 ? "from ahead" : right > 0 ? "from the right" : "from the left";
    return tr("%1 (%2)").arg(compass, tr(relative));
}

QString distanceInWords(double units)
{
    const double metres = units * params::metresPerUnit;
    if (metres < 1000)
        return tr("%1 m").arg(qint64(metres));
    return tr("%1 km").arg(metres / 1000, 0, 'f', 1);
}

QString milestoneName(Milestone milestone)
{
    static constexpr std::array<const char*, int(Milestone::Count)> names{
        "A dawn reached", "A minute lasted", "Three minutes", "Five minutes", "Ten minutes", "A kilometre walked"};
    return tr(names[std::size_t(milestone)]);
}

std::vector<Milestone> milestonesOf(int steps, const RunStory& story)
{
    std::vector<Milestone> earned;
    if (story.dawns > 0)
        earned.push_back(Milestone::Dawn);
    const std::array<std::pair<int, Milestone>, 4> lasted{
        {{1, Milestone::OneMinute}, {3, Milestone::ThreeMinutes}, {5, Milestone::FiveMinutes}, {10, Milestone::TenMinutes}}};
    for (const auto& [minutes, milestone] : lasted)
        if (msOf(steps) >= minutes * 60000)
            earned.push_back(milestone);
    if (story.walked * params::metresPerUnit >= 1000)
        earned.push_back(Milestone::Kilometre);
    return earned;
}

QString milestonesKey(const QString& group)
{
    return group + QStringLiteral("milestones");
}

QStringList keepMilestones(Records& records, const QString& group, const std::vector<Milestone>& earned)
{
    const QString key = milestonesKey(group);
    QStringList kept = records.setting(key).toString().split(QLatin1Char(','), Qt::SkipEmptyParts);
    QStringList lines;
    for (const Milestone milestone : earned) {
        const QString id = QString::fromLatin1(milestoneIds[std::size_t(milestone)]);
        if (kept.contains(id)) {
            lines << milestoneName(milestone);
        } else {
            kept << id;
            lines << tr("%1 (new)").arg(milestoneName(milestone));
        }
    }
    if (!earned.empty())
        records.setSetting(key, kept.join(QLatin1Char(',')));
    return lines;
}
