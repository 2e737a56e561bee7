#pragma once

#include "bars/barfinder.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>

// The corpus of engraved and scan-like score pages with the true bars of each page
// (tests/bars/data, made by scripts/make-bar-pieces), and the comparison of found bars
// with them.
namespace bartruth {

struct TruePage {
    QString file;
    QString piece; // the file name up to its first "-"
    double space = 0;
    bool tuning = false; // the half the finder is tuned on
    bool scan = false;
    QList<bars::Bar> bars;
};

// Every page of truth.csv in `dir`, in its order; empty when the file cannot be read.
inline QList<TruePage> readCorpus(const QString& dir)
{
    QList<TruePage> pages;
    QFile file(dir + QStringLiteral("/truth.csv"));
    if (!file.open(QIODevice::ReadOnly))
        return pages;
    while (!file.atEnd()) {
        const QStringList f = QString::fromUtf8(file.readLine()).trimmed().split(QLatin1Char(','));
        if (f.size() >= 5 && f[0] == QLatin1String("page")) {
            TruePage page;
            page.file = f[1];
            page.piece = f[1].section(QLatin1Char('-'), 0, 0);
            page.space = f[2].toDouble();
            page.tuning = f[3] == QLatin1String("tune");
            page.scan = f[4] == QLatin1String("scan");
            pages << page;
        } else if (f.size() >= 8 && f[0] == QLatin1String("bar") && !pages.isEmpty() &&
                   pages.back().file == f[1]) {
            bars::Bar bar;
            bar.system = f[2].toInt();
            bar.left = int(std::lround(f[3].toDouble()));
            bar.right = int(std::lround(f[4].toDouble()));
            bar.top = int(std::lround(f[5].toDouble()));
            bar.bottom = int(std::lround(f[6].toDouble()));
            const QStringList flags = f[7].split(QLatin1Char('|'));
            bar.startRepeat = flags.contains(QLatin1String("start"));
            bar.endRepeat = flags.contains(QLatin1String("end"));
            bar.ending = flags.contains(QLatin1String("e1"))   ? 1
                         : flags.contains(QLatin1String("e2")) ? 2
                                                               : 0;
            pages.back().bars << bar;
        }
    }
    return pages;
}

// How well found bars agree with the true ones. A found bar counts when its box lies
// inside a true bar (three quarters of a staff space of slack) of the system it is drawn
// on; each true bar counts once.
struct Score {
    int truth = 0;
    int found = 0;
    int matched = 0;
    int trueRepeats = 0;    // repeat signs (|: and :| each count)
    int matchedRepeats = 0; // of these, found on the matched bar
    int falseRepeats = 0;   // repeat signs found where there are none
    int trueEndings = 0;
    int matchedEndings = 0;

    void add(const Score& o)
    {
        truth += o.truth;
        found += o.found;
        matched += o.matched;
        trueRepeats += o.trueRepeats;
        matchedRepeats += o.matchedRepeats;
        falseRepeats += o.falseRepeats;
        trueEndings += o.trueEndings;
        matchedEndings += o.matchedEndings;
    }
    double precision() const { return found ? double(matched) / found : (truth ? 0.0 : 1.0); }
    double recall() const { return truth ? double(matched) / truth : 1.0; }
    double repeats() const { return trueRepeats ? double(matchedRepeats) / trueRepeats : 1.0; }
};

inline bool inside(const bars::Bar& found, const bars::Bar& truth, double space)
{
    const double slack = 0.75 * space;
    const double middle = (found.top + found.bottom) / 2.0;
    return middle > truth.top - slack && middle < truth.bottom + slack &&
           found.left >= truth.left - slack && found.right <= truth.right + slack &&
           found.right > found.left;
}

// For each found bar, the true bar it lies in (each true bar taken once), or -1.
inline QList<int> matches(const QList<bars::Bar>& found, const TruePage& page)
{
    QList<int> out;
    QList<bool> taken(page.bars.size(), false);
    for (const bars::Bar& bar : found) {
        int match = -1;
        for (int i = 0; i < page.bars.size() && match < 0; ++i)
            if (!taken[i] && inside(bar, page.bars[i], page.space))
                match = i;
        if (match >= 0)
            taken[match] = true;
        out << match;
    }
    return out;
}

inline Score compare(const QList<bars::Bar>& found, const TruePage& page)
{
    Score score;
    score.truth = int(page.bars.size());
    score.found = int(found.size());
    const QList<int> matched = matches(found, page);
    for (int k = 0; k < found.size(); ++k) {
        const bars::Bar& bar = found[k];
        const int match = matched[k];
        if (match < 0) {
            score.falseRepeats += int(bar.startRepeat) + int(bar.endRepeat);
            continue;
        }
        ++score.matched;
        const bars::Bar& truth = page.bars[match];
        score.matchedRepeats +=
            int(bar.startRepeat && truth.startRepeat) + int(bar.endRepeat && truth.endRepeat);
        score.falseRepeats +=
            int(bar.startRepeat && !truth.startRepeat) + int(bar.endRepeat && !truth.endRepeat);
        score.matchedEndings += int(truth.ending != 0 && bar.ending == truth.ending);
    }
    for (const bars::Bar& truth : page.bars) {
        score.trueRepeats += int(truth.startRepeat) + int(truth.endRepeat);
        score.trueEndings += int(truth.ending != 0);
    }
    return score;
}

} // namespace bartruth
