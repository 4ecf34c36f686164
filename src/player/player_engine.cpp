#include "player/player_engine.h"

#include "player/movie_stream.h"
#include "wire/player_wire.h"

#include <mpv/client.h>
#include <mpv/render.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vidrake::player {

namespace {

using wire::Kind;
using wire::Message;

// Fixed at start: nothing of the user's mpv setup may leak in, nothing is printed, no key or
// mouse handling of mpv's own, the player starts in a known state, and a movie pulls in
// nothing beside itself.
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
    {"save-position-on-quit", "no"},
    // No file beside the movie (subtitles, sound tracks, cover pictures) and nothing the movie
    // names (play lists, reference files, segments, ordered chapters) is opened: the movie is
    // the one stream the window handed over.
    {"sub-auto", "no"},
    {"audio-file-auto", "no"},
    {"cover-art-auto", "no"},
    {"access-references", "no"},
    {"ordered-chapters", "no"},
    {"load-unsafe-playlists", "no"},
    {"audio-display", "no"},
    {"osd-level", "0"},
    {"vo", "libmpv"},
    {"hwdec", "no"},  // decoding stays on the CPU: no device is opened
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
    // A read-ahead in memory evens out the network; never on disk.
    {"cache", "yes"},
    {"demuxer-max-bytes", "32MiB"},
    {"demuxer-max-back-bytes", "8MiB"},
    {"cache-on-disk", "no"},
};

// The properties watched, each with the message its changes become; a reply id is its place.
const struct {
    const char* name;
    Kind kind;
    mpv_format format;
} kWatched[] = {
    {"time-pos", Kind::Position, MPV_FORMAT_DOUBLE},
    {"duration", Kind::Duration, MPV_FORMAT_DOUBLE},
    {"pause", Kind::Paused, MPV_FORMAT_FLAG},
    {"mute", Kind::Muted, MPV_FORMAT_FLAG},
    {"volume", Kind::Volume, MPV_FORMAT_DOUBLE},
};

Message message(Kind kind, std::int64_t i = 0, double x = 0) {
    Message m;
    m.kind = kind;
    m.i = i;
    m.x = x;
    return m;
}

// Why a movie failed: in a few words, then in full.
std::pair<std::string, std::string> reasonInWords(int error, const std::string& trouble) {
    if (!trouble.empty()) {
        return {trouble, trouble};
    }
    switch (error) {
        case MPV_ERROR_UNKNOWN_FORMAT:
            return {"not a movie", "this is not a movie in a format we can read"};
        case MPV_ERROR_LOADING_FAILED:
            return {"could not be opened", "it could not be opened"};
        case MPV_ERROR_NOTHING_TO_PLAY:
            return {"no picture or sound", "it holds no picture or sound"};
        default:
            return {mpv_error_string(error), mpv_error_string(error)};
    }
}

class Engine {
public:
    Engine(int control, bool silentAudio);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    std::string failure() const { return m_failure; }
    int run();

private:
    void tell(Message m) {
        if (!wire::send(m_control, m)) {
            m_gone = true;
        }
    }
    bool command(std::vector<const char*> words, std::int64_t* entry = nullptr);
    void onMessage(Message& m);
    void onLoad(Message& m);
    void onQuery(const std::string& name);
    void onBuffers(Message& m);
    void drainEvents();
    void onEndFile(const mpv_event_end_file& end);
    void onLogMessage(const mpv_event_log_message& log);
    void onProperty(const mpv_event& event);
    void draw();

    int m_control;
    std::string m_failure;
    mpv_handle* m_mpv = nullptr;
    mpv_render_context* m_render = nullptr;
    std::unique_ptr<MovieStreams> m_streams;
    int m_wakeup = -1;  // made readable by mpv's threads: events to drain
    int m_redraw = -1;  // likewise: a picture to draw
    bool m_gone = false;

    std::int64_t m_entry = -1;  // the playlist entry whose start and end concern the window
    bool m_opening = false;     // between the start of that entry and its opening or end
    bool m_failedNow = false;   // it failed and nothing new has been asked for since
    std::string m_trouble;      // what the demuxer complained of while opening

    // The window's two pictures, and which of them the window still shows.
    unsigned char* m_pictures = nullptr;
    std::size_t m_mapped = 0;
    int m_width = 0;
    int m_height = 0;
    std::int64_t m_generation = 0;
    bool m_shown[2] = {false, false};
    bool m_wanted = false;  // mpv has a picture that is not drawn yet
};

Engine::Engine(int control, bool silentAudio) : m_control(control) {
    m_mpv = mpv_create();
    if (!m_mpv) {
        m_failure = "the media library could not start";
        return;
    }
    for (const auto& [name, value] : kOptions) {
        mpv_set_option_string(m_mpv, name, value);
    }
    if (silentAudio) {
        mpv_set_option_string(m_mpv, "ao", "null");
    }
    if (const int rc = mpv_initialize(m_mpv); rc < 0) {
        m_failure = mpv_error_string(rc);
        return;
    }
    m_streams = std::make_unique<MovieStreams>(m_mpv);
    mpv_request_log_messages(m_mpv, "warn");
    for (std::uint64_t id = 0; id < std::size(kWatched); ++id) {
        mpv_observe_property(m_mpv, id, kWatched[id].name, kWatched[id].format);
    }
    m_wakeup = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_redraw = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Both callbacks run on mpv's threads: they wake the main loop and do nothing more.
    const auto poke = [](void* fd) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(*static_cast<int*>(fd), &one, sizeof one);
    };
    mpv_set_wakeup_callback(m_mpv, poke, &m_wakeup);
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_API_TYPE, const_cast<char*>(MPV_RENDER_API_TYPE_SW)},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_create(&m_render, m_mpv, params) < 0) {
        m_render = nullptr;
        m_failure = "the media library's renderer could not start";
        return;
    }
    mpv_render_context_set_update_callback(m_render, poke, &m_redraw);
}

Engine::~Engine() {
    // The callbacks go first, then the render context, then the core itself.
    if (m_render) {
        mpv_render_context_set_update_callback(m_render, nullptr, nullptr);
        mpv_render_context_free(m_render);
    }
    if (m_mpv) {
        mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
        mpv_terminate_destroy(m_mpv);
    }
    m_streams.reset();
    if (m_pictures) {
        ::munmap(m_pictures, m_mapped);
    }
}

bool Engine::command(std::vector<const char*> words, std::int64_t* entry) {
    words.push_back(nullptr);
    mpv_node result{};
    if (mpv_command_ret(m_mpv, words.data(), &result) < 0) {
        return false;
    }
    if (entry && result.format == MPV_FORMAT_NODE_MAP) {
        const mpv_node_list* map = result.u.list;
        for (int i = 0; i < map->num; ++i) {
            if (std::strcmp(map->keys[i], "playlist_entry_id") == 0) {
                *entry = map->values[i].u.int64;
            }
        }
    }
    mpv_free_node_contents(&result);
    return true;
}

int Engine::run() {
    tell(message(Kind::Ready));
    while (!m_gone) {
        pollfd fds[3] = {{m_control, POLLIN, 0}, {m_wakeup, POLLIN, 0}, {m_redraw, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return 1;
        }
        std::uint64_t count = 0;
        if (fds[1].revents && ::read(m_wakeup, &count, sizeof count) > 0) {
            drainEvents();
        }
        if (fds[2].revents && ::read(m_redraw, &count, sizeof count) > 0 &&
            (mpv_render_context_update(m_render) & MPV_RENDER_UPDATE_FRAME)) {
            m_wanted = true;
            draw();
        }
        if (fds[0].revents) {
            Message m;
            const wire::Got got = wire::receive(m_control, m);
            if (got == wire::Got::Closed) {
                return 0;  // the window is done with us
            }
            if (got == wire::Got::Message) {
                onMessage(m);
                if (m.fd >= 0) {
                    ::close(m.fd);  // not taken by its handler
                }
            }
        }
    }
    return 0;
}

void Engine::onMessage(Message& m) {
    switch (m.kind) {
        case Kind::Load:
            onLoad(m);
            break;
        case Kind::Stop:
            // The window has stopped showing it: its end is no news.
            m_entry = -1;
            command({"stop"});
            break;
        case Kind::Seek: {
            const std::string at = std::to_string(m.x);
            command({"seek", at.c_str(), "absolute"});
            break;
        }
        case Kind::SetFlag: {
            int flag = m.i != 0 ? 1 : 0;
            if (m.text == "pause" || m.text == "mute") {
                mpv_set_property(m_mpv, m.text.c_str(), MPV_FORMAT_FLAG, &flag);
            }
            break;
        }
        case Kind::SetNumber:
            if (m.text == "volume") {
                mpv_set_property(m_mpv, "volume", MPV_FORMAT_DOUBLE, &m.x);
            }
            break;
        case Kind::Query:
            onQuery(m.text);
            break;
        case Kind::Buffers:
            onBuffers(m);
            break;
        case Kind::FreeFrame:
            if (m.n == m_generation && (m.i == 0 || m.i == 1)) {
                m_shown[m.i] = false;
                draw();
            }
            break;
        default:
            break;  // nothing the window sends
    }
}

void Engine::onLoad(Message& m) {
    if (m.fd < 0) {
        return;
    }
    MovieSource source{std::exchange(m.fd, -1), m.i == 1, m.n, m.x != 0};
    const std::string uri = m_streams->add(source, m.text);
    int unpaused = 0;
    mpv_set_property(m_mpv, "pause", MPV_FORMAT_FLAG, &unpaused);
    std::int64_t entry = -1;
    if (!command({"loadfile", uri.c_str(), "replace"}, &entry)) {
        Message failed = message(Kind::Failed);
        failed.text = "refused by the media library";
        failed.text2 = "the media library refused the movie";
        tell(failed);
        return;
    }
    m_entry = entry;
    m_failedNow = false;
    tell(message(Kind::Loading));
}

void Engine::onQuery(const std::string& name) {
    Message reply = message(Kind::Value);
    mpv_node node{};
    if (mpv_get_property(m_mpv, name.c_str(), MPV_FORMAT_NODE, &node) >= 0) {
        switch (node.format) {
            case MPV_FORMAT_FLAG:
                reply.i = 1;
                reply.n = node.u.flag;
                break;
            case MPV_FORMAT_INT64:
                reply.i = 2;
                reply.n = node.u.int64;
                break;
            case MPV_FORMAT_DOUBLE:
                reply.i = 3;
                reply.x = node.u.double_;
                break;
            case MPV_FORMAT_STRING:
                reply.i = 4;
                reply.text = node.u.string;
                break;
            default:
                break;
        }
        mpv_free_node_contents(&node);
    }
    tell(reply);
}

void Engine::onBuffers(Message& m) {
    if (m_pictures) {
        ::munmap(m_pictures, m_mapped);
        m_pictures = nullptr;
    }
    const bool sized = m.i > 0 && m.n > 0 && m.i <= wire::kMaxSide && m.n <= wire::kMaxSide;
    if (!sized) {
        return;
    }
    const std::size_t bytes = 2 * wire::pictureBytes(static_cast<int>(m.i), static_cast<int>(m.n));
    void* at = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, m.fd, 0);
    if (at == MAP_FAILED) {
        return;
    }
    m_pictures = static_cast<unsigned char*>(at);
    m_mapped = bytes;
    m_width = static_cast<int>(m.i);
    m_height = static_cast<int>(m.n);
    m_generation = static_cast<std::int64_t>(m.x);
    m_shown[0] = m_shown[1] = false;
    m_wanted = true;  // the picture of now, at the new size
    draw();
}

void Engine::draw() {
    if (!m_wanted || !m_pictures || !m_render) {
        return;
    }
    const int slot = !m_shown[0] ? 0 : !m_shown[1] ? 1 : -1;
    if (slot < 0) {
        return;  // the window holds both; the next free one gets the picture of then
    }
    m_wanted = false;
    int size[2] = {m_width, m_height};
    std::size_t stride = static_cast<std::size_t>(m_width) * 4;
    char format[] = "rgb0";
    mpv_render_param params[] = {
        {MPV_RENDER_PARAM_SW_SIZE, size},
        {MPV_RENDER_PARAM_SW_FORMAT, format},
        {MPV_RENDER_PARAM_SW_STRIDE, &stride},
        {MPV_RENDER_PARAM_SW_POINTER, m_pictures + slot * wire::pictureBytes(m_width, m_height)},
        {MPV_RENDER_PARAM_INVALID, nullptr}};
    if (mpv_render_context_render(m_render, params) < 0) {
        return;
    }
    m_shown[slot] = true;
    Message frame = message(Kind::Frame, slot);
    frame.n = m_generation;
    tell(frame);
}

void Engine::drainEvents() {
    for (;;) {
        const mpv_event* event = mpv_wait_event(m_mpv, 0);
        switch (event->event_id) {
            case MPV_EVENT_NONE:
                return;
            case MPV_EVENT_START_FILE:
                if (static_cast<const mpv_event_start_file*>(event->data)->playlist_entry_id ==
                    m_entry) {
                    m_opening = true;
                    m_failedNow = false;
                    m_trouble.clear();
                    tell(message(Kind::Loading));
                }
                break;
            case MPV_EVENT_FILE_LOADED:
                if (m_opening) {
                    m_opening = false;
                    int paused = 0;
                    mpv_get_property(m_mpv, "pause", MPV_FORMAT_FLAG, &paused);
                    tell(message(Kind::Started, paused));
                }
                break;
            case MPV_EVENT_END_FILE:
                onEndFile(*static_cast<const mpv_event_end_file*>(event->data));
                break;
            case MPV_EVENT_LOG_MESSAGE:
                onLogMessage(*static_cast<const mpv_event_log_message*>(event->data));
                break;
            case MPV_EVENT_PROPERTY_CHANGE:
                onProperty(*event);
                break;
            default:
                break;
        }
    }
}

void Engine::onEndFile(const mpv_event_end_file& end) {
    // Ends of entries replaced since are old news.
    if (end.playlist_entry_id != m_entry) {
        return;
    }
    m_opening = false;
    if (end.reason == MPV_END_FILE_REASON_ERROR) {
        m_failedNow = true;
        auto [brief, reason] = reasonInWords(end.error, m_trouble);
        Message failed = message(Kind::Failed);
        failed.text = std::move(brief);
        failed.text2 = std::move(reason);
        tell(failed);
    } else if (end.reason == MPV_END_FILE_REASON_REDIRECT) {
        // A play list: its entries would be opened by this process, which has no network and
        // no files; the window says so.
        command({"stop"});
        Message failed = message(Kind::Failed);
        failed.text = "a play list, not a movie";
        failed.text2 = "this is a play list, not a movie; open it with File, Open Play List";
        tell(failed);
    } else {
        tell(message(Kind::Ended));
    }
}

void Engine::onLogMessage(const mpv_event_log_message& log) {
    // Log lines travel apart from the other events and may come after the end of the file they
    // concern: a failure already told is told again in better words.
    if ((!m_opening && !m_failedNow) || !m_trouble.empty() || std::strcmp(log.prefix, "ffmpeg")) {
        return;
    }
    std::string text = log.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    // "http: HTTP error 404 Not Found" -> "HTTP error 404 Not Found"
    const std::size_t colon = text.find(": ");
    if (colon > 0 && colon < 12 && text.substr(0, colon).find(' ') == std::string::npos) {
        text = text.substr(colon + 2);
    }
    m_trouble = text;
    if (m_failedNow) {
        Message failed = message(Kind::Failed);
        failed.text = text;
        failed.text2 = text;
        tell(failed);
    }
}

void Engine::onProperty(const mpv_event& event) {
    if (event.reply_userdata >= std::size(kWatched)) {
        return;
    }
    const auto& watched = kWatched[event.reply_userdata];
    const auto* prop = static_cast<const mpv_event_property*>(event.data);
    const bool has = prop->format == watched.format && prop->data;
    Message m = message(watched.kind);
    if (watched.format == MPV_FORMAT_DOUBLE) {
        m.x = has ? *static_cast<const double*>(prop->data) : 0.0;
    } else {
        m.i = has && *static_cast<const int*>(prop->data) != 0 ? 1 : 0;
    }
    tell(m);
}

}  // namespace

int runPlayer(int control, bool silentAudio) {
    // The media library refuses to start unless numbers are read the C way.
    std::setlocale(LC_NUMERIC, "C");
    Engine engine(control, silentAudio);
    if (!engine.failure().empty()) {
        Message failed;
        failed.kind = Kind::Failed;
        failed.text = engine.failure();
        failed.text2 = engine.failure();
        wire::send(control, failed);
        return 1;
    }
    return engine.run();
}

}  // namespace vidrake::player
