#include "game/keyboard.h"

void Keyboard::press(int key, bool paused, bool fresh)
{
    held.insert(key);
    if (!paused)
        tapped.insert(key);
    if (key == Qt::Key_Escape && fresh)
        escapeFresh = true;
}

void Keyboard::stepTaken()
{
    tapped.clear();
    if (!held.contains(Qt::Key_Escape))
        escapeFresh = false;
}

void Keyboard::clear()
{
    held.clear();
    tapped.clear();
    escapeFresh = false;
}

QVector2D Keyboard::direction() const
{
    const auto axis = [this](int less, int lessToo, int more, int moreToo) {
        return float((down(more) || down(moreToo) ? 1 : 0) - (down(less) || down(lessToo) ? 1 : 0));
    };
    return QVector2D(axis(Qt::Key_Left, Qt::Key_A, Qt::Key_Right, Qt::Key_D),
                     axis(Qt::Key_Up, Qt::Key_W, Qt::Key_Down, Qt::Key_S));
}

Controls Keyboard::controls() const
{
    const QVector2D towards = direction();
    return {std::int8_t(towards.x()), std::int8_t(towards.y()), escapeFresh && down(Qt::Key_Escape)};
}
