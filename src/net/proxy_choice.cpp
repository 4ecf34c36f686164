#include "net/proxy_choice.h"

#include <QList>

#include <arpa/inet.h>

#include <array>
#include <cstring>

namespace vidrake {
namespace {

QByteArray firstSet(const std::function<QByteArray(const char*)>& get, const char* lower,
                    const char* upper) {
    const QByteArray value = get(lower).trimmed();
    return value.isEmpty() ? get(upper).trimmed() : value;
}

// An address in network order, 16 bytes (IPv4 mapped into IPv6), or nothing.
bool parseAddress(const QByteArray& text, std::array<unsigned char, 16>& out) {
    in_addr v4{};
    if (inet_pton(AF_INET, text.constData(), &v4) == 1) {
        out.fill(0);
        out[10] = out[11] = 0xFF;
        std::memcpy(out.data() + 12, &v4, 4);
        return true;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, text.constData(), &v6) == 1) {
        std::memcpy(out.data(), &v6, 16);
        return true;
    }
    return false;
}

// "10.0.0.0/8" or "fd00::/8" holding the address `host`.
bool inSubnet(const QByteArray& entry, const QByteArray& host) {
    const qsizetype slash = entry.indexOf('/');
    std::array<unsigned char, 16> net{};
    std::array<unsigned char, 16> addr{};
    bool ok = false;
    int bits = entry.mid(slash + 1).toInt(&ok);
    if (!ok || !parseAddress(entry.left(slash), net) || !parseAddress(host, addr)) {
        return false;
    }
    const bool v4 = entry.left(slash).contains('.');
    if (v4) {
        bits += 96;
    }
    if (bits < 0 || bits > 128) {
        return false;
    }
    for (int i = 0; i < 16 && bits > 0; ++i, bits -= 8) {
        const int mask = bits >= 8 ? 0xFF : (0xFF << (8 - bits)) & 0xFF;
        if ((net[i] & mask) != (addr[i] & mask)) {
            return false;
        }
    }
    return true;
}

// Whether an entry of no_proxy covers `host` (lower case, IPv6 without brackets) on `port`.
bool covers(QByteArray entry, const QByteArray& host, int port) {
    if (entry == "*") {
        return true;
    }
    int entryPort = -1;
    if (entry.startsWith('[')) {
        const qsizetype close = entry.indexOf(']');
        if (close < 0) {
            return false;
        }
        if (entry.mid(close + 1).startsWith(':')) {
            entryPort = entry.mid(close + 2).toInt();
        }
        entry = entry.mid(1, close - 1);
    } else if (entry.count(':') == 1) {
        const qsizetype colon = entry.indexOf(':');
        entryPort = entry.mid(colon + 1).toInt();
        entry.truncate(colon);
    }
    if (entryPort >= 0 && entryPort != port) {
        return false;
    }
    if (entry.contains('/')) {
        return inSubnet(entry, host);
    }
    while (entry.startsWith('.')) {
        entry.remove(0, 1);
    }
    if (entry.endsWith('.')) {
        entry.chop(1);
    }
    return !entry.isEmpty() && (host == entry || host.endsWith(QByteArray('.' + entry)));
}

}  // namespace

ProxyEnvironment ProxyEnvironment::from(const std::function<QByteArray(const char*)>& get) {
    return {firstSet(get, "http_proxy", "HTTP_PROXY"), firstSet(get, "https_proxy", "HTTPS_PROXY"),
            firstSet(get, "all_proxy", "ALL_PROXY"), firstSet(get, "no_proxy", "NO_PROXY")};
}

ProxyEnvironment ProxyEnvironment::fromSystem() {
    return from([](const char* name) { return qgetenv(name); });
}

QByteArray proxyFor(const ProxyEnvironment& env, const QUrl& url) {
    const bool tls = url.scheme() == u"https";
    QByteArray proxy = tls ? env.https : env.http;
    if (proxy.isEmpty()) {
        proxy = env.all;
    }
    if (proxy.isEmpty()) {
        return {};
    }
    QByteArray host = url.host(QUrl::FullyEncoded).toLower().toLatin1();
    if (host.endsWith('.')) {
        host.chop(1);
    }
    const int port = url.port(tls ? 443 : 80);
    for (const QByteArray& item : env.noProxy.toLower().replace(' ', ',').split(',')) {
        if (covers(item.trimmed(), host, port)) {
            return {};
        }
    }
    return proxy.contains("://") ? proxy : QByteArray("http://" + proxy);
}

}  // namespace vidrake
