// The resizer over a fake window whose controls may lack any property, and the busy pointer.
#include "platform/memory_stores.h"
#include "support/hourglass.h"
#include "support/resize.h"

#include <QtTest>

#include <cmath>
#include <map>

using namespace vidrake;
using enum ResizeNumber;
using Floats = std::vector<float>;

namespace {

const QString kArial = QStringLiteral("Arial"), kSmall = QStringLiteral("Small Fonts");

template <typename Map>
std::optional<typename Map::mapped_type> find(const Map& map, typename Map::key_type key) {
    return map.contains(key) ? std::optional(map.at(key)) : std::nullopt;
}

// A property absent from the maps is missing. Writes are counted, and rounded to whole units
// when asked, as a pixel-based layer would.
struct FakeControl final : ResizeControl {
    explicit FakeControl(QString typeName = QStringLiteral("Label")) : type(std::move(typeName)) {}
    QString type;
    std::map<ResizeNumber, float> n;
    std::map<ResizeText, QString> t;
    bool whole = false;
    int writes = 0;

    QString name() const override { return {}; }
    QString typeName() const override { return type; }
    bool isTimer() const override { return type == u"Timer"; }
    bool isLine() const override { return type == u"Line"; }
    bool isComboBox() const override { return type == u"ComboBox"; }
    std::optional<float> number(ResizeNumber p) const override { return find(n, p); }
    std::optional<QString> text(ResizeText p) const override { return find(t, p); }
    bool setNumber(ResizeNumber p, float v) override {
        return n.contains(p) && (n[p] = whole ? std::round(v) : v, ++writes);
    }
    bool setText(ResizeText p, const QString& v) override {
        return t.contains(p) && (t[p] = v, ++writes);
    }
};

FakeControl boxed(float left, float top, float width, float height, float size,
                  const QString& type = QStringLiteral("Label")) {
    FakeControl c(type);
    c.n = {{Left, left}, {Top, top}, {Width, width}, {Height, height}, {FontSize, size}};
    c.t[ResizeText::FontName] = kArial;
    return c;
}

FakeControl line(float x1, float y1, float x2, float y2) {
    FakeControl c(QStringLiteral("Line"));
    c.n = {{X1, x1}, {Y1, y1}, {X2, x2}, {Y2, y2}};
    return c;
}

struct FakeWindow final : ResizeWindow {
    std::vector<FakeControl> c;
    float width = 400, height = 300;
    int state = kWindowNormal;

    std::optional<int> controlCount() const override { return static_cast<int>(c.size()); }
    ResizeControl* control(int i) override { return &c.at(static_cast<std::size_t>(i)); }
    std::optional<float> scaleWidth() const override { return width; }
    std::optional<float> scaleHeight() const override { return height; }
    std::optional<int> windowState() const override { return state; }
    Floats at(std::size_t i, std::initializer_list<ResizeNumber> ps) const {
        Floats values;
        for (const auto p : ps) values.push_back(c[i].n.at(p));
        return values;
    }
};

}  // namespace

class SupportTest final : public QObject {
    Q_OBJECT

private slots:
    void resizeControls_scalesEachAxisByItsOwnRatio() {
        FakeWindow w;
        w.c = {boxed(10, 20, 30, 40, 10),
               FakeControl(QStringLiteral("Timer")),
               boxed(100, 200, 50, 60, 10, QStringLiteral("ComboBox")),
               boxed(1, 2, 3, 4, 10, QStringLiteral("StatusBar")),
               boxed(1, 2, 3, 4, 10),
               line(10.25f, 10.25f, 25, 21)};
        w.c[4].n.erase(Width);
        w.c[5].whole = true;
        resize r;
        QCOMPARE(r.SaveSizes(w), ResizeError::None);
        w.width = 800;   // xs 2
        w.height = 150;  // ys 0.5
        QCOMPARE(r.ResizeControls(w), ResizeError::None);
        QCOMPARE(w.at(0, {Left, Top, Width, Height}), Floats({20, 10, 60, 20}));
        QCOMPARE(w.at(2, {Left, Top, Width, Height}), Floats({200, 100, 100, 60}));  // height kept
        QCOMPARE(w.c[3].writes, 0);
        QCOMPARE(w.at(4, {Height, FontSize}), Floats({2, 6}));  // only the missing width skipped
        // The near ends land on 21 and 5, and the far ends are worked from there.
        QCOMPARE(w.at(5, {X1, Y1, X2, Y2}), Floats({21, 5, 51, 10}));

        w.c[5].whole = false;  // then one layout, however often it is redone
        QCOMPARE(r.ResizeControls(w), ResizeError::None);
        const auto first = w.c;
        QCOMPARE(r.ResizeControls(w), ResizeError::None);
        for (std::size_t i = 0; i < first.size(); ++i) QCOMPARE(w.c[i].n, first[i].n);
    }

    void resizeControls_scalesFontsWithinLimits() {
        const struct {
            float maxPercent, minPercent, recorded, ys, size;
            bool small;
        } cases[] = {
            {25, 40, 8.25f, 0.5f, 4.95f, true}, {25, 40, 8.25f, 2, 10.3125f, false},
            {25, 40, 12, 0.5f, 7.2f, false},    {25, 40, 10, 1.2f, 12, false},
            {25, 40, 7, 1, 7, false},           {25, 40, 10, 0.6875f, 6.875f, true},
            {0, 0, 10, 2, 10, false},           {0, 0, 10, 0.5f, 10, false},
            {-50, 0, 10, 1, 10, false},  // the floor wins
        };
        for (const auto& k : cases) {
            for (const QString& before : {kArial, kSmall, QStringLiteral("Courier")}) {
                FakeWindow w;
                w.height = 100;
                w.c = {boxed(0, 0, 0, 0, k.recorded)};
                resize r;
                QCOMPARE(r.SaveSizes(w), ResizeError::None);
                r.MaxFontGrowthPercent(k.maxPercent);
                r.MinFontGrowthPercent(k.minPercent);
                w.c[0].t[ResizeText::FontName] = before;
                w.height = 100 * k.ys;
                QCOMPARE(r.ResizeControls(w), ResizeError::None);
                QCOMPARE(w.c[0].n[FontSize], k.size);
                QCOMPARE(w.c[0].t[ResizeText::FontName], k.small            ? kSmall
                                                         : before == kSmall ? kArial
                                                                            : before);
            }
        }

        // A head font follows its own record, even on a control lacking everything else; without
        // its size it is not there at all.
        FakeWindow w;
        w.c = {boxed(0, 0, 0, 0, 20), FakeControl{}, boxed(0, 0, 0, 0, 20)};
        for (auto& c : w.c) c.t[ResizeText::HeadFontName] = QStringLiteral("Tahoma");
        w.c[0].n[HeadFontSize] = w.c[1].n[HeadFontSize] = 10;
        resize r;
        QCOMPARE(r.SaveSizes(w), ResizeError::None);
        w.height = 150;
        QCOMPARE(r.ResizeControls(w), ResizeError::None);
        QCOMPARE(w.at(0, {FontSize, HeadFontSize}), Floats({12, 6}));
        QCOMPARE(w.c[1].n[HeadFontSize], 6.f);
        QStringList faces{w.c[0].t[ResizeText::FontName]};
        for (auto& c : w.c) faces << c.t[ResizeText::HeadFontName];
        QCOMPARE(faces, (QStringList{kArial, kSmall, kSmall, "Tahoma"}));
    }

    void resizeControls_reportsOnlyFailuresItCannotSkip() {
        FakeWindow w;
        w.c = {boxed(3e38f, 20, 30, 40, 10), line(1, 2, 3, 4)};
        resize r;
        QCOMPARE(r.ResizeControls(w), ResizeError::Division);  // nothing saved yet
        w.height = 0;
        QCOMPARE(r.SaveSizes(w), ResizeError::None);
        w.height = 300;
        QCOMPARE(r.ResizeControls(w), ResizeError::Division);
        QCOMPARE(r.SaveSizes(w), ResizeError::None);
        w.width = 800;
        w.state = kWindowMinimized;
        QCOMPARE(r.ResizeControls(w), ResizeError::None);
        QCOMPARE(w.c[0].writes + w.c[1].writes, 0);

        w.state = kWindowMaximized;
        w.c.push_back(boxed(1, 2, 3, 4, 10));
        QCOMPARE(r.ResizeControls(w), ResizeError::OutOfRange);
        QCOMPARE(w.at(0, {Left, Width}), Floats({3e38f, 60}));  // only the overflowing step dropped
        QCOMPARE(w.at(1, {X2}), Floats({6}));                   // laid out before the pass stopped
        QCOMPARE(w.c[2].writes, 0);

        w.c.pop_back();
        w.c[1].n.erase(Y2);
        QCOMPARE(r.ResizeControls(w), ResizeError::Control);
        w.c[1] = line(2e38f, 2, 3, 4);
        QCOMPARE(r.SaveSizes(w), ResizeError::None);
        w.width = 1600;
        QCOMPARE(r.ResizeControls(w), ResizeError::Overflow);

        w.c.resize(resize::kMaxControls + 1);
        w.c[0].type = QStringLiteral("Timer");  // takes no position
        QCOMPARE(r.SaveSizes(w), ResizeError::None);
        w.c.emplace_back();
        QCOMPARE(r.SaveSizes(w), ResizeError::Overflow);
    }

    void hourglass_showsWaitThenAlwaysDefault() {
        MemoryPointer screen;
        screen.setMousePointer(2);  // another pointer was in force: it is not brought back
        std::optional<hourglass> first(std::in_place, screen);
        QCOMPARE(screen.mousePointer(), kPointerWait);
        // The first to go brings the default back, though another still lives: no count.
        const hourglass second(screen);
        first.reset();
        QCOMPARE(screen.mousePointer(), kPointerDefault);
    }
};

QTEST_GUILESS_MAIN(SupportTest)
#include "test_support.moc"
