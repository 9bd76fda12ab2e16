#include "catalogue/Windows1252.h"

#include <QStringDecoder>
#include <QtTest>

class tst_Windows1252 : public QObject {
    Q_OBJECT
private slots:
    void everyByte();
    void unstorableCharacters_data();
    void unstorableCharacters();
};

// Catches a byte read as another character than the code page's (a Latin-1 codec breaks the euro
// sign first), two bytes read as one character, or a byte that does not come back.
void tst_Windows1252::everyByte() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    QStringDecoder reference("windows-1252");
    QVERIFY(reference.isValid());
    const QString text = Windows1252::decode(all);
    QCOMPARE(text, QString(reference(all)));
    QCOMPARE(Windows1252::encode(text), std::optional<QByteArray>(all));
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
