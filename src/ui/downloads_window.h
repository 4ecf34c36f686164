// The Downloads window: one window, not modal, for every movie being saved, each a row with its
// file's name, a progress bar, the bytes (of how many, once known), the rate and the time left,
// or why it stopped, and Cancel, Retry and Show in Folder. It is made with the first download
// and lives as long as the main window; closed (Escape, or its close box), it only hides, and
// the downloads go on.
#pragma once

#include <QList>
#include <QString>
#include <QTimer>
#include <QWidget>

class QVBoxLayout;

namespace vidrake {

class DownloadRow;
class InternetClient;
class MessageBox;
class MovieDownload;

class DownloadsWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DownloadsWindow)

public:
    DownloadsWindow(InternetClient& client, MessageBox& messages);
    ~DownloadsWindow() override;

    // Where the Save dialog of `address` opens: the desktop's videos folder (the home folder
    // where there is none), and the address's own file name.
    static QString proposedPath(const QString& address);

    // Starts saving `address` into `target` and shows the window. A file that another download
    // is being saved into is refused, in a message.
    void start(const QString& address, const QString& target);
    // Every download stops where it is and keeps its .part.
    void cancelAll();
    QList<MovieDownload*> downloads() const { return m_downloads; }

private:
    bool busyElsewhere(const MovieDownload& download);
    void addRow(MovieDownload& download);
    void refreshRunning();

    InternetClient& m_client;
    MessageBox& m_messages;
    QVBoxLayout* m_rows = nullptr;
    QList<MovieDownload*> m_downloads;  // owned, in the order of their rows
    QList<DownloadRow*> m_rowWidgets;
    QTimer m_refresh;  // the rows' rates and times, a few times a second while any runs
};

}  // namespace vidrake
