#include "media/media_engine.h"

#include "media/mpv_library.h"

#include <QMetaObject>

#include <iterator>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace vidrake {

namespace {

using NumberSignal = void (MediaEngine::*)(double);
using FlagSignal = void (MediaEngine::*)(bool);

// The properties watched and the signal that each change raises; a property's reply id is its
// place here. A property that has no value (nothing loaded) reads as 0 or false.
const struct {
    const char* name;
    std::variant<NumberSignal, FlagSignal> changed;
} kWatched[] = {
    {"time-pos", &MediaEngine::positionChanged}, {"duration", &MediaEngine::durationChanged},
    {"pause", &MediaEngine::pausedChanged},      {"mute", &MediaEngine::mutedChanged},
    {"volume", &MediaEngine::volumeChanged},
};

// Fixed at start: nothing of the user's mpv setup may leak in, nothing is printed, no key or
// mouse handling of mpv's own, and the player starts in a known state.
constexpr const char* kOptions[][2] = {
    {"config", "no"},
    {"terminal", "no"},
    {"osc", "no"},
    {"load-scripts", "no"},
    // The built-in overlays answer keys that are not bound here; each would be a script
    // interpreter with a thread of its own.
    {"load-stats-overlay", "no"},
    {"load-osd-console", "no"},
    {"load-auto-profiles", "no"},
    {"ytdl", "no"},
    {"input-default-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"input-cursor", "no"},
    {"resume-playback", "no"},
    {"sub-auto", "no"},
    {"audio-file-auto", "no"},
    {"audio-display", "no"},
    {"osd-level", "0"},
    {"vo", "libmpv"},
    // Decoding stays on the CPU, and the OpenGL renderer does not look for the hardware
    // decoders' interfaces either: each probe that finds no driver says so on the terminal
    // ("Cannot load libcuda.so.1").
    {"hwdec", "no"},
    {"gpu-hwdec-interop", "no"},
    {"audio-fallback-to-null", "yes"},
    {"idle", "yes"},
    {"keep-open", "no"},
    {"loop-file", "no"},
    {"loop-playlist", "no"},
    {"keepaspect", "yes"},
    {"speed", "1"},
    {"volume", "50"},
    {"mute", "no"},
    {"pause", "no"},
    {"network-timeout", "20"},
    // Entries of a play list that came over the network may only be further network
    // addresses, and those of a local one files or network addresses; never the library's own
    // protocols (devices, generators, descriptors). This is the library's default, kept here
    // so that no setup of the user's can turn it off.
    {"load-unsafe-playlists", "no"},
    {"cache-on-disk", "no"},  // the read-ahead stays in memory, not in the user's cache folder
};

QVariant fromNode(const mpv_node& node) {
    switch (node.format) {
        case MPV_FORMAT_FLAG:
            return node.u.flag != 0;
        case MPV_FORMAT_INT64:
            return static_cast<qlonglong>(node.u.int64);
        case MPV_FORMAT_DOUBLE:
            return node.u.double_;
        case MPV_FORMAT_STRING:
            return QString::fromUtf8(node.u.string);
        default:
            return {};
    }
}

// Why a movie failed: in a few words, then in full.
std::pair<QString, QString> reasonInWords(const MpvLibrary& lib, int error,
                                          const QString& trouble) {
    if (!trouble.isEmpty()) {
        return {trouble, trouble};
    }
    switch (error) {
        case MPV_ERROR_UNKNOWN_FORMAT:
            return {QStringLiteral("not a movie"),
                    QStringLiteral("this is not a movie in a format we can read")};
        case MPV_ERROR_LOADING_FAILED:
            return {QStringLiteral("could not be opened"),
                    QStringLiteral("it could not be opened")};
        case MPV_ERROR_NOTHING_TO_PLAY:
            return {QStringLiteral("no picture or sound"),
                    QStringLiteral("it holds no picture or sound")};
        default: {
            const QString said = QString::fromUtf8(lib.mpv_error_string(error));
            return {said, said};
        }
    }
}

}  // namespace

MediaEngine::MediaEngine(bool silentAudio, QObject* parent)
    : QObject(parent), m_lib(mpvLibrary(&m_failure)) {
    if (!m_lib) {
        return;
    }
    m_mpv = m_lib->mpv_create();
    if (!m_mpv) {
        // Most often a locale other than "C" for numbers; main() sets it after QApplication.
        m_failure = QStringLiteral("the media library could not start");
        return;
    }
    for (const auto& [name, value] : kOptions) {
        m_lib->mpv_set_option_string(m_mpv, name, value);
    }
    if (silentAudio) {
        m_lib->mpv_set_option_string(m_mpv, "ao", "null");
    }
    if (const int rc = m_lib->mpv_initialize(m_mpv); rc < 0) {
        m_failure = QString::fromUtf8(m_lib->mpv_error_string(rc));
        m_lib->mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
        return;
    }
    // The network layer's complaints name the fault ("HTTP error 404") better than the
    // end-of-file code does.
    m_lib->mpv_request_log_messages(m_mpv, "warn");
    for (quint64 id = 0; id < std::size(kWatched); ++id) {
        const bool number = std::holds_alternative<NumberSignal>(kWatched[id].changed);
        m_lib->mpv_observe_property(m_mpv, id, kWatched[id].name,
                                    number ? MPV_FORMAT_DOUBLE : MPV_FORMAT_FLAG);
    }
    // Runs on one of mpv's threads: hand over to the GUI thread and nothing more.
    m_lib->mpv_set_wakeup_callback(
        m_mpv,
        [](void* self) {
            auto* engine = static_cast<MediaEngine*>(self);
            QMetaObject::invokeMethod(
                engine, [engine] { engine->drainEvents(); }, Qt::QueuedConnection);
        },
        this);
}

MediaEngine::~MediaEngine() {
    if (m_mpv) {
        detach();
        m_lib->mpv_terminate_destroy(m_mpv);
    }
}

void MediaEngine::detach() {
    if (m_mpv) {
        m_lib->mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    }
}

bool MediaEngine::command(std::initializer_list<const char*> words, qint64* entryId) {
    if (!m_mpv) {
        return false;
    }
    std::vector<const char*> args(words);
    args.push_back(nullptr);
    mpv_node result{};
    if (m_lib->mpv_command_ret(m_mpv, args.data(), &result) < 0) {
        return false;
    }
    if (entryId && result.format == MPV_FORMAT_NODE_MAP) {
        const mpv_node_list* map = result.u.list;
        for (int i = 0; i < map->num; ++i) {
            if (qstrcmp(map->keys[i], "playlist_entry_id") == 0) {
                *entryId = map->values[i].u.int64;
            }
        }
    }
    m_lib->mpv_free_node_contents(&result);
    return true;
}

void MediaEngine::load(const QString& address, const QByteArray& proxy) {
    if (address.isEmpty()) {
        stop();
        return;
    }
    setFlag("pause", false);
    const QByteArray utf8 = address.toUtf8();
    // The network layer reads lower-case http_proxy itself unless it is given one; a value that
    // is no http:// address makes it connect directly. %n% quotes the value whatever it holds.
    const QByteArray value = proxy.isEmpty() ? QByteArrayLiteral("direct://") : proxy;
    const QByteArray options = "http-proxy=%" + QByteArray::number(value.size()) + '%' + value;
    qint64 entry = -1;
    if (!command({"loadfile", utf8.constData(), "replace", options.constData()}, &entry)) {
        emit failed(QStringLiteral("refused by the media library"),
                    QStringLiteral("the media library refused the address"));
        return;
    }
    m_entry = entry;
    m_failedNow = false;
    emit loading();
}

void MediaEngine::stop() {
    command({"stop"});
}

void MediaEngine::seek(double seconds) {
    const QByteArray at = QByteArray::number(seconds, 'f', 3);
    command({"seek", at.constData(), "absolute"});
}

void MediaEngine::setFlag(const char* name, bool on) {
    if (m_mpv) {
        int flag = on ? 1 : 0;
        m_lib->mpv_set_property(m_mpv, name, MPV_FORMAT_FLAG, &flag);
    }
}

void MediaEngine::setNumber(const char* name, double value) {
    if (m_mpv) {
        m_lib->mpv_set_property(m_mpv, name, MPV_FORMAT_DOUBLE, &value);
    }
}

QVariant MediaEngine::value(const char* name) const {
    mpv_node node{};
    if (!m_mpv || m_lib->mpv_get_property(m_mpv, name, MPV_FORMAT_NODE, &node) < 0) {
        return {};
    }
    QVariant v = fromNode(node);
    m_lib->mpv_free_node_contents(&node);
    return v;
}

void MediaEngine::drainEvents() {
    while (m_mpv) {
        const mpv_event* event = m_lib->mpv_wait_event(m_mpv, 0);
        if (event->event_id == MPV_EVENT_NONE) {
            break;
        }
        onEvent(*event);
    }
}

void MediaEngine::onEvent(const mpv_event& event) {
    using Handler = void (MediaEngine::*)(const mpv_event&);
    static constexpr std::pair<mpv_event_id, Handler> kHandlers[] = {
        {MPV_EVENT_START_FILE, &MediaEngine::onStartFile},
        {MPV_EVENT_FILE_LOADED, &MediaEngine::onFileLoaded},
        {MPV_EVENT_END_FILE, &MediaEngine::onEndFile},
        {MPV_EVENT_LOG_MESSAGE, &MediaEngine::onLogMessage},
        {MPV_EVENT_PROPERTY_CHANGE, &MediaEngine::onPropertyChange},
    };
    for (const auto& [id, handler] : kHandlers) {
        if (id == event.event_id) {
            (this->*handler)(event);
            return;
        }
    }
}

void MediaEngine::onStartFile(const mpv_event& event) {
    const auto* start = static_cast<const mpv_event_start_file*>(event.data);
    if (start->playlist_entry_id == m_entry) {
        m_opening = true;
        m_failedNow = false;
        m_openingTrouble.clear();
        emit loading();
    }
}

void MediaEngine::onFileLoaded(const mpv_event& /*event*/) {
    if (m_opening) {
        m_opening = false;
        emit started();
    }
}

void MediaEngine::onEndFile(const mpv_event& event) {
    const auto* end = static_cast<const mpv_event_end_file*>(event.data);
    // Ends of entries we have replaced since are old news.
    if (end->playlist_entry_id != m_entry) {
        return;
    }
    m_opening = false;
    if (end->reason == MPV_END_FILE_REASON_ERROR) {
        m_failedNow = true;
        const auto [brief, reason] = reasonInWords(*m_lib, end->error, m_openingTrouble);
        emit failed(brief, reason);
    } else if (end->reason != MPV_END_FILE_REASON_REDIRECT) {
        emit ended();
    }
}

void MediaEngine::onLogMessage(const mpv_event& event) {
    // Log lines travel apart from the other events and may come after the end of the file they
    // concern: a failure already told is told again in better words.
    const auto* log = static_cast<const mpv_event_log_message*>(event.data);
    if ((m_opening || m_failedNow) && m_openingTrouble.isEmpty() &&
        qstrcmp(log->prefix, "ffmpeg") == 0) {
        // "http: HTTP error 404 Not Found" -> "HTTP error 404 Not Found"
        QString text = QString::fromUtf8(log->text).trimmed();
        const qsizetype colon = text.indexOf(QLatin1String(": "));
        if (colon > 0 && colon < 12 && !text.left(colon).contains(u' ')) {
            text = text.mid(colon + 2);
        }
        m_openingTrouble = text;
        if (m_failedNow) {
            emit failed(text, text);
        }
    }
}

void MediaEngine::onPropertyChange(const mpv_event& event) {
    if (event.reply_userdata >= std::size(kWatched)) {
        return;
    }
    const auto* prop = static_cast<const mpv_event_property*>(event.data);
    const bool has = prop->format != MPV_FORMAT_NONE && prop->data;
    std::visit(
        [&](auto changed) {
            if constexpr (std::is_same_v<decltype(changed), NumberSignal>) {
                const bool number = has && prop->format == MPV_FORMAT_DOUBLE;
                emit(this->*changed)(number ? *static_cast<const double*>(prop->data) : 0.0);
            } else {
                const bool flag = has && prop->format == MPV_FORMAT_FLAG &&
                                  *static_cast<const int*>(prop->data) != 0;
                emit(this->*changed)(flag);
            }
        },
        kWatched[event.reply_userdata].changed);
}

}  // namespace vidrake
