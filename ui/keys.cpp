#include "ui/keys.h"

#include <QCoreApplication>

namespace keys {

namespace {

QString tr(const char* source)
{
    return QCoreApplication::translate("keys", source);
}

} // namespace

const std::vector<Row>& table()
{
    static const std::vector<Row> rows{
        {{Qt::Key_W, Qt::Key_A, Qt::Key_S, Qt::Key_D, Qt::Key_Up, Qt::Key_Left, Qt::Key_Down, Qt::Key_Right},
         "[W A S D] or [Arrows]", Playing, Action::Move, "move your survivor, or the free camera"},
        {{Qt::Key_Space}, "[Space]", Steering, Action::Scream, "scream: a noise that draws zombies and survivors alike"},
        {{Qt::Key_Escape}, "[Esc]", Steering, Action::LetGo, "let go of your survivor: the run ends, the world plays on"},
        {{Qt::Key_Escape}, "[Esc]", FreeCamera, Action::LeaveGame, "leave for the menu (a replay: leave it)"},
        {{}, "[Right click]", FreeCamera, Action::Noise, "a noise there"},
        {{}, "[Left drag]", FreeCamera, Action::Pan, "pan the free camera"},
        {{}, "[Wheel]", FreeCamera, Action::Zoom, "zoom, in play without a survivor and in replays"},
        {{Qt::Key_Home}, "[Home]", FreeCamera, Action::WholeWorld, "the whole world in view"},
        {{Qt::Key_P, Qt::Key_Pause}, "[P] or [Pause]", Playing, Action::Pause, "pause or resume"},
        {{Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4}, "[1] [2] [3] [4]", Playing, Action::Speed,
         "the world at its pace, or two, four or eight times as fast"},
        {{Qt::Key_N}, "[N]", Playing, Action::Map, "the corner map shown or hidden"},
        {{Qt::Key_H, Qt::Key_F1}, "[H] or [F1]", Playing, Action::Help, "the card of what is on screen and the keys"},
        {{Qt::Key_M}, "[M]", Playing | Summary | Menu, Action::Sound, "sound on or off"},
        {{Qt::Key_F11}, "[F11]", Playing | Summary | Menu, Action::FullScreen, "full screen or a window"},
        {{Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}, "[Enter] or [Space]", Summary | Menu, Action::NewWorld, "a new world"},
        {{Qt::Key_R}, "[R]", Summary | Menu, Action::SameWorld, "the same world again"},
        {{Qt::Key_W}, "[W]", Summary, Action::WatchAgain, "watch the run again"},
        {{Qt::Key_L}, "[L]", Summary, Action::LastSeconds, "watch its last ten seconds"},
        {{Qt::Key_Escape}, "[Esc]", Summary, Action::LeaveGame, "the menu"},
        {{Qt::Key_S}, "[S]", Menu, Action::Settings, "settings: volume, difficulty, map, looks"},
        {{Qt::Key_Escape}, "[Esc]", Menu, Action::Quit, "quit"},
    };
    return rows;
}

Action actionOf(int key, unsigned state)
{
    for (const Row& row : table())
        if ((row.states & state) != 0 && row.codes.contains(key))
            return row.action;
    return Action::None;
}

QString whereText(unsigned states)
{
    if ((states & Playing) == Playing)
        return (states & Menu) ? tr("anywhere") : tr("in play");
    if (states & Steering)
        return tr("steering");
    if (states & FreeCamera)
        return tr("free camera");
    if ((states & (Summary | Menu)) == (Summary | Menu))
        return tr("end of a run, menu");
    return states & Summary ? tr("end of a run") : tr("menu");
}

QString line(const Row& row)
{
    return QString::fromLatin1(row.label) + QStringLiteral("  ") + tr(row.does);
}

QStringList lines(unsigned states, unsigned except)
{
    QStringList shown;
    for (const Row& row : table())
        if ((row.states & states) && !(row.states & except))
            shown << line(row) + QStringLiteral("  (") + whereText(row.states) + u')';
    return shown;
}

} // namespace keys
