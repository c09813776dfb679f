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

    // The speed asked, and the speed reached when the machine falls short
    // of it; none at the world's own pace.
    QStringList speedLines() const;

    Game* game;
    int paintedScore = -1; // as the panel last showed it

public slots:
    // Takes the speed reached anew, and repaints at once, not at the next
    // turn of the event loop.
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double shownReach = 0; // 0: none shown
    int offShown = 0;      // refreshes in a row that measured another value
};
