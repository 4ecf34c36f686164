// The peer of the idle main window in bench/window.sh: a plain Qt window with the same kinds of
// controls in the same places (menu, boxes, button, list, bar, labels, a black picture area and
// a player's control bar) and nothing behind them: no crawler, no network, no media library.
#include <QApplication>
#include <QBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

namespace {

template <typename W>
W* place(QWidget* parent, int x, int y, int w, int h) {
    auto* widget = new W(parent);
    widget->setGeometry(x, y, w, h);
    return widget;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Peer"));
    QMenu* file = window.menuBar()->addMenu(QStringLiteral("&File"));
    for (const char* item : {"&NewList", "&Open Play List", "&Save Play List", "&About", "&Exit"}) {
        file->addAction(QString::fromLatin1(item));
    }
    auto* client = new QWidget(&window);
    client->setFixedSize(632, 351);
    window.setCentralWidget(client);
    place<QProgressBar>(client, 336, 56, 289, 17);
    place<QListWidget>(client, 336, 80, 289, 264);
    place<QLineEdit>(client, 472, 0, 41, 25)->setText(QStringLiteral("10"));
    place<QLineEdit>(client, 56, 0, 409, 25);
    place<QPushButton>(client, 536, 0, 81, 33)->setText(QStringLiteral("&Crawl"));
    place<QLabel>(client, 8, 8, 41, 17)->setText(QStringLiteral("URL:"));
    place<QLabel>(client, 336, 32, 281, 17);

    auto* player = place<QWidget>(client, 8, 32, 320, 317);
    auto* screen = new QWidget(player);
    QPalette black = screen->palette();
    black.setColor(QPalette::Window, Qt::black);
    screen->setPalette(black);
    screen->setAutoFillBackground(true);
    auto* rows = new QVBoxLayout(player);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addWidget(screen, 1);
    auto* time = new QHBoxLayout;
    time->addWidget(new QLabel(QStringLiteral("0:00")));
    time->addWidget(new QSlider(Qt::Horizontal), 1);
    time->addWidget(new QLabel(QStringLiteral("0:00")));
    rows->addLayout(time);
    auto* buttons = new QHBoxLayout;
    for (QStyle::StandardPixmap icon : {QStyle::SP_MediaPlay, QStyle::SP_MediaStop}) {
        auto* button = new QToolButton;
        button->setIcon(player->style()->standardIcon(icon));
        buttons->addWidget(button);
    }
    buttons->addWidget(new QLabel(QStringLiteral("Stopped")), 1);
    for (QStyle::StandardPixmap icon : {QStyle::SP_MediaVolume, QStyle::SP_TitleBarMaxButton}) {
        auto* button = new QToolButton;
        button->setIcon(player->style()->standardIcon(icon));
        buttons->addWidget(button);
    }
    buttons->insertWidget(4, new QSlider(Qt::Horizontal));
    rows->addLayout(buttons);

    window.setFixedSize(window.sizeHint());
    window.show();
    return QApplication::exec();
}
