#include "channels.h"

#include "archformat.h"
#include "seriesenvelope.h"

#include <QtTest>

class TstChannels : public QObject
{
    Q_OBJECT

private slots:
    void itemTexts();
    void indexMapping_data();
    void indexMapping();
    void everyItemMapsToItsText();
    void channelNumbers_data();
    void channelNumbers();
};

void TstChannels::itemTexts()
{
    const QStringList items = channelItems();
    QCOMPARE(items.size(), 99);
    QCOMPARE(items.first(), QStringLiteral("НЕ ВЫБРАН"));
    QCOMPARE(items.at(1), QStringLiteral(" (AIn1)"));
    QCOMPARE(items.at(24), QStringLiteral(" (AIn24)"));
    QCOMPARE(items.at(25), QStringLiteral(" (Freq1)"));
    QCOMPARE(items.at(60), QStringLiteral(" (Freq36)"));
    QCOMPARE(items.at(61), QStringLiteral(" (AOut1)"));
    QCOMPARE(items.at(84), QStringLiteral(" (AOut24)"));
    QCOMPARE(items.at(85), QStringLiteral(" (Modbus1)"));
    QCOMPARE(items.at(90), QStringLiteral(" (Modbus6)"));
    QCOMPARE(items.at(91), QStringLiteral(" (Math1)"));
    QCOMPARE(items.last(), QStringLiteral(" (Math8)"));
    QStringList unique = items;
    QCOMPARE(unique.removeDuplicates(), 0);
}

void TstChannels::indexMapping_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("number");

    QTest::newRow("negative is none") << -1 << int(KindNone) << 0;
    QTest::newRow("0 is none") << 0 << int(KindNone) << 0;
    QTest::newRow("1 is AIn1") << 1 << int(KindAnalogIn) << 0;
    QTest::newRow("24 is AIn24") << 24 << int(KindAnalogIn) << 23;
    QTest::newRow("25 is Freq1") << 25 << int(KindDiscreteIn) << 0;
    QTest::newRow("60 is Freq36") << 60 << int(KindDiscreteIn) << 35;
    QTest::newRow("61 is AOut1") << 61 << int(KindAnalogOut) << 0;
    QTest::newRow("84 is AOut24") << 84 << int(KindAnalogOut) << 23;
    QTest::newRow("85 is Modbus1") << 85 << int(KindModbus) << 0;
    QTest::newRow("90 is Modbus6") << 90 << int(KindModbus) << 5;
    QTest::newRow("91 is Math1") << 91 << int(KindMath) << 0;
    QTest::newRow("98 is Math8") << 98 << int(KindMath) << 7;
    QTest::newRow("99 is none") << 99 << int(KindNone) << 0;
    QTest::newRow("1000 is none") << 1000 << int(KindNone) << 0;
}

void TstChannels::indexMapping()
{
    QFETCH(int, index);
    QFETCH(int, kind);
    QFETCH(int, number);
    const QPair<ChannelKind, int> channel = channelFromIndex(index);
    QCOMPARE(int(channel.first), kind);
    if (kind != KindNone)
        QCOMPARE(channel.second, number);
}

void TstChannels::everyItemMapsToItsText()
{
    // The text names the group and the 1-based number the mapping gives.
    const QHash<int, QString> prefix = {{KindAnalogIn, QStringLiteral(" (AIn")},
                                        {KindDiscreteIn, QStringLiteral(" (Freq")},
                                        {KindAnalogOut, QStringLiteral(" (AOut")},
                                        {KindModbus, QStringLiteral(" (Modbus")},
                                        {KindMath, QStringLiteral(" (Math")}};
    const QStringList items = channelItems();
    for (int i = 1; i < items.size(); ++i) {
        const QPair<ChannelKind, int> channel = channelFromIndex(i);
        QVERIFY2(prefix.contains(channel.first), qPrintable(items.at(i)));
        QCOMPARE(items.at(i), prefix.value(channel.first) + QString::number(channel.second + 1) +
                                  QLatin1Char(')'));
    }
}

void TstChannels::channelNumbers_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<int>("plotChannel"); // -1: not averaged
    QTest::addColumn<float>("value");     // of the record below

    QTest::newRow("AIn1") << int(KindAnalogIn) << 0 << QStringLiteral("AIn1") << 0 << 1.5f;
    QTest::newRow("Freq1") << int(KindDiscreteIn) << 0 << QStringLiteral("Freq1") << 24 << 50.0f;
    QTest::newRow("AOut24") << int(KindAnalogOut) << 23 << QStringLiteral("AOut24") << 83 << -4.0f;
    QTest::newRow("Modbus1") << int(KindModbus) << 0 << QStringLiteral("Modbus1") << 84 << 7.0f;
    QTest::newRow("Math8") << int(KindMath) << 7 << QStringLiteral("Math8") << 97 << 8.0f;
    QTest::newRow("counter 3") << int(KindCounter) << 2 << QStringLiteral("СЧЁТЧИК 3") << -1
                               << 300.0f;
    QTest::newRow("relay 1, on") << int(KindRelay) << 0 << QStringLiteral("Реле 1") << -1 << 1.0f;
    QTest::newRow("relay 10, off")
        << int(KindRelay) << 9 << QStringLiteral("Реле 10") << -1 << 0.0f;
    QTest::newRow("relay 48, on") << int(KindRelay) << 47 << QStringLiteral("Реле 48") << -1
                                  << 1.0f;
}

// Each channel's name, its number among the averaged channels, and its value
// in a record, taken three ways from the one table: by kind, by plot channel
// and by selector index.
void TstChannels::channelNumbers()
{
    QFETCH(int, kind);
    QFETCH(int, number);
    QFETCH(QString, tag);
    QFETCH(int, plotChannel);
    QFETCH(float, value);
    ArchRecord rec = archive::absentRecord(0);
    rec.aIn[0] = 1.5f;
    rec.dIn[0] = 50.0f;
    rec.aOut[23] = -4.0f;
    rec.modbus[0] = 7.0f;
    rec.math[7] = 8.0f;
    rec.counter[2] = 300.0f;
    rec.relays[0] = 0x01;
    rec.relays[1] = 0xFD; // relay 10 (bit 1 of byte 1) off, its neighbours on
    rec.relays[5] = 0x80;
    const Channel channel(ChannelKind(kind), number);
    QCOMPARE(channelTag(channel), tag);
    QCOMPARE(plotChannelOf(channel), plotChannel);
    QCOMPARE(archive::channelValue(rec, *channelGroup(channel.first), number), value);
    if (plotChannel >= 0) {
        QCOMPARE(archive::plotChannelValue(rec, plotChannel), value);
        QCOMPARE(channelFromIndex(plotChannel + 1), channel);
    }
    QCOMPARE(archive::channelGroup(archive::Group::Relay).capacity, 48);
    QCOMPARE(archive::kCurveCount, 4);
}

QTEST_APPLESS_MAIN(TstChannels)
#include "tst_channels.moc"
