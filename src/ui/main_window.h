// The main window: the start-address and number boxes, the "&Crawl" button, the movie list,
// the player, the status caption and progress bar, three hidden work stores and the "&File"
// menu. Its crawl runs the crawler engine over the window's own widgets. Closed, it stops the
// player at once and deletes itself, with everything it owns, as soon as no crawl of its own is
// on the stack; make it with new.
#pragma once

#include "crawler/crawl.h"
#include "desktop/widget_stores.h"
#include "media/media_player.h"
#include "net/internet_client.h"
#include "platform/event_pump.h"
#include "platform/window_system.h"
#include "support/resize.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>

#include <memory>

class QAction;
class QHelpEvent;
class QMenu;
class QPushButton;

namespace vidrake {

class AboutWindow;
class DownloadsWindow;
class MediaControls;
class PlayListCommands;
class ScreenAwake;

// What the window needs from outside; the tests swap in fakes for the modal parts.
struct MainWindowServices {
    MousePointer& screen;
    WindowClassStyles& classStyles;
    MessageBox* messages = nullptr;  // null: real message boxes over this window
    FileDialog* opensave = nullptr;  // null: real Open and Save dialogs over this window
    FetchLimits limits = {};
    MediaPlayerOptions player = {};
};

class MainWindow final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MainWindow)

public:
    explicit MainWindow(MainWindowServices services);
    ~MainWindow() override;

    void Command1_Click();
    AboutWindow* aboutWindow() const;
    DownloadsWindow* downloadsWindow() const { return m_downloads.get(); }
    MediaPlayer* player() const { return player1; }
    const vidrake::resize& layoutRecorder() const { return *m_resize; }

    // The controls in the window's own order, menus last, as the layout recorder sees them.
    QList<QObject*> controls() const;

signals:
    // The user chose a movie of the list, with a click or the arrow keys: the player plays it.
    void movieChosen(const QString& address);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A play-list file dropped on the window is opened as File, Open Play List opens it.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildControls();
    void buildMenu();
    void applyColours();
    void Form_Load();
    void about_Click();
    void List2_Click();
    void List2_Play(int row);
    // "&Save Movie As…": the Save dialog, then the download in the Downloads window.
    void saveMovieAs(const QString& address);
    void List2_ToolTip(const QHelpEvent& help);
    void deleteWhenIdle();

    MainWindowServices m_services;
    std::unique_ptr<MessageBox> m_ownMessages;
    MessageBox* m_messages = nullptr;
    std::unique_ptr<FileDialog> m_ownDialog;
    FileDialog* m_opensave = nullptr;

    QWidget* m_client = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QListWidget* List2 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text1 = nullptr;
    QPushButton* Command1 = nullptr;
    HiddenTextBox* Text2 = nullptr;
    QListWidget* List3 = nullptr;
    QListWidget* List1 = nullptr;
    QLabel* Label2 = nullptr;
    MediaPlayer* player1 = nullptr;
    QLabel* Label1 = nullptr;
    QMenu* m_file = nullptr;
    QList<QAction*> m_menuItems;

    std::unique_ptr<LineEditStore> m_text1Store;
    std::unique_ptr<LineEditStore> m_text4Store;
    std::unique_ptr<LabelStore> m_label1Store;
    std::unique_ptr<ListWidgetStore> m_list1Store;
    std::unique_ptr<ListWidgetStore> m_list2Store;
    std::unique_ptr<ListWidgetStore> m_list3Store;
    std::unique_ptr<ProgressBarStore> m_progressStore;

    std::unique_ptr<vidrake::resize> m_resize;  // qualified: QWidget has a resize of its own
    CrawlState m_state;
    QtEventPump m_pump;
    InternetClient m_internet;
    std::unique_ptr<Crawler> m_crawler;
    std::unique_ptr<DownloadsWindow> m_downloads;  // made with the first; over m_internet
    std::unique_ptr<PlayListCommands> m_playList;
    // The desktop's media controls and screen saver see the player while the window is open.
    std::unique_ptr<MediaControls> m_mediaControls;
    std::unique_ptr<ScreenAwake> m_awake;
    QPointer<AboutWindow> m_about;   // not owned: it outlives this window if still open
    bool m_playedSincePress = true;  // the last mouse press already started a movie
    bool m_closed = false;
};

}  // namespace vidrake
