// The HTTP client: the address it sends.
#include "internet_client.h"

#include <QtTest>

using namespace vidrake;

class NetTest final : public QObject {
    Q_OBJECT

private slots:
    void toUrl_sendsWindows1252BytesAndRefusesOtherSchemes();
};

void NetTest::toUrl_sendsWindows1252BytesAndRefusesOtherSchemes() {
    QCOMPARE(InternetClient::toUrl(QString::fromUtf8("http://h/caf\u00E9 x")).toEncoded(),
             QByteArray("http://h/caf%E9%20x"));
    QCOMPARE(InternetClient::toUrl(QString::fromUtf8("http://h/\u20AC")).toEncoded(),
             QByteArray("http://h/%80"));
    QCOMPARE(InternetClient::toUrl(QStringLiteral("http://h/a%20b?q=1")).toEncoded(),
             QByteArray("http://h/a%20b?q=1"));
    QCOMPARE(InternetClient::toUrl(QStringLiteral("https://h:8443/")).toEncoded(),
             QByteArray("https://h:8443/"));
    for (const char* refused : {"", "nonsense", "www.a.com", "file:///etc/passwd", "ftp://h/x",
                                "http://", "data:text/html,http://a.com", "javascript:x"}) {
        QVERIFY2(InternetClient::toUrl(QString::fromLatin1(refused)).isEmpty(), refused);
    }
}

QTEST_GUILESS_MAIN(NetTest)
#include "test_net.moc"
