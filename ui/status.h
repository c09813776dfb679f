#pragma once

#include <QWidget>

class Game;

// The narrow panel at the left: living zombies and humans, the light, the
// steered survivor's skills, the score. Green on black, painted by itself.
class Status : public QWidget
{
    Q_OBJECT

public:
    explicit Status(Game* game, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    Game* game;

public slots:
    // Repaints at once, not at the next turn of the event loop.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
};
