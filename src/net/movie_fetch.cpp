#include "net/movie_fetch.h"

#include "text/code_page.h"

#include "net/curl_transfer.h"

#include <QPointer>

#include <cstring>
#include <limits>

namespace vidrake {

MovieFetch::MovieFetch(InternetClient& client, const QString& agent, const QString& address,
                       qint64 from, QObject* parent)
    : QObject(parent), m_from(std::max<qint64>(0, from)) {
    m_limits = client.limits();
    m_limits.maxBytes = std::numeric_limits<qint64>::max() / 2;  // a movie is as long as it is
    QUrl url = InternetClient::toUrl(address);
    if (url.isEmpty()) {
        m_failure = tr("not an http or https address");
        QMetaObject::invokeMethod(this, &MovieFetch::onProgress, Qt::QueuedConnection);
        return;
    }
    m_transfer = client.transfer(std::move(url), code_page::encode(agent), m_limits, m_from);
    m_transfer->keepPace();  // from the first byte
    // Queued: the reader may delete this fetch from its signals, which must not happen while
    // libcurl or the multi is still at work on the transfer.
    connect(m_transfer.get(), &CurlTransfer::progressed, this, &MovieFetch::onProgress,
            Qt::QueuedConnection);
    connect(m_transfer.get(), &CurlTransfer::ended, this, &MovieFetch::onProgress,
            Qt::QueuedConnection);
    connect(&m_silence, &QTimer::timeout, this, &MovieFetch::checkSilence);
    m_silence.start(static_cast<int>(std::max<qint64>(50, m_limits.stallTimeout.count() / 10)));
    // It may have ended already (a proxy that cannot be reached): tell it from the event loop.
    QMetaObject::invokeMethod(this, &MovieFetch::onProgress, Qt::QueuedConnection);
}

MovieFetch::~MovieFetch() = default;

void MovieFetch::checkSilence() {
    if (!m_transfer || m_transfer->done()) {
        m_silence.stop();
        return;
    }
    // A paused transfer waits for us, not for the server.
    if (!m_transfer->paused() && m_transfer->idleMs() >= m_limits.stallTimeout.count()) {
        m_failure =
            tr("the server sent nothing for %1 s").arg(m_limits.stallTimeout.count() / 1000);
        m_transfer->abort();
    }
}

bool MovieFetch::hasHead() const {
    return m_transfer && m_transfer->status() != 0;
}

int MovieFetch::status() const {
    return m_transfer ? m_transfer->status() : 0;
}

QByteArray MovieFetch::reason() const {
    return m_transfer ? m_transfer->answer().reason : QByteArray();
}

bool MovieFetch::isPartial() const {
    return status() == 206 && m_transfer->answer().rangeFirst == m_from;
}

qint64 MovieFetch::offset() const {
    return isPartial() ? m_from : 0;
}

qint64 MovieFetch::totalSize() const {
    if (!hasHead()) {
        return -1;
    }
    const AnswerHead& head = m_transfer->answer();
    if (status() == 206) {
        return head.rangeTotal;
    }
    return status() >= 200 && status() < 300 ? head.length : -1;
}

qint64 MovieFetch::available() const {
    const bool good = hasHead() && status() >= 200 && status() < 300 && status() != 204;
    return good && (status() != 206 || isPartial()) ? m_transfer->unread().size() : 0;
}

qint64 MovieFetch::take(char* buffer, qint64 size) {
    if (available() == 0) {
        return 0;
    }
    const qint64 n = m_transfer->take(buffer, size);
    m_delivered += n;
    return n;
}

bool MovieFetch::isFinished() const {
    return !m_transfer || m_transfer->done();
}

QString MovieFetch::failure() const {
    if (!m_failure.isEmpty()) {
        return m_failure;
    }
    if (!m_transfer) {
        return {};
    }
    const int code = status();
    if (code != 0 && (code < 200 || code >= 300)) {
        // The words a server gave are its own: they may say anything, markup included.
        return tr("HTTP error %1 %2").arg(code).arg(QString::fromLatin1(reason()));
    }
    if (code == 206 && !isPartial()) {
        return tr("the server sent another part of the movie than was asked for");
    }
    if (!m_transfer->done() || m_transfer->result() == CURLE_OK) {
        return {};
    }
    QString said = QString::fromLatin1(m_transfer->errorText());
    if (said.isEmpty()) {
        said = QString::fromLatin1(curl_easy_strerror(m_transfer->result()));
    }
    // The system's own words first: "Connection refused" says more than libcurl's.
    const int system = m_transfer->systemError();
    return system == 0
               ? said
               : QStringLiteral("%1 (%2)").arg(QString::fromLocal8Bit(strerror(system)), said);
}

void MovieFetch::onProgress() {
    const QPointer<MovieFetch> alive(this);  // a reader may delete it from any signal
    if (!m_headTold && (hasHead() || isFinished())) {
        m_headTold = true;
        emit headArrived();
        if (!alive) {
            return;
        }
    }
    if (available() > 0) {
        emit readyRead();
        if (!alive) {
            return;
        }
    }
    if (!m_finishedTold && isFinished()) {
        m_finishedTold = true;
        m_silence.stop();
        emit finished();
    }
}

}  // namespace vidrake
