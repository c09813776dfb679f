// Zombies and survivors: how they steer, collide, flock, fight and die.

#include "testing.h"

namespace {

enum Kind { Zombie, Unarmed, Armed, FarSightedArmed };
using Offsets = QList<QVector2D>;

struct Collision { QVector2D position, velocity; QPoint wall; double strength; QVector2D toPosition, toVelocity; int wears = 1; };
struct Flock { Kind kind; Offsets zombies, humans; QVector2D sound, acceleration; };
struct Fight { Kind kind; float distance; double skill, evade; bool attacked, killed; };
struct Keys { QList<int> keys; QVector2D velocity; bool stillControlled; };

Unit* agent(Game& game, Kind kind, QVector2D at)
{
    if (kind == Zombie)
        return testing::place(game, at);
    auto* survivor = testing::place<Human>(game, at);
    survivor->armed = kind == Armed || kind == FarSightedArmed;
    survivor->farSighted = kind == FarSightedArmed;
    return survivor;
}

} // namespace

Q_DECLARE_METATYPE(Collision)
Q_DECLARE_METATYPE(Flock)
Q_DECLARE_METATYPE(Fight)
Q_DECLARE_METATYPE(Keys)

class TestAgents : public QObject
{
    Q_OBJECT

private slots:
    void collision_data()
    {
        ROWS(Collision);
        const QPoint none(-1, -1);
        // The edges' margin is 2.5; a bounce keeps 30 % of the speed plus a kick of 1.
        QTest::newRow("left edge") << Collision{{2.4f, 400}, {-0.5f, 0.2f}, none, 0, {2.6f, 400}, {1.15f, 0.2f}};
        QTest::newRow("top edge") << Collision{{800, 2.4f}, {0.2f, -0.5f}, none, 0, {800, 2.6f}, {0.2f, 1.15f}};
        QTest::newRow("right edge") << Collision{{1597.6f, 400}, {0.5f, 0.2f}, none, 0, {1597.4f, 400}, {-1.15f, 0.2f}};
        QTest::newRow("bottom edge") << Collision{{800, 797.6f}, {0.2f, 0.5f}, none, 0, {800, 797.4f}, {0.2f, -1.15f}};
        QTest::newRow("on the margin") << Collision{{2.5f, 797.5f}, {-0.5f, 0.5f}, none, 0, {2.5f, 797.5f}, {-0.5f, 0.5f}};
        // A probe one radius away in a wall, which it wears once before testing
        // it; a stop keeps 30 % reversed and pushes back by 0.3 radii.
        const QVector2D left(201, 405), top(205, 401), right(209, 405), bottom(205, 409);
        QTest::newRow("left wall at 0.3 lets through") << Collision{left, {-0.4f, 0.1f}, {19, 40}, 0.3, left, {-0.4f, 0.1f}};
        QTest::newRow("wall worn to exactly 0.3 lets through")
            << Collision{left, {-0.4f, 0.1f}, {19, 40}, 0.305, left, {-0.4f, 0.1f}};
        QTest::newRow("left wall at 0.31 stops") << Collision{left, {-0.4f, 0.1f}, {19, 40}, 0.31, {201.6f, 405}, {0.12f, 0.1f}};
        QTest::newRow("top wall stops") << Collision{top, {0.1f, -0.4f}, {20, 39}, 0.31, {205, 401.6f}, {0.1f, 0.12f}};
        QTest::newRow("right wall stops") << Collision{right, {0.4f, 0.1f}, {21, 40}, 0.31, {208.4f, 405}, {-0.12f, 0.1f}};
        QTest::newRow("bottom wall stops") << Collision{bottom, {0.1f, 0.4f}, {20, 41}, 0.31, {205, 408.4f}, {0.1f, -0.12f}};
        QTest::newRow("a wall stops one moving away") << Collision{right, {-0.4f, 0}, {21, 40}, 1.0, {208.4f, 405}, {-0.12f, 0}};
        // Standing in a worn cell the speed drops to (0.3 - strength) of itself;
        // all four probes touch the same cell.
        QTest::newRow("wading through rubble") << Collision{{205, 405}, {0.4f, -0.2f}, {20, 40}, 0.1, {205, 405}, {0.08f, -0.04f}, 5};
        QTest::newRow("a wall worn to nothing is bare ground") << Collision{right, {0.4f, 0.1f}, {21, 40}, 0.004, right, {0.4f, 0.1f}};
    QTest::newRow("held fast in a wall") << Collision{{205, 405}, {0.4f, -0.2f}, {20, 40}, 0.5, {205, 405}, {0, 0}, 5};
    }

    void collision()
    {
        ROW(Collision);
        const auto game = testing::makeEmptyGame();
        Unit* unit = testing::place(*game, {800, 400});
        Cell* cell = nullptr;
        if (row.wall.x() >= 0) {
            // Raised after the game was built: the ground must see it all the same.
            cell = &testing::wall(*game, row.wall.x(), row.wall.y());
            cell->strength = row.strength;
        }
        unit->position = row.position;
        unit->velocity = row.velocity;
        unit->collide();
        COMPARE_VECTOR(unit->position, row.toPosition);
        COMPARE_VECTOR(unit->velocity, row.toVelocity);
        if (cell) {
            QVERIFY2(qAbs(cell->strength - std::max(0.0, row.strength - 0.005 * row.wears)) < 1e-9, "worn at every touch");
            QCOMPARE(qAlpha(cell->color), qRound(cell->strength * 255)); // fades as it wears
            QCOMPARE(game->cells->mayHold(row.wall.x(), row.wall.y()), !cell->empty); // the ground's map keeps up
        }
    }

    void flocking_data()
    {
        // One agent at rest at dusk (light 0), where alignment and the zombies'
        // cohesion weigh nothing, among still neighbours. Zombies push at most
        // 0.03, survivors 0.05, before the weights.
        ROWS(Flock);
        const Offsets nobody;
        const QVector2D silence(0, 0);
        // Pushes of 1/1 and 1/3: separation weighs each neighbour by 1/d², so the
        // closer one wins; weighed by 1/d they would cancel out. The agent stands
        // on the top edge of its row of bins (y = 400), the closer push comes
        // from that row and the farther from the row above.
        QTest::newRow("zombie between two close zombies") << Flock{Zombie, {{0, 1}, {0, -3}}, nobody, silence, {0, -0.12f}};
        QTest::newRow("zombie chases a human within 30") << Flock{Zombie, nobody, {{0, 20}}, silence, {0, 0.09f}};
        QTest::newRow("zombie ignores a human at 30") << Flock{Zombie, nobody, {{0, 30}}, silence, {0, 0}};
        QTest::newRow("zombie chases the nearer human") << Flock{Zombie, nobody, {{0, 25}, {-10, 0}}, silence, {-0.09f, 0}};
        QTest::newRow("zombie keeps the first of two as near") << Flock{Zombie, nobody, {{0, 20}, {20, 0}}, silence, {0, 0.09f}};
        // Of two as near in other bins, the first the query lists, bin columns
        // first: the one to the left (column 12, row 13), not the one above
        // (column 13, row 12) that came first.
        QTest::newRow("zombie chases the first of two as near in the query") << Flock{Zombie, nobody, {{0, -20}, {-20, 0}}, silence, {-0.09f, 0}};
        QTest::newRow("zombie walks to a noise") << Flock{Zombie, nobody, nobody, {50, 0}, {0.12f, 0}};
        QTest::newRow("survivor flees a zombie at 5") << Flock{Unarmed, {{5, 0}}, nobody, silence, {-0.225f, 0}};
        QTest::newRow("survivor only shuns a zombie at 10") << Flock{Unarmed, {{10, 0}}, nobody, silence, {-0.025f, 0}};
        QTest::newRow("armed survivor flees a zombie at 10, aiming") << Flock{Armed, {{10, 0}}, nobody, silence, {-0.175f, 0}};
        QTest::newRow("armed survivor aims no further than 50") << Flock{Armed, {{51, 0}}, nobody, silence, {0, 0}};
        QTest::newRow("far-sighted armed survivor aims beyond 50") << Flock{FarSightedArmed, {{51, 0}}, nobody, silence, {0.025f, 0}};
        QTest::newRow("survivor keeps to its group") << Flock{Unarmed, nobody, {{20, 0}}, silence, {0.25f * 10 / 52.5f, 0}};
        QTest::newRow("survivor moves from one too close") << Flock{Unarmed, nobody, {{0, 4}}, silence, {0, -0.2f + 0.5f / 52.5f}};
        QTest::newRow("survivor goes to a far noise") << Flock{Unarmed, nobody, nobody, {0, -50}, {0, -0.05f * 50 * 5 / 70}};
    }

    void flocking()
    {
        ROW(Flock);
        const auto game = testing::makeEmptyGame();
        const QVector2D here(400, 400);
        Unit* unit = agent(*game, row.kind, here);
        for (QVector2D offset : row.zombies)
            agent(*game, Zombie, here + offset);
        for (QVector2D offset : row.humans)
            agent(*game, Unarmed, here + offset);
        game->light = 0;
        for (Unit* other : std::as_const(game->units))
            other->adaptToLight();
        Sound noise(game->hearing, (here + row.sound).toPointF(), 1.0);
        if (!row.sound.isNull())
            unit->heardSound = &noise;
        unit->cooldown = 5; // no attack
        unit->think();
        COMPARE_VECTOR(unit->acceleration, row.acceleration);
        QCOMPARE(unit->heardSound, nullptr); // a noise is followed once, then forgotten
        QCOMPARE(unit->cooldown, 4);
    }

    void attack_data()
    {
        ROWS(Fight);
        QTest::newRow("zombie bites at 6") << Fight{Zombie, 6, 1, 0, true, true};
        QTest::newRow("zombie cannot reach 6.01") << Fight{Zombie, 6.01f, 1, 0, false, false};
        QTest::newRow("zombie misses") << Fight{Zombie, 3, 0, 0, true, false};
        QTest::newRow("survivor evades a bite") << Fight{Zombie, 3, 1, 1, true, false};
        QTest::newRow("survivor strikes at 8") << Fight{Unarmed, 8, 1, 0, true, true};
        QTest::newRow("survivor cannot reach 8.01") << Fight{Unarmed, 8.01f, 1, 0, false, false};
        QTest::newRow("zombie evades a blow") << Fight{Unarmed, 3, 1, 1, true, false};
        QTest::newRow("shot hits at 25, undodgeable") << Fight{Armed, 25, 1, 1, true, true};
        QTest::newRow("shot misses") << Fight{Armed, 10, 0, 0, true, false};
        QTest::newRow("gun cannot reach 25.01") << Fight{Armed, 25.01f, 1, 0, false, false};
    }

    void attack()
    {
        ROW(Fight);
        const auto game = testing::makeEmptyGame();
        game->tick = 1000; // past every grace period
        Unit* attacker = agent(*game, row.kind, {400, 400});
        Unit* target = agent(*game, row.kind == Zombie ? Unarmed : Zombie, {400 + row.distance, 400});
        attacker->melee = row.skill;
        if (row.kind == Armed)
            static_cast<Human*>(attacker)->range = row.skill;
        target->evade = row.evade;
        attacker->attack(target);
        QCOMPARE(attacker->cooldown, row.attacked ? 20 : 0);
        QCOMPARE(target->dead, row.killed);
        QCOMPARE(target->hitFlash, row.attacked && row.skill == 0 ? 1.0 : 0.0);
        QCOMPARE(game->sounds.size(), qsizetype(row.kind == Armed && row.attacked)); // every shot is heard
        target->die(); // once dead, twice dead changes nothing
        QCOMPARE(game->zombieCount + game->humanCount, 1);
        QVERIFY(target->dead);
        // A corpse thinks nothing and only fades.
        target->cooldown = 3;
        target->think();
        QCOMPARE(target->cooldown, 3);
        if (row.kind != Unarmed || !row.killed)
            return;
        // In an AI step, one struck down by a unit after it in the list has
        // taken its turn by then: its cooldown counts down.
        const auto step = testing::makeEmptyGame();
        step->tick = 1000;
        Unit* first = agent(*step, Zombie, {400, 400});
        Unit* striker = agent(*step, Unarmed, {400 + row.distance, 400});
        first->cooldown = 5;
        first->evade = 0;
        striker->melee = 1;
        step->AIUpdate();
        QVERIFY(first->dead && first->cooldown == 4);
    }

    void keysSteerTheSurvivorUnderControl_data()
    {
        ROWS(Keys); // the velocity after one physics step from (0.5, 0)
        QTest::newRow("none: slows") << Keys{{}, {0.4f, 0}, true};
        QTest::newRow("A and W") << Keys{{Qt::Key_A, Qt::Key_W}, {-0.1f, -0.5f}, true};
        QTest::newRow("Right and Down") << Keys{{Qt::Key_Right, Qt::Key_Down}, {0.9f, 0.5f}, true};
        QTest::newRow("Left and D cancel") << Keys{{Qt::Key_Left, Qt::Key_D}, {0.4f, 0}, true};
        QTest::newRow("Up and S cancel") << Keys{{Qt::Key_Up, Qt::Key_S}, {0.4f, 0}, true};
        QTest::newRow("Escape gives up control") << Keys{{Qt::Key_Escape}, {0.4f, 0}, false};
    }

    void keysSteerTheSurvivorUnderControl()
    {
        ROW(Keys);
        const testing::Override<double> steadySpeed(params::humanLightSpeed, 0.0);
        const auto game = testing::makeEmptyGame();
        auto* survivor = testing::place<Human>(*game, {400, 400});
        game->select(survivor);
        for (int key : row.keys)
            game->keys.press(key, false);
        survivor->velocity = QVector2D(0.5f, 0);
        survivor->acceleration = QVector2D(0, 9); // the flock's wish is overruled
        game->physicsUpdate();
        COMPARE_VECTOR(survivor->velocity, row.velocity);
        QCOMPARE(game->selected == survivor, row.stillControlled);
    }
};

QTEST_MAIN(TestAgents)
#include "tst_agents.moc"
