// The proxy a page goes through, chosen from the environment as wget and curl read it on Linux:
// http_proxy, https_proxy, all_proxy and no_proxy, each in upper case where the lower-case
// one is unset or empty. A pure function of the variables and the address, so it can be tested
// without a network.
#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <functional>
#include <optional>

namespace vidrake {

struct ProxyEnvironment {
    QByteArray http;
    QByteArray https;
    QByteArray all;
    QByteArray noProxy;

    // `get` gives a variable's value, empty when it is unset.
    static ProxyEnvironment from(const std::function<QByteArray(const char*)>& get);
    static ProxyEnvironment fromSystem();
};

// The proxy for an http or https `url`, as a proxy address with its scheme ("http://" when the
// variable named none) and any user and password it carried; empty for a direct connection.
QByteArray proxyFor(const ProxyEnvironment& env, const QUrl& url);

// A proxy address without its credentials, and the credentials decoded.
struct ProxyAddress {
    QByteArray address;
    bool hasCredentials = false;
    QByteArray user;
    QByteArray password;
};

// Splits what proxyFor gave; nothing where the user or password does not decode or holds a
// control character, which no proxy can be sent: such a proxy is one that cannot be reached.
std::optional<ProxyAddress> splitProxy(const QByteArray& proxy);

// The names of the variables whose proxy splitProxy refuses, as ProxyEnvironment::from reads
// them.
QList<QByteArray> refusedProxyVariables(const std::function<QByteArray(const char*)>& get);

}  // namespace vidrake
