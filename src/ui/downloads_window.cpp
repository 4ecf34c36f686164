#include "ui/downloads_window.h"

#include "files/part_file.h"
#include "platform/window_system.h"
#include "ui/movie_download.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

namespace vidrake {
namespace {

constexpr int kBarSteps = 1000;
constexpr int kRefreshMs = 500;

QString dataSize(qint64 bytes) {
    return QLocale().formattedDataSize(bytes);
}

QString timeLeft(qint64 seconds) {
    if (seconds < 60) {
        return QStringLiteral("%1 s left").arg(seconds);
    }
    if (seconds < 3600) {
        return QStringLiteral("%1 min left").arg((seconds + 30) / 60);
    }
    return QStringLiteral("%1 h %2 min left").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

// What stays on the disk of a download that stopped, to go on from.
QString kept(const MovieDownload& d) {
    return d.received() > 0 ? QStringLiteral(" (%1 kept in %2)")
                                  .arg(dataSize(d.received()),
                                       QFileInfo(PartFile::partPath(d.target())).fileName())
                            : QString();
}

}  // namespace

class DownloadRow final : public QFrame {
public:
    DownloadRow(QWidget* parent, MovieDownload& download) : QFrame(parent), m_download(download) {
        setObjectName(QStringLiteral("download"));
        setFrameShape(QFrame::StyledPanel);
        auto* name = new QLabel(QFileInfo(download.target()).fileName(), this);
        name->setObjectName(QStringLiteral("name"));
        name->setTextFormat(Qt::PlainText);  // names come from addresses on the web
        name->setToolTip(QDir::toNativeSeparators(download.target()));
        QFont bold = name->font();
        bold.setBold(true);
        name->setFont(bold);
        m_bar = new QProgressBar(this);
        m_bar->setObjectName(QStringLiteral("bar"));
        m_bar->setAccessibleName(QStringLiteral("Download progress"));
        m_status = new QLabel(this);
        m_status->setObjectName(QStringLiteral("status"));
        m_status->setTextFormat(Qt::PlainText);
        m_status->setWordWrap(true);
        m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const auto button = [this](const char* objectName, const QString& caption) {
            auto* b = new QPushButton(caption, this);
            b->setObjectName(QLatin1String(objectName));
            return b;
        };
        m_cancel = button("Cancel", QStringLiteral("&Cancel"));
        m_retry = button("Retry", QStringLiteral("&Retry"));
        m_folder = button("ShowInFolder", QStringLiteral("Show in &Folder"));
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(m_status, 1);
        buttons->addWidget(m_cancel);
        buttons->addWidget(m_retry);
        buttons->addWidget(m_folder);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(name);
        layout->addWidget(m_bar);
        layout->addLayout(buttons);
        connect(m_cancel, &QPushButton::clicked, &download, &MovieDownload::cancel);
    }

    QPushButton* retryButton() const { return m_retry; }
    QPushButton* folderButton() const { return m_folder; }
    MovieDownload::State shown() const { return m_shown; }

    void refresh() {
        const MovieDownload& d = m_download;
        m_shown = d.state();
        const bool running = d.state() == MovieDownload::State::Running;
        const qint64 total = d.total();
        if (running && total < 0) {
            m_bar->setRange(0, 0);  // busy: how much is to come is not known
        } else {
            m_bar->setRange(0, kBarSteps);
            const bool whole = d.state() == MovieDownload::State::Done;
            m_bar->setValue(whole       ? kBarSteps
                            : total > 0 ? int(std::min(d.received(), total) * kBarSteps / total)
                                        : 0);
        }
        m_cancel->setEnabled(running);
        m_retry->setEnabled(d.state() == MovieDownload::State::Failed ||
                            d.state() == MovieDownload::State::Cancelled);
        switch (d.state()) {
            case MovieDownload::State::Running: {
                QString text =
                    total >= 0
                        ? QStringLiteral("%1 of %2").arg(dataSize(d.received()), dataSize(total))
                        : dataSize(d.received());
                const double rate = d.rate();
                if (rate > 0) {
                    text += QStringLiteral(", %1/s").arg(dataSize(qint64(rate)));
                    if (total >= 0) {
                        text += QStringLiteral(", ") +
                                timeLeft(qint64(double(total - d.received()) / rate + 0.5));
                    }
                }
                m_status->setText(text);
                break;
            }
            case MovieDownload::State::Done:
                m_status->setText(QStringLiteral("Saved: %1").arg(dataSize(d.received())));
                break;
            case MovieDownload::State::Failed:
                m_status->setText(QStringLiteral("Failed: %1").arg(d.failure()) + kept(d));
                break;
            case MovieDownload::State::Cancelled:
                m_status->setText(QStringLiteral("Cancelled") + kept(d));
                break;
        }
    }

private:
    MovieDownload& m_download;
    QProgressBar* m_bar;
    QLabel* m_status;
    QPushButton* m_cancel;
    QPushButton* m_retry;
    QPushButton* m_folder;
    MovieDownload::State m_shown = MovieDownload::State::Running;
};

DownloadsWindow::DownloadsWindow(InternetClient& client, MessageBox& messages)
    : QWidget(nullptr, Qt::Window), m_client(client), m_messages(messages) {
    setObjectName(QStringLiteral("Downloads"));
    setWindowTitle(QStringLiteral("Downloads"));
    setWindowIcon(QIcon(QStringLiteral(":/vidrake/vidrake.png")));
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* inside = new QWidget(area);
    m_rows = new QVBoxLayout(inside);
    m_rows->addStretch(1);
    area->setWidget(inside);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    resize(560, 300);
    auto* escape = new QAction(this);  // as About closes
    escape->setShortcut(Qt::Key_Escape);
    connect(escape, &QAction::triggered, this, &QWidget::close);
    addAction(escape);
    connect(&m_refresh, &QTimer::timeout, this, &DownloadsWindow::refreshRunning);
}

DownloadsWindow::~DownloadsWindow() {
    // Before the rows that show them.
    for (MovieDownload* d : std::exchange(m_downloads, {})) {
        delete d;
    }
}

QString DownloadsWindow::proposedPath(const QString& address) {
    QString name = QUrl(address, QUrl::TolerantMode).fileName();
    name.removeIf([](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
    while (name.toUtf8().size() > 200) {
        name.remove(0, 1);  // room for ".part"; the end keeps the kind of file
    }
    if (name.isEmpty() || name == u"." || name == u"..") {
        name = QStringLiteral("movie");
    }
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath();  // never made by us: nothing is written unasked
    }
    return QDir(folder).filePath(name);
}

bool DownloadsWindow::busyElsewhere(const MovieDownload& download) {
    const QString target = QFileInfo(download.target()).absoluteFilePath();
    for (const MovieDownload* other : std::as_const(m_downloads)) {
        if (other != &download && other->state() == MovieDownload::State::Running &&
            QFileInfo(other->target()).absoluteFilePath() == target) {
            // Two downloads into one .part would mix their bytes.
            m_messages.show(QStringLiteral("%1 is being downloaded already.")
                                .arg(QDir::toNativeSeparators(target)));
            return true;
        }
    }
    return false;
}

void DownloadsWindow::start(const QString& address, const QString& target) {
    auto* download = new MovieDownload(m_client, address, target);
    if (busyElsewhere(*download)) {
        delete download;
        return;
    }
    m_downloads.append(download);
    addRow(*download);
    show();
    raise();
    download->start();
}

void DownloadsWindow::addRow(MovieDownload& download) {
    auto* row = new DownloadRow(m_rows->parentWidget(), download);
    m_rowWidgets.append(row);
    m_rows->insertWidget(m_rows->count() - 1, row);
    connect(&download, &MovieDownload::changed, row, [this, row, &download] {
        if (row->shown() == download.state()) {
            return;  // the bytes and the rate: at the next refresh
        }
        row->refresh();
        if (download.state() == MovieDownload::State::Running) {
            m_refresh.start(kRefreshMs);
        } else if (download.state() == MovieDownload::State::Failed && !isVisible()) {
            show();  // a download that fails out of sight would go unnoticed
        }
    });
    connect(row->retryButton(), &QPushButton::clicked, this, [this, &download] {
        if (!busyElsewhere(download)) {
            download.retry();
        }
    });
    connect(row->folderButton(), &QPushButton::clicked, this, [this, &download] {
        const QString folder = QFileInfo(download.target()).absolutePath();
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
            m_messages.show(QStringLiteral("No program could be started to show the folder %1.")
                                .arg(QDir::toNativeSeparators(folder)));
        }
    });
    row->refresh();
    m_refresh.start(kRefreshMs);
}

void DownloadsWindow::refreshRunning() {
    bool any = false;
    for (DownloadRow* row : std::as_const(m_rowWidgets)) {
        row->refresh();
        any = any || row->shown() == MovieDownload::State::Running;
    }
    if (!any) {
        m_refresh.stop();
    }
}

void DownloadsWindow::cancelAll() {
    for (MovieDownload* d : std::as_const(m_downloads)) {
        d->cancel();
    }
}

}  // namespace vidrake
