#include "net/proxy_choice.h"

#include <QList>

#include <arpa/inet.h>

#include <array>
#include <cctype>
#include <cstring>

namespace vidrake {
namespace {

// The variable read of a lower and upper-case pair: the lower unless it is unset or empty.
const char* firstSetName(const std::function<QByteArray(const char*)>& get, const char* lower,
                         const char* upper) {
    return get(lower).trimmed().isEmpty() ? upper : lower;
}

QByteArray firstSet(const std::function<QByteArray(const char*)>& get, const char* lower,
                    const char* upper) {
    return get(firstSetName(get, lower, upper)).trimmed();
}

constexpr const char* kProxyVariables[][2] = {
    {"http_proxy", "HTTP_PROXY"}, {"https_proxy", "HTTPS_PROXY"}, {"all_proxy", "ALL_PROXY"}};

// Percent-decoded; nothing where a % is not followed by two hex digits or a byte is a control.
std::optional<QByteArray> decodeCredential(QByteArrayView text) {
    const auto hex = [](char h) { return std::isxdigit(static_cast<unsigned char>(h)) != 0; };
    const auto value = [](char h) { return h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10; };
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || !hex(text[i + 1]) || !hex(text[i + 2])) {
                return std::nullopt;
            }
            c = static_cast<char>(value(text[i + 1]) * 16 + value(text[i + 2]));
            i += 2;
        }
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return std::nullopt;
        }
        out += c;
    }
    return out;
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

namespace vidrake {

std::optional<ProxyAddress> splitProxy(const QByteArray& proxy) {
    ProxyAddress out;
    const qsizetype schemeEnd = proxy.indexOf("://");
    const qsizetype hostStart = schemeEnd < 0 ? 0 : schemeEnd + 3;
    qsizetype hostEnd = proxy.indexOf('/', hostStart);
    hostEnd = hostEnd < 0 ? proxy.size() : hostEnd;
    const qsizetype at = proxy.lastIndexOf('@', hostEnd - 1);
    if (at < hostStart) {
        out.address = proxy;
        return out;
    }
    const QByteArray userInfo = proxy.sliced(hostStart, at - hostStart);
    const qsizetype colon = userInfo.indexOf(':');
    const std::optional<QByteArray> user =
        decodeCredential(QByteArrayView(userInfo).first(colon < 0 ? userInfo.size() : colon));
    const std::optional<QByteArray> password =
        decodeCredential(colon < 0 ? QByteArrayView() : QByteArrayView(userInfo).sliced(colon + 1));
    if (!user || !password) {
        return std::nullopt;
    }
    out.address = proxy.left(hostStart) + proxy.sliced(at + 1);
    out.hasCredentials = true;
    out.user = *user;
    out.password = *password;
    return out;
}

QList<QByteArray> refusedProxyVariables(const std::function<QByteArray(const char*)>& get) {
    QList<QByteArray> refused;
    for (const auto& [lower, upper] : kProxyVariables) {
        const char* name = firstSetName(get, lower, upper);
        if (!splitProxy(get(name).trimmed())) {
            refused.append(name);
        }
    }
    return refused;
}

}  // namespace vidrake
