#include "ui/movie_download.h"

#include "crawler/fetch_page.h"
#include "net/movie_fetch.h"

#include <QLocale>

namespace vidrake {
namespace {

constexpr qint64 kRateWindowMs = 5000;  // the rate shown is that of the last few seconds
constexpr qint64 kSampleMs = 250;
constexpr qsizetype kBlock = 64 * 1024;

}  // namespace

MovieDownload::MovieDownload(InternetClient& client, QString address, const QString& target,
                             QObject* parent)
    : QObject(parent), m_client(client), m_address(std::move(address)), m_file(target) {}

MovieDownload::~MovieDownload() {
    dropFetch();
}

void MovieDownload::begin(bool resume) {
    dropFetch();
    m_state = State::Running;
    m_failure.clear();
    if (const QString why = m_file.open(resume); !why.isEmpty()) {
        end(State::Failed, why);
        return;
    }
    if (m_total >= 0 && m_file.size() == m_total) {
        onFinished();  // whole already: only the rename failed last time
        return;
    }
    if (m_total >= 0 && m_file.size() > m_total) {
        m_file.empty();  // not the movie the server has now
    }
    fetchFrom(m_file.size());
}

void MovieDownload::fetchFrom(qint64 from) {
    dropFetch();
    m_from = from;
    m_clock.start();
    m_samples = {{0, from}};
    m_fetch =
        std::make_unique<MovieFetch>(m_client, QString::fromLatin1(kAgentName), m_address, from);
    connect(m_fetch.get(), &MovieFetch::headArrived, this, &MovieDownload::onHead);
    connect(m_fetch.get(), &MovieFetch::readyRead, this, &MovieDownload::onBytes);
    connect(m_fetch.get(), &MovieFetch::finished, this, &MovieDownload::onFinished);
    emit changed();
}

void MovieDownload::onHead() {
    if (!m_fetch->hasHead()) {
        return;  // no answer: the end says why
    }
    const int status = m_fetch->status();
    const qint64 whole = m_fetch->totalSize();
    // Nothing left to ask for from there, or the rest of another movie than the one begun:
    // the movie is asked for again, whole.
    const bool changedMovie =
        m_fetch->isPartial() && m_total >= 0 && whole >= 0 && whole != m_total;
    if (m_from > 0 && (status == 416 || changedMovie)) {
        m_total = -1;
        if (const QString why = m_file.empty(); !why.isEmpty()) {
            end(State::Failed, why);
            return;
        }
        fetchFrom(0);
        return;
    }
    if (status < 200 || status >= 300) {
        return;  // a failure, said at the end
    }
    // A server that ignores the range sends the whole movie: it is written from the start.
    if (m_from > 0 && status != 206) {
        if (const QString why = m_file.empty(); !why.isEmpty()) {
            end(State::Failed, why);
            return;
        }
    }
    m_total = whole;
    emit changed();
}

void MovieDownload::onBytes() {
    char block[kBlock];
    while (m_fetch && m_fetch->available() > 0) {
        const qint64 n = m_fetch->take(block, kBlock);
        if (const QString why = m_file.append(QByteArrayView(block, n)); !why.isEmpty()) {
            end(State::Failed, why);
            return;
        }
    }
    const qint64 now = m_clock.elapsed();
    if (now - m_samples.last().first >= kSampleMs) {
        m_samples.append({now, m_file.size()});
        while (m_samples.size() > 2 && m_samples.first().first < now - 2 * kRateWindowMs) {
            m_samples.removeFirst();
        }
    }
    emit changed();
}

void MovieDownload::onFinished() {
    if (m_fetch) {
        onBytes();
        if (m_state != State::Running) {
            return;
        }
    }
    QString why = m_fetch ? m_fetch->failure() : QString();
    if (m_total >= 0 && m_file.size() < m_total) {
        const QLocale locale;
        why = tr("the server stopped sending after %1 of %2")
                  .arg(locale.formattedDataSize(m_file.size()), locale.formattedDataSize(m_total));
    }
    if (why.isEmpty()) {
        why = m_file.finish();
    }
    end(why.isEmpty() ? State::Done : State::Failed, why);
}

void MovieDownload::cancel() {
    if (m_state == State::Running) {
        end(State::Cancelled);
    }
}

void MovieDownload::end(State state, const QString& failure) {
    dropFetch();
    m_file.close();  // kept, unless it holds nothing
    m_state = state;
    m_failure = failure;
    emit changed();
}

void MovieDownload::dropFetch() {
    // Its signals allow this from inside them.
    if (m_fetch) {
        m_fetch->disconnect(this);
        m_fetch.reset();
    }
}

double MovieDownload::rate() const {
    if (m_state != State::Running || m_samples.isEmpty()) {
        return 0;
    }
    const qint64 now = m_clock.elapsed();
    auto from = m_samples.cbegin();
    while (from + 1 != m_samples.cend() && from->first < now - kRateWindowMs) {
        ++from;
    }
    const qint64 span = now - from->first;
    return span < kSampleMs * 2 ? 0 : double(m_file.size() - from->second) * 1000 / double(span);
}

}  // namespace vidrake
