// How many pages the fetch-ahead keeps in flight and how far down the queue it asks, decided from
// what it has seen of this crawl, apart from the network, so that the benchmark's model of a
// crawl runs the very rules the crawler does.
#pragma once

#include <algorithm>
#include <cmath>

namespace vidrake {

// The choices the benchmark's model tries; the crawler takes the defaults.
struct AheadTuning {
    // In flight while the pages arrive before the walk needs them, unless fewer are allowed.
    int fewest = 8;
    // The share of answered pages with a movie that is assumed before any is in hand, and how
    // many pages' worth that assumption weighs against those seen.
    double assumedShare = 0.65;
    double assumedWeight = 100;
    // A site is asked for while the chance that the walk needs it is at least this ...
    double chance = 0.5;
    // ... or this, while the walk is held up by a slow site: it waits anyway, and the pages it
    // may need next had better be on their way.
    double chanceHeld = 0.1;
    // The walk is held up once it has waited this many times as long as the answered pages took,
    // on the median.
    double heldAfter = 3;
};

class AheadPolicy final {
public:
    // At most `most` pages in flight, the one the walk reads included.
    explicit AheadPolicy(int most, AheadTuning tuning = {})
        : m_tuning(tuning), m_most(std::max(1, most)), m_slots(m_most) {}

    // Pages that may be in flight now.
    int allowed() const { return m_slots; }
    // Fewer may be had (no descriptor for more): the most is what is in flight now.
    void cut(int inFlight) { m_most = m_slots = std::clamp(inFlight, 1, m_most); }

    // The walk comes to a page that was already in hand: pages come back before they are needed,
    // and one fewer in flight would have done.
    void foundInHand() { m_slots = std::max(std::min(m_tuning.fewest, m_most), m_slots - 1); }
    // A page ahead arrived while the walk waited for its own: the freed place and one more go to
    // the sites after it.
    void arrivedWhileWaiting() { m_slots = std::min(m_most, m_slots + 1); }

    // A page that a server answered, `seconds` after it was asked for, was searched for its
    // movie. Pages that got no answer are left out: they come back first (a refusal takes no
    // time), and would make those on their way look poorer than they are.
    void answered(bool movie, double seconds) {
        ++m_answered;
        m_movies += movie ? 1 : 0;
        m_times[m_timeCount++ % kTimes] = seconds;
    }
    // The share of answered pages with a movie, as far as this crawl has seen.
    double movieShare() const {
        return (m_movies + m_tuning.assumedShare * m_tuning.assumedWeight) /
               (m_answered + m_tuning.assumedWeight);
    }
    // How long the walk may wait for a page before it is held up by a slow site: longer than the
    // answered pages took, on the median; negative while none has been answered.
    double holdUpAfter() const {
        const int n = std::min(m_timeCount, kTimes);
        if (n == 0) {
            return -1;
        }
        double times[kTimes];
        std::copy(m_times, m_times + n, times);
        std::nth_element(times, times + n / 2, times + n);
        return m_tuning.heldAfter * times[n / 2];
    }
    bool heldUp(double waited) const {
        const double after = holdUpAfter();
        return after >= 0 && waited > after;
    }

    // Whether to ask for the next site, with the pages between the walk and it `known` to hold
    // a movie or still `unknown` (on their way, or to be asked for again), and `toGo` movies
    // wanted (negative: no count ends the walk), the walk `held` up or not. Never when the pages
    // in hand end the walk before it, nor past as many sites that may still hold a movie as the
    // movies wanted take at the assumed share (whatever the order pages come back in, a web where
    // every site has a movie is asked for that many sites at most); within that, while the chance
    // that the walk needs the site, the unknown pages holding a movie at the share seen, is large
    // enough.
    bool worthAsking(int known, int unknown, int toGo, bool held) const {
        if (toGo < 0) {
            return true;
        }
        if (known >= toGo || known + unknown >= std::ceil(toGo / m_tuning.assumedShare)) {
            return false;
        }
        return chanceFewer(toGo - known, unknown, movieShare()) >=
               (held ? m_tuning.chanceHeld : m_tuning.chance);
    }

private:
    static constexpr int kTimes = 64;

    // The chance that fewer than `needed` of `n` pages hold a movie, each with chance `share`.
    static double chanceFewer(int needed, int n, double share) {
        if (needed > n) {
            return 1;
        }
        double sum = 0;
        for (int x = 0; x < needed; ++x) {
            sum += std::exp(std::lgamma(n + 1.0) - std::lgamma(x + 1.0) - std::lgamma(n - x + 1.0) +
                            x * std::log(share) + (n - x) * std::log1p(-share));
        }
        return sum;
    }

    AheadTuning m_tuning;
    int m_most;
    int m_slots;
    int m_answered = 0;
    int m_movies = 0;
    double m_times[kTimes] = {};  // the latest answer times, round the ring
    int m_timeCount = 0;
};

}  // namespace vidrake
