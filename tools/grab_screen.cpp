// Saves what the X display shows (the whole screen, or a rectangle of it) as a PNG.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2 && argc != 6) {
        std::fprintf(stderr, "usage: grab_screen OUT.png [X Y WIDTH HEIGHT]\n");
        return 2;
    }
    int x = 0, y = 0, w = -1, h = -1;
    if (argc == 6) {
        x = std::atoi(argv[2]);
        y = std::atoi(argv[3]);
        w = std::atoi(argv[4]);
        h = std::atoi(argv[5]);
    }
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, x, y, w, h);
    return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
