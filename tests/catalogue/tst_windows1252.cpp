#include "catalogue/Windows1252.h"

#include <QtTest>

class tst_Windows1252 : public QObject {
    Q_OBJECT
private slots:
    void everyByteRoundTrips();
    void knownCharacters_data();
    void knownCharacters();
    void unstorableCharacters_data();
    void unstorableCharacters();
};

// Catches a table that maps two bytes to one character, or a byte that does not come back.
void tst_Windows1252::everyByteRoundTrips() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    const QString text = Windows1252::decode(all);
    QCOMPARE(text.size(), 256);
    const auto back = Windows1252::encode(text);
    QVERIFY(back.has_value());
    QCOMPARE(*back, all);
}

void tst_Windows1252::knownCharacters_data() {
    QTest::addColumn<QString>("character");
    QTest::addColumn<int>("byte");
    QTest::newRow("euro") << QStringLiteral("\u20AC") << 0x80;
    QTest::newRow("pound") << QStringLiteral("\u00A3") << 0xA3;
    QTest::newRow("left double quote") << QStringLiteral("\u201C") << 0x93;
    QTest::newRow("y diaeresis") << QStringLiteral("\u0178") << 0x9F;
    QTest::newRow("undefined 0x81") << QStringLiteral("\u0081") << 0x81;
}

// Catches a Latin-1 codec in place of Windows-1252 (the euro sign breaks first).
void tst_Windows1252::knownCharacters() {
    QFETCH(QString, character);
    QFETCH(int, byte);
    const auto encoded = Windows1252::encode(character);
    QVERIFY(encoded.has_value());
    QCOMPARE(*encoded, QByteArray(1, char(byte)));
    QCOMPARE(Windows1252::decode(*encoded), character);
}

void tst_Windows1252::unstorableCharacters_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("firstBad");
    QTest::addColumn<QString>("shown");
    QTest::newRow("all storable") << QStringLiteral("Caf\u00E9 \u20AC5") << -1 << QString();
    QTest::newRow("A macron") << QStringLiteral("Ab\u0100c") << 2 << QStringLiteral("\u0100");
    QTest::newRow("emoji kept whole") << QStringLiteral("Hi \U0001F600") << 3 << QStringLiteral("\U0001F600");
    QTest::newRow("cyrillic") << QStringLiteral("\u0416") << 0 << QStringLiteral("\u0416");
}

// Catches a character silently dropped or replaced instead of being reported.
void tst_Windows1252::unstorableCharacters() {
    QFETCH(QString, text);
    QFETCH(int, firstBad);
    QFETCH(QString, shown);
    QCOMPARE(Windows1252::firstUnencodable(text), qsizetype(firstBad));
    QCOMPARE(Windows1252::encode(text).has_value(), firstBad < 0);
    QCOMPARE(Windows1252::characterAt(text, firstBad), shown);
}

QTEST_GUILESS_MAIN(tst_Windows1252)
#include "tst_windows1252.moc"
