// The proxy a page goes through, chosen from the environment as wget and curl read it on Linux:
// http_proxy, https_proxy, all_proxy and no_proxy, each in upper case where the lower-case
// one is unset or empty. A pure function of the variables and the address, so it can be tested
// without a network.
#pragma once

#include <QByteArray>
#include <QUrl>

#include <functional>

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

}  // namespace vidrake
