#include "ui/main_window.h"

#include "desktop/qt_window_system.h"
#include "session/media_controls.h"
#include "session/screen_awake.h"
#include "support/dropsh.h"
#include "ui/about_window.h"
#include "ui/app_info.h"
#include "ui/downloads_window.h"
#include "ui/fixed_window.h"
#include "ui/movie_list.h"
#include "ui/play_list_commands.h"
#include "ui/readable_colour.h"
#include "ui/twips.h"
#include "ui/widget_layout.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

#include <utility>

namespace vidrake {
namespace {

const QColor kLightGrey(192, 192, 192);

void setColours(QWidget* w, std::initializer_list<std::pair<QPalette::ColorRole, QColor>> colours) {
    QPalette p = w->palette();
    for (const auto& [role, colour] : colours) {
        p.setColor(role, colour);
    }
    w->setPalette(p);
}

// The styles draw a text box's frame in shades of the palette's window colour, which a dark or
// high-contrast palette makes vanish on the workspace ground: the frame is drawn here instead.
// With a style sheet the box no longer takes its ground and text from its palette.
QString framed(const QColor& border, const QColor& focus, const QColor& ground,
               const QColor& text) {
    return QStringLiteral(
               "QLineEdit { border: 1px solid %1; padding: 1px; background: %3;"
               " color: %4; } QLineEdit:focus { border: 2px solid %2; padding: 0px; }")
        .arg(border.name(), focus.name(), ground.name(), text.name());
}

// Qt 6.4 keeps the rules of a sheet that another replaces before the widget is first shown,
// unless the sheet is cleared in between.
void setSheet(QWidget* w, const QString& sheet) {
    w->setStyleSheet(QString());
    w->setStyleSheet(sheet);
}

template <typename W>
W* place(QWidget* parent, const char* name, QRect geometry) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}

// Qt marks the row the keys act on with a faint dotted frame, lost on the list's grey: this
// frame is drawn in the highlight colour (taken as far towards black or white as it needs to
// stand out on the grey), and over a selected row in that row's text colour.
class CurrentRowFrame final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        if (option.state & QStyle::State_HasFocus) {
            const bool selected = option.state & QStyle::State_Selected;
            painter->save();
            const QColor highlight = option.palette.color(QPalette::Highlight);
            painter->setPen(QPen(selected ? option.palette.color(QPalette::HighlightedText)
                                          : readableOn(option.palette.color(QPalette::Base),
                                                       highlight, kGlyphContrast),
                                 2));
            painter->drawRect(QRectF(option.rect).adjusted(1, 1, -1, -1));
            painter->restore();
        }
    }
};

}  // namespace

MainWindow::MainWindow(MainWindowServices services)
    : m_services(services), m_internet(services.limits) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(QString::fromLatin1(app_info::kTitle));
    setWindowIcon(QIcon(QStringLiteral(":/vidrake/vidrake.png")));
    // A fixed border with a close box only; still a normal window, so the task bar and the
    // window switcher find it.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    if (m_services.messages) {
        m_messages = m_services.messages;
    } else {
        m_ownMessages = std::make_unique<QtMessageBox>(this, QString::fromLatin1(app_info::kTitle));
        m_messages = m_ownMessages.get();
    }

    if (m_services.opensave) {
        m_opensave = m_services.opensave;
    } else {
        m_ownDialog = std::make_unique<QtFileDialog>(this);
        m_opensave = m_ownDialog.get();
    }

    buildControls();

    m_text1Store = std::make_unique<LineEditStore>(*Text1);
    m_text4Store = std::make_unique<LineEditStore>(*Text4);
    m_label1Store = std::make_unique<LabelStore>(*Label1);
    m_list1Store = std::make_unique<ListWidgetStore>(*List1);
    m_list2Store = std::make_unique<ListWidgetStore>(*List2);
    m_list3Store = std::make_unique<ListWidgetStore>(*List3);
    m_progressStore = std::make_unique<ProgressBarStore>(*ProgressBar1);
    m_crawler = std::make_unique<Crawler>(
        CrawlStores{*m_text1Store, *m_text4Store, *Text2, *m_label1Store, *m_list1Store,
                    *m_list2Store, *m_list3Store, *m_progressStore},
        m_state, CrawlPlatform{m_internet, m_pump, *m_messages, m_services.screen, QLocale()});
    m_playList = std::make_unique<PlayListCommands>(*m_list2Store, *m_opensave, *m_messages);
    buildMenu();

    m_mediaControls = std::make_unique<MediaControls>(*player1, *List2, *this);
    m_awake = std::make_unique<ScreenAwake>();
    connect(player1, &MediaPlayer::stateChanged, m_awake.get(), [this](MediaPlayer::State state) {
        m_awake->keepAwake(state == MediaPlayer::State::Playing);
    });
    setAcceptDrops(true);

    Form_Load();
}

MainWindow::~MainWindow() {
    m_crawler->cancel();
    player1->shutDown();  // its movie's transfer goes before the client it runs on
}

void MainWindow::buildControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setFixedSize(twips(9480), twips(5265));
    m_client->setAutoFillBackground(true);
    setCentralWidget(m_client);
    // The work stores are no controls anyone uses. Inside a window that is never shown they
    // keep their places, and stay out of what a screen reader walks through.
    auto* stores = new QWidget(m_client, Qt::Window);
    stores->setObjectName(QStringLiteral("stores"));

    ProgressBar1 = place<QProgressBar>(m_client, "ProgressBar1", twipRect(5040, 840, 4335, 255));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setAccessibleName(QStringLiteral("Crawl progress"));

    auto* movies = new MovieList(m_client, *m_messages);
    List2 = movies;
    List2->setObjectName(QStringLiteral("List2"));
    List2->setGeometry(twipRect(5040, 1200, 4335, 3960));
    connect(movies, &MovieList::playRequested, this, &MainWindow::List2_Play);
    connect(movies, &MovieList::saveRequested, this, &MainWindow::saveMovieAs);
    List2->setSelectionMode(QAbstractItemView::SingleSelection);
    List2->setUniformItemSizes(true);  // keeps 32,767 appends linear
    List2->setAccessibleName(QStringLiteral("Movie list"));
    List2->setItemDelegate(new CurrentRowFrame(List2));
    // A new selection plays, whether the keys or the mouse moved it; a click on the item that
    // is already selected plays it again from the start. A click that both selects and clicks
    // starts it once.
    connect(List2, &QListWidget::itemSelectionChanged, this, [this] {
        m_playedSincePress = true;
        List2_Click();
    });
    connect(List2, &QListWidget::itemClicked, this, [this] {
        if (!std::exchange(m_playedSincePress, true)) {
            List2_Click();
        }
    });
    List2->viewport()->installEventFilter(this);
    List2->installEventFilter(this);  // the player's keys, and Down into an unselected list

    Text4 = place<QLineEdit>(m_client, "Text4", twipRect(7080, 0, 615, 375));
    Text4->setText(QStringLiteral("10"));
    Text4->setAccessibleName(QStringLiteral("Number of movies"));

    Text1 = place<QLineEdit>(m_client, "Text1", twipRect(840, 0, 6135, 375));
    Text1->setAccessibleName(QStringLiteral("Start address"));

    Command1 = place<QPushButton>(m_client, "Command1", twipRect(8040, 0, 1215, 495));
    Command1->setText(QStringLiteral("&Crawl"));
    connect(Command1, &QPushButton::clicked, this, &MainWindow::Command1_Click);

    Text2 = new HiddenTextBox(stores);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(twipRect(8040, 3480, 3975, 495));
    Text2->setText(QStringLiteral("Text2"));

    List3 = place<QListWidget>(stores, "List3", twipRect(4320, 0, 3735, 255));
    List3->setUniformItemSizes(true);
    List3->hide();
    List1 = place<QListWidget>(stores, "List1", twipRect(600, 0, 2655, 255));
    List1->setUniformItemSizes(true);
    List1->hide();

    Label2 = place<QLabel>(m_client, "Label2", twipRect(120, 120, 615, 255));
    Label2->setText(QStringLiteral("URL:"));
    Label2->setBuddy(Text1);

    MediaPlayerOptions playerOptions = m_services.player;
    // Movies come over the crawl's own client: its proxy, its form of the host, its checks.
    playerOptions.internet = &m_internet;
    player1 = new MediaPlayer(m_client, playerOptions);
    player1->setObjectName(QStringLiteral("player1"));
    player1->setGeometry(twipRect(120, 480, 4800, 4755));
    player1->setAccessibleName(QStringLiteral("Player"));
    player1->setFocusPolicy(Qt::StrongFocus);
    connect(this, &MainWindow::movieChosen, player1, &MediaPlayer::setURL);

    Label1 = place<QLabel>(m_client, "Label1", twipRect(5040, 480, 4215, 255));
    // Addresses come from the web: never let one be read as markup.
    Label1->setTextFormat(Qt::PlainText);
    // Its text changes: as a name, a fixed word would hide that text from a screen reader.
    Label1->setAccessibleDescription(QStringLiteral("Status"));

    // Focus order by tab position. Controls that never take focus are left out of the
    // chain: Qt loses the thread of a chain that runs through them.
    QList<QWidget*> order;
    for (QWidget* w :
         {static_cast<QWidget*>(Command1), static_cast<QWidget*>(Text1),
          static_cast<QWidget*>(Text2), static_cast<QWidget*>(Text4), static_cast<QWidget*>(List1),
          static_cast<QWidget*>(List2), static_cast<QWidget*>(Label1),
          static_cast<QWidget*>(ProgressBar1), static_cast<QWidget*>(player1),
          static_cast<QWidget*>(List3), static_cast<QWidget*>(Label2)}) {
        if (w->focusPolicy() != Qt::NoFocus && w->window() == this) {  // not the stores
            order.append(w);
        }
    }
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        setTabOrder(order[i], order[i + 1]);
    }
    applyColours();
}

void MainWindow::applyColours() {
    // The design's grounds: the desktop's workspace colour behind the controls and on the
    // button, light grey in the address box and the movie list. The desktop's palette pairs its
    // text colours with other grounds; what is drawn on these is chosen to stand out on them.
    const QPalette desktop = palette();
    const QColor workspace = desktop.color(QPalette::Dark);
    const QColor ink = textOn(workspace, desktop.color(QPalette::WindowText));
    const QColor focus = readableOn(workspace, desktop.color(QPalette::Highlight), kGlyphContrast);
    setColours(m_client, {{QPalette::Window, workspace}, {QPalette::WindowText, ink}});
    setColours(Command1,
               {{QPalette::Button, workspace},
                {QPalette::Highlight, focus},
                {QPalette::ButtonText, textOn(workspace, desktop.color(QPalette::ButtonText))}});
    setColours(List2, {{QPalette::Base, kLightGrey}, {QPalette::Text, Qt::black}});
    // The player draws its controls in its own window and text colours.
    setColours(
        player1,
        {{QPalette::Window, workspace}, {QPalette::WindowText, ink}, {QPalette::Highlight, focus}});
    const QColor base = desktop.color(QPalette::Base);
    setSheet(Text1, framed(ink, focus, kLightGrey, Qt::black));
    setSheet(Text4, framed(ink, focus, base, desktop.color(QPalette::Text)));
    setSheet(ProgressBar1,
             QStringLiteral("QProgressBar { border: 1px solid %1; background: %2; } "
                            "QProgressBar::chunk { background: %3; }")
                 .arg(ink.name(), base.name(),
                      readableOn(base, desktop.color(QPalette::Highlight), kGlyphContrast).name()));
}

void MainWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_client) {
        applyColours();  // the desktop's palette changed while the window is open
    }
}

void MainWindow::buildMenu() {
    m_file = menuBar()->addMenu(QStringLiteral("&File"));
    m_file->setObjectName(QStringLiteral("file"));
    auto add = [this](const char* name, const QString& caption, auto slot) {
        QAction* action = m_file->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, slot);
        m_menuItems.append(action);
        return action;
    };
    PlayListCommands* playList = m_playList.get();
    add("NewList", QStringLiteral("&NewList"), [playList] { playList->NewList_Click(); });
    add("openlist", QStringLiteral("&Open Play List"), [playList] { playList->openlist_Click(); });
    add("saveplaylist", QStringLiteral("&Save Play List"),
        [playList] { playList->saveplaylist_Click(); });
    add("about", QStringLiteral("&About"), &MainWindow::about_Click);
    add("Exit", QStringLiteral("&Exit"), &QWidget::close);
}

void MainWindow::Form_Load() {
    m_resize = std::make_unique<vidrake::resize>();
    WidgetLayoutWindow layout(this, m_client, controls());
    if (m_resize->SaveSizes(layout) != ResizeError::None) {
        // Our own widgets always answer; a failure here is a fault of ours, not the user's.
        qWarning("the main window's layout could not be recorded");
    }
    m_state.firstpass = true;
    m_state.sitecursor = 0;
    ApplyDropShadow(m_services.classStyles, winId());
    // The window cannot be resized: it is exactly its menu bar over the client area.
    setFixedSize(sizeHint());
    keepFixedWindow(*this, *m_client);
    Command1->setFocus();
}

QList<QObject*> MainWindow::controls() const {
    QList<QObject*> all{ProgressBar1, List2, Text4,  Text1,   Command1, Text2,
                        List3,        List1, Label2, player1, Label1,   m_file};
    for (QAction* item : m_menuItems) {
        all.append(item);
    }
    return all;
}

AboutWindow* MainWindow::aboutWindow() const {
    return m_about.data();
}

void MainWindow::Command1_Click() {
    m_crawler->Command1_Click();
    deleteWhenIdle();  // a close during the run has waited for the run to unwind
}

void MainWindow::List2_Click() {
    const QList<QListWidgetItem*> selected = List2->selectedItems();
    if (!selected.isEmpty()) {
        emit movieChosen(selected.front()->text());
    }
}

void MainWindow::List2_Play(int row) {
    // As a click: a movie not yet selected plays once selected; the selected one plays again.
    if (List2->item(row) && List2->item(row)->isSelected()) {
        List2_Click();
    } else {
        List2->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
    }
}

void MainWindow::saveMovieAs(const QString& address) {
    if (InternetClient::toUrl(address).isEmpty()) {
        m_messages->show(
            QStringLiteral("%1 cannot be saved: only http and https addresses are downloaded.")
                .arg(address));
        return;
    }
    m_opensave->ShowSaveAs(QStringLiteral("Save Movie As"), DownloadsWindow::proposedPath(address));
    const QString path = m_opensave->FileName();
    if (path.isEmpty() || m_closed) {
        return;  // cancelled: nothing to say
    }
    if (!m_downloads) {
        m_downloads = std::make_unique<DownloadsWindow>(m_internet, *m_messages);
    }
    m_downloads->start(address, path);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // One local file, from another program: a movie dragged out of our own list is no play list.
    const QList<QUrl> urls = event->mimeData()->urls();
    if (event->source() != List2 && urls.size() == 1 && urls.front().isLocalFile()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (event->source() == List2 || urls.size() != 1 || !urls.front().isLocalFile()) {
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // After the drop has been answered: the program it came from waits for that answer, and a
    // message about the file would hold it.
    QTimer::singleShot(
        0, this, [this, path = urls.front().toLocalFile()] { m_playList->openPlayList(path); });
}

void MainWindow::about_Click() {
    if (!m_about) {
        m_about = new AboutWindow();
    }
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == List2->viewport() && event->type() == QEvent::MouseButtonPress) {
        m_playedSincePress = static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton;
    }
    if (watched == List2->viewport() && event->type() == QEvent::ToolTip) {
        List2_ToolTip(*static_cast<QHelpEvent*>(event));
        return true;
    }
    if (watched == List2 && event->type() == QEvent::KeyPress) {
        const auto& key = *static_cast<QKeyEvent*>(event);
        // Tabbed into, the list makes its first movie current without selecting it; Down would
        // then skip it.
        if (key.key() == Qt::Key_Down && key.modifiers() == Qt::NoModifier && List2->count() > 0 &&
            List2->selectedItems().isEmpty()) {
            List2->setCurrentRow(0, QItemSelectionModel::ClearAndSelect);
            return true;
        }
        return player1->runKey(key);
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::List2_ToolTip(const QHelpEvent& help) {
    // Only an address that is cut off, at either end, needs its tool tip.
    const QListWidgetItem* item = List2->itemAt(help.pos());
    if (!item) {
        QToolTip::hideText();
        return;
    }
    QStyleOptionViewItem option;
    option.initFrom(List2->viewport());
    option.font = List2->font();
    const int needed = List2->itemDelegate()->sizeHint(option, List2->indexFromItem(item)).width();
    const QRect shown = List2->visualItemRect(item);
    const int room =
        std::min(shown.left() + shown.width(), List2->viewport()->width()) - shown.left();
    if (shown.left() < 0 || needed > room) {
        // Addresses come from the web: one that could pass for markup is escaped (a tool tip
        // reads markup as such, and wraps it); the others show as they are, on one line.
        const QString address = item->text();
        QToolTip::showText(help.globalPos(),
                           Qt::mightBeRichText(address)
                               ? QStringLiteral("<qt>%1</qt>").arg(address.toHtmlEscaped())
                               : address,
                           List2->viewport(), shown);
    } else {
        QToolTip::hideText();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A crawl in progress ends at its next yield and touches nothing of ours after this.
    m_crawler->cancel();
    // Downloads stop where they are, asking nothing; their .part files stay.
    if (m_downloads) {
        m_downloads->cancelAll();
        m_downloads->close();
    }
    // The player process, with its picture and sound, ends now, even if About keeps the program;
    // the desktop's controls lose the player, and the screen may sleep.
    m_mediaControls.reset();
    player1->shutDown();
    m_awake.reset();
    QMainWindow::closeEvent(event);
    m_closed = true;
    deleteWhenIdle();
}

void MainWindow::deleteWhenIdle() {
    // The crawl's frames below us still use the window's members until they return.
    if (m_closed && !m_crawler->running()) {
        deleteLater();
    }
}

}  // namespace vidrake
