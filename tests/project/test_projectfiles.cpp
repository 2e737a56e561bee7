#include "project/markerentry.h"
#include "project/markerlist.h"
#include "project/numbertext.h"
#include "project/textfile.h"
#include "project/textlist.h"
#include "support/testfiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <climits>
#include <gtest/gtest.h>

using numbertext::format;
using numbertext::roundHundredths;

TEST(NumberText, HundredthsRoundingUsesExtendedPrecision)
{
    // 0.125 lies exactly halfway in base 2; 12.345 is stored slightly above.
    EXPECT_EQ(format(roundHundredths(0.125)), QStringLiteral("0.12"));
    EXPECT_EQ(format(roundHundredths(12.345)), QStringLiteral("12.35"));
    EXPECT_EQ(format(roundHundredths(12.344)), QStringLiteral("12.34"));
    EXPECT_EQ(format(roundHundredths(60)), QStringLiteral("60"));
    EXPECT_EQ(format(roundHundredths(61.07)), QStringLiteral("61.07"));
    // Negative values move toward zero.
    EXPECT_EQ(format(roundHundredths(-0.155)), QStringLiteral("-0.14"));
    EXPECT_EQ(format(roundHundredths(0.1 - 0.25)), QStringLiteral("-0.14"));
}

TEST(NumberText, PlacesRoundToTens)
{
    EXPECT_EQ(numbertext::roundTens(523415), 523420);
    EXPECT_EQ(numbertext::roundTens(523414), 523410);
    EXPECT_EQ(numbertext::roundTens(-14), 0);
    EXPECT_EQ(numbertext::roundTens(-16), -10);
    EXPECT_EQ(numbertext::roundTens(8.01e19), LLONG_MAX);
    EXPECT_EQ(numbertext::roundTens(-1e300), LLONG_MIN);
}

TEST(NumberText, ShortestTextAndReadingBack)
{
    EXPECT_EQ(format(12.5), QStringLiteral("12.5"));
    EXPECT_EQ(format(0), QStringLiteral("0"));
    EXPECT_EQ(format(1.1), QStringLiteral("1.1"));
    EXPECT_EQ(format(1.0 / 3.0), QStringLiteral("0.333333333333333"));
    EXPECT_EQ(format(61.23457), QStringLiteral("61.23457"));
    EXPECT_EQ(format(numbertext::roundTo(61.234567, 0.00001)), QStringLiteral("61.23457"));
    EXPECT_EQ(format(123456.789), QStringLiteral("123456.789"));
    EXPECT_EQ(*numbertext::parse(QStringLiteral("12,5")), 12.5);
    EXPECT_EQ(*numbertext::parse(QStringLiteral(" -0.25 ")), -0.25);
    for (const char* bad : {"", "abc", "1.2.3", "nan", "inf", "12a"})
        EXPECT_FALSE(numbertext::parse(QLatin1String(bad))) << bad;
    EXPECT_FALSE(numbertext::parseInt(QStringLiteral("2.5")));
    EXPECT_EQ(*numbertext::parseInt(QStringLiteral("-16")), -16);
}

TEST(TextList, LookupIgnoresCaseAndFirstMatchWins)
{
    TextList list(QStringList{QStringLiteral("notesamount=2"), QStringLiteral("NotesAmount=5"),
                              QStringLiteral("SourceAudioFile=C:\\a=b\\x.mp3"),
                              QStringLiteral("novalue")});
    EXPECT_EQ(list.value(QStringLiteral("NotesAmount")), QStringLiteral("2"));
    EXPECT_EQ(list.value(QStringLiteral("SourceAudioFile")), QStringLiteral("C:\\a=b\\x.mp3"));
    EXPECT_EQ(list.value(QStringLiteral("Missing")), QString());
    EXPECT_EQ(list.value(QStringLiteral("novalue")), QString());
    EXPECT_EQ(list.value(QStringLiteral("Notes")), QString()); // no prefix matches

    list.setValue(QStringLiteral("NOTESAMOUNT"), QStringLiteral("3"));
    EXPECT_EQ(list.lines()[0], QStringLiteral("NOTESAMOUNT=3"));
    list.setValue(QStringLiteral("UseLocal"), QStringLiteral("true"));
    EXPECT_EQ(list.lines().last(), QStringLiteral("UseLocal=true"));
}

TEST(TextFile, WritesCrLfAndReadsAnyLineEnd)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.nts"));
    ASSERT_TRUE(textfile::writeLines(path, {QStringLiteral("A=1"), QStringLiteral("B=é")}));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("A=1\r\nB=\xc3\xa9\r\n"));

    EXPECT_EQ(textfile::splitLines(QStringLiteral("a\rb\nc\r\nd")),
              (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                           QStringLiteral("d")}));
    EXPECT_EQ(textfile::splitLines(QStringLiteral("a\r\n\r\nb\r\n")),
              (QStringList{QStringLiteral("a"), QString(), QStringLiteral("b")}));
}

TEST(TextFile, EightBitTextWhereItFitsUtf8Otherwise)
{
    const QString west = QStringLiteral("Zo\u00eb \u20ac");
    EXPECT_EQ(textfile::encodeCp1252OrUtf8(west), QByteArray("Zo\xeb \x80"));
    EXPECT_EQ(textfile::decode(textfile::encodeCp1252OrUtf8(west)), west);
    const QString east = QStringLiteral("Zo\u00eb \u65e5");
    EXPECT_EQ(textfile::encodeCp1252OrUtf8(east), east.toUtf8());
    EXPECT_EQ(textfile::decode(textfile::encodeCp1252OrUtf8(east)), east);
}

TEST(TextFile, WindowsProjectFileReadsTheSame)
{
    // Windows-1252 bytes with CR LF and backslashes, as a project made on Windows.
    QTemporaryDir dir;
    const QString path = testfiles::writeFile(
        dir.filePath(QStringLiteral("w.nts")),
        QByteArray("AudioFile=Caf\xe9 \x96 Etude.mp3\r\nSourceAudioFile=C:\\Music\\Caf\xe9.mp3\r\n"
                   "notesamount=1\r\n"));
    TextList list;
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(list.value(QStringLiteral("AudioFile")), QStringLiteral("Café – Etude.mp3"));
    EXPECT_EQ(list.value(QStringLiteral("NotesAmount")), QStringLiteral("1"));
    EXPECT_EQ(list.count(), 3);
}

TEST(TextFile, HostileContentLoadsWithoutCrash)
{
    QTemporaryDir dir;
    QByteArray bytes;
    bytes += QByteArray(1 << 20, 'x');
    static const char tail[] = "\r\n\0\0\0=\0{1}\r\n\r\n";
    bytes += QByteArray(tail, sizeof tail - 1);
    bytes += QByteArray("\xff\xfe\x00", 3);
    const QString path = testfiles::writeFile(dir.filePath(QStringLiteral("h.ntf")), bytes);
    MarkerList list;
    ASSERT_TRUE(list.load(path));
    EXPECT_EQ(list.count(), 4);
    EXPECT_THROW(list.time(0), markerentry::ConversionError);
    EXPECT_FALSE(list.load(dir.filePath(QStringLiteral("missing.ntf"))));
}

TEST(MarkerEntry, BuildAndParseGroups)
{
    EXPECT_EQ(markerentry::build(12.5, 523410, 87340, 0),
              QStringLiteral("12.5={523410}{87340}{0}"));
    EXPECT_EQ(markerentry::build(12.345, 1, 2, 3), QStringLiteral("12.35={1}{2}{3}"));
    EXPECT_EQ(markerentry::buildSequence(7, 100000, 250000, 1),
              QStringLiteral("7={100000}{250000}{1}"));

    auto g = markerentry::parseValue(QStringLiteral("{10}{20}{0}"));
    EXPECT_EQ(g.x, QStringLiteral("10"));
    EXPECT_EQ(g.caption, QString());
    g = markerentry::parseValue(QStringLiteral("{10}{20}{0}{}"));
    EXPECT_EQ(g.caption, QString());
    g = markerentry::parseValue(QStringLiteral("{10}{20}"));
    EXPECT_EQ(g.page, QString());
    g = markerentry::parseValue(QStringLiteral("junk{410}x{512300}{2}{Chorus}tail"));
    EXPECT_EQ(g.x, QStringLiteral("410"));
    EXPECT_EQ(g.caption, QStringLiteral("Chorus"));
    g = markerentry::parseValue(QStringLiteral("{1}{2}{3}{open caption"));
    EXPECT_EQ(g.caption, QStringLiteral("open caption"));

    EXPECT_EQ(
        markerentry::withCaption(QStringLiteral("{523410}{87340}{0}"), QStringLiteral("Chorus")),
        QStringLiteral("{523410}{87340}{0}{Chorus}"));
    EXPECT_EQ(markerentry::withCaption(QStringLiteral("{1}{2}{3}{Old}"), QString()),
              QStringLiteral("{1}{2}{3}{}"));
    EXPECT_THROW(markerentry::parsePlace(QStringLiteral("{a}{2}{3}")),
                 markerentry::ConversionError);
}

TEST(MarkerEntry, SequenceCounterRunsForTheWholeProgram)
{
    const long long a = markerentry::nextSequenceNumber();
    const long long b = markerentry::nextSequenceNumber();
    EXPECT_EQ(b, a + 1);
}

TEST(MarkerEntry, ClickPlaceInMillionths)
{
    // (click - half marker) * 1000000 / size, then to a multiple of 10.
    EXPECT_EQ(markerentry::placeFromClick(224, 9, 441), 498870);
    EXPECT_EQ(markerentry::placeFromClick(4, 9, 441), 0);
    EXPECT_EQ(markerentry::placeFromClick(0, 9, 441), -9060);
    // Beyond 2147 pixels the product needs more than 32 bits.
    EXPECT_EQ(markerentry::placeFromClick(4000, 9, 5000), 799200);
}

namespace {
void fill(MarkerList& list, std::initializer_list<const char*> names)
{
    for (const char* n : names)
        list.append(QLatin1String(n) + QStringLiteral("={1}{2}{0}"));
}
} // namespace

TEST(MarkerList, InsertInTimeOrder)
{
    MarkerList list;
    list.setLines({QStringLiteral("2={1}{1}{0}"), QStringLiteral("5.5={1}{1}{0}"),
                   QStringLiteral("9={1}{1}{0}")});
    EXPECT_EQ(list.insertInTimeOrder(QStringLiteral("5={7}{7}{0}"), 5), 1);
    EXPECT_EQ(list.insertInTimeOrder(QStringLiteral("10={7}{7}{0}"), 10), 4);
    EXPECT_EQ(list.insertInTimeOrder(QStringLiteral("5.5={8}{8}{1}"), 5.5), 2);
    EXPECT_EQ(list.line(2), QStringLiteral("5.5={8}{8}{1}"));
    EXPECT_EQ(list.count(), 5);
    // Equal time, other name text: the new entry goes after it.
    EXPECT_EQ(list.insertInTimeOrder(QStringLiteral("5.00={9}{9}{0}"), 5), 2);

    MarkerList empty;
    EXPECT_EQ(empty.insertInTimeOrder(QStringLiteral("3={1}{1}{0}"), 3), 0);
}

TEST(MarkerList, BadNameFailsInsertionAndLeavesTheList)
{
    MarkerList list;
    list.setLines({QStringLiteral("2={1}{1}{0}"), QStringLiteral("x={1}{1}{0}")});
    EXPECT_THROW(list.insertInTimeOrder(QStringLiteral("5={1}{1}{0}"), 5),
                 markerentry::ConversionError);
    EXPECT_EQ(list.count(), 2);
    // The cached failure fails again; a repaired entry reads fine.
    EXPECT_THROW(list.time(1), markerentry::ConversionError);
    list.replace(1, QStringLiteral("7={1}{1}{0}"));
    EXPECT_EQ(list.time(1), 7);
}

TEST(MarkerList, FindCaptionAndShapes)
{
    MarkerList list;
    fill(list, {"1", "3", "3", "4"});
    EXPECT_EQ(list.findByName(QStringLiteral("3")), 1);
    EXPECT_EQ(list.findByName(QStringLiteral("7")), -1);
    list.setCaption(2, QStringLiteral("Chorus")); // located by name: the first "3"
    EXPECT_EQ(list.line(1), QStringLiteral("3={1}{2}{0}{Chorus}"));
    EXPECT_EQ(list.line(2), QStringLiteral("3={1}{2}{0}"));

    QObject shape;
    list.append(QStringLiteral("9={1}{1}{0}"), &shape);
    EXPECT_EQ(list.indexOfObject(&shape), 4);
    list.replace(4, QStringLiteral("10={1}{1}{0}"));
    EXPECT_EQ(list.object(4), &shape);
    list.remove(0);
    EXPECT_EQ(list.indexOfObject(&shape), 3);
    list.clear();
    EXPECT_EQ(list.indexOfObject(&shape), -1);
}

TEST(MarkerList, SavesByteExact)
{
    QTemporaryDir dir;
    MarkerList list;
    fill(list, {"0", "12.5"});
    const QString path = dir.filePath(QStringLiteral("n.ntf"));
    ASSERT_TRUE(list.save(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("0={1}{2}{0}\r\n12.5={1}{2}{0}\r\n"));
}
