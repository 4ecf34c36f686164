// One movie saved into a file of the user's choice: fetched over the crawl's own client (its
// proxy, IDNA host, TLS checks and connect and idle limits, but no overall time or size limit),
// written to NAME.part and renamed to NAME once whole. A download that stops for any reason
// keeps its .part and says why; Retry asks for the rest ("Range") and starts over where the
// server sends the whole movie instead.
#pragma once

#include "files/part_file.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

namespace vidrake {

class InternetClient;
class MovieFetch;

class MovieDownload final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MovieDownload)

public:
    enum class State { Running, Done, Failed, Cancelled };

    MovieDownload(InternetClient& client, QString address, const QString& target,
                  QObject* parent = nullptr);
    ~MovieDownload() override;

    // The first start empties a .part left there; Retry goes on from it.
    void start() { begin(false); }
    void retry() { begin(true); }
    void cancel();

    const QString& address() const { return m_address; }
    const QString& target() const { return m_file.target(); }
    State state() const { return m_state; }
    qint64 received() const { return m_file.size(); }
    qint64 total() const { return m_total; }  // the movie's size; -1 while unknown
    // Bytes a second over the last few seconds; 0 until there is something to tell.
    double rate() const;
    // Why it failed; empty otherwise.
    const QString& failure() const { return m_failure; }

signals:
    // Its state or its bytes changed.
    void changed();

private:
    void begin(bool resume);
    void fetchFrom(qint64 from);
    void onHead();
    void onBytes();
    void onFinished();
    void end(State state, const QString& failure = {});
    void dropFetch();

    InternetClient& m_client;
    QString m_address;
    PartFile m_file;
    std::unique_ptr<MovieFetch> m_fetch;
    State m_state = State::Running;
    qint64 m_from = 0;  // where the bytes asked for start
    qint64 m_total = -1;
    QString m_failure;
    QElapsedTimer m_clock;
    QList<std::pair<qint64, qint64>> m_samples;  // (ms, bytes received), the last few seconds
};

}  // namespace vidrake
