// The code page, against the system's table; the link patterns; play-list files, and the file
// handling under them.
#include "text/code_page.h"
#include "text/pattern_matcher.h"
#include "text/play_list_file.h"

#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <iconv.h>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <csignal>
#include <optional>

using namespace vidrake;

class TextTest final : public QObject {
    Q_OBJECT

private slots:
    void codePage_agreesWithTheSystemsTable() {
        // glibc's table is the independent one. The five bytes it leaves unassigned keep their C1
        // control character here, so that every byte survives a round trip.
        const iconv_t toChar = iconv_open("WCHAR_T", "WINDOWS-1252");
        const iconv_t toByte = iconv_open("WINDOWS-1252", "WCHAR_T");
        QVERIFY(toChar != iconv_t(-1) && toByte != iconv_t(-1));
        const auto convert = [](iconv_t cd, auto in, auto out) {
            auto *inp = reinterpret_cast<char*>(&in), *outp = reinterpret_cast<char*>(&out);
            std::size_t inLeft = sizeof in, outLeft = sizeof out;
            const bool ok = iconv(cd, &inp, &inLeft, &outp, &outLeft) != std::size_t(-1);
            return ok ? std::optional(out) : std::nullopt;
        };
        const QList<char16_t> unassigned{0x81, 0x8D, 0x8F, 0x90, 0x9D};
        QByteArray all;
        for (int b = 0; b < 256; ++b) all.append(static_cast<char>(b));
        const QString text = code_page::decode(all);
        QCOMPARE(code_page::encode(text), all);
        for (int b = 0; b < 256; ++b) {
            const auto c = convert(toChar, static_cast<char>(b), wchar_t(0));
            QCOMPARE(text.at(b).unicode(), c ? char16_t(*c) : char16_t(b));
        }
        // Every other character of the basic plane: the system's byte, or '?' where it has none.
        QString wrong;
        for (char16_t u = 1; u != 0; ++u) {
            const auto byte = unassigned.contains(u) ? std::optional(static_cast<char>(u))
                                                     : convert(toByte, wchar_t(u), '?');
            wrong +=
                code_page::encodeChar(QChar(u)) == byte.value_or('?') ? "" : QString::number(u, 16);
        }
        QCOMPARE(wrong, QString());
        iconv_close(toChar);
        iconv_close(toByte);
        // A character beyond 16 bits is one character, so one '?'.
        QCOMPARE(code_page::encode(QString::fromUtf8("x\U0001F600y")), QByteArray("x?y"));
    }

    void patterns_matchAsTheCrawlerNeeds() {
        // The generated pages of the page-path test hold the crawler's patterns to a reference:
        // whitespace, endings, link text, the first match or all. What they do not hold: a
        // capital scheme, an invalid pattern, and one with a character that no page byte is ('?'
        // in its place would change the pattern).
        const struct {
            QString pattern;
            const char* text;
            QStringList expected;
        } rows[] = {
            {QStringLiteral("http\\S+\\.(com|net)"), "HTTP://a.com http://b.com", {"http://b.com"}},
            {QStringLiteral("(http"), "(http", {}},
            {QString::fromUtf8("http\\S+\\.\u0141"), "http://a.com", {}},
        };
        for (const auto& row : rows) {
            RegExp re;
            re.setGlobal(true);
            re.setPattern(row.pattern);
            QCOMPARE(re.isValid(), &row == rows);
            QCOMPARE(re.execute(QByteArray(row.text)), row.expected);
        }
    }

    void playList_readGivesTheLinesWithinTheLimits_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<qint64>("cut");
        const QString x64k(kMaxPlayListLine, u'x');

        QTest::newRow("CR LF, last unended")
            << QByteArray("a\r\nb") << QStringList{"a", "b"} << 0ll;
        QTest::newRow("lone CR ends, lone LF stays, empty lines kept")
            << QByteArray("a\rb\nc\r\r\n\r") << QStringList{"a", "b\nc", "", ""} << 0ll;
        QTest::newRow("empty file") << QByteArray() << QStringList{} << 0ll;
        QTest::newRow("code page")
            << QByteArray("caf\xE9 \x80\x9D")
            << QStringList{QString::fromUtf8("caf\u00E9 \u20AC\u009D")} << 0ll;
        // The first line crosses a read block and its CR LF falls across the next one.
        QTest::newRow("long lines cut") << QByteArray(256 * 1024 - 1, 'x') + "\r\n" +
                                               x64k.toLatin1() + "\r\n" + x64k.toLatin1() + "yz"
                                        << QStringList{x64k, x64k, x64k} << 2ll;
    }

    void playList_readGivesTheLinesWithinTheLimits() {
        QFETCH(QByteArray, bytes);
        const PlayListRead read = readPlayList(file(bytes), 9);
        QVERIFY(read.ok);
        QTEST(read.items, "items");
        QTEST(read.cutLines, "cut");
    }

    void playList_writeGivesCrLfLinesInTheCodePageOrKeepsTheOldFile() {
        const QString path = file("old\r\n");
        QCOMPARE(writePlayList(path, {}), QString());
        QCOMPARE(bytes(), QByteArray());
        QCOMPARE(writePlayList(path, {"a", "", QString::fromUtf8("\u20AC")}), QString());
        QCOMPARE(bytes(), QByteArray("a\r\n\r\n\x80\r\n"));  // the euro where Latin-1 has none
        // A save that cannot happen says why and leaves the old file as it was: no folder, a
        // folder, and a list that runs out of room half-way (written in place, it would be cut).
        QVERIFY(!writePlayList(path + QStringLiteral("/inside"), {"x"}).isEmpty());
        QVERIFY(!writePlayList(m_dir.path(), {"x"}).isEmpty());
        {
            const FileSizeLimit limit(4096);
            QVERIFY(!writePlayList(path, {QString(5000, u'x')}).isEmpty());
        }
        QCOMPARE(bytes(), QByteArray("a\r\n\r\n\x80\r\n"));
        QCOMPARE(
            QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"list.m3u"});  // no temporary file left behind
    }

    // What the name is stays what it was: a FIFO or a device is written to, a link stays a link,
    // hard links stay one file, a read-only file is not made writable.
    void playList_writeKeepsWhatTheNameIs() {
        QTemporaryDir dir;
        QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);  // for nobody
        const auto at = [&](const char* name) { return QFile::encodeName(dir.filePath(name)); };
        const auto stat = [](const QByteArray& name) {
            struct stat st {};
            return ::lstat(name.constData(), &st) == 0 ? st : (st.st_mode = 0, st);
        };
        const auto content = [](const QByteArray& name) {
            QFile f(QFile::decodeName(name));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : "<unreadable>";
        };
        const auto save = [](const QByteArray& name) {
            return writePlayList(QFile::decodeName(name), {"http://v/a.avi"});
        };
        const QByteArray list = "http://v/a.avi\r\n";
        const auto make = [&](const char* name, mode_t mode) {
            QFile f(QFile::decodeName(at(name)));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("old") == 3);
            f.close();
            QCOMPARE(::chmod(at(name).constData(), mode), 0);
        };

        // A FIFO: its reader gets the list; with no reader the save says so instead of waiting.
        QCOMPARE(::mkfifo(at("fifo").constData(), 0600), 0);
        QCOMPARE(save(at("fifo")), QStringLiteral("it is a FIFO that no program is reading from"));
        const int reader = ::open(at("fifo").constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QCOMPARE(save(at("fifo")), QString());
        char got[64] = {};
        QCOMPARE(::read(reader, got, sizeof got), list.size());
        QCOMPARE(QByteArray(got), list);
        // A reader that takes nothing more: the save gives up rather than hold the window.
        const QStringList many(30'000,
                               QStringLiteral("http://v/a-name-long-enough-to-fill-a-pipe.avi"));
        QCOMPARE(writePlayList(QFile::decodeName(at("fifo")), many, std::chrono::milliseconds(200)),
                 QStringLiteral("nothing was taken from it for 0.2 s"));
        ::close(reader);

        // Hard links: both names show the new list.
        make("one", 0640);
        QCOMPARE(::link(at("one").constData(), at("two").constData()), 0);
        QCOMPARE(save(at("two")), QString());
        QCOMPARE(content(at("one")), list);

        // A link: what it points to gets the list, with its mode; the link stays.
        make("target", 0640);
        QCOMPARE(::symlink("target", at("link").constData()), 0);
        QCOMPARE(save(at("link")), QString());
        QCOMPARE(content(at("target")), list);
        QCOMPARE(stat(at("target")).st_mode & 07777, mode_t(0640));

        // Read-only: refused, or (as root) written and still read-only.
        make("readonly", 0444);
        const bool written = save(at("readonly")).isEmpty();
        QCOMPARE(content(at("readonly")), written ? list : "old");
        QCOMPARE(stat(at("readonly")).st_mode & 07777, mode_t(0444));

        // Another user's file that we may write: written in place where the folder takes no new
        // file, and where a new file could not be given its owner.
        QCOMPARE(::mkdir(at("fixed").constData(), 0755), 0);
        QCOMPARE(::mkdir(at("open").constData(), 0777), 0);
        make("fixed/list", 0666);
        make("open/list", 0666);
        QCOMPARE(::chmod(at("fixed").constData(), 0555), 0);
        QCOMPARE(::chmod(at("open").constData(), 0777), 0);  // no sticky bit: rename would do
        {
            const AsNobody nobody;
            QCOMPARE(save(at("fixed/list")), QString());
            QCOMPARE(save(at("open/list")), QString());
        }
        QCOMPARE(content(at("fixed/list")), list);
        QCOMPARE(content(at("open/list")), list);
        QCOMPARE(stat(at("open/list")).st_uid, ::geteuid());

        // A device, here a node of the null device standing in for /dev/null: written to, kept.
        if (::mknod(at("null").constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
            QSKIP("no device node can be made here");
        }
        QCOMPARE(save(at("null")), QString());
        QVERIFY(S_ISCHR(stat(at("null")).st_mode));
    }

private:
    // Writes beyond `bytes` fail with EFBIG instead of raising a signal.
    struct FileSizeLimit {
        explicit FileSizeLimit(rlim_t bytes) {
            ::getrlimit(RLIMIT_FSIZE, &old);
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit limit = old;
            limit.rlim_cur = bytes;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &old); }
        Q_DISABLE_COPY_MOVE(FileSizeLimit)
        rlimit old{};
    };
    // As root, file access is checked as for nobody, who owns what it makes and may give no file
    // away; root may write into any folder.
    struct AsNobody {
        AsNobody() {
            if (::geteuid() == 0) {
                ::setfsgid(65534);
                ::setfsuid(65534);
            }
        }
        ~AsNobody() {
            if (::geteuid() == 0) {
                ::setfsuid(0);
                ::setfsgid(0);
            }
        }
        Q_DISABLE_COPY_MOVE(AsNobody)
    };

    QTemporaryDir m_dir;
    QString file(const QByteArray& bytes) {
        QFile f(m_dir.filePath(QStringLiteral("list.m3u")));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() ? f.fileName() : "";
    }
    QByteArray bytes() {
        QFile f(m_dir.filePath(QStringLiteral("list.m3u")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : "<unreadable>";
    }
};

QTEST_GUILESS_MAIN(TextTest)
#include "test_text.moc"
