#include "media/mpv_library.h"

#include <QLibrary>

namespace vidrake {

namespace {

constexpr unsigned long kMajor = MPV_CLIENT_API_VERSION >> 16;

struct Loaded {
    MpvLibrary functions;
    QString failure;
};

Loaded load() {
    Loaded out;
    // The file name carries the major version of the client API: libmpv.so.2 for 2.x.
    QLibrary library(QStringLiteral("mpv"), static_cast<int>(kMajor));
    if (!library.load()) {
        out.failure =
            QStringLiteral("the media library is missing (%1)").arg(library.errorString());
        return out;
    }
    MpvLibrary& f = out.functions;
#define VIDRAKE_MPV_RESOLVE(name)                                                             \
    f.name = reinterpret_cast<decltype(f.name)>(library.resolve(#name));                      \
    if (!f.name) {                                                                            \
        out.failure = QStringLiteral("the media library lacks %1").arg(QLatin1String(#name)); \
        return out;                                                                           \
    }
    VIDRAKE_MPV_FUNCTIONS(VIDRAKE_MPV_RESOLVE)
#undef VIDRAKE_MPV_RESOLVE
    if ((f.mpv_client_api_version() >> 16) != kMajor) {
        out.failure = QStringLiteral("the media library is of another version");
    }
    return out;  // QLibrary leaves it loaded when it goes, so the functions stay valid
}

}  // namespace

const MpvLibrary* mpvLibrary(QString* failure) {
    static const Loaded loaded = load();
    if (!loaded.failure.isEmpty()) {
        if (failure) {
            *failure = loaded.failure;
        }
        return nullptr;
    }
    return &loaded.functions;
}

}  // namespace vidrake
