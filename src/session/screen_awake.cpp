#include "session/screen_awake.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QVariantMap>

namespace vidrake {
namespace {

const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
constexpr uint kPortalIdle = 8;  // the portal's flag for "do not blank or lock for idleness"

QString reason() {
    return QStringLiteral("Playing a movie");
}

}  // namespace

ScreenAwake::ScreenAwake(QObject* parent) : QObject(parent) {}

ScreenAwake::~ScreenAwake() {
    m_wanted = false;
    if (!m_asking) {
        letGo(m_held, m_cookie, m_request);
    }  // else the answer, when it comes, is let go at once
}

void ScreenAwake::keepAwake(bool on) {
    m_wanted = on;
    settle();
}

void ScreenAwake::settle() {
    if (m_asking) {
        return;  // the answer settles it
    }
    if (m_wanted && m_held == Way::None) {
        ask(QDBusConnection::sessionBus().isConnected() ? Way::ScreenSaver : Way::X11);
    } else if (!m_wanted && m_held != Way::None) {
        letGo(m_held, m_cookie, m_request);
        m_held = Way::None;
    }
}

void ScreenAwake::ask(Way way) {
    if (way == Way::X11) {
        m_held = suspendX11ScreenSaver(true) ? Way::X11 : Way::Nothing;
        return;
    }
    QDBusMessage call =
        way == Way::ScreenSaver
            ? QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver,
                                             QStringLiteral("Inhibit"))
                  << QStringLiteral("Vidrake") << reason()
            : QDBusMessage::createMethodCall(kPortal, kPortalPath,
                                             QStringLiteral("org.freedesktop.portal.Inhibit"),
                                             QStringLiteral("Inhibit"))
                  << QString() << kPortalIdle << QVariantMap{{QStringLiteral("reason"), reason()}};
    m_asking = true;
    auto* answer = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call));
    const QPointer<ScreenAwake> self(this);
    connect(answer, &QDBusPendingCallWatcher::finished, [self, way, answer] {
        answer->deleteLater();
        const QDBusMessage reply = answer->reply();
        const bool held =
            reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
        const uint cookie = held && way == Way::ScreenSaver ? reply.arguments()[0].toUInt() : 0;
        const QDBusObjectPath request = held && way == Way::Portal
                                            ? reply.arguments()[0].value<QDBusObjectPath>()
                                            : QDBusObjectPath();
        if (!self) {
            if (held) {
                letGo(way, cookie, request);  // asked for by a window that is gone
            }
            return;
        }
        self->m_asking = false;
        if (held) {
            self->m_held = way;
            self->m_cookie = cookie;
            self->m_request = request;
        } else {
            self->ask(way == Way::ScreenSaver ? Way::Portal : Way::X11);
        }
        self->settle();
    });
}

void ScreenAwake::letGo(Way way, uint cookie, const QDBusObjectPath& request) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    switch (way) {
        case Way::ScreenSaver:
            bus.call(QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver,
                                                    QStringLiteral("UnInhibit"))
                         << cookie,
                     QDBus::NoBlock);
            break;
        case Way::Portal:
            bus.call(QDBusMessage::createMethodCall(
                         kPortal, request.path(), QStringLiteral("org.freedesktop.portal.Request"),
                         QStringLiteral("Close")),
                     QDBus::NoBlock);
            break;
        case Way::X11:
            suspendX11ScreenSaver(false);
            break;
        case Way::None:
        case Way::Nothing:
            break;
    }
}

}  // namespace vidrake
